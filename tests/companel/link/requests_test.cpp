#include "companel/config/point_table_loader.h"
#include "companel/link/crc.h"
#include "companel/link/requests.h"
#include "hex.h"

#include <gtest/gtest.h>
#include <memory>

namespace companel {
namespace {

using test::ToHex;

// Frame text without the CRC, after checking that the CRC is right.
std::string Body(const Frame& f) {
    EXPECT_GE(f.size(), 2u);
    EXPECT_TRUE(CheckCrc(f.data(), f.size(), f.size() - 2));
    return ToHex(f.data(), f.size() - 2);
}

std::unique_ptr<PointTables> EmptyTables() {
    auto t = std::make_unique<PointTables>();
    LoadPointTables(support::Profile(), *t);
    return t;
}

TEST(Requests, FixedFrames) {
    const QDateTime when(QDate(2015, 4, 2), QTime(10, 5, 9));
    const struct Case {
        Frame frame;
        const char* body;
    } cases[] = {
        {BuildPoll(1, 40), "01 03 00 00 00 28"},
        {BuildAddressSearch(), "FE 03 00 00 00 01"},
        {BuildTimeSet(1, 0, when), "01 10 00 00 00 06 0C 00 0F 00 04 00 02 00 0A 00 05 00 09"},
        {BuildOperation(1, Operation::SignalReset), "01 05 00 0B FF 00"},
        {BuildOperation(3, Operation::HighSideClose), "03 05 00 00 FF 00"},
        {BuildOperation(1, Operation::HighSideOpen), "01 05 00 02 FF 00"},
        {BuildOperation(1, Operation::LowSide1Close), "01 05 00 03 FF 00"},
        {BuildOperation(1, Operation::LowSide1Open), "01 05 00 04 FF 00"},
        {BuildOperation(1, Operation::LowSide2Close), "01 05 00 0D FF 00"},
        {BuildOperation(1, Operation::LowSide2Open), "01 05 00 0E FF 00"},
        {BuildOperation(1, Operation::Output7), "01 05 00 05 FF 00"},
        {BuildOperation(1, Operation::Output10), "01 05 00 08 FF 00"},
        {BuildEventBatch(1, 3), "01 11 00 4B 00 19"},
        {BuildEventBatch(1, 19), "01 11 01 DB 00 19"},
        {BuildCalibrationDefault(1, 120), "01 10 00 78 00 01 02 04 00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Body(c.frame), c.body);
    EXPECT_EQ(BuildTimeSet(1, 0, when).size(), 21u);
    EXPECT_EQ(ToHex(BuildAddressSearch().data(), 8), "FE 03 00 00 00 01 90 05");
}

TEST(Requests, OperationTexts) {
    EXPECT_EQ(QString::fromUtf8(InfoOf(Operation::LowSide2Open).Progress),
              QString::fromUtf8("正在进行2#低压侧分闸操作..."));
    EXPECT_EQ(QString::fromUtf8(InfoOf(Operation::Output9).PortFailure),
              QString::fromUtf8("串口错误，无法驱动出口9!"));
}

TEST(Requests, UploadsAndDownloads) {
    auto t = EmptyTables();
    ParameterTable& cs = t->Parameters;
    cs.Start = 100;
    cs.Number = 60;
    for (std::uint16_t i = 0; i < 60; ++i)
        cs.RawValue[i] = static_cast<std::uint16_t>(0x0100 + i);
    cs.RawValue[4] = 19200;
    cs.RawValue[6] = 2400;
    EXPECT_EQ(Body(BuildParameterUpload(1, cs)), "01 03 00 64 00 3C");

    const FrameResult down = BuildParameterDownload(1, cs);
    ASSERT_TRUE(down.Ok());
    const Frame& f = down.Request;
    EXPECT_EQ(f.size(), 129u);
    EXPECT_EQ(ToHex(f.data(), 7), "01 10 00 64 00 3C 78");
    EXPECT_EQ(f[7 + 2 * 4] << 8 | f[8 + 2 * 4], 8); // 19200
    EXPECT_EQ(f[7 + 2 * 6] << 8 | f[8 + 2 * 6], 4); // 2400
    EXPECT_EQ(f[7 + 2 * 59] << 8 | f[8 + 2 * 59], 0x013B);
    EXPECT_TRUE(CheckCrc(f.data(), f.size(), 127));
    EXPECT_EQ(cs.RawValue[4], 19200); // the table keeps bit rates

    SettingTable& dz = t->Settings;
    dz.Start = 200;
    dz.Number = 2;
    dz.RawValue[0] = 0x1234;
    dz.RawValue[1] = 0xFFFF;
    EXPECT_EQ(Body(BuildSettingUpload(1, dz)), "01 03 00 C8 00 02");
    EXPECT_EQ(Body(BuildSettingDownload(1, dz).Request), "01 10 00 C8 00 02 04 12 34 FF FF");
}

TEST(Requests, DownloadsBeyondOneFrameAreRefused) {
    auto t = EmptyTables();
    t->Parameters.Number = 123;
    EXPECT_TRUE(BuildParameterDownload(1, t->Parameters).Ok());
    EXPECT_EQ(BuildParameterDownload(1, t->Parameters).Request.size(), 255u);
    t->Parameters.Number = 124;
    FrameResult r = BuildParameterDownload(1, t->Parameters);
    EXPECT_FALSE(r.Ok());
    EXPECT_TRUE(r.Request.empty());
    EXPECT_TRUE(r.Refusal.contains(QString::fromUtf8("无法下载")));
    t->Settings.Number = 128;
    EXPECT_FALSE(BuildSettingDownload(1, t->Settings).Ok());
    // An upload of 128 still fits its frame; the count carries the low byte.
    EXPECT_EQ(Body(BuildSettingUpload(1, t->Settings)), "01 03 00 00 00 80");
}

TEST(Requests, HardwareInfoDownloadReplacesRegisters50To56) {
    auto t = EmptyTables();
    ParameterTable& cs = t->Parameters;
    cs.Start = 100;
    cs.Number = 57;
    const std::uint8_t id[kHardwareInfoSize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    const FrameResult r = BuildHardwareInfoDownload(1, cs, id);
    ASSERT_TRUE(r.Ok());
    ASSERT_EQ(r.Request.size(), 2u * 57 + 9);
    for (std::size_t k = 0; k < 14; ++k)
        EXPECT_EQ(r.Request[107 + k], id[k]);
    EXPECT_EQ(r.Request[106], 0xFF); // register 49 keeps its value
    EXPECT_TRUE(CheckCrc(r.Request.data(), r.Request.size(), r.Request.size() - 2));
    cs.Number = 56; // registers 50..56 would lie outside the frame
    EXPECT_FALSE(BuildHardwareInfoDownload(1, cs, id).Ok());
}

TEST(Requests, BitRateCodes) {
    const std::pair<std::uint16_t, std::uint16_t> toCode[] = {
        {4800, 1}, {9600, 2}, {2400, 4}, {19200, 8}, {38400, 2}, {0, 2}, {0xFFFF, 2}};
    for (auto [rate, code] : toCode)
        EXPECT_EQ(BaudCode(rate), code) << rate;
    const std::pair<std::uint16_t, std::uint16_t> toRate[] = {
        {1, 4800}, {2, 9600}, {4, 2400}, {8, 19200}, {3, 9600}, {0, 9600}, {0xFFFF, 9600}};
    for (auto [code, rate] : toRate)
        EXPECT_EQ(BaudRateOfCode(code), rate) << code;
}

TEST(Requests, CalibrationCoefficient) {
    const struct Case {
        float target, value;
        std::uint16_t expected;
    } cases[] = {
        {100, 50, 2048},
        {100, 30, 3413},              // 3413.33 truncated
        {1, -3, 0xFEAB},              // -341.33 -> -341, low 16 bits
        {100000000, 1, 0},            // 102400000000 = 0x17_D784_0000
        {100000000, 1.0f / 65535, 0}, // about 2^52: the float's low 16 bits are zero
        {5, 0, 0},                    // not finite: no coefficient
    };
    for (const Case& c : cases)
        EXPECT_EQ(CalibrationCoefficient(c.target, c.value), c.expected)
            << c.target << "/" << c.value;

    Frame f = BuildCoefficientWrite(1, 120, 0);
    ASSERT_TRUE(FinishCalibrationFrame(f, 2048));
    EXPECT_EQ(Body(f), "01 10 00 78 00 01 02 08 00");
    Frame shortFrame = BuildPoll(1, 1);
    EXPECT_FALSE(FinishCalibrationFrame(shortFrame, 1));
}

TEST(Requests, NoAnswerTexts) {
    const struct Case {
        Frame request;
        const char* text;
    } cases[] = {
        {BuildReadRegisters(1, 100, 60), "上装参数失败!"},
        {BuildReadRegisters(1, 200, 44), "上装定值失败!"},
        {BuildReadRegisters(1, 0, 60), "上装参数失败!"}, // recognised by the count alone
        {BuildPoll(1, 5), "操作失败!"},
        {BuildOperation(1, Operation::SignalReset), "操作失败!"},
        {BuildEventBatch(1, 0), "操作失败!"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NoAnswerText(c.request.data(), c.request.size(), 60, 44),
                  QString::fromUtf8(c.text));
    const std::uint8_t tiny[] = {1, 3};
    EXPECT_EQ(NoAnswerText(tiny, 2, 0, 0), QString::fromUtf8("操作失败!"));
}

class WheelStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = EmptyTables();
        t->Parameters.Start = 100;
        t->Parameters.Number = 60;
        for (std::size_t i = 0; i < 3; ++i) {
            t->Telemetry.bCheckMemery[i] = static_cast<std::uint16_t>(120 + i);
            t->Parameters.RawValue[20 + i] = 1000;
        }
    }
    WheelStep Step(std::size_t point, int x, int delta, bool ctrl) {
        return CoefficientStep(1, t->Telemetry, t->Parameters, point, x, delta, ctrl);
    }
    std::uint16_t C(std::size_t k) const { return t->Parameters.RawValue[20 + k]; }
    std::unique_ptr<PointTables> t;
};

TEST_F(WheelStepTest, StepSizeByPositionAndCtrl) {
    const struct Case {
        int x, delta;
        bool ctrl;
        int c0, c1, c2;
        const char* body;
    } cases[] = {
        {5, 120, false, 1030, 1000, 1000, "01 10 00 78 00 01 02 04 06"},
        {25, 120, false, 1008, 1000, 1000, "01 10 00 78 00 01 02 03 F0"},
        {60, -120, false, 997, 1000, 1000, "01 10 00 78 00 01 02 03 E5"},
        {5, -120, true, 970, 970, 970, "01 10 00 78 00 03 06 03 CA 03 CA 03 CA"},
        {30, 120, true, 1008, 1010, 1010, "01 10 00 78 00 03 06 03 F0 03 F2 03 F2"},
        {45, 120, true, 1003, 1003, 1003, "01 10 00 78 00 03 06 03 EB 03 EB 03 EB"},
        {5, 240, false, 1000, 1000, 1000, "01 10 00 78 00 01 02 03 E8"},
        {5, 0, true, 1000, 1000, 1000, "01 10 00 78 00 03 06 03 E8 03 E8 03 E8"},
    };
    for (const Case& c : cases) {
        SetUp();
        const WheelStep s = Step(0, c.x, c.delta, c.ctrl);
        ASSERT_EQ(s.Action, WheelStep::Kind::SendStep);
        EXPECT_EQ(Body(s.Request), c.body);
        EXPECT_EQ(C(0), c.c0);
        EXPECT_EQ(C(1), c.c1);
        EXPECT_EQ(C(2), c.c2);
    }
}

TEST_F(WheelStepTest, LimitsQueueAnUploadInstead) {
    t->Parameters.RawValue[20] = 8000;
    WheelStep s = Step(0, 5, 120, false);
    EXPECT_EQ(s.Action, WheelStep::Kind::QueueParameterUpload);
    EXPECT_EQ(Body(s.Request), "01 03 00 64 00 3C");
    EXPECT_EQ(C(0), 8000);
    EXPECT_EQ(Step(0, 5, -120, false).Action, WheelStep::Kind::SendStep); // other direction
    t->Parameters.RawValue[20] = 50;
    EXPECT_EQ(Step(0, 5, -120, false).Action, WheelStep::Kind::QueueParameterUpload);
    t->Parameters.RawValue[20] = 0xFFFF; // not uploaded yet
    EXPECT_EQ(Step(0, 5, 120, false).Action, WheelStep::Kind::QueueParameterUpload);
}

TEST_F(WheelStepTest, CoefficientOutsideTheBlockIsRefused) {
    t->Telemetry.bCheckMemery[3] = 0xFFFF; // default: no coefficient register
    EXPECT_EQ(Step(3, 5, 120, false).Action, WheelStep::Kind::Refused);
    t->Telemetry.bCheckMemery[3] = 99;
    EXPECT_EQ(Step(3, 5, 120, false).Action, WheelStep::Kind::Refused);
    EXPECT_EQ(Step(1, 5, 120, true).Action, WheelStep::Kind::Refused); // point 3 follows
    EXPECT_EQ(C(1), 1000);                                             // nothing changed
    EXPECT_EQ(Step(127, 5, 120, true).Action, WheelStep::Kind::Refused);
    EXPECT_EQ(Step(128, 5, 120, false).Action, WheelStep::Kind::Refused);
}

} // namespace
} // namespace companel
