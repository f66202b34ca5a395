#include "companel/link/crc.h"
#include "companel/polling/decoders.h"
#include "companel/polling/state_requests.h"
#include "recording_reporter.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace companel {
namespace {

std::unique_ptr<CompanelState> WheelState() {
    auto s = std::make_unique<CompanelState>();
    PointTables& t = s->Tables;
    t.Parameters.Start = 100;
    t.Parameters.Number = 60;
    t.Telemetry.Number = 1;
    t.Telemetry.bCheckMemery[0] = 120;
    t.Parameters.RawValue[20] = 1000;
    t.Telemetry.Value[0] = 5.0f;
    return s;
}

TEST(CoefficientStepOnState, QueuesTheStepAndEndsAPendingCalibration) {
    auto s = WheelState();
    s->CalibrationSlot.Fill(BuildCoefficientWrite(1, 120, 2048));
    s->SlaveAddress = 4;
    EXPECT_EQ(QueueCoefficientStep(*s, 0, 0, 120, false), WheelStep::Kind::SendStep);
    const Frame f = s->CommandSlot.Take();
    ASSERT_EQ(f.size(), 11u);
    EXPECT_EQ(f[0], 4);
    EXPECT_EQ(f[7] << 8 | f[8], 1030);
    EXPECT_EQ(s->ParameterValue(20), 1030);
    EXPECT_FALSE(s->CalibrationSlot.IsPending());
    EXPECT_TRUE(s->WheelAdjusted);
}

TEST(CoefficientStepOnState, NoReadingOrLimit) {
    for (float value : {65535.0f, 0.0f}) {
        auto s = WheelState();
        s->Tables.Telemetry.Value[0] = value;
        EXPECT_EQ(QueueCoefficientStep(*s, 0, 0, 120, false), WheelStep::Kind::Refused);
        EXPECT_FALSE(s->CommandSlot.IsPending());
        EXPECT_EQ(s->ParameterValue(20), 1000);
    }
    auto s = WheelState();
    s->Tables.Parameters.RawValue[20] = 8000;
    s->CalibrationSlot.Fill(BuildCoefficientWrite(1, 120, 2048));
    EXPECT_EQ(QueueCoefficientStep(*s, 0, 0, 120, false), WheelStep::Kind::QueueParameterUpload);
    EXPECT_EQ(s->CommandSlot.Take()[1], 3);
    EXPECT_TRUE(s->CalibrationSlot.IsPending()); // an upload is no step
    EXPECT_FALSE(s->WheelAdjusted);
}

// The management thread decodes while the window thread reads and edits live values; every
// value the window copies is one the device sent. (The thread-sanitizer build checks the
// locking itself.)
TEST(CompanelStateThreads, WindowReadsWhileThePollDecodes) {
    auto s = std::make_unique<CompanelState>();
    PointTables& t = s->Tables;
    t.Telemetry.Number = 40;
    t.Telemetry.TimePost = 200;
    for (std::size_t i = 0; i < 40; ++i)
        t.Telemetry.Post[i] = 1;
    t.Signals.Number = 16;
    for (std::size_t i = 0; i < 16; ++i)
        t.Signals.Post[i] = static_cast<std::uint8_t>(i + 1);

    std::atomic<bool> done{false};
    std::thread poller([&] {
        test::RecordingReporter out;
        for (std::uint16_t k = 0; k < 3000; ++k) {
            std::uint8_t a[7] = {1, 3, 2, static_cast<std::uint8_t>(k >> 8),
                                 static_cast<std::uint8_t>(k & 0xFF)};
            AppendCrc(a, sizeof a, 5);
            DecodePoll(*s, out, a, sizeof a);
            if (k % 100 == 0)
                MarkLinkDown(*s, out, QStringLiteral("x"));
            out.Lines.clear();
        }
        done = true;
    });
    bool bad = false;
    while (!done) {
        const float v = s->TelemetryValue(7);
        bad |= v != 65535.0f && (v < 0.0f || v >= 3000.0f || v != std::floor(v));
        const std::uint16_t st = s->SignalState(3);
        bad |= st > 1 && st != kStateLinkDown && st != kNoValue;
        s->WithTables([](PointTables& tables) { tables.Parameters.RawValue[0] = 7; });
    }
    poller.join();
    EXPECT_FALSE(bad);
    EXPECT_EQ(s->TelemetryValue(7), 2999.0f);
}

} // namespace
} // namespace companel
