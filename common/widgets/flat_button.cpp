#include "flat_button.h"

#include "sound_player.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace widgets {

FlatButton::FlatButton(QWidget* parent) : QPushButton(parent) {
    const QPalette pal = palette();
    for (int i = 0; i < 6; i += 2) {
        colors_[i] = pal.color(QPalette::Button);
        colors_[i + 1] = pal.color(QPalette::ButtonText);
    }
    setFlat(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    // In a dialog a push button would otherwise take Enter for itself.
    setAutoDefault(false);
    setDefault(false);
}

void FlatButton::SetIcon(const QIcon& icon) {
    setIcon(icon);
    update();
}

void FlatButton::SetColor(int entry, const QColor& color, bool redraw) {
    if (entry < 0 || entry >= static_cast<int>(colors_.size()))
        return;
    colors_[entry] = color;
    if (redraw)
        update();
}

QColor FlatButton::Color(int entry) const {
    if (entry < 0 || entry >= static_cast<int>(colors_.size()))
        return {};
    return colors_[entry];
}

void FlatButton::SetTooltipText(const QString& text, bool activate) {
    setToolTip(activate ? text : QString());
}

void FlatButton::SetHoverSound(bool enabled, const QString& name, SoundPlayer* player) {
    hoverSound_ = enabled;
    hoverName_ = name;
    player_ = player;
}

void FlatButton::SetBorder(bool on, bool redraw) {
    border_ = on;
    if (redraw)
        update();
}

int FlatButton::BackgroundEntry() const {
    if (over_ || isDown())
        return BackHover;
    if (hasFocus())
        return BackFocus;
    return BackIdle;
}

QSize FlatButton::sizeHint() const {
    const QSize icon = iconSize();
    QSize hint(icon.width() + 8, icon.height() + 8);
    if (!text().isEmpty()) {
        const QFontMetrics fm(font());
        hint.setWidth(std::max(hint.width(), fm.horizontalAdvance(text()) + 8));
        hint.setHeight(hint.height() + fm.height());
    }
    return hint;
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const int entry = BackgroundEntry();
    p.fillRect(r, colors_[entry]);

    const bool pressed = isDown();
    if (border_ && (pressed || over_)) {
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        const QColor topLeft = pressed ? shadow : light;
        const QColor bottomRight = pressed ? light : shadow;
        p.setPen(topLeft);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }

    // The icon (and the caption) move one pixel right and down while pressed, as if pushed in.
    const int shift = pressed ? 1 : 0;
    const QSize isz = iconSize();
    const QFontMetrics fm(font());
    const bool caption = !text().isEmpty();
    const int contentHeight = (icon().isNull() ? 0 : isz.height()) + (caption ? fm.height() : 0);
    int y = (r.height() - contentHeight) / 2 + shift;
    if (!icon().isNull()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QPixmap pm = icon().pixmap(isz, devicePixelRatioF(), mode);
        const QSize shown = pm.deviceIndependentSize().toSize();
        const int x = (r.width() - shown.width()) / 2 + shift;
        p.drawPixmap(x, y + (isz.height() - shown.height()) / 2, pm);
        y += isz.height();
    }
    if (caption) {
        const int textEntry = entry + 1;
        p.setPen(isEnabled() ? colors_[textEntry]
                             : palette().color(QPalette::Disabled, QPalette::ButtonText));
        p.drawText(QRect(shift, y, r.width(), fm.height()), Qt::AlignCenter, text());
    }
}

void FlatButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    // A drag that started elsewhere does not light the button up.
    if ((QApplication::mouseButtons() & Qt::LeftButton) && !over_)
        return;
    if (!trackInactive_ && !window()->isActiveWindow())
        return;
    if (over_)
        return;
    over_ = true;
    update();
    if (hoverSound_) {
        if (hoverName_.isEmpty())
            QApplication::beep();
        else if (player_)
            player_->Play(hoverName_);
        emit HoverSoundPlayed(hoverName_);
    }
}

void FlatButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    ClearOver();
}

void FlatButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    ClearOver();
}

void FlatButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !window()->isActiveWindow())
        ClearOver();
    if (event->type() == QEvent::EnabledChange)
        update();
}

void FlatButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click counts as a click of its own. Most platforms already
    // deliver a press before the double click; where one does not, the double click is the
    // press.
    if (event->button() == Qt::LeftButton && !isDown()) {
        QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                          event->globalPosition(), event->button(), event->buttons(),
                          event->modifiers());
        mousePressEvent(&press);
    }
    event->accept();
}

void FlatButton::ClearOver() {
    if (!over_)
        return;
    over_ = false;
    update();
}

} // namespace widgets
