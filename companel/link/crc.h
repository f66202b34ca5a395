#pragma once
// CRC-16/MODBUS of the serial frames: polynomial 0xA001 (reflected), start 0xFFFF, no final
// XOR, low byte first on the wire.

#include <cstddef>
#include <cstdint>

namespace companel {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t n);

// Writes the CRC of bytes 0..n-1 at n (low byte) and n+1 (high byte) and returns it. The
// frame must hold at least n + 2 bytes (`capacity`); otherwise nothing is written and false
// goes to `ok`.
std::uint16_t AppendCrc(std::uint8_t* frame, std::size_t capacity, std::size_t n,
                        bool* ok = nullptr);

// True when the two bytes at n and n+1 hold the CRC of bytes 0..n-1, low byte first or high
// byte first. False when the frame (`length` bytes) does not reach n+1.
bool CheckCrc(const std::uint8_t* frame, std::size_t length, std::size_t n);

} // namespace companel
