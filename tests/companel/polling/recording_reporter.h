#pragma once
// Records everything the core reports, in order, as one line per call.

#include "companel/polling/companel_reporter.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace companel::test {

class RecordingReporter : public CompanelReporter {
public:
    QStringList Lines;
    int NextBatchCounter = 0;
    std::vector<std::size_t> EventPageLengths;

    void ReportStatus(const QString& text) override { Lines << "status " + text; }
    void PlayWave(const char* name) override { Lines << QString("wave ") + name; }
    void SetTelemetryCell(std::size_t i, const QString& t) override {
        Lines << QString("yc %1 [%2]").arg(i).arg(t);
    }
    void SetSignalCell(std::size_t i, const QString& t) override {
        Lines << QString("yx %1 [%2]").arg(i).arg(t);
    }
    void SetDeviceClock(const QString& t) override { Lines << "clock " + t; }
    void SetModel(const QString& t) override { Lines << "model " + t; }
    void SetVersion(const QString& t) override { Lines << "version " + t; }
    void SetPcClock(const QString& t) override { Lines << "pc " + t; }
    void SetAddressField(int a) override { Lines << QString("address %1").arg(a); }
    void ParametersUploaded() override { Lines << "refresh parameters"; }
    void SettingsUploaded() override { Lines << "refresh settings"; }
    void LogFrame(int direction, const std::uint8_t*, std::size_t length) override {
        Lines << QString("frame %1 %2").arg(direction).arg(length);
    }
    int OnEventPage(const std::uint8_t*, std::size_t length) override {
        EventPageLengths.push_back(length);
        return NextBatchCounter;
    }

    // Lines that start with `prefix`.
    QStringList Only(const QString& prefix) const {
        QStringList out;
        for (const QString& l : Lines)
            if (l.startsWith(prefix))
                out << l;
        return out;
    }
};

} // namespace companel::test
