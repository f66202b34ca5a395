#pragma once
// What the protocol core shows the user. The window layer implements it (delivering texts to
// the window thread in order, never blocking the caller); tests implement it as a recorder.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace companel {

class CompanelReporter {
public:
    virtual ~CompanelReporter() = default;

    virtual void ReportStatus(const QString& text) = 0;
    // "IDR_WAVE_YK", "IDR_WAVE_HOVER", "IDR_WAVE_YX" or "IDR_WAVE_START".
    virtual void PlayWave(const char* name) = 0;

    // Main-window cells; an empty text blanks the cell. Indexes stay below the window's
    // 63 telemetry and 68 binary-input cells.
    virtual void SetTelemetryCell(std::size_t index, const QString& text) = 0;
    virtual void SetSignalCell(std::size_t index, const QString& text) = 0;
    virtual void SetDeviceClock(const QString& text) = 0;
    virtual void SetModel(const QString& text) = 0;
    virtual void SetVersion(const QString& text) = 0;
    virtual void SetPcClock(const QString& text) = 0;
    virtual void SetAddressField(int address) = 0;

    // The settings manager reloads its lists, when it exists.
    virtual void ParametersUploaded() = 0;
    virtual void SettingsUploaded() = 0;

    // Every frame sent (direction 0) and answer taken (direction 1).
    virtual void LogFrame(int direction, const std::uint8_t* bytes, std::size_t length) = 0;

    // The event-record window takes a function-17 answer; returns its batch counter after
    // the page, which the status line of the page shows.
    virtual int OnEventPage(const std::uint8_t* bytes, std::size_t length) = 0;
};

// Shows nothing: for tools and measurements that override only what they look at.
class SilentReporter : public CompanelReporter {
public:
    void ReportStatus(const QString&) override {}
    void PlayWave(const char*) override {}
    void SetTelemetryCell(std::size_t, const QString&) override {}
    void SetSignalCell(std::size_t, const QString&) override {}
    void SetDeviceClock(const QString&) override {}
    void SetModel(const QString&) override {}
    void SetVersion(const QString&) override {}
    void SetPcClock(const QString&) override {}
    void SetAddressField(int) override {}
    void ParametersUploaded() override {}
    void SettingsUploaded() override {}
    void LogFrame(int, const std::uint8_t*, std::size_t) override {}
    int OnEventPage(const std::uint8_t*, std::size_t) override { return 0; }
};

} // namespace companel
