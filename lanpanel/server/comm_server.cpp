#include "comm_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <cstring>

namespace lanpanel {

const std::uint8_t kBeacon[kBeaconSize] = {0x02, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                           0x08, 0x09, 0x10, 0x11, 0x12, 0x13, 0x14,
                                           0x15, 0x16, 0x17, 0x18, 0x19, 0x20};

bool PassesAddressFilter(std::uint32_t peerIpv4, const std::array<std::uint8_t, 4>& deviceIp) {
    return deviceIp[3] == 255 || (peerIpv4 & 0xFF) == deviceIp[3];
}

CommServer::CommServer(SharedState& shared, LinkPorts ports, Timing timing, QObject* parent)
    : QObject(parent), shared_(shared), ports_(ports), timing_(timing),
      listener_(new QTcpServer(this)), beaconTimer_(new QTimer(this)) {
    connect(listener_, &QTcpServer::newConnection, this, &CommServer::OnNewConnection);
    connect(listener_, &QTcpServer::acceptError, this,
            [this] { Log(QStringLiteral("接收客户端请求连接失败。")); });
    connect(beaconTimer_, &QTimer::timeout, this, &CommServer::BeaconTick);
}

CommServer::~CommServer() {
    if (device_)
        device_->disconnect(this);
}

bool CommServer::Start() {
    connected_ = false;
    refusing_ = true;
    Log(QStringLiteral("服务器开始创建TCP/IP套接口。"));
    // A relay that finds the PC busy must retry rather than queue behind another relay.
    listener_->setListenBacklogSize(1);
    const QHostAddress address = ports_.LoopbackOnly ? QHostAddress(QHostAddress::LocalHost)
                                                     : QHostAddress(QHostAddress::AnyIPv4);
    bool listening = listener_->listen(address, ports_.TcpPort);
    if (!listening) {
        const auto error = listener_->serverError();
        if (error == QAbstractSocket::AddressInUseError ||
            error == QAbstractSocket::SocketAccessError ||
            error == QAbstractSocket::SocketAddressNotAvailableError)
            Log(QStringLiteral("无法绑定服务器。"));
        else
            Log(QStringLiteral("服务器TCP/IP监听失败。"));
    } else {
        Log(QStringLiteral("服务器TCP/IP套接口创建成功，端口号为%1。").arg(ports_.TcpPort));
        Log(QStringLiteral("服务器TCP/IP绑定成功，开始监听。"));
        refusing_ = false;
    }
    beaconTimer_->start(timing_.BeaconMs);
    return listening;
}

bool CommServer::Listening() const {
    return listener_->isListening();
}

std::uint16_t CommServer::ServerPort() const {
    return listener_->serverPort();
}

void CommServer::OnNewConnection() {
    bool first = true;
    while (true) {
        QTcpSocket* socket = listener_->nextPendingConnection();
        if (!socket) {
            if (first)
                Log(QStringLiteral("没有可用的套接口去接受设备的请求了。"));
            return;
        }
        first = false;
        if (refusing_) {
            Log(QStringLiteral("有连接到达，但需要强制关闭。"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        bool ok = false;
        const quint32 peer = socket->peerAddress().toIPv4Address(&ok);
        if (!ok || !PassesAddressFilter(peer, shared_.DeviceIp)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const QString peerText = QHostAddress(peer).toString();
        if (device_) {
            // A relay that reboots calls again before its old connection times out; the new
            // connection is the live one, and the old one would otherwise stay open unread.
            DropDeviceSocket();
            connected_ = false;
            Log(QStringLiteral("地址：") + peerText +
                QStringLiteral(" 的设备重新连接，原有连接已关闭。"));
            emit DeviceLost();
        }
        device_ = socket;
        Log(QStringLiteral("地址：") + peerText + QStringLiteral(" 的设备连接上了程序。"));
        socket->setReadBufferSize(kReceiveBuffer);
        connect(socket, &QTcpSocket::readyRead, this, &CommServer::OnReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &CommServer::OnDisconnected);
        connected_ = true;
        emit TitleChanged(kTitleConnected);
        emit PlaySound(QStringLiteral("IDR_WAVE_RING"));
    }
}

void CommServer::OnReadyRead() {
    // The engine may drop the connection while handling a frame; the guard notices.
    QPointer<QTcpSocket> socket = device_;
    while (socket && socket->bytesAvailable() > 0) {
        std::memset(buffer_.data(), 0, 0x6000);
        const qint64 n = socket->read(buffer_.data(), kReceiveBuffer);
        HandleRead(buffer_.data(), n);
        if (n <= 0)
            break;
    }
}

void CommServer::HandleRead(const char* data, qint64 n) {
    if (!connected_)
        Log(QStringLiteral("有数据到达，但是没有设备连接。"));
    if (n < 0) {
        Log(QStringLiteral("接收数据发生错误。"));
        return;
    }
    if (n < 1 || n > kLargestRead)
        return;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    const int count = static_cast<int>(n);
    Log(MonitorLog::FrameText(true, bytes, count));
    emit FrameArrived(bytes, count);
}

void CommServer::OnDisconnected() {
    if (device_ && device_->bytesAvailable() > 0)
        OnReadyRead();
    Log(QStringLiteral("程序检测到设备已退出连接。"));
    emit TitleChanged(kTitleWaiting);
    DropDeviceSocket();
    connected_ = false;
    emit DeviceLost();
}

void CommServer::DropDeviceSocket() {
    if (!device_)
        return;
    QTcpSocket* socket = device_;
    device_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

bool CommServer::SendToDevice(const std::uint8_t* data, std::uint16_t count) {
    if (!connected_ || !device_) {
        Log(QStringLiteral("还没有设备连接或服务器未初始化成功。"));
        return false;
    }
    const qint64 sent = device_->write(reinterpret_cast<const char*>(data), count);
    if (sent != count) {
        Log(QStringLiteral("发送出错，命令下发失败。"));
        return false;
    }
    if (count >= 1 && count <= kLargestRead)
        Log(MonitorLog::FrameText(false, data, count));
    return true;
}

bool CommServer::StopService() {
    beaconTimer_->stop();
    refusing_ = true;
    Log(QStringLiteral("程序经手动停止了下发 UDP报文。"));
    Log(QStringLiteral("程序经手动退出了和设备的连接。"));
    DropDeviceSocket();
    connected_ = false;
    return true;
}

bool CommServer::ResumeService() {
    beaconTimer_->start(timing_.BeaconMs);
    refusing_ = false;
    Log(QStringLiteral("程序经手动继续下发UDP报文!"));
    return true;
}

void CommServer::BeaconTick() {
    const auto& ip = shared_.DeviceIp;
    if (ip[3] != rememberedOctet_) {
        udpReady_ = false;
        rememberedOctet_ = ip[3];
    }
    if (udpReady_ && udp_) {
        udp_->writeDatagram(reinterpret_cast<const char*>(kBeacon), kBeaconSize, udpDest_,
                            ports_.UdpPort);
        return;
    }
    const QString text = QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
    const QHostAddress dest(text);
    if (dest.isNull())
        return;
    // One socket serves every destination: the one made for an earlier address is not kept.
    if (!udp_)
        udp_ = new QUdpSocket(this);
    udpDest_ = dest;
    udp_->writeDatagram(reinterpret_cast<const char*>(kBeacon), kBeaconSize, dest, ports_.UdpPort);
    udpReady_ = true;
    Log(QStringLiteral("服务器UDP端口%1初始化成功，发UDP报文至：").arg(ports_.UdpPort) + text +
        QStringLiteral("。"));
    Log(QStringLiteral("设备IP被设定为 %1.%2.%3.%4，程序将接受此IP的连接。")
            .arg(ip[0])
            .arg(ip[1])
            .arg(ip[2])
            .arg(ip[3]));
}

} // namespace lanpanel
