#pragma once
// Reading device answers: registers by received length, and the acceptance rules of a poll
// answer.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace companel {

// An answer is received into 1024 bytes; anything longer is cut to this before it is read.
constexpr std::size_t kAnswerCapacity = 1024;

inline std::size_t UsableAnswerLength(std::size_t length) {
    return length < kAnswerCapacity ? length : kAnswerCapacity;
}

// 0-based register r of a code-3 answer (bytes 3+2r, 4+2r); absent when its low byte lies past
// length - 3, i.e. in the CRC or beyond the answer.
std::optional<std::uint16_t> RegisterAt(const std::uint8_t* answer, std::size_t length,
                                        std::size_t r);
// 1-based register p as the point tables give it (bytes 2p+1, 2p+2), same presence rule.
std::optional<std::uint16_t> PostRegister(const std::uint8_t* answer, std::size_t length,
                                          std::size_t p);

struct PollCheck {
    int FailedRule = 0; // 0 accepted; 1 header, 2 length, 3 CRC
    QString Text;       // the status line of the failed rule
    bool Accepted() const { return FailedRule == 0; }
};

PollCheck CheckPollAnswer(const std::uint8_t* answer, std::size_t length,
                          std::uint8_t slaveAddress);

// The address search only tests the CRC; returns the device's address (byte 4) when it holds.
std::optional<std::uint8_t> SearchAnswerAddress(const std::uint8_t* answer, std::size_t length);

} // namespace companel
