#include "companel/link/crc.h"

namespace companel {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::uint16_t AppendCrc(std::uint8_t* frame, std::size_t capacity, std::size_t n, bool* ok) {
    const bool fits = n <= capacity && capacity - n >= 2;
    if (ok)
        *ok = fits;
    if (!fits)
        return 0;
    const std::uint16_t crc = Crc16(frame, n);
    frame[n] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[n + 1] = static_cast<std::uint8_t>(crc >> 8);
    return crc;
}

bool CheckCrc(const std::uint8_t* frame, std::size_t length, std::size_t n) {
    if (n > length || length - n < 2)
        return false;
    const std::uint16_t crc = Crc16(frame, n);
    const std::uint8_t lo = static_cast<std::uint8_t>(crc & 0xFF);
    const std::uint8_t hi = static_cast<std::uint8_t>(crc >> 8);
    // Some devices send the trailer high byte first; both orders are accepted.
    return (frame[n] == lo && frame[n + 1] == hi) || (frame[n] == hi && frame[n + 1] == lo);
}

} // namespace companel
