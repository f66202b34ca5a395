#include "common/widgets/window_fade.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

TEST(WindowFade, HidesTheWindowAfterTheFadeAndRestoresOpacity) {
    QWidget w;
    w.show();
    bool done = false;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    widgets::FadeOutAndHide(
        &w,
        [&] {
            done = true;
            loop.quit();
        },
        100);
    EXPECT_TRUE(w.isVisible()) << "the window stays visible while it fades";
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(done);
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_FALSE(w.isVisible());
    EXPECT_DOUBLE_EQ(w.windowOpacity(), 1.0);
}
