#pragma once
// Requests that change live table values as they are queued, done under the state's lock.

#include "companel/link/requests.h"
#include "companel/polling/companel_state.h"

namespace companel {

// Mouse wheel over the name of telemetry point `point`: steps the coefficient(s) in the
// parameter table and queues the write, or queues a parameter upload when the coefficient is
// at its limit. Nothing happens (Refused) while the point shows no reading (65535 or 0) or when
// its coefficient register lies outside the parameter block.
WheelStep::Kind QueueCoefficientStep(CompanelState& state, std::size_t point, int x, int delta,
                                     bool ctrl);

} // namespace companel
