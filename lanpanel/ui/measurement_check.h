#pragma once
// The arithmetic of the staged accuracy check: which layout the channels have, the reference
// value of each channel in each stage, the error classes and the judgement of one channel.
// Kept apart from the page so the numbers can be checked without a window.

#include <QByteArray>
#include <QString>
#include <array>

namespace lanpanel::ui {

constexpr int kStages = 7;
constexpr int kChannelColumns = 10;
constexpr int kCheckedChannels = 9;
constexpr int kErrorClasses = 12;
constexpr int kDefaultErrorClass = 11; // "0.5%"

using StageTable = std::array<std::array<float, kChannelColumns>, kStages>;

extern const std::array<float, kErrorClasses> kErrorClassTable;

// The channels start with the three phase currents when the first channel's name has an i.
bool IsCurrentFirst(const QByteArray& firstName);

// Reference of channel column c in stage s for the layout; 0 = the channel takes no part.
StageTable BuildReferenceTable(bool currentFirst);

// The ten column headings of the layout ("Ia" … "\").
std::array<QString, kChannelColumns> ChannelHeadings(bool currentFirst);

struct ChannelResult {
    float error = 0; // percent, relative to the reference
    QString text;    // as shown in 误差率: two decimals and "%"
    bool passed = true;
};

// Judges one reading against a non-zero reference and an error limit in percent. The error is
// judged as it is shown, to two decimals, so a reading the engineer sees exactly at the limit
// passes even where single-precision arithmetic lands a hair above it.
ChannelResult JudgeChannel(float reference, float reading, float limit);

} // namespace lanpanel::ui
