#include "companel/ui/window_reporter.h"

#include "common/support/gbk.h"
#include "companel/ui/monitor_format.h"

#include <QMetaObject>
#include <QThread>

namespace companel {

WindowReporter::WindowReporter(RunningLog* log, QObject* parent) : QObject(parent), log_(log) {}

void WindowReporter::Post(std::function<void()> work) {
    const bool onWindowThread = QThread::currentThread() == thread();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
        // The items travel through this locked queue; the posted call only wakes the window
        // thread. It is posted while the lock is held: Drain must take the lock before the
        // posted event can be finished with, which orders the event's creation here before
        // its deletion there in a way the thread checker sees (Qt's own event-queue lock is
        // invisible to it).
        if (!onWindowThread && !wakePosted_) {
            wakePosted_ = true;
            QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
        }
    }
    if (onWindowThread)
        Drain();
}

void WindowReporter::Drain() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                wakePosted_ = false;
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
            // An item may open a box with its own event loop (the address field refusing a
            // searched address); what arrives meanwhile must post a wake-up of its own.
            wakePosted_ = false;
        }
        work();
    }
}

QString WindowReporter::AppendRunningLog(const QString& line, const QTime& now) {
    if (!log_)
        return QString();
    if (log_->Append(support::ToGbk(line))) {
        logFailureShown_ = false;
        return QString();
    }
    if (logFailureShown_.exchange(true))
        return QString();
    return StampLine(QStringLiteral("运行记录无法写入：%1，此后的状态行只显示在本窗口!")
                         .arg(log_->LastFailedPath()),
                     now);
}

void WindowReporter::ReportStatus(const QString& text) {
    const QTime now = QTime::currentTime();
    const QString failure = AppendRunningLog(StampLine(text, now), now);
    Post([this, text, now, failure] {
        emit StatusReported(text, now);
        if (!failure.isEmpty())
            emit BoxOnlyLine(failure);
    });
}

void WindowReporter::PlayWave(const char* name) {
    const QString wave = QString::fromLatin1(name);
    Post([this, wave] { emit WaveRequested(wave); });
}

void WindowReporter::SetTelemetryCell(std::size_t index, const QString& text) {
    const int i = static_cast<int>(index);
    Post([this, i, text] { emit TelemetryCellSet(i, text); });
}

void WindowReporter::SetSignalCell(std::size_t index, const QString& text) {
    const int i = static_cast<int>(index);
    Post([this, i, text] { emit SignalCellSet(i, text); });
}

void WindowReporter::SetDeviceClock(const QString& text) {
    Post([this, text] { emit DeviceClockSet(text); });
}

void WindowReporter::SetModel(const QString& text) {
    Post([this, text] { emit ModelSet(text); });
}

void WindowReporter::SetVersion(const QString& text) {
    Post([this, text] { emit VersionSet(text); });
}

void WindowReporter::SetPcClock(const QString& text) {
    Post([this, text] { emit PcClockSet(text); });
}

void WindowReporter::SetAddressField(int address) {
    Post([this, address] { emit AddressFieldSet(address); });
}

void WindowReporter::ParametersUploaded() {
    Post([this] { emit ParametersRefreshed(); });
}

void WindowReporter::SettingsUploaded() {
    Post([this] { emit SettingsRefreshed(); });
}

void WindowReporter::LogFrame(int direction, const std::uint8_t* bytes, std::size_t length) {
    const QByteArray frame(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    const QTime now = QTime::currentTime();
    Post([this, direction, frame, now] { emit FrameLogged(direction, frame, now); });
}

int WindowReporter::OnEventPage(const std::uint8_t*, std::size_t) {
    return 0;
}

} // namespace companel
