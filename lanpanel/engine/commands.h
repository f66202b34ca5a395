#pragma once
// Every frame lanpanel sends to the relay, byte for byte. Builders are pure: they take the
// station address and the data and return the frame; sending is the engine's business.

#include "lanpanel/templates/device_template.h"

#include <QDateTime>
#include <cstdint>
#include <vector>

namespace lanpanel {

using Frame = std::vector<std::uint8_t>;

// Generic read of all entries of a group (KOD 1 = actual values).
constexpr std::uint8_t kGroupZone = 0x00;
constexpr std::uint8_t kGroupSettings = 0x03;
constexpr std::uint8_t kGroupProtection = 0x06;
constexpr std::uint8_t kGroupRemoteControl = 0x0B;
constexpr std::uint8_t kGroupPlates = 0x0E;

Frame IdentificationRequest(std::uint8_t address);
Frame GeneralInterrogation(std::uint8_t address);
// The seven time bytes follow the given local time.
Frame ClockSync(std::uint8_t address, const QDateTime& local);
// 2008-08-08 08:08:08.000
Frame FixedClock(std::uint8_t address);
Frame SignalReset(std::uint8_t address);
Frame RemoteControl(std::uint8_t address, std::uint8_t entry, std::uint8_t value);
Frame ReadZone(std::uint8_t address);
Frame SelectZone(std::uint8_t address, std::uint8_t zone);
Frame ReadSettingsValues(std::uint8_t address);
Frame ReadPlateValues(std::uint8_t address);
Frame PlateSwitch(std::uint8_t address, std::uint8_t entry, std::uint8_t value);
Frame ReadProtectionValues(std::uint8_t address);
// Every setting of the template, entries 1 to SettingCount. Up to 2558 bytes for 255 float
// settings, so it is built in a buffer of its own size.
Frame SettingsDownload(std::uint8_t address, const DeviceTemplate& tpl);

// The ten output-drive buttons: button n (1 to 10) drives entry (n + 1) / 2, odd buttons with
// value 1 (off), even ones with value 2 (on).
struct OutputDrive {
    std::uint8_t entry;
    std::uint8_t value;
};
OutputDrive OutputDriveButton(int button);

// A float setting value as the relay's unsigned 16-bit field: truncated toward zero, and never
// through an undefined conversion for values out of range.
std::uint16_t SettingAsU16(float value);

} // namespace lanpanel
