// Reading a legacy workbook with libfreexl into the value model of xls_workbook.h.
// Before libfreexl sees a file, CheckWorkbookFile (xls_check.cpp) walks its container and
// records, so that a damaged or crafted file is refused by us instead of being trusted.

#include "xls_check.h"
#include "xls_workbook.h"

#include <QFile>
#include <QFileInfo>
#include <freexl.h>

namespace xls {
namespace {

QString FreexlMessage(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("file not found or not readable");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("not enough memory");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
        return QStringLiteral("not a legacy Excel workbook (bad compound-file header)");
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return QStringLiteral("damaged compound file");
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("no Excel 97-2003 workbook stream");
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
        return QStringLiteral("damaged shared-string table");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return QStringLiteral("text in an unknown character set");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("damaged or crafted workbook");
    default:
        return QStringLiteral("libfreexl error %1").arg(code);
    }
}

// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS" as libfreexl writes them.
bool ParseDateText(const QString& text, CellKind kind, double& serial) {
    const QByteArray t = text.toLatin1();
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (kind == CellKind::Date) {
        if (std::sscanf(t.constData(), "%d-%d-%d", &y, &mo, &d) != 3)
            return false;
        serial = SerialFromDate(y, mo, d);
    } else if (kind == CellKind::DateTime) {
        if (std::sscanf(t.constData(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
            return false;
        serial = SerialFromDate(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
    } else {
        if (std::sscanf(t.constData(), "%d:%d:%d", &h, &mi, &s) != 3)
            return false;
        serial = (h * 3600 + mi * 60 + s) / 86400.0;
    }
    return serial > 0.0 || kind == CellKind::Time;
}

class Handle {
public:
    ~Handle() {
        if (handle_)
            freexl_close(handle_);
    }
    const void** out() { return &handle_; }
    const void* get() const { return handle_; }

private:
    const void* handle_ = nullptr;
};

} // namespace

bool ReadWorkbook(const QString& path, Workbook& book, QString& error) {
    book = Workbook();
    try {
        if (!QFileInfo::exists(path)) {
            error = QStringLiteral("Workbook %1 does not exist\n").arg(path);
            return false;
        }
        QString problem;
        if (!CheckWorkbookFile(path, problem)) {
            error = QStringLiteral("Cannot read workbook %1: %2\n").arg(path, problem);
            return false;
        }
        Handle handle;
        const QByteArray name = QFile::encodeName(path);
        int rc = freexl_open(name.constData(), handle.out());
        if (rc != FREEXL_OK) {
            error = QStringLiteral("Cannot read workbook %1: %2\n").arg(path, FreexlMessage(rc));
            return false;
        }
        unsigned int info = 0;
        if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
            info == FREEXL_BIFF_OBFUSCATED) {
            error = QStringLiteral("Cannot read workbook %1: it is protected by a password\n")
                        .arg(path);
            return false;
        }
        unsigned int sheetCount = 0;
        rc = freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &sheetCount);
        if (rc != FREEXL_OK) {
            error = QStringLiteral("Cannot read workbook %1: %2\n").arg(path, FreexlMessage(rc));
            return false;
        }
        for (unsigned int i = 0; i < sheetCount && i < 65536; ++i) {
            const auto index = static_cast<unsigned short>(i);
            Sheet sheet;
            const char* sheetName = nullptr;
            rc = freexl_get_worksheet_name(handle.get(), index, &sheetName);
            if (rc == FREEXL_OK)
                rc = freexl_select_active_worksheet(handle.get(), index);
            unsigned int rows = 0;
            unsigned short columns = 0;
            if (rc == FREEXL_OK)
                rc = freexl_worksheet_dimensions(handle.get(), &rows, &columns);
            if (rc != FREEXL_OK) {
                error =
                    QStringLiteral("Cannot read workbook %1: %2\n").arg(path, FreexlMessage(rc));
                return false;
            }
            if (rows > kMaxRows || columns > kMaxColumns) {
                error = QStringLiteral("Cannot read workbook %1: sheet %2 is larger than an "
                                       "Excel sheet can be\n")
                            .arg(path)
                            .arg(i + 1);
                return false;
            }
            sheet.name = QString::fromUtf8(sheetName ? sheetName : "");
            sheet.rowCount = rows;
            sheet.columnCount = columns;
            for (unsigned int r = 0; r < rows; ++r) {
                for (unsigned short c = 0; c < columns; ++c) {
                    FreeXL_CellValue value;
                    rc = freexl_get_cell_value(handle.get(), r, c, &value);
                    if (rc != FREEXL_OK) {
                        error = QStringLiteral("Cannot read workbook %1: %2\n")
                                    .arg(path, FreexlMessage(rc));
                        return false;
                    }
                    Cell cell;
                    cell.row = r;
                    cell.column = c;
                    switch (value.type) {
                    case FREEXL_CELL_INT:
                        cell.kind = CellKind::Number;
                        cell.number = value.value.int_value;
                        break;
                    case FREEXL_CELL_DOUBLE:
                        cell.kind = CellKind::Number;
                        cell.number = value.value.double_value;
                        break;
                    case FREEXL_CELL_TEXT:
                    case FREEXL_CELL_SST_TEXT:
                        cell.kind = CellKind::Text;
                        cell.text =
                            QString::fromUtf8(value.value.text_value ? value.value.text_value : "");
                        if (cell.text.isEmpty())
                            continue;
                        break;
                    case FREEXL_CELL_DATE:
                    case FREEXL_CELL_DATETIME:
                    case FREEXL_CELL_TIME: {
                        cell.kind = value.type == FREEXL_CELL_DATE       ? CellKind::Date
                                    : value.type == FREEXL_CELL_DATETIME ? CellKind::DateTime
                                                                         : CellKind::Time;
                        cell.text =
                            QString::fromUtf8(value.value.text_value ? value.value.text_value : "");
                        if (!ParseDateText(cell.text, cell.kind, cell.number))
                            cell.kind = CellKind::Text; // keep what was shown
                        if (cell.kind == CellKind::Text && cell.text.isEmpty())
                            continue;
                        break;
                    }
                    default:
                        continue; // empty cell
                    }
                    sheet.cells.push_back(std::move(cell));
                }
            }
            book.sheets.push_back(std::move(sheet));
        }
        return true;
    } catch (...) {
        book = Workbook();
        error = QStringLiteral("Cannot read workbook %1: not enough memory\n").arg(path);
        return false;
    }
}

} // namespace xls
