#pragma once
// Decoding device answers into the live tables and the main window. Run on the management
// thread; table writes happen under CompanelState::LiveMutex, reports outside it, in order.

#include "companel/link/confirmation.h"
#include "companel/polling/companel_reporter.h"
#include "companel/polling/companel_state.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace companel {

// An accepted poll answer: device clock, version, telemetry, binary inputs.
void DecodePoll(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                std::size_t length);
// Code-3 answers whose byte count is 2 x Number of the parameter / setting table.
void DecodeParameterUpload(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                           std::size_t length);
void DecodeSettingUpload(CompanelState& state, CompanelReporter& out, const std::uint8_t* answer,
                         std::size_t length);
// Shows `text` in the device-clock field and blanks every value.
void MarkLinkDown(CompanelState& state, CompanelReporter& out, const QString& text);

// What the confirmation rules need to know about the state, read under the lock.
ConfirmationContext ConfirmationContextOf(const CompanelState& state);

// Text of a telemetry value with the decimals its divisor asks for.
QString TelemetryText(float value, std::uint16_t cc2);
// "V%d.%d" of a device version number.
QString VersionText(std::uint16_t version);

} // namespace companel
