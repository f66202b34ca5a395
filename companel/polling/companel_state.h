#pragma once
// The program-wide objects of companel, owned by one object made at start-up and handed to
// the windows and the management thread (tests make a fresh one each).

#include "companel/config/point_tables.h"
#include "companel/link/request_slot.h"
#include "companel/link/requests.h"

#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace companel {

class CompanelState {
public:
    // Tables at their defaults (as from an empty point-table file).
    CompanelState();
    CompanelState(const CompanelState&) = delete;
    CompanelState& operator=(const CompanelState&) = delete;

    // Loads the point tables; keeps and returns what the loader clipped.
    QStringList LoadTables(const QString& path);

    // Table fields that the management thread writes and the windows read (RawValue, Value,
    // ShownValue, State, ShownState, Scaled, HardwareInfo, DeviceVersion) are guarded by
    // LiveMutex. Description fields do not change after loading.
    mutable std::mutex LiveMutex;
    PointTables Tables;
    std::uint8_t HardwareInfo[kHardwareInfoSize];
    std::uint16_t DeviceVersion = 0;

    // Runs f(Tables) with LiveMutex held; use it to copy live values out or edit them.
    template <typename F> decltype(auto) WithTables(F&& f) {
        std::lock_guard<std::mutex> lock(LiveMutex);
        return f(Tables);
    }
    template <typename F> decltype(auto) WithTables(F&& f) const {
        std::lock_guard<std::mutex> lock(LiveMutex);
        return f(static_cast<const PointTables&>(Tables));
    }
    float TelemetryValue(std::size_t i) const;
    std::uint16_t SignalState(std::size_t i) const;
    std::uint16_t ParameterValue(std::size_t i) const;
    std::array<std::uint8_t, kHardwareInfoSize> HardwareInfoCopy() const;
    void SetHardwareInfo(const std::array<std::uint8_t, kHardwareInfoSize>& bytes);

    RequestSlot CommandSlot;
    RequestSlot CalibrationSlot;
    RequestSlot SearchSlot;

    std::atomic<std::uint8_t> SlaveAddress{1};
    std::atomic<int> LinkOk{0};
    std::atomic<int> StopRequested{0};
    std::atomic<std::size_t> CalibrationIndex{0};
    std::atomic<float> CalibrationTarget{0.0f};
    // Set by the first coefficient step, never cleared (confirmation rule 2).
    std::atomic<bool> WheelAdjusted{false};

    QStringList LoadNotes;
};

} // namespace companel
