#include "companel/polling/companel_state.h"

#include "companel/config/point_table_loader.h"

#include <cstring>

namespace companel {

CompanelState::CompanelState() {
    LoadPointTables(support::Profile(), Tables);
    std::memset(HardwareInfo, 0xFF, sizeof HardwareInfo);
}

QStringList CompanelState::LoadTables(const QString& path) {
    std::lock_guard<std::mutex> lock(LiveMutex);
    LoadNotes = LoadPointTables(Tables, path);
    return LoadNotes;
}

float CompanelState::TelemetryValue(std::size_t i) const {
    std::lock_guard<std::mutex> lock(LiveMutex);
    return i < kTablePoints ? Tables.Telemetry.Value[i] : 65535.0f;
}

std::uint16_t CompanelState::SignalState(std::size_t i) const {
    std::lock_guard<std::mutex> lock(LiveMutex);
    return i < kTablePoints ? Tables.Signals.State[i] : kNoValue;
}

std::uint16_t CompanelState::ParameterValue(std::size_t i) const {
    std::lock_guard<std::mutex> lock(LiveMutex);
    return i < kTablePoints ? Tables.Parameters.RawValue[i] : kNoValue;
}

std::array<std::uint8_t, kHardwareInfoSize> CompanelState::HardwareInfoCopy() const {
    std::lock_guard<std::mutex> lock(LiveMutex);
    std::array<std::uint8_t, kHardwareInfoSize> out{};
    std::memcpy(out.data(), HardwareInfo, out.size());
    return out;
}

void CompanelState::SetHardwareInfo(const std::array<std::uint8_t, kHardwareInfoSize>& bytes) {
    std::lock_guard<std::mutex> lock(LiveMutex);
    std::memcpy(HardwareInfo, bytes.data(), bytes.size());
}

} // namespace companel
