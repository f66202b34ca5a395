#pragma once
// The start window: one picture and the start sound, gone by itself after two seconds and a
// fade. It has no buttons and ignores keys.

#include <QDialog>
#include <functional>

class QSvgRenderer;

namespace companel {

struct SplashTiming {
    int showMs = 2000;
    int fadeMs = 800;
};

class SplashWindow : public QDialog {
    Q_OBJECT
public:
    // `playWave` receives "IDR_WAVE_START" when the window opens.
    explicit SplashWindow(std::function<void(const QString&)> playWave,
                          SplashTiming timing = SplashTiming(), QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override {}

private:
    std::function<void(const QString&)> playWave_;
    SplashTiming timing_;
    QSvgRenderer* picture_;
    bool started_ = false;
};

// Runs the start window modally; returns when it has closed.
void ShowSplash(std::function<void(const QString&)> playWave, SplashTiming timing = SplashTiming(),
                QWidget* parent = nullptr);

} // namespace companel
