#pragma once
// The one thread that talks to the relay. In an endless loop it sends the request waiting in
// the command slot, else the address search, else a poll; waits for the answer; and hands it to
// the confirmation rules or the decoders. Windows only fill slots and read the tables.

#include "companel/link/serial_port.h"
#include "companel/polling/companel_reporter.h"
#include "companel/polling/companel_state.h"

#include <QDateTime>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace companel {

// Every timing of the polling loop, in one place so tests can shorten them.
struct PollTiming {
    int startDelayMs = 100;       // before the first turn
    int turnPauseMs = 1;          // between two turns
    int answerWaitMs = 2000;      // one wait for an answer (200 steps of 10 ms)
    int calibrationPauseMs = 500; // after a good poll, before the calibration coefficient
    int unusableRetryMs = 200;    // between two looks at a port that cannot be used
};

class ManagementThread {
public:
    ManagementThread(CompanelState& state, SerialPort& port, CompanelReporter& out,
                     PollTiming timing = PollTiming());
    // Stops the loop and waits for it (at most one answer wait).
    ~ManagementThread();
    ManagementThread(const ManagementThread&) = delete;
    ManagementThread& operator=(const ManagementThread&) = delete;

    // Starts the loop; false when the thread cannot be created.
    bool Start();
    // Sets StopRequested and cuts every wait short; the loop ends at its next stop test.
    void RequestStop();
    bool IsRunning() const { return running_.load(); }

    // The main window's "网络方式" switch: a relayed poll may take two answer waits.
    void SetNetworkMode(bool on) { networkMode_ = on; }

    // Consecutive turns without an answer.
    int FailureCount() const { return failures_.load(); }
    // Completed turns (for tests and measurements).
    std::uint64_t Turns() const { return turns_.load(); }

    // The clock the PC-clock field and nothing else shows; replaceable in tests.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    void Run();
    void Turn();
    bool StopWanted() const;
    // Sleeps, but wakes at once when a stop is requested. False when stopping.
    bool Pause(int ms);
    bool WaitAnswer(int waits);
    std::size_t TakeAnswer();
    void CountFailure();
    void CommandTurn(const Frame& request);
    void SearchTurn(const Frame& request);
    void PollTurn();
    void CalibrationStep();
    void Send(const Frame& frame);

    CompanelState& state_;
    SerialPort& port_;
    CompanelReporter& out_;
    const PollTiming timing_;

    std::uint8_t answer_[SerialPort::MaxFrame] = {};
    std::atomic<int> failures_{0};
    std::atomic<std::uint64_t> turns_{0};
    std::atomic<bool> networkMode_{false};
    std::atomic<bool> running_{false};
    bool linkDownShown_ = false; // "串口错误" already shown for this spell of an unusable port

    std::mutex pauseMutex_;
    std::condition_variable pauseCv_;
    std::thread thread_;
};

} // namespace companel
