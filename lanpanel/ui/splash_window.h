#pragma once
// The start picture: shown for 1500 ms with the start sound, then faded out.

#include <QDialog>

namespace lanpanel::ui {

class SplashWindow : public QDialog {
    Q_OBJECT
public:
    SplashWindow(std::function<void(const QString&)> sound, QWidget* parent = nullptr,
                 int showMs = 1500);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override {} // the picture goes by its timer only

private:
    int showMs_;
    std::function<void(const QString&)> sound_;
    bool started_ = false;
};

} // namespace lanpanel::ui
