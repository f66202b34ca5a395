#pragma once
// The relay link of lanpanel: the PC listens, one relay connects. Accepts one relay whose address
// passes the last-octet filter, hands every read to the engine at once, sends the engine's
// frames, notices when the relay leaves, and sends the UDP beacon to the relay's address.
// Every event becomes a line of the monitor log.

#include "device_link.h"
#include "lanpanel/templates/shared_state.h"
#include "monitor_log.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace lanpanel {

inline const QString kTitleWaiting = QStringLiteral("服务开启/等待连接 - 运维终端V1.0");
inline const QString kTitleConnected = QStringLiteral("服务开启/连接成功 - 运维终端V1.0");
inline const QString kTitleClosed = QStringLiteral("服务关闭/连接断开 - 运维终端V1.0");
inline const QString kTitleStopped = QStringLiteral("服务终止/连接断开 - 运维终端V1.0");

constexpr int kReceiveBuffer = 0x6004;   // bytes taken by one read
constexpr int kLargestRead = 0x6000 - 1; // reads of more are neither logged nor passed on
constexpr int kBeaconSize = 20;
extern const std::uint8_t kBeacon[kBeaconSize];

// A peer is taken when its last octet equals that of DeviceIp, or DeviceIp ends in 255.
bool PassesAddressFilter(std::uint32_t peerIpv4, const std::array<std::uint8_t, 4>& deviceIp);

class CommServer : public QObject, public DeviceLink {
    Q_OBJECT
public:
    CommServer(SharedState& shared, LinkPorts ports = {}, Timing timing = {},
               QObject* parent = nullptr);
    ~CommServer() override;

    // Starts listening and the beacon timer (the timer also when listening failed). Returns
    // whether the server listens.
    bool Start();

    bool Connected() const { return connected_; }
    bool Refusing() const { return refusing_; }
    bool Listening() const;
    std::uint16_t ServerPort() const; // the port actually bound (tests bind port 0)

    bool DeviceConnected() const override { return connected_; }
    bool SendToDevice(const std::uint8_t* data, std::uint16_t count) override;

    bool StopService();
    bool ResumeService();

    void Log(const QString& text) { monitor_.Log(text); }
    MonitorLog& Monitor() { return monitor_; }

    // One read of the device socket: `n` bytes (or -1 for a failed read) in `data`.
    void HandleRead(const char* data, qint64 n);
    // One event of the beacon timer.
    void BeaconTick();

signals:
    // Delivered before the next read is taken; connect it directly.
    void FrameArrived(const std::uint8_t* data, int count);
    void DeviceLost();
    void TitleChanged(const QString& title);
    void PlaySound(const QString& resourceName);

private:
    void OnNewConnection();
    void OnReadyRead();
    void OnDisconnected();
    void DropDeviceSocket();

    SharedState& shared_;
    LinkPorts ports_;
    Timing timing_;
    MonitorLog monitor_;
    QTcpServer* listener_;
    QPointer<QTcpSocket> device_;
    QTimer* beaconTimer_;
    QUdpSocket* udp_ = nullptr;
    QHostAddress udpDest_;
    bool connected_ = false;
    bool refusing_ = true;
    bool udpReady_ = false;
    std::uint8_t rememberedOctet_ = 0;
    std::array<char, kReceiveBuffer> buffer_{};
};

} // namespace lanpanel
