#include "companel/polling/state_requests.h"

namespace companel {

WheelStep::Kind QueueCoefficientStep(CompanelState& state, std::size_t point, int x, int delta,
                                     bool ctrl) {
    if (point >= kTablePoints)
        return WheelStep::Kind::Refused;
    WheelStep step;
    {
        std::lock_guard<std::mutex> lock(state.LiveMutex);
        const float value = state.Tables.Telemetry.Value[point];
        if (value == 65535.0f || value == 0.0f)
            return WheelStep::Kind::Refused;
        step = CoefficientStep(state.SlaveAddress.load(), state.Tables.Telemetry,
                               state.Tables.Parameters, point, x, delta, ctrl);
    }
    switch (step.Action) {
    case WheelStep::Kind::SendStep:
        state.CommandSlot.Fill(step.Request);
        // A step overrides any calibration still waiting for its second write.
        state.CalibrationSlot.Clear();
        state.WheelAdjusted = true;
        break;
    case WheelStep::Kind::QueueParameterUpload:
        state.CommandSlot.Fill(step.Request);
        break;
    case WheelStep::Kind::Refused:
        break;
    }
    return step.Action;
}

} // namespace companel
