// The flat icon button: hover feedback and sound per entry, frames, double clicks.

#include "common/widgets/flat_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

using widgets::FlatButton;

namespace {

QIcon Square(const QColor& color) {
    QPixmap pm(16, 16);
    pm.fill(color);
    return QIcon(pm);
}

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(w, &e);
}

void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

void Mouse(QWidget* w, QEvent::Type type) {
    const QPointF at(10, 10);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

struct Fixture {
    QWidget window;
    FlatButton* button;
    Fixture() : button(new FlatButton(&window)) {
        button->setGeometry(10, 10, 40, 30);
        button->SetIcon(Square(Qt::red));
        button->setIconSize(QSize(16, 16));
        button->SetColor(FlatButton::BackHover, QColor(200, 220, 255));
        button->SetColor(FlatButton::BackIdle, QColor(244, 244, 244));
        button->SetColor(FlatButton::BackFocus, QColor(255, 240, 200));
        window.resize(100, 60);
        window.show();
    }
    QColor At(int x, int y) { return button->grab().toImage().pixelColor(x, y); }
};

} // namespace

TEST(FlatButton, HoverSoundOncePerEntry) {
    Fixture f;
    f.button->SetHoverSound(true, QStringLiteral("IDR_WAVE_HOVER"), nullptr);
    QStringList sounds;
    QObject::connect(f.button, &FlatButton::HoverSoundPlayed,
                     [&](const QString& n) { sounds << n; });
    Enter(f.button);
    Enter(f.button); // moving within the button
    EXPECT_EQ(sounds.size(), 1);
    EXPECT_EQ(sounds.at(0), QStringLiteral("IDR_WAVE_HOVER"));
    EXPECT_TRUE(f.button->PointerOver());
    Leave(f.button);
    EXPECT_FALSE(f.button->PointerOver());
    Enter(f.button);
    EXPECT_EQ(sounds.size(), 2);

    FlatButton quiet(&f.window);
    int none = 0;
    QObject::connect(&quiet, &FlatButton::HoverSoundPlayed, [&] { ++none; });
    Enter(&quiet);
    EXPECT_TRUE(quiet.PointerOver());
    EXPECT_EQ(none, 0);
}

TEST(FlatButton, ColoursAndFrameFollowThePointer) {
    Fixture f;
    const QColor idle(244, 244, 244), hover(200, 220, 255);
    EXPECT_EQ(f.At(20, 2), idle);
    EXPECT_EQ(f.At(0, 0), idle); // idle buttons have no frame
    Enter(f.button);
    EXPECT_EQ(f.At(20, 2), hover);
    EXPECT_NE(f.At(0, 0), hover); // raised frame
    f.button->SetBorder(false);
    EXPECT_EQ(f.At(0, 0), hover); // only the colour changes
    Leave(f.button);
    EXPECT_EQ(f.At(0, 0), idle);
    // pressed: the sunken frame and the hover colour even without the pointer flag
    f.button->SetBorder(true);
    f.button->setDown(true);
    EXPECT_EQ(f.At(20, 2), hover);
    const QColor dark = f.button->palette().color(QPalette::Dark);
    EXPECT_NEAR(f.At(0, 0).red(), dark.red(), 1);
    EXPECT_NEAR(f.At(0, 0).blue(), dark.blue(), 1);
}

TEST(FlatButton, IconCentredShiftedWhenPressedGreyWhenDisabled) {
    Fixture f;
    // the 16 × 16 icon sits at (12, 7) in a 40 × 30 button
    EXPECT_EQ(f.At(12, 7), QColor(Qt::red));
    EXPECT_NE(f.At(11, 7), QColor(Qt::red));
    f.button->setDown(true);
    EXPECT_NE(f.At(12, 7), QColor(Qt::red));
    EXPECT_EQ(f.At(13, 8), QColor(Qt::red));
    f.button->setDown(false);
    f.button->setEnabled(false);
    EXPECT_NE(f.At(20, 15), QColor(Qt::red));
}

TEST(FlatButton, DoubleClickGivesTwoClicks) {
    // with and without the press some platforms send ahead of the double click
    const std::vector<std::vector<QEvent::Type>> sequences = {
        {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
         QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease},
        {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
         QEvent::MouseButtonRelease},
    };
    for (const auto& seq : sequences) {
        Fixture f;
        int clicks = 0;
        QObject::connect(f.button, &QPushButton::clicked, [&] { ++clicks; });
        for (QEvent::Type t : seq)
            Mouse(f.button, t);
        EXPECT_EQ(clicks, 2) << seq.size();
    }
}

TEST(FlatButton, TooltipAndNoDefaultButton) {
    Fixture f;
    f.button->SetTooltipText(QStringLiteral("显示遥测"));
    EXPECT_EQ(f.button->toolTip(), QStringLiteral("显示遥测"));
    EXPECT_FALSE(f.button->autoDefault());
}
