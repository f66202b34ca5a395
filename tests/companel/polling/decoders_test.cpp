#include "common/support/gbk.h"
#include "companel/link/crc.h"
#include "companel/polling/decoders.h"
#include "recording_reporter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace companel {
namespace {

using test::RecordingReporter;

// A code-3 answer carrying `registers` (0-based from 0), with its CRC.
std::vector<std::uint8_t> Answer(const std::vector<std::uint16_t>& registers,
                                 std::uint8_t address = 1) {
    std::vector<std::uint8_t> a = {address, 3, static_cast<std::uint8_t>(2 * registers.size())};
    for (std::uint16_t r : registers) {
        a.push_back(static_cast<std::uint8_t>(r >> 8));
        a.push_back(static_cast<std::uint8_t>(r & 0xFF));
    }
    a.resize(a.size() + 2);
    AppendCrc(a.data(), a.size(), a.size() - 2);
    return a;
}

void SetName(char (&field)[kTextSize], const char* utf8) {
    support::CopyGbkField(field, kTextSize, support::ToGbk(QString::fromUtf8(utf8)));
}

class Decoders : public ::testing::Test {
protected:
    Decoders() : state(std::make_unique<CompanelState>()) {}
    TelemetryTable& yc() { return state->Tables.Telemetry; }
    SignalTable& yx() { return state->Tables.Signals; }
    void Poll(const std::vector<std::uint16_t>& registers) {
        const auto a = Answer(registers);
        DecodePoll(*state, out, a.data(), a.size());
    }
    std::unique_ptr<CompanelState> state;
    RecordingReporter out;
};

TEST_F(Decoders, TelemetryValuesAndCells) {
    // Registers: 0 low words, 1 high word of point 3.
    const struct Case {
        std::uint16_t cc2;
        std::uint8_t type;
        std::uint8_t postH;
        std::uint16_t low, high;
        float value;
        const char* cell;
    } cases[] = {
        {100, 1, 0, 0xFF9C, 0, -1.0f, "-1.00"},
        {10, 2, 0, 0x0064, 0, 10.0f, "10.0"},
        {1, 2, 3, 0x0001, 0x0002, 131073.0f, "131073"},
        {0, 2, 0, 0x0007, 0, 7.0f, "7"},                // divisor 0 keeps the raw value
        {100, 5, 3, 0xFFFE, 0x0001, 655.34f, "655.34"}, // signed low, unsigned high
        {100, 1, 3, 0x0000, 0xFFFF, -655.36f, "-655.36"},
        {1000, 2, 0, 1234, 0, 1.234f, "1.234"},
        {10000, 2, 0, 12345, 0, 1.2345f, "1.2345"},
        {20000, 2, 0, 30000, 0, 1.5f, "1.50"},
        {1, 1, 0, 0xFFFF, 0, -1.0f, ""}, // raw 0xFFFF: shown empty whatever the value
    };
    for (const Case& c : cases) {
        state = std::make_unique<CompanelState>();
        out.Lines.clear();
        yc().Number = 1;
        yc().TimePost = 10; // clock and version absent from these short answers
        yc().VersionPost = 10;
        yc().CC2[0] = c.cc2;
        yc().Type[0] = c.type;
        yc().Post[0] = 2; // 1-based: 0-based register 1
        yc().PostH[0] = c.postH;
        Poll({0, c.low, c.high});
        EXPECT_FLOAT_EQ(state->TelemetryValue(0), c.value) << c.cell;
        EXPECT_EQ(out.Only("yc"), QStringList{QString::fromUtf8("yc 0 [%1]").arg(c.cell)});
        // The same reading again changes nothing on screen.
        out.Lines.clear();
        Poll({0, c.low, c.high});
        EXPECT_TRUE(out.Only("yc").isEmpty()) << c.cell;
    }
}

TEST_F(Decoders, AbsentRegisters) {
    yc().Number = 2;
    yc().Post[0] = 3; // absent in a two-register answer
    yc().Post[1] = 1;
    yc().PostH[1] = 5; // absent high word is skipped
    yc().CC2[1] = 1;
    yc().Type[1] = 2;
    Poll({0, 0});
    EXPECT_EQ(state->TelemetryValue(0), 65535.0f);
    EXPECT_EQ(state->WithTables([](const PointTables& t) { return t.Telemetry.RawValue[0]; }),
              kNoValue);
    EXPECT_EQ(state->TelemetryValue(1), 0.0f);
    EXPECT_EQ(out.Only("yc"), (QStringList{"yc 0 []", "yc 1 [0]"}));
}

TEST_F(Decoders, ClockModelAndVersion) {
    const struct Case {
        std::uint16_t version;
        const char* text;
    } versions[] = {{1640, "V1.640"}, {164, "V1.64"}, {1000, "V10.0"}, {1005, "V1.5"}, {0, "V0.0"}};
    for (const Case& c : versions)
        EXPECT_EQ(VersionText(c.version), QString(c.text));

    yc().TimePost = 1;
    yc().VersionPost = 0;
    Poll({164, 15, 4, 2, 10, 5, 9});
    EXPECT_EQ(out.Lines,
              (QStringList{"clock 15-04-02 10:05:09", "model VKD2950", "version V1.64"}));
    // A short answer: the clock shows what arrived; the version keeps its last value.
    out.Lines.clear();
    yc().VersionPost = 9;
    Poll({1640, 16, 5, 3});
    EXPECT_EQ(out.Lines,
              (QStringList{"clock 16-05-03 --:--:--", "model VKD2950", "version V1.64"}));
}

TEST_F(Decoders, BinaryInputsAndChangeMessages) {
    yc().YXPost = 2;
    yc().TimePost = 40; // keep the clock out of the way
    yx().Number = 3;
    SetName(yx().Name[0], "重瓦斯");
    yx().Post[0] = 1;  // register 2, bit 0
    yx().Post[1] = 17; // register 3, bit 0
    yx().Post[2] = 0;  // always 0 while register 2 is present
    MarkLinkDown(*state, out, QString::fromUtf8("程序启动"));
    out.Lines.clear();

    Poll({0, 0, 0x0001, 0x0000}); // first reading after link down: no messages
    EXPECT_EQ(out.Only("yx"), (QStringList{"yx 0 [合]", "yx 1 [分]", "yx 2 [分]"}));
    EXPECT_TRUE(out.Only("status").isEmpty());

    out.Lines.clear();
    Poll({0, 0, 0x0000, 0x0001});
    EXPECT_EQ(out.Only("status").join('|'), QString::fromUtf8("status 重瓦斯：合 -> 分!|status "
                                                              "遥信名称：分 -> 合!"));
    EXPECT_EQ(out.Only("wave"), (QStringList{"wave IDR_WAVE_YX", "wave IDR_WAVE_YX"}));
    EXPECT_EQ(state->SignalState(1), 1);

    out.Lines.clear();
    Poll({0, 0, 0x0000}); // register 3 missing: absent, blank cell, no message
    EXPECT_EQ(out.Only("yx"), QStringList{"yx 1 []"});
    EXPECT_TRUE(out.Only("status").isEmpty());
    EXPECT_EQ(state->SignalState(1), kNoValue);

    out.Lines.clear();
    MarkLinkDown(*state, out, QString::fromUtf8("通讯中断"));
    Poll({0, 0, 0x0001, 0x0001}); // from 0x8888 to 1: shown, not announced
    EXPECT_TRUE(out.Only("status").isEmpty());
    EXPECT_TRUE(out.Lines.contains(QString::fromUtf8("yx 0 [合]")));
}

TEST_F(Decoders, BitPositionsFromYXPost) {
    yc().YXPost = 40;
    yx().Number = 2;
    yx().Post[0] = 17; // register 41 bit 0
    yx().Post[1] = 32; // register 41 bit 15
    std::vector<std::uint16_t> regs(42, 0);
    regs[40] = 0xFFFE;
    regs[41] = 0x8001;
    Poll(regs);
    EXPECT_EQ(state->SignalState(0), 1);
    EXPECT_EQ(state->SignalState(1), 1);
    regs[41] = 0x7FFE;
    Poll(regs);
    EXPECT_EQ(state->SignalState(0), 0);
    EXPECT_EQ(state->SignalState(1), 0);
}

TEST_F(Decoders, CellsStopAtTheWindowsCells) {
    yc().Number = 128;
    yx().Number = 128;
    for (std::size_t i = 0; i < 128; ++i) {
        yc().Post[i] = 1;
        yx().Post[i] = static_cast<std::uint8_t>(i % 16 + 1);
    }
    yc().TimePost = 1;
    Poll({1});
    MarkLinkDown(*state, out, "x");
    for (const QString& l : out.Lines) {
        const QStringList parts = l.split(' ');
        if (parts[0] == "yc") {
            EXPECT_LT(parts[1].toInt(), 63) << l.toStdString();
        } else if (parts[0] == "yx") {
            EXPECT_LT(parts[1].toInt(), 68) << l.toStdString();
        }
    }
    EXPECT_TRUE(out.Lines.contains("yc 62 [1]"));
    EXPECT_TRUE(out.Lines.contains(QString::fromUtf8("yx 67 [分]")));
    // Points beyond the cells are still decoded.
    EXPECT_EQ(state->TelemetryValue(127), 65535.0f); // after the link-down marking
    EXPECT_EQ(state->SignalState(127), kStateLinkDown);
}

TEST_F(Decoders, MarkLinkDownBlanksOnlyWhatIsShown) {
    yc().Number = 1;
    yc().Post[0] = 1;
    yx().Number = 1;
    yc().TimePost = 5;
    MarkLinkDown(*state, out, QString::fromUtf8("程序启动"));
    EXPECT_EQ(out.Lines, (QStringList{QString::fromUtf8("clock 程序启动"), "yc 0 []", "yx 0 []"}));
    out.Lines.clear();
    MarkLinkDown(*state, out, QString::fromUtf8("通讯中断"));
    EXPECT_EQ(out.Lines, QStringList{QString::fromUtf8("clock 通讯中断")});
    Poll({7});
    EXPECT_EQ(state->WithTables([](const PointTables& t) { return t.Telemetry.RawValue[0]; }), 7);
    MarkLinkDown(*state, out, QString::fromUtf8("串口错误"));
    // Raw values stay; only the shown values are blanked.
    EXPECT_EQ(state->WithTables([](const PointTables& t) { return t.Telemetry.RawValue[0]; }), 7);
    EXPECT_EQ(state->TelemetryValue(0), 65535.0f);
}

TEST_F(Decoders, ParameterUpload) {
    ParameterTable& cs = state->Tables.Parameters;
    cs.Number = 60;
    for (std::size_t i = 0; i < 60; ++i)
        cs.Post[i] = static_cast<std::uint8_t>(i + 1);
    std::vector<std::uint16_t> regs(60);
    for (std::size_t i = 0; i < 60; ++i)
        regs[i] = static_cast<std::uint16_t>(0x4100 + i);
    regs[4] = 3; // unknown code
    regs[6] = 8;
    regs[50] = 0x3132;
    const auto a = Answer(regs);
    DecodeParameterUpload(*state, out, a.data(), a.size());
    EXPECT_EQ(state->ParameterValue(4), 9600);
    EXPECT_EQ(state->ParameterValue(6), 19200);
    EXPECT_EQ(state->ParameterValue(59), 0x413B);
    const auto id = state->HardwareInfoCopy();
    EXPECT_EQ(id[0], 0x31);
    EXPECT_EQ(id[1], 0x32);
    EXPECT_EQ(id[13], 0x38); // register 56 low byte
    EXPECT_EQ(out.Lines, (QStringList{QString::fromUtf8("status 上装所有参数成功!"),
                                      "refresh parameters", "wave IDR_WAVE_HOVER"}));

    // An answer shorter than its byte count: missing registers and ID bytes read as absent.
    const auto cut = Answer(regs);
    DecodeParameterUpload(*state, out, cut.data(), 3 + 2 * 52 + 2);
    EXPECT_EQ(state->ParameterValue(51), 0x4133);
    EXPECT_EQ(state->ParameterValue(52), kNoValue);
    EXPECT_EQ(state->ParameterValue(4), 9600);
    const auto part = state->HardwareInfoCopy();
    EXPECT_EQ(part[3], 0x33); // register 51 low byte, inside the received data
    EXPECT_EQ(part[4], 0xFF);
}

TEST_F(Decoders, SettingUpload) {
    SettingTable& dz = state->Tables.Settings;
    dz.Number = 3;
    for (std::size_t i = 0; i < 3; ++i)
        dz.Post[i] = static_cast<std::uint8_t>(i + 1);
    dz.CC2[0] = 100;
    dz.CC2[1] = 0;
    dz.Scaled[2] = 42.0f;
    const auto a = Answer({1234, 5});
    DecodeSettingUpload(*state, out, a.data(), a.size());
    EXPECT_EQ(dz.RawValue[0], 1234);
    EXPECT_FLOAT_EQ(dz.Scaled[0], 12.34f);
    EXPECT_TRUE(std::isinf(dz.Scaled[1]));
    EXPECT_EQ(dz.RawValue[2], kNoValue);
    EXPECT_EQ(dz.Scaled[2], 42.0f); // absent: left as it was
    EXPECT_EQ(out.Lines, (QStringList{QString::fromUtf8("status 上装所有定值成功!"),
                                      "refresh settings", "wave IDR_WAVE_HOVER"}));
}

TEST_F(Decoders, ConfirmationContextReadsTheTables) {
    state->Tables.Parameters.Number = 60;
    state->Tables.Settings.Number = 44;
    state->Tables.Parameters.RawValue[50] = 1;
    state->CalibrationSlot.Fill(BuildCalibrationDefault(1, 120));
    state->WheelAdjusted = true;
    const ConfirmationContext c = ConfirmationContextOf(*state);
    EXPECT_EQ(c.RemoteMode, 1);
    EXPECT_EQ(c.ParameterNumber, 60);
    EXPECT_EQ(c.SettingNumber, 44);
    EXPECT_TRUE(c.CalibrationPending);
    EXPECT_TRUE(c.WheelAdjusted);
    EXPECT_EQ(state->SlaveAddress.load(), 1);
}

} // namespace
} // namespace companel
