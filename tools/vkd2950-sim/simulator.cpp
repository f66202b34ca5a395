#include "tools/vkd2950-sim/simulator.h"

#include "tools/vkd2950-sim/request_framer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vkdsim {

// What the line thread reads from and writes to.
class ByteLink {
public:
    virtual ~ByteLink() = default;
    // Bytes read (> 0), 0 when nothing came within timeoutMs, -1 when the line is broken.
    virtual long Read(std::uint8_t* buffer, std::size_t size, int timeoutMs) = 0;
    virtual bool Write(const std::uint8_t* bytes, std::size_t n) = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

// The master side of a pseudo-terminal. The simulator keeps the slave side open as well, so
// the master never sees a hang-up while no program has the port open.
class PtyLink : public ByteLink {
public:
    ~PtyLink() override {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }
    bool Open(QString* error, QString* slavePath) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            *error = QStringLiteral("cannot create a pseudo-terminal: %1")
                         .arg(QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        char name[128] = {};
        if (ptsname_r(master_, name, sizeof name) != 0) {
            *error = QStringLiteral("cannot name the pseudo-terminal");
            return false;
        }
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slave_ < 0) {
            *error = QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name));
            return false;
        }
        // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
        termios t{};
        if (tcgetattr(slave_, &t) == 0) {
            cfmakeraw(&t);
            cfsetispeed(&t, B9600);
            cfsetospeed(&t, B9600);
            tcsetattr(slave_, TCSANOW, &t);
        }
        *slavePath = QString::fromLocal8Bit(name);
        return true;
    }
    long Read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r <= 0)
            return r < 0 && errno != EINTR ? -1 : 0;
        const ssize_t n = ::read(master_, buffer, size);
        if (n > 0)
            return static_cast<long>(n);
        return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    }
    bool Write(const std::uint8_t* bytes, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(master_, bytes + done, n - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            // Nobody drains the line: wait a little, then drop the rest as a real line would.
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0)
                return false;
        }
        return true;
    }

private:
    int master_ = -1;
    int slave_ = -1;
};

class SerialLink : public ByteLink {
public:
    bool Open(const QString& path, QString* error) {
        port_.setPortName(path);
        if (!port_.open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot open %1: %2").arg(path, port_.errorString());
            return false;
        }
        port_.setBaudRate(QSerialPort::Baud9600);
        port_.setDataBits(QSerialPort::Data8);
        port_.setParity(QSerialPort::NoParity);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        port_.clear();
        return true;
    }
    long Read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        if (!port_.isOpen())
            return -1;
        if (port_.bytesAvailable() == 0 && !port_.waitForReadyRead(timeoutMs))
            return port_.error() == QSerialPort::TimeoutError ||
                           port_.error() == QSerialPort::NoError
                       ? 0
                       : -1;
        const qint64 n = port_.read(reinterpret_cast<char*>(buffer), static_cast<qint64>(size));
        return n < 0 ? -1 : static_cast<long>(n);
    }
    bool Write(const std::uint8_t* bytes, std::size_t n) override {
        if (port_.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(n)) !=
            static_cast<qint64>(n))
            return false;
        return port_.waitForBytesWritten(2000);
    }

private:
    QSerialPort port_;
};

} // namespace

QString Hex(const std::uint8_t* bytes, std::size_t n) {
    QString s;
    s.reserve(static_cast<int>(n * 3));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            s += QLatin1Char(' ');
        s += QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return s;
}

Simulator::Simulator(std::unique_ptr<Device> device, const FaultSettings& faults,
                     std::uint32_t seed)
    : device_(std::move(device)), faults_(faults), rng_(seed) {}

Simulator::~Simulator() {
    Stop();
}

qint64 Simulator::NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

bool Simulator::OpenPty(QString* error) {
    auto pty = std::make_unique<PtyLink>();
    QString path;
    if (!pty->Open(error, &path))
        return false;
    link_ = std::move(pty);
    slavePath_ = path;
    devicePath_.clear();
    return true;
}

bool Simulator::OpenDevice(const QString& path, QString* error) {
    // Tried here to report a failure at once; the line thread opens the port for its own use,
    // since a serial port object belongs to the thread that made it.
    SerialLink probe;
    if (!probe.Open(path, error))
        return false;
    devicePath_ = path;
    slavePath_ = path;
    link_.reset();
    return true;
}

bool Simulator::LinkAs(const QString& path, QString* error) {
    if (slavePath_.isEmpty()) {
        *error = QStringLiteral("no line to link to");
        return false;
    }
    // companel looks in AppDir/ports, which a fresh build tree does not have yet.
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray target = QFile::encodeName(slavePath_);
    const QByteArray where = QFile::encodeName(path);
    QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        ::unlink(where.constData());
    if (::symlink(target.constData(), where.constData()) != 0) {
        *error = QStringLiteral("cannot link %1 to %2: %3")
                     .arg(path, slavePath_, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    linkPath_ = path;
    return true;
}

bool Simulator::Start() {
    if (running_ || (!link_ && devicePath_.isEmpty()))
        return false;
    stop_ = false;
    running_ = true;
    lineState_ = LineState::Opening;
    thread_.reset(QThread::create([this] { Run(); }));
    thread_->start();
    // Requests written before the port is open would be purged with its buffers.
    std::unique_lock<std::mutex> lock(sleepMutex_);
    sleepWake_.wait(lock, [this] { return lineState_ != LineState::Opening; });
    const bool open = lineState_ == LineState::Open;
    lock.unlock();
    if (!open)
        Stop();
    return open;
}

void Simulator::Stop() {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        stop_ = true;
    }
    sleepWake_.notify_all();
    if (thread_) {
        thread_->wait();
        thread_.reset();
    }
    running_ = false;
    if (!linkPath_.isEmpty()) {
        // Only our own link goes; a file put there meanwhile stays.
        const QFileInfo info(linkPath_);
        if (info.isSymLink() && info.symLinkTarget() == slavePath_)
            ::unlink(QFile::encodeName(linkPath_).constData());
        linkPath_.clear();
    }
}

void Simulator::SetFaults(const FaultSettings& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
}

FaultSettings Simulator::Faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

void Simulator::SetLogger(std::function<void(const QString&)> logger) {
    std::lock_guard<std::mutex> lock(mutex_);
    logger_ = std::move(logger);
}

void Simulator::Log(const QString& line) {
    std::function<void(const QString&)> logger;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        logger = logger_;
    }
    if (logger)
        logger(line);
}

bool Simulator::SleepMs(int ms) {
    std::unique_lock<std::mutex> lock(sleepMutex_);
    return !sleepWake_.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return stop_.load(); });
}

void Simulator::SetLineState(LineState state) {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        lineState_ = state;
    }
    sleepWake_.notify_all();
}

void Simulator::Run() {
    std::unique_ptr<ByteLink> own;
    ByteLink* link = link_.get();
    if (!link) {
        auto serial = std::make_unique<SerialLink>();
        QString error;
        const bool opened = serial->Open(devicePath_, &error);
        if (!opened) {
            Log(error);
            SetLineState(LineState::Failed);
            return;
        }
        own = std::move(serial);
        link = own.get();
    }
    SetLineState(LineState::Open);
    // A request's bytes follow each other closely; a pause this long ends whatever came.
    constexpr auto kRequestGap = std::chrono::milliseconds(50);
    RequestFramer framer;
    auto lastByte = Clock::now();
    std::uint8_t buffer[512];
    bool lineLost = false;
    while (!stop_) {
        // Short waits only while a request is being assembled, to notice the pause after it.
        const long n = link->Read(buffer, sizeof buffer, framer.Pending() > 0 ? 10 : 100);
        std::vector<std::vector<std::uint8_t>> requests;
        if (n > 0) {
            lastByte = Clock::now();
            requests = framer.Feed(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            if (framer.Pending() > 0 && Clock::now() - lastByte > kRequestGap) {
                const std::size_t dropped = framer.Pending();
                requests = framer.Idle();
                if (requests.empty())
                    Log(QStringLiteral("dropped %1 bytes that form no request").arg(dropped));
            }
        } else {
            if (!lineLost) {
                Log(QStringLiteral("the line reports an error; still listening"));
                lineLost = true;
            }
            if (!SleepMs(50))
                break;
            continue;
        }
        lineLost = false;
        for (const auto& request : requests) {
            ++requests_;
            Delivery delivery;
            bool pacing = true;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const Bytes answer = device_->Handle(request.data(), request.size(), NowMs());
                delivery = PlanDelivery(answer, faults_, rng_);
                pacing = faults_.Pacing;
            }
            Log(QStringLiteral("<- %1").arg(Hex(request.data(), request.size())));
            if (!delivery.Note.isEmpty())
                Log(QStringLiteral("   %1").arg(delivery.Note));
            if (delivery.Bursts.empty()) {
                if (delivery.Note.isEmpty())
                    Log(QStringLiteral("   (no answer)"));
                continue;
            }
            if (!Deliver(*link, delivery, pacing))
                return;
            ++answers_;
        }
    }
}

bool Simulator::Deliver(ByteLink& link, const Delivery& delivery, bool pacing) {
    for (const Burst& burst : delivery.Bursts) {
        if (burst.DelayMs > 0 && !SleepMs(burst.DelayMs))
            return false;
        Log(QStringLiteral("-> %1").arg(Hex(burst.Bytes.data(), burst.Bytes.size())));
        if (!pacing) {
            link.Write(burst.Bytes.data(), burst.Bytes.size());
            continue;
        }
        // One byte per character time, measured from the first byte so the pace does not
        // drift with the sleeps.
        const auto begin = Clock::now();
        for (std::size_t k = 0; k < burst.Bytes.size(); ++k) {
            if (stop_)
                return false;
            link.Write(&burst.Bytes[k], 1);
            std::this_thread::sleep_until(
                begin + std::chrono::microseconds(kByteTimeMicros * static_cast<long>(k + 1)));
        }
    }
    return true;
}

} // namespace vkdsim
