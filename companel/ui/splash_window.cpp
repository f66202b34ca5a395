#include "companel/ui/splash_window.h"

#include "common/widgets/window_fade.h"
#include "companel/ui/window_style.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>

namespace companel {

SplashWindow::SplashWindow(std::function<void(const QString&)> playWave, SplashTiming timing,
                           QWidget* parent)
    : QDialog(parent), playWave_(std::move(playWave)), timing_(timing),
      picture_(new QSvgRenderer(QStringLiteral(":/companel/splash.svg"), this)) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowIcon(ProgramIcon());
    setWindowTitle(QStringLiteral("VKD2950运维终端"));
    // The picture's own size (the start window's 366 x 246 dialog units at the usual font).
    const QSize size = picture_->isValid() ? picture_->defaultSize() : QSize(549, 400);
    setFixedSize(size);
}

void SplashWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    if (playWave_)
        playWave_(QStringLiteral("IDR_WAVE_START"));
    QTimer::singleShot(timing_.showMs, this, [this] {
        widgets::FadeOutAndHide(
            this, [this] { done(QDialog::Accepted); }, timing_.fadeMs);
    });
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_->isValid())
        picture_->render(&painter, QRectF(rect()));
    else
        painter.fillRect(rect(), DialogBackground());
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

void ShowSplash(std::function<void(const QString&)> playWave, SplashTiming timing,
                QWidget* parent) {
    SplashWindow splash(std::move(playWave), timing, parent);
    if (!parent) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            splash.move(screen->availableGeometry().center() - splash.rect().center());
    }
    splash.exec();
}

} // namespace companel
