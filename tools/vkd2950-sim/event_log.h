#pragma once
// The relay's event log: 500 records of 8 bytes, newest first, read by function 17.

#include <QDateTime>
#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

namespace vkdsim {

constexpr std::size_t kEventCapacity = 500;
constexpr std::size_t kEventRecordSize = 8;
using EventRecord = std::array<std::uint8_t, kEventRecordSize>;

// Event codes the relay writes itself.
constexpr std::uint8_t kEventPowerUp = 1;
constexpr std::uint8_t kEventSignalReset = 2;
constexpr std::uint8_t kEventRemoteControl = 3;
constexpr std::uint8_t kEventSettingsChanged = 4;
constexpr std::uint8_t kEventParametersChanged = 6;

// Code, milliseconds within the minute (low byte first), minute, hour, day, month, year - 2000.
EventRecord MakeEventRecord(std::uint8_t code, const QDateTime& when);

class EventLog {
public:
    // An empty log: every record reads as "no record" (all bytes zero).
    EventLog();

    // Fills the log with `count` plausible events (power-ups, alarms and trips, operations,
    // changes of settings) reaching back from `now`, newest first.
    void Generate(std::size_t count, const QDateTime& now, std::mt19937& rng);
    // Records a new event in front; the oldest falls off the end.
    void Add(std::uint8_t code, const QDateTime& when);

    const EventRecord& Record(std::size_t index) const { return records_[index]; }
    std::size_t Stored() const { return stored_; }

private:
    std::array<EventRecord, kEventCapacity> records_{};
    std::size_t stored_ = 0;
};

} // namespace vkdsim
