#pragma once
// The relay on a line: a pseudo-terminal it makes itself or a serial device, one thread that
// reads requests, lets the Device answer and carries the answer out with its faults and pacing.
//
// In-process use (end-to-end tests):
//   vkdsim::Simulator sim(std::move(device), faults);
//   QString error;
//   if (!sim.OpenPty(&error) || !sim.Start()) ...;
//   open sim.SlavePath() as the serial port (or link it with sim.LinkAs(AppDir/ports/COM3));
//   sim.SetFaults(...), sim.WithDevice([](vkdsim::Device& d) { ... });
//   sim.Stop();  (also done by the destructor)

#include "tools/vkd2950-sim/device.h"
#include "tools/vkd2950-sim/faults.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace vkdsim {

class ByteLink;

class Simulator {
public:
    Simulator(std::unique_ptr<Device> device, const FaultSettings& faults,
              std::uint32_t seed = 2950);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // A new pseudo-terminal in raw mode; the master opens SlavePath().
    bool OpenPty(QString* error);
    // A real serial device at 9600 8N1 (the line paces the bytes itself).
    bool OpenDevice(const QString& path, QString* error);
    QString SlavePath() const { return slavePath_; }
    // Makes `path` a symbolic link to the pseudo-terminal (replacing what was there); removed
    // again by Stop().
    bool LinkAs(const QString& path, QString* error);

    // Starts the line thread; returns once the line is open (false when it could not be).
    bool Start();
    void Stop();
    bool Running() const { return running_; }

    void SetFaults(const FaultSettings& faults);
    FaultSettings Faults() const;
    // Runs f(device) while the line thread cannot touch it.
    template <typename F> decltype(auto) WithDevice(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(*device_);
    }
    // Called on the line thread with one line per request, answer and fault (verbose log).
    void SetLogger(std::function<void(const QString&)> logger);

    // Counters for tests and the console.
    std::size_t Requests() const { return requests_; }
    std::size_t Answers() const { return answers_; }

    // Milliseconds since the epoch: the time every answer is built for.
    static qint64 NowMs();

private:
    void Run();
    enum class LineState { Opening, Open, Failed };
    void SetLineState(LineState state);
    // Carries out a planned answer; false when the simulator is stopping.
    bool Deliver(ByteLink& link, const Delivery& delivery, bool pacing);
    bool SleepMs(int ms); // false when stopping
    void Log(const QString& line);

    std::unique_ptr<Device> device_;
    std::unique_ptr<ByteLink> link_;
    QString devicePath_;
    QString slavePath_;
    QString linkPath_;
    mutable std::mutex mutex_; // device_, faults_, rng_, logger_
    FaultSettings faults_;
    std::mt19937 rng_;
    std::function<void(const QString&)> logger_;
    // A QThread rather than a bare thread: the serial-port layer needs one for its notifiers.
    std::unique_ptr<QThread> thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
    LineState lineState_ = LineState::Opening; // under sleepMutex_
    std::atomic<std::size_t> requests_{0};
    std::atomic<std::size_t> answers_{0};
};

// Hex dump "01 03 00 00 ..." of a frame.
QString Hex(const std::uint8_t* bytes, std::size_t n);

} // namespace vkdsim
