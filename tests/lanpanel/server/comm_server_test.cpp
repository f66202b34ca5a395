#include "../wait.h"
#include "lanpanel/server/comm_server.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

using namespace lanpanel;
using lanpanel::testing::WaitFor;

TEST(AddressFilter, LastOctetOnly) {
    struct Case {
        std::array<std::uint8_t, 4> deviceIp;
        quint32 peer;
        bool taken;
    } cases[] = {
        {{192, 168, 1, 100}, QHostAddress("10.0.0.100").toIPv4Address(), true},
        {{192, 168, 1, 100}, QHostAddress("192.168.1.101").toIPv4Address(), false},
        {{192, 168, 1, 255}, QHostAddress("172.16.4.9").toIPv4Address(), true},
        {{127, 0, 0, 1}, QHostAddress("127.0.0.1").toIPv4Address(), true},
        {{0, 0, 0, 0}, QHostAddress("127.0.0.1").toIPv4Address(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PassesAddressFilter(c.peer, c.deviceIp), c.taken)
            << QHostAddress(c.peer).toString().toStdString();
}

namespace {
class ServerTest : public ::testing::Test {
protected:
    SharedState shared;
    std::unique_ptr<CommServer> server;
    QStringList titles;
    int lost = 0;
    std::vector<QByteArray> frames;
    QUdpSocket beaconSink;

    void SetUp() override {
        ASSERT_TRUE(beaconSink.bind(QHostAddress::LocalHost, 0));
        LinkPorts ports;
        ports.TcpPort = 0;
        ports.UdpPort = beaconSink.localPort();
        ports.LoopbackOnly = true;
        Timing timing;
        timing.BeaconMs = 3600 * 1000; // beacons are driven by hand here
        shared.DeviceIp = {127, 0, 0, 1};
        server = std::make_unique<CommServer>(shared, ports, timing);
        QObject::connect(server.get(), &CommServer::TitleChanged,
                         [this](const QString& t) { titles << t; });
        QObject::connect(server.get(), &CommServer::DeviceLost, [this] { ++lost; });
        QObject::connect(server.get(), &CommServer::FrameArrived,
                         [this](const std::uint8_t* d, int n) {
                             frames.emplace_back(reinterpret_cast<const char*>(d), n);
                         });
        ASSERT_TRUE(server->Start());
    }

    std::unique_ptr<QTcpSocket> Connect(const char* from = "127.0.0.1") {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(QHostAddress(QString::fromLatin1(from)), 0);
        s->connectToHost(QHostAddress::LocalHost, server->ServerPort());
        EXPECT_TRUE(s->waitForConnected(3000));
        return s;
    }
    bool HasLine(const QString& text) const {
        for (int i = 0; i < server->Monitor().LineCount(); ++i)
            if (server->Monitor().Line(i).mid(9) == text)
                return true;
        return false;
    }
};
} // namespace

TEST_F(ServerTest, StartLogsAndListens) {
    EXPECT_TRUE(server->Listening());
    EXPECT_FALSE(server->Refusing());
    EXPECT_FALSE(server->Connected());
    EXPECT_TRUE(HasLine(QStringLiteral("服务器开始创建TCP/IP套接口。")));
    EXPECT_TRUE(HasLine(QStringLiteral("服务器TCP/IP绑定成功，开始监听。")));
    // a second server on the same port cannot bind, logs it and goes on without listening
    LinkPorts same;
    same.TcpPort = server->ServerPort();
    same.LoopbackOnly = true;
    CommServer other(shared, same);
    EXPECT_FALSE(other.Start());
    EXPECT_TRUE(other.Refusing());
    EXPECT_EQ(other.Monitor().Line(0).mid(9), QStringLiteral("无法绑定服务器。"));
}

TEST_F(ServerTest, AcceptReadSendAndDisconnect) {
    QString sound;
    QObject::connect(server.get(), &CommServer::PlaySound, [&](const QString& s) { sound = s; });
    auto relay = Connect();
    ASSERT_TRUE(WaitFor([&] { return server->Connected(); }));
    EXPECT_TRUE(HasLine(QStringLiteral("地址：127.0.0.1 的设备连接上了程序。")));
    EXPECT_EQ(titles, QStringList{kTitleConnected});
    EXPECT_EQ(sound, QStringLiteral("IDR_WAVE_RING"));

    relay->write(QByteArray("\x07\x81\x09\x05\xFE\x00\x04", 7));
    ASSERT_TRUE(WaitFor([&] { return !frames.empty(); }));
    EXPECT_EQ(frames[0], QByteArray("\x07\x81\x09\x05\xFE\x00\x04", 7));
    EXPECT_EQ(server->Monitor().Line(0).mid(9), QStringLiteral("收 (007)：07 81 09 05 FE 00 04 "));

    const std::uint8_t cmd[] = {0x14, 0x81, 0x05, 0x05, 0xFE, 0x04, 0x01, 0x00};
    EXPECT_TRUE(server->SendToDevice(cmd, 8));
    EXPECT_EQ(server->Monitor().Line(0).mid(9),
              QStringLiteral("发 (008)：14 81 05 05 FE 04 01 00 "));
    ASSERT_TRUE(WaitFor([&] { return relay->bytesAvailable() >= 8; }));
    EXPECT_EQ(relay->readAll(), QByteArray(reinterpret_cast<const char*>(cmd), 8));

    relay->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return lost == 1; }));
    EXPECT_FALSE(server->Connected());
    EXPECT_EQ(titles.last(), kTitleWaiting);
    EXPECT_EQ(server->Monitor().Line(0).mid(9), QStringLiteral("程序检测到设备已退出连接。"));
    EXPECT_FALSE(server->SendToDevice(cmd, 8));
    EXPECT_EQ(server->Monitor().Line(0).mid(9),
              QStringLiteral("还没有设备连接或服务器未初始化成功。"));
    // the listener stays open: the relay can call again
    auto again = Connect();
    EXPECT_TRUE(WaitFor([&] { return server->Connected(); }));
    EXPECT_EQ(lost, 1);
}

TEST_F(ServerTest, ReadLimitsAndPause) {
    std::vector<char> big(0x6000, 0x0A);
    const int before = server->Monitor().LineCount();
    server->HandleRead(big.data(), 0x6000); // 24 576: neither logged nor passed on
    server->HandleRead(big.data(), 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(server->Monitor().LineCount(), before + 2); // "no device" twice, nothing else
    server->HandleRead(big.data(), -1);
    EXPECT_EQ(server->Monitor().Line(0).mid(9), QStringLiteral("接收数据发生错误。"));
    server->HandleRead(big.data(), 0x5FFF);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 0x5FFF);
    server->Monitor().SetPaused(true);
    const int paused = server->Monitor().LineCount();
    server->HandleRead(big.data(), 7);
    EXPECT_EQ(frames.size(), 2u); // still reaches the engine
    EXPECT_EQ(server->Monitor().LineCount(), paused);
}

TEST_F(ServerTest, FilterByLastOctet) {
    shared.DeviceIp = {127, 0, 0, 2};
    const int lines = server->Monitor().LineCount();
    auto stranger = Connect("127.0.0.1");
    ASSERT_TRUE(WaitFor([&] { return stranger->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(server->Connected());
    EXPECT_EQ(server->Monitor().LineCount(), lines); // closed without a line
    auto relay = Connect("127.0.0.2");
    ASSERT_TRUE(WaitFor([&] { return server->Connected(); }));
    EXPECT_TRUE(HasLine(QStringLiteral("地址：127.0.0.2 的设备连接上了程序。")));
}

TEST_F(ServerTest, SecondConnectionReplacesTheFirst) {
    shared.DeviceIp = {127, 0, 0, 255};
    auto first = Connect("127.0.0.3");
    ASSERT_TRUE(WaitFor([&] { return server->Connected(); }));
    auto second = Connect("127.0.0.4");
    ASSERT_TRUE(WaitFor([&] { return first->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(server->Connected());
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(HasLine(QStringLiteral("地址：127.0.0.4 的设备重新连接，原有连接已关闭。")));
    second->write("\x05\x81", 2);
    ASSERT_TRUE(WaitFor([&] { return !frames.empty(); }));
    EXPECT_EQ(frames[0], QByteArray("\x05\x81", 2));
}

TEST_F(ServerTest, StopAndResume) {
    auto relay = Connect();
    ASSERT_TRUE(WaitFor([&] { return server->Connected(); }));
    EXPECT_TRUE(server->StopService());
    EXPECT_FALSE(server->Connected());
    EXPECT_TRUE(server->Refusing());
    EXPECT_TRUE(HasLine(QStringLiteral("程序经手动停止了下发 UDP报文。")));
    EXPECT_TRUE(HasLine(QStringLiteral("程序经手动退出了和设备的连接。")));
    ASSERT_TRUE(WaitFor([&] { return relay->state() == QAbstractSocket::UnconnectedState; }));
    auto refused = Connect();
    ASSERT_TRUE(WaitFor([&] { return refused->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(server->Monitor().Line(0).mid(9), QStringLiteral("有连接到达，但需要强制关闭。"));
    EXPECT_EQ(lost, 0); // the main dialog resets the engine itself after a stop
    EXPECT_TRUE(server->ResumeService());
    EXPECT_EQ(server->Monitor().Line(0).mid(9), QStringLiteral("程序经手动继续下发UDP报文!"));
    auto back = Connect();
    EXPECT_TRUE(WaitFor([&] { return server->Connected(); }));
}

TEST_F(ServerTest, BeaconLogsOnlyWhenTheAddressChanges) {
    const int before = server->Monitor().LineCount();
    server->BeaconTick();
    server->BeaconTick();
    ASSERT_TRUE(WaitFor([&] { return beaconSink.pendingDatagramSize() >= 0; }));
    const QNetworkDatagram d = beaconSink.receiveDatagram();
    EXPECT_EQ(d.data(), QByteArray(reinterpret_cast<const char*>(kBeacon), kBeaconSize));
    ASSERT_TRUE(WaitFor([&] { return beaconSink.hasPendingDatagrams(); }));
    beaconSink.receiveDatagram();
    ASSERT_EQ(server->Monitor().LineCount(), before + 2);
    EXPECT_EQ(server->Monitor().Line(1).mid(9),
              QStringLiteral("服务器UDP端口%1初始化成功，发UDP报文至：127.0.0.1。")
                  .arg(beaconSink.localPort()));
    EXPECT_EQ(server->Monitor().Line(0).mid(9),
              QStringLiteral("设备IP被设定为 127.0.0.1，程序将接受此IP的连接。"));
    // only the last octet moves the destination: the beacon still reaches 127.0.0.1
    shared.DeviceIp = {127, 0, 1, 1};
    server->BeaconTick();
    EXPECT_EQ(server->Monitor().LineCount(), before + 2);
    EXPECT_TRUE(WaitFor([&] { return beaconSink.hasPendingDatagrams(); }));
}
