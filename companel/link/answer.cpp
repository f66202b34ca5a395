#include "companel/link/answer.h"

#include "companel/link/crc.h"

namespace companel {

std::optional<std::uint16_t> RegisterAt(const std::uint8_t* answer, std::size_t length,
                                        std::size_t r) {
    length = UsableAnswerLength(length);
    if (r > kAnswerCapacity)
        return std::nullopt;
    const std::size_t low = 4 + 2 * r;
    if (length < 3 || low > length - 3)
        return std::nullopt;
    return static_cast<std::uint16_t>((answer[low - 1] << 8) | answer[low]);
}

std::optional<std::uint16_t> PostRegister(const std::uint8_t* answer, std::size_t length,
                                          std::size_t p) {
    length = UsableAnswerLength(length);
    if (p > kAnswerCapacity)
        return std::nullopt;
    const std::size_t low = 2 * p + 2;
    if (length < 3 || low > length - 3)
        return std::nullopt;
    return static_cast<std::uint16_t>((answer[low - 1] << 8) | answer[low]);
}

PollCheck CheckPollAnswer(const std::uint8_t* answer, std::size_t length,
                          std::uint8_t slaveAddress) {
    length = UsableAnswerLength(length);
    if (length < 2 || answer[0] != slaveAddress || answer[1] != 3)
        return {1, QString::fromUtf8("轮循过程收到报文头错误的报文!")};
    if (length < 3 || length < std::size_t{answer[2]} + 5)
        return {2, QString::fromUtf8("轮循过程收到长度太短的报文!")};
    if (!CheckCrc(answer, length, std::size_t{answer[2]} + 3))
        return {3, QString::fromUtf8("轮循过程收到CRC错误的报文!")};
    return {};
}

std::optional<std::uint8_t> SearchAnswerAddress(const std::uint8_t* answer, std::size_t length) {
    length = UsableAnswerLength(length);
    if (length < 3 || !CheckCrc(answer, length, std::size_t{answer[2]} + 3) || length < 5)
        return std::nullopt;
    return answer[4];
}

} // namespace companel
