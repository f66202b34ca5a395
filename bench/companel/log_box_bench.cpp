// What one status line costs the status box (and the monitor, the same box) when it is nearly
// empty and when it holds close to its 9,000,000-character limit, where each line also pays
// its share of dropping the oldest 15,000 characters.

#include "companel/ui/log_box.h"
#include "companel/ui/monitor_format.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextCursor>
#include <cstdio>

namespace {

constexpr int kLines = 3000;

QString StatusLine(int i) {
    return companel::StampLine(QStringLiteral("轮循过程收到报文头错误的报文! 第%1行").arg(i),
                               QTime(10, 5, 9));
}

// Mean microseconds per appended line.
double MeasureAppends(companel::LogBox& box) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kLines; ++i) {
        box.AppendLine(StatusLine(i));
        QCoreApplication::processEvents(); // let the box lay out and paint as it would
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0 / kLines;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    companel::LogBox small;
    small.resize(700, 220);
    small.show();
    for (int i = 0; i < 10; ++i)
        small.AppendLine(StatusLine(i));
    const double nearEmpty = MeasureAppends(small);

    companel::LogBox full;
    full.resize(700, 220);
    full.show();
    // Filled in one insertion: reaching the limit line by line would only slow the set-up.
    QString bulk;
    const QString line = StatusLine(0);
    bulk.reserve(companel::LogTrimThreshold + line.size());
    while (bulk.size() + line.size() <= companel::LogTrimThreshold)
        bulk += line;
    bulk.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor(full.document()).insertText(bulk);
    full.AppendLine(StatusLine(0));
    const qint64 startLength = full.Length();
    const double nearLimit = MeasureAppends(full);

    std::printf("status line append, box with 10 lines:        %8.1f us\n", nearEmpty);
    std::printf("status line append, box at %lld characters: %8.1f us (includes trimming)\n",
                static_cast<long long>(startLength), nearLimit);
    std::printf("ratio near limit / near empty:               %8.2f\n", nearLimit / nearEmpty);
    std::printf("box length after the run: %lld characters (limit %d)\n",
                static_cast<long long>(full.Length()), companel::LogMaxCharacters);
    return 0;
}
