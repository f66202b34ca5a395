// BIFF8 workbook writer: the Workbook stream (globals and one substream per sheet) inside a
// compound-file container (compound_file.cpp).
//
// Layout of the Workbook stream:
//   globals: BOF, INTERFACEHDR, MMS, INTERFACEEND, CODEPAGE (UTF-16), DSF, WINDOW1, BACKUP,
//            HIDEOBJ, DATEMODE, PRECISION, BOOKBOOL, 5 x FONT, 19 x XF (15 style XFs, the
//            default cell XF 15, date XF 16, date-time XF 17, time XF 18), STYLE (Normal),
//            one BOUNDSHEET per sheet, SST (+ CONTINUE), EXTSST, EOF
//   sheet:   BOF, DEFCOLWIDTH, DIMENSIONS, cells (NUMBER / LABELSST, row-major), WINDOW2, EOF
// The stream is padded to 4096 bytes so it never goes to the mini stream (what Excel and
// other writers do).

#include "xls_workbook.h"

#include "byte_writer.h"
#include "compound_file.h"

#include <QHash>
#include <QSaveFile>
#include <cstring>

namespace xls {
namespace {

constexpr int kMaxRecordData = 8224;

enum : std::uint16_t {
    kBof = 0x0809,
    kEof = 0x000A,
    kInterfaceHdr = 0x00E1,
    kMms = 0x00C1,
    kInterfaceEnd = 0x00E2,
    kCodePage = 0x0042,
    kDsf = 0x0161,
    kWindow1 = 0x003D,
    kBackup = 0x0040,
    kHideObj = 0x008D,
    kDateMode = 0x0022,
    kPrecision = 0x000E,
    kBookBool = 0x00DA,
    kFont = 0x0031,
    kXf = 0x00E0,
    kStyle = 0x0293,
    kBoundSheet = 0x0085,
    kSst = 0x00FC,
    kContinue = 0x003C,
    kExtSst = 0x00FF,
    kDefColWidth = 0x0055,
    kDimensions = 0x0200,
    kNumber = 0x0203,
    kLabelSst = 0x00FD,
    kWindow2 = 0x023E,
};

// XF indexes used by cells.
constexpr std::uint16_t kXfCell = 15;
constexpr std::uint16_t kXfDate = 16;
constexpr std::uint16_t kXfDateTime = 17;
constexpr std::uint16_t kXfTime = 18;

void Record16(Bytes& out, std::uint16_t type, std::uint16_t value) {
    Bytes b;
    b.U16(value);
    out.Record(type, b);
}

void WriteBof(Bytes& out, std::uint16_t kind) {
    Bytes b;
    b.U16(0x0600); // BIFF8
    b.U16(kind);   // 0x0005 globals, 0x0010 worksheet
    b.U16(0x0DBB); // build
    b.U16(0x07CC); // year
    b.U32(0x00000041);
    b.U32(0x00000006);
    out.Record(kBof, b);
}

void WriteFont(Bytes& out, std::uint16_t weight) {
    Bytes b;
    b.U16(200);    // 10 pt
    b.U16(0);      // attributes
    b.U16(0x7FFF); // automatic colour
    b.U16(weight);
    b.U16(0); // super/subscript
    b.U8(0);  // underline
    b.U8(0);  // family
    b.U8(0);  // character set
    b.U8(0);
    const QString name = QStringLiteral("Arial");
    b.U8(static_cast<std::uint8_t>(name.size()));
    b.U8(1); // UTF-16
    b.Utf16(name);
    out.Record(kFont, b);
}

void WriteXf(Bytes& out, std::uint16_t font, std::uint16_t format, bool style,
             std::uint8_t usedAttributes) {
    Bytes b;
    b.U16(font);
    b.U16(format);
    b.U16(style ? 0xFFF5 : 0x0001); // style XF with no parent / locked cell XF of style 0
    b.U8(0x20);                     // aligned at the bottom
    b.U8(0);
    b.U8(0);
    b.U8(usedAttributes);
    b.U32(0);
    b.U32(0);
    b.U16(0x20C0); // automatic pattern colours
    out.Record(kXf, b);
}

// Shared-string table: SST, then CONTINUE records wherever a record would exceed 8224 bytes.
// A string's header (count and flags) never splits; its characters may, and the part in the
// next record starts with a flags byte. A string that would need a third record starts in a
// fresh record instead.
struct SstBucket {
    std::uint32_t streamPos = 0;
    std::uint16_t recordOffset = 0;
};

void WriteSst(Bytes& out, const QStringList& strings, std::uint32_t totalRefs, int bucketSize,
              std::vector<SstBucket>& buckets) {
    Bytes record; // data of the record being filled
    std::uint16_t recordType = kSst;
    int recordStart = out.size(); // stream position of the record header
    auto flush = [&](std::uint16_t nextType) {
        out.Record(recordType, record);
        record = Bytes();
        recordType = nextType;
        recordStart = out.size();
    };
    record.U32(totalRefs);
    record.U32(static_cast<std::uint32_t>(strings.size()));

    for (int i = 0; i < strings.size(); ++i) {
        const QString& s = strings[i];
        bool compressed = true;
        for (QChar c : s)
            if (c.unicode() > 0xFF) {
                compressed = false;
                break;
            }
        const int charSize = compressed ? 1 : 2;
        const int n = static_cast<int>(s.size());
        // Characters that fit here after the header, and in one more record after its flags.
        const int space = kMaxRecordData - record.size();
        const int here = space >= 3 ? (space - 3) / charSize : 0;
        if (here == 0 || (here < n && here + (kMaxRecordData - 1) / charSize < n))
            flush(kContinue);
        if (i % bucketSize == 0) {
            SstBucket bucket;
            bucket.streamPos = static_cast<std::uint32_t>(recordStart + 4 + record.size());
            bucket.recordOffset = static_cast<std::uint16_t>(4 + record.size());
            buckets.push_back(bucket);
        }
        record.U16(static_cast<std::uint16_t>(n));
        record.U8(compressed ? 0 : 1);
        int pos = 0;
        while (pos < n) {
            const int k = std::min(n - pos, (kMaxRecordData - record.size()) / charSize);
            if (k == 0) {
                flush(kContinue);
                record.U8(compressed ? 0 : 1);
                continue;
            }
            for (int j = 0; j < k; ++j) {
                const std::uint16_t c = s[pos + j].unicode();
                if (compressed)
                    record.U8(static_cast<std::uint8_t>(c));
                else
                    record.U16(c);
            }
            pos += k;
        }
    }
    flush(kContinue);
}

void WriteExtSst(Bytes& out, int bucketSize, const std::vector<SstBucket>& buckets) {
    Bytes b;
    b.U16(static_cast<std::uint16_t>(bucketSize));
    for (const SstBucket& bucket : buckets) {
        b.U32(bucket.streamPos);
        b.U16(bucket.recordOffset);
        b.U16(0);
    }
    out.Record(kExtSst, b);
}

void WriteSheetStream(Bytes& out, const Sheet& sheet, bool selected,
                      const QHash<QString, std::uint32_t>& sstIndex) {
    WriteBof(out, 0x0010);
    Record16(out, kDefColWidth, 8);
    {
        Bytes b;
        const bool empty = sheet.rowCount == 0 || sheet.columnCount == 0;
        b.U32(0);
        b.U32(empty ? 0 : sheet.rowCount);
        b.U16(0);
        b.U16(empty ? 0 : sheet.columnCount);
        b.U16(0);
        out.Record(kDimensions, b);
    }
    for (const Cell& cell : sheet.cells) {
        Bytes b;
        b.U16(static_cast<std::uint16_t>(cell.row));
        b.U16(cell.column);
        switch (cell.kind) {
        case CellKind::Text:
            b.U16(kXfCell);
            b.U32(sstIndex.value(cell.text));
            out.Record(kLabelSst, b);
            break;
        case CellKind::Number:
        case CellKind::Date:
        case CellKind::DateTime:
        case CellKind::Time: {
            const std::uint16_t xf = cell.kind == CellKind::Date       ? kXfDate
                                     : cell.kind == CellKind::DateTime ? kXfDateTime
                                     : cell.kind == CellKind::Time     ? kXfTime
                                                                       : kXfCell;
            b.U16(xf);
            b.F64(cell.number);
            out.Record(kNumber, b);
            break;
        }
        }
    }
    {
        Bytes b;
        b.U16(selected ? 0x06B6 : 0x00B6); // grid, headers, zeros, outline; selected + paged
        b.U16(0);                          // top row
        b.U16(0);                          // left column
        b.U16(0x40);                       // header colour
        b.U16(0);
        b.U16(0); // zoom in page break preview (default)
        b.U16(0); // zoom normal (default)
        b.U32(0);
        out.Record(kWindow2, b);
    }
    out.Record(kEof, Bytes());
}

bool CheckBook(const Workbook& book, QString& error) {
    if (book.sheets.empty()) {
        error = QStringLiteral("A workbook needs at least one sheet\n");
        return false;
    }
    if (book.sheets.size() > 65535) {
        error = QStringLiteral("Too many sheets in the workbook\n");
        return false;
    }
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        const Sheet& sheet = book.sheets[i];
        const QString problem = SheetNameProblem(sheet.name);
        if (!problem.isEmpty()) {
            error = problem;
            return false;
        }
        for (std::size_t j = 0; j < i; ++j)
            if (book.sheets[j].name.compare(sheet.name, Qt::CaseInsensitive) == 0) {
                error = QStringLiteral("Table '%1' already exists.\n").arg(sheet.name);
                return false;
            }
        if (sheet.rowCount > kMaxRows || sheet.columnCount > kMaxColumns) {
            error = QStringLiteral("Sheet '%1' has %2 rows and %3 columns; an Excel sheet holds "
                                   "at most %4 rows and %5 columns\n")
                        .arg(sheet.name)
                        .arg(sheet.rowCount)
                        .arg(sheet.columnCount)
                        .arg(kMaxRows)
                        .arg(kMaxColumns);
            return false;
        }
        std::int64_t last = -1;
        for (const Cell& cell : sheet.cells) {
            if (cell.row >= sheet.rowCount || cell.column >= sheet.columnCount) {
                error =
                    QStringLiteral("Cell outside the used range of sheet '%1'\n").arg(sheet.name);
                return false;
            }
            const std::int64_t key = static_cast<std::int64_t>(cell.row) * 65536 + cell.column;
            if (key <= last) {
                error = QStringLiteral("Cells of sheet '%1' are out of order\n").arg(sheet.name);
                return false;
            }
            last = key;
            if (cell.kind == CellKind::Text &&
                (cell.text.isEmpty() || cell.text.size() > kMaxCellTextLength)) {
                error = cell.text.isEmpty()
                            ? QStringLiteral("Empty text cell in sheet '%1'\n").arg(sheet.name)
                            : QStringLiteral("Cell text of %1 characters in row %2 of sheet "
                                             "'%3' is longer than %4 characters\n")
                                  .arg(cell.text.size())
                                  .arg(cell.row + 1)
                                  .arg(sheet.name)
                                  .arg(kMaxCellTextLength);
                return false;
            }
        }
    }
    return true;
}

} // namespace

QString SheetNameProblem(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("Sheet name is empty\n");
    if (name.size() > kMaxSheetNameLength)
        return QStringLiteral("Sheet name '%1' is longer than %2 characters\n")
            .arg(name)
            .arg(kMaxSheetNameLength);
    for (QChar c : name)
        if (QStringLiteral(":\\/?*[]").contains(c) || c.unicode() < 0x20)
            return QStringLiteral("Sheet name '%1' holds a character Excel does not allow in "
                                  "sheet names (: \\ / ? * [ ])\n")
                .arg(name);
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("Sheet name '%1' begins or ends with an apostrophe\n").arg(name);
    return QString();
}

int FindSheet(const Workbook& book, const QString& name) {
    for (std::size_t i = 0; i < book.sheets.size(); ++i)
        if (book.sheets[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

double SerialFromDate(int year, int month, int day) {
    static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (year < 1900 || month < 1 || month > 12 || day < 1)
        return 0.0;
    const long long leaps = (year - 1) / 4 - 1899 / 4; // leap years from 1900 to year - 1
    long long days = 365LL * (year - 1900) + leaps + kDaysBefore[month - 1];
    if (month > 2 && year % 4 == 0)
        ++days;
    return static_cast<double>(days + day);
}

bool BuildWorkbookFile(const Workbook& book, QByteArray& file, QString& error) {
    if (!CheckBook(book, error))
        return false;

    // Shared strings, in order of first use.
    QStringList strings;
    QHash<QString, std::uint32_t> sstIndex;
    std::uint32_t totalRefs = 0;
    for (const Sheet& sheet : book.sheets)
        for (const Cell& cell : sheet.cells)
            if (cell.kind == CellKind::Text) {
                ++totalRefs;
                if (!sstIndex.contains(cell.text)) {
                    sstIndex.insert(cell.text, static_cast<std::uint32_t>(strings.size()));
                    strings.append(cell.text);
                }
            }

    Bytes stream;
    WriteBof(stream, 0x0005);
    Record16(stream, kInterfaceHdr, 0x04B0);
    Record16(stream, kMms, 0);
    stream.Record(kInterfaceEnd, Bytes());
    Record16(stream, kCodePage, 0x04B0); // UTF-16
    Record16(stream, kDsf, 0);
    {
        Bytes b;
        b.U16(0x0168);
        b.U16(0x001E);
        b.U16(0x3A5C);
        b.U16(0x23BE);
        b.U16(0x0038); // horizontal and vertical scroll bars, sheet tabs
        b.U16(0);      // active sheet
        b.U16(0);      // first visible tab
        b.U16(1);      // selected sheets
        b.U16(0x0258); // tab bar width
        stream.Record(kWindow1, b);
    }
    Record16(stream, kBackup, 0);
    Record16(stream, kHideObj, 0);
    Record16(stream, kDateMode, 0); // 1900 date system
    Record16(stream, kPrecision, 1);
    Record16(stream, kBookBool, 0);
    // Fonts 0..3 and 5 (index 4 is never referenced in BIFF).
    WriteFont(stream, 400);
    WriteFont(stream, 700);
    WriteFont(stream, 400);
    WriteFont(stream, 700);
    WriteFont(stream, 400);
    // 15 style XFs (0 = Normal), the default cell XF, and the date/time cell XFs.
    WriteXf(stream, 0, 0, true, 0x00);
    for (int i = 1; i < 15; ++i)
        WriteXf(stream, i <= 2 ? 1 : i <= 4 ? 2 : 0, 0, true, 0xF4);
    WriteXf(stream, 0, 0, false, 0x00);
    WriteXf(stream, 0, 14, false, 0x04); // m/d/yy
    WriteXf(stream, 0, 22, false, 0x04); // m/d/yy h:mm
    WriteXf(stream, 0, 21, false, 0x04); // h:mm:ss
    {
        Bytes b;
        b.U16(0x8000); // built-in style of XF 0
        b.U8(0);       // Normal
        b.U8(0xFF);
        stream.Record(kStyle, b);
    }
    std::vector<int> sheetOffsetAt;
    for (const Sheet& sheet : book.sheets) {
        Bytes b;
        sheetOffsetAt.push_back(stream.size() + 4);
        b.U32(0); // patched below
        b.U8(0);  // visible
        b.U8(0);  // worksheet
        b.U8(static_cast<std::uint8_t>(sheet.name.size()));
        b.U8(1); // UTF-16
        b.Utf16(sheet.name);
        stream.Record(kBoundSheet, b);
    }
    const int bucketSize = std::max(8, static_cast<int>((strings.size() + 127) / 128));
    std::vector<SstBucket> buckets;
    WriteSst(stream, strings, totalRefs, bucketSize, buckets);
    WriteExtSst(stream, bucketSize, buckets);
    stream.Record(kEof, Bytes());

    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        stream.Patch32(sheetOffsetAt[i], static_cast<std::uint32_t>(stream.size()));
        WriteSheetStream(stream, book.sheets[i], i == 0, sstIndex);
    }
    if (stream.size() < 4096)
        stream.Zeros(4096 - stream.size());
    // A version-3 compound file addresses sectors with 32 bits; stay far below that.
    if (stream.size() > 0x7F000000) {
        error = QStringLiteral("Workbook is too large to be written\n");
        return false;
    }
    file = BuildCompoundFile(stream.data());
    return true;
}

bool WriteWorkbook(const QString& path, const Workbook& book, QString& error) {
    QByteArray image;
    if (!BuildWorkbookFile(book, image, error))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot write workbook %1: %2\n").arg(path, file.errorString());
        return false;
    }
    if (file.write(image) != image.size() || !file.commit()) {
        error = QStringLiteral("Cannot write workbook %1: %2\n").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace xls
