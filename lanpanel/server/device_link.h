#pragma once
// What the protocol engine needs of the relay link: whether a relay is there, and a way to send
// it one frame. The server implements it; engine tests use a recorder.

#include <cstdint>

namespace lanpanel {

class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    virtual bool DeviceConnected() const = 0;
    virtual bool SendToDevice(const std::uint8_t* data, std::uint16_t count) = 0;
};

} // namespace lanpanel
