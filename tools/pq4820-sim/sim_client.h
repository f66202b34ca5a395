#pragma once
// Moves the relay's bytes: connects to lanpanel over loopback TCP, answers its requests with a
// pause between frames (one frame per read, as the relay sends them), listens for the UDP
// beacon, and misbehaves on request.

#include "relay_model.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <deque>
#include <mutex>

class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace pq4820sim {

struct Faults {
    bool split = false;            // frames over 1460 bytes go out as 1460 + the rest
    bool wrongAddress = false;     // answers carry another station address
    bool shortFrames = false;      // every third answer is cut short
    int garbageSec = 0;            // random bytes every so many seconds (0: never)
    int reconnectSec = 0;          // drop the connection after so many seconds, then call again
    bool secondConnection = false; // after identification, call again on a second connection
};

struct ClientOptions {
    QHostAddress host = QHostAddress::LocalHost;
    quint16 port = 1048;
    quint16 udpPort = 1032;  // 0: do not listen for the beacon
    int spontaneousSec = 20; // 0: no spontaneous changes
    int frameGapMs = 50;     // pause after each frame so reads do not run together
    int retryMs = 2000;      // wait before calling again
    Faults faults;
};

class SimClient : public QObject {
    Q_OBJECT
public:
    SimClient(RelayModel::Options relay, ClientOptions options, QObject* parent = nullptr);
    ~SimClient() override;

    // False when the host is not a loopback address.
    bool Start();

    // Looks at the relay's state; safe from another thread than the client's.
    template <typename Fn> auto Inspect(Fn fn) {
        std::lock_guard<std::mutex> lock(modelMutex_);
        return fn(static_cast<const RelayModel&>(model_));
    }
    bool IsConnected() const;
    int Connections() const { return connections_; }
    int BeaconsReceived() const { return beacons_; }
    int OldConnectionsClosed() const { return oldClosed_; }

signals:
    void Report(const QString& line);

private:
    void Connect();
    QTcpSocket* NewSocket();
    void OnConnected(QTcpSocket* socket);
    void OnReadyRead();
    void OnDisconnected(QTcpSocket* socket);
    void Queue(Bytes frame);
    void Pump();
    void OpenSecondConnection();
    void OnBeacon();

    std::mutex modelMutex_;
    RelayModel model_;
    ClientOptions options_;
    QPointer<QTcpSocket> socket_;
    QUdpSocket* udp_ = nullptr;
    QTimer* spontaneous_;
    QTimer* garbage_;
    QByteArray inbox_;
    std::deque<QByteArray> outbox_;
    bool pumping_ = false;
    int answers_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<int> beacons_{0};
    std::atomic<int> oldClosed_{0};
    bool secondOpened_ = false;
    std::mt19937 rng_{1032};
};

} // namespace pq4820sim
