#include "tools/vkd2950-sim/event_log.h"

#include <algorithm>

namespace vkdsim {

EventRecord MakeEventRecord(std::uint8_t code, const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    const int ms = t.second() * 1000 + t.msec();
    return {code,
            static_cast<std::uint8_t>(ms & 0xFF),
            static_cast<std::uint8_t>(ms >> 8),
            static_cast<std::uint8_t>(t.minute()),
            static_cast<std::uint8_t>(t.hour()),
            static_cast<std::uint8_t>(d.day()),
            static_cast<std::uint8_t>(d.month()),
            static_cast<std::uint8_t>(d.year() - 2000)};
}

EventLog::EventLog() = default;

void EventLog::Add(std::uint8_t code, const QDateTime& when) {
    std::move_backward(records_.begin(), records_.end() - 1, records_.end());
    records_[0] = MakeEventRecord(code, when);
    stored_ = std::min(stored_ + 1, kEventCapacity);
}

void EventLog::Generate(std::size_t count, const QDateTime& now, std::mt19937& rng) {
    count = std::min(count, kEventCapacity);
    records_ = {};
    stored_ = 0;
    // A protection event is an alarm followed by a trip of the same stage, often followed by
    // a signal reset; the rest is daily business. Codes 8..55 are the protection stages.
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> stage(0, 23); // 24 alarm/trip pairs, codes 8..55
    std::uniform_int_distribution<qint64> gapMs(90 * 1000, 36 * 3600 * 1000LL);
    std::uniform_int_distribution<qint64> shortGapMs(20, 1500);
    QDateTime when = now;
    std::size_t made = 0;
    // Walk backwards in time and write each event into its slot, oldest last.
    while (made < count) {
        when = when.addMSecs(-gapMs(rng));
        const int k = kind(rng);
        if (k < 45 && count - made >= 3) {
            const auto alarm = static_cast<std::uint8_t>(8 + 2 * stage(rng));
            // Newest first: reset, trip, alarm.
            const QDateTime trip = when.addMSecs(-shortGapMs(rng));
            const QDateTime alarmAt = trip.addMSecs(-shortGapMs(rng));
            records_[made++] = MakeEventRecord(kEventSignalReset, when);
            records_[made++] = MakeEventRecord(static_cast<std::uint8_t>(alarm + 1), trip);
            records_[made++] = MakeEventRecord(alarm, alarmAt);
            when = alarmAt;
        } else if (k < 65) {
            records_[made++] = MakeEventRecord(kEventRemoteControl, when);
        } else if (k < 75) {
            records_[made++] = MakeEventRecord(kEventSettingsChanged, when);
        } else if (k < 82) {
            records_[made++] = MakeEventRecord(kEventParametersChanged, when);
        } else if (k < 90) {
            records_[made++] = MakeEventRecord(kEventPowerUp, when);
        } else {
            records_[made++] = MakeEventRecord(static_cast<std::uint8_t>(8 + 2 * stage(rng)), when);
        }
    }
    stored_ = made;
}

} // namespace vkdsim
