// The management thread against the relay simulator on a pseudo-terminal: what an engineer's
// session with a real relay looks like, with faults the simulator makes on purpose.

#include "common/support/appdir.h"
#include "companel/link/port_name.h"
#include "companel/link/relay_link.h"
#include "companel/link/requests.h"
#include "companel/polling/management_thread.h"
#include "locked_recorder.h"
#include "tools/vkd2950-sim/simulator.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace companel;
using namespace companel::test;
using namespace std::chrono_literals;

namespace {

QString SampleIni() {
    return QStringLiteral(RELAY_SOURCE_DIR "/resources/companel/配置文件/VKD2950.ini");
}

template <typename Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class SimEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        support::SetAppDir(dir_.path());
        ASSERT_TRUE(QDir().mkpath(PortLinkFolder()));
        state_.LoadTables(SampleIni());
        vkdsim::DeviceOptions options;
        options.SignalPeriodSeconds = 0;
        QString error;
        auto device = vkdsim::LoadDevice(SampleIni(), options, vkdsim::Simulator::NowMs(), &error);
        ASSERT_TRUE(device) << error.toStdString();
        vkdsim::FaultSettings faults;
        faults.Pacing = false;
        sim_ = std::make_unique<vkdsim::Simulator>(std::move(device), faults);
        ASSERT_TRUE(sim_->OpenPty(&error)) << error.toStdString();
        ASSERT_TRUE(sim_->LinkAs(PortLinkFolder() + "/COM3", &error)) << error.toStdString();
        ASSERT_TRUE(sim_->Start());
    }
    void TearDown() override {
        thread_.reset();
        sim_.reset();
    }
    void StartThread(bool open = true) {
        if (open) {
            ASSERT_TRUE(port_.Open(3));
        }
        thread_ = std::make_unique<ManagementThread>(state_, port_, out_, timing_);
        ASSERT_TRUE(thread_->Start());
    }
    void SetFault(vkdsim::FaultKind kind, int remaining, int ms = 0) {
        vkdsim::FaultSettings f = sim_->Faults();
        f.Kind = kind;
        f.Remaining = remaining;
        if (kind == vkdsim::FaultKind::Late)
            f.LateMs = ms;
        if (kind == vkdsim::FaultKind::Split)
            f.SplitGapMs = ms;
        sim_->SetFaults(f);
    }
    // Queues a request and waits for its status line.
    ::testing::AssertionResult Confirmed(const Frame& request, const QString& line) {
        const int before = out_.Count(line);
        state_.CommandSlot.Fill(request);
        if (WaitUntil([&] { return out_.Count(line) > before; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no " << line.toStdString();
    }

    QTemporaryDir dir_;
    CompanelState state_;
    std::unique_ptr<vkdsim::Simulator> sim_;
    SerialPort port_;
    LockedRecorder out_;
    PollTiming timing_;
    std::unique_ptr<ManagementThread> thread_;
};

} // namespace

TEST_F(SimEndToEnd, LiveValuesAndEveryRequestConfirmedInBothRemoteModes) {
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("version V1.640"); }));
    EXPECT_TRUE(out_.Has("model VKD2950"));
    const double reported = sim_->WithDevice(
        [](vkdsim::Device& d) { return d.ReportedValue(0, vkdsim::Simulator::NowMs()); });
    EXPECT_NEAR(state_.TelemetryValue(0), reported, std::abs(reported) * 0.05 + 0.05);

    const std::uint8_t a = 1;
    ASSERT_TRUE(
        Confirmed(BuildParameterUpload(a, state_.Tables.Parameters), "status 上装所有参数成功!"));
    EXPECT_EQ(state_.ParameterValue(kRemoteModeIndex), 0);
    struct Op {
        Operation op;
        const char* text;
    };
    const Op mode0[] = {
        {Operation::SignalReset, "status 复归成功!"},
        {Operation::HighSideClose, "status 高压侧合闸成功!"},
        {Operation::HighSideOpen, "status 高压侧分闸成功!"},
        {Operation::LowSide1Close, "status 1#低压侧合闸成功!"},
        {Operation::LowSide1Open, "status 1#低压侧分闸成功!"},
        {Operation::LowSide2Close, "status 2#低压侧合闸成功!"},
        {Operation::LowSide2Open, "status 2#低压侧分闸成功!"},
    };
    for (const Op& o : mode0)
        EXPECT_TRUE(Confirmed(BuildOperation(a, o.op), o.text));
    EXPECT_TRUE(
        Confirmed(BuildTimeSet(a, state_.Tables.Telemetry.TimePost, QDateTime::currentDateTime()),
                  "status 校时成功!"));
    EXPECT_TRUE(
        Confirmed(BuildSettingUpload(a, state_.Tables.Settings), "status 上装所有定值成功!"));
    EXPECT_TRUE(Confirmed(BuildSettingDownload(a, state_.Tables.Settings).Request,
                          "status 下载所有定值成功!"));
    EXPECT_TRUE(Confirmed(BuildParameterDownload(a, state_.Tables.Parameters).Request,
                          "status 下载所有参数成功!"));
    EXPECT_TRUE(Confirmed(BuildEventBatch(a, 3), "status 分批上装事件记录成功：25/500"));

    // The relay in remote-control mode 1 answers the breaker commands its own way.
    sim_->WithDevice([](vkdsim::Device& d) { d.SetRemoteMode(1); });
    ASSERT_TRUE(
        Confirmed(BuildParameterUpload(a, state_.Tables.Parameters), "status 上装所有参数成功!"));
    EXPECT_EQ(state_.ParameterValue(kRemoteModeIndex), 1);
    for (const Op& o : mode0)
        EXPECT_TRUE(Confirmed(BuildOperation(a, o.op), o.text)) << "mode 1";
}

TEST_F(SimEndToEnd, LinkDropsOnTheEleventhSilentTurnAndComesBack) {
    timing_.answerWaitMs = 150;
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return state_.LinkOk.load() == 1; }));
    SetFault(vkdsim::FaultKind::Silent, 11);
    ASSERT_TRUE(WaitUntil([&] { return state_.LinkOk.load() == 0; }));
    EXPECT_EQ(thread_->FailureCount(), 11);
    ASSERT_TRUE(WaitUntil([&] { return state_.LinkOk.load() == 1; }));
    EXPECT_GE(out_.Count("status 轮循回复超时!"), 11);
}

TEST_F(SimEndToEnd, RequestQueuedWhileThePortIsClosedGoesOutWhenItOpens) {
    StartThread(false);
    state_.CommandSlot.Fill(BuildOperation(1, Operation::SignalReset));
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("clock 串口错误"); }));
    EXPECT_TRUE(state_.CommandSlot.IsPending());
    ASSERT_TRUE(port_.Open(3));
    EXPECT_TRUE(WaitUntil([&] { return out_.Has("status 复归成功!"); }));
}

TEST_F(SimEndToEnd, LateAnswerIsTakenAsTheNextOne) {
    // The late answer's bytes arrive inside the wait, but the silence that ends the frame
    // only comes after it: the turn is unanswered, and the next poll takes that frame.
    timing_.answerWaitMs = 400;
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return state_.LinkOk.load() == 1; }));
    SetFault(vkdsim::FaultKind::Late, 1, 300);
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("status 轮循回复超时!"); }));
    // The late poll answer arrives during the next turn and is decoded as its answer.
    const int before = out_.Count("model VKD2950");
    EXPECT_TRUE(WaitUntil([&] { return out_.Count("model VKD2950") > before; }));
    EXPECT_EQ(out_.Count("status 轮循回复超时!"), 1);
}

TEST_F(SimEndToEnd, BurstsApartLessThanTheSilenceAreOneAnswer) {
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return state_.LinkOk.load() == 1; }));
    SetFault(vkdsim::FaultKind::Split, 3, 150);
    ASSERT_TRUE(WaitUntil([&] { return sim_->Faults().Kind == vkdsim::FaultKind::None; }));
    std::this_thread::sleep_for(400ms);
    const QStringList lines = out_.Lines();
    EXPECT_FALSE(lines.contains("status 轮循过程收到长度太短的报文!"));
    EXPECT_FALSE(lines.contains("status 轮循过程收到CRC错误的报文!"));

    SetFault(vkdsim::FaultKind::Split, 1, 250);
    EXPECT_TRUE(WaitUntil([&] {
        const QStringList l = out_.Lines();
        return l.contains("status 轮循过程收到长度太短的报文!") ||
               l.contains("status 轮循过程收到CRC错误的报文!");
    })) << "250 ms apart the first half is a frame of its own";
}

TEST_F(SimEndToEnd, AddressSearchFindsTheRelay) {
    sim_->WithDevice([](vkdsim::Device& d) { d.SetAddress(5); });
    timing_.answerWaitMs = 300;
    StartThread();
    state_.SearchSlot.Fill(BuildAddressSearch());
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("status 寻找地址成功，地址为：5"); }));
    EXPECT_EQ(state_.SlaveAddress.load(), 5);
    EXPECT_TRUE(out_.Has("address 5"));
    const int before = out_.Count("model VKD2950");
    EXPECT_TRUE(WaitUntil([&] { return out_.Count("model VKD2950") > before; }))
        << "polls now reach address 5";
}

// Relay mode: a stub communication server hands every frame to the simulated relay and returns
// its answer.
TEST(RelayEndToEnd, PollsThroughTheCommunicationServer) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    CompanelState state;
    state.LoadTables(SampleIni());
    vkdsim::DeviceOptions options;
    options.SignalPeriodSeconds = 0;
    QString error;
    auto device = vkdsim::LoadDevice(SampleIni(), options, vkdsim::Simulator::NowMs(), &error);
    ASSERT_TRUE(device);

    std::atomic<bool> stop{false};
    std::atomic<bool> listening{false};
    std::unique_ptr<QThread> server(QThread::create([&] {
        QLocalServer::removeServer(RelayServerName());
        QLocalServer listener;
        if (!listener.listen(RelayServerName()))
            return;
        listening = true;
        std::unique_ptr<QLocalSocket> peer;
        RelayMessageReader reader;
        while (!stop.load()) {
            if (!peer) {
                if (listener.waitForNewConnection(20))
                    peer.reset(listener.nextPendingConnection());
                continue;
            }
            if (peer->waitForReadyRead(20))
                reader.Append(peer->readAll());
            while (auto m = reader.Next()) {
                if (m->payload.isEmpty())
                    continue; // announcement or closing notice
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(m->payload.constData());
                const vkdsim::Bytes answer = device->Handle(
                    bytes, static_cast<std::size_t>(m->payload.size()), vkdsim::Simulator::NowMs());
                if (!answer.empty()) {
                    peer->write(EncodeRelayMessage(
                        0, QByteArray(reinterpret_cast<const char*>(answer.data()),
                                      static_cast<int>(answer.size()))));
                    peer->waitForBytesWritten(1000);
                }
            }
        }
    }));
    server->start();
    ASSERT_TRUE(WaitUntil([&] { return listening.load(); }, 3s));

    SerialPort port;
    ASSERT_TRUE(port.OpenRelay(9));
    LockedRecorder out;
    {
        ManagementThread thread(state, port, out);
        thread.SetNetworkMode(true);
        ASSERT_TRUE(thread.Start());
        EXPECT_TRUE(WaitUntil([&] { return out.Has("version V1.640"); }));
        state.CommandSlot.Fill(BuildOperation(1, Operation::SignalReset));
        EXPECT_TRUE(WaitUntil([&] { return out.Has("status 复归成功!"); }));
    }
    stop = true;
    server->wait();
}
