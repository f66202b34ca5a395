#include "profile.h"

#include "gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

namespace support {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArray Trim(const QByteArray& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QByteArray Unquote(const QByteArray& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// One line of a profile as it stands in the file.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    QByteArray name;  // section name or key, trimmed
    QByteArray value; // entry value, trimmed (quotes kept)
};

Line Classify(const QByteArray& raw) {
    Line line;
    const QByteArray t = Trim(raw);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#'))
        return line;
    if (t.startsWith('[')) {
        const qsizetype close = t.lastIndexOf(']');
        line.kind = Line::Section;
        line.name = Trim(close > 0 ? t.mid(1, close - 1) : t.mid(1));
        return line;
    }
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0)
        return line;
    line.kind = Line::Entry;
    line.name = Trim(t.left(eq));
    line.value = Trim(t.mid(eq + 1));
    return line;
}

QList<QByteArray> SplitLines(const QByteArray& content) {
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

QByteArray MapKey(const QByteArray& section, const QByteArray& key) {
    return Profile::Fold(section) + '\0' + Profile::Fold(key);
}

} // namespace

QByteArray Profile::Fold(const QByteArray& name) {
    QByteArray out = Trim(name);
    for (qsizetype i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (IsGbkLeadByte(c)) {
            ++i; // the trail byte belongs to the character: never folded
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

Profile Profile::Load(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Profile();
    return FromBytes(f.readAll());
}

Profile Profile::FromBytes(const QByteArray& content) {
    Profile p;
    QByteArray section;
    bool inSection = false;
    QHash<QByteArray, bool> seenSections;
    bool sectionIsFirst = false;
    for (const QByteArray& raw : SplitLines(content)) {
        const Line line = Classify(raw);
        if (line.kind == Line::Section) {
            section = Fold(line.name);
            inSection = true;
            // A repeated section name: only its first occurrence is looked at.
            sectionIsFirst = !seenSections.contains(section);
            seenSections.insert(section, true);
        } else if (line.kind == Line::Entry && inSection && sectionIsFirst) {
            const QByteArray k = section + '\0' + Fold(line.name);
            if (!p.values_.contains(k))
                p.values_.insert(k, Unquote(line.value));
        }
    }
    return p;
}

std::optional<QByteArray> Profile::Value(const QByteArray& section, const QByteArray& key) const {
    auto it = values_.constFind(MapKey(section, key));
    if (it == values_.constEnd())
        return std::nullopt;
    return it.value();
}

std::uint32_t Profile::ParseInt(const QByteArray& text, std::int32_t def) {
    if (text.isEmpty())
        return static_cast<std::uint32_t>(def);
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
        ++i;
    }
    return negative ? 0u - value : value;
}

std::uint32_t Profile::ReadInt(const QByteArray& section, const QByteArray& key,
                               std::int32_t def) const {
    const auto v = Value(section, key);
    return ParseInt(v ? *v : QByteArray(), def);
}

QByteArray Profile::ReadString(const QByteArray& section, const QByteArray& key,
                               const QByteArray& def, std::size_t fieldSize) const {
    const auto v = Value(section, key);
    const QByteArray& text = v ? *v : def;
    if (fieldSize == 0)
        return QByteArray();
    return text.left(static_cast<qsizetype>(GbkPrefixLength(text, fieldSize - 1)));
}

QByteArray Profile::WriteString(const QByteArray& content, const QByteArray& section,
                                const QByteArray& key, const QByteArray& value) {
    const QByteArray eol =
        content.contains("\r\n") || content.isEmpty() ? QByteArray("\r\n") : QByteArray("\n");
    QList<QByteArray> lines = SplitLines(content);
    const QByteArray wantSection = Fold(section);
    const QByteArray wantKey = Fold(key);
    const QByteArray entry = Trim(key) + '=' + value;

    qsizetype sectionLine = -1;
    qsizetype lastEntryLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = Classify(lines[i]);
        if (line.kind == Line::Section) {
            if (sectionLine >= 0)
                break; // the end of our section
            if (Fold(line.name) == wantSection) {
                sectionLine = i;
                lastEntryLine = i;
            }
        } else if (sectionLine >= 0 && line.kind == Line::Entry) {
            if (Fold(line.name) == wantKey) {
                lines[i] = entry;
                return lines.join(eol) + eol;
            }
            lastEntryLine = i;
        }
    }
    if (sectionLine >= 0) {
        lines.insert(lastEntryLine + 1, entry);
    } else {
        if (!lines.isEmpty() && !Trim(lines.back()).isEmpty())
            lines.append(QByteArray());
        lines.append('[' + Trim(section) + ']');
        lines.append(entry);
    }
    return lines.join(eol) + eol;
}

bool Profile::WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                          const QByteArray& value) {
    QByteArray content;
    {
        QFile in(path);
        if (in.exists()) {
            if (!in.open(QIODevice::ReadOnly))
                return false;
            content = in.readAll();
        }
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(WriteString(content, section, key, value));
    return out.commit();
}

} // namespace support
