#pragma once
// GBK (code page 936) texts. Files, protocol fields and fixed-size records keep GBK bytes;
// conversion to QString happens only where a text meets the user interface.

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace support {

QString FromGbk(const QByteArray& bytes);
QByteArray ToGbk(const QString& text);

// Text of a fixed-size, zero-terminated GBK field (stops at the first zero or the field's end).
QString FieldText(const char* field, std::size_t size);
QByteArray FieldBytes(const char* field, std::size_t size);

// Longest prefix of `bytes` that is at most `max` bytes and does not split a double-byte
// character.
std::size_t GbkPrefixLength(const QByteArray& bytes, std::size_t max);

// Copies `bytes` into a field of `size` bytes: at most size - 1 bytes, cut on a character
// boundary, then zero-filled to the end. Returns true when the whole text fitted.
bool CopyGbkField(char* field, std::size_t size, const QByteArray& bytes);

// True when byte `b` opens a double-byte GBK character.
inline bool IsGbkLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

} // namespace support
