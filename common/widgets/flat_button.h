#pragma once
// The push button lanpanel's windows use for their actions: drawn flat by the program, an icon
// centred (and a caption under it when one is set), a background that follows the pointer, an
// optional one-pixel frame, a tooltip and an optional sound when the pointer enters.

#include <QColor>
#include <QIcon>
#include <QPushButton>
#include <array>

namespace widgets {

class SoundPlayer;

class FlatButton : public QPushButton {
    Q_OBJECT
public:
    // Background and text colour for each state.
    enum ColorEntry {
        BackHover = 0,
        TextHover = 1,
        BackIdle = 2,
        TextIdle = 3,
        BackFocus = 4,
        TextFocus = 5,
    };

    explicit FlatButton(QWidget* parent = nullptr);

    void SetIcon(const QIcon& icon);
    void SetColor(int entry, const QColor& color, bool redraw = true);
    QColor Color(int entry) const;
    void SetTooltipText(const QString& text, bool activate = true);
    // An empty name asks for the system's beep instead of a sound.
    void SetHoverSound(bool enabled, const QString& name, SoundPlayer* player);
    void SetBorder(bool on, bool redraw = true);
    bool Border() const { return border_; }
    void SetTrackWhenInactive(bool on) { trackInactive_ = on; }

    bool PointerOver() const { return over_; }
    // The state the next paint draws: 0 pointer over or pressed, 4 focused, 2 idle.
    int BackgroundEntry() const;

    QSize sizeHint() const override;

signals:
    // Each time the pointer entering the button asks for the hover sound.
    void HoverSoundPlayed(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ClearOver();

    std::array<QColor, 6> colors_;
    bool border_ = true;
    bool trackInactive_ = true;
    bool over_ = false;
    bool hoverSound_ = false;
    QString hoverName_;
    SoundPlayer* player_ = nullptr;
};

} // namespace widgets
