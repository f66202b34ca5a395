#include "companel/ui/running_log.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using companel::RunningLog;

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
const QByteArray Dashes(68, '-');
} // namespace

TEST(RunningLog, SeparatorOnceThenLinesEndingIn0D0D0A) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/运行记录"); // missing: created on demand
    const QDate day(2015, 4, 2);
    {
        QDir().mkpath(folder);
        QFile f(folder + "/2015-04-02.log");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old\r\r\n");
    }
    RunningLog log(folder);
    EXPECT_EQ(log.FileFor(day), folder + "/2015-04-02.log");
    ASSERT_TRUE(log.Append("10:05:09 -> a\r\n", day));
    ASSERT_TRUE(log.Append("10:05:10 -> b\r\n", day));
    // After midnight the next day's file gets lines but no separator.
    ASSERT_TRUE(log.Append("00:00:01 -> c\r\n", day.addDays(1)));
    EXPECT_EQ(ReadAll(folder + "/2015-04-02.log"),
              QByteArray("old\r\r\n\r\r\n") + Dashes +
                  "\r\r\n10:05:09 -> a\r\r\n10:05:10 -> b\r\r\n");
    EXPECT_EQ(ReadAll(folder + "/2015-04-03.log"), QByteArray("00:00:01 -> c\r\r\n"));
}

TEST(RunningLog, MissingFolderIsCreatedAndUnwritableFileIsReported) {
    QTemporaryDir dir;
    RunningLog log(dir.path() + "/运行记录");
    EXPECT_TRUE(log.Append("x\r\n", QDate(2020, 1, 1)));
    EXPECT_TRUE(QFile::exists(dir.path() + "/运行记录/2020-01-01.log"));

    // A plain file where the folder should be: nothing can be written, and the caller is told.
    QFile blocker(dir.path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RunningLog broken(dir.path() + "/blocked");
    EXPECT_FALSE(broken.Append("x\r\n", QDate(2020, 1, 1)));
    EXPECT_EQ(broken.LastFailedPath(), dir.path() + "/blocked/2020-01-01.log");
}

TEST(RunningLog, LinesFromSeveralThreadsNeverInterleave) {
    QTemporaryDir dir;
    RunningLog log(dir.path());
    const QDate day(2021, 6, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t, day] {
            for (int i = 0; i < 200; ++i)
                log.Append(QByteArray("thread ") + QByteArray::number(t) + QByteArray(40, 'a' + t) +
                               "\r\n",
                           day);
        });
    for (auto& th : threads)
        th.join();
    const QList<QByteArray> lines = ReadAll(log.FileFor(day)).split('\n');
    int counted = 0;
    for (const QByteArray& l : lines) {
        if (!l.startsWith("thread "))
            continue;
        const char c = l.at(8);
        EXPECT_EQ(l, QByteArray("thread ") + l.at(7) + QByteArray(40, c) + "\r\r") << "torn line";
        ++counted;
    }
    EXPECT_EQ(counted, 800);
}
