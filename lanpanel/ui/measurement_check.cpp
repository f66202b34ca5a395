#include "measurement_check.h"

#include <cmath>

namespace lanpanel::ui {

const std::array<float, kErrorClasses> kErrorClassTable = {1.0f, 2.0f, 3.0f, 4.0f,  5.0f, 6.0f,
                                                           7.0f, 8.0f, 9.0f, 10.0f, 0.2f, 0.5f};

namespace {
constexpr std::array<float, kStages> kStageCurrent = {0.3f, 0.8f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f};
constexpr std::array<float, kStages> kStageVoltage = {3.0f,  8.0f,  15.0f, 25.0f,
                                                      35.0f, 45.0f, 57.7f};
} // namespace

bool IsCurrentFirst(const QByteArray& firstName) {
    return firstName.contains('i') || firstName.contains('I');
}

StageTable BuildReferenceTable(bool currentFirst) {
    StageTable table{};
    for (int s = 0; s < kStages; ++s) {
        auto& row = table[s];
        for (int c = 0; c < 3; ++c) {
            if (currentFirst) {
                row[c] = kStageCurrent[s];
                row[3 + c] = kStageVoltage[s];
            } else {
                row[c] = kStageVoltage[s];
                row[6 + c] = kStageCurrent[s];
            }
        }
    }
    return table;
}

std::array<QString, kChannelColumns> ChannelHeadings(bool currentFirst) {
    if (currentFirst)
        return {"Ia", "Ib", "Ic", "UA", "UB", "UC", "UAB", "UBC", "UCA", "\\"};
    return {"UA", "UB", "UC", "UAB", "UBC", "UCA", "Ia", "Ib", "Ic", "\\"};
}

ChannelResult JudgeChannel(float reference, float reading, float limit) {
    ChannelResult r;
    r.error = std::fabs(reference - reading) / reference * 100.0f;
    if (!std::isfinite(r.error)) {
        r.text = QString::asprintf("%.2f", static_cast<double>(r.error)) + QLatin1Char('%');
        r.passed = false;
        return r;
    }
    // Whole hundredths of a percent, the precision the engineer reads.
    const double hundredths = std::round(static_cast<double>(r.error) * 100.0);
    const double limitHundredths = std::round(static_cast<double>(limit) * 100.0);
    r.text = QString::asprintf("%.2f", hundredths / 100.0) + QLatin1Char('%');
    r.passed = hundredths <= limitHundredths;
    return r;
}

} // namespace lanpanel::ui
