#pragma once
// Profile (INI) files with the semantics the stored configuration relies on:
//  - section and key names compare case-insensitively (ASCII letters; double-byte GBK
//    characters compare exactly, so a trail byte is never folded);
//  - a section header ends at the last ']' of its line, so GBK names whose trail byte is ']'
//    survive; the first section and the first key of a name win;
//  - values are trimmed and lose one pair of surrounding quotes;
//  - integers are decimal with optional sign and leading digits ("12abc" is 12, "x" is 0,
//    an empty value gives the default), wrapping modulo 2^32 like the platform's reader;
//  - strings are cut to their field on a character boundary;
//  - writing one key keeps every other line of the file as it was.
// Names and values are GBK bytes.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace support {

class Profile {
public:
    Profile() = default;
    // Reads the whole file once; a missing or unreadable file gives an empty profile.
    static Profile Load(const QString& path);
    static Profile FromBytes(const QByteArray& content);

    // The trimmed, unquoted value of the key, or nothing when the section or key is absent.
    std::optional<QByteArray> Value(const QByteArray& section, const QByteArray& key) const;

    // Integer reading as described above; returns the 32-bit result of the platform reader
    // (callers store it truncated to their field).
    std::uint32_t ReadInt(const QByteArray& section, const QByteArray& key, std::int32_t def) const;
    // String reading into a field of `fieldSize` bytes: at most fieldSize - 1 bytes.
    QByteArray ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& def,
                          std::size_t fieldSize) const;

    // Writes key=value into the file at `path`, keeping the rest of the file; adds the key at
    // the end of its section or the section at the end of the file when missing. Creates the
    // file and its folder when needed. Returns false when the file cannot be written.
    static bool WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                            const QByteArray& value);
    // Same on bytes in memory (what WriteString writes back).
    static QByteArray WriteString(const QByteArray& content, const QByteArray& section,
                                  const QByteArray& key, const QByteArray& value);

    // The integer reader on its own: decimal with sign and leading digits, wrapping.
    static std::uint32_t ParseInt(const QByteArray& text, std::int32_t def);
    // Folded form of a section or key name used for comparison.
    static QByteArray Fold(const QByteArray& name);

private:
    QHash<QByteArray, QByteArray> values_; // Fold(section) + '\0' + Fold(key) -> value
};

} // namespace support
