#include "common/support/appdir.h"
#include "common/support/gbk.h"
#include "common/support/profile.h"
#include "companel/config/point_table_loader.h"
#include "companel/link/port_name.h"
#include "companel/link/requests.h"
#include "companel/polling/management_thread.h"
#include "device_script.h"
#include "locked_recorder.h"

#include "tests/companel/wait_until.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace companel;
using namespace companel::test;
using namespace std::chrono_literals;

namespace {

const char* kIni =
    "[YC]\r\nAskNumber=40\r\nNumber=2\r\nTimePost=30\r\nVersionPost=36\r\nYXPost=38\r\n"
    "1.Post=1\r\n1.CC2=10\r\n1.Type=2\r\n1.bCheckMemery=110\r\n2.Post=2\r\n"
    "[YX]\r\nNumber=2\r\n1.Post=1\r\n2.Post=2\r\n"
    "[CS]\r\nStart=100\r\nNumber=60\r\n"
    "[DZ]\r\nStart=200\r\nNumber=10\r\n";

QByteArray Bytes(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<int>(f.size()));
}

// A complete poll answer of 40 registers; register 0 (point 1) holds `first`.
QByteArray PollAnswer(std::uint8_t address, std::uint16_t first = 100) {
    QByteArray a;
    a.append(static_cast<char>(address));
    a.append('\x03');
    a.append(static_cast<char>(80));
    for (int r = 0; r < 40; ++r) {
        const std::uint16_t v = r == 0 ? first : r == 30 ? 26 : static_cast<std::uint16_t>(r);
        a.append(static_cast<char>(v >> 8));
        a.append(static_cast<char>(v & 0xFF));
    }
    return WithCrc(a);
}

bool IsPoll(const QByteArray& r) {
    return r.size() == 8 && r[1] == '\x03' && r[2] == 0 && r[3] == 0;
}

class ManagementThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(pty_.Ok());
        support::SetAppDir(dir_.path());
        ASSERT_TRUE(LinkAsComPort(pty_.SlavePath(), 7));
        LoadPointTables(support::Profile::FromBytes(kIni), state_.Tables);
    }
    void TearDown() override { Finish(); }
    // Ends both threads; tests whose script captures their locals call it before returning.
    void Finish() {
        thread_.reset();
        device_.Stop();
    }
    void StartThread(bool openPort = true) {
        if (openPort) {
            ASSERT_TRUE(port_.Open(7));
        }
        thread_ = std::make_unique<ManagementThread>(state_, port_, out_, timing_);
        ASSERT_TRUE(thread_->Start());
    }

    QTemporaryDir dir_;
    PtyPair pty_;
    CompanelState state_;
    SerialPort port_{SerialTiming{20, 1000, 5}};
    LockedRecorder out_;
    PollTiming timing_{0, 1, 150, 50, 20};
    DeviceScript device_{pty_};
    std::unique_ptr<ManagementThread> thread_;
};

} // namespace

TEST_F(ManagementThreadTest, PollsByTheTableAndDecodesTheAnswer) {
    device_.Start([](const QByteArray& r) { return IsPoll(r) ? PollAnswer(1) : QByteArray(); });
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("yc 0 [10.0]"); }));
    EXPECT_EQ(state_.LinkOk.load(), 1);
    EXPECT_EQ(device_.Received().front(), WithCrc(QByteArray("\x01\x03\x00\x00\x00\x28", 6)));
    EXPECT_TRUE(out_.Has("model VKD2950"));
}

TEST_F(ManagementThreadTest, LinkOkDropsOnTheEleventhMissAndReturnsWithAnAnswer) {
    timing_.answerWaitMs = 400; // answered turns must never time out, even on a loaded machine
    std::vector<int> linkOkAtRequest;
    std::mutex m;
    device_.Start([&](const QByteArray& r) {
        std::lock_guard<std::mutex> lock(m);
        const int n = static_cast<int>(linkOkAtRequest.size());
        linkOkAtRequest.push_back(state_.LinkOk.load());
        const bool answer = n == 0 || n >= 12;
        return answer && IsPoll(r) ? PollAnswer(1) : QByteArray();
    });
    StartThread();
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard<std::mutex> lock(m);
            return linkOkAtRequest.size() >= 14;
        },
        10s));
    Finish();
    EXPECT_EQ(linkOkAtRequest[1], 1);
    EXPECT_EQ(linkOkAtRequest[11], 1) << "ten misses keep the link";
    EXPECT_EQ(linkOkAtRequest[12], 0) << "the eleventh drops it";
    EXPECT_EQ(linkOkAtRequest[13], 1) << "any answer brings it back";
    EXPECT_EQ(out_.Count("status 轮循回复超时!"), 11);
    EXPECT_TRUE(out_.Has("clock 通讯中断"));
}

TEST_F(ManagementThreadTest, CommandsAreConfirmedOrReportedUnanswered) {
    device_.Start([](const QByteArray& r) {
        if (r.size() >= 2 && r[1] == '\x05')
            return r; // coil echo
        return IsPoll(r) ? PollAnswer(1) : QByteArray();
    });
    StartThread();
    state_.CommandSlot.Fill(BuildOperation(1, Operation::SignalReset));
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("wave IDR_WAVE_YK"); }));
    const QStringList lines = out_.Lines();
    EXPECT_EQ(lines.indexOf("status 复归成功!") + 1, lines.indexOf("wave IDR_WAVE_YK"));

    state_.CommandSlot.Fill(BuildParameterUpload(1, state_.Tables.Parameters));
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("status 上装参数失败!"); }));
}

TEST_F(ManagementThreadTest, RequestWaitsForAnUnusablePortAndIsSentFirstWhenItOpens) {
    device_.Start(
        [](const QByteArray& r) { return r.size() >= 2 && r[1] == '\x05' ? r : PollAnswer(1); });
    StartThread(false);
    state_.CommandSlot.Fill(BuildOperation(1, Operation::SignalReset));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(out_.Count("clock 串口错误"), 1) << "an unusable port is shown once, not every turn";
    EXPECT_TRUE(state_.CommandSlot.IsPending());
    EXPECT_LT(thread_->Turns(), 50u) << "the loop waits calmly while the port is unusable";

    ASSERT_TRUE(port_.Open(7));
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("status 复归成功!"); }));
    EXPECT_EQ(device_.Received().front(), Bytes(BuildOperation(1, Operation::SignalReset)));
}

TEST_F(ManagementThreadTest, AddressSearchMovesThePollsToTheFoundAddress) {
    device_.Start([](const QByteArray& r) {
        if (static_cast<std::uint8_t>(r[0]) == kSearchAddress)
            return WithCrc(QByteArray("\xFE\x03\x02\x00\x05", 5));
        return r[0] == 5 && IsPoll(r) ? PollAnswer(5) : QByteArray();
    });
    state_.SearchSlot.Fill(BuildAddressSearch());
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("yc 0 [10.0]"); }));
    EXPECT_EQ(state_.SlaveAddress.load(), 5);
    EXPECT_TRUE(out_.Has("address 5"));
    EXPECT_EQ(out_.Count("status 寻找地址成功，地址为：5"), 1);
    EXPECT_EQ(device_.Received()[0], Bytes(BuildAddressSearch()));
    EXPECT_EQ(device_.Received()[1][0], 5);

    // Searching again finds the same address: nothing more is said.
    state_.SearchSlot.Fill(BuildAddressSearch());
    ASSERT_TRUE(
        WaitUntil([&] { return !state_.SearchSlot.IsPending() && device_.Received().size() > 4; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(out_.Count("status 寻找地址成功，地址为：5"), 1);
}

TEST_F(ManagementThreadTest, LateAnswerIsTakenAsTheAnswerToTheNextPoll) {
    timing_.answerWaitMs = 500;
    std::atomic<int> requests{0};
    device_.Start([&](const QByteArray&) {
        if (requests++ != 0)
            return QByteArray(); // only the first poll is ever answered, and late
        std::this_thread::sleep_for(600ms);
        return PollAnswer(1);
    });
    StartThread();
    ASSERT_TRUE(WaitUntil([&] { return out_.Has("yc 0 [10.0]"); }));
    Finish();
    EXPECT_EQ(out_.Count("status 轮循回复超时!"), 1);
    EXPECT_GE(requests.load(), 2);
}

TEST_F(ManagementThreadTest, ReplacingRequestsWhileSendingNeverTearsAFrame) {
    const QByteArray reset = Bytes(BuildOperation(1, Operation::SignalReset));
    const QByteArray timeSet =
        Bytes(BuildTimeSet(1, 30, QDateTime(QDate(2015, 4, 2), QTime(10, 5, 9))));
    device_.Start([reset](const QByteArray& r) {
        return r == reset ? r : IsPoll(r) ? PollAnswer(1) : QByteArray();
    });
    StartThread();
    std::atomic<bool> stop{false};
    std::thread window([&] {
        bool flip = false;
        while (!stop.load()) {
            const Frame f =
                flip ? BuildOperation(1, Operation::SignalReset)
                     : BuildTimeSet(1, 30, QDateTime(QDate(2015, 4, 2), QTime(10, 5, 9)));
            state_.CommandSlot.Fill(f);
            flip = !flip;
        }
    });
    std::this_thread::sleep_for(1500ms);
    stop = true;
    window.join();
    Finish();
    const QList<QByteArray> received = device_.Received();
    ASSERT_GE(received.size(), 3);
    for (const QByteArray& r : received)
        EXPECT_TRUE(r == reset || r == timeSet || IsPoll(r)) << r.toHex(' ').constData();
}

TEST_F(ManagementThreadTest, CalibrationFrameFollowsTheNextGoodPoll) {
    device_.Start([](const QByteArray& r) {
        if (r.size() >= 2 && r[1] == '\x10')
            return WithCrc(r.left(6));
        return IsPoll(r) ? PollAnswer(1, 100) : QByteArray(); // point 1 reads 10.0
    });
    state_.CalibrationIndex = 0;
    state_.CalibrationTarget = 20.0f;
    state_.CalibrationSlot.Fill(BuildCoefficientWrite(1, 110, 0));
    StartThread();
    ASSERT_TRUE(WaitUntil([&] {
        for (const QByteArray& r : device_.Received())
            if (r.size() == 11 && r[1] == '\x10')
                return true;
        return false;
    }));
    QByteArray write;
    for (const QByteArray& r : device_.Received())
        if (r.size() == 11 && r[1] == '\x10')
            write = r;
    EXPECT_EQ(write, Bytes(BuildCoefficientWrite(1, 110, 2048))) << "20 x 1024 / 10";
    EXPECT_FALSE(state_.CalibrationSlot.IsPending());
    EXPECT_TRUE(out_.Has("status 正在下载设定参数：遥测名称 ..."));
}

TEST_F(ManagementThreadTest, StopCutsAnAnswerWaitShort) {
    timing_.answerWaitMs = 5000;
    device_.Start([](const QByteArray&) { return QByteArray(); });
    StartThread();
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    thread_->RequestStop();
    ASSERT_TRUE(WaitUntil([&] { return !thread_->IsRunning(); }, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(ManagementThreadTest, CalibrationWithoutAReadingIsDroppedNotSentAsZero) {
    device_.Start([](const QByteArray& r) {
        if (r.size() >= 2 && r[1] == '\x10')
            return WithCrc(r.left(6));
        return IsPoll(r) ? PollAnswer(1, 0) : QByteArray(); // point 1 reads 0
    });
    state_.CalibrationIndex = 0;
    state_.CalibrationTarget = 20.0f;
    state_.CalibrationSlot.Fill(BuildCoefficientWrite(1, 110, 0));
    StartThread();
    ASSERT_TRUE(
        WaitUntil([&] { return out_.Has("status 遥测名称 没有有效测量值，未下载设定参数!"); }));
    std::this_thread::sleep_for(100ms);
    Finish();
    EXPECT_FALSE(state_.CalibrationSlot.IsPending());
    for (const QByteArray& r : device_.Received())
        EXPECT_NE(r[1], '\x10') << "no coefficient write went out";
}
