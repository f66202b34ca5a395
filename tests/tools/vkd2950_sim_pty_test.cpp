// The simulator on a real pseudo-terminal: what a master opening the port sees.

#include "companel/link/answer.h"
#include "companel/link/requests.h"
#include "tests/tools/sim_fixture.h"
#include "tools/vkd2950-sim/simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace simtest;
using Clock = std::chrono::steady_clock;

// The master's end of the line.
class Port {
public:
    explicit Port(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Port() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    void Send(const companel::Frame& f) const { SendBytes(ToBytes(f)); }
    void SendBytes(const Bytes& b) const {
        ASSERT_EQ(::write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    struct Chunk {
        Bytes Data;
        Clock::time_point At;
    };
    // Everything that arrives until `quietMs` pass without a byte.
    std::vector<Chunk> Receive(int firstMs, int quietMs) const {
        std::vector<Chunk> chunks;
        int wait = firstMs;
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, wait) > 0) {
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            chunks.push_back({Bytes(buf, buf + n), Clock::now()});
            wait = quietMs;
        }
        return chunks;
    }
    static Bytes Joined(const std::vector<Chunk>& chunks) {
        Bytes all;
        for (const auto& c : chunks)
            all.insert(all.end(), c.Data.begin(), c.Data.end());
        return all;
    }

private:
    int fd_ = -1;
};

class PtySim : public SimTest {
protected:
    void Start(const vkdsim::FaultSettings& faults) {
        Make();
        sim_ = std::make_unique<vkdsim::Simulator>(std::move(device_), faults);
        QString error;
        ASSERT_TRUE(sim_->OpenPty(&error)) << error.toStdString();
        ASSERT_TRUE(sim_->Start());
    }
    std::unique_ptr<vkdsim::Simulator> sim_;
};

TEST_F(PtySim, AnswersAPollAtTheLinesPaceAndSplitsOnRequest) {
    vkdsim::FaultSettings faults; // pacing on
    Start(faults);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM3"));
    QString error;
    ASSERT_TRUE(sim_->LinkAs(link, &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim_->SlavePath());

    Port port(link);
    ASSERT_TRUE(port.Ok());
    const auto sent = Clock::now();
    port.Send(companel::BuildPoll(1, 59));
    const auto chunks = port.Receive(2000, 100);
    const Bytes answer = Port::Joined(chunks);
    ASSERT_EQ(answer.size(), 123u);
    EXPECT_TRUE(companel::CheckPollAnswer(answer.data(), answer.size(), 1).Accepted());
    // 121 bytes at 9600 bit/s take at least 126 ms on the line.
    ASSERT_FALSE(chunks.empty());
    EXPECT_GE(chunks.back().At - sent, std::chrono::milliseconds(120));

    vkdsim::FaultSettings split = faults;
    split.Kind = vkdsim::FaultKind::Split;
    split.SplitGapMs = 250;
    split.Pacing = false;
    sim_->SetFaults(split);
    port.Send(companel::BuildParameterUpload(1, tables_->Parameters));
    const auto first = port.Receive(2000, 100); // ends in the gap
    const auto second = port.Receive(1000, 100);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_GE(second.front().At - first.back().At, std::chrono::milliseconds(200));
    Bytes both = Port::Joined(first);
    const Bytes rest = Port::Joined(second);
    both.insert(both.end(), rest.begin(), rest.end());
    EXPECT_EQ(both.size(), 125u);
    EXPECT_TRUE(companel::CheckCrc(both.data(), both.size(), 123));

    // Garbage on the line is skipped; the request behind it is still answered.
    sim_->SetFaults(faults);
    const companel::Frame reset = companel::BuildOperation(1, companel::Operation::SignalReset);
    Bytes noisy = {0x42, 0x10, 0x00};
    noisy.insert(noisy.end(), reset.data(), reset.data() + reset.size());
    port.SendBytes(noisy);
    EXPECT_EQ(Port::Joined(port.Receive(2000, 100)), ToBytes(reset));

    sim_->Stop();
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the simulator";
    EXPECT_GE(sim_->Requests(), 3u);
}

// A serial device the simulator opens through the serial-port layer: here the slave side of a
// pseudo-terminal whose master plays the companel end.
TEST_F(PtySim, AnswersOnASerialDevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);

    Make();
    vkdsim::FaultSettings faults;
    faults.Pacing = false;
    {
        vkdsim::Simulator sim(std::move(device_), faults);
        QString error;
        ASSERT_TRUE(sim.OpenDevice(slave, &error)) << error.toStdString();
        ASSERT_TRUE(sim.Start());
        const Bytes search = ToBytes(companel::BuildAddressSearch());
        ASSERT_EQ(::write(master, search.data(), search.size()), 8);
        Bytes answer;
        pollfd p{master, POLLIN, 0};
        while (answer.size() < 7 && ::poll(&p, 1, 2000) > 0) {
            std::uint8_t buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            answer.insert(answer.end(), buf, buf + n);
        }
        EXPECT_EQ(answer, Sealed({0xFE, 3, 2, 0, 1}));
    }
    QString error;
    vkdsim::Simulator none(nullptr, faults);
    EXPECT_FALSE(none.OpenDevice(QStringLiteral("/dev/nonexistent-tty"), &error));
    EXPECT_FALSE(error.isEmpty());
    ::close(master);
}

// The program as a user runs it: the line's path first, a link that lives as long as the
// program, console commands, and a clean end on "quit" or SIGTERM.
TEST(Vkd2950SimProgram, RunsOnALinkUntilToldToStop) {
    const QString program = QStringLiteral(RELAY_BINARY_DIR "/bin/vkd2950-sim");
    ASSERT_TRUE(QFileInfo::exists(program));
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ports/COM2"));
    for (const bool viaSignal : {false, true}) {
        SCOPED_TRACE(viaSignal ? "SIGTERM" : "quit");
        QProcess sim;
        sim.start(program, {QStringLiteral("--link"), link, QStringLiteral("--pacing"),
                            QStringLiteral("off"), QStringLiteral("--address"), QStringLiteral("7"),
                            QStringLiteral("--ini"), SampleIni()});
        ASSERT_TRUE(sim.waitForStarted(5000));
        while (!sim.canReadLine() && sim.waitForReadyRead(10000)) {
        }
        const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
        EXPECT_TRUE(path.startsWith(QStringLiteral("/dev/")));
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), path);
        {
            Port port(link);
            ASSERT_TRUE(port.Ok());
            sim.write("fault crc x1\n");
            // The console confirms a command on standard error once it is in force.
            QByteArray said;
            QElapsedTimer waited;
            waited.start();
            while (!said.contains("fault crc") && waited.elapsed() < 10000) {
                sim.waitForReadyRead(50);
                said += sim.readAllStandardError();
            }
            ASSERT_TRUE(said.contains("fault crc")) << said.constData();
            port.Send(companel::BuildPoll(7, 59));
            const Bytes spoiled = Port::Joined(port.Receive(3000, 100));
            EXPECT_EQ(companel::CheckPollAnswer(spoiled.data(), spoiled.size(), 7).FailedRule, 3);
            port.Send(companel::BuildPoll(7, 59));
            const Bytes good = Port::Joined(port.Receive(3000, 100));
            EXPECT_TRUE(companel::CheckPollAnswer(good.data(), good.size(), 7).Accepted());
        }
        if (viaSignal) {
            sim.terminate();
        } else {
            sim.write("quit\n");
            sim.waitForBytesWritten(1000);
        }
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.exitCode(), 0);
        EXPECT_FALSE(QFileInfo(link).isSymLink());
    }

    QProcess bad;
    bad.start(program, {QStringLiteral("--address"), QStringLiteral("300")});
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--address"));
}

} // namespace
