// What one status line costs the status box (and the monitor, the same box) when it is nearly
// empty and when it holds close to its 9,000,000-character limit, where each line also pays
// its share of dropping the oldest 15,000 characters. Each figure is the best of several rounds
// of 1000 lines (every round at the limit includes trims), since the machine may be busy with
// other work.

#include "companel/ui/log_box.h"
#include "companel/ui/monitor_format.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextCursor>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 7;
constexpr int kLinesPerRound = 1000;

QString StatusLine(int i) {
    return companel::StampLine(QStringLiteral("轮循过程收到报文头错误的报文! 第%1行").arg(i),
                               QTime(10, 5, 9));
}

// Best over the rounds of the mean microseconds per appended line. With `paint`, the box
// also lays out and repaints after every line, as it does when lines come one at a time.
double MeasureAppends(companel::LogBox& box, bool paint) {
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kLinesPerRound; ++i) {
            box.AppendLine(StatusLine(i));
            if (paint)
                QCoreApplication::processEvents();
        }
        rounds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0 / kLinesPerRound);
    }
    return *std::min_element(rounds.begin(), rounds.end());
}

void FillTo(companel::LogBox& box, int characters) {
    // Filled in one insertion: reaching the limit line by line would only slow the set-up.
    QString bulk;
    const QString line = StatusLine(0);
    bulk.reserve(characters + line.size());
    while (bulk.size() + line.size() <= characters)
        bulk += line;
    bulk.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor(box.document()).insertText(bulk);
    box.AppendLine(StatusLine(0));
    QCoreApplication::processEvents();
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
    QCoreApplication::processEvents();
    const double smallAppend = MeasureAppends(small, false);
    const double smallPainted = MeasureAppends(small, true);

    // Half full: as large as can be without trimming.
    companel::LogBox half;
    half.resize(700, 220);
    half.show();
    FillTo(half, companel::LogTrimThreshold / 2);
    const qint64 halfLength = half.Length();
    const double halfAppend = MeasureAppends(half, false);
    const double halfPainted = MeasureAppends(half, true);
    half.Clear();

    companel::LogBox full;
    full.resize(700, 220);
    full.show();
    FillTo(full, companel::LogTrimThreshold);
    const qint64 startLength = full.Length();
    const double fullAppend = MeasureAppends(full, false);
    const double fullPainted = MeasureAppends(full, true);

    std::printf("status line, microseconds per line     append   append+repaint\n");
    std::printf("box starting with 10 lines             %7.1f  %9.1f\n", smallAppend, smallPainted);
    std::printf("box starting at %lld characters   %7.1f  %9.1f\n",
                static_cast<long long>(halfLength), halfAppend, halfPainted);
    std::printf("box starting at %lld characters   %7.1f  %9.1f   (with trimming)\n",
                static_cast<long long>(startLength), fullAppend, fullPainted);
    std::printf("ratio near limit / near empty          %7.2f  %9.2f\n", fullAppend / smallAppend,
                fullPainted / smallPainted);
    std::printf("full box after %d lines: %lld characters (limit %d)\n",
                2 * kRounds * kLinesPerRound, static_cast<long long>(full.Length()),
                companel::LogMaxCharacters);
    return 0;
}
