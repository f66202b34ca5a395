// The main dialog against the relay simulator over loopback, with shortened timings: start,
// identification, live pages, stop and restart, loss of the relay, the INI file.

#include "../sim_thread.h"
#include "../wait.h"
#include "common/support/appdir.h"
#include "common/support/profile.h"
#include "common/widgets/flat_button.h"
#include "lanpanel/ui/ip_address_edit.h"
#include "lanpanel/ui/main_dialog.h"
#include "lanpanel/ui/measurement_page.h"
#include "lanpanel/ui/monitor_window.h"
#include "lanpanel/ui/report_list.h"
#include "lanpanel/ui/splash_window.h"
#include "lanpanel/ui/value_pages.h"
#include "page_fixture.h"
#include "tools/pq4820-sim/sim_client.h"

#include <QApplication>
#include <QComboBox>
#include <QEnterEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

using namespace lanpanel;
using namespace lanpanel::ui;
using lanpanel::testing::SimThread;
using lanpanel::testing::WaitFor;

namespace {

const QString kTemplates = QStringLiteral(RELAY_SOURCE_DIR "/resources/lanpanel/模板文件");

quint16 FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

class MainDialogTest : public ::testing::Test {
protected:
    QTemporaryDir appDir;
    LinkPorts ports;
    std::unique_ptr<LanCore> core;
    lanpanel::testing::ScriptedPrompter prompter;
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<SimThread> sim;
    QStringList sounds;

    void SetUp() override {
        support::SetAppDir(appDir.path());
        ports.TcpPort = 0;
        ports.UdpPort = FreeUdpPort();
        ports.LoopbackOnly = true;
        Timing fast;
        fast.EngineTimerMs = 5;
        fast.TicksPerPoll = 12;
        fast.BeaconMs = 100;
        core = std::make_unique<LanCore>(ports, fast);
        MainDialogOptions options;
        options.splash = false;
        options.templateFolder = kTemplates;
        dialog = std::make_unique<MainDialog>(*core, prompter, nullptr, options);
        QObject::connect(dialog.get(), &MainDialog::SoundRequested,
                         [this](const QString& n) { sounds << n; });
        dialog->Initialise();
        dialog->show();
    }
    void TearDown() override {
        sim.reset();
        dialog.reset();
        core.reset();
    }

    void StartSim(pq4820sim::Faults faults = {}) {
        pq4820sim::RelayModel::Options relay;
        pq4820sim::ClientOptions options;
        options.port = core->Server()->ServerPort();
        options.udpPort = 0;
        options.spontaneousSec = 0;
        options.frameGapMs = 25;
        options.retryMs = 100;
        options.faults = faults;
        sim = std::make_unique<SimThread>(relay, options);
        ASSERT_TRUE(sim->Start());
    }

    // Address 127.0.0.1 and station 1 typed in, then 启动服务.
    void TypeAddressAndStart() {
        for (int i = 0; i < 4; ++i)
            dialog->AddressEdit()->Field(i)->setText(i == 0 ? "127" : i == 3 ? "1" : "0");
        dialog->RtuBox()->setText(QStringLiteral("1"));
        dialog->StartButton()->click();
    }

    bool Identified() {
        return dialog->ModelList()->currentIndex() >= 0 && core->Engine().TimeSynced();
    }
    ReportList* MeasurementList() { return dialog->Measurement()->List(); }
};

} // namespace

TEST_F(MainDialogTest, FirstStartShowsDefaultsAndTemplates) {
    EXPECT_EQ(dialog->windowTitle(), kTitleClosed);
    EXPECT_EQ(dialog->AddressEdit()->Octets(), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(dialog->RtuBox()->text(), QStringLiteral("0"));
    QStringList models;
    for (int i = 0; i < dialog->ModelList()->count(); ++i)
        models << dialog->ModelList()->itemText(i);
    EXPECT_EQ(models, (QStringList{"0", "PQ4821", "PQ4822"}));
    EXPECT_EQ(dialog->ModelList()->currentIndex(), -1);
    EXPECT_FALSE(dialog->ModelList()->isEnabled());
    EXPECT_TRUE(dialog->Measurement()->isVisible());
    EXPECT_FALSE(dialog->Signals()->isVisible());
    // the pages fill the area right of the buttons and below the service strip
    EXPECT_EQ(dialog->Measurement()->geometry(),
              QRect(100, 80, dialog->width() - 105, dialog->height() - 85));
    dialog->resize(1000, 600);
    EXPECT_EQ(dialog->Signals()->geometry(), QRect(100, 80, 895, 515));

    const bool enabled[] = {true, true, false, false, true, false};
    for (int b = 0; b < MainDialog::kPages; ++b)
        EXPECT_EQ(dialog->PageButton(b)->isEnabled(), enabled[b]) << b;
    EXPECT_EQ(dialog->PageButton(4)->toolTip(), QStringLiteral("显示保护模拟量"));
    QStringList hovers;
    QObject::connect(dialog->PageButton(0), &widgets::FlatButton::HoverSoundPlayed,
                     [&](const QString& n) { hovers << n; });
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(dialog->PageButton(0), &enter);
    EXPECT_EQ(hovers, QStringList{QStringLiteral("IDR_WAVE_HOVER")});

    dialog->ShowPage(4);
    EXPECT_TRUE(dialog->Protection()->isVisible());
    EXPECT_FALSE(dialog->Measurement()->isVisible());
    EXPECT_EQ(core->Shared().CurrentPage, 3);
    dialog->ShowPage(1);
    EXPECT_EQ(core->Shared().CurrentPage, 0);

    // RTU： takes the low 8 bits, and 0 for text that is no number
    const std::pair<const char*, int> rtu[] = {{"5", 5}, {"261", 5}, {"abc", 0}, {"12x", 12}};
    for (const auto& [text, value] : rtu) {
        dialog->RtuBox()->setText(QString::fromLatin1(text));
        EXPECT_EQ(core->Shared().DeviceAddress, value) << text;
    }

    // 停止服务 before 启动服务
    dialog->StopButton()->click();
    ASSERT_EQ(prompter.shown.size(), 1);
    EXPECT_EQ(prompter.shown[0], QStringLiteral("失败提示!|还没有设备连接上应用程序，无须停止!"));
}

TEST_F(MainDialogTest, EscAndEnterDoNotEndTheDialogClosingWritesTheIni) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        dialog->RtuBox()->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog->RtuBox(), &press);
        EXPECT_TRUE(dialog->isVisible()) << key;
    }
    EXPECT_FALSE(QFile::exists(MainDialog::IniPath()));

    // an address typed but never started with is not kept; the station address is
    for (int i = 0; i < 4; ++i)
        dialog->AddressEdit()->Field(i)->setText(QStringLiteral("9"));
    dialog->RtuBox()->setText(QStringLiteral("300"));
    EXPECT_TRUE(dialog->close());
    const support::Profile ini = support::Profile::Load(MainDialog::IniPath());
    EXPECT_EQ(ini.ReadInt("Device", "LastDevIP1", -1), 0u);
    EXPECT_EQ(ini.ReadInt("Device", "LastDevIP4", -1), 0u);
    EXPECT_EQ(ini.ReadInt("Device", "LastDevRTU", -1), 44u);

    // the next start reads it back
    QFile::remove(MainDialog::IniPath());
    support::Profile::WriteString(MainDialog::IniPath(), "Device", "LastDevIP1", "383");
    support::Profile::WriteString(MainDialog::IniPath(), "Device", "LastDevIP4", "7");
    support::Profile::WriteString(MainDialog::IniPath(), "Device", "LastDevRTU", "3");
    LanCore second;
    MainDialogOptions options;
    options.splash = false;
    options.templateFolder = kTemplates;
    MainDialog again(second, prompter, nullptr, options);
    again.Initialise();
    EXPECT_EQ(again.AddressEdit()->Octets(), (std::array<std::uint8_t, 4>{127, 0, 0, 7}));
    EXPECT_EQ(again.RtuBox()->text(), QStringLiteral("3"));
    EXPECT_EQ(second.Shared().DeviceAddress, 3);
}

TEST_F(MainDialogTest, RelayIdentifiedPagesFillAndUpdate) {
    TypeAddressAndStart();
    EXPECT_EQ(dialog->windowTitle(), kTitleWaiting);
    EXPECT_EQ(dialog->StartButton()->text(), QStringLiteral("通讯管理"));
    ASSERT_NE(dialog->Monitor(), nullptr);
    EXPECT_FALSE(dialog->Monitor()->isVisible());
    EXPECT_EQ(core->Shared().DeviceIp, (std::array<std::uint8_t, 4>{127, 0, 0, 1}));
    StartSim();

    ASSERT_TRUE(WaitFor([&] { return dialog->windowTitle() == kTitleConnected; }));
    EXPECT_TRUE(sounds.contains(QStringLiteral("IDR_WAVE_RING")));
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    EXPECT_EQ(dialog->ModelList()->currentText(), QStringLiteral("PQ4821"));
    EXPECT_EQ(dialog->VersionBox()->text(), QStringLiteral("V2.10"));
    EXPECT_EQ(dialog->SeriesBox()->text(), QStringLiteral("2a5c"));

    // measurements: rows of the template, then live values
    ASSERT_TRUE(WaitFor([&] {
        return MeasurementList()->rowCount() == 12 && !MeasurementList()->Text(0, 2).isEmpty();
    }));
    EXPECT_EQ(MeasurementList()->Text(0, 1), QStringLiteral("Ia"));
    EXPECT_TRUE(dialog->Measurement()->CurrentFirst());
    EXPECT_NEAR(MeasurementList()->Text(0, 2).toDouble(), 2.51, 0.05);
    const QString first = MeasurementList()->Text(0, 2);
    EXPECT_TRUE(WaitFor([&] { return MeasurementList()->Text(0, 2) != first; }))
        << "values do not follow the relay";

    // signals: every row shown after the first interrogation, with the sound
    dialog->PageButton(1)->click();
    ReportList* signalsList = dialog->Signals()->List();
    ASSERT_TRUE(WaitFor([&] { return !signalsList->Text(0, 2).isEmpty(); }));
    EXPECT_EQ(signalsList->Text(0, 2), QStringLiteral("合"));
    EXPECT_EQ(signalsList->Text(1, 2), QStringLiteral("分"));
    EXPECT_TRUE(sounds.contains(QStringLiteral("IDR_WAVE_YX")));

    // protection values while their page is shown
    dialog->PageButton(4)->click();
    ReportList* protection = dialog->Protection()->List();
    ASSERT_TRUE(WaitFor([&] { return protection->rowCount() == 8; }));
    EXPECT_EQ(protection->Text(7, 1), QStringLiteral("保护频率"));
    EXPECT_EQ(protection->Text(7, 4), QStringLiteral("Hz"));
    EXPECT_EQ(protection->Text(7, 5), QStringLiteral("0.0100"));
    EXPECT_EQ(protection->Text(0, 2), QStringLiteral("2.5200"));

    // 通讯管理 shows the monitor with what was logged
    dialog->StartButton()->click();
    EXPECT_TRUE(dialog->Monitor()->isVisible());
    EXPECT_GT(core->Server()->Monitor().LineCount(), 3);
}

TEST_F(MainDialogTest, StopAndRestartService) {
    TypeAddressAndStart();
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    ASSERT_TRUE(WaitFor([&] { return MeasurementList()->rowCount() == 12; }));

    prompter.answer = false;
    dialog->StopButton()->click();
    EXPECT_EQ(prompter.asked, 1);
    EXPECT_EQ(prompter.shown.back(),
              QStringLiteral("失败提示!|该操作将退出现有连接，是否继续？  "));
    EXPECT_EQ(dialog->StopButton()->text(), QStringLiteral("停止服务"));
    EXPECT_TRUE(core->Server()->Connected());

    prompter.answer = true;
    dialog->StopButton()->click();
    EXPECT_EQ(dialog->StopButton()->text(), QStringLiteral("重启服务"));
    EXPECT_EQ(dialog->windowTitle(), kTitleStopped);
    EXPECT_TRUE(dialog->VersionBox()->text().isEmpty());
    EXPECT_TRUE(dialog->SeriesBox()->text().isEmpty());
    EXPECT_EQ(dialog->ModelList()->currentIndex(), -1);
    EXPECT_EQ(core->Shared().SelectedTemplateIndex, kNoTemplate);
    ASSERT_TRUE(WaitFor([&] { return MeasurementList()->rowCount() == 0; }));
    // the relay keeps calling and is turned away while stopped
    ASSERT_TRUE(WaitFor([&] {
        return core->Server()->Monitor().Line(0).endsWith(
            QStringLiteral("有连接到达，但需要强制关闭。"));
    }));
    EXPECT_EQ(dialog->StopButton()->text(), QStringLiteral("重启服务"));

    dialog->StopButton()->click();
    EXPECT_EQ(dialog->StopButton()->text(), QStringLiteral("停止服务"));
    EXPECT_EQ(dialog->windowTitle(), kTitleWaiting);
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    EXPECT_EQ(dialog->windowTitle(), kTitleConnected);
}

TEST_F(MainDialogTest, RelayLostClearsTheBoxesAndReloadsMeasurements) {
    TypeAddressAndStart();
    pq4820sim::Faults faults;
    faults.reconnectSec = 1;
    StartSim(faults);
    ASSERT_TRUE(WaitFor([&] {
        return Identified() && MeasurementList()->rowCount() == 12 &&
               !MeasurementList()->Text(0, 2).isEmpty();
    }));
    ASSERT_TRUE(WaitFor([&] { return dialog->windowTitle() == kTitleWaiting; }));
    ASSERT_TRUE(WaitFor([&] { return MeasurementList()->rowCount() == 0; }));
    EXPECT_TRUE(dialog->VersionBox()->text().isEmpty());
    EXPECT_EQ(dialog->ModelList()->currentIndex(), -1);
    EXPECT_EQ(dialog->StopButton()->text(), QStringLiteral("停止服务"));
    // it calls again and is identified again
    ASSERT_TRUE(WaitFor([&] { return Identified() && MeasurementList()->rowCount() == 12; }));
    EXPECT_EQ(dialog->VersionBox()->text(), QStringLiteral("V2.10"));
}

TEST(SplashWindow, PlaysTheStartSoundAndClosesByItself) {
    QStringList sounds;
    SplashWindow splash([&](const QString& n) { sounds << n; }, nullptr, 20);
    EXPECT_EQ(splash.size(), QSize(900, 600));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QTimer::singleShot(5, &splash, [&] { QApplication::sendEvent(&splash, &esc); });
    EXPECT_EQ(splash.exec(), QDialog::Accepted); // by its timer, not by Esc
    EXPECT_EQ(sounds, QStringList{QStringLiteral("IDR_WAVE_START")});
    EXPECT_FALSE(splash.isVisible());
}
