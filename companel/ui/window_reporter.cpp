#include "companel/ui/window_reporter.h"

#include "common/support/gbk.h"
#include "companel/ui/monitor_format.h"

#include <QMetaObject>
#include <QThread>

namespace companel {

WindowReporter::WindowReporter(RunningLog* log, QObject* parent) : QObject(parent), log_(log) {}

void WindowReporter::Post(std::function<void()> work) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
        if (!wakePosted_) {
            wakePosted_ = true;
            wake = true;
        }
    }
    if (QThread::currentThread() == thread()) {
        Drain();
        return;
    }
    // The items themselves travel through our own locked queue, so the hand-over is visible
    // to the thread checker; the posted call only wakes the window thread. It is invoked by
    // name so that nothing of it is built in our code on this thread and read on the other.
    if (wake)
        QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
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

void WindowReporter::ReportStatus(const QString& text) {
    const QTime now = QTime::currentTime();
    QString failure;
    if (log_) {
        if (log_->Append(support::ToGbk(StampLine(text, now)))) {
            logFailureShown_ = false;
        } else if (!logFailureShown_.exchange(true)) {
            failure = StampLine(QStringLiteral("运行记录无法写入：%1，此后的状态行只显示在本窗口!")
                                    .arg(log_->LastFailedPath()),
                                now);
        }
    }
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
