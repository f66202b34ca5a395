#include "serial_port.h"

#include "port_name.h"
#include "relay_link.h"

#include <QLocalSocket>
#include <QSerialPort>
#include <QThread>
#include <algorithm>
#include <future>
#include <thread>

namespace companel {

using Clock = std::chrono::steady_clock;

struct SerialPort::Command {
    enum Kind { Open, Close, OpenRelay } kind = Close;
    int portNumber = 0;
    int bitRate = 9600;
    int dataBits = 8;
    int stopCode = 0;
    int parityCode = 0;
    std::promise<bool> result;
};

// Everything only the link thread touches.
struct SerialPort::LinkState {
    std::unique_ptr<QSerialPort> port;
    std::unique_ptr<QLocalSocket> relay;
    RelayMessageReader relayReader;
    int relayPort = 0;
    Clock::time_point lastRelayAttempt{};
    QByteArray assembly;
    Clock::time_point lastByte{};
};

namespace {

QSerialPort::StopBits StopBitsOf(int code) {
    switch (code) {
    case 1:
        return QSerialPort::OneAndHalfStop;
    case 2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

QSerialPort::Parity ParityOf(int code) {
    switch (code) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::DataBits DataBitsOf(int bits) {
    switch (bits) {
    case 5:
        return QSerialPort::Data5;
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

bool TryReachRelay(QLocalSocket& socket, int waitMs) {
    if (socket.state() == QLocalSocket::ConnectedState)
        return true;
    socket.abort();
    socket.connectToServer(RelayServerName());
    return socket.waitForConnected(waitMs);
}

} // namespace

SerialPort::SerialPort(SerialTiming timing) : timing_(timing) {
    thread_.reset(QThread::create([this] { Run(); }));
    thread_->start();
}

SerialPort::~SerialPort() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    workCv_.notify_all();
    wake_.Wake();
    WakeWaiters();
    thread_->wait();
}

bool SerialPort::Execute(std::shared_ptr<Command> command) {
    std::future<bool> done = command->result.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_)
            return false;
        commands_.push_back(std::move(command));
    }
    workCv_.notify_all();
    wake_.Wake();
    return done.get();
}

bool SerialPort::Open(int portNumber, int bitRate, int dataBits, int stopCode, int parityCode) {
    auto c = std::make_shared<Command>();
    c->kind = Command::Open;
    c->portNumber = portNumber;
    c->bitRate = bitRate;
    c->dataBits = dataBits;
    c->stopCode = stopCode;
    c->parityCode = parityCode;
    return Execute(std::move(c));
}

bool SerialPort::Close() {
    auto c = std::make_shared<Command>();
    c->kind = Command::Close;
    return Execute(std::move(c));
}

bool SerialPort::OpenRelay(int portNumber) {
    auto c = std::make_shared<Command>();
    c->kind = Command::OpenRelay;
    c->portNumber = portNumber;
    return Execute(std::move(c));
}

bool SerialPort::IsUsable() {
    if (relayMode_.load()) {
        if (!relayConnected_.load()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                wakeRelay_ = true;
            }
            workCv_.notify_all();
            wake_.Wake();
        }
        return relayConnected_.load();
    }
    return openFlag_.load();
}

bool SerialPort::Send(const std::uint8_t* bytes, int count) {
    if (count <= 0 || bytes == nullptr)
        return false;
    if (relayMode_.load() ? !relayConnected_.load() : !openFlag_.load())
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outbox_.emplace_back(reinterpret_cast<const char*>(bytes), count);
    }
    workCv_.notify_all();
    wake_.Wake();
    return true;
}

bool SerialPort::HasFrame() const {
    std::lock_guard<std::mutex> lock(frameMutex_);
    return frameReady_;
}

int SerialPort::TakeFrame(std::uint8_t* destination) {
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!frameReady_)
        return 0;
    frameReady_ = false;
    const int n = static_cast<int>(std::min<qsizetype>(frame_.size(), MaxFrame));
    std::copy_n(reinterpret_cast<const std::uint8_t*>(frame_.constData()), n, destination);
    return n;
}

bool SerialPort::WaitFrame(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(frameMutex_);
    frameCv_.wait_for(lock, limit, [this] { return frameReady_ || wakeUp_; });
    wakeUp_ = false;
    return frameReady_;
}

void SerialPort::WakeWaiters() {
    {
        std::lock_guard<std::mutex> lock(frameMutex_);
        wakeUp_ = true;
    }
    frameCv_.notify_all();
}

void SerialPort::Deliver(const QByteArray& frame) {
    {
        std::lock_guard<std::mutex> lock(frameMutex_);
        frame_ = frame.left(MaxFrame);
        frameReady_ = true;
    }
    frameCv_.notify_all();
}

void SerialPort::MarkClosed() {
    openFlag_ = false;
    portNumber_ = 0;
}

void SerialPort::Run() {
    LinkState link;
    for (;;) {
        std::deque<std::shared_ptr<Command>> commands;
        std::deque<QByteArray> outbox;
        bool wakeRelay = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const bool idle = !(link.port && link.port->isOpen() && !relayMode_.load()) &&
                              !(relayMode_.load() && relayConnected_.load());
            if (idle) {
                // Nothing to listen to: sleep until somebody wants something.
                workCv_.wait_for(lock, std::chrono::milliseconds(50), [this] {
                    return stop_ || !commands_.empty() || !outbox_.empty() || wakeRelay_;
                });
            }
            if (stop_)
                break;
            commands.swap(commands_);
            outbox.swap(outbox_);
            wakeRelay = wakeRelay_;
            wakeRelay_ = false;
        }
        for (auto& c : commands)
            RunCommand(link, *c);

        if (relayMode_.load()) {
            if (!link.relay)
                link.relay = std::make_unique<QLocalSocket>();
            if (!relayConnected_.load() && wakeRelay &&
                Clock::now() - link.lastRelayAttempt >=
                    std::chrono::milliseconds(timing_.relayRetryMs)) {
                link.lastRelayAttempt = Clock::now();
                link.relayReader.Reset();
                relayConnected_ = TryReachRelay(*link.relay, timing_.relayConnectWaitMs);
            }
            for (const QByteArray& bytes : outbox) {
                if (!relayConnected_.load())
                    break;
                link.relay->write(
                    EncodeRelayMessage(static_cast<std::uint32_t>(link.relayPort), bytes));
                link.relay->waitForBytesWritten(timing_.writeWaitMs);
            }
            if (relayConnected_.load())
                ServeRelay(link);
        } else if (link.port && link.port->isOpen()) {
            for (const QByteArray& bytes : outbox) {
                link.port->write(bytes);
                link.port->waitForBytesWritten(timing_.writeWaitMs);
            }
            ServeSerial(link);
        }
    }
    if (link.port)
        link.port->close();
    if (link.relay)
        link.relay->abort();
    MarkClosed();
}

void SerialPort::RunCommand(LinkState& link, Command& c) {
    switch (c.kind) {
    case Command::Open: {
        relayMode_ = false;
        if (!link.port || !link.port->isOpen() || c.portNumber != portNumber_.load()) {
            if (link.port)
                link.port->close();
            link.port = std::make_unique<QSerialPort>();
            link.port->setPortName(PortDeviceName(c.portNumber));
            if (!link.port->open(QIODevice::ReadWrite)) {
                link.port.reset();
                MarkClosed();
                c.result.set_value(false);
                return;
            }
            portNumber_ = c.portNumber;
            openFlag_ = true;
        }
        QSerialPort& p = *link.port;
        const bool configured = p.setBaudRate(c.bitRate) && p.setDataBits(DataBitsOf(c.dataBits)) &&
                                p.setStopBits(StopBitsOf(c.stopCode)) &&
                                p.setParity(ParityOf(c.parityCode)) &&
                                p.setFlowControl(QSerialPort::NoFlowControl);
        if (!configured) {
            p.close();
            link.port.reset();
            MarkClosed();
            c.result.set_value(false);
            return;
        }
        p.setReadBufferSize(0);
        p.clear(QSerialPort::AllDirections);
        // Some drivers refuse optional requests made while opening; only later errors count.
        p.clearError();
        link.assembly.clear();
        c.result.set_value(true);
        return;
    }
    case Command::Close:
        if (link.port)
            link.port->close();
        link.port.reset();
        link.assembly.clear();
        MarkClosed();
        c.result.set_value(true);
        return;
    case Command::OpenRelay: {
        // A serial port that is open stays open; only the route of the frames changes.
        relayMode_ = true;
        link.relayPort = c.portNumber;
        portNumber_ = c.portNumber;
        if (!link.relay)
            link.relay = std::make_unique<QLocalSocket>();
        link.relayReader.Reset();
        link.lastRelayAttempt = Clock::now();
        relayConnected_ = TryReachRelay(*link.relay, timing_.relayConnectWaitMs);
        if (relayConnected_.load()) {
            link.relay->write(
                EncodeRelayMessage(static_cast<std::uint32_t>(c.portNumber), QByteArray()));
            link.relay->waitForBytesWritten(timing_.writeWaitMs);
        }
        c.result.set_value(relayConnected_.load());
        return;
    }
    }
}

void SerialPort::ServeSerial(LinkState& link) {
    QSerialPort& p = *link.port;
    // Until the next byte or the end of the silence; with nothing assembled, until woken.
    int wait = -1;
    if (!link.assembly.isEmpty()) {
        const auto quiet =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - link.lastByte);
        wait = static_cast<int>(std::max<long long>(timing_.idleGapMs - quiet.count(), 0));
    }
    bool arrived = p.bytesAvailable() > 0;
    if (!arrived) {
        if (wake_.Valid() && p.handle() >= 0) {
            switch (WaitForLine(p.handle(), wake_, wait)) {
            case LineReadable:
                arrived = p.waitForReadyRead(0);
                break;
            case LineWoken:
                wake_.Drain();
                return; // new work first; the silence is measured from the last byte anyway
            case LineTimeout:
                break;
            }
        } else {
            arrived =
                p.waitForReadyRead(wait < 0 ? timing_.sliceMs : std::min(wait, timing_.sliceMs));
        }
    }
    const QByteArray bytes = arrived ? p.readAll() : QByteArray();
    if (!bytes.isEmpty()) {
        link.lastByte = Clock::now();
        link.assembly.append(bytes);
        while (link.assembly.size() >= MaxFrame) {
            Deliver(link.assembly.left(MaxFrame));
            link.assembly.remove(0, MaxFrame);
        }
        if (timing_.gatherMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timing_.gatherMs));
    } else if (p.error() == QSerialPort::ResourceError || p.error() == QSerialPort::ReadError) {
        // The device went away: an unplugged adapter reports a resource error, a
        // pseudo-terminal whose far end closed a read error.
        p.close();
        link.port.reset();
        link.assembly.clear();
        MarkClosed();
        return;
    }
    if (!link.assembly.isEmpty() &&
        Clock::now() - link.lastByte >= std::chrono::milliseconds(timing_.idleGapMs)) {
        p.clear(QSerialPort::Input);
        Deliver(link.assembly);
        link.assembly.clear();
    }
}

void SerialPort::ServeRelay(LinkState& link) {
    QLocalSocket& s = *link.relay;
    bool arrived = s.bytesAvailable() > 0;
    if (!arrived) {
        if (wake_.Valid() && s.socketDescriptor() >= 0) {
            switch (WaitForLine(s.socketDescriptor(), wake_, -1)) {
            case LineReadable:
                arrived = s.waitForReadyRead(0);
                break;
            case LineWoken:
                wake_.Drain();
                return;
            case LineTimeout:
                break;
            }
        } else {
            arrived = s.waitForReadyRead(timing_.sliceMs);
        }
    }
    if (arrived)
        link.relayReader.Append(s.readAll());
    while (auto message = link.relayReader.Next())
        Deliver(message->payload);
    if (link.relayReader.Failed() || s.state() != QLocalSocket::ConnectedState) {
        s.abort();
        link.relayReader.Reset();
        relayConnected_ = false;
    }
}

} // namespace companel
