#include "companel/polling/decoders.h"

#include "common/support/gbk.h"
#include "companel/config/point_table_loader.h"
#include "companel/link/answer.h"

#include <cmath>
#include <limits>
#include <optional>

namespace companel {
namespace {

constexpr const char* kWaveYx = "IDR_WAVE_YX";
constexpr const char* kWaveHover = "IDR_WAVE_HOVER";
constexpr float kNoReading = 65535.0f;

float AsFloat(std::uint16_t word, bool isSigned) {
    return isSigned ? static_cast<float>(static_cast<std::int16_t>(word))
                    : static_cast<float>(word);
}

// IEEE division also where the divisor is 0 (a table may hold CC2=0).
float Divide(float a, float b) {
    if (b != 0.0f)
        return a / b;
    if (a == 0.0f || std::isnan(a))
        return std::numeric_limits<float>::quiet_NaN();
    return a > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
}

QString NameOf(const char (&field)[kTextSize]) {
    return support::FieldText(field, kTextSize);
}

} // namespace

QString TelemetryText(float value, std::uint16_t cc2) {
    const char* format = "%.2f";
    if (cc2 <= 1)
        format = "%.f";
    else if (cc2 <= 10)
        format = "%.1f";
    else if (cc2 <= 100)
        format = "%.2f";
    else if (cc2 <= 1000)
        format = "%.3f";
    else if (cc2 <= 10000)
        format = "%.4f";
    return QString::asprintf(format, static_cast<double>(value));
}

QString VersionText(std::uint16_t v) {
    const int div = v > 1000 ? 1000 : 100;
    return QString::asprintf("V%d.%d", v / div, v % div);
}

void DecodePoll(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                std::size_t length) {
    length = UsableAnswerLength(length);
    const TelemetryTable& yc = state.Tables.Telemetry; // description fields: fixed after loading
    const SignalTable& yx = state.Tables.Signals;

    // Device clock: registers missing from a short answer show as "--" rather than as numbers
    // the device never sent.
    QString clock;
    bool absent = false;
    for (int k = 0; k < 6; ++k) {
        std::optional<std::uint16_t> w;
        if (!absent) {
            w = RegisterAt(answer, length, std::size_t{yc.TimePost} + k);
            absent = !w;
        }
        if (k > 0)
            clock += QLatin1Char(k == 3 ? ' ' : k < 3 ? '-' : ':');
        clock += w ? QString::asprintf("%02d", *w) : QStringLiteral("--");
    }
    out.SetDeviceClock(clock);

    std::uint16_t version = 0;
    {
        std::lock_guard<std::mutex> lock(state.LiveMutex);
        if (const auto v = RegisterAt(answer, length, yc.VersionPost))
            state.DeviceVersion = *v;
        version = state.DeviceVersion;
    }
    out.SetModel(QStringLiteral("VKD2950"));
    out.SetVersion(VersionText(version));

    for (std::size_t i = 0; i < yc.Number && i < kTablePoints; ++i) {
        bool update = false;
        QString text;
        {
            std::lock_guard<std::mutex> lock(state.LiveMutex);
            TelemetryTable& t = state.Tables.Telemetry;
            const float cc2 = static_cast<float>(t.CC2[i]);
            if (const auto low = PostRegister(answer, length, t.Post[i])) {
                t.RawValue[i] = *low;
                const float v = AsFloat(*low, t.Type[i] == 1 || t.Type[i] == 5);
                t.Value[i] = t.CC2[i] == 0 ? v : v / cc2;
            } else {
                t.RawValue[i] = kNoValue;
                t.Value[i] = kNoReading;
            }
            if (t.PostH[i] != 0) {
                if (const auto high = PostRegister(answer, length, t.PostH[i])) {
                    const float h = AsFloat(*high, t.Type[i] == 1);
                    t.Value[i] += t.CC2[i] == 0 ? h * 65536.0f : h / cc2 * 65536.0f;
                }
            }
            if (t.Value[i] != t.ShownValue[i]) {
                update = true;
                if (t.RawValue[i] != kNoValue)
                    text = TelemetryText(t.Value[i], t.CC2[i]);
            }
            t.ShownValue[i] = t.Value[i];
        }
        if (update && i < kTelemetryCells)
            out.SetTelemetryCell(i, text);
    }

    for (std::size_t i = 0; i < yx.Number && i < kTablePoints; ++i) {
        const int b = yx.Post[i];
        // Bit b counts from 1 at register YXPost; b = 0 reads register YXPost and yields 0.
        const std::size_t reg = std::size_t{yc.YXPost} + (b == 0 ? 0 : (b - 1) / 16);
        std::uint16_t newState = kNoValue;
        if (const auto w = RegisterAt(answer, length, reg))
            newState = b == 0 ? 0 : static_cast<std::uint16_t>((*w >> ((b - 1) % 16)) & 1u);
        std::uint16_t shown = 0;
        {
            std::lock_guard<std::mutex> lock(state.LiveMutex);
            SignalTable& t = state.Tables.Signals;
            t.State[i] = newState;
            shown = t.ShownState[i];
            t.ShownState[i] = newState;
        }
        if (shown == newState)
            continue;
        // A register that went missing is no change of the input: only the cell is blanked.
        if (shown != kNoValue && shown != kStateLinkDown && newState <= 1) {
            out.ReportStatus(NameOf(yx.Name[i]) +
                             QString::fromUtf8(newState == 1 ? "：分 -> 合!" : "：合 -> 分!"));
            out.PlayWave(kWaveYx);
        }
        if (i < kSignalCells)
            out.SetSignalCell(i, newState == 1   ? QString::fromUtf8("合")
                                 : newState == 0 ? QString::fromUtf8("分")
                                                 : QString());
    }
}

void DecodeParameterUpload(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                           std::size_t length) {
    length = UsableAnswerLength(length);
    {
        std::lock_guard<std::mutex> lock(state.LiveMutex);
        ParameterTable& t = state.Tables.Parameters;
        for (std::size_t i = 0; i < t.Number && i < kTablePoints; ++i)
            t.RawValue[i] = PostRegister(answer, length, t.Post[i]).value_or(kNoValue);
        t.RawValue[4] = BaudRateOfCode(t.RawValue[4]);
        t.RawValue[6] = BaudRateOfCode(t.RawValue[6]);
        // Block registers 50..56 (answer bytes 103..116); bytes past the data stay 0xFF, so a
        // short answer reads as "no hardware ID" instead of stale buffer contents. Taken before
        // the report so whoever reacts to it already sees the new bytes.
        for (std::size_t k = 0; k < kHardwareInfoSize; ++k) {
            const std::size_t at = 3 + 2 * kHardwareInfoRegister + k;
            state.HardwareInfo[k] = (length >= 3 && at <= length - 3) ? answer[at] : 0xFF;
        }
    }
    out.ReportStatus(QString::fromUtf8("上装所有参数成功!"));
    out.ParametersUploaded();
    out.PlayWave(kWaveHover);
}

void DecodeSettingUpload(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                         std::size_t length) {
    length = UsableAnswerLength(length);
    {
        std::lock_guard<std::mutex> lock(state.LiveMutex);
        SettingTable& t = state.Tables.Settings;
        for (std::size_t i = 0; i < t.Number && i < kTablePoints; ++i) {
            if (const auto w = PostRegister(answer, length, t.Post[i])) {
                t.RawValue[i] = *w;
                t.Scaled[i] = Divide(static_cast<float>(*w), static_cast<float>(t.CC2[i]));
            } else {
                t.RawValue[i] = kNoValue;
            }
        }
    }
    out.ReportStatus(QString::fromUtf8("上装所有定值成功!"));
    out.SettingsUploaded();
    out.PlayWave(kWaveHover);
}

void MarkLinkDown(CompanelState& state, CompanelReporter& out, const QString& text) {
    out.SetDeviceClock(text);
    const std::size_t telemetry = state.Tables.Telemetry.Number;
    for (std::size_t i = 0; i < telemetry && i < kTablePoints; ++i) {
        bool blank = false;
        {
            std::lock_guard<std::mutex> lock(state.LiveMutex);
            TelemetryTable& t = state.Tables.Telemetry;
            t.Value[i] = kNoReading;
            blank = t.ShownValue[i] != kNoReading;
            t.ShownValue[i] = kNoReading;
        }
        if (blank && i < kTelemetryCells)
            out.SetTelemetryCell(i, QString());
    }
    const std::size_t inputs = state.Tables.Signals.Number;
    for (std::size_t i = 0; i < inputs && i < kTablePoints; ++i) {
        bool blank = false;
        {
            std::lock_guard<std::mutex> lock(state.LiveMutex);
            SignalTable& t = state.Tables.Signals;
            t.State[i] = kStateLinkDown;
            blank = t.ShownState[i] != kStateLinkDown;
            t.ShownState[i] = kStateLinkDown;
        }
        if (blank && i < kSignalCells)
            out.SetSignalCell(i, QString());
    }
}

ConfirmationContext ConfirmationContextOf(const CompanelState& state) {
    ConfirmationContext c;
    {
        std::lock_guard<std::mutex> lock(state.LiveMutex);
        c.RemoteMode = state.Tables.Parameters.RawValue[kRemoteModeIndex];
        c.ParameterNumber = state.Tables.Parameters.Number;
        c.SettingNumber = state.Tables.Settings.Number;
    }
    c.CalibrationPending = state.CalibrationSlot.IsPending();
    c.WheelAdjusted = state.WheelAdjusted.load();
    return c;
}

} // namespace companel
