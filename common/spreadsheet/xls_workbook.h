#pragma once
// A legacy Excel workbook (.xls, BIFF8) as values: sheets in order, each with its cells.
// ReadWorkbook reads one with libfreexl; WriteWorkbook writes one with our own BIFF8 writer
// (compound-file container holding the "Workbook" stream). Only values and their kinds are
// kept: fonts, widths and formulas of a workbook read in are not carried over.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace xls {

// BIFF8 limits of one sheet (A1:IV65536).
constexpr std::uint32_t kMaxRows = 65536;
constexpr std::uint32_t kMaxColumns = 256;
// Longest sheet name Excel accepts.
constexpr int kMaxSheetNameLength = 31;
// Longest cell text we write. Excel allows 32767; libfreexl reads a shared string only when it
// spans at most two records. A string starting a record holds (8224 - 3) / 2 UTF-16 characters
// there and (8224 - 1) / 2 in the next record: 8221 characters, which the writer guarantees
// and every string we can read satisfies.
constexpr int kMaxCellTextLength = 8221;

enum class CellKind : std::uint8_t {
    Number,   // a plain number
    Text,     // a text (shared string)
    Date,     // a number shown as a date (serial day, 1900 system)
    DateTime, // a number shown as date and time
    Time,     // a number shown as a time of day
};

struct Cell {
    std::uint32_t row = 0; // 0-based
    std::uint16_t column = 0;
    CellKind kind = CellKind::Text;
    double number = 0.0; // Number, Date, DateTime, Time
    QString text;        // Text
};

struct Sheet {
    QString name;
    // Used range: rows 0..rowCount-1, columns 0..columnCount-1 (may be larger than the cells).
    std::uint32_t rowCount = 0;
    std::uint16_t columnCount = 0;
    // Row-major order (row, then column), at most one cell per position.
    std::vector<Cell> cells;
};

struct Workbook {
    std::vector<Sheet> sheets;
};

// Index of the sheet named `name` (compared without case, as Excel does), or -1.
int FindSheet(const Workbook& book, const QString& name);

// Why `name` cannot be a sheet name, or an empty text when it can.
QString SheetNameProblem(const QString& name);

// Reads every worksheet of the workbook at `path`. False with the reason in `error` when the
// file is missing, is not a legacy workbook, or is damaged. Never throws.
bool ReadWorkbook(const QString& path, Workbook& book, QString& error);

// The whole file image of `book`. False with the reason in `error` when the book breaks a
// limit of the format (names, sizes, cell order); nothing is produced then.
bool BuildWorkbookFile(const Workbook& book, QByteArray& file, QString& error);

// Builds the image and replaces the file at `path` with it in one step (a failed write leaves
// the old file as it was).
bool WriteWorkbook(const QString& path, const Workbook& book, QString& error);

// Serial day numbers of the 1900 date system as libfreexl counts them (1 = 1900-01-01, every
// fourth year a leap year), so that dates read in are written back unchanged.
double SerialFromDate(int year, int month, int day);

} // namespace xls
