#pragma once
// Byte vectors written as hex text in tests ("01 03 00 00").

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

namespace companel::test {

inline std::vector<std::uint8_t> Hex(const char* text) {
    const QByteArray raw = QByteArray::fromHex(QByteArray(text));
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

template <typename Bytes> std::string ToHex(const Bytes& bytes, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

} // namespace companel::test
