#pragma once
// CSpreadSheet: one sheet of a legacy Excel workbook (.xls) or one delimited
// text file, held in memory as encoded text lines (sheet_line.h), row 1 being the header.
//
// Platform mapping (design.md §2): instead of the ODBC Excel driver, .xls files are genuine
// BIFF8 workbooks read with libfreexl and written by our own writer (xls_workbook.h).
// WriteBack on a sheet reads the workbook as it is on disk, keeps every other sheet (values
// and their kinds) and replaces or adds only its own sheet, then replaces the file in one
// step. Text files are GBK with CR LF line ends.
//
// TypedColumns (a per-program property) is a constructor argument, Typing. Its default is
// a program-wide value each program sets once at start-up:
//     companel:  CSpreadSheet::SetProgramTyping(CSpreadSheet::Typing::TypedColumns);
//     lanpanel:  nothing to do (TextColumns is the default), or set TextColumns explicitly.
// TypedColumns: NumberColumn flags choose number or text columns and numeric cells are
// encoded with "%.7f"; TextColumns: every column is text ("char(255)"), NumberColumn is ignored.
//
// Behaviour worth knowing (every failure: false + LastError, nothing throws out of the class,
// the in-memory rows stay as they were):
//  - quotes in cells: written doubled in the encoded line and in text files (RFC 4180 style);
//    an Excel cell stores its text as it is, single quotes included;
//  - PutRow / PutHeader that write at once (no batch) return the write's result, and a failed
//    write restores the rows, header and counts to what they were before the call;
//  - a workbook that cannot be read (damaged, not BIFF, password) is never overwritten:
//    WriteBack fails with the reason;
//  - a number column cell whose text is not a number is stored as text, an empty one is left
//    empty, instead of refusing the whole sheet;
//  - limits: at most 65536 rows and 256 columns per sheet, sheet names of 1..31 characters
//    without : \ / ? * [ ], cell texts up to 8221 characters; beyond them WriteBack fails with
//    a LastError saying which limit, and nothing is written;
//  - ConvertFormat to Excel writes the converted sheet with one WriteBack at the end instead
//    of one per row (same file, far faster, and nothing half-written on failure).

#include <QString>
#include <QStringList>
#include <array>

class CSpreadSheet {
public:
    enum class Typing { TextColumns, TypedColumns };

    // Program-wide default of the Typing argument (TextColumns until set).
    static void SetProgramTyping(Typing typing);
    static Typing ProgramTyping();

    // file: path of the workbook or text file (".xls" in any case = workbook);
    // sheetOrSeparator: the sheet name (workbook) or the separator (text file);
    // backup: copy an existing sheet to "CSpreadSheetBackup" / the file to "<file>.bak".
    CSpreadSheet(const QString& file, const QString& sheetOrSeparator, bool backup,
                 Typing typing = ProgramTyping());
    ~CSpreadSheet();
    CSpreadSheet(const CSpreadSheet&) = delete;
    CSpreadSheet& operator=(const CSpreadSheet&) = delete;

    // Sets (replace) or extends the header row.
    bool PutHeader(const QStringList& names, bool replace = false);
    // Writes a row: row 0 appends after the last row; replace overwrites, otherwise inserts.
    bool PutRow(const QStringList& values, int row = 0, bool replace = false);
    void StartBatch();
    bool WriteBack();
    // Writes the loaded sheet as a file of the other kind next to this one (".csv" for a
    // workbook, ".xls" for a text file); the argument is the separator / sheet name.
    bool ConvertFormat(const QString& sheetOrSeparator);

    // The cells of row `row` (1-based; 0 = the next row of a sequential read).
    bool SplitRow(QStringList& values, int row = 0);

    int ColumnCount() const { return columnCount_; }
    QStringList FieldNames() const { return fieldNames_; }
    QString LastError() const { return lastError_; }

    // State of the sheet, for callers that need it and for tests.
    int RowCount() const { return rowCount_; }
    int CurrentRow() const { return currentRow_; }
    bool Exists() const { return exists_; }
    bool Backup() const { return backup_; }
    bool IsExcel() const { return isExcel_; }
    bool Batch() const { return batch_; }
    bool TypedColumns() const { return typing_ == Typing::TypedColumns; }
    QString SheetFile() const { return sheetFile_; }
    QString SheetName() const { return sheetName_; }
    QString Separator() const { return separator_; }
    const QStringList& Rows() const { return rows_; }

    // TypedColumns only: non-zero = column holds numbers. All 0 after construction; the caller
    // sets the flags directly.
    std::array<int, 1024> NumberColumn{};

private:
    struct Snapshot {
        QStringList rows, fieldNames;
        int rowCount, currentRow, columnCount;
        bool exists;
        bool withRows;
    };
    Snapshot Save() const;
    void Restore(const Snapshot& s);

    bool LoadSheet();
    bool LoadExcel();
    bool LoadText();
    bool WriteBackExcel();
    bool WriteBackText();
    bool PutRowUnchecked(const QStringList& values, int row, bool replace);
    bool IsNumberColumn(int column) const;
    QString EmptyLine() const;

    Typing typing_;
    bool exists_ = false;
    bool backup_ = false;
    bool isExcel_ = false;
    bool batch_ = false;
    int currentRow_ = 1;
    int rowCount_ = 0;
    int columnCount_ = 0;
    QString sheetFile_, sheetName_, separator_, lastError_;
    QStringList fieldNames_;
    QStringList rows_;
};
