// Random, truncated and corrupted answers through every reader of device answers. Each answer
// lives in a buffer of exactly its length, so AddressSanitizer reports any read past it.

#include "companel/link/answer.h"
#include "companel/link/confirmation.h"
#include "companel/link/crc.h"
#include "companel/link/requests.h"
#include "companel/polling/decoders.h"
#include "recording_reporter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace companel {
namespace {

class NullReporter : public CompanelReporter {
public:
    std::size_t Calls = 0;
    void ReportStatus(const QString&) override { ++Calls; }
    void PlayWave(const char*) override { ++Calls; }
    void SetTelemetryCell(std::size_t i, const QString&) override { Check(i < 63); }
    void SetSignalCell(std::size_t i, const QString&) override { Check(i < 68); }
    void SetDeviceClock(const QString&) override { ++Calls; }
    void SetModel(const QString&) override { ++Calls; }
    void SetVersion(const QString&) override { ++Calls; }
    void SetPcClock(const QString&) override { ++Calls; }
    void SetAddressField(int) override { ++Calls; }
    void ParametersUploaded() override { ++Calls; }
    void SettingsUploaded() override { ++Calls; }
    void LogFrame(int, const std::uint8_t*, std::size_t) override { ++Calls; }
    int OnEventPage(const std::uint8_t*, std::size_t) override { return 0; }
    bool CellOutOfRange = false;

private:
    void Check(bool ok) {
        ++Calls;
        CellOutOfRange |= !ok;
    }
};

// Tables whose positions reach past any answer: the full sample map plus points at the
// ends of the arrays and at the largest positions a field can hold.
std::unique_ptr<CompanelState> StressState() {
    auto s = std::make_unique<CompanelState>();
    s->LoadTables(QString::fromUtf8(RELAY_BINARY_DIR "/app/companel/配置文件/VKD2950.ini"));
    PointTables& t = s->Tables;
    t.Telemetry.Number = 128;
    t.Signals.Number = 128;
    t.Parameters.Number = 128;
    t.Settings.Number = 128;
    for (std::size_t i = 40; i < 128; ++i) {
        t.Telemetry.Post[i] = static_cast<std::uint8_t>(i * 2 + 1);
        t.Telemetry.PostH[i] = static_cast<std::uint8_t>(255 - i);
        t.Telemetry.Type[i] = static_cast<std::uint8_t>(i % 6);
        t.Telemetry.CC2[i] = static_cast<std::uint16_t>(i % 7 == 0 ? 0 : i * 97);
        t.Signals.Post[i] = static_cast<std::uint8_t>(255 - i);
        t.Parameters.Post[i] = static_cast<std::uint8_t>(i * 2);
        t.Settings.Post[i] = static_cast<std::uint8_t>(255 - i);
        t.Settings.CC2[i] = static_cast<std::uint16_t>(i % 5);
    }
    t.Telemetry.YXPost = 0xFFF0;
    t.Telemetry.TimePost = 0xFFFE;
    t.Telemetry.VersionPost = 0xFFFF;
    return s;
}

std::vector<std::uint8_t> RandomAnswer(std::mt19937& rng, const CompanelState& s) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> a;
    switch (rng() % 4) {
    case 0: { // pure noise, any length up to past the answer buffer
        a.resize(rng() % 1100);
        for (auto& b : a)
            b = static_cast<std::uint8_t>(byte(rng));
        break;
    }
    default: { // a well-formed code-3 answer, then cut, corrupted or left alone
        const std::size_t n = rng() % 256;
        a = {static_cast<std::uint8_t>(rng() % 3 == 0 ? byte(rng) : s.SlaveAddress.load()),
             static_cast<std::uint8_t>(rng() % 5 == 0 ? 16 + rng() % 2 : 3),
             static_cast<std::uint8_t>(n)};
        for (std::size_t i = 0; i < n; ++i)
            a.push_back(static_cast<std::uint8_t>(byte(rng)));
        a.resize(a.size() + 2);
        AppendCrc(a.data(), a.size(), a.size() - 2);
        if (rng() % 2)
            a.resize(rng() % (a.size() + 1));
        if (!a.empty() && rng() % 4 == 0)
            a[rng() % a.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        break;
    }
    }
    return a;
}

TEST(AnswerFuzz, EveryReaderSurvivesArbitraryAnswers) {
    auto state = StressState();
    NullReporter out;
    std::mt19937 rng(20260412);
    int accepted = 0;
    for (int round = 0; round < 6000; ++round) {
        const std::vector<std::uint8_t> a = RandomAnswer(rng, *state);
        // Heap copy of exactly the answer's length (no slack for over-reads to land in).
        std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[a.size() + (a.empty() ? 1 : 0)]);
        std::copy(a.begin(), a.end(), buf.get());
        const std::uint8_t* p = buf.get();
        const std::size_t len = a.size();

        const PollCheck check = CheckPollAnswer(p, len, state->SlaveAddress.load());
        if (check.Accepted()) {
            ++accepted;
            ASSERT_GE(len, std::size_t{p[2]} + 5u);
        }
        // The decoders are also driven with answers that failed acceptance: they must stay
        // inside the bytes whatever they are given.
        DecodePoll(*state, out, p, len);
        DecodeParameterUpload(*state, out, p, len);
        DecodeSettingUpload(*state, out, p, len);
        const Confirmation c = Confirm(p, len, ConfirmationContextOf(*state));
        ASSERT_GE(c.Rule, 1);
        ASSERT_LE(c.Rule, 20);
        (void)NoAnswerText(p, len, 60, 44);
        (void)SearchAnswerAddress(p, len);
        for (std::size_t r : {0ul, 1ul, 126ul, 510ul, 511ul, 1000ul})
            (void)RegisterAt(p, len, r);
        if (round % 500 == 0)
            MarkLinkDown(*state, out, QStringLiteral("x"));
    }
    EXPECT_FALSE(out.CellOutOfRange);
    EXPECT_GT(accepted, 500); // the generator does reach the decoders with valid answers
    for (std::size_t i = 0; i < kTablePoints; ++i) {
        const std::uint16_t s = state->SignalState(i);
        EXPECT_TRUE(s <= 1 || s == kNoValue || s == kStateLinkDown) << i;
    }
}

} // namespace
} // namespace companel
