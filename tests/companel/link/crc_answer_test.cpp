#include "companel/link/answer.h"
#include "companel/link/crc.h"
#include "hex.h"

#include <gtest/gtest.h>
#include <random>

namespace companel {
namespace {

using test::Hex;

TEST(Crc, CheckValueAndKnownFrames) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(digits, 9), 0x4B37);

    struct Case {
        const char* body;
        const char* wire;
    } cases[] = {
        {"010300000001", "01 03 00 00 00 01 84 0A"},
        {"FE0300000001", "FE 03 00 00 00 01 90 05"},
        {"0105000BFF00", "01 05 00 0B FF 00 FD F8"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> f = Hex(c.body);
        const std::size_t n = f.size();
        f.resize(n + 2);
        bool ok = false;
        AppendCrc(f.data(), f.size(), n, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(test::ToHex(f, f.size()), c.wire);
    }
}

TEST(Crc, AppendRefusesWithoutRoom) {
    std::uint8_t f[4] = {1, 2, 3, 0x55};
    bool ok = true;
    AppendCrc(f, sizeof f, 3, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(f[3], 0x55);
}

// A frame followed by its own CRC (low byte first) has a CRC residue of zero; this holds for
// every length, so it checks inputs far beyond 255 bytes independently of the code under test.
TEST(Crc, CorrectForAnyLength) {
    std::mt19937 rng(7);
    for (std::size_t n : {0u, 1u, 254u, 255u, 256u, 257u, 600u, 1022u}) {
        std::vector<std::uint8_t> f(n + 2);
        for (std::size_t i = 0; i < n; ++i)
            f[i] = static_cast<std::uint8_t>(rng());
        AppendCrc(f.data(), f.size(), n);
        EXPECT_EQ(Crc16(f.data(), f.size()), 0) << n;
        EXPECT_TRUE(CheckCrc(f.data(), f.size(), n)) << n;
    }
}

TEST(Crc, CheckAcceptsEitherByteOrderOnly) {
    const auto good = Hex("01030000000184 0A");
    EXPECT_TRUE(CheckCrc(good.data(), good.size(), 6));
    const auto swapped = Hex("0103000000010A84");
    EXPECT_TRUE(CheckCrc(swapped.data(), swapped.size(), 6));
    for (const char* bad : {"0103000000018400", "010300000001840B", "0103000000010000"}) {
        const auto f = Hex(bad);
        EXPECT_FALSE(CheckCrc(f.data(), f.size(), 6)) << bad;
    }
    // The trailer must lie inside the received bytes.
    EXPECT_FALSE(CheckCrc(good.data(), 7, 6));
    EXPECT_FALSE(CheckCrc(good.data(), good.size(), 7));
    EXPECT_FALSE(CheckCrc(good.data(), good.size(), 100));
}

std::vector<std::uint8_t> Sealed(const char* body) {
    auto f = Hex(body);
    const std::size_t n = f.size();
    f.resize(n + 2);
    AppendCrc(f.data(), f.size(), n);
    return f;
}

TEST(Answer, RegistersPresentByReceivedLength) {
    // Byte count 4, total 9: registers 0 and 1, register 2 would lie in the CRC.
    const auto a = Sealed("0103041234ABCD");
    ASSERT_EQ(a.size(), 9u);
    EXPECT_EQ(RegisterAt(a.data(), a.size(), 0), 0x1234);
    EXPECT_EQ(RegisterAt(a.data(), a.size(), 1), 0xABCD);
    EXPECT_FALSE(RegisterAt(a.data(), a.size(), 2));
    // 1-based positions of the point tables.
    EXPECT_EQ(PostRegister(a.data(), a.size(), 1), 0x1234);
    EXPECT_EQ(PostRegister(a.data(), a.size(), 2), 0xABCD);
    EXPECT_FALSE(PostRegister(a.data(), a.size(), 3));
    // Short answers: nothing past the end is read.
    EXPECT_FALSE(RegisterAt(a.data(), 6, 0));
    EXPECT_EQ(RegisterAt(a.data(), 7, 0), 0x1234);
    EXPECT_FALSE(RegisterAt(a.data(), 0, 0));
    EXPECT_FALSE(RegisterAt(a.data(), a.size(), static_cast<std::size_t>(-1)));
}

TEST(Answer, PollAcceptanceRules) {
    struct Case {
        std::vector<std::uint8_t> answer;
        std::size_t length; // 0: the whole answer
        int rule;
    };
    const auto good = Sealed("0103041234ABCD");
    auto swapped = good;
    std::swap(swapped[7], swapped[8]);
    auto badCrc = good;
    badCrc[8] ^= 1;
    const Case cases[] = {
        {good, 0, 0},
        {swapped, 0, 0},
        {Sealed("0203041234ABCD"), 0, 1}, // other address
        {Sealed("0104041234ABCD"), 0, 1}, // other function
        {Sealed("018302"), 0, 1},         // exception answer
        {good, 1, 1},                     // header incomplete
        {good, 2, 2},                     // no byte count
        {good, 8, 2},                     // shorter than the byte count promises
        {Sealed("01030C1234"), 0, 2},     // byte count larger than the answer
        {badCrc, 0, 3},
        {good, 9, 0},
    };
    const char* texts[] = {"", "轮循过程收到报文头错误的报文!", "轮循过程收到长度太短的报文!",
                           "轮循过程收到CRC错误的报文!"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const std::size_t len = c.length ? c.length : c.answer.size();
        const PollCheck r = CheckPollAnswer(c.answer.data(), len, 1);
        EXPECT_EQ(r.FailedRule, c.rule) << "case " << i;
        EXPECT_EQ(r.Text, QString::fromUtf8(texts[c.rule])) << "case " << i;
    }
}

TEST(Answer, LongAnswerIsCutToTheBuffer) {
    // A valid answer followed by line noise up to 1500 bytes is read as its first 1024 bytes.
    std::vector<std::uint8_t> a = Sealed("0103041234ABCD");
    a.resize(1500, 0x11);
    EXPECT_TRUE(CheckPollAnswer(a.data(), a.size(), 1).Accepted());
    EXPECT_FALSE(RegisterAt(a.data(), a.size(), 600)); // would lie past 1024
    EXPECT_TRUE(RegisterAt(a.data(), a.size(), 500));
}

TEST(Answer, SearchAnswerNeedsOnlyTheCrc) {
    const auto a = Sealed("FE03020005");
    EXPECT_EQ(SearchAnswerAddress(a.data(), a.size()), 5);
    const auto other = Sealed("0710020009"); // neither address nor function is tested
    EXPECT_EQ(SearchAnswerAddress(other.data(), other.size()), 9);
    auto bad = a;
    bad[5] ^= 0xFF;
    EXPECT_FALSE(SearchAnswerAddress(bad.data(), bad.size()));
    EXPECT_FALSE(SearchAnswerAddress(a.data(), 4));
}

} // namespace
} // namespace companel
