// How close companel polls to what the line allows, and what it costs the machine.
//
// Runs the relay simulator as its own process on a pseudo-terminal, paced like a 9600 bit/s
// line, and the management thread against it. Prints the achieved poll period against the
// protocol floor (request and answer on the wire + 200 ms silence + the relay's turnaround),
// the CPU the program uses while polling and while the port cannot be used, and how its
// resident memory moved over the run.
//
// Usage: companel_poll_bench [seconds per phase, default 20]

#include "common/support/appdir.h"
#include "companel/link/port_name.h"
#include "companel/polling/management_thread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

using namespace companel;
using Clock = std::chrono::steady_clock;

namespace {

class CountingReporter : public SilentReporter {
public:
    std::atomic<int> Polls{0};
    std::atomic<long long> LastPollNs{0}; // when the latest poll answer was decoded
    // Called once per decoded poll.
    void SetModel(const QString&) override {
        LastPollNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count();
        ++Polls;
    }
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ResidentKb() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4 : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
    const QString ini = QStringLiteral(RELAY_SOURCE_DIR "/resources/companel/配置文件/VKD2950.ini");
    const QString simPath = QCoreApplication::applicationDirPath() + QStringLiteral("/vkd2950-sim");
    const int turnaroundMs = 5;

    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    QDir().mkpath(PortLinkFolder());
    const QString link = PortLinkFolder() + QStringLiteral("/COM3");

    QProcess sim;
    sim.start(simPath, {QStringLiteral("--ini"), ini, QStringLiteral("--link"), link,
                        QStringLiteral("--pacing"), QStringLiteral("on"),
                        QStringLiteral("--turnaround"), QString::number(turnaroundMs),
                        QStringLiteral("--signal-period"), QStringLiteral("0")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(simPath));
        return 1;
    }

    CompanelState state;
    state.LoadTables(ini);
    const int ask = state.Tables.Telemetry.AskNumber;
    const double byteMs = 10.0 * 1000.0 / 9600.0;
    // On a real 9600 bit/s line the request takes its wire time too; on the pseudo-terminal only
    // the simulator's answer is paced, so the floor this run can reach leaves the request out.
    const double lineFloorMs = (8 + 5 + 2 * ask) * byteMs + 200.0 + turnaroundMs;
    const double floorMs = (5 + 2 * ask) * byteMs + 200.0 + turnaroundMs;

    SerialPort port;
    CountingReporter out;
    ManagementThread thread(state, port, out);

    // Phase 1: the port cannot be used (nothing opened).
    thread.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double cpu0 = CpuSeconds();
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds / 2));
    const double idleWall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double idleCpu = CpuSeconds() - cpu0;

    // Phase 2: polling the simulated relay.
    if (!port.Open(3)) {
        std::fprintf(stderr, "cannot open the simulator's line\n");
        return 1;
    }
    while (out.Polls.load() < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const long rssStart = ResidentKb();
    const int polls0 = out.Polls.load();
    const long long first = out.LastPollNs.load();
    cpu0 = CpuSeconds();
    t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    const int polls = out.Polls.load() - polls0;
    const long long last = out.LastPollNs.load();
    const long rssEnd = ResidentKb();

    thread.RequestStop();
    sim.terminate();
    sim.waitForFinished(3000);

    // From the first to the last decoded answer of the phase, so its edges do not count.
    const double periodMs = polls > 0 ? static_cast<double>(last - first) / 1e6 / polls : 0;
    std::printf("poll registers (AskNumber)      : %d\n", ask);
    std::printf("protocol floor on a 9600 line   : %.1f ms (request and answer %.1f ms + silence "
                "200 ms + turnaround %d ms)\n",
                lineFloorMs, (8 + 5 + 2 * ask) * byteMs, turnaroundMs);
    std::printf("floor on this pseudo-terminal   : %.1f ms (only the answer is paced)\n", floorMs);
    std::printf("achieved poll period            : %.1f ms over %d polls\n", periodMs, polls);
    std::printf(
        "period / floor                  : %.3f (target <= 1.05); overhead %.1f ms per poll\n",
        periodMs / floorMs, periodMs - floorMs);
    std::printf("CPU while polling               : %.2f %% of one core\n", 100.0 * cpu / wall);
    std::printf("CPU while the port is unusable  : %.2f %% of one core\n",
                100.0 * idleCpu / idleWall);
    std::printf("resident memory while polling   : %ld kB -> %ld kB over %.0f s\n", rssStart,
                rssEnd, wall);
    return 0;
}
