#include "companel/ui/log_box.h"
#include "companel/ui/monitor_format.h"

#include <gtest/gtest.h>

using namespace companel;

TEST(LogBoxTest, CountsLineEndsAsCrLfAndKeepsThemInTheText) {
    LogBox box;
    box.AppendLine(QStringLiteral("10:05:09 -> 打开串口成功!\r\n"));
    box.AppendLine(QStringLiteral("a\r\n                遥信 01 为合！\r\n"));
    const QString text = box.Text();
    EXPECT_EQ(text, QStringLiteral(
                        "10:05:09 -> 打开串口成功!\r\na\r\n                遥信 01 为合！\r\n"));
    EXPECT_EQ(box.Length(), text.size());
    box.Clear();
    EXPECT_EQ(box.Length(), 0);
}

TEST(LogBoxTest, DropsTheOldest15000CharactersOnceAbove8999999) {
    LogBox box;
    // Lines of exactly 1000 characters with their CR LF, numbered at the front.
    for (int i = 0; i < 8999; ++i)
        box.AppendLine(QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0')) +
                       QString(992, QLatin1Char('x')) + QStringLiteral("\r\n"));
    box.AppendLine(QString(997, QLatin1Char('y')) + QStringLiteral("\r\n"));
    ASSERT_EQ(box.Length(), LogTrimThreshold);
    box.AppendLine(QStringLiteral("A\r\n")); // not above the limit yet: nothing goes
    EXPECT_EQ(box.Length(), LogTrimThreshold + 3);
    EXPECT_TRUE(box.Text().startsWith(QStringLiteral("000000")));

    box.AppendLine(QStringLiteral("B\r\n"));
    EXPECT_EQ(box.Length(), LogTrimThreshold + 3 - LogTrimAmount + 3);
    EXPECT_TRUE(box.Text().startsWith(QStringLiteral("000015")));
    EXPECT_TRUE(box.Text().endsWith(QStringLiteral("A\r\nB\r\n")));
}

TEST(LogBoxTest, ATrimThatEndsInsideALineCutsThatLine) {
    LogBox box;
    box.AppendLine(QString(LogTrimThreshold - 1, QLatin1Char('x')) + QStringLiteral("\r\n"));
    box.AppendLine(QStringLiteral("next\r\n"));
    EXPECT_EQ(box.Length(), LogTrimThreshold + 1 + 6 - LogTrimAmount);
    EXPECT_TRUE(box.Text().endsWith(QStringLiteral("x\r\nnext\r\n")));
}
