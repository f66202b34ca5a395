// Prints what one poll costs the management thread besides the line itself: building the
// request, checking the answer and decoding it into the sample map, and the upload decoders.
// The line time at 9600 bit/s is printed beside it for scale.

#include "companel/link/answer.h"
#include "companel/link/crc.h"
#include "companel/link/requests.h"
#include "companel/polling/decoders.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace companel;

namespace {

class QuietReporter : public SilentReporter {
public:
    std::size_t Texts = 0;
    void ReportStatus(const QString&) override { ++Texts; }
    void SetTelemetryCell(std::size_t, const QString& t) override { Texts += t.size(); }
    void SetSignalCell(std::size_t, const QString& t) override { Texts += t.size(); }
    void SetDeviceClock(const QString& t) override { Texts += t.size(); }
};

std::vector<std::uint8_t> Answer(std::size_t registers, std::mt19937& rng) {
    std::vector<std::uint8_t> a = {1, 3, static_cast<std::uint8_t>(2 * registers)};
    for (std::size_t i = 0; i < 2 * registers; ++i)
        a.push_back(static_cast<std::uint8_t>(rng()));
    a.resize(a.size() + 2);
    AppendCrc(a.data(), a.size(), a.size() - 2);
    return a;
}

template <typename F> double MicrosecondsPerCall(int calls, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f(i);
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return took.count() / calls;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto state = std::make_unique<CompanelState>();
    const QStringList notes =
        state->LoadTables(QString::fromUtf8(RELAY_BINARY_DIR "/app/companel/配置文件/VKD2950.ini"));
    const TelemetryTable& yc = state->Tables.Telemetry;
    std::printf("sample map: %d telemetry, %d binary inputs, poll of %d registers, %d notes\n",
                yc.Number, state->Tables.Signals.Number, yc.AskNumber,
                static_cast<int>(notes.size()));

    std::mt19937 rng(1);
    // Fresh values on every poll, so every cell is rewritten (the worst case).
    std::vector<std::vector<std::uint8_t>> polls;
    for (int i = 0; i < 64; ++i)
        polls.push_back(Answer(yc.AskNumber, rng));
    QuietReporter out;
    const int calls = 20000;
    const double decode = MicrosecondsPerCall(calls, [&](int i) {
        const auto& a = polls[static_cast<std::size_t>(i) % polls.size()];
        const Frame request = BuildPoll(state->SlaveAddress, yc.AskNumber);
        if (request.size() == 8 && CheckPollAnswer(a.data(), a.size(), 1).Accepted())
            DecodePoll(*state, out, a.data(), a.size());
    });
    const auto same = polls[0];
    const double unchanged =
        MicrosecondsPerCall(calls, [&](int) { DecodePoll(*state, out, same.data(), same.size()); });
    const auto params = Answer(state->Tables.Parameters.Number, rng);
    const double upload = MicrosecondsPerCall(
        calls, [&](int) { DecodeParameterUpload(*state, out, params.data(), params.size()); });

    const double bitsPerByte = 10.0;
    const double lineMs =
        (8 + yc.AskNumber * 2 + 5) * bitsPerByte / 9600.0 * 1000.0 + 200.0; // + silence
    std::printf("poll build+check+decode, all values changed: %.2f us\n", decode);
    std::printf("poll decode, nothing changed:               %.2f us\n", unchanged);
    std::printf("parameter upload decode (%d registers):     %.2f us\n",
                state->Tables.Parameters.Number, upload);
    std::printf("one poll on the line at 9600 bit/s incl. 200 ms silence: %.1f ms "
                "(decoding is %.4f %% of it)\n",
                lineMs, decode / 1000.0 / lineMs * 100.0);
    std::printf("(%zu characters of window text produced)\n", out.Texts);
    return 0;
}
