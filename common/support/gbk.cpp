#include "gbk.h"

#include <QTextCodec>
#include <cstring>

namespace support {
namespace {
QTextCodec* Codec() {
    static QTextCodec* codec = QTextCodec::codecForName("GBK");
    return codec;
}
} // namespace

QString FromGbk(const QByteArray& bytes) {
    QTextCodec* codec = Codec();
    return codec ? codec->toUnicode(bytes) : QString::fromLatin1(bytes);
}

QByteArray ToGbk(const QString& text) {
    QTextCodec* codec = Codec();
    return codec ? codec->fromUnicode(text) : text.toLatin1();
}

QByteArray FieldBytes(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    const std::size_t n =
        end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : size;
    return QByteArray(field, static_cast<qsizetype>(n));
}

QString FieldText(const char* field, std::size_t size) {
    return FromGbk(FieldBytes(field, size));
}

std::size_t GbkPrefixLength(const QByteArray& bytes, std::size_t max) {
    const std::size_t len = static_cast<std::size_t>(bytes.size());
    if (len <= max)
        return len;
    std::size_t i = 0;
    while (i < max) {
        const std::size_t step =
            IsGbkLeadByte(static_cast<unsigned char>(bytes[static_cast<qsizetype>(i)])) ? 2 : 1;
        if (i + step > max)
            break;
        i += step;
    }
    return i;
}

bool CopyGbkField(char* field, std::size_t size, const QByteArray& bytes) {
    if (size == 0)
        return bytes.isEmpty();
    const std::size_t n = GbkPrefixLength(bytes, size - 1);
    std::memcpy(field, bytes.constData(), n);
    std::memset(field + n, 0, size - n);
    return n == static_cast<std::size_t>(bytes.size());
}

} // namespace support
