#include "xls_check.h"

#include <QFile>
#include <QSet>
#include <cstdint>
#include <cstring>
#include <vector>

namespace xls {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kMaxRecord = 8224;

std::uint16_t U16(const QByteArray& b, qsizetype at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t U32(const QByteArray& b, qsizetype at) {
    return static_cast<std::uint32_t>(U16(b, at)) |
           (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

// Follows a sector chain through `table`; every sector must exist (< limit), none may repeat.
bool FollowChain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint32_t limit,
                 std::vector<std::uint32_t>& chain) {
    chain.clear();
    std::vector<bool> seen(limit, false);
    std::uint32_t s = start;
    while (s != kEndOfChain) {
        if (s >= limit || s >= table.size() || seen[s])
            return false;
        seen[s] = true;
        chain.push_back(s);
        s = table[s];
    }
    return true;
}

struct Container {
    const QByteArray& file;
    std::uint32_t sectorSize = 512;
    std::uint32_t sectors = 0; // whole sectors after the header
    std::vector<std::uint32_t> fat;

    qsizetype Offset(std::uint32_t sector) const {
        return static_cast<qsizetype>(sector + 1) * sectorSize;
    }
    bool ReadChain(std::uint32_t start, std::uint32_t size, QByteArray& out) const {
        std::vector<std::uint32_t> chain;
        if (!FollowChain(fat, start, sectors, chain))
            return false;
        if (static_cast<std::uint64_t>(chain.size()) * sectorSize < size)
            return false;
        out.clear();
        out.reserve(size);
        for (std::uint32_t s : chain) {
            if (static_cast<std::uint32_t>(out.size()) >= size)
                break;
            const std::uint32_t n =
                std::min(sectorSize, size - static_cast<std::uint32_t>(out.size()));
            out.append(file.constData() + Offset(s), n);
        }
        return true;
    }
};

} // namespace

bool ExtractWorkbookStream(const QByteArray& file, QByteArray& stream, QString& problem) {
    static const char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (file.size() < 512 || !file.startsWith(QByteArray(kSignature, 8))) {
        problem = QStringLiteral("not a legacy Excel workbook (no compound-file header)");
        return false;
    }
    const std::uint16_t shift = U16(file, 30);
    if (U16(file, 28) != 0xFFFE || (shift != 9 && shift != 12) || U16(file, 32) != 6) {
        problem = QStringLiteral("damaged compound-file header");
        return false;
    }
    Container c{file, 512, 0, {}};
    c.sectorSize = 1u << shift;
    if (static_cast<std::uint64_t>(file.size()) < c.sectorSize) {
        problem = QStringLiteral("truncated compound file");
        return false;
    }
    c.sectors = static_cast<std::uint32_t>((file.size() - c.sectorSize) / c.sectorSize);
    const std::uint32_t perSector = c.sectorSize / 4;

    // FAT sectors: 109 in the header, the rest through the DIFAT chain.
    const std::uint32_t fatCount = U32(file, 44);
    if (fatCount > c.sectors) {
        problem = QStringLiteral("truncated compound file (FAT)");
        return false;
    }
    std::vector<std::uint32_t> fatSectors;
    for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i) {
        const std::uint32_t s = U32(file, 76 + 4 * i);
        if (s == kFree)
            continue;
        fatSectors.push_back(s);
    }
    std::uint32_t difat = U32(file, 68);
    std::uint32_t difatCount = U32(file, 72);
    std::vector<bool> seenDifat;
    while (fatSectors.size() < fatCount) {
        if (difatCount-- == 0 || difat >= c.sectors) {
            problem = QStringLiteral("damaged compound file (DIFAT)");
            return false;
        }
        if (seenDifat.empty())
            seenDifat.assign(c.sectors, false);
        if (seenDifat[difat]) {
            problem = QStringLiteral("damaged compound file (DIFAT loop)");
            return false;
        }
        seenDifat[difat] = true;
        const qsizetype at = c.Offset(difat);
        for (std::uint32_t k = 0; k + 1 < perSector && fatSectors.size() < fatCount; ++k) {
            const std::uint32_t s = U32(file, at + 4 * k);
            if (s != kFree)
                fatSectors.push_back(s);
        }
        difat = U32(file, at + 4 * (perSector - 1));
    }
    for (std::uint32_t s : fatSectors) {
        if (s >= c.sectors) {
            problem = QStringLiteral("truncated compound file (FAT sector outside the file)");
            return false;
        }
        const qsizetype at = c.Offset(s);
        for (std::uint32_t k = 0; k < perSector; ++k)
            c.fat.push_back(U32(file, at + 4 * k));
    }

    // Directory.
    QByteArray dir;
    {
        std::vector<std::uint32_t> chain;
        if (!FollowChain(c.fat, U32(file, 48), c.sectors, chain) || chain.empty()) {
            problem = QStringLiteral("damaged compound file (directory)");
            return false;
        }
        for (std::uint32_t s : chain)
            dir.append(file.constData() + c.Offset(s), c.sectorSize);
    }
    const std::uint32_t cutoff = U32(file, 56);
    std::uint32_t rootStart = kEndOfChain, rootSize = 0;
    int found = -1;
    for (qsizetype at = 0; at + 128 <= dir.size(); at += 128) {
        const std::uint8_t type = static_cast<std::uint8_t>(dir[at + 66]);
        const std::uint16_t nameBytes = U16(dir, at + 64);
        QString name;
        if (nameBytes >= 2 && nameBytes <= 64)
            name = QString::fromUtf16(reinterpret_cast<const char16_t*>(dir.constData() + at),
                                      nameBytes / 2 - 1);
        if (type == 5 && at == 0) {
            rootStart = U32(dir, at + 116);
            rootSize = U32(dir, at + 120);
        }
        if (type == 2 && found < 0 &&
            (name.compare(QStringLiteral("Workbook"), Qt::CaseInsensitive) == 0 ||
             name.compare(QStringLiteral("Book"), Qt::CaseInsensitive) == 0))
            found = static_cast<int>(at);
    }
    if (found < 0) {
        problem = QStringLiteral("no Excel workbook stream in the file");
        return false;
    }
    const std::uint32_t start = U32(dir, found + 116);
    const std::uint32_t size = U32(dir, found + 120);
    if (size >= cutoff) {
        if (!c.ReadChain(start, size, stream)) {
            problem = QStringLiteral("truncated or damaged workbook stream");
            return false;
        }
        return true;
    }
    // Small stream: lives in the mini stream (64-byte sectors) held by the root entry.
    QByteArray mini;
    if (!c.ReadChain(rootStart, rootSize, mini)) {
        problem = QStringLiteral("damaged mini stream");
        return false;
    }
    std::vector<std::uint32_t> miniFat;
    {
        std::vector<std::uint32_t> chain;
        if (!FollowChain(c.fat, U32(file, 60), c.sectors, chain)) {
            problem = QStringLiteral("damaged mini FAT");
            return false;
        }
        for (std::uint32_t s : chain)
            for (std::uint32_t k = 0; k < perSector; ++k)
                miniFat.push_back(U32(file, c.Offset(s) + 4 * k));
    }
    std::vector<std::uint32_t> chain;
    const std::uint32_t miniSectors = static_cast<std::uint32_t>(mini.size() / 64);
    if (!FollowChain(miniFat, start, miniSectors, chain) ||
        static_cast<std::uint64_t>(chain.size()) * 64 < size) {
        problem = QStringLiteral("damaged workbook stream (mini stream)");
        return false;
    }
    stream.clear();
    for (std::uint32_t s : chain) {
        const std::uint32_t n =
            std::min<std::uint32_t>(64, size - static_cast<std::uint32_t>(stream.size()));
        stream.append(mini.constData() + static_cast<qsizetype>(s) * 64, n);
        if (static_cast<std::uint32_t>(stream.size()) >= size)
            break;
    }
    return true;
}

bool CheckWorkbookImage(const QByteArray& file, QString& problem) {
    QByteArray s;
    if (!ExtractWorkbookStream(file, s, problem))
        return false;
    auto fail = [&problem](const QString& why) {
        problem = why;
        return false;
    };
    if (s.size() < 8 || U16(s, 0) != 0x0809 || U16(s, 2) < 8)
        return fail(QStringLiteral("no Excel 97-2003 workbook stream (no BOF)"));
    const std::uint16_t version = U16(s, 4);
    if (version != 0x0600 && version != 0x0500)
        return fail(QStringLiteral("not an Excel 5-2003 workbook (BIFF version %1)")
                        .arg(version, 4, 16, QLatin1Char('0')));
    const bool biff8 = version == 0x0600;

    // Numbers shown as dates: libfreexl counts the days one by one, so a huge or undefined
    // value would keep it busy for seconds; no real date lies beyond the year 9999.
    QSet<std::uint16_t> dateFormats = {14, 15, 16, 17, 22};
    std::vector<std::uint16_t> xfFormat;
    auto absurdDate = [&](std::uint16_t xf, double value) {
        return xf < xfFormat.size() && dateFormats.contains(xfFormat[xf]) && !(value < 2958466.0);
    };
    auto rkValue = [](std::uint32_t rk) {
        double v;
        if (rk & 2) {
            v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
        } else {
            const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
            std::memcpy(&v, &bits, sizeof v);
        }
        return (rk & 1) ? v / 100.0 : v;
    };
    // Whether a number format shows a date, judged by its letters as libfreexl does.
    auto isDateFormat = [](const QString& code) {
        bool y = false, m = false, d = false;
        for (QChar c : code.toLower()) {
            y = y || c == QLatin1Char('y');
            m = m || c == QLatin1Char('m');
            d = d || c == QLatin1Char('d');
        }
        return (y && m) || (m && d);
    };

    QSet<std::uint32_t> bofAt;
    std::vector<std::uint32_t> sheetAt;
    std::uint32_t xfCount = 0, sstCount = 0;
    bool inSst = false;
    // Shared-string walk state: characters of the current string still to come, and
    // how many record boundaries the string has crossed.
    std::uint32_t charsLeft = 0, extraLeft = 0;
    bool wide = false;
    int crossings = 0;
    std::uint32_t stringsLeft = 0;

    auto walkStrings = [&](qsizetype at, qsizetype end, bool continuation) -> bool {
        if (continuation && charsLeft > 0) {
            if (++crossings > 1)
                return fail(QStringLiteral("shared string spread over more than two records"));
            if (at >= end)
                return fail(QStringLiteral("damaged shared-string table"));
            wide = (static_cast<unsigned char>(s[at]) & 1) != 0;
            ++at;
        } else if (continuation && extraLeft > 0) {
            if (++crossings > 1)
                return fail(QStringLiteral("shared string spread over more than two records"));
        }
        for (;;) {
            if (charsLeft > 0) {
                const qsizetype need = static_cast<qsizetype>(charsLeft) * (wide ? 2 : 1);
                if (at + need > end) {
                    const qsizetype have = (end - at) / (wide ? 2 : 1);
                    charsLeft -= static_cast<std::uint32_t>(have);
                    return true; // continues in the next record
                }
                at += need;
                charsLeft = 0;
            }
            if (extraLeft > 0) {
                if (at + extraLeft > end) {
                    extraLeft -= static_cast<std::uint32_t>(end - at);
                    return true;
                }
                at += extraLeft;
                extraLeft = 0;
            }
            if (stringsLeft == 0 || at >= end)
                return true;
            // A new string: its header must lie in this record.
            if (at + 3 > end)
                return fail(QStringLiteral("damaged shared-string table"));
            const std::uint16_t n = U16(s, at);
            const std::uint8_t flags = static_cast<std::uint8_t>(s[at + 2]);
            at += 3;
            std::uint32_t runs = 0, ext = 0;
            if (flags & 0x08) {
                if (at + 2 > end)
                    return fail(QStringLiteral("damaged shared-string table"));
                runs = U16(s, at);
                at += 2;
            }
            if (flags & 0x04) {
                if (at + 4 > end)
                    return fail(QStringLiteral("damaged shared-string table"));
                ext = U32(s, at);
                at += 4;
            }
            if (n == 0)
                return fail(QStringLiteral("empty shared string"));
            if (ext > 0x7FFFFFFF || runs * 4ull + ext > 0x7FFFFFFF)
                return fail(QStringLiteral("damaged shared-string table"));
            wide = (flags & 1) != 0;
            charsLeft = n;
            extraLeft = runs * 4 + ext;
            crossings = 0;
            --stringsLeft;
        }
    };

    qsizetype pos = 0;
    while (pos + 4 <= s.size()) {
        const std::uint16_t type = U16(s, pos);
        const std::uint16_t len = U16(s, pos + 2);
        const qsizetype body = pos + 4;
        if (len > kMaxRecord || body + len > s.size())
            return fail(QStringLiteral("record at offset %1 runs past the end of the workbook "
                                       "stream")
                            .arg(pos));
        auto need = [&](qsizetype n) { return len >= n; };
        if (type != 0x003C)
            inSst = false;
        switch (type) {
        case 0x0809: // BOF
            bofAt.insert(static_cast<std::uint32_t>(pos));
            break;
        case 0x0085: { // BOUNDSHEET
            if (!need(8))
                return fail(QStringLiteral("damaged sheet record"));
            const std::uint8_t n = static_cast<std::uint8_t>(s[body + 6]);
            const qsizetype nameBytes =
                biff8 ? 2 + n * ((static_cast<std::uint8_t>(s[body + 7]) & 1) ? 2 : 1) : 1 + n;
            if (n == 0 || 6 + nameBytes > len)
                return fail(QStringLiteral("damaged sheet name"));
            sheetAt.push_back(U32(s, body));
            break;
        }
        case 0x0200: { // DIMENSIONS
            std::uint32_t rowFirst, rowEnd, colFirst, colEnd;
            if (biff8) {
                if (!need(12))
                    return fail(QStringLiteral("damaged sheet dimensions"));
                rowFirst = U32(s, body);
                rowEnd = U32(s, body + 4);
                colFirst = U16(s, body + 8);
                colEnd = U16(s, body + 10);
            } else {
                if (!need(8))
                    return fail(QStringLiteral("damaged sheet dimensions"));
                rowFirst = U16(s, body);
                rowEnd = U16(s, body + 2);
                colFirst = U16(s, body + 4);
                colEnd = U16(s, body + 6);
            }
            if (rowEnd > 65536 || colEnd > 256 || rowFirst > rowEnd || colFirst > colEnd)
                return fail(QStringLiteral("sheet dimensions beyond A1:IV65536"));
            break;
        }
        case 0x00E0: // XF
            if (++xfCount > 8192)
                return fail(QStringLiteral("more cell formats than can be read"));
            xfFormat.push_back(need(4) ? U16(s, body + 2) : 0);
            break;
        case 0x041E: // FORMAT
            if (biff8) {
                if (!need(5))
                    return fail(QStringLiteral("damaged number format"));
                const std::uint16_t n = U16(s, body + 2);
                const std::uint8_t flags = static_cast<std::uint8_t>(s[body + 4]);
                qsizetype at = 5 + ((flags & 0x08) ? 2 : 0) + ((flags & 0x04) ? 4 : 0);
                if (n == 0 || at + static_cast<qsizetype>(n) * ((flags & 1) ? 2 : 1) > len)
                    return fail(QStringLiteral("damaged number format"));
                QString code;
                for (std::uint16_t k = 0; k < n; ++k)
                    code.append((flags & 1) ? QChar(U16(s, body + at + 2 * k))
                                            : QChar::fromLatin1(s[body + at + k]));
                if (isDateFormat(code))
                    dateFormats.insert(U16(s, body));
            } else if (!need(3) || 3 + static_cast<std::uint8_t>(s[body + 2]) > len) {
                return fail(QStringLiteral("damaged number format"));
            } else if (isDateFormat(QString::fromLatin1(
                           s.mid(body + 3, static_cast<std::uint8_t>(s[body + 2]))))) {
                dateFormats.insert(U16(s, body));
            }
            break;
        case 0x0204: // LABEL
            if (biff8) {
                if (!need(9))
                    return fail(QStringLiteral("damaged text cell"));
                const std::uint16_t n = U16(s, body + 6);
                if (9 + static_cast<qsizetype>(n) *
                            ((static_cast<std::uint8_t>(s[body + 8]) & 1) ? 2 : 1) >
                    len)
                    return fail(QStringLiteral("damaged text cell"));
            } else if (!need(8) || 8 + U16(s, body + 6) > len) {
                return fail(QStringLiteral("damaged text cell"));
            }
            break;
        case 0x0203: { // NUMBER
            if (!need(14))
                return fail(QStringLiteral("damaged number cell"));
            const std::uint64_t bits = static_cast<std::uint64_t>(U32(s, body + 6)) |
                                       (static_cast<std::uint64_t>(U32(s, body + 10)) << 32);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            if (absurdDate(U16(s, body + 4), value))
                return fail(QStringLiteral("date beyond the year 9999"));
            break;
        }
        case 0x027E: // RK
            if (!need(10))
                return fail(QStringLiteral("damaged number cell"));
            if (absurdDate(U16(s, body + 4), rkValue(U32(s, body + 6))))
                return fail(QStringLiteral("date beyond the year 9999"));
            break;
        case 0x00FD: // LABELSST
            if (!need(10))
                return fail(QStringLiteral("damaged text cell"));
            break;
        case 0x00BD: // MULRK
            if (!need(6) || (len - 6) % 6 != 0)
                return fail(QStringLiteral("damaged number cells"));
            for (qsizetype at = body + 4; at + 6 <= body + len - 2; at += 6)
                if (absurdDate(U16(s, at), rkValue(U32(s, at + 2))))
                    return fail(QStringLiteral("date beyond the year 9999"));
            break;
        case 0x0205: // BOOLERR
            if (!need(8))
                return fail(QStringLiteral("damaged cell"));
            break;
        case 0x00FC: // SST
            if (!biff8 || !need(8) || sstCount != 0)
                return fail(QStringLiteral("damaged shared-string table"));
            sstCount = U32(s, body + 4);
            if (sstCount > 1024 * 1024)
                return fail(QStringLiteral("shared-string table too large"));
            stringsLeft = sstCount;
            charsLeft = extraLeft = 0;
            inSst = true;
            if (!walkStrings(body + 8, body + len, false))
                return false;
            break;
        case 0x003C: // CONTINUE
            if (inSst && !walkStrings(body, body + len, true))
                return false;
            break;
        default:
            break;
        }
        pos = body + len;
    }
    if (charsLeft > 0)
        return fail(QStringLiteral("shared-string table ends inside a string"));
    for (std::uint32_t at : sheetAt)
        if (!bofAt.contains(at))
            return fail(QStringLiteral("sheet record points outside the workbook stream"));
    return true;
}

bool CheckWorkbookFile(const QString& path, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return false;
    }
    if (file.size() > 0x7FFFFFFF) {
        problem = QStringLiteral("file too large");
        return false;
    }
    return CheckWorkbookImage(file.readAll(), problem);
}

} // namespace xls
