#include "spreadsheet.h"

#include "common/support/gbk.h"
#include "sheet_line.h"
#include "xls_workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>

namespace {

std::atomic<int> g_programTyping{static_cast<int>(CSpreadSheet::Typing::TextColumns)};

const QString kExcelSeparator = QStringLiteral(",;.?");
const QString kBackupSheet = QStringLiteral("CSpreadSheetBackup");

// Rows a PutRow may reach: an Excel sheet ends at 65536; a text file is not limited by the
// format, but padding up to an absurd row number would only exhaust memory.
constexpr int kMaxExcelRow = static_cast<int>(xls::kMaxRows);
constexpr int kMaxTextRow = 1 << 24;

bool IsExcelName(const QString& file) {
    return file.size() >= 4 && file.right(4).toLower() == QLatin1String(".xls");
}

} // namespace

void CSpreadSheet::SetProgramTyping(Typing typing) {
    g_programTyping.store(static_cast<int>(typing));
}

CSpreadSheet::Typing CSpreadSheet::ProgramTyping() {
    return static_cast<Typing>(g_programTyping.load());
}

CSpreadSheet::CSpreadSheet(const QString& file, const QString& sheetOrSeparator, bool backup,
                           Typing typing)
    : typing_(typing), backup_(backup), sheetFile_(file) {
    try {
        if (IsExcelName(file)) {
            isExcel_ = true;
            sheetName_ = sheetOrSeparator;
            separator_ = kExcelSeparator;
            if (LoadSheet() && backup_ && exists_) {
                const QString remembered = sheetName_;
                sheetName_ = kBackupSheet;
                exists_ = false;
                if (!WriteBack())
                    backup_ = false;
                exists_ = true;
                sheetName_ = remembered;
                currentRow_ = 1;
            }
        } else {
            isExcel_ = false;
            separator_ = sheetOrSeparator;
            if (LoadSheet() && backup_ && exists_) {
                sheetFile_ = QStringLiteral("%1.bak").arg(file);
                if (!WriteBack())
                    backup_ = false;
                sheetFile_ = file;
            }
        }
    } catch (...) {
        lastError_ = QStringLiteral("Not enough memory to open %1\n").arg(file);
        rows_.clear();
        fieldNames_.clear();
        rowCount_ = columnCount_ = 0;
        currentRow_ = 1;
        exists_ = false;
        sheetFile_ = file;
    }
    NumberColumn.fill(0);
}

CSpreadSheet::~CSpreadSheet() = default;

// In batch mode nothing is written, and every refusal comes before the rows change, so only
// the counts are kept; holding a second reference to the rows there would make every append
// copy the whole list.
CSpreadSheet::Snapshot CSpreadSheet::Save() const {
    Snapshot s{QStringList(), QStringList(), rowCount_, currentRow_,
               columnCount_,  exists_,       !batch_};
    if (s.withRows) {
        s.rows = rows_;
        s.fieldNames = fieldNames_;
    }
    return s;
}

void CSpreadSheet::Restore(const Snapshot& s) {
    if (s.withRows) {
        rows_ = s.rows;
        fieldNames_ = s.fieldNames;
    }
    rowCount_ = s.rowCount;
    currentRow_ = s.currentRow;
    columnCount_ = s.columnCount;
    exists_ = s.exists;
}

bool CSpreadSheet::IsNumberColumn(int column) const {
    return typing_ == Typing::TypedColumns && column >= 0 &&
           column < static_cast<int>(NumberColumn.size()) &&
           NumberColumn[static_cast<std::size_t>(column)] != 0;
}

QString CSpreadSheet::EmptyLine() const {
    QStringList cells;
    for (int i = 0; i < columnCount_; ++i)
        cells.append(isExcel_ ? QStringLiteral("\" \"") : QStringLiteral("\"\""));
    return cells.join(separator_);
}

// ---------------------------------------------------------------------------------- loading

bool CSpreadSheet::LoadSheet() {
    return isExcel_ ? LoadExcel() : LoadText();
}

bool CSpreadSheet::LoadExcel() {
    const QFileInfo info(sheetFile_);
    if (!info.exists() || info.size() == 0)
        return false; // no workbook yet: no such sheet
    xls::Workbook book;
    QString error;
    if (!xls::ReadWorkbook(sheetFile_, book, error)) {
        lastError_ = error; // the object starts empty; WriteBack will refuse to overwrite
        return false;
    }
    const int index = xls::FindSheet(book, sheetName_);
    if (index < 0)
        return false;
    const xls::Sheet& sheet = book.sheets[static_cast<std::size_t>(index)];
    columnCount_ = sheet.rowCount == 0 ? 0 : sheet.columnCount;
    if (columnCount_ == 0) {
        currentRow_ = 1;
        return true;
    }
    // Cell texts as a text read of the sheet gives them; empty cells are empty texts.
    std::size_t next = 0; // cells are in row-major order
    auto rowTexts = [&](std::uint32_t r) {
        QStringList texts;
        for (int c = 0; c < columnCount_; ++c)
            texts.append(QString());
        for (; next < sheet.cells.size() && sheet.cells[next].row == r; ++next) {
            const xls::Cell& cell = sheet.cells[next];
            texts[cell.column] =
                cell.kind == xls::CellKind::Number ? sheetline::NumberText(cell.number) : cell.text;
        }
        return texts;
    };
    auto encode = [this](const QStringList& texts) {
        QStringList quoted;
        for (const QString& text : texts)
            quoted.append(sheetline::QuoteCell(text));
        return sheetline::JoinCells(quoted, separator_);
    };

    rows_.clear();
    exists_ = true;
    ++rowCount_;
    QStringList names = rowTexts(0);
    for (int c = 0; c < columnCount_; ++c)
        if (names[c].isEmpty())
            names[c] = QStringLiteral("F%1").arg(c + 1); // how an unnamed column is called
    fieldNames_.append(names);
    rows_.append(encode(names));
    for (std::uint32_t r = 1; r < sheet.rowCount; ++r) {
        ++rowCount_;
        rows_.append(encode(rowTexts(r)));
    }
    currentRow_ = 1;
    return true;
}

bool CSpreadSheet::LoadText() {
    QFile file(sheetFile_);
    if (!file.open(QIODevice::ReadOnly)) {
        lastError_ = QStringLiteral("Error in opening file\n");
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    static const QByteArray kUtf8Bom("\xEF\xBB\xBF");
    const QString text =
        bytes.startsWith(kUtf8Bom) ? QString::fromUtf8(bytes.mid(3)) : support::FromGbk(bytes);
    rows_.clear();
    if (!text.isEmpty()) {
        rows_ = text.split(QLatin1Char('\n'));
        if (text.endsWith(QLatin1Char('\n')))
            rows_.removeLast();
        for (QString& line : rows_)
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
    }
    if (!rows_.isEmpty())
        fieldNames_ = sheetline::SplitLine(rows_.first(), separator_);
    rowCount_ = static_cast<int>(rows_.size());
    columnCount_ = 0;
    for (const QString& line : rows_)
        columnCount_ =
            std::max(columnCount_, static_cast<int>(sheetline::SplitLine(line, separator_).size()));
    exists_ = columnCount_ != 0;
    currentRow_ = 1;
    return true;
}

// ----------------------------------------------------------------------------- row access

bool CSpreadSheet::SplitRow(QStringList& values, int row) {
    if (row < 0 || row > rows_.size()) {
        lastError_ = QStringLiteral("Desired row is greater than total number of rows in "
                                    "spreadsheet\n");
        return false;
    }
    if (row != 0)
        currentRow_ = row;
    else if (currentRow_ > rows_.size() || currentRow_ < 1)
        return false;
    values = sheetline::SplitLine(rows_[currentRow_ - 1], separator_);
    ++currentRow_;
    return true;
}

bool CSpreadSheet::PutRow(const QStringList& values, int row, bool replace) {
    const Snapshot before = Save();
    try {
        if (PutRowUnchecked(values, row, replace))
            return true;
    } catch (...) {
        lastError_ = QStringLiteral("Not enough memory for the row\n");
    }
    Restore(before); // a refused row or a failed write leaves everything as it was
    return false;
}

// Encodes and places the row; the result of an immediate WriteBack is passed on.
bool CSpreadSheet::PutRowUnchecked(const QStringList& values, int row, bool replace) {
    // The row this call would make the last one, refused here rather than at WriteBack.
    const int last = row == 0           ? rowCount_ + 1
                     : row <= rowCount_ ? rowCount_ + (replace ? 0 : 1)
                                        : row;
    if (isExcel_ && row >= 0 && last > kMaxExcelRow)
        row = last;
    if (row < 0 || row > (isExcel_ ? kMaxExcelRow : kMaxTextRow)) {
        lastError_ = isExcel_ ? QStringLiteral("Row %1 is outside an Excel sheet (rows 1 to "
                                               "%2)\n")
                                    .arg(row)
                                    .arg(kMaxExcelRow)
                              : QStringLiteral("Row %1 is outside the rows a text file may "
                                               "have (1 to %2)\n")
                                    .arg(row)
                                    .arg(kMaxTextRow);
        return false;
    }
    const int n = static_cast<int>(values.size());
    if (row == 1) {
        if (isExcel_) {
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    if (i != j && values[i] == values[j]) {
                        lastError_ =
                            QStringLiteral("Duplicate header row field:%1\n").arg(values[i]);
                        return false;
                    }
            if (n < columnCount_) {
                lastError_ = QStringLiteral("Number of columns in new header row cannot be less "
                                            "than the number of columns in previous header row");
                return false;
            }
            columnCount_ = n;
        }
        fieldNames_ = values;
    } else if (isExcel_ && columnCount_ == 0) {
        lastError_ = QStringLiteral("No header row. Add header row first\n");
        return false;
    }
    if (isExcel_) {
        if (n > fieldNames_.size()) {
            lastError_ = QStringLiteral("Number of columns to be added cannot be greater than "
                                        "the number of fields\n");
            return false;
        }
    } else if (n > columnCount_) {
        columnCount_ = n;
    }

    // Encode: numbers of number columns as "%.7f", except in the last column.
    QStringList quoted;
    for (int i = 0; i < n; ++i) {
        if (i != n - 1 && IsNumberColumn(i))
            quoted.append(
                sheetline::QuoteCell(sheetline::FormatFixed7(sheetline::ReadNumber(values[i]))));
        else
            quoted.append(sheetline::QuoteCell(values[i]));
    }
    const QString line = sheetline::JoinCells(quoted, separator_);

    auto writeUnlessBatch = [&]() { return batch_ || WriteBack(); };

    int remembered = 0;
    if (row != 0) {
        if (row <= rowCount_) {
            if (replace) {
                if (row - 1 < rows_.size())
                    rows_[row - 1] = line;
                else
                    rows_.append(line);
            } else {
                rows_.insert(std::min<qsizetype>(row - 1, rows_.size()), line);
                ++rowCount_;
            }
            return writeUnlessBatch();
        }
        // Pad with empty lines up to the row before `row`.
        currentRow_ = rowCount_;
        const QString empty = EmptyLine();
        for (int j = rowCount_ + 1; j < row; ++j) {
            ++currentRow_;
            rows_.append(empty);
        }
    } else {
        remembered = currentRow_;
        currentRow_ = rowCount_;
    }
    ++currentRow_;
    rows_.append(line);
    if (rowCount_ < row) {
        rowCount_ = row;
    } else if (row == 0) {
        rowCount_ = currentRow_;
        currentRow_ = remembered;
    }
    return writeUnlessBatch();
}

bool CSpreadSheet::PutHeader(const QStringList& names, bool replace) {
    const Snapshot before = Save();
    try {
        if (!exists_) {
            columnCount_ = static_cast<int>(names.size());
            if (!PutRow(names, 1, true)) {
                Restore(before);
                return false;
            }
            rowCount_ = 1;
            return true;
        }
        if (replace)
            return PutRow(names, 1, true);
        QStringList present;
        if (!SplitRow(present, 1)) {
            Restore(before);
            return false;
        }
        if (isExcel_)
            for (const QString& name : names)
                if (present.contains(name)) {
                    lastError_ = QStringLiteral("Duplicate header row field:%1\n").arg(name);
                    Restore(before);
                    return false;
                }
        present.append(names);
        if (!PutRow(present, 1, true)) {
            lastError_ = QStringLiteral("Problems with adding headers\n") + lastError_;
            Restore(before);
            return false;
        }
        columnCount_ = std::max(columnCount_, static_cast<int>(present.size()));
        return true;
    } catch (...) {
        Restore(before);
        lastError_ = QStringLiteral("Not enough memory for the header\n");
        return false;
    }
}

void CSpreadSheet::StartBatch() {
    batch_ = true;
}

// ---------------------------------------------------------------------------------- writing

bool CSpreadSheet::WriteBack() {
    try {
        return isExcel_ ? WriteBackExcel() : WriteBackText();
    } catch (...) {
        lastError_ = QStringLiteral("Not enough memory to write %1\n").arg(sheetFile_);
        return false;
    }
}

bool CSpreadSheet::WriteBackText() {
    QByteArray bytes;
    for (const QString& line : rows_) {
        bytes.append(support::ToGbk(line));
        bytes.append("\r\n", 2);
    }
    QSaveFile file(sheetFile_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        lastError_ =
            QStringLiteral("Error writing file\n%1: %2\n").arg(sheetFile_, file.errorString());
        file.cancelWriting();
        return false;
    }
    // Written once with content: later headers extend this one instead of replacing it.
    if (columnCount_ != 0)
        exists_ = true;
    batch_ = false;
    return true;
}

bool CSpreadSheet::WriteBackExcel() {
    const int columns = static_cast<int>(fieldNames_.size());
    if (columns == 0) {
        lastError_ = QStringLiteral("No header row. Add header row first\n");
        return false;
    }
    if (columns > static_cast<int>(xls::kMaxColumns) || rowCount_ > kMaxExcelRow) {
        lastError_ = QStringLiteral("Sheet %1 has %2 rows and %3 columns; an Excel sheet holds "
                                    "at most %4 rows and %5 columns\n")
                         .arg(sheetName_)
                         .arg(rowCount_)
                         .arg(columns)
                         .arg(kMaxExcelRow)
                         .arg(xls::kMaxColumns);
        return false;
    }
    const QString nameProblem = xls::SheetNameProblem(sheetName_);
    if (!nameProblem.isEmpty()) {
        lastError_ = nameProblem;
        return false;
    }

    // The sheet as DROP/CREATE/INSERT would leave it.
    xls::Sheet sheet;
    sheet.name = sheetName_;
    sheet.columnCount = static_cast<std::uint16_t>(columns);
    sheet.rowCount = static_cast<std::uint32_t>(std::max(rowCount_, 1));
    for (int c = 0; c < columns; ++c)
        if (!fieldNames_[c].isEmpty()) {
            xls::Cell cell;
            cell.row = 0;
            cell.column = static_cast<std::uint16_t>(c);
            cell.kind = xls::CellKind::Text;
            cell.text = fieldNames_[c];
            sheet.cells.push_back(std::move(cell));
        }
    QStringList values;
    for (int r = 1; r <= rowCount_ - 1; ++r) {
        if (!SplitRow(values, r + 1))
            break;
        if (values.size() > columns) {
            lastError_ = QStringLiteral("Number of query values and destination fields are not "
                                        "the same.\n");
            return false;
        }
        for (int c = 0; c < values.size(); ++c) {
            const QString& text = values[c];
            xls::Cell cell;
            cell.row = static_cast<std::uint32_t>(r);
            cell.column = static_cast<std::uint16_t>(c);
            double number = 0.0;
            if (IsNumberColumn(c) && sheetline::IsWholeNumber(text, number)) {
                cell.kind = xls::CellKind::Number;
                cell.number = number;
            } else if (IsNumberColumn(c) && text.trimmed().isEmpty()) {
                continue; // no value
            } else if (text.isEmpty()) {
                continue;
            } else {
                cell.kind = xls::CellKind::Text;
                cell.text = text;
            }
            sheet.cells.push_back(std::move(cell));
        }
    }

    // The workbook as it is on disk, with this sheet dropped and created again.
    xls::Workbook book;
    const QFileInfo info(sheetFile_);
    if (info.exists() && info.size() > 0) {
        QString error;
        if (!xls::ReadWorkbook(sheetFile_, book, error)) {
            lastError_ = error;
            return false;
        }
    }
    const int index = xls::FindSheet(book, sheetName_);
    if (!exists_ && index >= 0 && !book.sheets[static_cast<std::size_t>(index)].cells.empty()) {
        lastError_ = QStringLiteral("Table '%1' already exists.\n").arg(sheetName_);
        return false;
    }
    if (index >= 0)
        book.sheets[static_cast<std::size_t>(index)] = std::move(sheet);
    else
        book.sheets.push_back(std::move(sheet));
    QString error;
    if (!xls::WriteWorkbook(sheetFile_, book, error)) {
        lastError_ = error;
        return false;
    }
    if (!exists_) {
        columnCount_ = columns;
        exists_ = true;
    }
    batch_ = false;
    return true;
}

bool CSpreadSheet::ConvertFormat(const QString& sheetOrSeparator) {
    try {
        const QString base = sheetFile_.left(sheetFile_.size() - 4);
        QStringList values;
        if (isExcel_) {
            CSpreadSheet target(base + QStringLiteral(".csv"), sheetOrSeparator, false, typing_);
            if (target.ColumnCount() != 0) {
                lastError_ = QStringLiteral("%1 already has content\n").arg(target.SheetFile());
                return false;
            }
            target.StartBatch();
            for (int r = 1; r <= rowCount_; ++r) {
                if (!SplitRow(values, r))
                    return false;
                if (!target.PutRow(values, r, false)) {
                    lastError_ = target.LastError();
                    return false;
                }
            }
            if (!target.WriteBack()) {
                lastError_ = target.LastError();
                return false;
            }
            return true;
        }
        CSpreadSheet target(base + QStringLiteral(".xls"), sheetOrSeparator, false, typing_);
        if (target.ColumnCount() != 0) {
            lastError_ = QStringLiteral("Sheet %1 of %2 already has content\n")
                             .arg(sheetOrSeparator, target.SheetFile());
            return false;
        }
        target.StartBatch();
        const QStringList names = fieldNames_;
        bool duplicate = false;
        for (int i = 0; i < names.size() && !duplicate; ++i)
            for (int j = i + 1; j < names.size(); ++j)
                if (names[i] == names[j]) {
                    lastError_ = QStringLiteral("Duplicate header row field:%1\n").arg(names[i]);
                    duplicate = true;
                    break;
                }
        auto fail = [this, &target]() {
            lastError_ = target.LastError();
            return false;
        };
        if (duplicate) {
            QStringList numbered;
            for (int i = 1; i <= columnCount_; ++i)
                numbered.append(QString::number(i));
            if (!target.PutHeader(numbered, false))
                return fail();
            for (int r = 1; r <= rowCount_; ++r) {
                if (!SplitRow(values, r))
                    return false;
                if (!target.PutRow(values, r + 1, false))
                    return fail();
            }
        } else {
            if (!target.PutHeader(names, false))
                return fail();
            for (int r = 2; r <= rowCount_; ++r) {
                if (!SplitRow(values, r))
                    return false;
                if (!target.PutRow(values, r, false))
                    return fail();
            }
        }
        if (!target.WriteBack())
            return fail();
        return true;
    } catch (...) {
        lastError_ = QStringLiteral("Not enough memory to convert %1\n").arg(sheetFile_);
        return false;
    }
}
