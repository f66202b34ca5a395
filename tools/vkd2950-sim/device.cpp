#include "tools/vkd2950-sim/device.h"

#include "common/support/gbk.h"
#include "companel/config/point_table_loader.h"
#include "companel/link/crc.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace vkdsim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kRegisterSpace = 0x10000;
constexpr std::uint16_t kCoilHighClose = 0;
constexpr std::uint16_t kCoilHighOpen = 2;
constexpr std::uint16_t kCoilLow1Close = 3;
constexpr std::uint16_t kCoilLow1Open = 4;
constexpr std::uint16_t kCoilLow2Close = 13;
constexpr std::uint16_t kCoilLow2Open = 14;
constexpr std::uint16_t kCoilReset = 11;
constexpr std::size_t kRemoteModeParameter = 50;
constexpr std::size_t kHardwareIdBlockRegister = 50; // 7 registers: 14 bytes
constexpr std::size_t kHardwareIdRegisters = 7;
constexpr std::size_t kBitRateParameters[] = {4, 6};

const char* const kSideNames[] = {"高压侧", "1#低压侧", "2#低压侧"};

std::uint16_t Word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void PushWord(Bytes& b, std::uint16_t w) {
    b.push_back(static_cast<std::uint8_t>(w >> 8));
    b.push_back(static_cast<std::uint8_t>(w & 0xFF));
}

QString Utf8(const char* s) {
    return QString::fromUtf8(s);
}

// Reproducible noise in [-1, 1] for a channel and a second.
double Jitter(std::uint64_t channel, std::int64_t second) {
    std::uint64_t z = channel * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(second);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 53) * 2.0 - 1.0;
}

bool SignedLow(std::uint8_t type) {
    return type == 1 || type == 5;
}

struct Words {
    std::uint16_t Low;
    std::uint16_t High;
};

// Splits a reading into the words the master puts back together: a signed low word counts
// negative, so the high word carries the difference.
Words Encode(std::int64_t x, std::uint8_t type, bool hasHigh) {
    if (!hasHigh) {
        x = SignedLow(type) ? std::clamp<std::int64_t>(x, -32768, 32767)
                            : std::clamp<std::int64_t>(x, 0, 65535);
        return {static_cast<std::uint16_t>(x & 0xFFFF), 0};
    }
    if (!SignedLow(type)) {
        x = std::clamp<std::int64_t>(x, 0, 0xFFFFFFFFll);
        return {static_cast<std::uint16_t>(x & 0xFFFF), static_cast<std::uint16_t>(x >> 16)};
    }
    const std::int64_t lowMin = -32768;
    const std::int64_t highMin = type == 1 ? -32768 : 0;
    const std::int64_t highMax = type == 1 ? 32767 : 65535;
    x = std::clamp<std::int64_t>(x, highMin * 65536 + lowMin, highMax * 65536 + 32767);
    const auto low = static_cast<std::int16_t>(static_cast<std::uint16_t>(x & 0xFFFF));
    const std::int64_t high = (x - low) / 65536;
    return {static_cast<std::uint16_t>(low), static_cast<std::uint16_t>(high & 0xFFFF)};
}

double Decode(Words w, std::uint8_t type, bool hasHigh) {
    double v = SignedLow(type) ? static_cast<std::int16_t>(w.Low) : w.Low;
    if (hasHigh)
        v += 65536.0 * (type == 1 ? static_cast<std::int16_t>(w.High) : w.High);
    return v;
}

bool ValidBitRateCode(std::uint16_t code) {
    return code == 1 || code == 2 || code == 4 || code == 8;
}

} // namespace

Device::Device(const companel::PointTables& tables, const DeviceOptions& options, qint64 nowMs)
    : tables_(tables), options_(options), stored_(kRegisterSpace, 0), held_(kRegisterSpace, 0),
      startMs_(nowMs), rng_(options.Seed) {
    LayOutSettings();
    LayOutParameters();
    LayOutChannels(rng_);
    LayOutSignals();
    events_.Generate(options_.Events, Clock(nowMs), rng_);
    ScheduleSignalChange(nowMs);
}

// ---- layout -------------------------------------------------------------------------------

void Device::Hold(std::uint16_t reg, std::uint16_t value) {
    held_[reg] = 1;
    stored_[reg] = value;
}

std::uint16_t Device::ParameterRegister(std::size_t i) const {
    const auto& p = tables_.Parameters;
    const std::size_t offset = p.Post[i] ? p.Post[i] - 1u : i;
    return static_cast<std::uint16_t>((p.Start + offset) & 0xFFFF);
}

void Device::LayOutSettings() {
    const auto& s = tables_.Settings;
    for (std::size_t r = 0; r < s.Number && s.Start + r < kRegisterSpace; ++r)
        Hold(static_cast<std::uint16_t>(s.Start + r), 0);
    for (std::size_t i = 0; i < s.Number && i < companel::kTablePoints; ++i) {
        std::uint16_t v = 0;
        if (s.ValueNmuber[i] > 0)
            v = static_cast<std::uint16_t>(std::min<int>(s.ValueNmuber[i], 32) - 1);
        else if (s.Max[i] != 0xFFFF && s.Max[i] >= s.Min[i])
            v = static_cast<std::uint16_t>(s.Min[i] + (s.Max[i] - s.Min[i]) / 3);
        const std::size_t offset = s.Post[i] ? s.Post[i] - 1u : i;
        Hold(static_cast<std::uint16_t>((s.Start + offset) & 0xFFFF), v);
    }
}

void Device::LayOutParameters() {
    const auto& p = tables_.Parameters;
    for (std::size_t r = 0; r < p.Number && p.Start + r < kRegisterSpace; ++r)
        Hold(static_cast<std::uint16_t>(p.Start + r), 0);
    for (std::size_t i = 0; i < p.Number && i < companel::kTablePoints; ++i) {
        const QString name = support::FieldText(p.Name[i], companel::kTextSize);
        const std::uint16_t cc2 = p.CC2[i] ? p.CC2[i] : 1;
        std::uint16_t v = 0;
        if (name.contains(Utf8("地址")))
            v = options_.Address;
        else if (name.contains(Utf8("CT变比")))
            v = 60;
        else if (name.contains(Utf8("PT变比")))
            v = 350;
        else if (name.contains(Utf8("频率")))
            v = static_cast<std::uint16_t>(50 * cc2);
        else if (name.contains(Utf8("额定电压")))
            v = static_cast<std::uint16_t>((name.contains(Utf8("高压")) ? 35 : 10) * cc2);
        else if (name.contains(Utf8("容量")))
            v = 10000;
        else if (name.contains(Utf8("校正系数")))
            v = kNeutralCoefficient;
        Hold(ParameterRegister(i), v);
    }
    for (std::size_t i : kBitRateParameters)
        if (i < p.Number)
            Hold(ParameterRegister(i), 2); // 9600 bit/s
    if (kRemoteModeParameter < p.Number)
        Hold(ParameterRegister(kRemoteModeParameter), options_.RemoteMode);
    if (p.Number >= kHardwareIdBlockRegister + kHardwareIdRegisters &&
        p.Start + kHardwareIdBlockRegister + kHardwareIdRegisters <= kRegisterSpace)
        WriteHardwareId(options_.HardwareId);
}

// The ID's first register is also the remote-control mode register, so bytes 0 and 1 are
// whatever that register holds; the CRC covers them as they are.
void Device::WriteHardwareId(const QString& digits) {
    const auto first =
        static_cast<std::uint16_t>(tables_.Parameters.Start + kHardwareIdBlockRegister);
    std::uint8_t id[14];
    id[0] = static_cast<std::uint8_t>(stored_[first] >> 8);
    id[1] = static_cast<std::uint8_t>(stored_[first] & 0xFF);
    const bool programmed =
        digits.size() == 24 &&
        QRegularExpression(QStringLiteral("^[0-9]{24}$")).match(digits).hasMatch();
    if (!programmed) {
        for (std::size_t r = 1; r < kHardwareIdRegisters; ++r)
            Hold(static_cast<std::uint16_t>(first + r), 0xFFFF);
        return;
    }
    for (int k = 2; k < 12; ++k)
        id[k] = static_cast<std::uint8_t>(digits.mid(2 * k, 2).toInt());
    companel::AppendCrc(id, sizeof id, 12);
    for (std::size_t r = 1; r < kHardwareIdRegisters; ++r)
        Hold(static_cast<std::uint16_t>(first + r),
             static_cast<std::uint16_t>((id[2 * r] << 8) | id[2 * r + 1]));
}

void Device::LayOutChannels(std::mt19937& rng) {
    const auto& t = tables_.Telemetry;
    channels_.assign(companel::kTablePoints, Channel{});
    std::uniform_real_distribution<double> period(20000, 90000);
    std::uniform_real_distribution<double> phase(0, 2 * kPi);
    std::uniform_real_distribution<double> gain(0.96, 1.04);
    const QRegularExpression current(QStringLiteral("I[abc]$"));
    const QRegularExpression voltage(QStringLiteral("U(ab|bc|ca)$"));
    for (std::size_t i = 0; i < t.Number && i < companel::kTablePoints; ++i) {
        const QString name = support::FieldText(t.Name[i], companel::kTextSize);
        Channel& c = channels_[i];
        c.PeriodMs = period(rng);
        c.Phase = phase(rng);
        if (name.contains(QStringLiteral("cos"))) {
            c.Nominal = 0.95, c.Wobble = 0.01;
        } else if (name.contains(Utf8("频率"))) {
            c.Nominal = 50.0, c.Wobble = 0.0004;
        } else if (name.contains(Utf8("差流"))) {
            c.Nominal = 0.03, c.Wobble = 0.2;
        } else if (name.contains(QStringLiteral("3I0"))) {
            c.Nominal = 0.02, c.Wobble = 0.3;
        } else if (name.contains(QStringLiteral("3U0"))) {
            c.Nominal = 0.35, c.Wobble = 0.2;
        } else if (name.contains(Utf8("电度"))) {
            c.Nominal = 12000 + 3000.0 * static_cast<double>(i % 4), c.EnergyPerHour = 1500;
        } else if (name.contains(Utf8("油温"))) {
            c.Nominal = 46.5, c.Wobble = 0.01;
        } else if (name.contains(Utf8("绕组"))) {
            c.Nominal = 58.0, c.Wobble = 0.01;
        } else if (name.contains(Utf8("温度"))) {
            c.Nominal = 18.5, c.Wobble = 0.02;
        } else if (current.match(name).hasMatch()) {
            c.Nominal = 2.5 + 0.04 * static_cast<double>(i % 3), c.Wobble = 0.02;
        } else if (voltage.match(name).hasMatch()) {
            c.Nominal = 100.0 + 0.3 * static_cast<double>(i % 3), c.Wobble = 0.005;
        } else if (name.endsWith(QLatin1Char('P'))) {
            c.Nominal = 1250.0, c.Wobble = 0.03;
        } else if (name.endsWith(QLatin1Char('Q'))) {
            c.Nominal = -320.0, c.Wobble = 0.05;
        } else {
            c.Nominal = 10.0, c.Wobble = 0.01;
        }
        // A channel with a coefficient register has a small error of its own, which the
        // factory coefficient corrects; calibrating from the neutral coefficient finds it again.
        const std::uint16_t reg = t.bCheckMemery[i];
        if (reg == companel::kNoValue || reg < t.AskNumber)
            continue;
        c.Gain = gain(rng);
        const auto factory = static_cast<std::uint16_t>(std::lround(kNeutralCoefficient / c.Gain));
        if (Stored(reg))
            stored_[reg] = factory;
        else
            Hold(reg, factory);
    }
}

void Device::LayOutSignals() {
    const auto& s = tables_.Signals;
    const std::size_t n = std::min<std::size_t>(s.Number, companel::kTablePoints);
    signals_.assign(n, false);
    accident_ = SignalNamed(Utf8("事故总"));
    for (int side = 0; side < 3; ++side)
        OperateBreaker(side, true);
    if (auto remote = SignalNamed(Utf8("远方")))
        signals_[*remote] = true;
    restless_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const QString name = support::FieldText(s.Name[i], companel::kTextSize);
        if (s.Post[i] == 0 || (accident_ && *accident_ == i) || name.contains(Utf8("断路器")) ||
            name.contains(Utf8("动作")) || name.contains(Utf8("跳闸")))
            continue;
        restless_.push_back(i);
    }
    SetAccidentHeld(options_.AccidentHeld);
}

std::optional<std::size_t> Device::SignalNamed(const QString& part) const {
    for (std::size_t i = 0; i < signals_.size(); ++i)
        if (support::FieldText(tables_.Signals.Name[i], companel::kTextSize).contains(part))
            return i;
    return std::nullopt;
}

// ---- life ---------------------------------------------------------------------------------

void Device::ScheduleSignalChange(qint64 fromMs) {
    if (options_.SignalPeriodSeconds <= 0)
        return;
    const double mean = options_.SignalPeriodSeconds * 1000.0;
    std::uniform_real_distribution<double> gap(mean * 0.5, mean * 1.5);
    nextSignalChangeMs_ = fromMs + static_cast<qint64>(gap(rng_));
}

void Device::Advance(qint64 nowMs) {
    if (options_.SignalPeriodSeconds <= 0 || restless_.empty())
        return;
    // After a long pause only the last few changes matter.
    for (int steps = 0; nowMs >= nextSignalChangeMs_ && steps < 16; ++steps) {
        std::uniform_int_distribution<std::size_t> pick(0, restless_.size() - 1);
        const std::size_t i = restless_[pick(rng_)];
        signals_[i] = !signals_[i];
        ScheduleSignalChange(nextSignalChangeMs_);
    }
    if (nowMs >= nextSignalChangeMs_)
        ScheduleSignalChange(nowMs);
}

bool Device::SetAddress(std::uint8_t address) {
    if (address < 1 || address > 247)
        return false;
    options_.Address = address;
    return true;
}

void Device::SetSignal(std::size_t i, bool closed) {
    if (i < signals_.size())
        signals_[i] = closed;
}

void Device::SetAccidentHeld(bool held) {
    options_.AccidentHeld = held;
    if (accident_)
        signals_[*accident_] = held;
}

void Device::OperateBreaker(int side, bool close) {
    const QString prefix = Utf8(kSideNames[side]);
    if (auto on = SignalNamed(prefix + Utf8("断路器合位")))
        signals_[*on] = close;
    if (auto off = SignalNamed(prefix + Utf8("断路器分位")))
        signals_[*off] = !close;
}

void Device::ResetSignals() {
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        const QString name = support::FieldText(tables_.Signals.Name[i], companel::kTextSize);
        if (name.contains(Utf8("动作")) || name.contains(Utf8("跳闸")) ||
            name.contains(Utf8("预告")))
            signals_[i] = false;
    }
    if (accident_)
        signals_[*accident_] = options_.AccidentHeld;
}

QDateTime Device::Clock(qint64 nowMs) const {
    return QDateTime::fromMSecsSinceEpoch(nowMs + clockOffsetMs_);
}

std::uint16_t Device::RemoteMode() const {
    if (tables_.Parameters.Number <= kRemoteModeParameter)
        return options_.RemoteMode;
    return stored_[ParameterRegister(kRemoteModeParameter)];
}

void Device::SetRemoteMode(std::uint16_t mode) {
    options_.RemoteMode = mode;
    if (tables_.Parameters.Number > kRemoteModeParameter)
        stored_[ParameterRegister(kRemoteModeParameter)] = mode;
}

// ---- telemetry ----------------------------------------------------------------------------

std::optional<std::uint16_t> Device::CoefficientRegister(std::size_t i) const {
    if (i >= companel::kTablePoints)
        return std::nullopt;
    const std::uint16_t reg = tables_.Telemetry.bCheckMemery[i];
    if (reg == companel::kNoValue || reg < tables_.Telemetry.AskNumber || !Stored(reg))
        return std::nullopt;
    return reg;
}

double Device::AppliedValue(std::size_t i, qint64 nowMs) const {
    if (i >= channels_.size())
        return 0;
    const Channel& c = channels_[i];
    const double t = static_cast<double>(nowMs - startMs_);
    if (!options_.MovingTelemetry)
        return c.Nominal;
    if (c.EnergyPerHour != 0)
        return c.Nominal + c.EnergyPerHour * t / 3.6e6;
    const double swing = c.Wobble * std::sin(2 * kPi * t / c.PeriodMs + c.Phase);
    const double jitter = 0.2 * c.Wobble * Jitter(i, (nowMs - startMs_) / 1000);
    return c.Nominal * (1 + swing + jitter);
}

std::int64_t Device::RawReading(std::size_t i, qint64 nowMs) const {
    const auto& t = tables_.Telemetry;
    const double divisor = t.CC2[i] ? t.CC2[i] : 1;
    double v = AppliedValue(i, nowMs) * divisor;
    if (auto reg = CoefficientRegister(i))
        v *= channels_[i].Gain * stored_[*reg] / static_cast<double>(kNeutralCoefficient);
    return std::llround(std::clamp(v, -1e15, 1e15));
}

double Device::ReportedValue(std::size_t i, qint64 nowMs) const {
    if (i >= channels_.size())
        return 0;
    const auto& t = tables_.Telemetry;
    const bool high = t.PostH[i] != 0;
    const double divisor = t.CC2[i] ? t.CC2[i] : 1;
    return Decode(Encode(RawReading(i, nowMs), t.Type[i], high), t.Type[i], high) / divisor;
}

std::vector<std::uint16_t> Device::PollRegisters(qint64 nowMs) const {
    const auto& t = tables_.Telemetry;
    std::vector<std::uint16_t> regs(t.AskNumber, 0);
    auto put = [&](std::size_t r, std::uint16_t v) {
        if (r < regs.size())
            regs[r] = v;
    };
    const QDateTime now = Clock(nowMs);
    const std::uint16_t clock[6] = {
        static_cast<std::uint16_t>(now.date().year() % 100),
        static_cast<std::uint16_t>(now.date().month()),
        static_cast<std::uint16_t>(now.date().day()),
        static_cast<std::uint16_t>(now.time().hour()),
        static_cast<std::uint16_t>(now.time().minute()),
        static_cast<std::uint16_t>(now.time().second()),
    };
    for (std::size_t k = 0; k < 6; ++k)
        put(t.TimePost + k, clock[k]);
    put(t.VersionPost, options_.Firmware);
    const auto& s = tables_.Signals;
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        if (s.Post[i] == 0 || !signals_[i])
            continue;
        const std::size_t r = t.YXPost + (s.Post[i] - 1u) / 16;
        if (r < regs.size())
            regs[r] = static_cast<std::uint16_t>(regs[r] | (1u << ((s.Post[i] - 1u) % 16)));
    }
    for (std::size_t i = 0; i < t.Number && i < companel::kTablePoints; ++i) {
        if (t.Post[i] == 0)
            continue;
        const bool high = t.PostH[i] != 0;
        const Words w = Encode(RawReading(i, nowMs), t.Type[i], high);
        put(t.Post[i] - 1u, w.Low);
        if (high)
            put(t.PostH[i] - 1u, w.High);
    }
    return regs;
}

std::optional<std::uint16_t> Device::ReadRegister(std::uint16_t reg, qint64 nowMs) const {
    if (reg < tables_.Telemetry.AskNumber)
        return PollRegisters(nowMs)[reg];
    if (Stored(reg))
        return stored_[reg];
    return std::nullopt;
}

bool Device::SetStoredRegister(std::uint16_t reg, std::uint16_t value) {
    if (!Stored(reg))
        return false;
    stored_[reg] = value;
    return true;
}

// ---- frames -------------------------------------------------------------------------------

void Device::Seal(Bytes& frame) {
    const std::uint16_t crc = companel::Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

Bytes Device::Exception(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    Bytes b{address, static_cast<std::uint8_t>(function | 0x80), code};
    Seal(b);
    return b;
}

Bytes Device::Handle(const std::uint8_t* request, std::size_t length, qint64 nowMs) {
    Advance(nowMs);
    if (request == nullptr || length < 4)
        return {};
    // A frame whose CRC fails is line noise: a relay never answers it.
    const std::uint16_t crc = companel::Crc16(request, length - 2);
    if (request[length - 2] != (crc & 0xFF) || request[length - 1] != (crc >> 8))
        return {};
    const std::uint8_t address = request[0];
    const std::uint8_t function = request[1];
    if (address == kSearchAddress) {
        // The search address answers a read from register 0 and nothing else.
        if (function == 3 && length == 8 && Word(request + 2) == 0)
            return Read(request, kSearchAddress, nowMs);
        return {};
    }
    if (address != options_.Address)
        return {};
    switch (function) {
    case 3:
        return length == 8 ? Read(request, address, nowMs) : Bytes{};
    case 5:
        return length == 8 ? Coil(request, nowMs) : Bytes{};
    case 16:
        return length >= 9 && length == 9u + request[6] ? Write(request, length, nowMs) : Bytes{};
    case 17:
        return length == 8 ? EventRead(request) : Bytes{};
    default:
        return Exception(address, function, kIllegalFunction);
    }
}

Bytes Device::Read(const std::uint8_t* r, std::uint8_t address, qint64 nowMs) const {
    const std::size_t start = Word(r + 2);
    const std::size_t count = Word(r + 4);
    if (count == 0 || count > kMaxReadRegisters)
        return Exception(address, 3, kIllegalValue);
    if (start + count > kRegisterSpace)
        return Exception(address, 3, kIllegalAddress);
    std::vector<std::uint16_t> poll;
    if (start < tables_.Telemetry.AskNumber)
        poll = PollRegisters(nowMs);
    Bytes answer{address, 3, static_cast<std::uint8_t>(2 * count)};
    for (std::size_t reg = start; reg < start + count; ++reg) {
        std::uint16_t v;
        if (reg == 0 && address == kSearchAddress)
            v = options_.Address;
        else if (reg < poll.size())
            v = poll[reg];
        else if (Stored(static_cast<std::uint16_t>(reg)))
            v = stored_[reg];
        else
            return Exception(address, 3, kIllegalAddress);
        PushWord(answer, v);
    }
    Seal(answer);
    return answer;
}

Bytes Device::Write(const std::uint8_t* r, std::size_t length, qint64 nowMs) {
    const std::uint8_t a = r[0];
    const std::size_t start = Word(r + 2);
    const std::size_t count = Word(r + 4);
    if (count == 0 || count > kMaxWriteRegisters || r[6] != 2 * count || length != 9 + 2 * count)
        return Exception(a, 16, kIllegalValue);
    if (start + count > kRegisterSpace)
        return Exception(a, 16, kIllegalAddress);
    const std::uint8_t* values = r + 7;
    const auto& t = tables_.Telemetry;
    if (start == t.TimePost && count == 6) {
        const int v[6] = {Word(values),     Word(values + 2), Word(values + 4),
                          Word(values + 6), Word(values + 8), Word(values + 10)};
        const QDate date(2000 + v[0], v[1], v[2]);
        const QTime time(v[3], v[4], v[5]);
        if (v[0] > 99 || !date.isValid() || !time.isValid())
            return Exception(a, 16, kIllegalValue);
        clockOffsetMs_ = QDateTime(date, time).toMSecsSinceEpoch() - nowMs;
    } else {
        for (std::size_t k = 0; k < count; ++k)
            if (start + k < t.AskNumber || !Stored(static_cast<std::uint16_t>(start + k)))
                return Exception(a, 16, kIllegalAddress);
        const auto& p = tables_.Parameters;
        for (std::size_t i : kBitRateParameters) {
            if (i >= p.Number)
                continue;
            const std::size_t reg = ParameterRegister(i);
            if (reg >= start && reg < start + count &&
                !ValidBitRateCode(Word(values + 2 * (reg - start))))
                return Exception(a, 16, kIllegalValue);
        }
        for (std::size_t k = 0; k < count; ++k)
            stored_[start + k] = Word(values + 2 * k);
        if (p.Number > 0 && start == p.Start)
            events_.Add(kEventParametersChanged, Clock(nowMs));
        else if (tables_.Settings.Number > 0 && start == tables_.Settings.Start)
            events_.Add(kEventSettingsChanged, Clock(nowMs));
    }
    Bytes answer(r, r + 6);
    Seal(answer);
    return answer;
}

Bytes Device::Coil(const std::uint8_t* r, qint64 nowMs) {
    const std::uint8_t a = r[0];
    const std::uint16_t coil = Word(r + 2);
    const std::uint16_t value = Word(r + 4);
    if (value != 0xFF00 && value != 0x0000)
        return Exception(a, 5, kIllegalValue);
    if (coil >= kCoilCount)
        return Exception(a, 5, kIllegalAddress);
    Bytes answer(r, r + 6);
    if (value == 0) {
        Seal(answer);
        return answer;
    }
    // A breaker command: which side, close or open.
    struct BreakerCoil {
        std::uint16_t Coil;
        int Side;
        bool Close;
    };
    static const BreakerCoil kBreakers[] = {
        {kCoilHighClose, 0, true}, {kCoilHighOpen, 0, false}, {kCoilLow1Close, 1, true},
        {kCoilLow1Open, 1, false}, {kCoilLow2Close, 2, true}, {kCoilLow2Open, 2, false},
    };
    const QDateTime when = Clock(nowMs);
    if (coil == kCoilReset) {
        ResetSignals();
        events_.Add(kEventSignalReset, when);
    } else {
        events_.Add(kEventRemoteControl, when);
    }
    for (const BreakerCoil& b : kBreakers) {
        if (b.Coil != coil)
            continue;
        OperateBreaker(b.Side, b.Close);
        // In remote-control mode 1 the relay names the breaker by its side (coil 0, 1, 2) and
        // tells close from open by the value.
        if (RemoteMode() == 1) {
            answer[2] = 0;
            answer[3] = static_cast<std::uint8_t>(b.Side);
            answer[4] = b.Close ? 0xFF : 0x00;
            answer[5] = 0;
        }
    }
    Seal(answer);
    return answer;
}

Bytes Device::EventRead(const std::uint8_t* r) const {
    const std::uint8_t a = r[0];
    const std::size_t first = Word(r + 2);
    const std::size_t count = Word(r + 4);
    if (count == 0 || count > kMaxEventsPerRead)
        return Exception(a, 17, kIllegalValue);
    if (first + count > kEventCapacity)
        return Exception(a, 17, kIllegalAddress);
    Bytes answer{a, 17, static_cast<std::uint8_t>(count * kEventRecordSize)};
    for (std::size_t k = first; k < first + count; ++k) {
        const EventRecord& rec = events_.Record(k);
        answer.insert(answer.end(), rec.begin(), rec.end());
    }
    Seal(answer);
    return answer;
}

std::unique_ptr<Device> LoadDevice(const QString& iniPath, const DeviceOptions& options,
                                   qint64 nowMs, QString* error, QStringList* notes) {
    // A missing file would load as empty tables: a relay without registers helps nobody.
    if (!QFileInfo(iniPath).isFile()) {
        if (error)
            *error = QStringLiteral("point table not found: %1").arg(iniPath);
        return nullptr;
    }
    auto tables = std::make_unique<companel::PointTables>();
    const QStringList loaded = companel::LoadPointTables(*tables, iniPath);
    if (notes)
        *notes = loaded;
    return std::make_unique<Device>(*tables, options, nowMs);
}

} // namespace vkdsim
