#pragma once
// The one link of companel: a COM port, or relay mode through a communication server.
//
// A link thread owns the port (or the relay socket) and does all I/O on it; the other threads
// only exchange whole requests and whole frames with it under a lock. An answer frame is the
// set of bytes received until the line has been silent for the idle gap (200 ms). Frames
// longer than MaxFrame bytes are cut into frames of MaxFrame bytes.

#include "companel/link/line_wait.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class QThread;

namespace companel {

struct SerialTiming {
    int idleGapMs = 200;          // silence that ends a frame
    int writeWaitMs = 1000;       // a write still pending after this is abandoned
    int sliceMs = 5;              // where the line cannot be waited on with a wake-up: longest
                                  // the link thread stays deaf to new requests
    int gatherMs = 4;             // while an answer streams in, bytes are collected this long
                                  // before the next read instead of one wake-up per byte; the
                                  // silence can then end at most this much later
    int relayRetryMs = 500;       // least time between two attempts to reach the relay server
    int relayConnectWaitMs = 200; // how long one attempt may take
};

class SerialPort {
public:
    static constexpr int MaxFrame = 1024;

    explicit SerialPort(SerialTiming timing = SerialTiming());
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Leaves relay mode, opens (or keeps) the port and applies the line settings. stopCode:
    // 0 one, 1 one and a half, 2 two stop bits; parityCode: 0 none, 1 odd, 2 even, 3 mark,
    // 4 space.
    bool Open(int portNumber, int bitRate = 9600, int dataBits = 8, int stopCode = 0,
              int parityCode = 0);
    bool Close();
    // Serial mode: the port is open and the driver has not reported it gone. Relay mode: the
    // relay server is reachable (asking also starts a new attempt to reach it when it is not).
    bool IsUsable();
    // Queues the bytes for the link thread; false when nothing can carry them now.
    bool Send(const std::uint8_t* bytes, int count);
    bool HasFrame() const;
    // Copies the waiting frame (at most MaxFrame bytes) and clears it; 0 when none waits.
    int TakeFrame(std::uint8_t* destination);
    // Blocks until a frame waits, the time is up or WakeWaiters is called. True when a frame
    // waits.
    bool WaitFrame(std::chrono::milliseconds limit);
    void WakeWaiters();
    // Enters relay mode with this port number and announces us to the relay server with an
    // empty message. Returns whether the server was reached; relay mode holds either way.
    bool OpenRelay(int portNumber);

    bool IsRelayMode() const { return relayMode_.load(); }
    int PortNumber() const { return portNumber_.load(); }
    bool IsOpen() const { return openFlag_.load(); }
    const SerialTiming& Timing() const { return timing_; }

private:
    struct Command;
    struct LinkState;
    bool Execute(std::shared_ptr<Command> command);
    void Run();
    void RunCommand(LinkState& link, Command& command);
    void ServeSerial(LinkState& link);
    void ServeRelay(LinkState& link);
    void Deliver(const QByteArray& frame);
    void MarkClosed();

    const SerialTiming timing_;

    mutable std::mutex mutex_; // guards commands_, outbox_, wakeRelay_, stop_
    std::condition_variable workCv_;
    WakeSignal wake_; // cuts the link thread's wait on the line short
    std::deque<std::shared_ptr<Command>> commands_;
    std::deque<QByteArray> outbox_;
    bool wakeRelay_ = false;
    bool stop_ = false;

    mutable std::mutex frameMutex_; // guards frame_, frameReady_, wakeUp_
    std::condition_variable frameCv_;
    QByteArray frame_;
    bool frameReady_ = false;
    bool wakeUp_ = false;

    std::atomic<bool> relayMode_{false};
    std::atomic<bool> relayConnected_{false};
    std::atomic<bool> openFlag_{false};
    std::atomic<int> portNumber_{0};

    // A QThread so that the port may use the platform's socket notifiers inside it.
    std::unique_ptr<QThread> thread_;
};

} // namespace companel
