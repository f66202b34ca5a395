#include "common/support/gbk.h"
#include "lanpanel/server/monitor_log.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lanpanel;

TEST(MonitorLog, LinesNewestFirstTextOldestFirst) {
    MonitorLog log;
    log.SetClock([] { return QDateTime(QDate(2024, 3, 5), QTime(10, 15, 2)); });
    const std::uint8_t gi[] = {0x07, 0x81, 0x09, 0x05, 0xFE, 0x00, 0x04};
    log.Log(QStringLiteral("服务器开始创建TCP/IP套接口。"));
    log.Log(MonitorLog::FrameText(false, gi, 7));
    log.Log(MonitorLog::FrameText(true, gi, 7));
    ASSERT_EQ(log.LineCount(), 3);
    EXPECT_EQ(log.Line(0), QStringLiteral("10:15:02 收 (007)：07 81 09 05 FE 00 04 "));
    EXPECT_EQ(log.Line(1), QStringLiteral("10:15:02 发 (007)：07 81 09 05 FE 00 04 "));
    EXPECT_EQ(log.Line(2), QStringLiteral("10:15:02 服务器开始创建TCP/IP套接口。"));
    EXPECT_EQ(log.WidestLine(), log.Line(0).size());
    EXPECT_EQ(log.LogText(),
              support::ToGbk(QStringLiteral("10:15:02 服务器开始创建TCP/IP套接口。\r\n"
                                            "10:15:02 发 (007)：07 81 09 05 FE 00 04 \r\n"
                                            "10:15:02 收 (007)：07 81 09 05 FE 00 04 \r\n")));
    const std::uint8_t many[1000] = {};
    EXPECT_TRUE(
        MonitorLog::FrameText(true, many, 1000).startsWith(QStringLiteral("收 (1000)：00 ")));

    // the largest read makes a line longer than a storage block; neighbours stay intact
    std::vector<std::uint8_t> largest(0x5FFF, 0xAB);
    const QString longLine = MonitorLog::FrameText(true, largest.data(), 0x5FFF);
    for (int i = 0; i < 3; ++i)
        log.Log(i == 1 ? longLine : QStringLiteral("x%1").arg(i));
    EXPECT_EQ(log.Line(1), QStringLiteral("10:15:02 ") + longLine);
    EXPECT_EQ(log.Line(0), QStringLiteral("10:15:02 x2"));
    EXPECT_EQ(log.Line(2), QStringLiteral("10:15:02 x0"));
    EXPECT_TRUE(
        log.LogText().endsWith(support::ToGbk(QStringLiteral("AB AB \r\n10:15:02 x2\r\n"))));
    EXPECT_EQ(log.WidestLine(), longLine.size() + 9);

    log.TogglePaused();
    log.Log(QStringLiteral("lost"));
    EXPECT_EQ(log.LineCount(), 6);
    log.TogglePaused();
    log.Log(QStringLiteral("kept"));
    EXPECT_EQ(log.Line(0), QStringLiteral("10:15:02 kept"));
}

TEST(MonitorLog, SaveAsGbkWithProposedName) {
    MonitorLog log;
    log.SetClock([] { return QDateTime(QDate(2024, 3, 5), QTime(9, 7, 41)); });
    EXPECT_EQ(log.ProposedFileName(), QStringLiteral("网口面板(2024.03.05 09.07).txt"));
    log.Log(QStringLiteral("程序检测到设备已退出连接。"));
    QTemporaryDir dir;
    const QString first = dir.filePath("a.txt");
    const QString second = dir.filePath("b.txt");
    {
        QFile old(second);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500, 'x')); // an existing, longer file is emptied first
    }
    EXPECT_TRUE(log.Save(first));
    EXPECT_TRUE(log.Save(second));
    EXPECT_EQ(log.SavedPath(), second);
    QFile f(second);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              support::ToGbk(QStringLiteral("09:07:41 程序检测到设备已退出连接。\r\n")));
    const QString bad = dir.filePath("missing/folder/c.txt");
    EXPECT_FALSE(log.Save(bad));
    EXPECT_EQ(log.SavedPath(), bad);
}
