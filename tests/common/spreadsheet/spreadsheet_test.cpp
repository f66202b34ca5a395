// CSpreadSheet: the encoded-line model, text files, and sheets of real workbooks. Every
// workbook written here is read back by libfreexl and python3-xlrd (readback.h).

#include "common/spreadsheet/sheet_line.h"
#include "common/spreadsheet/spreadsheet.h"
#include "common/spreadsheet/xls_workbook.h"
#include "common/support/gbk.h"
#include "readback.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Typing = CSpreadSheet::Typing;
using Grid = std::vector<QStringList>;

// A sheet as readers must see it: "#12.5" is a number cell, "" no cell, anything else text.
readback::DumpSheet SheetOf(const QString& name, const Grid& grid) {
    readback::DumpSheet sheet;
    sheet.name = name;
    for (std::size_t r = 0; r < grid.size(); ++r)
        for (int c = 0; c < grid[r].size(); ++c) {
            const QString& v = grid[r][c];
            if (v.isEmpty())
                continue;
            readback::DumpCell cell;
            cell.row = static_cast<std::uint32_t>(r);
            cell.column = static_cast<std::uint16_t>(c);
            if (v.startsWith(QLatin1Char('#'))) {
                cell.type = 'n';
                cell.number = v.mid(1).toDouble();
            } else {
                cell.type = 's';
                cell.text = v;
            }
            sheet.cells.push_back(cell);
        }
    return sheet;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

Grid RowsOf(CSpreadSheet& sheet) {
    Grid grid;
    QStringList values;
    for (int r = 1; r <= sheet.Rows().size(); ++r) {
        EXPECT_TRUE(sheet.SplitRow(values, r));
        grid.push_back(values);
    }
    return grid;
}

const QStringList kHeader = {QStringLiteral("序号"), QStringLiteral("名称"),
                             QStringLiteral("设定值")};

class SpreadSheetTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

} // namespace

TEST(SheetLine, SplitsEveryShapeOfLine) {
    struct Case {
        QString line;
        QString separator;
        QStringList cells;
    };
    const QString x = QStringLiteral(",;.?");
    const Case cases[] = {
        {QStringLiteral("\"a\",\"b\",\"c\""), QStringLiteral(","), {"a", "b", "c"}},
        {QStringLiteral("\"a\",;.?\" \",;.?\"\""), x, {"a", " ", ""}},
        {QStringLiteral("a;b;c"), QStringLiteral(";"), {"a", "b", "c"}},
        // Separator without quote-separator-quote: cells keep their quotes.
        {QStringLiteral("\"a\",b"), QStringLiteral(","), {"\"a\"", "b"}},
        // No separator: one cell, surrounding quotes removed only when both are there.
        {QStringLiteral("\"only\""), QStringLiteral(","), {"only"}},
        {QStringLiteral("only"), QStringLiteral(","), {"only"}},
        {QStringLiteral("\"half"), QStringLiteral(","), {"\"half"}},
        {QString(), QStringLiteral(","), {""}},
        // Doubled quotes are one quote; a cell may hold quote-separator-quote.
        {QStringLiteral("\"say \"\"hi\"\"\",\"x\""), QStringLiteral(","), {"say \"hi\"", "x"}},
        {QStringLiteral("\"x\"\",\"\"y\""), QStringLiteral(","), {"x\",\"y"}},
        {QStringLiteral("\"a\"\",;.?\"\"b\",;.?\"c\""), x, {"a\",;.?\"b", "c"}},
        // Lines of another shape are cut at quote-separator-quote as they always were.
        {QStringLiteral("\"a\",\"b"), QStringLiteral(","), {"a", ""}},
        {QStringLiteral("\"a\"b\",\"c\""), QStringLiteral(","), {"a\"b", "c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sheetline::SplitLine(c.line, c.separator), c.cells) << c.line.toStdString();

    // Whatever QuoteCell writes, SplitLine gives back.
    const QStringList awkward = {"", " ", "\"", "\"\"", "a\",\"b", "x,;.?y", "'", "遥测\"量\""};
    for (const QString& sep : {QStringLiteral(","), x, QStringLiteral(";")}) {
        QStringList quoted;
        for (const QString& cell : awkward)
            quoted.append(sheetline::QuoteCell(cell));
        EXPECT_EQ(sheetline::SplitLine(sheetline::JoinCells(quoted, sep), sep), awkward);
    }
}

TEST(SheetLine, NumbersReadLikeAtofAndPrintLikePrintf) {
    struct Case {
        QString text;
        QString fixed7;
    };
    const Case cases[] = {
        {"1", "1.0000000"},          {"123", "123.0000000"},
        {"-2.5", "-2.5000000"},      {"  +3.25e2xyz", "325.0000000"},
        {"name", "0.0000000"},       {"", "0.0000000"},
        {".5", "0.5000000"},         {"1e", "1.0000000"},
        {"0.00000006", "0.0000001"}, {"12abc", "12.0000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sheetline::FormatFixed7(sheetline::ReadNumber(c.text)), c.fixed7)
            << c.text.toStdString();
}

TEST_F(SpreadSheetTest, FileNameDecidesTheKind) {
    struct Case {
        const char* name;
        bool excel;
    };
    const Case cases[] = {{"REPORT.XLS", true}, {"report.xlsx", false}, {"data.csv", false},
                          {"mixed.XlS", true},  {"xls", false},         {"a.xls.txt", false}};
    for (const Case& c : cases) {
        CSpreadSheet sheet(Path(QString::fromLatin1(c.name)), QStringLiteral(";"), false);
        EXPECT_EQ(sheet.IsExcel(), c.excel) << c.name;
        EXPECT_EQ(sheet.Separator(), c.excel ? QStringLiteral(",;.?") : QStringLiteral(";"));
        EXPECT_FALSE(sheet.Exists());
        EXPECT_EQ(sheet.RowCount(), 0);
    }
}

TEST_F(SpreadSheetTest, TextFileIsGbkWithCrLfAndDoubledQuotes) {
    const QString path = Path(QStringLiteral("data.csv"));
    {
        CSpreadSheet sheet(path, QStringLiteral(","), false);
        ASSERT_TRUE(sheet.PutHeader(kHeader));
        ASSERT_TRUE(sheet.PutRow({"1", "say \"hi\"", "a\",\"b"}));
        ASSERT_TRUE(sheet.PutRow({"2", "遥测"}));
    }
    const QByteArray expected =
        support::ToGbk(QStringLiteral("\"序号\",\"名称\",\"设定值\"\r\n\"1\",\"say "
                                      "\"\"hi\"\"\",\"a\"\",\"\"b\"\r\n\"2\",\"遥测\"\r\n"));
    EXPECT_EQ(ReadAll(path), expected);

    CSpreadSheet again(path, QStringLiteral(","), false);
    EXPECT_TRUE(again.Exists());
    EXPECT_EQ(again.RowCount(), 3);
    EXPECT_EQ(again.ColumnCount(), 3);
    EXPECT_EQ(again.FieldNames(), kHeader);
    const Grid rows = RowsOf(again);
    EXPECT_EQ(rows[1], (QStringList{"1", "say \"hi\"", "a\",\"b"}));
    EXPECT_EQ(rows[2], (QStringList{"2", "遥测"}));
}

TEST_F(SpreadSheetTest, ForeignTextFilesLoad) {
    struct Case {
        QByteArray bytes;
        int rows, columns;
        QStringList lastRow;
    };
    const Case cases[] = {
        {"a;b;c\n1;2\n", 2, 3, {"1", "2"}},
        {"\"x\"\r\n\"y\"", 2, 1, {"y"}},
        {"\xEF\xBB\xBF\"\xE5\x90\x8D\",\"v\"\r\n", 1, 2, {"名", "v"}}, // UTF-8 with BOM
        {"", 0, 0, {}},
    };
    for (const Case& c : cases) {
        const QString path = Path(QStringLiteral("foreign.txt"));
        WriteAll(path, c.bytes);
        CSpreadSheet sheet(path, QLatin1String(c.bytes.contains(';') ? ";" : ","), false);
        EXPECT_EQ(sheet.RowCount(), c.rows) << c.bytes.toStdString();
        EXPECT_EQ(sheet.ColumnCount(), c.columns) << c.bytes.toStdString();
        EXPECT_EQ(sheet.Exists(), c.columns != 0);
        if (c.rows > 0) {
            EXPECT_EQ(RowsOf(sheet).back(), c.lastRow);
        }
    }
}

TEST_F(SpreadSheetTest, RowPlacementPaddingAndSequentialReads) {
    for (const bool excel : {false, true}) {
        const QString path = Path(excel ? QStringLiteral("pad.xls") : QStringLiteral("pad.csv"));
        CSpreadSheet sheet(path, excel ? QStringLiteral("表") : QStringLiteral(","), false);
        sheet.StartBatch();
        ASSERT_TRUE(sheet.PutHeader({"A", "B"}));
        ASSERT_TRUE(sheet.PutRow({"a2", "b2"}, 2, true));
        // Row 5 on a sheet of 2 rows: rows 3 and 4 are filler rows.
        ASSERT_TRUE(sheet.PutRow({"a5", "b5"}, 5, true));
        const QString filler =
            excel ? QStringLiteral("\" \",;.?\" \"") : QStringLiteral("\"\",\"\"");
        ASSERT_EQ(sheet.Rows().size(), 5);
        EXPECT_EQ(sheet.Rows()[2], filler);
        EXPECT_EQ(sheet.Rows()[3], filler);
        EXPECT_EQ(sheet.RowCount(), 5);
        // Append (row 0), insert before row 2, replace row 3.
        ASSERT_TRUE(sheet.PutRow({"a6", "b6"}));
        ASSERT_TRUE(sheet.PutRow({"ins", "ert"}, 2, false));
        ASSERT_TRUE(sheet.PutRow({"re", "place"}, 3, true));
        EXPECT_EQ(sheet.RowCount(), 7);
        const Grid expected = {{"A", "B"},
                               {"ins", "ert"},
                               {"re", "place"},
                               excel ? QStringList{" ", " "} : QStringList{"", ""},
                               excel ? QStringList{" ", " "} : QStringList{"", ""},
                               {"a5", "b5"},
                               {"a6", "b6"}};
        EXPECT_EQ(RowsOf(sheet), expected);
        // Sequential reads continue from the row read last and stop after the last row.
        QStringList values;
        ASSERT_TRUE(sheet.SplitRow(values, 6));
        ASSERT_TRUE(sheet.SplitRow(values));
        EXPECT_EQ(values, (QStringList{"a6", "b6"}));
        EXPECT_FALSE(sheet.SplitRow(values));
        EXPECT_FALSE(sheet.SplitRow(values, 8));
        EXPECT_EQ(sheet.LastError(),
                  QStringLiteral("Desired row is greater than total number of rows in "
                                 "spreadsheet\n"));
        ASSERT_TRUE(sheet.WriteBack());
        EXPECT_FALSE(sheet.Batch());
        if (excel) {
            Grid cells = expected;
            EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf(QStringLiteral("表"), cells)}));
        }
        CSpreadSheet again(path, excel ? QStringLiteral("表") : QStringLiteral(","), false);
        EXPECT_EQ(RowsOf(again), expected);
    }
}

TEST_F(SpreadSheetTest, ExcelHeaderRules) {
    CSpreadSheet excel(Path(QStringLiteral("h.xls")), QStringLiteral("S"), false);
    excel.StartBatch();
    EXPECT_FALSE(excel.PutRow({"1", "2"}, 2));
    EXPECT_EQ(excel.LastError(), QStringLiteral("No header row. Add header row first\n"));
    EXPECT_FALSE(excel.PutHeader({"A", "B", "A"}));
    EXPECT_EQ(excel.LastError(), QStringLiteral("Duplicate header row field:A\n"));
    EXPECT_EQ(excel.ColumnCount(), 0);
    EXPECT_TRUE(excel.Rows().isEmpty());
    ASSERT_TRUE(excel.PutHeader({"A", "B"}));
    EXPECT_FALSE(excel.PutRow({"1", "2", "3"}, 2));
    EXPECT_EQ(excel.LastError(), QStringLiteral("Number of columns to be added cannot be greater "
                                                "than the number of fields\n"));
    EXPECT_FALSE(excel.PutRow({"X"}, 1, true));
    EXPECT_EQ(excel.LastError(),
              QStringLiteral("Number of columns in new header row cannot be less than the number "
                             "of columns in previous header row"));
    ASSERT_TRUE(excel.WriteBack());

    // Extending an existing header: a name already present is refused, new ones are added.
    CSpreadSheet existing(Path(QStringLiteral("h.xls")), QStringLiteral("S"), false);
    ASSERT_TRUE(existing.Exists());
    existing.StartBatch();
    EXPECT_FALSE(existing.PutHeader({"C", "B"}));
    EXPECT_EQ(existing.LastError(), QStringLiteral("Duplicate header row field:B\n"));
    ASSERT_TRUE(existing.PutHeader({"C"}));
    EXPECT_EQ(existing.FieldNames(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(existing.ColumnCount(), 3);
    ASSERT_TRUE(existing.WriteBack());
    EXPECT_TRUE(
        readback::ReadersAgree(Path(QStringLiteral("h.xls")), {SheetOf("S", {{"A", "B", "C"}})}));

    // A text file takes equal names.
    CSpreadSheet text(Path(QStringLiteral("h.csv")), QStringLiteral(","), false);
    EXPECT_TRUE(text.PutHeader({"A", "B", "A"}));
    EXPECT_TRUE(text.PutHeader({"A"}));
    EXPECT_EQ(text.FieldNames(), (QStringList{"A", "B", "A", "A"}));
}

TEST_F(SpreadSheetTest, ColumnTypingOfBothPrograms) {
    struct Case {
        Typing typing;
        QString line;
        Grid cells;
    };
    const Case cases[] = {
        // companel: number columns 0 and 2; the last column keeps its text but is stored as a
        // number; filler and non-numeric cells of number columns stay empty or text.
        {Typing::TypedColumns,
         QStringLiteral("\"1.0000000\",;.?\"name\",;.?\"123\""),
         {kHeader, {"#1", "name", "#123"}, {"", " ", ""}, {"#2.5", "x", "abc"}}},
        // lanpanel: every column text, nothing reformatted.
        {Typing::TextColumns,
         QStringLiteral("\"1\",;.?\"name\",;.?\"123\""),
         {kHeader, {"1", "name", "123"}, {" ", " ", " "}, {"2.5", "x", "abc"}}},
    };
    for (const Case& c : cases) {
        const QString path = Path(QStringLiteral("typed.xls"));
        QFile::remove(path);
        CSpreadSheet sheet(path, QStringLiteral("定值"), false, c.typing);
        EXPECT_EQ(sheet.TypedColumns(), c.typing == Typing::TypedColumns);
        sheet.NumberColumn[0] = 1;
        sheet.NumberColumn[2] = 1;
        sheet.StartBatch();
        ASSERT_TRUE(sheet.PutHeader(kHeader));
        ASSERT_TRUE(sheet.PutRow({"1", "name", "123"}, 2, true));
        EXPECT_EQ(sheet.Rows()[1], c.line);
        ASSERT_TRUE(sheet.PutRow({"2.5", "x", "abc"}, 4, true)); // row 3 is filler
        ASSERT_TRUE(sheet.WriteBack()) << sheet.LastError().toStdString();
        EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf(QStringLiteral("定值"), c.cells)}));
    }
    // The program-wide default chooses the typing when the argument is left out.
    EXPECT_EQ(CSpreadSheet::ProgramTyping(), Typing::TextColumns);
    CSpreadSheet::SetProgramTyping(Typing::TypedColumns);
    EXPECT_TRUE(
        CSpreadSheet(Path(QStringLiteral("d.xls")), QStringLiteral("S"), false).TypedColumns());
    CSpreadSheet::SetProgramTyping(Typing::TextColumns);
}

TEST_F(SpreadSheetTest, CellsWithQuotesSurviveTheWorkbook) {
    const QString path = Path(QStringLiteral("quotes.xls"));
    const QStringList awkward = {"it's", "say \"hi\"", "a\",;.?\"b", "'; DROP TABLE x; --"};
    {
        CSpreadSheet sheet(path, QStringLiteral("Q"), false);
        ASSERT_TRUE(sheet.PutHeader({"1", "2", "3", "4"}));
        ASSERT_TRUE(sheet.PutRow(awkward));
    }
    EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf("Q", {{"1", "2", "3", "4"}, awkward})}));
    CSpreadSheet again(path, QStringLiteral("Q"), false);
    EXPECT_EQ(RowsOf(again).back(), awkward);
}

TEST_F(SpreadSheetTest, TwoWritersKeepBothSheets) {
    const QString path = Path(QStringLiteral("26-12-11 09.30.xls"));
    // The information export: 定值 (number, text, text) then 参数 (number, text, number).
    auto exportOnce = [&](int settings, int parameters) {
        CSpreadSheet a(path, QStringLiteral("定值"), false, Typing::TypedColumns);
        a.StartBatch();
        a.NumberColumn[0] = 1;
        a.PutHeader(kHeader);
        for (int i = 0; i < settings; ++i)
            a.PutRow({QString::number(i + 1), QStringLiteral("定值%1").arg(i), "1.50"}, i + 2,
                     true);
        EXPECT_TRUE(a.WriteBack()) << a.LastError().toStdString();
        CSpreadSheet b(path, QStringLiteral("参数"), false, Typing::TypedColumns);
        b.StartBatch();
        b.NumberColumn[0] = 1;
        b.NumberColumn[2] = 1;
        b.PutHeader(kHeader);
        for (int i = 0; i < parameters; ++i)
            b.PutRow({QString::number(i + 1), QStringLiteral("参数%1").arg(i), "65535"}, i + 2,
                     true);
        EXPECT_TRUE(b.WriteBack()) << b.LastError().toStdString();
    };
    exportOnce(3, 2);
    Grid settings = {
        kHeader, {"#1", "定值0", "1.50"}, {"#2", "定值1", "1.50"}, {"#3", "定值2", "1.50"}};
    Grid parameters = {kHeader, {"#1", "参数0", "#65535"}, {"#2", "参数1", "#65535"}};
    EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf(QStringLiteral("定值"), settings),
                                              SheetOf(QStringLiteral("参数"), parameters)}));
    // A second export in the same minute: its header is refused as duplicate, its rows replace
    // rows of the same number, surplus rows of the first export remain.
    exportOnce(1, 3);
    parameters.push_back({"#3", "参数2", "#65535"});
    EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf(QStringLiteral("定值"), settings),
                                              SheetOf(QStringLiteral("参数"), parameters)}));
}

TEST_F(SpreadSheetTest, WriteBackKeepsOtherSheetsAndTheirKinds) {
    // A workbook with a date sheet and a data sheet, as another program might have left it.
    xls::Workbook book;
    xls::Sheet dates;
    dates.name = QStringLiteral("日期");
    dates.rowCount = 1;
    dates.columnCount = 3;
    xls::Cell cell;
    cell.kind = xls::CellKind::Date;
    cell.number = xls::SerialFromDate(2026, 12, 11);
    dates.cells.push_back(cell);
    cell.column = 1;
    cell.kind = xls::CellKind::Number;
    cell.number = 3.25;
    dates.cells.push_back(cell);
    cell.column = 2;
    cell.kind = xls::CellKind::Text;
    cell.text = QStringLiteral("文字");
    dates.cells.push_back(cell);
    book.sheets.push_back(dates);
    xls::Sheet data;
    data.name = QStringLiteral("数据");
    data.rowCount = 3;
    data.columnCount = 2;
    const char* texts[] = {"名称", "值", "a", "1", "b", "2"};
    for (int i = 0; i < 6; ++i) {
        xls::Cell c;
        c.row = static_cast<std::uint32_t>(i / 2);
        c.column = static_cast<std::uint16_t>(i % 2);
        c.text = QString::fromUtf8(texts[i]);
        data.cells.push_back(c);
    }
    book.sheets.push_back(data);
    const QString path = Path(QStringLiteral("keep.xls"));
    QString error;
    ASSERT_TRUE(xls::WriteWorkbook(path, book, error));

    // Opening 数据 with backup copies it to CSpreadSheetBackup; a second opening finds the
    // backup sheet there and makes no copy.
    {
        CSpreadSheet sheet(path, QStringLiteral("数据"), true);
        EXPECT_TRUE(sheet.Backup());
        EXPECT_TRUE(sheet.Exists());
        EXPECT_EQ(sheet.RowCount(), 3);
        EXPECT_EQ(sheet.CurrentRow(), 1);
        ASSERT_TRUE(sheet.PutRow({"c", "3"}, 3, true)); // written back at once
    }
    CSpreadSheet second(path, QStringLiteral("数据"), true);
    EXPECT_FALSE(second.Backup());
    EXPECT_EQ(second.LastError(), QStringLiteral("Table 'CSpreadSheetBackup' already exists.\n"));
    // A sheet that did not exist is added at the end.
    CSpreadSheet added(path, QStringLiteral("新表"), false);
    EXPECT_FALSE(added.Exists());
    ASSERT_TRUE(added.PutHeader({"x"}));

    readback::Dump expected = readback::Expected(book);
    expected[1] = SheetOf(QStringLiteral("数据"), {{"名称", "值"}, {"a", "1"}, {"c", "3"}});
    expected.push_back(
        SheetOf(QStringLiteral("CSpreadSheetBackup"), {{"名称", "值"}, {"a", "1"}, {"b", "2"}}));
    expected.push_back(SheetOf(QStringLiteral("新表"), {{"x"}}));
    EXPECT_TRUE(readback::ReadersAgree(path, expected));
}

TEST_F(SpreadSheetTest, TextBackupIsReplacedEachTime) {
    const QString path = Path(QStringLiteral("b.csv"));
    WriteAll(path, "\"a\"\r\n");
    { CSpreadSheet sheet(path, QStringLiteral(","), true); }
    EXPECT_EQ(ReadAll(path + QStringLiteral(".bak")), QByteArray("\"a\"\r\n"));
    WriteAll(path, "\"b\"\r\n");
    CSpreadSheet sheet(path, QStringLiteral(","), true);
    EXPECT_TRUE(sheet.Backup());
    EXPECT_EQ(ReadAll(path + QStringLiteral(".bak")), QByteArray("\"b\"\r\n"));
}

TEST_F(SpreadSheetTest, FailuresLeaveRowsAndFilesAlone) {
    // Nowhere to write: false with the reason, and the row that could not be written is gone
    // from memory again.
    for (const QString& name :
         {QStringLiteral("no/such/dir/x.csv"), QStringLiteral("no/such/dir/x.xls")}) {
        CSpreadSheet sheet(Path(name), QStringLiteral("S"), false);
        EXPECT_FALSE(sheet.PutHeader({"A", "B"}));
        EXPECT_FALSE(sheet.LastError().isEmpty());
        EXPECT_TRUE(sheet.Rows().isEmpty());
        EXPECT_EQ(sheet.RowCount(), 0);
        EXPECT_EQ(sheet.ColumnCount(), 0);
        sheet.StartBatch();
        ASSERT_TRUE(sheet.PutHeader({"A", "B"}));
        ASSERT_TRUE(sheet.PutRow({"1", "2"}));
        const QStringList rows = sheet.Rows();
        EXPECT_FALSE(sheet.WriteBack());
        EXPECT_TRUE(sheet.LastError().startsWith(sheet.IsExcel()
                                                     ? QStringLiteral("Cannot write workbook")
                                                     : QStringLiteral("Error writing file\n")))
            << sheet.LastError().toStdString();
        EXPECT_EQ(sheet.Rows(), rows);
        EXPECT_TRUE(sheet.Batch());
    }

    // A damaged or truncated workbook is never overwritten.
    QByteArray good;
    {
        const QString path = Path(QStringLiteral("good.xls"));
        CSpreadSheet sheet(path, QStringLiteral("S"), false);
        ASSERT_TRUE(sheet.PutHeader({"A"}));
        good = ReadAll(path);
        EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf("S", {{"A"}})}));
    }
    QByteArray damaged = good;
    damaged.replace(0, 4, "XXXX");
    for (const QByteArray& bytes : {good.left(good.size() / 2), damaged, QByteArray("junk")}) {
        const QString path = Path(QStringLiteral("bad.xls"));
        WriteAll(path, bytes);
        CSpreadSheet sheet(path, QStringLiteral("S"), true);
        EXPECT_FALSE(sheet.Exists());
        EXPECT_TRUE(sheet.LastError().startsWith(QStringLiteral("Cannot read workbook")));
        EXPECT_FALSE(sheet.PutHeader({"A"}));
        EXPECT_TRUE(sheet.LastError().startsWith(QStringLiteral("Cannot read workbook")))
            << sheet.LastError().toStdString();
        EXPECT_EQ(ReadAll(path), bytes);
    }
    // Unreadable text file: the object starts empty.
    CSpreadSheet missing(Path(QStringLiteral("missing.csv")), QStringLiteral(","), false);
    EXPECT_EQ(missing.LastError(), QStringLiteral("Error in opening file\n"));
    EXPECT_FALSE(missing.Exists());
}

TEST_F(SpreadSheetTest, LargeSheetsWorkOrAreRefused) {
    const QString path = Path(QStringLiteral("large.xls"));
    CSpreadSheet sheet(path, QStringLiteral("测量检验值"), false, Typing::TypedColumns);
    sheet.NumberColumn[0] = 1;
    sheet.StartBatch();
    ASSERT_TRUE(sheet.PutHeader({"N", "Name", "Value"}));
    Grid expected = {{"N", "Name", "Value"}};
    for (int r = 2; r <= 65536; ++r) {
        const QStringList row = {QString::number(r), QStringLiteral("行%1").arg(r % 100),
                                 QString::number(r * 0.25)};
        ASSERT_TRUE(sheet.PutRow(row));
        expected.push_back({QStringLiteral("#%1").arg(r), row[1], row[2]});
    }
    ASSERT_TRUE(sheet.WriteBack()) << sheet.LastError().toStdString();
    EXPECT_TRUE(readback::ReadersAgree(path, {SheetOf(QStringLiteral("测量检验值"), expected)}));
    const QByteArray written = ReadAll(path);

    // Row 65537 is beyond any Excel sheet; 257 columns too.
    for (const int row : {65537, 0, 2}) { // replace, append, insert
        EXPECT_FALSE(sheet.PutRow({"1"}, row, row == 65537));
        EXPECT_TRUE(
            sheet.LastError().startsWith(QLatin1String("Row 65537 is outside an Excel sheet")))
            << sheet.LastError().toStdString();
        EXPECT_EQ(sheet.RowCount(), 65536);
    }
    CSpreadSheet wide(path, QStringLiteral("宽"), false);
    QStringList names;
    for (int c = 0; c < 257; ++c)
        names.append(QStringLiteral("c%1").arg(c));
    EXPECT_FALSE(wide.PutHeader(names));
    EXPECT_TRUE(wide.LastError().contains(QLatin1String("256 columns")));
    EXPECT_EQ(ReadAll(path), written);
}

TEST_F(SpreadSheetTest, ConvertFormatBothWays) {
    // Workbook to text, as the measurement export does with ";".
    const QString xlsPath = Path(QStringLiteral("m.xls"));
    CSpreadSheet sheet(xlsPath, QStringLiteral("测量检验值"), true);
    sheet.StartBatch();
    ASSERT_TRUE(sheet.PutHeader({"通道名", "Ua"}));
    ASSERT_TRUE(sheet.PutRow({"实际值", "57.7350"}));
    ASSERT_TRUE(sheet.PutRow({"测量值", "\\"}));
    ASSERT_TRUE(sheet.WriteBack());
    EXPECT_TRUE(readback::ReadersAgree(
        xlsPath, {SheetOf(QStringLiteral("测量检验值"),
                          {{"通道名", "Ua"}, {"实际值", "57.7350"}, {"测量值", "\\"}})}));
    ASSERT_TRUE(sheet.ConvertFormat(QStringLiteral(";")));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("m.csv"))),
              support::ToGbk(QStringLiteral("\"通道名\";\"Ua\"\r\n\"实际值\";\"57.7350\"\r\n"
                                            "\"测量值\";\"\\\"\r\n")));
    // Not written again once the text file has content.
    EXPECT_FALSE(sheet.ConvertFormat(QStringLiteral(";")));

    // Text to workbook: equal names in the header make it a data row under "1", "2", ...
    const QString csvPath = Path(QStringLiteral("t.csv"));
    WriteAll(csvPath, "\"A\",\"A\"\r\n\"1\",\"2\"\r\n");
    CSpreadSheet text(csvPath, QStringLiteral(","), false);
    ASSERT_TRUE(text.ConvertFormat(QStringLiteral("导入")));
    EXPECT_EQ(text.LastError(), QStringLiteral("Duplicate header row field:A\n"));
    EXPECT_TRUE(readback::ReadersAgree(
        Path(QStringLiteral("t.xls")),
        {SheetOf(QStringLiteral("导入"), {{"1", "2"}, {"A", "A"}, {"1", "2"}})}));
    EXPECT_FALSE(text.ConvertFormat(QStringLiteral("导入")));
}
