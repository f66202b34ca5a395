#include "companel/ui/monitor_format.h"

#include <gtest/gtest.h>
#include <vector>

using namespace companel;

TEST(MonitorFormat, StampsAndFormatsFrames) {
    EXPECT_EQ(StampLine(QStringLiteral("打开串口成功!"), QTime(10, 5, 9)),
              QStringLiteral("10:05:09 -> 打开串口成功!\r\n"));
    const std::uint8_t poll[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x3C, 0x45, 0xDB};
    EXPECT_EQ(StampLine(FormatMonitorFrame(poll, 8, false, false, true), QTime(10, 5, 9)),
              QStringLiteral("10:05:09 -> 发 (008) 01 03 00 00 00 3C 45 DB\r\n"));
    EXPECT_EQ(FormatMonitorFrame(poll, 8, true, false, true),
              QStringLiteral("-- (008) 01 03 00 00 00 3C 45 DB"));
    EXPECT_EQ(FormatMonitorFrame(poll, 8, true, true, false),
              QStringLiteral("收 (008) 01 03 00 00 00 3C 45 DB"));
}

TEST(MonitorFormat, SignalHintsNeedTheWholeWordBeforeTheCrc) {
    std::vector<std::uint8_t> frame(40, 0);
    frame[19] = 0x00;
    frame[20] = 0x05; // inputs 1 and 3
    frame[22] = 0x01; // input 17, in the second word
    const QString hint1 = QStringLiteral("\r\n                遥信 01 为合！");
    const QString hint3 = QStringLiteral("\r\n                遥信 03 为合！");
    const QString hint17 = QStringLiteral("\r\n                遥信 17 为合！");

    struct Case {
        std::size_t count;
        QString hints;
    };
    const Case cases[] = {
        {22, QString()},     // the first word needs 23 bytes
        {23, hint1 + hint3}, // first word only
        {24, hint1 + hint3}, // second word needs 25
        {25, hint1 + hint3 + hint17},
        {2, QString()},
    };
    for (const Case& c : cases) {
        const QString text = FormatMonitorFrame(frame.data(), c.count, true, false, true);
        const QString hex = FormatMonitorFrame(frame.data(), c.count, true, false, false);
        EXPECT_EQ(text, hex + c.hints) << c.count;
    }
    // Sent frames never carry hints.
    EXPECT_FALSE(
        FormatMonitorFrame(frame.data(), 40, false, false, true).contains(QStringLiteral("遥信")));
}
