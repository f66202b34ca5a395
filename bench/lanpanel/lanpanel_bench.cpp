// Prints what lanpanel's core costs: decoding a full interrogation answer (255 analogues and
// 255 signals) and adding a monitor line to a short and to a long log.

#include "lanpanel/engine/protocol_engine.h"
#include "lanpanel/server/monitor_log.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace lanpanel;
using Clock = std::chrono::steady_clock;

namespace {

double NsPer(Clock::duration d, long n) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) /
           static_cast<double>(n);
}

std::vector<std::uint8_t> FullInterrogation() {
    std::vector<std::uint8_t> f{0x0A, 0x81, 0x09, 0x01, 0xFE, 0xF1, 0x00, 0xFF};
    for (int p = 1; p <= 255; ++p) {
        const float v = 1.5f * static_cast<float>(p);
        std::uint8_t b[4];
        std::memcpy(b, &v, 4);
        f.insert(f.end(), {0x07, static_cast<std::uint8_t>(p), 0, 0, 0, 0, b[0], b[1], b[2], b[3]});
    }
    for (int p = 1; p <= 255; ++p)
        f.insert(f.end(), {0x08, static_cast<std::uint8_t>(p), 0, 0, 0, 0,
                           static_cast<std::uint8_t>(1 + p % 2)});
    return f;
}

void BenchDecode() {
    SharedState shared;
    auto tpl = DeviceTemplate::Create();
    std::strcpy(tpl->FileName, "0.xml");
    for (auto& a : tpl->Analogue)
        a.Scale = 0.1f;
    shared.Templates.push_back(std::move(tpl));
    shared.DeviceAddress = 1;
    Timing idle;
    idle.EngineTimerMs = 3600 * 1000;
    ProtocolEngine engine(shared, idle);
    const std::uint8_t ident[] = {0x05, 0x81, 0x08, 0x01, 0xFE, 0x00, 0x00, 'A', 'B', 0};
    engine.FrameArrived(ident, sizeof ident);
    if (!engine.CurrentTemplate()) {
        std::printf("decode: identification failed, nothing measured\n");
        return;
    }
    const auto frame = FullInterrogation();
    const long rounds = 20000;
    const auto start = Clock::now();
    for (long i = 0; i < rounds; ++i)
        engine.FrameArrived(frame.data(), static_cast<int>(frame.size()));
    const double ns = NsPer(Clock::now() - start, rounds);
    std::printf("decode: full interrogation answer (255 analogues + 255 signals, %zu bytes): "
                "%.1f us per frame (%ld frames)\n",
                frame.size(), ns / 1000.0, rounds);
    std::printf("decode: check Ia[254] = %.1f, signal[254] = %d\n",
                engine.CurrentTemplate()->Analogue[254].Value,
                engine.CurrentTemplate()->Digital[254].State);
}

void BenchMonitor() {
    MonitorLog log;
    const QDateTime fixed = QDateTime::currentDateTime();
    log.SetClock([fixed] { return fixed; });
    const std::uint8_t frame[64] = {0x0A, 0x81, 0x09, 0x01};
    const QString text = MonitorLog::FrameText(true, frame, sizeof frame);
    auto measure = [&](MonitorLog& target, long n) {
        const auto start = Clock::now();
        for (long i = 0; i < n; ++i)
            target.Log(text);
        return Clock::now() - start;
    };
    // Each figure is the median of five batches: the machine is shared, single batches jitter.
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    // At 10 lines: many short logs, each timed for its 11th line only.
    std::vector<double> shortRuns;
    for (int batch = 0; batch < 5; ++batch) {
        Clock::duration total{};
        const long rounds = 2000;
        for (long r = 0; r < rounds; ++r) {
            MonitorLog small;
            small.SetClock([fixed] { return fixed; });
            for (int i = 0; i < 10; ++i)
                small.Log(text);
            total += measure(small, 1);
        }
        shortRuns.push_back(NsPer(total, rounds));
    }
    const double atTen = median(shortRuns);
    while (log.LineCount() < 100000)
        log.Log(text);
    std::vector<double> longRuns;
    for (int batch = 0; batch < 5; ++batch)
        longRuns.push_back(NsPer(measure(log, 2000), 2000));
    const double atHundredThousand = median(longRuns);
    if (std::getenv("BENCH_VERBOSE")) {
        for (double v : shortRuns)
            std::printf("  batch at 10: %.2f us\n", v / 1000);
        for (double v : longRuns)
            std::printf("  batch at 100000: %.2f us\n", v / 1000);
    }
    std::printf("monitor: %.2f us per line at 10 lines, %.2f us per line at 100000 lines "
                "(ratio %.2f; log text %lld bytes)\n",
                atTen / 1000.0, atHundredThousand / 1000.0, atHundredThousand / atTen,
                static_cast<long long>(log.LogText().size()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    std::printf("note: built with AddressSanitizer; figures are several times slower than a "
                "release build\n");
#endif
    BenchDecode();
    BenchMonitor();
    return 0;
}
