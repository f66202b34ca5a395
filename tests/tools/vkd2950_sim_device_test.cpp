// The simulated relay answers the way the master expects: checked byte for byte and through
// the master's own acceptance rules, confirmation rules and decoders.

#include "companel/link/answer.h"
#include "companel/link/confirmation.h"
#include "companel/link/requests.h"
#include "companel/polling/decoders.h"
#include "tests/tools/sim_fixture.h"

#include <cmath>
#include <random>

namespace {

using namespace simtest;
using companel::Operation;

class QuietReporter : public companel::CompanelReporter {
public:
    void ReportStatus(const QString& text) override { Lines << text; }
    void PlayWave(const char*) override {}
    void SetTelemetryCell(std::size_t, const QString&) override {}
    void SetSignalCell(std::size_t, const QString&) override {}
    void SetDeviceClock(const QString& text) override { Clock = text; }
    void SetModel(const QString&) override {}
    void SetVersion(const QString& text) override { Version = text; }
    void SetPcClock(const QString&) override {}
    void SetAddressField(int) override {}
    void ParametersUploaded() override {}
    void SettingsUploaded() override {}
    void LogFrame(int, const std::uint8_t*, std::size_t) override {}
    int OnEventPage(const std::uint8_t*, std::size_t) override { return 0; }
    QStringList Lines;
    QString Clock;
    QString Version;
};

companel::Confirmation ConfirmFor(const Bytes& answer, std::uint16_t mode,
                                  const companel::PointTables& t) {
    companel::ConfirmationContext c;
    c.RemoteMode = mode;
    c.ParameterNumber = t.Parameters.Number;
    c.SettingNumber = t.Settings.Number;
    return companel::Confirm(answer.data(), answer.size(), c);
}

Bytes Exception(std::uint8_t function, std::uint8_t code) {
    return Sealed({1, static_cast<std::uint8_t>(function | 0x80), code});
}

TEST_F(SimTest, PollAnswerDecodesToTheAppliedValuesThroughTheMastersDecoder) {
    Make();
    const Bytes answer = Ask(companel::BuildPoll(1, tables_->Telemetry.AskNumber));
    ASSERT_EQ(answer.size(), 5u + 2 * 59);
    EXPECT_EQ(answer[2], 118);
    ASSERT_TRUE(companel::CheckPollAnswer(answer.data(), answer.size(), 1).Accepted());

    companel::CompanelState state;
    state.LoadTables(SampleIni());
    QuietReporter out;
    companel::DecodePoll(state, out, answer.data(), answer.size());
    EXPECT_EQ(out.Clock, QStringLiteral("25-03-14 10:20:30"));
    EXPECT_EQ(out.Version, QStringLiteral("V1.640"));
    for (std::size_t i = 0; i < tables_->Telemetry.Number; ++i) {
        const double applied = device_->AppliedValue(i, Moment());
        const double cc2 = tables_->Telemetry.CC2[i];
        SCOPED_TRACE(support::FieldText(tables_->Telemetry.Name[i], 32).toStdString());
        EXPECT_NEAR(state.TelemetryValue(i), device_->ReportedValue(i, Moment()), 1e-3);
        // The factory coefficient corrects the channel's own error to within its rounding.
        EXPECT_NEAR(device_->ReportedValue(i, Moment()), applied,
                    std::fabs(applied) * 2e-3 + 1.0 / cc2);
    }
    // Negative reactive power travels as a signed pair of words.
    EXPECT_LT(state.TelemetryValue(8), 0.0f);
    for (std::size_t i = 0; i < tables_->Signals.Number; ++i)
        EXPECT_EQ(state.SignalState(i), device_->Signal(i) ? 1 : 0) << i;
    EXPECT_EQ(state.SignalState(0), 1); // high-side breaker closed
    EXPECT_EQ(state.SignalState(1), 0);
}

// A point table small enough to know every word of the answer.
TEST_F(SimTest, StillTelemetryIsEncodedWordForWordByTypeAndDivisor) {
    const char* ini = "[YC]\nAskNumber=16\nNumber=5\nTimePost=0\nVersionPost=6\nYXPost=7\n"
                      "1.Name=Ia\n1.CC2=100\n1.Type=2\n1.Post=10\n"
                      "2.Name=P\n2.CC2=32\n2.Type=1\n2.Post=11\n2.PostH=12\n"
                      "3.Name=Q\n3.CC2=1000\n3.Type=1\n3.Post=13\n3.PostH=14\n"
                      "4.Name=cos\n4.CC2=1000\n4.Type=5\n4.Post=15\n"
                      "5.Name=Q\n5.CC2=1\n5.Type=2\n5.Post=16\n"
                      "[YX]\nNumber=3\n1.Name=高压侧断路器合位\n1.Post=1\n"
                      "2.Name=高压侧断路器分位\n2.Post=2\n3.Name=35kV事故总\n3.Post=18\n";
    companel::LoadPointTables(support::Profile::FromBytes(support::ToGbk(QString::fromUtf8(ini))),
                              *tables_);
    vkdsim::DeviceOptions o = Options();
    o.MovingTelemetry = false;
    o.AccidentHeld = true;
    o.Firmware = 164;
    Make(o);
    const Bytes answer = Ask(companel::BuildPoll(1, 16));
    ASSERT_EQ(answer.size(), 5u + 32);
    // Clock, version, breaker closed (bit 1), accident held (bit 18), Ia 2.50 A;
    // 1250.000 kW x 32 = 40000: the low word reads negative, so the high word says 1;
    // -320.000 kvar: low 0x1E00, high -5; cos 0.950; a negative reading on an unsigned word
    // stops at 0.
    const std::uint16_t expected[16] = {25,     3,      14,     10,     20,     30,     164, 0x0001,
                                        0x0002, 0x00FA, 0x9C40, 0x0001, 0x1E00, 0xFFFB, 950, 0};
    for (std::size_t r = 0; r < 16; ++r)
        EXPECT_EQ(RegisterOf(answer, r), expected[r]) << "register " << r;
    EXPECT_TRUE(companel::CheckCrc(answer.data(), answer.size(), answer.size() - 2));
}

TEST_F(SimTest, TimeSetMovesTheClockAndBadDatesAreRefused) {
    Make();
    const QDateTime set(QDate(2015, 4, 2), QTime(10, 5, 9));
    const Bytes echo = Ask(companel::BuildTimeSet(1, tables_->Telemetry.TimePost, set));
    EXPECT_EQ(echo, Sealed({1, 16, 0, 0, 0, 6}));
    EXPECT_EQ(ConfirmFor(echo, 0, *tables_).Rule, 1);

    const Bytes later = Ask(companel::BuildPoll(1, 59), Moment() + 3000);
    const std::uint16_t clock[6] = {15, 4, 2, 10, 5, 12};
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_EQ(RegisterOf(later, k), clock[k]) << k;

    const Bytes bad = Sealed({1, 16, 0, 0, 0, 6, 12, 0, 15, 0, 13, 0, 2, 0, 10, 0, 5, 0, 9});
    EXPECT_EQ(Ask(bad, Moment() + 3000), Exception(16, vkdsim::kIllegalValue));
    EXPECT_EQ(RegisterOf(Ask(companel::BuildPoll(1, 59), Moment() + 3000), 1), 4);
}

TEST_F(SimTest, ParameterDownloadComesBackOnUploadWithBitRateCodes) {
    Make();
    companel::ParameterTable p = tables_->Parameters;
    for (std::size_t i = 0; i < p.Number; ++i)
        p.RawValue[i] = static_cast<std::uint16_t>(1000 + 7 * i);
    p.RawValue[4] = 19200;
    p.RawValue[6] = 2400;
    const auto download = companel::BuildParameterDownload(1, p);
    ASSERT_TRUE(download.Ok());
    const Bytes echo = Ask(download.Request);
    EXPECT_EQ(echo, Sealed({1, 16, 0, 100, 0, 60}));
    EXPECT_EQ(ConfirmFor(echo, 0, *tables_).Rule, 3);

    const Bytes upload = Ask(companel::BuildParameterUpload(1, tables_->Parameters));
    ASSERT_EQ(upload.size(), 5u + 120);
    EXPECT_EQ(ConfirmFor(upload, 0, *tables_).Rule, 17);
    for (std::size_t i = 0; i < p.Number; ++i) {
        const auto v = companel::PostRegister(upload.data(), upload.size(), p.Post[i]);
        ASSERT_TRUE(v.has_value());
        if (i == 4)
            EXPECT_EQ(*v, 8);
        else if (i == 6)
            EXPECT_EQ(*v, 4);
        else
            EXPECT_EQ(*v, p.RawValue[i]) << i;
    }
    EXPECT_EQ(device_->Events().Record(0)[0], vkdsim::kEventParametersChanged);

    // A rate where a code belongs is refused whole: nothing of the block changes.
    Bytes rate = ToBytes(download.Request);
    rate[7 + 2 * 4] = 0x4B; // 19200
    rate[8 + 2 * 4] = 0x00;
    rate[7] = 0x12;
    rate.resize(rate.size() - 2);
    vkdsim::Device::Seal(rate);
    EXPECT_EQ(Ask(rate), Exception(16, vkdsim::kIllegalValue));
    EXPECT_EQ(Ask(companel::BuildParameterUpload(1, tables_->Parameters)), upload);
}

TEST_F(SimTest, SettingBlockRoundTripAndReadsOfAnyHeldRange) {
    Make();
    companel::SettingTable s = tables_->Settings;
    for (std::size_t i = 0; i < s.Number; ++i)
        s.RawValue[i] = static_cast<std::uint16_t>(3 * i + 1);
    const auto download = companel::BuildSettingDownload(1, s);
    ASSERT_TRUE(download.Ok());
    const Bytes echo = Ask(download.Request);
    EXPECT_EQ(ConfirmFor(echo, 0, *tables_).Rule, 4);
    const Bytes upload = Ask(companel::BuildSettingUpload(1, tables_->Settings));
    EXPECT_EQ(ConfirmFor(upload, 0, *tables_).Rule, 18);
    for (std::size_t i = 0; i < s.Number; ++i)
        EXPECT_EQ(RegisterOf(upload, i), s.RawValue[i]);

    // Any range inside what the relay holds; nothing beyond it, no empty or oversized count.
    const Bytes part = Ask(companel::BuildReadRegisters(1, 210, 3));
    ASSERT_EQ(part.size(), 11u);
    EXPECT_EQ(RegisterOf(part, 0), 31);
    EXPECT_EQ(Ask(companel::BuildReadRegisters(1, 242, 3)), Exception(3, vkdsim::kIllegalAddress));
    EXPECT_EQ(Ask(companel::BuildReadRegisters(1, 70, 1)), Exception(3, vkdsim::kIllegalAddress));
    EXPECT_EQ(Ask(companel::BuildReadRegisters(1, 0, 0)), Exception(3, vkdsim::kIllegalValue));
    EXPECT_EQ(Ask(companel::BuildReadRegisters(1, 0, 128)), Exception(3, vkdsim::kIllegalValue));
    EXPECT_EQ(Ask(companel::BuildReadRegisters(1, 0xFFFF, 2)),
              Exception(3, vkdsim::kIllegalAddress));
    // Writes outside the blocks change nothing.
    EXPECT_EQ(Ask(Sealed({1, 16, 0, 70, 0, 1, 2, 0, 1})), Exception(16, vkdsim::kIllegalAddress));
}

struct CoilCase {
    Operation Op;
    std::uint16_t Mode;
    std::uint8_t AnswerCoil;
    std::uint8_t AnswerValue;
    const char* Text; // confirmation the master shows; empty: none
};

TEST_F(SimTest, CoilAnswersMeetTheConfirmationRulesInBothRemoteModes) {
    const CoilCase cases[] = {
        {Operation::SignalReset, 0, 11, 0xFF, "复归成功!"},
        {Operation::HighSideClose, 0, 0, 0xFF, "高压侧合闸成功!"},
        {Operation::HighSideOpen, 0, 2, 0xFF, "高压侧分闸成功!"},
        {Operation::LowSide1Close, 0, 3, 0xFF, "1#低压侧合闸成功!"},
        {Operation::LowSide1Open, 0, 4, 0xFF, "1#低压侧分闸成功!"},
        {Operation::LowSide2Close, 0, 13, 0xFF, "2#低压侧合闸成功!"},
        {Operation::LowSide2Open, 0, 14, 0xFF, "2#低压侧分闸成功!"},
        {Operation::Output7, 0, 5, 0xFF, ""},
        {Operation::SignalReset, 1, 11, 0xFF, "复归成功!"},
        {Operation::HighSideClose, 1, 0, 0xFF, "高压侧合闸成功!"},
        {Operation::HighSideOpen, 1, 0, 0x00, "高压侧分闸成功!"},
        {Operation::LowSide1Close, 1, 1, 0xFF, "1#低压侧合闸成功!"},
        {Operation::LowSide1Open, 1, 1, 0x00, "1#低压侧分闸成功!"},
        {Operation::LowSide2Close, 1, 2, 0xFF, "2#低压侧合闸成功!"},
        {Operation::LowSide2Open, 1, 2, 0x00, "2#低压侧分闸成功!"},
        {Operation::Output10, 1, 8, 0xFF, ""},
    };
    for (const CoilCase& c : cases) {
        vkdsim::DeviceOptions o = Options();
        o.RemoteMode = c.Mode;
        Make(o);
        const Bytes answer = Ask(companel::BuildOperation(1, c.Op));
        SCOPED_TRACE(testing::Message() << "mode " << c.Mode << " coil " << int(c.AnswerCoil));
        EXPECT_EQ(answer, Sealed({1, 5, 0, c.AnswerCoil, c.AnswerValue, 0}));
        EXPECT_EQ(ConfirmFor(answer, c.Mode, *tables_).Text, QString::fromUtf8(c.Text));
    }
}

TEST_F(SimTest, BreakerCommandsAndResetMoveTheInputs) {
    vkdsim::DeviceOptions o = Options();
    Make(o);
    EXPECT_TRUE(device_->Signal(0));
    Ask(companel::BuildOperation(1, Operation::HighSideOpen));
    EXPECT_FALSE(device_->Signal(0));
    EXPECT_TRUE(device_->Signal(1));
    EXPECT_EQ(device_->Events().Record(0)[0], vkdsim::kEventRemoteControl);

    const std::size_t accident = device_->AccidentSignal().value();
    device_->SetSignal(accident, true);
    device_->SetSignal(20, true); // 差动速断动作
    Ask(companel::BuildOperation(1, Operation::SignalReset));
    EXPECT_FALSE(device_->Signal(accident));
    EXPECT_FALSE(device_->Signal(20));
    EXPECT_EQ(device_->Events().Record(0)[0], vkdsim::kEventSignalReset);

    device_->SetAccidentHeld(true);
    Ask(companel::BuildOperation(1, Operation::SignalReset));
    EXPECT_TRUE(device_->Signal(accident)) << "a held accident input survives the reset";
    // Coil values other than on and off, and coils the relay lacks, are refused.
    EXPECT_EQ(Ask(Sealed({1, 5, 0, 0, 0x12, 0x34})), Exception(5, vkdsim::kIllegalValue));
    EXPECT_EQ(Ask(Sealed({1, 5, 0, 40, 0xFF, 0})), Exception(5, vkdsim::kIllegalAddress));
}

TEST_F(SimTest, InputsChangeNowAndThenButNotTheBreakersOrTheHeldAccident) {
    vkdsim::DeviceOptions o = Options();
    o.SignalPeriodSeconds = 10;
    o.AccidentHeld = true;
    Make(o);
    const std::size_t accident = device_->AccidentSignal().value();
    std::vector<bool> before;
    for (std::size_t i = 0; i < tables_->Signals.Number; ++i)
        before.push_back(device_->Signal(i));
    int changes = 0;
    for (int s = 1; s <= 600; ++s) {
        device_->Advance(Moment() + s * 1000LL);
        for (std::size_t i = 0; i < before.size(); ++i)
            if (device_->Signal(i) != before[i]) {
                ++changes;
                before[i] = device_->Signal(i);
                EXPECT_GT(i, 5u) << "breaker position moved by itself";
            }
        ASSERT_TRUE(device_->Signal(accident));
    }
    // About one change every ten seconds.
    EXPECT_GT(changes, 30);
    EXPECT_LT(changes, 120);
}

TEST_F(SimTest, EventLogIsReadInTwentyBatchesOfValidRecordsNewestFirst) {
    Make();
    std::vector<qint64> stamps;
    for (std::uint16_t k = 0; k < 20; ++k) {
        const Bytes page = Ask(companel::BuildEventBatch(1, k));
        ASSERT_EQ(page.size(), 205u) << k;
        EXPECT_EQ(page[2], 200);
        EXPECT_TRUE(companel::CheckCrc(page.data(), page.size(), 203));
        EXPECT_EQ(ConfirmFor(page, 0, *tables_).Then, companel::Confirmation::Call::EventPage);
        for (std::size_t r = 0; r < 25; ++r) {
            const std::uint8_t* rec = page.data() + 3 + 8 * r;
            const int ms = rec[1] | (rec[2] << 8);
            ASSERT_TRUE(rec[3] <= 60 && rec[4] <= 24 && rec[5] >= 1 && rec[5] <= 31 &&
                        rec[6] >= 1 && rec[6] <= 12 && rec[7] != 0 && ms < 60000)
                << "batch " << k << " record " << r;
            EXPECT_TRUE(rec[0] >= 1 && rec[0] <= 55);
            const QDateTime t(QDate(2000 + rec[7], rec[6], rec[5]),
                              QTime(rec[4], rec[3], ms / 1000, ms % 1000));
            stamps.push_back(t.toMSecsSinceEpoch());
        }
    }
    EXPECT_TRUE(std::is_sorted(stamps.rbegin(), stamps.rend()));
    EXPECT_LE(stamps.front(), Moment());
    EXPECT_EQ(Ask(companel::BuildEventBatch(1, 20)), Exception(17, vkdsim::kIllegalAddress));

    // A log of 30 events: the second batch holds 5 records and then empty slots.
    vkdsim::DeviceOptions o = Options();
    o.Events = 30;
    Make(o);
    const Bytes page = Ask(companel::BuildEventBatch(1, 1));
    EXPECT_NE(page[3 + 8 * 4 + 5], 0);
    EXPECT_EQ(page[3 + 8 * 5 + 5], 0); // day 0: the master shows 无记录
}

TEST_F(SimTest, HardwareIdSitsInParameters50To56WithItsCrc) {
    Make();
    const Bytes upload = Ask(companel::BuildParameterUpload(1, tables_->Parameters));
    const std::uint8_t* id = upload.data() + 103;
    const std::uint8_t want[12] = {0, 0, 1, 24, 3, 15, 10, 30, 0, 1, 23, 45};
    EXPECT_TRUE(std::equal(want, want + 12, id));
    EXPECT_TRUE(companel::CheckCrc(id, 14, 12));

    vkdsim::DeviceOptions blank = Options();
    blank.HardwareId.clear();
    Make(blank);
    const Bytes fresh = Ask(companel::BuildParameterUpload(1, tables_->Parameters));
    EXPECT_EQ(fresh[105], 0xFF);
    EXPECT_FALSE(companel::CheckCrc(fresh.data() + 103, 14, 12));
}

TEST_F(SimTest, SearchAddressAnswersWithTheRelaysOwnAddress) {
    vkdsim::DeviceOptions o = Options();
    o.Address = 5;
    Make(o);
    const Bytes answer = Ask(companel::BuildAddressSearch());
    EXPECT_EQ(answer, Sealed({0xFE, 3, 2, 0, 5}));
    EXPECT_EQ(companel::SearchAnswerAddress(answer.data(), answer.size()), 5);
    // Other addresses and other requests to the search address stay unanswered.
    EXPECT_TRUE(Ask(companel::BuildPoll(1, 59)).empty());
    EXPECT_TRUE(Ask(companel::BuildReadRegisters(0xFE, 100, 1)).empty());
    EXPECT_TRUE(Ask(companel::BuildOperation(0xFE, Operation::SignalReset)).empty());
    EXPECT_EQ(Ask(companel::BuildPoll(5, 59)).size(), 123u);

    // Moved to another address, the relay answers there and reports it to the search.
    EXPECT_FALSE(device_->SetAddress(0));
    EXPECT_FALSE(device_->SetAddress(248));
    ASSERT_TRUE(device_->SetAddress(9));
    EXPECT_TRUE(Ask(companel::BuildPoll(5, 59)).empty());
    EXPECT_EQ(Ask(companel::BuildAddressSearch()), Sealed({0xFE, 3, 2, 0, 9}));
}

TEST_F(SimTest, CalibrationAgainstTheAppliedValueConverges) {
    Make();
    const qint64 t = Moment() + 12345;
    for (std::size_t i : {0u, 4u, 11u}) {
        const std::uint16_t reg = tables_->Telemetry.bCheckMemery[i];
        ASSERT_EQ(device_->CoefficientRegister(i), reg);
        const Bytes first = Ask(companel::BuildCalibrationDefault(1, reg), t);
        EXPECT_EQ(first, Sealed({1, 16, 0, static_cast<std::uint8_t>(reg), 0, 1}));
        EXPECT_EQ(ConfirmFor(first, 0, *tables_).Rule, 2);
        EXPECT_EQ(device_->ReadRegister(reg, t), companel::kDefaultCoefficient);

        const float measured = static_cast<float>(device_->ReportedValue(i, t));
        const float target = static_cast<float>(device_->AppliedValue(i, t));
        EXPECT_GT(std::fabs(measured - target), 1.0f / tables_->Telemetry.CC2[i])
            << "the channel's own error shows with the neutral coefficient";
        const std::uint16_t c = companel::CalibrationCoefficient(target, measured);
        Ask(companel::BuildCoefficientWrite(1, reg, c), t);
        EXPECT_NEAR(device_->ReportedValue(i, t), target,
                    target / 1024.0 + 1.0 / tables_->Telemetry.CC2[i]);
    }
    // The wheel with Ctrl writes three coefficients at once.
    const Bytes three = Sealed({1, 16, 0, 120, 0, 3, 6, 4, 0, 4, 1, 4, 2});
    EXPECT_EQ(Ask(three, t), Sealed({1, 16, 0, 120, 0, 3}));
    EXPECT_EQ(device_->ReadRegister(122, t), 0x0402);
}

TEST_F(SimTest, MalformedBytesNeverCrashAndGetNoAnswerOrAnException) {
    Make();
    // Broken CRC, truncated frames, a byte count that disagrees with the length.
    Bytes poll = ToBytes(companel::BuildPoll(1, 59));
    poll.back() ^= 1;
    EXPECT_TRUE(Ask(poll).empty());
    EXPECT_TRUE(Ask(Bytes{1, 3}).empty());
    EXPECT_TRUE(Ask(Bytes{}).empty());
    EXPECT_TRUE(Ask(Sealed({1, 3, 0, 0, 0})).empty());
    EXPECT_TRUE(Ask(Sealed({1, 16, 0, 100, 0, 2, 4, 0, 1})).empty());
    EXPECT_EQ(Ask(Sealed({1, 16, 0, 100, 0, 2, 2, 0, 1})), Exception(16, vkdsim::kIllegalValue));
    EXPECT_EQ(Ask(Sealed({1, 0x2B, 0, 0, 0, 1})), Exception(0x2B, vkdsim::kIllegalFunction));
    EXPECT_EQ(Ask(Sealed({1, 17, 0, 0, 0, 32})), Exception(17, vkdsim::kIllegalValue));

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> len(0, 300);
    for (int n = 0; n < 3000; ++n) {
        Bytes junk(static_cast<std::size_t>(len(rng)));
        for (auto& b : junk)
            b = static_cast<std::uint8_t>(byte(rng));
        if (!junk.empty())
            junk[0] = 1;
        if (junk.size() > 1 && n % 3 == 0)
            junk[1] = static_cast<std::uint8_t>((n / 3) % 2 ? 16 : 3);
        if (n % 2 == 0 && junk.size() >= 2) {
            junk.resize(junk.size() - 2);
            vkdsim::Device::Seal(junk);
        }
        const Bytes answer = Ask(junk);
        if (!answer.empty()) {
            EXPECT_TRUE(companel::CheckCrc(answer.data(), answer.size(), answer.size() - 2));
        }
    }
}

} // namespace
