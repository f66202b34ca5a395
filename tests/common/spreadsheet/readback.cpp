#include "readback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <freexl.h>

namespace readback {
namespace {

double DateTextSerial(const QString& text, int type) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    const QByteArray t = text.toLatin1();
    if (type == FREEXL_CELL_DATE && std::sscanf(t.constData(), "%d-%d-%d", &y, &mo, &d) == 3)
        return xls::SerialFromDate(y, mo, d);
    if (type == FREEXL_CELL_DATETIME &&
        std::sscanf(t.constData(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) == 6)
        return xls::SerialFromDate(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
    if (type == FREEXL_CELL_TIME && std::sscanf(t.constData(), "%d:%d:%d", &h, &mi, &s) == 3)
        return (h * 3600 + mi * 60 + s) / 86400.0;
    return -1.0;
}

QString Describe(const DumpCell& c) {
    return QStringLiteral("(%1,%2) %3 %4")
        .arg(c.row)
        .arg(c.column)
        .arg(QChar::fromLatin1(c.type))
        .arg(c.type == 's' ? QStringLiteral("\"%1\"").arg(c.text.left(40))
                           : QString::number(c.number, 'g', 17));
}

// Minimal RFC 4180 reader for the converters' output.
std::vector<QStringList> ParseCsv(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    cell.append(ch);
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell.append(ch);
            }
            continue;
        }
        if (ch == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (ch == QLatin1Char(',')) {
            row.append(cell);
            cell.clear();
            any = true;
        } else if (ch == QLatin1Char('\n')) {
            row.append(cell);
            rows.push_back(row);
            row.clear();
            cell.clear();
            any = false;
        } else if (ch != QLatin1Char('\r')) {
            cell.append(ch);
            any = true;
        }
    }
    if (any || !cell.isEmpty()) {
        row.append(cell);
        rows.push_back(row);
    }
    return rows;
}

::testing::AssertionResult CompareCsv(const char* who, const DumpSheet& expected,
                                      const std::vector<QStringList>& csv) {
    for (const DumpCell& cell : expected.cells) {
        const QString got = cell.row < csv.size() && cell.column < csv[cell.row].size()
                                ? csv[cell.row][cell.column]
                                : QString();
        if (cell.type == 's' && got != cell.text)
            return ::testing::AssertionFailure()
                   << who << " sheet " << expected.name.toStdString() << ": "
                   << Describe(cell).toStdString() << " read as \"" << got.toStdString() << "\"";
        if (cell.type == 'n') {
            bool ok = false;
            const double v = got.toDouble(&ok);
            if (!ok || std::fabs(v - cell.number) > 1e-6 * std::max(1.0, std::fabs(cell.number)))
                return ::testing::AssertionFailure()
                       << who << " sheet " << expected.name.toStdString() << ": "
                       << Describe(cell).toStdString() << " read as \"" << got.toStdString()
                       << "\"";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

Dump Expected(const xls::Workbook& book) {
    Dump dump;
    for (const xls::Sheet& sheet : book.sheets) {
        DumpSheet s;
        s.name = sheet.name;
        for (const xls::Cell& cell : sheet.cells) {
            DumpCell d;
            d.row = cell.row;
            d.column = cell.column;
            switch (cell.kind) {
            case xls::CellKind::Text:
                d.type = 's';
                d.text = cell.text;
                break;
            case xls::CellKind::Number:
                d.type = 'n';
                d.number = cell.number;
                break;
            default:
                d.type = 'd';
                d.number = cell.number;
                break;
            }
            s.cells.push_back(d);
        }
        dump.push_back(s);
    }
    return dump;
}

bool DumpWithFreexl(const QString& path, Dump& out, QString& error) {
    out.clear();
    const void* handle = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = freexl_open(name.constData(), &handle);
    if (rc != FREEXL_OK) {
        error = QStringLiteral("freexl_open: %1").arg(rc);
        freexl_close(handle);
        return false;
    }
    unsigned int count = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned int i = 0; i < count; ++i) {
        DumpSheet sheet;
        const char* sheetName = nullptr;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &sheetName) !=
                FREEXL_OK ||
            freexl_select_active_worksheet(handle, static_cast<unsigned short>(i)) != FREEXL_OK ||
            freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
            error = QStringLiteral("freexl: sheet %1 unreadable").arg(i);
            freexl_close(handle);
            return false;
        }
        sheet.name = QString::fromUtf8(sheetName);
        for (unsigned int r = 0; r < rows; ++r)
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) {
                    error = QStringLiteral("freexl: cell %1,%2 unreadable").arg(r).arg(c);
                    freexl_close(handle);
                    return false;
                }
                DumpCell cell;
                cell.row = r;
                cell.column = c;
                switch (v.type) {
                case FREEXL_CELL_INT:
                    cell.type = 'n';
                    cell.number = v.value.int_value;
                    break;
                case FREEXL_CELL_DOUBLE:
                    cell.type = 'n';
                    cell.number = v.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    cell.type = 's';
                    cell.text = QString::fromUtf8(v.value.text_value);
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    cell.type = 'd';
                    cell.text = QString::fromUtf8(v.value.text_value);
                    cell.number = DateTextSerial(cell.text, v.type);
                    break;
                default:
                    continue;
                }
                sheet.cells.push_back(cell);
            }
        out.push_back(sheet);
    }
    freexl_close(handle);
    return true;
}

bool DumpWithXlrd(const QString& path, Dump& out, QString& error) {
    out.clear();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(RELAY_SOURCE_DIR "/tests/common/spreadsheet/xlrd_dump.py"), path});
    if (!python.waitForFinished(300000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        error = QStringLiteral("xlrd failed: %1 %2")
                    .arg(python.errorString(), QString::fromUtf8(python.readAllStandardError()));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput(), &parseError);
    if (!doc.isArray()) {
        error = QStringLiteral("xlrd output is not JSON: %1").arg(parseError.errorString());
        return false;
    }
    for (const QJsonValue& sheetValue : doc.array()) {
        const QJsonObject object = sheetValue.toObject();
        DumpSheet sheet;
        sheet.name = object.value(QStringLiteral("name")).toString();
        for (const QJsonValue& cellValue : object.value(QStringLiteral("cells")).toArray()) {
            const QJsonArray a = cellValue.toArray();
            DumpCell cell;
            cell.row = static_cast<std::uint32_t>(a.at(0).toInt());
            cell.column = static_cast<std::uint16_t>(a.at(1).toInt());
            const QString type = a.at(2).toString();
            cell.type = type.isEmpty() ? '?' : type.at(0).toLatin1();
            if (cell.type == 's')
                cell.text = a.at(3).toString();
            else
                cell.number = a.at(3).toDouble();
            sheet.cells.push_back(cell);
        }
        out.push_back(sheet);
    }
    return true;
}

::testing::AssertionResult SameDump(const char* who, const Dump& expected, const Dump& actual) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure()
               << who << ": " << actual.size() << " sheets, expected " << expected.size();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DumpSheet& e = expected[i];
        const DumpSheet& a = actual[i];
        if (e.name != a.name)
            return ::testing::AssertionFailure()
                   << who << ": sheet " << i << " is named \"" << a.name.toStdString()
                   << "\", expected \"" << e.name.toStdString() << "\"";
        const std::size_t n = std::max(e.cells.size(), a.cells.size());
        for (std::size_t k = 0; k < n; ++k) {
            if (k >= e.cells.size() || k >= a.cells.size())
                return ::testing::AssertionFailure()
                       << who << " sheet " << e.name.toStdString() << ": " << a.cells.size()
                       << " cells, expected " << e.cells.size() << "; first extra "
                       << Describe(k < a.cells.size() ? a.cells[k] : e.cells[k]).toStdString();
            const DumpCell& ec = e.cells[k];
            const DumpCell& ac = a.cells[k];
            const bool same = ec.row == ac.row && ec.column == ac.column && ec.type == ac.type &&
                              (ec.type == 's'   ? ec.text == ac.text
                               : ec.type == 'd' ? std::fabs(ec.number - ac.number) < 1.0 / 86400.0
                                                : ec.number == ac.number);
            if (!same)
                return ::testing::AssertionFailure()
                       << who << " sheet " << e.name.toStdString() << ": cell "
                       << Describe(ac).toStdString() << ", expected " << Describe(ec).toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadersAgree(const QString& path, const Dump& expected) {
    Dump dump;
    QString error;
    if (!DumpWithFreexl(path, dump, error))
        return ::testing::AssertionFailure() << error.toStdString();
    auto result = SameDump("libfreexl", expected, dump);
    if (!result)
        return result;
    if (!DumpWithXlrd(path, dump, error))
        return ::testing::AssertionFailure() << error.toStdString();
    result = SameDump("xlrd", expected, dump);
    if (!result)
        return result;
    // The project's own reader (check before reading, then libfreexl) accepts it too.
    xls::Workbook book;
    if (!xls::ReadWorkbook(path, book, error))
        return ::testing::AssertionFailure() << "ReadWorkbook: " << error.toStdString();
    return SameDump("ReadWorkbook", expected, Expected(book));
}

::testing::AssertionResult OfficeAgrees(const QString& path, const Dump& expected, bool& skipped) {
    skipped = false;
    QTemporaryDir dir;
    const QString gnumeric = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!gnumeric.isEmpty()) {
        QProcess p;
        p.start(gnumeric,
                {QStringLiteral("-S"), path, dir.filePath(QStringLiteral("sheet%n.csv"))});
        if (!p.waitForFinished(300000) || p.exitCode() != 0)
            return ::testing::AssertionFailure() << "ssconvert failed";
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QFile f(dir.filePath(QStringLiteral("sheet%1.csv").arg(i)));
            if (!f.open(QIODevice::ReadOnly)) {
                if (expected[i].cells.empty())
                    continue; // an empty sheet may give no file
                return ::testing::AssertionFailure() << "ssconvert wrote no sheet " << i;
            }
            auto r = CompareCsv("gnumeric", expected[i], ParseCsv(QString::fromUtf8(f.readAll())));
            if (!r)
                return r;
        }
        return ::testing::AssertionSuccess();
    }
    if (!office.isEmpty()) {
        QProcess p;
        p.start(office, {QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                         QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                         QStringLiteral("--outdir"), dir.path(), path});
        if (!p.waitForFinished(300000) || p.exitCode() != 0)
            return ::testing::AssertionFailure() << "soffice failed";
        QFile f(dir.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".csv")));
        if (!f.open(QIODevice::ReadOnly))
            return ::testing::AssertionFailure() << "soffice wrote no CSV";
        if (expected.empty())
            return ::testing::AssertionSuccess();
        return CompareCsv("LibreOffice", expected[0], ParseCsv(QString::fromUtf8(f.readAll())));
    }
    skipped = true;
    return ::testing::AssertionFailure() << "neither LibreOffice nor gnumeric is installed";
}

} // namespace readback
