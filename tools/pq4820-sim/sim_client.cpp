#include "sim_client.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace pq4820sim {

namespace {
constexpr int kSegment = 1460;
const QByteArray kBeacon = QByteArray::fromHex("0202030405060708091011121314151617181920");
} // namespace

SimClient::SimClient(RelayModel::Options relay, ClientOptions options, QObject* parent)
    : QObject(parent), model_(std::move(relay)), options_(options), spontaneous_(new QTimer(this)),
      garbage_(new QTimer(this)) {
    connect(spontaneous_, &QTimer::timeout, this, [this] {
        if (!IsConnected())
            return;
        QString report;
        Bytes change;
        {
            std::lock_guard<std::mutex> lock(modelMutex_);
            change = model_.SpontaneousChange(&report);
        }
        Queue(std::move(change));
        emit Report(report);
    });
    connect(garbage_, &QTimer::timeout, this, [this] {
        if (!IsConnected())
            return;
        Bytes junk(1 + rng_() % 64);
        for (auto& b : junk)
            b = static_cast<std::uint8_t>(rng_());
        emit Report(QStringLiteral("故障：发送 %1 字节乱码").arg(junk.size()));
        Queue(std::move(junk));
    });
}

SimClient::~SimClient() {
    if (socket_)
        socket_->disconnect(this);
}

bool SimClient::Start() {
    if (!options_.host.isLoopback()) {
        emit Report(QStringLiteral("只允许连接本机回环地址（127.0.0.0/8 或 ::1）"));
        return false;
    }
    if (options_.udpPort != 0) {
        udp_ = new QUdpSocket(this);
        if (udp_->bind(options_.host.protocol() == QAbstractSocket::IPv6Protocol
                           ? QHostAddress(QHostAddress::LocalHostIPv6)
                           : QHostAddress(QHostAddress::LocalHost),
                       options_.udpPort)) {
            connect(udp_, &QUdpSocket::readyRead, this, &SimClient::OnBeacon);
            emit Report(
                QStringLiteral("在 UDP 端口 %1 等待服务器的广播报文").arg(udp_->localPort()));
        } else {
            emit Report(QStringLiteral("UDP 端口 %1 无法使用：%2")
                            .arg(options_.udpPort)
                            .arg(udp_->errorString()));
        }
    }
    if (options_.spontaneousSec > 0)
        spontaneous_->start(options_.spontaneousSec * 1000);
    if (options_.faults.garbageSec > 0)
        garbage_->start(options_.faults.garbageSec * 1000);
    Connect();
    return true;
}

bool SimClient::IsConnected() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

QTcpSocket* SimClient::NewSocket() {
    auto* socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, [this, socket] { OnConnected(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { OnDisconnected(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
        if (socket->state() != QAbstractSocket::UnconnectedState || socket != socket_)
            return;
        emit Report(QStringLiteral("连接失败：%1，%2 毫秒后重试")
                        .arg(socket->errorString())
                        .arg(options_.retryMs));
        socket->deleteLater();
        socket_ = nullptr;
        QTimer::singleShot(options_.retryMs, this, &SimClient::Connect);
    });
    socket->connectToHost(options_.host, options_.port);
    return socket;
}

void SimClient::Connect() {
    if (socket_)
        return;
    emit Report(QStringLiteral("连接 %1:%2 ...").arg(options_.host.toString()).arg(options_.port));
    socket_ = NewSocket();
}

void SimClient::OnConnected(QTcpSocket* socket) {
    if (socket != socket_) { // the second connection of the fault: it takes over
        QTcpSocket* old = socket_;
        socket_ = socket;
        inbox_.clear();
        emit Report(QStringLiteral("故障：第二个连接已建立，原连接保持不关闭"));
        if (old) {
            disconnect(old, &QTcpSocket::readyRead, this, nullptr);
            connect(old, &QTcpSocket::disconnected, this, [this, old] {
                ++oldClosed_;
                emit Report(QStringLiteral("服务器关闭了原有连接"));
                old->deleteLater();
            });
        }
    }
    {
        std::lock_guard<std::mutex> lock(modelMutex_);
        model_.NewConnection();
    }
    ++connections_;
    connect(socket, &QTcpSocket::readyRead, this, &SimClient::OnReadyRead, Qt::UniqueConnection);
    emit Report(QStringLiteral("已连接到 %1:%2（本地 %3）")
                    .arg(socket->peerAddress().toString())
                    .arg(socket->peerPort())
                    .arg(socket->localPort()));
    if (options_.faults.reconnectSec > 0) {
        QPointer<QTcpSocket> guard = socket;
        QTimer::singleShot(options_.faults.reconnectSec * 1000, this, [this, guard] {
            if (guard && guard == socket_) {
                emit Report(QStringLiteral("故障：主动断开连接"));
                guard->disconnectFromHost();
            }
        });
    }
}

void SimClient::OnDisconnected(QTcpSocket* socket) {
    if (socket != socket_)
        return;
    emit Report(QStringLiteral("连接已断开，%1 毫秒后重新连接").arg(options_.retryMs));
    socket_ = nullptr;
    socket->deleteLater();
    outbox_.clear();
    inbox_.clear();
    QTimer::singleShot(options_.retryMs, this, &SimClient::Connect);
}

void SimClient::OnReadyRead() {
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || socket != socket_)
        return;
    inbox_ += socket->readAll();
    for (Bytes req = RelayModel::NextRequest(inbox_); !req.empty();
         req = RelayModel::NextRequest(inbox_)) {
        QString report;
        std::vector<Bytes> answers;
        {
            std::lock_guard<std::mutex> lock(modelMutex_);
            answers = model_.Handle(req, &report);
        }
        if (!report.isEmpty())
            emit Report(report);
        for (const Bytes& a : answers)
            Queue(a);
        if (req[0] == 0x14 && options_.faults.secondConnection && !secondOpened_) {
            secondOpened_ = true;
            QTimer::singleShot(options_.frameGapMs * 4, this, &SimClient::OpenSecondConnection);
        }
    }
}

void SimClient::OpenSecondConnection() {
    emit Report(QStringLiteral("故障：打开第二个连接"));
    NewSocket();
}

void SimClient::Queue(Bytes frame) {
    if (frame.empty())
        return;
    const bool isAnswer = frame[0] == 0x05 || (frame.size() > 2 && frame[0] == 0x0A);
    if (isAnswer && options_.faults.wrongAddress && frame.size() > 3)
        frame[3] = static_cast<std::uint8_t>(frame[3] + 1);
    if (isAnswer && options_.faults.shortFrames && ++answers_ % 3 == 0 && frame.size() > 1) {
        frame.resize(1 + rng_() % (frame.size() - 1));
        if (frame.size() == kSegment)
            frame.pop_back();
        emit Report(QStringLiteral("故障：报文截短为 %1 字节").arg(frame.size()));
    }
    QByteArray bytes(reinterpret_cast<const char*>(frame.data()),
                     static_cast<qsizetype>(frame.size()));
    if (options_.faults.split && bytes.size() > kSegment) {
        emit Report(QStringLiteral("故障：%1 字节的报文分为 1460 + %2 字节发送")
                        .arg(bytes.size())
                        .arg(bytes.size() - kSegment));
        outbox_.push_back(bytes.left(kSegment));
        outbox_.push_back(bytes.mid(kSegment));
    } else {
        outbox_.push_back(bytes);
    }
    Pump();
}

void SimClient::Pump() {
    if (pumping_ || outbox_.empty())
        return;
    if (!IsConnected()) {
        outbox_.clear();
        return;
    }
    pumping_ = true;
    socket_->write(outbox_.front());
    socket_->flush();
    outbox_.pop_front();
    QTimer::singleShot(options_.frameGapMs, this, [this] {
        pumping_ = false;
        Pump();
    });
}

void SimClient::OnBeacon() {
    while (udp_->hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_->receiveDatagram();
        ++beacons_;
        if (d.data() != kBeacon)
            emit Report(QStringLiteral("收到内容不符的UDP报文（%1 字节）").arg(d.data().size()));
        else if (beacons_ == 1)
            emit Report(QStringLiteral("收到服务器的UDP广播报文（20 字节，来自 %1）")
                            .arg(d.senderAddress().toString()));
    }
}

} // namespace pq4820sim
