#pragma once
// How the protocol core reaches the windows. Any thread may call; every call is queued in
// order and carried out on the window thread (at once when the caller is the window thread,
// after whatever the management thread queued before it). The caller never waits for the
// window. Status lines also go to the running log from the calling thread, stamped with the
// moment of the call.

#include "companel/polling/companel_reporter.h"
#include "companel/ui/running_log.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTime>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace companel {

class WindowReporter : public QObject, public CompanelReporter {
    Q_OBJECT
public:
    // `log` may be null (no running log); it must outlive the reporter.
    explicit WindowReporter(RunningLog* log, QObject* parent = nullptr);

    void ReportStatus(const QString& text) override;
    void PlayWave(const char* name) override;
    void SetTelemetryCell(std::size_t index, const QString& text) override;
    void SetSignalCell(std::size_t index, const QString& text) override;
    void SetDeviceClock(const QString& text) override;
    void SetModel(const QString& text) override;
    void SetVersion(const QString& text) override;
    void SetPcClock(const QString& text) override;
    void SetAddressField(int address) override;
    void ParametersUploaded() override;
    void SettingsUploaded() override;
    void LogFrame(int direction, const std::uint8_t* bytes, std::size_t length) override;
    // No event-record window yet: the answer has no receiver and the batch counter stays 0.
    int OnEventPage(const std::uint8_t* bytes, std::size_t length) override;

    // Carries out everything queued so far (window thread only).
    Q_INVOKABLE void Drain();

signals:
    // A status text and the moment it was reported.
    void StatusReported(const QString& text, const QTime& time);
    // A stamped line for the status box alone: the running log could not take a line.
    void BoxOnlyLine(const QString& line);
    void WaveRequested(const QString& name);
    void TelemetryCellSet(int index, const QString& text);
    void SignalCellSet(int index, const QString& text);
    void DeviceClockSet(const QString& text);
    void ModelSet(const QString& text);
    void VersionSet(const QString& text);
    void PcClockSet(const QString& text);
    void AddressFieldSet(int address);
    void ParametersRefreshed();
    void SettingsRefreshed();
    void FrameLogged(int direction, const QByteArray& bytes, const QTime& time);

private:
    void Post(std::function<void()> work);
    // Appends a stamped status line to the daily log. Returns the line the status box shows
    // instead when it could not be written, once for each spell of failing writes.
    QString AppendRunningLog(const QString& line, const QTime& now);

    RunningLog* const log_;
    // Shown once for each spell of failing writes.
    std::atomic<bool> logFailureShown_{false};

    std::mutex mutex_; // guards queue_ and wakePosted_
    std::deque<std::function<void()>> queue_;
    bool wakePosted_ = false;
};

} // namespace companel
