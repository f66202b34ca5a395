#include "splash_window.h"

#include "common/widgets/window_fade.h"
#include "lan_resources.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>

namespace lanpanel::ui {

namespace {
constexpr int kWidth = 900;
constexpr int kHeight = 600;
} // namespace

SplashWindow::SplashWindow(std::function<void(const QString&)> sound, QWidget* parent, int showMs)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint), showMs_(showMs),
      sound_(std::move(sound)) {
    setFixedSize(kWidth, kHeight);
    setModal(true);
}

void SplashWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    repaint();
    if (sound_)
        sound_(QStringLiteral("IDR_WAVE_START"));
    QTimer::singleShot(showMs_, this,
                       [this] { widgets::FadeOutAndHide(this, [this] { accept(); }); });
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QSvgRenderer picture(LanResource(kPictureSplash));
    picture.render(&p, QRectF(0, 0, kWidth, kHeight));
}

} // namespace lanpanel::ui
