#include "window_fade.h"

#include <QPointer>
#include <QPropertyAnimation>

namespace widgets {

void FadeOutAndHide(QWidget* window, std::function<void()> done, int durationMs) {
    auto* animation = new QPropertyAnimation(window, "windowOpacity", window);
    animation->setDuration(durationMs);
    animation->setStartValue(window->windowOpacity());
    animation->setEndValue(0.0);
    QPointer<QWidget> guard(window);
    QObject::connect(animation, &QPropertyAnimation::finished, window, [guard, done, animation] {
        if (guard) {
            guard->hide();
            guard->setWindowOpacity(1.0);
        }
        animation->deleteLater();
        if (done)
            done();
    });
    animation->start();
}

} // namespace widgets
