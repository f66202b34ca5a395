#pragma once
// The encoded-line model of CSpreadSheet: a row is one text line, each cell
// between double quotes, cells joined by the separator.
//
// Mended fault: a double quote inside a cell is written doubled (""), as in RFC 4180, and a
// line made only of quoted cells is split by reading those quotes, so a cell may hold quotes
// and even the quote-separator-quote sequence. Lines in any other shape are split exactly as
// they always were (split at quote-separator-quote, else at the separator, else one cell).

#include <QString>
#include <QStringList>

namespace sheetline {

// "\"text\"" with inner quotes doubled.
QString QuoteCell(const QString& text);

// The cells of `line`.
QStringList SplitLine(const QString& line, const QString& separator);

// Joins already quoted cells.
QString JoinCells(const QStringList& quotedCells, const QString& separator);

// The text read as a decimal number the way the C library's atof does: leading blanks, sign,
// digits, fraction and exponent as far as they go; nothing readable gives 0.
double ReadNumber(const QString& text);

// "%.7f" of `value`, independent of the process locale.
QString FormatFixed7(double value);

// True when the whole text (blanks around allowed) is one decimal number; `value` gets it.
bool IsWholeNumber(const QString& text, double& value);

// The text an ODBC text read gives for a number cell: integers without a fraction, other
// values in the shortest form that reads back to the same number.
QString NumberText(double value);

} // namespace sheetline
