// Cutting requests out of the line's byte stream, and the faults put on answers.

#include "companel/link/answer.h"
#include "companel/link/crc.h"
#include "companel/link/requests.h"
#include "tests/tools/sim_fixture.h"
#include "tools/vkd2950-sim/faults.h"
#include "tools/vkd2950-sim/request_framer.h"

#include <random>

namespace {

using namespace simtest;
using vkdsim::FaultKind;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(RequestFramer, FindsRequestsWhateverTheChunksAndNoiseAround) {
    const Bytes poll = ToBytes(companel::BuildPoll(1, 59));
    const Bytes time =
        ToBytes(companel::BuildTimeSet(1, 0, QDateTime(QDate(2015, 4, 2), QTime(10, 5, 9))));
    const Bytes noise = {0x00, 0x10, 0xFF, 0x55}; // looks like a write of 255 bytes
    struct Case {
        const char* Name;
        Bytes Stream;
        std::size_t Chunk;
        std::vector<Bytes> Want;
    };
    const Case cases[] = {
        {"one poll", poll, 64, {poll}},
        {"two requests in one read", Concat({poll, time}), 64, {poll, time}},
        {"byte by byte", Concat({time, poll}), 1, {time, poll}},
        {"noise before", Concat({{0x13, 0x37, 0x01}, poll}), 64, {poll}},
        {"noise that promises a long write", Concat({noise, poll}), 64, {poll}},
        {"a request cut short", Bytes(poll.begin(), poll.begin() + 5), 64, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        vkdsim::RequestFramer framer;
        std::vector<Bytes> got;
        for (std::size_t at = 0; at < c.Stream.size(); at += c.Chunk) {
            const std::size_t n = std::min(c.Chunk, c.Stream.size() - at);
            for (auto& f : framer.Feed(c.Stream.data() + at, n))
                got.push_back(f);
        }
        for (auto& f : framer.Idle())
            got.push_back(f);
        EXPECT_EQ(got, c.Want);
        EXPECT_EQ(framer.Pending(), 0u);
    }
}

TEST(RequestFramer, NoiseIsBoundedAndEveryFrameItYieldsIsSealed) {
    vkdsim::RequestFramer framer;
    Bytes noise(4096, 0x10);
    EXPECT_TRUE(framer.Feed(noise.data(), noise.size()).empty());
    EXPECT_LE(framer.Pending(), 512u);
    EXPECT_TRUE(framer.Idle().empty());

    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> chunk(1, 300);
    const Bytes poll = ToBytes(companel::BuildPoll(1, 59));
    std::size_t polls = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes stream(chunk(rng));
        for (auto& b : stream)
            b = static_cast<std::uint8_t>(byte(rng));
        if (round % 4 == 0)
            stream.insert(stream.end(), poll.begin(), poll.end());
        auto frames = framer.Feed(stream.data(), stream.size());
        if (round % 4 == 3)
            for (auto& f : framer.Idle())
                frames.push_back(f);
        for (const Bytes& f : frames) {
            ASSERT_GE(f.size(), 8u);
            ASSERT_TRUE(companel::CheckCrc(f.data(), f.size(), f.size() - 2));
            polls += f == poll;
        }
        ASSERT_LE(framer.Pending(), 512u);
    }
    // Noise may swallow a poll that follows it without a pause, but not most of them.
    EXPECT_GT(polls, 50u);
}

class Faults : public ::testing::Test {
protected:
    Bytes answer_ = Sealed({1, 3, 4, 0x00, 0x19, 0x00, 0x03});
    std::mt19937 rng_{1};
};

TEST_F(Faults, EachKindShapesTheAnswerAsNamed) {
    vkdsim::FaultSettings f;
    f.TurnaroundMs = 7;
    auto plan = [&](FaultKind kind) {
        f.Kind = kind;
        return vkdsim::PlanDelivery(answer_, f, rng_);
    };

    auto d = plan(FaultKind::None);
    ASSERT_EQ(d.Bursts.size(), 1u);
    EXPECT_EQ(d.Bursts[0].DelayMs, 7);
    EXPECT_EQ(d.Bursts[0].Bytes, answer_);

    EXPECT_TRUE(plan(FaultKind::Silent).Bursts.empty());

    f.LateMs = 2600;
    d = plan(FaultKind::Late);
    ASSERT_EQ(d.Bursts.size(), 1u);
    EXPECT_EQ(d.Bursts[0].DelayMs, 2600);
    EXPECT_EQ(d.Bursts[0].Bytes, answer_);

    f.SplitGapMs = 250;
    d = plan(FaultKind::Split);
    ASSERT_EQ(d.Bursts.size(), 2u);
    EXPECT_EQ(d.Bursts[1].DelayMs, 250);
    EXPECT_FALSE(d.Bursts[0].Bytes.empty());
    EXPECT_EQ(Concat({d.Bursts[0].Bytes, d.Bursts[1].Bytes}), answer_);

    const Bytes crc = plan(FaultKind::BadCrc).Bursts.at(0).Bytes;
    EXPECT_EQ(crc.size(), answer_.size());
    EXPECT_EQ(companel::CheckPollAnswer(crc.data(), crc.size(), 1).FailedRule, 3);

    const Bytes other = plan(FaultKind::WrongAddress).Bursts.at(0).Bytes;
    EXPECT_NE(other[0], 1);
    EXPECT_TRUE(companel::CheckCrc(other.data(), other.size(), other.size() - 2));
    EXPECT_EQ(companel::CheckPollAnswer(other.data(), other.size(), 1).FailedRule, 1);

    const Bytes shortAnswer = plan(FaultKind::Short).Bursts.at(0).Bytes;
    EXPECT_LT(shortAnswer.size(), answer_.size());
    EXPECT_TRUE(std::equal(shortAnswer.begin(), shortAnswer.end(), answer_.begin()));
    EXPECT_EQ(companel::CheckPollAnswer(shortAnswer.data(), shortAnswer.size(), 1).FailedRule, 2);

    // Nothing to answer stays nothing, whatever the fault.
    f.Kind = FaultKind::Late;
    EXPECT_TRUE(vkdsim::PlanDelivery({}, f, rng_).Bursts.empty());
}

TEST_F(Faults, ACountedFaultEndsByItselfAndRandomSilenceKeepsItsOdds) {
    vkdsim::FaultSettings f;
    QString error;
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("fault silent x3"), f, &error))
        << error.toStdString();
    int silent = 0;
    for (int n = 0; n < 5; ++n)
        silent += vkdsim::PlanDelivery(answer_, f, rng_).Bursts.empty();
    EXPECT_EQ(silent, 3);
    EXPECT_EQ(f.Kind, FaultKind::None);

    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("silence 0.3"), f, &error));
    silent = 0;
    for (int n = 0; n < 2000; ++n)
        silent += vkdsim::PlanDelivery(answer_, f, rng_).Bursts.empty();
    EXPECT_GT(silent, 450);
    EXPECT_LT(silent, 750);
}

TEST(FaultCommands, AcceptTheConsoleLanguageAndRefuseTheRest) {
    vkdsim::FaultSettings f;
    QString error;
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("fault late 3000"), f, &error));
    EXPECT_EQ(f.Kind, FaultKind::Late);
    EXPECT_EQ(f.LateMs, 3000);
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("  FAULT split 120 x2 "), f, &error));
    EXPECT_EQ(f.Kind, FaultKind::Split);
    EXPECT_EQ(f.SplitGapMs, 120);
    EXPECT_EQ(f.Remaining, 2);
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("pacing off"), f, &error));
    EXPECT_FALSE(f.Pacing);
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("turnaround 0"), f, &error));
    EXPECT_EQ(f.TurnaroundMs, 0);
    ASSERT_TRUE(vkdsim::ApplyFaultCommand(QStringLiteral("fault off"), f, &error));
    EXPECT_EQ(f.Kind, FaultKind::None);

    const vkdsim::FaultSettings before = f;
    for (const char* bad :
         {"fault", "fault sometimes", "fault late soon", "fault crc 10", "fault silent x0",
          "silence 2", "pacing maybe", "turnaround -1", "dance", ""}) {
        EXPECT_FALSE(vkdsim::ApplyFaultCommand(QString::fromUtf8(bad), f, &error)) << bad;
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(f.Kind, before.Kind);
        EXPECT_EQ(f.Pacing, before.Pacing);
    }
}

} // namespace
