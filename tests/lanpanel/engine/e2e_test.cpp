// lanpanel's core against the relay simulator over loopback TCP, with shortened timings.

#include "../sim_thread.h"
#include "../wait.h"
#include "common/support/gbk.h"
#include "lanpanel/engine/lan_core.h"
#include "tools/pq4820-sim/sim_client.h"

#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <cmath>
#include <gtest/gtest.h>

using namespace lanpanel;
using lanpanel::testing::SimThread;
using lanpanel::testing::WaitFor;
using pq4820sim::SimClient;

namespace {

quint16 FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

QString Name(const char* field) {
    return support::FieldText(field, kTextField);
}

class EndToEnd : public ::testing::Test {
protected:
    std::unique_ptr<LanCore> core;
    std::unique_ptr<SimThread> simThread;
    SimClient* sim = nullptr;
    QObject receiver; // makes the simulator's reports arrive in the test's thread
    QStringList simLog;
    int templateSelected = 0;
    int deviceLost = 0;

    void StartCore() {
        LinkPorts ports;
        ports.TcpPort = 0;
        ports.UdpPort = FreeUdpPort();
        ports.LoopbackOnly = true;
        Timing fast;
        fast.EngineTimerMs = 5;
        fast.TicksPerPoll = 12; // a poll every 60 ms
        fast.BeaconMs = 100;
        core = std::make_unique<LanCore>(ports, fast);
        ASSERT_TRUE(
            core->ScanTemplates(QStringLiteral(RELAY_SOURCE_DIR "/resources/lanpanel/模板文件")));
        core->Shared().DeviceIp = {127, 0, 0, 1};
        core->Shared().DeviceAddress = 1;
        QObject::connect(&core->Engine(), &ProtocolEngine::TemplateSelected,
                         [this] { ++templateSelected; });
        // what the main dialog does on DeviceLost
        QObject::connect(
            core.get(), &LanCore::DeviceLost, core.get(),
            [this] {
                ++deviceLost;
                core->ForgetDevice();
            },
            Qt::QueuedConnection);
        ASSERT_TRUE(core->StartService());
        udpPort = ports.UdpPort;
    }

    void StartSim(pq4820sim::Faults faults = {}, QByteArray model = "48-21") {
        pq4820sim::RelayModel::Options relay;
        relay.model = model;
        pq4820sim::ClientOptions options;
        options.port = core->Server()->ServerPort();
        options.udpPort = udpPort;
        options.spontaneousSec = 0;
        options.frameGapMs = 25;
        options.retryMs = 100;
        options.faults = faults;
        simThread = std::make_unique<SimThread>(relay, options);
        sim = simThread->get();
        QObject::connect(sim, &SimClient::Report, &receiver,
                         [this](const QString& l) { simLog << l; });
        ASSERT_TRUE(simThread->Start());
    }

    void SetUp() override { StartCore(); }
    void TearDown() override {
        if (HasFailure())
            for (const QString& l : simLog)
                std::printf("sim: %s\n", l.toUtf8().constData());
        simThread.reset();
        core.reset();
    }

    ProtocolEngine& Engine() { return core->Engine(); }
    DeviceTemplate* Current() { return Engine().CurrentTemplate(); }
    bool Identified() { return Current() != nullptr && Engine().TimeSynced(); }

    quint16 udpPort = 0;
};

} // namespace

TEST_F(EndToEnd, ConnectionIdentificationClockAndInterrogation) {
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    EXPECT_EQ(Name(Current()->FileName), QStringLiteral("PQ4821.xml"));
    EXPECT_EQ(core->Shared().SelectedTemplateIndex, Current()->Index);
    EXPECT_EQ(Engine().ModelText(), "48-21");
    EXPECT_EQ(Engine().VersionText(), "V2.10");
    EXPECT_EQ(Engine().SeriesNumber(), 0x2A5C);
    EXPECT_GE(templateSelected, 1);
    ASSERT_TRUE(WaitFor([&] { return simLog.join('\n').contains(QStringLiteral("对时")); }));
    EXPECT_LT(std::llabs(sim->Inspect([&](const auto& m) { return m.Clock(); })
                             .msecsTo(QDateTime::currentDateTime())),
              2000);

    ASSERT_TRUE(WaitFor([&] { return Current()->Digital[0].State == 1; }));
    EXPECT_NEAR(Current()->Analogue[0].Value, 2.51, 0.05); // Ia, currents first
    EXPECT_NEAR(Current()->Analogue[8].Value, 433.0, 5.0); // P in kW from watts
    EXPECT_EQ(Current()->Digital[1].State, 0);
    EXPECT_TRUE(WaitFor([&] { return sim->BeaconsReceived() >= 1; }));
    // a sent frame and a received one are in the monitor
    const MonitorLog& log = core->Server()->Monitor();
    bool sent = false, received = false;
    for (int i = 0; i < log.LineCount(); ++i) {
        sent = sent || log.Line(i).contains(QStringLiteral("发 (008)：14 81 05 01 FE 04 01 00 "));
        received = received || log.Line(i).contains(QStringLiteral("收 ("));
    }
    EXPECT_TRUE(sent);
    EXPECT_TRUE(received);
}

TEST_F(EndToEnd, VoltagesFirstModel) {
    StartSim({}, "48-22");
    ASSERT_TRUE(WaitFor([&] { return Identified() && Current()->Digital[0].State == 1; }));
    EXPECT_EQ(Name(Current()->FileName), QStringLiteral("PQ4822.xml"));
    EXPECT_NEAR(Current()->Analogue[0].Value, 5.77, 0.05); // Ua in kV from volts
}

TEST_F(EndToEnd, SettingsZoneValuesAndDownload) {
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Settings);
    const int n = sim->Inspect([&](const auto& m) { return m.SettingCount(); });
    const bool listed =
        WaitFor([&] { return Current()->SettingCount == n && Engine().SettingsListed(); });
    ASSERT_TRUE(listed) << Current()->SettingCount << " " << Engine().SettingsListed() << " "
                        << Name(Current()->Setting[0].Name).toStdString();
    EXPECT_EQ(Current()->RunningZone, 1);
    EXPECT_EQ(Name(Current()->Setting[0].Name), QStringLiteral("过流I段投退"));
    EXPECT_EQ(Name(Current()->Setting[1].Unit), QStringLiteral("A"));
    EXPECT_FLOAT_EQ(Current()->Setting[1].Factor, 0.01f);
    EXPECT_EQ(Current()->Setting[0].DataType, 3);
    EXPECT_FLOAT_EQ(Current()->Setting[1].Value,
                    sim->Inspect([&](const auto& m) { return m.Setting(32, 1); }));

    // another zone: the engine selects it and reads its values
    Current()->ViewZone = 2;
    ASSERT_TRUE(WaitFor([&] {
        return sim->Inspect([&](const auto& m) { return m.SelectedZone(); }) == 2 &&
               Current()->Setting[1].Value ==
                   sim->Inspect([&](const auto& m) { return m.Setting(2, 1); });
    }));

    // download: the relay takes the values, and a later read shows them
    Current()->Setting[0].Value = 0;
    Current()->Setting[1].Value = 7.5f;
    Current()->Setting[n - 1].Value = 1.25f;
    Engine().SetDownloadPending(true);
    ASSERT_TRUE(WaitFor(
        [&] { return sim->Inspect([&](const auto& m) { return m.Setting(2, 1); }) == 7.5f; }));
    EXPECT_FALSE(Engine().DownloadPending());
    EXPECT_EQ(sim->Inspect([&](const auto& m) { return m.Setting(2, 0); }), 0.0f);
    EXPECT_EQ(sim->Inspect([&](const auto& m) { return m.Setting(2, n - 1); }), 1.25f);
    Current()->Setting[1].Value = -1; // forget the local copy; the relay's must come back
    ASSERT_TRUE(WaitFor([&] { return Current()->Setting[1].Value == 7.5f; }));
}

TEST_F(EndToEnd, PlatesAndProtection) {
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Plates);
    ASSERT_TRUE(WaitFor([&] { return Current()->PlateCount == 8 && Engine().PlatesListed(); }));
    EXPECT_EQ(Name(Current()->Plate[0].Name), QStringLiteral("过流I段投入"));
    EXPECT_EQ(Current()->Plate[2].State, 0);
    EXPECT_TRUE(Engine().SendPlateSwitch(3, 2));
    ASSERT_TRUE(WaitFor([&] { return Current()->Plate[2].State == 1; }));
    EXPECT_EQ(sim->Inspect([&](const auto& m) { return m.PlateState(2); }), 1);

    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Protection);
    ASSERT_TRUE(
        WaitFor([&] { return Current()->ProtectionCount == 8 && Engine().ProtectionListed(); }));
    EXPECT_EQ(Name(Current()->Protection[7].Name), QStringLiteral("保护频率"));
    EXPECT_EQ(Name(Current()->Protection[7].Unit), QStringLiteral("Hz"));
    EXPECT_FLOAT_EQ(Current()->Protection[7].Factor, 0.01f);
    EXPECT_FLOAT_EQ(Current()->Protection[0].Value, 2.52f);
}

TEST_F(EndToEnd, OperationsReachTheRelay) {
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Operations);
    const OutputDrive drive = OutputDriveButton(4);
    EXPECT_TRUE(Engine().SendRemoteControl(drive.entry, drive.value));
    EXPECT_TRUE(Engine().SendFixedClock());
    EXPECT_TRUE(Engine().SendSignalReset());
    ASSERT_TRUE(WaitFor(
        [&] { return sim->Inspect([&](const auto& m) { return m.OutputState(2); }) == 2; }));
    ASSERT_TRUE(WaitFor([&] {
        return sim->Inspect([&](const auto& m) { return m.Clock(); }).date().year() == 2008;
    }));
    EXPECT_TRUE(WaitFor([&] { return simLog.join('\n').contains(QStringLiteral("信号复归")); }));
}

TEST_F(EndToEnd, DisconnectResetsAndReconnectIdentifiesAgain) {
    pq4820sim::Faults faults;
    faults.reconnectSec = 1;
    StartSim(faults);
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Protection);
    ASSERT_TRUE(WaitFor([&] { return Identified() && Current()->ProtectionCount == 8; }));
    ASSERT_TRUE(WaitFor([&] { return deviceLost >= 1; }));
    EXPECT_TRUE(WaitFor([&] { return Current() == nullptr || sim->Connections() >= 2; }));
    ASSERT_TRUE(WaitFor(
        [&] { return sim->Connections() >= 2 && Identified() && Engine().ProtectionListed(); }));
    // descriptions came again on the new connection without growing the list
    EXPECT_EQ(Current()->ProtectionCount, 8);
    EXPECT_GE(templateSelected, 2);
}

TEST_F(EndToEnd, StoppedServiceRefusesUntilResumed) {
    StartSim();
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    QStringList titles;
    QObject::connect(core.get(), &LanCore::TitleChanged, &receiver,
                     [&](const QString& t) { titles << t; });
    ASSERT_TRUE(core->StopService());
    EXPECT_EQ(core->Shared().SelectedTemplateIndex, kNoTemplate);
    const int before = sim->Connections();
    ASSERT_TRUE(WaitFor([&] {
        const MonitorLog& log = core->Server()->Monitor();
        return log.Line(0).endsWith(QStringLiteral("有连接到达，但需要强制关闭。"));
    }));
    EXPECT_FALSE(core->Server()->Connected());
    EXPECT_EQ(Current(), nullptr);
    ASSERT_TRUE(core->ResumeService());
    ASSERT_TRUE(WaitFor([&] { return core->Server()->Connected() && Identified(); }));
    EXPECT_GT(sim->Connections(), before);
    EXPECT_EQ(titles.mid(0, 3), (QStringList{kTitleStopped, kTitleWaiting, kTitleConnected}));
}

TEST_F(EndToEnd, SplitFramesAreJoined) {
    pq4820sim::Faults faults;
    faults.split = true;
    StartSim(faults);
    ASSERT_TRUE(WaitFor([&] { return Identified(); }));
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Settings);
    const int n = sim->Inspect([&](const auto& m) { return m.SettingCount(); });
    ASSERT_TRUE(WaitFor([&] { return Engine().SettingsListed(); }));
    EXPECT_TRUE(simLog.join('\n').contains(QStringLiteral("分为 1460")));
    EXPECT_EQ(Name(Current()->Setting[n - 1].Name), QStringLiteral("控制回路时间定值"));
    EXPECT_EQ(Name(Current()->Setting[n - 1].Unit), QStringLiteral("s"));
}

TEST_F(EndToEnd, WrongStationAddressIsNeverIdentified) {
    pq4820sim::Faults faults;
    faults.wrongAddress = true;
    StartSim(faults);
    ASSERT_TRUE(WaitFor([&] { return simLog.filter(QStringLiteral("召唤装置标识")).size() >= 3; }));
    EXPECT_EQ(Current(), nullptr);
    EXPECT_TRUE(Engine().ModelText().isEmpty());
}

TEST_F(EndToEnd, SecondConnectionReplacesTheFirst) {
    pq4820sim::Faults faults;
    faults.secondConnection = true;
    StartSim(faults);
    ASSERT_TRUE(WaitFor([&] { return sim->OldConnectionsClosed() == 1; }));
    EXPECT_GE(deviceLost, 1);
    ASSERT_TRUE(WaitFor([&] { return core->Server()->Connected() && Identified(); }));
    EXPECT_EQ(sim->Connections(), 2);
}

TEST_F(EndToEnd, ShortFramesAndGarbageDoNotStopTheEngine) {
    pq4820sim::Faults faults;
    faults.shortFrames = true;
    faults.garbageSec = 1;
    StartSim(faults);
    core->Shared().CurrentPage = static_cast<std::uint16_t>(PollPage::Plates);
    ASSERT_TRUE(WaitFor([&] { return Identified() && Current()->PlateCount == 8; }, 15000));
    ASSERT_TRUE(WaitFor([&] { return simLog.filter(QStringLiteral("乱码")).size() >= 1; }));
    ASSERT_TRUE(WaitFor([&] { return simLog.filter(QStringLiteral("截短")).size() >= 2; }));
    EXPECT_TRUE(core->Server()->Connected());
}

TEST(Pq4820SimProgram, RunsAgainstTheCore) {
    const QString program = QStringLiteral(RELAY_BINARY_DIR "/bin/pq4820-sim");
    QProcess help;
    help.start(program, {"--help"});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--second-connection"));

    QProcess refuse;
    refuse.start(program, {"--host", "0.0.0.0"}); // not loopback: refused before any connection
    ASSERT_TRUE(refuse.waitForFinished(10000));
    EXPECT_EQ(refuse.exitCode(), 2);

    LinkPorts ports;
    ports.TcpPort = 0;
    ports.UdpPort = FreeUdpPort();
    ports.LoopbackOnly = true;
    Timing fast;
    fast.EngineTimerMs = 10;
    fast.TicksPerPoll = 5;
    LanCore core(ports, fast);
    ASSERT_TRUE(
        core.ScanTemplates(QStringLiteral(RELAY_SOURCE_DIR "/resources/lanpanel/模板文件")));
    core.Shared().DeviceIp = {127, 0, 0, 1};
    core.Shared().DeviceAddress = 7;
    ASSERT_TRUE(core.StartService());
    QProcess sim;
    sim.start(program, {"--port", QString::number(core.Server()->ServerPort()), "--udp-port",
                        QString::number(ports.UdpPort), "--address", "7", "--model", "48-22",
                        "--gap", "20"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    const bool identified = WaitFor(
        [&] {
            return core.Engine().CurrentTemplate() != nullptr &&
                   core.Engine().CurrentTemplate()->Digital[0].State == 1;
        },
        20000);
    sim.kill();
    sim.waitForFinished(5000);
    ASSERT_TRUE(identified) << sim.readAllStandardOutput().constData();
    EXPECT_EQ(core.Engine().CurrentTemplate()->Index, 2);
    EXPECT_TRUE(sim.readAllStandardOutput().contains("UDP"));
}

TEST(Pq4820SimRelay, CutsRequestsFromAStream) {
    // requests that arrive together, a stray byte, and a download that is still incomplete
    QByteArray stream = QByteArray::fromHex("14810501FE040100"
                                            "ee"
                                            "07810901FE0004"
                                            "0A812A01FEFA0B02"
                                            "0301010302010C00"
                                            "030201");
    using pq4820sim::RelayModel;
    EXPECT_EQ(RelayModel::NextRequest(stream).size(), 8u);
    EXPECT_EQ(RelayModel::NextRequest(stream).size(), 7u); // the stray byte is skipped
    EXPECT_TRUE(RelayModel::NextRequest(stream).empty());  // waits for the rest
    stream += QByteArray::fromHex("07040100000000");
    const auto download = RelayModel::NextRequest(stream);
    ASSERT_EQ(download.size(), 8u + 8u + 10u);
    EXPECT_TRUE(stream.isEmpty());

    RelayModel relay({});
    QString report;
    relay.Handle(
        {0x0A, 0x81, 0x28, 0x01, 0xFE, 0xFA, 0x05, 0x01, 0x00, 0x02, 0x01, 0x03, 0x01, 0x01, 0x03},
        &report);
    relay.Handle(download, &report);
    EXPECT_EQ(relay.SelectedZone(), 3);
    EXPECT_EQ(relay.Setting(3, 0), 12.0f);
    EXPECT_EQ(relay.Setting(3, 1), 0.0f); // the float that arrived whole: 0x00000000
    // a request for another station is not answered
    EXPECT_TRUE(relay.Handle({0x14, 0x81, 0x05, 0x09, 0xFE, 0x04, 0x01, 0x00}, &report).empty());
}
