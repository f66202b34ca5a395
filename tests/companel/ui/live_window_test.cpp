// The window driven by the management thread against a scripted relay on a pseudo-terminal.

#include "tests/companel/polling/device_script.h"
#include "window_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <thread>

using namespace companel;
using namespace companel::test;

namespace {

// A relay that answers every read with register r holding its value from `Register`, and
// echoes every write.
QByteArray Relay(const QByteArray& request) {
    if (request.size() < 8)
        return QByteArray();
    const auto byte = [&](int i) { return static_cast<std::uint8_t>(request[i]); };
    if (byte(1) == 5 || byte(1) == 16)
        return WithCrc(request.left(6));
    if (byte(1) != 3)
        return QByteArray();
    const int start = (byte(2) << 8) | byte(3);
    const int count = (byte(4) << 8) | byte(5);
    QByteArray answer;
    answer.append(static_cast<char>(byte(0)));
    answer.append(char(3));
    answer.append(static_cast<char>(2 * count));
    for (int r = start; r < start + count; ++r) {
        // Clock 15-04-02 10:05:09, version 164, every input closed, 12.34 elsewhere.
        static const int clock[] = {15, 4, 2, 10, 5, 9};
        const int v = start != 0         ? 1024
                      : r < 6            ? clock[r]
                      : r == 6           ? 164
                      : r >= 8 && r < 11 ? 0xFFFF
                                         : 1234;
        answer.append(static_cast<char>(v >> 8));
        answer.append(static_cast<char>(v & 0xFF));
    }
    return WithCrc(answer);
}

class LiveWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        script_ = std::make_unique<DeviceScript>(pty_);
        script_->Start(Relay);
    }
    void TearDown() override {
        window_.reset();
        script_->Stop();
        WindowFixture::TearDown();
    }
    bool StatusSeen(const QString& text) {
        return WaitFor([&] { return statuses_.contains(text); }, 8000);
    }
    std::unique_ptr<DeviceScript> script_;
};

TEST_F(LiveWindow, ShowsLiveValuesAndConfirmsOperationsThroughTheThread) {
    MainWindow& w = MakeWindow();
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(StatusSeen(QStringLiteral("上装所有参数成功!")));
    // Cells of one poll arrive one after the other; the last input is among the last.
    ASSERT_TRUE(WaitFor([&] {
        return w.TelemetryCell(0)->text() == QStringLiteral("12.34") &&
               w.SignalCell(47)->text() == QStringLiteral("合");
    }));
    EXPECT_EQ(w.DeviceClock()->text(), QStringLiteral("15-04-02 10:05:09"));
    EXPECT_EQ(w.Model()->text(), QStringLiteral("VKD2950"));
    EXPECT_EQ(w.Version()->text(), QStringLiteral("V1.64"));
    EXPECT_EQ(w.SignalCell(0)->text(), QStringLiteral("合"));
    EXPECT_EQ(w.SignalCell(0)->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_FALSE(w.PcClock()->text().isEmpty());

    // Every input reads closed, the accident input too: OK on the question resets instead of
    // closing the breaker, and the close never goes out.
    answerOk_ = true;
    w.Button(QStringLiteral("出口1"))->click();
    EXPECT_EQ(questions_.size(), 1);
    ASSERT_TRUE(StatusSeen(QStringLiteral("复归成功!")));
    w.Button(QStringLiteral("出口7"))->click();
    EXPECT_EQ(questions_.size(), 2);
    ASSERT_TRUE(WaitFor([&] { return statuses_.count(QStringLiteral("复归成功!")) == 2; }, 8000));

    // The status box got every line in the order the thread reported it.
    const QString box = w.StatusBox()->Text();
    EXPECT_LT(box.indexOf(QStringLiteral("打开串口成功!")),
              box.indexOf(QStringLiteral("上装所有参数成功!")));
    EXPECT_LT(box.indexOf(QStringLiteral("正在进行复归操作...")),
              box.indexOf(QStringLiteral("复归成功!")));

    w.close();
    ASSERT_TRUE(WaitFor([&] { return !w.isVisible(); }));
    for (const QByteArray& r : script_->Received())
        EXPECT_FALSE(r.startsWith(QByteArray::fromHex("010500")) && r.size() > 3 && r[3] != 11)
            << r.toHex(' ').toStdString();
}

TEST_F(LiveWindow, ASilentRelayLeavesTheWindowResponsive) {
    script_->Stop();
    MainWindowOptions options;
    options.timing.answerWaitMs = 100;
    MainWindow& w = MakeWindow(options);
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(StatusSeen(QStringLiteral("轮循回复超时!")));
    EXPECT_EQ(w.DeviceClock()->text(), QStringLiteral("通讯中断"));
    // The window thread keeps working while the thread waits for answers.
    w.AddressField()->setText(QStringLiteral("7"));
    EXPECT_EQ(state_.SlaveAddress.load(), 7);
    state_.CommandSlot.Clear();
    w.Button(QStringLiteral("信号复归"))->click();
    EXPECT_TRUE(StatusSeen(QStringLiteral("操作失败!")));
}

TEST(WindowReporterTest, CallsFromAnotherThreadArriveInOrder) {
    WindowReporter reporter(nullptr);
    QStringList seen;
    QObject::connect(&reporter, &WindowReporter::StatusReported,
                     [&](const QString& t, const QTime&) { seen << t; });
    QObject::connect(&reporter, &WindowReporter::TelemetryCellSet, [&](int i, const QString& t) {
        seen << QStringLiteral("%1=%2").arg(i).arg(t);
    });
    std::thread producer([&] {
        for (int i = 0; i < 300; ++i) {
            reporter.ReportStatus(QString::number(i));
            reporter.SetTelemetryCell(static_cast<std::size_t>(i % 63), QString::number(i));
        }
    });
    producer.join();
    WaitFor([&] { return seen.size() >= 600; });
    ASSERT_EQ(seen.size(), 600);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(seen[2 * i], QString::number(i));
        EXPECT_EQ(seen[2 * i + 1], QStringLiteral("%1=%2").arg(i % 63).arg(i));
    }
}

TEST(WindowReporterTest, ALogLineThatCannotBeWrittenIsShownOnce) {
    QTemporaryDir dir;
    // A file where the log folder should be: nothing can be created there.
    QFile blocker(dir.path() + QStringLiteral("/运行记录"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RunningLog log(blocker.fileName());
    WindowReporter reporter(&log);
    QStringList status;
    QStringList boxOnly;
    QObject::connect(&reporter, &WindowReporter::StatusReported,
                     [&](const QString& t, const QTime&) { status << t; });
    QObject::connect(&reporter, &WindowReporter::BoxOnlyLine,
                     [&](const QString& line) { boxOnly << line; });
    reporter.ReportStatus(QStringLiteral("a"));
    reporter.ReportStatus(QStringLiteral("b"));
    EXPECT_EQ(status, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    ASSERT_EQ(boxOnly.size(), 1);
    EXPECT_TRUE(boxOnly[0].contains(QStringLiteral("运行记录无法写入")));
    EXPECT_TRUE(boxOnly[0].endsWith(QStringLiteral("\r\n")));
}

} // namespace
