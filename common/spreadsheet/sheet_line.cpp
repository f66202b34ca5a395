#include "sheet_line.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace sheetline {
namespace {

const QChar kQuote = QLatin1Char('"');

// Reads `line` as "cell"sep"cell"... with "" standing for one quote. False when the line has
// any other shape.
bool SplitQuoted(const QString& line, const QString& separator, QStringList& cells) {
    if (separator.isEmpty() || separator.contains(kQuote) || !line.startsWith(kQuote))
        return false;
    cells.clear();
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        if (i >= n || line[i] != kQuote)
            return false;
        ++i;
        QString cell;
        for (;;) {
            if (i >= n)
                return false; // no closing quote
            if (line[i] == kQuote) {
                if (i + 1 < n && line[i + 1] == kQuote) {
                    cell.append(kQuote);
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            cell.append(line[i]);
            ++i;
        }
        cells.append(cell);
        if (i == n)
            return true;
        if (QStringView(line).mid(i).startsWith(separator))
            i += separator.size();
        else
            return false;
    }
}

// Longest prefix of `text` (after leading blanks) that reads as a decimal number.
QByteArray NumberPrefix(const QString& text, bool& consumedAll) {
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p < end &&
           (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    const char* start = p;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    int digits = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        ++p;
        ++digits;
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && *p >= '0' && *p <= '9') {
            ++p;
            ++digits;
        }
    }
    if (digits == 0) {
        consumedAll = false;
        return QByteArray();
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end && (*q == '+' || *q == '-'))
            ++q;
        if (q < end && *q >= '0' && *q <= '9') {
            while (q < end && *q >= '0' && *q <= '9')
                ++q;
            p = q;
        }
    }
    const char* numberEnd = p;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    consumedAll = p == end;
    QByteArray prefix(start, static_cast<qsizetype>(numberEnd - start));
    if (prefix.startsWith('+'))
        prefix.remove(0, 1);
    return prefix;
}

double ParsePrefix(const QByteArray& prefix) {
    if (prefix.isEmpty())
        return 0.0;
    double value = 0.0;
    const auto result =
        std::from_chars(prefix.constData(), prefix.constData() + prefix.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Like strtod: huge values become infinite, tiny ones zero.
        const bool negative = prefix.startsWith('-');
        const bool big = prefix.contains('e') || prefix.contains('E')
                             ? !prefix.contains("e-") && !prefix.contains("E-")
                             : true;
        return big ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
    }
    return value;
}

} // namespace

QString QuoteCell(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out.append(kQuote);
    if (text.contains(kQuote)) {
        QString doubled = text;
        doubled.replace(kQuote, QStringLiteral("\"\""));
        out.append(doubled);
    } else {
        out.append(text);
    }
    out.append(kQuote);
    return out;
}

QString JoinCells(const QStringList& quotedCells, const QString& separator) {
    return quotedCells.join(separator);
}

QStringList SplitLine(const QString& line, const QString& separator) {
    QStringList cells;
    if (SplitQuoted(line, separator, cells))
        return cells;
    cells.clear();
    if (!separator.isEmpty()) {
        const QString quoted = kQuote + separator + kQuote;
        if (line.contains(quoted)) {
            cells = line.split(quoted);
            cells.first().remove(0, 1);
            QString& last = cells.last();
            if (!last.isEmpty())
                last.chop(1);
            return cells;
        }
        if (line.contains(separator))
            return line.split(separator);
    }
    QString cell = line;
    if (cell.startsWith(kQuote) && cell.lastIndexOf(kQuote) == cell.size() - 1) {
        cell.remove(0, 1);
        if (!cell.isEmpty())
            cell.chop(1);
    }
    cells.append(cell);
    return cells;
}

double ReadNumber(const QString& text) {
    bool all = false;
    return ParsePrefix(NumberPrefix(text, all));
}

bool IsWholeNumber(const QString& text, double& value) {
    bool all = false;
    const QByteArray prefix = NumberPrefix(text, all);
    if (prefix.isEmpty() || !all)
        return false;
    value = ParsePrefix(prefix);
    return std::isfinite(value);
}

QString FormatFixed7(double value) {
    if (std::isnan(value))
        return value < 0 || std::signbit(value) ? QStringLiteral("-nan") : QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buf[400];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 7);
    return QString::fromLatin1(buf, static_cast<qsizetype>(result.ptr - buf));
}

QString NumberText(double value) {
    if (!std::isfinite(value))
        return FormatFixed7(value);
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char buf[32];
        const auto result = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        return QString::fromLatin1(buf, static_cast<qsizetype>(result.ptr - buf));
    }
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<qsizetype>(result.ptr - buf));
}

} // namespace sheetline
