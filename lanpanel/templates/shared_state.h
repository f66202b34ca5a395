#pragma once
// The program-wide values of lanpanel. One SharedState exists per program, owned by the object
// made at start-up and handed by reference to the server, the engine and the pages; tests make
// a fresh one each.

#include "device_template.h"

#include <array>
#include <cstdint>

namespace lanpanel {

constexpr std::uint16_t kNoTemplate = 0xFFFF;

// What the engine polls, by the page the user looks at.
enum class PollPage : std::uint16_t {
    MeasurementOrSignals = 0,
    Settings = 1,
    Plates = 2,
    Protection = 3,
    Operations = 4,
};

struct SharedState {
    TemplateList Templates;
    std::uint16_t SelectedTemplateIndex = kNoTemplate;
    std::array<std::uint8_t, 4> DeviceIp{}; // first octet first
    std::uint8_t DeviceAddress = 0;
    std::uint16_t CurrentPage = 0;

    // The template the pages show, or none.
    DeviceTemplate* SelectedTemplate() const {
        for (const auto& tpl : Templates)
            if (tpl->Index == SelectedTemplateIndex)
                return tpl.get();
        return nullptr;
    }
};

// Every timing of the relay link in one place. The defaults are the program's; tests shorten
// them.
struct Timing {
    int EngineTimerMs = 200; // engine timer period
    int TicksPerPoll = 50;   // engine timer events per PollTick (10 s)
    int BeaconMs = 2000;     // UDP beacon period
};

// Ports of the relay link; tests use ephemeral loopback ports.
struct LinkPorts {
    std::uint16_t TcpPort = 1048; // where the relay connects
    std::uint16_t UdpPort = 1032; // where the beacon goes
    bool LoopbackOnly = false;    // listen on 127.0.0.1 instead of every local address
};

} // namespace lanpanel
