#include "companel/link/requests.h"

#include <cmath>
#include <cstring>

namespace companel {
namespace {

constexpr std::uint8_t kReadRegisters = 3;
constexpr std::uint8_t kWriteCoil = 5;
constexpr std::uint8_t kWriteRegisters = 16;
constexpr std::uint8_t kReadEvents = 17;
constexpr std::size_t kMaxWriteRegisters = (Frame::kMaxLength - 9) / 2; // 123

const OperationInfo kOperations[] = {
    {11, "正在进行复归操作...", "串口错误，无法进行复归操作!"},
    {0, "正在进行高压侧合闸操作...", "串口错误，无法进行高压侧合闸操作!"},
    {2, "正在进行高压侧分闸操作...", "串口错误，无法进行高压侧分闸操作!"},
    {3, "正在进行1#低压侧合闸操作...", "串口错误，无法进行1#低压侧合闸操作!"},
    {4, "正在进行1#低压侧分闸操作...", "串口错误，无法进行1#低压侧分闸操作!"},
    {13, "正在进行2#低压侧合闸操作...", "串口错误，无法进行2#低压侧合闸操作!"},
    {14, "正在进行2#低压侧分闸操作...", "串口错误，无法进行2#低压侧分闸操作!"},
    {5, "正在驱动出口7...", "串口错误，无法驱动出口7!"},
    {6, "正在驱动出口8...", "串口错误，无法驱动出口8!"},
    {7, "正在驱动出口9...", "串口错误，无法驱动出口9!"},
    {8, "正在驱动出口10...", "串口错误，无法驱动出口10!"},
};
static_assert(sizeof kOperations / sizeof kOperations[0] ==
              static_cast<std::size_t>(Operation::Output10) + 1u);

std::uint8_t LowByte(std::uint16_t w) {
    return static_cast<std::uint8_t>(w & 0xFF);
}

// Index into ParameterTable.RawValue of a coefficient register, when it lies in the block.
bool CoefficientIndex(std::uint16_t reg, std::size_t& index) {
    if (reg < kCoefficientBlockStart ||
        static_cast<std::size_t>(reg - kCoefficientBlockStart) >= kTablePoints)
        return false;
    index = reg - kCoefficientBlockStart;
    return true;
}

FrameResult DownloadLimitRefusal(const char* what, std::uint16_t number) {
    FrameResult r;
    r.Refusal = QString::fromUtf8("%1个数%2超过%3，无法下载!")
                    .arg(QString::fromUtf8(what))
                    .arg(number)
                    .arg(kMaxWriteRegisters);
    return r;
}

} // namespace

const OperationInfo& InfoOf(Operation op) {
    return kOperations[static_cast<std::size_t>(op)];
}

QString TimeSetProgressText() {
    return QString::fromUtf8("正在进行校时操作...");
}

QString TimeSetPortFailureText() {
    return QString::fromUtf8("串口错误，无法进行校时操作!");
}

Frame BuildReadRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count) {
    Frame f;
    f.PushByte(address);
    f.PushByte(kReadRegisters);
    f.PushWord(start);
    f.PushWord(count);
    f.PushCrc();
    return f;
}

Frame BuildPoll(std::uint8_t address, std::uint16_t askNumber) {
    return BuildReadRegisters(address, 0, askNumber);
}

Frame BuildAddressSearch() {
    return BuildReadRegisters(kSearchAddress, 0, 1);
}

Frame BuildCoilOn(std::uint8_t address, std::uint16_t coil) {
    Frame f;
    f.PushByte(address);
    f.PushByte(kWriteCoil);
    f.PushWord(coil);
    f.PushWord(0xFF00);
    f.PushCrc();
    return f;
}

Frame BuildOperation(std::uint8_t address, Operation op) {
    return BuildCoilOn(address, InfoOf(op).Coil);
}

Frame BuildTimeSet(std::uint8_t address, std::uint16_t timePost, const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    const std::uint16_t values[6] = {
        static_cast<std::uint16_t>(d.year() - 2000), static_cast<std::uint16_t>(d.month()),
        static_cast<std::uint16_t>(d.day()),         static_cast<std::uint16_t>(t.hour()),
        static_cast<std::uint16_t>(t.minute()),      static_cast<std::uint16_t>(t.second()),
    };
    return BuildWriteRegisters(address, timePost, values, 6).Request;
}

FrameResult BuildWriteRegisters(std::uint8_t address, std::uint16_t start,
                                const std::uint16_t* values, std::size_t count) {
    if (count > kMaxWriteRegisters)
        return DownloadLimitRefusal("寄存器", static_cast<std::uint16_t>(count));
    FrameResult r;
    Frame& f = r.Request;
    f.PushByte(address);
    f.PushByte(kWriteRegisters);
    f.PushWord(start);
    f.PushWord(static_cast<std::uint16_t>(count));
    f.PushByte(static_cast<std::uint8_t>(2 * count));
    for (std::size_t i = 0; i < count; ++i)
        f.PushWord(values[i]);
    f.PushCrc();
    return r;
}

Frame BuildParameterUpload(std::uint8_t address, const ParameterTable& table) {
    return BuildReadRegisters(address, table.Start, LowByte(table.Number));
}

Frame BuildSettingUpload(std::uint8_t address, const SettingTable& table) {
    return BuildReadRegisters(address, table.Start, LowByte(table.Number));
}

FrameResult BuildParameterDownload(std::uint8_t address, const ParameterTable& table) {
    if (table.Number > kMaxWriteRegisters)
        return DownloadLimitRefusal("参数", table.Number);
    std::uint16_t values[kTablePoints];
    std::memcpy(values, table.RawValue, sizeof values);
    values[4] = BaudCode(values[4]);
    values[6] = BaudCode(values[6]);
    return BuildWriteRegisters(address, table.Start, values, table.Number);
}

FrameResult BuildSettingDownload(std::uint8_t address, const SettingTable& table) {
    if (table.Number > kMaxWriteRegisters)
        return DownloadLimitRefusal("定值", table.Number);
    return BuildWriteRegisters(address, table.Start, table.RawValue, table.Number);
}

FrameResult BuildHardwareInfoDownload(std::uint8_t address, const ParameterTable& table,
                                      const std::uint8_t (&hardwareInfo)[kHardwareInfoSize]) {
    constexpr std::size_t kLastRegister = kHardwareInfoRegister + kHardwareInfoSize / 2 - 1;
    if (table.Number <= kLastRegister) {
        FrameResult r;
        r.Refusal = QString::fromUtf8("参数个数%1不足%2，无法下载设备硬件信息!")
                        .arg(table.Number)
                        .arg(kLastRegister + 1);
        return r;
    }
    FrameResult r = BuildParameterDownload(address, table);
    if (!r.Ok())
        return r;
    // Register k of the block sits at frame byte 7 + 2k.
    for (std::size_t k = 0; k < kHardwareInfoSize; ++k)
        r.Request.PutByte(7 + 2 * kHardwareInfoRegister + k, hardwareInfo[k]);
    r.Request.ResealCrc();
    return r;
}

Frame BuildEventBatch(std::uint8_t address, std::uint16_t batch) {
    Frame f;
    f.PushByte(address);
    f.PushByte(kReadEvents);
    f.PushWord(static_cast<std::uint16_t>(batch * kEventsPerBatch));
    f.PushWord(kEventsPerBatch);
    f.PushCrc();
    return f;
}

Frame BuildCoefficientWrite(std::uint8_t address, std::uint16_t reg, std::uint16_t value) {
    return BuildWriteRegisters(address, reg, &value, 1).Request;
}

Frame BuildCalibrationDefault(std::uint8_t address, std::uint16_t reg) {
    return BuildCoefficientWrite(address, reg, kDefaultCoefficient);
}

std::uint16_t BaudCode(std::uint16_t rate) {
    switch (rate) {
    case 4800:
        return 1;
    case 9600:
        return 2;
    case 2400:
        return 4;
    case 19200:
        return 8;
    default:
        return 2;
    }
}

std::uint16_t BaudRateOfCode(std::uint16_t code) {
    switch (code) {
    case 1:
        return 4800;
    case 2:
        return 9600;
    case 4:
        return 2400;
    case 8:
        return 19200;
    default:
        return 9600;
    }
}

std::uint16_t CalibrationCoefficient(float target, float value) {
    const float c = target * 1024.0f / value;
    if (!std::isfinite(c))
        return 0;
    // Low 16 bits of the truncated value, computed without an out-of-range conversion.
    double low = std::fmod(std::trunc(static_cast<double>(c)), 65536.0);
    if (low < 0)
        low += 65536.0;
    return static_cast<std::uint16_t>(low);
}

bool FinishCalibrationFrame(Frame& frame, std::uint16_t coefficient) {
    return frame.size() == 11 && frame.PutWord(7, coefficient) && frame.ResealCrc();
}

QString CalibrationDefaultText(const QString& name) {
    return QString::fromUtf8("正在下载默认参数：%1 ...").arg(name);
}

QString CalibrationSetText(const QString& name) {
    return QString::fromUtf8("正在下载设定参数：%1 ...").arg(name);
}

QString NoAnswerText(const std::uint8_t* request, std::size_t length, std::uint16_t parameterNumber,
                     std::uint16_t settingNumber) {
    if (length >= 6 && request[1] == kReadRegisters) {
        if (request[5] == LowByte(parameterNumber))
            return QString::fromUtf8("上装参数失败!");
        if (request[5] == LowByte(settingNumber))
            return QString::fromUtf8("上装定值失败!");
    }
    return QString::fromUtf8("操作失败!");
}

WheelStep CoefficientStep(std::uint8_t address, const TelemetryTable& telemetry,
                          ParameterTable& parameters, std::size_t point, int x, int delta,
                          bool ctrl) {
    WheelStep result;
    const std::size_t points = ctrl ? 3 : 1;
    if (point >= kTablePoints || kTablePoints - point < points)
        return result;
    std::size_t index[3] = {};
    for (std::size_t k = 0; k < points; ++k) {
        if (!CoefficientIndex(telemetry.bCheckMemery[point + k], index[k]))
            return result;
    }
    const std::uint16_t current = parameters.RawValue[index[0]];
    if ((delta == 120 && current >= 8000) || (delta == -120 && current <= 50)) {
        result.Action = WheelStep::Kind::QueueParameterUpload;
        result.Request = BuildParameterUpload(address, parameters);
        return result;
    }
    int first = 3;
    int following = 3;
    if (x < 20) {
        first = following = 30;
    } else if (x < 40) {
        first = 8;
        following = 10;
    }
    const int sign = delta == 120 ? 1 : delta == -120 ? -1 : 0;
    std::uint16_t values[3] = {};
    for (std::size_t k = 0; k < points; ++k) {
        std::uint16_t& c = parameters.RawValue[index[k]];
        c = static_cast<std::uint16_t>(c + sign * (k == 0 ? first : following));
        values[k] = c;
    }
    result.Action = WheelStep::Kind::SendStep;
    result.Request =
        BuildWriteRegisters(address, telemetry.bCheckMemery[point], values, points).Request;
    return result;
}

} // namespace companel
