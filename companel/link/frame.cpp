#include "companel/link/frame.h"

#include "companel/link/crc.h"

#include <algorithm>
#include <cstring>

namespace companel {

Frame::Frame(const std::uint8_t* bytes, std::size_t length) {
    if (length > kMaxLength) {
        overflowed_ = true;
        length = kMaxLength;
    }
    if (length > 0)
        std::memcpy(bytes_.data(), bytes, length);
    length_ = length;
}

void Frame::PushByte(std::uint8_t b) {
    if (length_ >= kMaxLength) {
        overflowed_ = true;
        return;
    }
    bytes_[length_++] = b;
}

void Frame::PushWord(std::uint16_t w) {
    PushByte(static_cast<std::uint8_t>(w >> 8));
    PushByte(static_cast<std::uint8_t>(w & 0xFF));
}

bool Frame::PutByte(std::size_t at, std::uint8_t b) {
    if (at >= length_)
        return false;
    bytes_[at] = b;
    return true;
}

bool Frame::PutWord(std::size_t at, std::uint16_t w) {
    if (at >= length_ || length_ - at < 2)
        return false;
    bytes_[at] = static_cast<std::uint8_t>(w >> 8);
    bytes_[at + 1] = static_cast<std::uint8_t>(w & 0xFF);
    return true;
}

void Frame::PushCrc() {
    const std::uint16_t crc = Crc16(bytes_.data(), length_);
    PushByte(static_cast<std::uint8_t>(crc & 0xFF));
    PushByte(static_cast<std::uint8_t>(crc >> 8));
}

bool Frame::ResealCrc() {
    if (length_ < 2)
        return false;
    bool ok = false;
    AppendCrc(bytes_.data(), bytes_.size(), length_ - 2, &ok);
    return ok;
}

void Frame::Clear() {
    length_ = 0;
    overflowed_ = false;
}

} // namespace companel
