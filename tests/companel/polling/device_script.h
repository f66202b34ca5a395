#pragma once
// The far end of a pseudo-terminal, answering requests with a script: the management thread's
// view of a relay whose every answer a test decides.

#include "companel/link/crc.h"
#include "tests/companel/link/pty_pair.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace companel::test {

// Appends the CRC (low byte first).
inline QByteArray WithCrc(QByteArray bytes) {
    const std::uint16_t crc = Crc16(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size()));
    bytes.append(static_cast<char>(crc & 0xFF));
    bytes.append(static_cast<char>(crc >> 8));
    return bytes;
}

class DeviceScript {
public:
    // Returns the answer to one request; an empty answer means silence.
    using Responder = std::function<QByteArray(const QByteArray& request)>;

    explicit DeviceScript(PtyPair& pty) : pty_(pty) {}
    ~DeviceScript() { Stop(); }

    void Start(Responder responder) {
        responder_ = std::move(responder);
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                const QByteArray request = pty_.Read(5);
                if (request.isEmpty())
                    continue;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    received_ << QByteArray(request.constData(), request.size());
                }
                const QByteArray answer = responder_(request);
                if (!answer.isEmpty())
                    pty_.Write(answer);
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // A deep copy: Qt's shared containers must not be handed from thread to thread here.
    QList<QByteArray> Received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        QList<QByteArray> copy;
        for (const QByteArray& r : received_)
            copy << QByteArray(r.constData(), r.size());
        return copy;
    }

private:
    PtyPair& pty_;
    Responder responder_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QList<QByteArray> received_;
    std::thread thread_;
};

} // namespace companel::test
