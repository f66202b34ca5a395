#pragma once
// A recorder that the management thread writes into while the test reads it.

#include "recording_reporter.h"

#include <mutex>

namespace companel::test {

// The recorder is written by the management thread and read by the test.
class LockedRecorder : public CompanelReporter {
public:
    // A deep copy: the test reads it while the thread goes on appending.
    QStringList Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        QStringList copy;
        for (const QString& l : inner_.Lines)
            copy << QString(l.constData(), l.size());
        return copy;
    }
    int Count(const QString& line) const { return static_cast<int>(Lines().count(line)); }
    bool Has(const QString& line) const { return Count(line) > 0; }

    void ReportStatus(const QString& t) override {
        Locked([&] { inner_.ReportStatus(t); });
    }
    void PlayWave(const char* n) override {
        Locked([&] { inner_.PlayWave(n); });
    }
    void SetTelemetryCell(std::size_t i, const QString& t) override {
        Locked([&] { inner_.SetTelemetryCell(i, t); });
    }
    void SetSignalCell(std::size_t i, const QString& t) override {
        Locked([&] { inner_.SetSignalCell(i, t); });
    }
    void SetDeviceClock(const QString& t) override {
        Locked([&] { inner_.SetDeviceClock(t); });
    }
    void SetModel(const QString& t) override {
        Locked([&] { inner_.SetModel(t); });
    }
    void SetVersion(const QString& t) override {
        Locked([&] { inner_.SetVersion(t); });
    }
    void SetPcClock(const QString&) override {} // every turn: too many to keep
    void SetAddressField(int a) override {
        Locked([&] { inner_.SetAddressField(a); });
    }
    void ParametersUploaded() override {
        Locked([&] { inner_.ParametersUploaded(); });
    }
    void SettingsUploaded() override {
        Locked([&] { inner_.SettingsUploaded(); });
    }
    void LogFrame(int d, const std::uint8_t* b, std::size_t n) override {
        Locked([&] { inner_.LogFrame(d, b, n); });
    }
    int OnEventPage(const std::uint8_t* b, std::size_t n) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++inner_.NextBatchCounter; // the window advances its batch before the line is formed
        return inner_.OnEventPage(b, n);
    }

private:
    template <typename F> void Locked(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        f();
    }
    mutable std::mutex mutex_;
    RecordingReporter inner_;
};

} // namespace companel::test
