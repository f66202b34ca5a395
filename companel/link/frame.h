#pragma once
// A request frame: at most 255 bytes (the slot's length is one byte), CRC included.

#include <array>
#include <cstddef>
#include <cstdint>

namespace companel {

class Frame {
public:
    static constexpr std::size_t kMaxLength = 255;

    Frame() = default;
    Frame(const std::uint8_t* bytes, std::size_t length);

    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::uint8_t operator[](std::size_t i) const { return i < length_ ? bytes_[i] : 0; }

    // Appending past kMaxLength marks the frame as overflowed and changes nothing.
    void PushByte(std::uint8_t b);
    void PushWord(std::uint16_t w); // high byte first
    // Overwrites a big-endian word already in the frame; false when outside it.
    bool PutWord(std::size_t at, std::uint16_t w);
    bool PutByte(std::size_t at, std::uint8_t b);
    // Appends the CRC of everything so far.
    void PushCrc();
    // Recomputes the CRC of a complete frame (its last two bytes).
    bool ResealCrc();
    bool Overflowed() const { return overflowed_; }
    void Clear();

private:
    std::array<std::uint8_t, kMaxLength + 1> bytes_{};
    std::size_t length_ = 0;
    bool overflowed_ = false;
};

} // namespace companel
