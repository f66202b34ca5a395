#pragma once
// Little-endian byte building for the workbook writer: record bodies, the Workbook stream and
// the compound-file container.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstring>

namespace xls {

class Bytes {
public:
    void U8(std::uint8_t v) { data_.append(static_cast<char>(v)); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v & 0xFF));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v & 0xFFFF));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void F64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        U32(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
        U32(static_cast<std::uint32_t>(bits >> 32));
    }
    void Utf16(const QString& s) {
        for (QChar c : s)
            U16(c.unicode());
    }
    void Zeros(int n) { data_.append(QByteArray(n, '\0')); }
    void Raw(const QByteArray& b) { data_.append(b); }
    void Record(std::uint16_t type, const Bytes& body) {
        U16(type);
        U16(static_cast<std::uint16_t>(body.size()));
        Raw(body.data_);
    }
    void Patch32(int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    int size() const { return static_cast<int>(data_.size()); }
    const QByteArray& data() const { return data_; }
    QByteArray& data() { return data_; }

private:
    QByteArray data_;
};

} // namespace xls
