#include "commands.h"

#include <cmath>
#include <cstring>

namespace lanpanel {

namespace {
Frame GenericRead(std::uint8_t address, std::uint8_t returnId, std::uint8_t group) {
    return {0x15, 0x81, 0x2A, address, 0xFE, 0xF1, returnId, 0x01, group, 0x00, 0x01};
}

Frame GenericWrite(std::uint8_t address, std::uint8_t returnId, std::uint8_t group,
                   std::uint8_t entry, std::uint8_t dataType, std::uint8_t value) {
    return {0x0A,
            0x81,
            0x28,
            address,
            0xFE,
            0xFA,
            returnId,
            0x01,
            group,
            entry,
            0x01 /* KOD: actual value */,
            dataType,
            0x01,
            0x01,
            value};
}

constexpr std::uint8_t kUnsigned = 0x03;
constexpr std::uint8_t kDoublePoint = 0x09;

void AppendU16(Frame& f, std::uint16_t v) {
    f.push_back(static_cast<std::uint8_t>(v & 0xFF));
    f.push_back(static_cast<std::uint8_t>(v >> 8));
}
} // namespace

Frame IdentificationRequest(std::uint8_t address) {
    return {0x14, 0x81, 0x05, address, 0xFE, 0x04, 0x01, 0x00};
}

Frame GeneralInterrogation(std::uint8_t address) {
    return {0x07, 0x81, 0x09, address, 0xFE, 0x00, 0x04};
}

Frame ClockSync(std::uint8_t address, const QDateTime& local) {
    const QDate d = local.date();
    const QTime t = local.time();
    Frame f{0x06, 0x81, 0x08, address, 0xFE, 0x00};
    AppendU16(f, static_cast<std::uint16_t>(t.second() * 1000 + t.msec()));
    f.push_back(static_cast<std::uint8_t>(t.minute()));
    f.push_back(static_cast<std::uint8_t>(t.hour()));
    f.push_back(static_cast<std::uint8_t>(d.day()));
    f.push_back(static_cast<std::uint8_t>(d.month()));
    f.push_back(static_cast<std::uint8_t>((d.year() - 2000) & 0xFF));
    return f;
}

Frame FixedClock(std::uint8_t address) {
    return {0x06, 0x81, 0x08, address, 0xFE, 0x00, 0x40, 0x1F, 0x08, 0x08, 0x08, 0x08, 0x08};
}

Frame SignalReset(std::uint8_t address) {
    return GenericWrite(address, 0x18, kGroupZone, 0x06, kUnsigned, 0x01);
}

Frame RemoteControl(std::uint8_t address, std::uint8_t entry, std::uint8_t value) {
    return GenericWrite(address, 0x11, kGroupRemoteControl, entry, kDoublePoint, value);
}

Frame ReadZone(std::uint8_t address) {
    Frame f = GenericRead(address, 0x03, kGroupZone);
    f[9] = 0x03; // the running-zone entry
    return f;
}

Frame SelectZone(std::uint8_t address, std::uint8_t zone) {
    return GenericWrite(address, 0x05, kGroupZone, 0x02, kUnsigned, zone);
}

Frame ReadSettingsValues(std::uint8_t address) {
    return GenericRead(address, 0x00, kGroupSettings);
}

Frame ReadPlateValues(std::uint8_t address) {
    return GenericRead(address, 0x07, kGroupPlates);
}

Frame PlateSwitch(std::uint8_t address, std::uint8_t entry, std::uint8_t value) {
    return GenericWrite(address, 0x07, kGroupPlates, entry, kDoublePoint, value);
}

Frame ReadProtectionValues(std::uint8_t address) {
    return GenericRead(address, 0x07, kGroupProtection);
}

std::uint16_t SettingAsU16(float value) {
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(static_cast<double>(value));
    const double clamped = std::fmax(-2147483648.0, std::fmin(2147483647.0, t));
    return static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped)));
}

Frame SettingsDownload(std::uint8_t address, const DeviceTemplate& tpl) {
    const int count = tpl.SettingCount < kListSize ? tpl.SettingCount : kListSize;
    Frame f{0x0A, 0x81, 0x2A, address, 0xFE, 0xFA, 0x0B, static_cast<std::uint8_t>(count & 0xFF)};
    f.reserve(8 + 10 * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const SettingPoint& s = tpl.Setting[i];
        f.push_back(kGroupSettings);
        f.push_back(static_cast<std::uint8_t>(i + 1));
        f.push_back(0x01);
        f.push_back(s.DataType);
        if (s.DataType == kUnsigned) {
            f.push_back(0x02);
            f.push_back(0x01);
            AppendU16(f, SettingAsU16(s.Value));
        } else {
            f.push_back(0x04);
            f.push_back(0x01);
            std::uint32_t bits = 0;
            std::memcpy(&bits, &s.Value, sizeof bits);
            for (int b = 0; b < 4; ++b)
                f.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
        }
    }
    return f;
}

OutputDrive OutputDriveButton(int button) {
    return {static_cast<std::uint8_t>((button + 1) / 2),
            static_cast<std::uint8_t>(button % 2 == 1 ? 1 : 2)};
}

} // namespace lanpanel
