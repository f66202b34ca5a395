#include "common/support/appdir.h"
#include "companel/link/port_name.h"
#include "companel/link/serial_port.h"
#include "pty_pair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace companel;
using namespace std::chrono_literals;

namespace {

QByteArray Take(SerialPort& port) {
    std::uint8_t buf[SerialPort::MaxFrame];
    const int n = port.TakeFrame(buf);
    return QByteArray(reinterpret_cast<const char*>(buf), n);
}

// A port number leading to a fresh pseudo-terminal through the ports folder of a temporary
// program folder.
class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(pty_.Ok());
        support::SetAppDir(dir_.path());
        ASSERT_TRUE(LinkAsComPort(pty_.SlavePath(), 7));
    }
    QTemporaryDir dir_;
    PtyPair pty_;
};

} // namespace

TEST(PortName, FollowsThePlatformNaming) {
    EXPECT_EQ(WindowsPortName(3), QStringLiteral("COM3"));
    EXPECT_EQ(WindowsPortName(9), QStringLiteral("COM9"));
    EXPECT_EQ(WindowsPortName(12), QStringLiteral("\\\\.\\COM12"));
#ifndef Q_OS_WIN
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    EXPECT_TRUE(PortDeviceName(1).startsWith("/dev/tty"));
    QDir().mkpath(PortLinkFolder());
    QFile::link("/dev/null", PortLinkFolder() + "/COM4");
    EXPECT_EQ(PortDeviceName(4), PortLinkFolder() + "/COM4");
#endif
}

TEST_F(PtyPortTest, SilenceOf200MsEndsAFrame) {
    SerialPort port;
    ASSERT_TRUE(port.Open(7));
    EXPECT_TRUE(port.IsUsable());
    EXPECT_EQ(port.PortNumber(), 7);

    // Two bursts 150 ms apart are one answer.
    pty_.Write("\x01\x03");
    std::this_thread::sleep_for(150ms);
    pty_.Write(QByteArray("\x02\x00\x05", 3));
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_EQ(Take(port), QByteArray("\x01\x03\x02\x00\x05", 5));
    EXPECT_FALSE(port.HasFrame());

    // 250 ms apart they are two.
    pty_.Write("AB");
    std::this_thread::sleep_for(250ms);
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_EQ(Take(port), QByteArray("AB"));
    pty_.Write("CD");
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_EQ(Take(port), QByteArray("CD"));
}

TEST_F(PtyPortTest, NoFrameIsSeenBeforeTheSilence) {
    SerialPort port;
    ASSERT_TRUE(port.Open(7));
    const auto start = std::chrono::steady_clock::now();
    pty_.Write("xyz");
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(Take(port), QByteArray("xyz"));
}

TEST_F(PtyPortTest, SendsBytesAndCutsLongStreams) {
    SerialPort port({50, 1000, 5});
    ASSERT_TRUE(port.Open(7));
    const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    ASSERT_TRUE(port.Send(request, sizeof request));
    EXPECT_EQ(pty_.Read(300), QByteArray(reinterpret_cast<const char*>(request), sizeof request));
    EXPECT_FALSE(port.Send(request, 0));

    QByteArray stream(1500, '\0');
    for (int i = 0; i < stream.size(); ++i)
        stream[i] = static_cast<char>(i & 0xFF);
    pty_.Write(stream);
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_EQ(Take(port), stream.left(SerialPort::MaxFrame));
    ASSERT_TRUE(port.WaitFrame(2s));
    EXPECT_EQ(Take(port), stream.mid(SerialPort::MaxFrame));
}

TEST_F(PtyPortTest, DeviceThatGoesAwayMakesThePortUnusable) {
    SerialPort port({50, 1000, 5});
    ASSERT_TRUE(port.Open(7));
    pty_.CloseMaster();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (port.IsUsable() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(port.IsUsable());
    EXPECT_EQ(port.PortNumber(), 0);
    const std::uint8_t b = 1;
    EXPECT_FALSE(port.Send(&b, 1));
}

TEST(SerialPort, OpenFailureLeavesThePortClosed) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    QDir().mkpath(PortLinkFolder());
    QFile::link(dir.path() + "/missing-device", PortLinkFolder() + "/COM9");
    SerialPort port;
    EXPECT_FALSE(port.Open(9));
    EXPECT_FALSE(port.IsUsable());
    EXPECT_EQ(port.PortNumber(), 0);
    EXPECT_TRUE(port.Close());
}

TEST(SerialPort, WaitFrameReturnsWhenWoken) {
    SerialPort port;
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        port.WakeWaiters();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.WaitFrame(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    waker.join();
}
