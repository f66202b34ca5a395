// Prints how long CSpreadSheet takes to write a 65,535-row, 3-column sheet into a workbook
// and a text file and to read each back (construction loads the whole sheet).
// Usage: bench_spreadsheet [folder]   (default: a temporary folder)

#include "common/spreadsheet/spreadsheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kDataRows = 65535;

struct Figures {
    double fillMs = 0, writeMs = 0, readMs = 0;
    qint64 bytes = 0;
    int rowsRead = 0;
    bool ok = false;
};

Figures Measure(const QString& path, const QString& sheetOrSeparator, CSpreadSheet::Typing typing) {
    Figures f;
    QElapsedTimer timer;
    {
        CSpreadSheet sheet(path, sheetOrSeparator, false, typing);
        sheet.NumberColumn[0] = 1;
        sheet.NumberColumn[2] = 1;
        timer.start();
        sheet.StartBatch();
        sheet.PutHeader({QStringLiteral("序号"), QStringLiteral("名称"), QStringLiteral("设定值")});
        for (int i = 1; i <= kDataRows; ++i)
            sheet.PutRow({QString::number(i), QStringLiteral("遥测量%1").arg(i % 1000),
                          QString::number(i * 0.125, 'f', 3)});
        f.fillMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        f.ok = sheet.WriteBack();
        f.writeMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (!f.ok)
            std::fprintf(stderr, "write failed: %s", qPrintable(sheet.LastError()));
    }
    f.bytes = QFileInfo(path).size();
    timer.restart();
    CSpreadSheet again(path, sheetOrSeparator, false, typing);
    f.readMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    f.rowsRead = again.RowCount();
    return f;
}

void Print(const char* what, const Figures& f) {
    std::printf(
        "%-28s fill %8.1f ms  write %8.1f ms  read back %8.1f ms  (%d rows, %lld bytes)%s\n", what,
        f.fillMs, f.writeMs, f.readMs, f.rowsRead, static_cast<long long>(f.bytes),
        f.ok && f.rowsRead == kDataRows + 1 ? "" : "  FAILED");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    std::printf("CSpreadSheet, %d data rows + header, 3 columns\n", kDataRows);
    Print(".xls, typed columns",
          Measure(folder + QStringLiteral("/bench_typed.xls"), QStringLiteral("定值"),
                  CSpreadSheet::Typing::TypedColumns));
    Print(".xls, text columns",
          Measure(folder + QStringLiteral("/bench_text.xls"), QStringLiteral("测量检验值"),
                  CSpreadSheet::Typing::TextColumns));
    Print(".csv, separator ;", Measure(folder + QStringLiteral("/bench.csv"), QStringLiteral(";"),
                                       CSpreadSheet::Typing::TextColumns));
    return 0;
}
