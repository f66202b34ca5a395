#include "common/support/gbk.h"
#include "companel/config/basic_settings.h"
#include "companel/ui/splash_window.h"
#include "tests/companel/polling/device_script.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>

using namespace companel;
using namespace companel::test;

namespace {

QByteArray Peek(const RequestSlot& slot) {
    const Frame f = slot.Peek();
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
}

using MainWindowTest = WindowFixture;

TEST_F(MainWindowTest, StartOpensThePortNamesThePointsAndQueuesTheParameterUpload) {
    MainWindow& w = MakeWindow(NoThread());
    ASSERT_TRUE(w.Start());
    EXPECT_EQ(statuses_.mid(0, 4), (QStringList{QStringLiteral("欢迎使用青岚云测科技有限公司产品!"),
                                                QStringLiteral("串口面板版本号：V1.64!"),
                                                QStringLiteral("串口面板时间戳：15.04.02!"),
                                                QStringLiteral("打开串口成功!")}));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("串口面板 - VKD2950"));
    EXPECT_EQ(w.PortField()->text(), QStringLiteral("5"));
    EXPECT_EQ(w.DeviceClock()->text(), QStringLiteral("程序启动"));
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("010300640"
                                                                    "03C")));

    EXPECT_EQ(w.TelemetryName(0)->text(), QStringLiteral("高压侧Ia"));
    EXPECT_EQ(w.TelemetryName(43)->text(), QStringLiteral("遥测44"));
    EXPECT_EQ(w.TelemetryName(44)->text(), QStringLiteral("动态创建45"));
    EXPECT_EQ(w.TelemetryName(62)->text(), QStringLiteral("动态创建63"));
    EXPECT_EQ(w.SignalName(41)->text(), QStringLiteral("35kV事故总"));
    EXPECT_EQ(w.SignalName(67)->text(), QStringLiteral("动态创建"));
    EXPECT_EQ(w.TelemetryName(0)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_NE(w.TelemetryName(45)->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MainWindowTest, RunningLogOfARunHoldsTheSeparatorAndTheStartLines) {
    MainWindow& w = MakeWindow(NoThread());
    ASSERT_TRUE(w.Start());
    QFile f(log_->FileFor(QDate::currentDate()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QByteArray("\r\r"));
    EXPECT_EQ(lines[1], QByteArray(68, '-') + "\r\r");
    const char* start[] = {"欢迎使用青岚云测科技有限公司产品!", "串口面板版本号：V1.64!",
                           "串口面板时间戳：15.04.02!"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray line = lines[2 + i];
        EXPECT_TRUE(line.endsWith(support::ToGbk(QString::fromUtf8(start[i])) + "\r\r"))
            << line.toStdString();
        EXPECT_EQ(line.mid(2, 1), ":");
        EXPECT_EQ(line.mid(8, 4), " -> ");
    }
}

TEST_F(MainWindowTest, PortThatCannotOpenIsReportedAndTheWindowStaysUsable) {
    QFile::remove(dir_.path() + QStringLiteral("/ports/COM5"));
    MainWindow& w = MakeWindow(NoThread());
    ASSERT_TRUE(w.Start());
    EXPECT_TRUE(statuses_.contains(QStringLiteral("打开串口失败!")));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("串口面板 - VKD2950"));

    // Reconnect stores the field's text even when the port still cannot open.
    w.PortField()->setText(QStringLiteral("3"));
    w.Button(QStringLiteral("重新连接"))->click();
    EXPECT_EQ(LastStatus(), QStringLiteral("重新连接，打开串口失败!"));
    EXPECT_EQ(ReadPortSetting(dir_.path() + QStringLiteral("/配置文件/基本配置.ini")), 3);

    // With the port back, reconnect offers the address search; yes queues it.
    ASSERT_TRUE(QFile::link(pty_.SlavePath(), dir_.path() + QStringLiteral("/ports/COM3")));
    answerOk_ = true;
    w.Button(QStringLiteral("重新连接"))->click();
    EXPECT_EQ(LastStatus(), QStringLiteral("重新连接，打开串口成功!"));
    EXPECT_EQ(questions_, QStringList{QStringLiteral("打开串口成功，是否启动自动寻址功能？")});
    EXPECT_EQ(Peek(state_.SearchSlot), QByteArray::fromHex("FE0300000001"
                                                           "9005"));
}

TEST_F(MainWindowTest, AddressFieldRefusesOutOfRangeAndTakesValidAddresses) {
    MainWindow& w = MakeWindow(NoThread());
    const QString range = QStringLiteral("“请填入一个在1和247之间的整数。”");
    const QString integer = QStringLiteral("“请填入一个在0和255之间的整数。”");
    struct Case {
        const char* text;
        QString box; // empty: accepted
        int address; // SlaveAddress afterwards
    };
    const Case cases[] = {
        {"5", QString(), 5},     {"0", range, 5},      {"248", range, 5},
        {"255", range, 5},       {"abc", integer, 5},  {"300", integer, 5},
        {"247", QString(), 247}, {"", QString(), 247}, {"1", QString(), 1},
    };
    for (const Case& c : cases) {
        boxes_.clear();
        w.AddressField()->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(boxes_, c.box.isEmpty() ? QStringList() : QStringList{c.box}) << c.text;
        EXPECT_EQ(state_.SlaveAddress.load(), c.address) << c.text;
    }
}

TEST_F(MainWindowTest, EnterAndEscKeepTheWindowOnlyCloseRunsTheClosingSteps) {
    MainWindow& w = MakeWindow(NoThread());
    ASSERT_TRUE(w.Start());
    w.show();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &press);
        QKeyEvent inField(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(w.AddressField(), &inField);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.Closing());
    EXPECT_EQ(state_.StopRequested.load(), 0);
    EXPECT_FALSE(state_.CommandSlot.Peek().empty()); // no button was pressed by Enter

    int result = -1;
    QObject::connect(&w, &QDialog::finished, [&](int r) { result = r; });
    w.close();
    EXPECT_EQ(state_.StopRequested.load(), 1);
    EXPECT_TRUE(port_.IsRelayMode()); // the closing notice went out
    EXPECT_EQ(port_.PortNumber(), 200);
    EXPECT_TRUE(WaitFor([&] { return result >= 0; }));
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, WheelOverACalibratableNameStepsItsCoefficient) {
    MainWindow& w = MakeWindow(NoThread());
    ASSERT_TRUE(w.Start());
    state_.CommandSlot.Clear();
    state_.WithTables([](PointTables& t) {
        t.Telemetry.Value[0] = 12.5f;
        t.Parameters.RawValue[t.Telemetry.bCheckMemery[0] - 100] = 1024;
    });
    QLabel* name = w.TelemetryName(0);
    QWheelEvent up(QPointF(5, 5), name->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(name, &up);
    // Register 120 (bCheckMemery of the first point) takes 1024 + 30.
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("0110007800010204"
                                                                    "1E")));
    EXPECT_TRUE(state_.WheelAdjusted.load());

    // The left click (calibration) says that it is not in this version.
    QMouseEvent click(QEvent::MouseButtonRelease, QPointF(5, 5), name->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(name, &click);
    EXPECT_EQ(boxes_, QStringList{MainWindow::NotYetAvailableText()});
    for (const char* b : {"事件查询", "硬件信息", "定值参数"})
        w.Button(QString::fromUtf8(b))->click();
    EXPECT_EQ(boxes_.size(), 4);
}

TEST(SplashWindowTest, ClosesByItselfAfterPlayingTheStartSound) {
    QStringList waves;
    QElapsedTimer clock;
    clock.start();
    ShowSplash([&](const QString& w) { waves << w; }, SplashTiming{150, 50});
    EXPECT_EQ(waves, QStringList{QStringLiteral("IDR_WAVE_START")});
    EXPECT_GE(clock.elapsed(), 150);
}

} // namespace
