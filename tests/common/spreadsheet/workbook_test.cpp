// The .xls writer and reader on their own: every workbook written here is read back by
// libfreexl and python3-xlrd; damaged and truncated files are refused without crashing.

#include "common/spreadsheet/xls_check.h"
#include "common/spreadsheet/xls_workbook.h"
#include "readback.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace xls;

namespace {

Cell TextCell(std::uint32_t row, std::uint16_t column, const QString& text) {
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = CellKind::Text;
    c.text = text;
    return c;
}

Cell NumberCell(std::uint32_t row, std::uint16_t column, double number,
                CellKind kind = CellKind::Number) {
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = kind;
    c.number = number;
    return c;
}

Sheet MakeSheet(const QString& name, std::vector<Cell> cells) {
    Sheet s;
    s.name = name;
    for (const Cell& c : cells) {
        s.rowCount = std::max(s.rowCount, c.row + 1);
        s.columnCount = std::max<std::uint16_t>(s.columnCount, c.column + 1);
    }
    s.cells = std::move(cells);
    return s;
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A workbook touching every part of the writer: Chinese names (one of 31 characters), numbers,
// texts with quotes, dates, an empty sheet.
Workbook SampleBook() {
    Workbook book;
    book.sheets.push_back(MakeSheet(
        QStringLiteral("定值"),
        {TextCell(0, 0, QStringLiteral("序号")), TextCell(0, 1, QStringLiteral("名称")),
         TextCell(0, 2, QStringLiteral("设定值")), NumberCell(1, 0, 1),
         TextCell(1, 1, QStringLiteral("过流I段")), NumberCell(1, 2, 12.5), NumberCell(2, 0, 2),
         TextCell(2, 1, QStringLiteral("it's \"quoted\"")), NumberCell(2, 2, -0.0000001)}));
    book.sheets.push_back(
        MakeSheet(QStringLiteral("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一"),
                  {TextCell(0, 0, QStringLiteral("a")), NumberCell(3, 7, 1e300)}));
    book.sheets.push_back(
        MakeSheet(QStringLiteral("dates"),
                  {NumberCell(0, 0, SerialFromDate(2024, 2, 29), CellKind::Date),
                   NumberCell(0, 1, SerialFromDate(1999, 12, 31) + 0.5, CellKind::DateTime),
                   NumberCell(0, 2, 0.75, CellKind::Time)}));
    book.sheets.push_back(MakeSheet(QStringLiteral("empty"), {}));
    return book;
}

class WorkbookTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

} // namespace

TEST(XlsDates, SerialNumbersFollowThe1900System) {
    struct Case {
        int y, m, d;
        double serial;
    };
    const Case cases[] = {
        {1900, 1, 1, 1},     {1900, 2, 28, 59},    {1900, 3, 1, 61},
        {2000, 1, 1, 36526}, {2024, 2, 29, 45351}, {2026, 12, 11, 46367},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SerialFromDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
}

TEST(XlsSheetNames, ExcelRulesAreEnforced) {
    struct Case {
        QString name;
        bool ok;
    };
    const Case cases[] = {
        {QStringLiteral("定值"), true},
        {QStringLiteral("CSpreadSheetBackup"), true},
        {QString(31, QChar(0x6D4B)), true},
        {QString(32, QChar(0x6D4B)), false},
        {QString(), false},
        {QStringLiteral("a/b"), false},
        {QStringLiteral("a[1]"), false},
        {QStringLiteral("what?"), false},
        {QStringLiteral("'quoted'"), false},
        {QStringLiteral("it's"), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SheetNameProblem(c.name).isEmpty(), c.ok) << c.name.toStdString();
}

TEST_F(WorkbookTest, WrittenWorkbookReadsBackInEveryReader) {
    const Workbook book = SampleBook();
    const QString path = Path(QStringLiteral("sample.xls"));
    QString error;
    ASSERT_TRUE(WriteWorkbook(path, book, error)) << error.toStdString();
    EXPECT_TRUE(readback::ReadersAgree(path, readback::Expected(book)));

    // Our own reader gives the same book back.
    Workbook again;
    ASSERT_TRUE(ReadWorkbook(path, again, error)) << error.toStdString();
    EXPECT_TRUE(
        readback::SameDump("ReadWorkbook", readback::Expected(book), readback::Expected(again)));
    ASSERT_EQ(again.sheets.size(), book.sheets.size());
    EXPECT_EQ(again.sheets[1].rowCount, 4u);
    EXPECT_EQ(again.sheets[1].columnCount, 8u);
}

TEST_F(WorkbookTest, OfficeSuiteReadsTheWorkbook) {
    const Workbook book = SampleBook();
    const QString path = Path(QStringLiteral("office.xls"));
    QString error;
    ASSERT_TRUE(WriteWorkbook(path, book, error)) << error.toStdString();
    bool skipped = false;
    const auto result = readback::OfficeAgrees(path, readback::Expected(book), skipped);
    if (skipped)
        GTEST_SKIP() << "neither LibreOffice (soffice) nor gnumeric (ssconvert) is installed; "
                        "the office-suite check is skipped";
    EXPECT_TRUE(result);
}

TEST_F(WorkbookTest, SharedStringTableSplitsAcrossContinueRecords) {
    // Many distinct strings (ASCII, Chinese, mixed) and long ones that must cross record
    // boundaries at every possible offset; the longest allowed cell text in both encodings.
    Sheet sheet;
    sheet.name = QStringLiteral("SST");
    std::uint32_t row = 0;
    for (int i = 0; i < 3000; ++i) {
        sheet.cells.push_back(TextCell(row, 0, QStringLiteral("text %1").arg(i)));
        sheet.cells.push_back(TextCell(row, 1, QStringLiteral("遥测名称%1号").arg(i)));
        sheet.cells.push_back(TextCell(
            row, 2, QString(1 + i % 97, QChar(i % 2 ? 0x6D4B : 'x')) + QString::number(i)));
        ++row;
    }
    for (int len : {4000, 8000, 8220, kMaxCellTextLength}) {
        sheet.cells.push_back(TextCell(row, 0, QString(len, QChar(0x5B9A))));
        sheet.cells.push_back(TextCell(row, 1, QString(len, QLatin1Char('z'))));
        sheet.cells.push_back(TextCell(row, 2, QString(len - 1, QChar(0x00E9)) + QChar(0x4E00)));
        ++row;
    }
    sheet.rowCount = row;
    sheet.columnCount = 3;
    Workbook book;
    book.sheets.push_back(sheet);
    const QString path = Path(QStringLiteral("sst.xls"));
    QString error;
    ASSERT_TRUE(WriteWorkbook(path, book, error)) << error.toStdString();
    EXPECT_TRUE(readback::ReadersAgree(path, readback::Expected(book)));
}

TEST_F(WorkbookTest, LimitsAreRefusedWithAReason) {
    struct Case {
        const char* what;
        Workbook book;
        const char* reasonPart;
    };
    std::vector<Case> cases;
    {
        Workbook b;
        cases.push_back({"no sheet", b, "at least one sheet"});
    }
    {
        Workbook b;
        b.sheets.push_back(MakeSheet(QString(32, QLatin1Char('a')), {}));
        cases.push_back({"long name", b, "longer than 31"});
    }
    {
        Workbook b;
        b.sheets.push_back(MakeSheet(QStringLiteral("A"), {}));
        b.sheets.push_back(MakeSheet(QStringLiteral("a"), {}));
        cases.push_back({"same name twice", b, "already exists"});
    }
    {
        Workbook b;
        Sheet s = MakeSheet(QStringLiteral("big"), {});
        s.rowCount = kMaxRows + 1;
        s.columnCount = 1;
        b.sheets.push_back(s);
        cases.push_back({"too many rows", b, "at most 65536 rows"});
    }
    {
        Workbook b;
        Sheet s = MakeSheet(QStringLiteral("wide"), {});
        s.rowCount = 1;
        s.columnCount = 257;
        b.sheets.push_back(s);
        cases.push_back({"too many columns", b, "256 columns"});
    }
    {
        Workbook b;
        b.sheets.push_back(
            MakeSheet(QStringLiteral("long"),
                      {TextCell(0, 0, QString(kMaxCellTextLength + 1, QLatin1Char('x')))}));
        cases.push_back({"long text", b, "longer than 8221"});
    }
    {
        Workbook b;
        b.sheets.push_back(
            MakeSheet(QStringLiteral("order"),
                      {TextCell(1, 0, QStringLiteral("b")), TextCell(0, 0, QStringLiteral("a"))}));
        cases.push_back({"cells out of order", b, "out of order"});
    }
    for (const Case& c : cases) {
        const QString path = Path(QStringLiteral("limit.xls"));
        QFile::remove(path);
        QString error;
        EXPECT_FALSE(WriteWorkbook(path, c.book, error)) << c.what;
        EXPECT_TRUE(error.contains(QLatin1String(c.reasonPart)))
            << c.what << ": " << error.toStdString();
        EXPECT_FALSE(QFile::exists(path)) << c.what << ": nothing may be written";
    }
}

TEST_F(WorkbookTest, FullSheetOf65536RowsAndLargeContainer) {
    // 65536 rows x 8 columns: the stream needs more than 109 FAT sectors (DIFAT).
    Sheet sheet;
    sheet.name = QStringLiteral("满表");
    for (std::uint32_t r = 0; r < kMaxRows; ++r) {
        sheet.cells.push_back(NumberCell(r, 0, r));
        sheet.cells.push_back(NumberCell(r, 1, r * 0.5));
        sheet.cells.push_back(TextCell(r, 2, QStringLiteral("行%1").arg(r % 5000)));
        for (std::uint16_t c = 3; c < 8; ++c)
            sheet.cells.push_back(NumberCell(r, c, -static_cast<double>(r) * c));
    }
    sheet.rowCount = kMaxRows;
    sheet.columnCount = 8;
    Workbook book;
    book.sheets.push_back(sheet);
    QByteArray image;
    QString error;
    ASSERT_TRUE(BuildWorkbookFile(book, image, error)) << error.toStdString();
    EXPECT_GT(image.size(), 109 * 128 * 512) << "meant to need DIFAT sectors";
    const QString path = Path(QStringLiteral("full.xls"));
    WriteAll(path, image);
    EXPECT_TRUE(readback::ReadersAgree(path, readback::Expected(book)));
}

TEST_F(WorkbookTest, TruncatedWorkbooksAreRefused) {
    QByteArray image;
    QString error;
    ASSERT_TRUE(BuildWorkbookFile(SampleBook(), image, error));
    const QString path = Path(QStringLiteral("cut.xls"));
    for (qsizetype length :
         {qsizetype(0), qsizetype(7), qsizetype(511), qsizetype(512), qsizetype(1000),
          image.size() / 2, image.size() - 512, image.size() - 1}) {
        WriteAll(path, image.left(length));
        Workbook book;
        EXPECT_FALSE(ReadWorkbook(path, book, error)) << "length " << length;
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(book.sheets.empty());
    }
}

TEST_F(WorkbookTest, DamagedWorkbooksAreRefusedOrReadSafely) {
    QByteArray image;
    QString error;
    ASSERT_TRUE(BuildWorkbookFile(SampleBook(), image, error));
    const QString path = Path(QStringLiteral("bad.xls"));

    // Targeted damage: each must be refused.
    QByteArray stream;
    ASSERT_TRUE(ExtractWorkbookStream(image, stream, error));
    const qsizetype streamAt = 512; // our writer puts the stream right after the header
    const qsizetype dims = stream.indexOf(QByteArray("\x00\x02\x0E\x00", 4));
    const qsizetype sst = stream.indexOf(QByteArray("\xFC\x00", 2));
    // The date cell of sheet "dates": NUMBER record with XF 16.
    const qsizetype date =
        stream.indexOf(QByteArray("\x03\x02\x0E\x00\x00\x00\x00\x00\x10\x00", 10));
    ASSERT_GT(dims, 0);
    ASSERT_GT(sst, 0);
    ASSERT_GT(date, 0);
    struct Damage {
        const char* what;
        qsizetype at;
        QByteArray bytes;
    };
    const Damage damages[] = {
        {"signature", 0, QByteArray("XXXX")},
        {"sector size", 30, QByteArray("\x10\x00", 2)},
        {"FAT sector outside the file", 76, QByteArray("\xFF\xFF\x00\x00", 4)},
        {"directory start outside the file", 48, QByteArray("\x00\x00\x01\x00", 4)},
        {"BOF version", streamAt + 4, QByteArray("\x00\x02", 2)},
        {"huge DIMENSIONS rows", streamAt + dims + 8, QByteArray("\xFF\xFF\xFF\xFF", 4)},
        {"DIMENSIONS rows 2^24", streamAt + dims + 8, QByteArray("\x00\x00\x00\x01", 4)},
        {"huge DIMENSIONS columns", streamAt + dims + 14, QByteArray("\xFF\x7F", 2)},
        {"record length past the stream", streamAt + sst + 2, QByteArray("\xFF\x7F", 2)},
        {"SST string count", streamAt + sst + 8, QByteArray("\xFF\xFF\xFF\x7F", 4)},
        {"date in the year 10000 and later", streamAt + date + 10,
         QByteArray("\x00\x00\x00\x00\x00\x00\xE0\x41", 8)},
    };
    for (const Damage& d : damages) {
        QByteArray bad = image;
        bad.replace(d.at, d.bytes.size(), d.bytes);
        WriteAll(path, bad);
        Workbook book;
        EXPECT_FALSE(ReadWorkbook(path, book, error)) << d.what;
        EXPECT_FALSE(error.isEmpty()) << d.what;
    }

    // Random damage: never a crash (the suite runs under ASan + UBSan); a refusal has a reason.
    std::mt19937 random(20261211);
    for (int i = 0; i < 300; ++i) {
        QByteArray bad = image;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < flips; ++k) {
            const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(bad.size()));
            bad[at] = static_cast<char>(random() & 0xFF);
        }
        WriteAll(path, bad);
        Workbook book;
        error.clear();
        if (!ReadWorkbook(path, book, error)) {
            EXPECT_FALSE(error.isEmpty()) << "case " << i;
        }
    }
}

TEST_F(WorkbookTest, NotAWorkbookIsRefused) {
    const QString path = Path(QStringLiteral("text.xls"));
    WriteAll(path, QByteArray("\"a\",\"b\"\r\n\"1\",\"2\"\r\n"));
    Workbook book;
    QString error;
    EXPECT_FALSE(ReadWorkbook(path, book, error));
    EXPECT_TRUE(error.contains(QLatin1String("not a legacy Excel workbook")))
        << error.toStdString();
    EXPECT_FALSE(ReadWorkbook(Path(QStringLiteral("missing.xls")), book, error));
}
