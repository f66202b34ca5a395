#include "engine_fixture.h"
#include "lanpanel/engine/commands.h"

using namespace lanpanel;
using lanpanel::testing::Hex;

TEST(Commands, FixedFramesByteExact) {
    struct Case {
        const char* what;
        Frame frame;
        const char* hex;
    } cases[] = {
        {"identification", IdentificationRequest(5), "14 81 05 05 FE 04 01 00"},
        {"interrogation", GeneralInterrogation(5), "07 81 09 05 FE 00 04"},
        {"fixed clock", FixedClock(5), "06 81 08 05 FE 00 40 1F 08 08 08 08 08"},
        {"signal reset", SignalReset(5), "0A 81 28 05 FE FA 18 01 00 06 01 03 01 01 01"},
        {"remote control", RemoteControl(5, 2, 2), "0A 81 28 05 FE FA 11 01 0B 02 01 09 01 01 02"},
        {"read zone", ReadZone(5), "15 81 2A 05 FE F1 03 01 00 03 01"},
        {"select zone", SelectZone(5, 7), "0A 81 28 05 FE FA 05 01 00 02 01 03 01 01 07"},
        {"read settings", ReadSettingsValues(5), "15 81 2A 05 FE F1 00 01 03 00 01"},
        {"read plates", ReadPlateValues(5), "15 81 2A 05 FE F1 07 01 0E 00 01"},
        {"plate switch", PlateSwitch(5, 3, 2), "0A 81 28 05 FE FA 07 01 0E 03 01 09 01 01 02"},
        {"read protection", ReadProtectionValues(5), "15 81 2A 05 FE F1 07 01 06 00 01"},
        {"clock 2023-06-15 14:07:09.250",
         ClockSync(5, QDateTime(QDate(2023, 6, 15), QTime(14, 7, 9, 250))),
         "06 81 08 05 FE 00 22 24 07 0E 0F 06 17"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.frame, Hex(c.hex)) << c.what;
}

TEST(Commands, OutputDriveButtons) {
    const OutputDrive expected[] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1},
                                    {3, 2}, {4, 1}, {4, 2}, {5, 1}, {5, 2}};
    for (int b = 1; b <= 10; ++b) {
        EXPECT_EQ(OutputDriveButton(b).entry, expected[b - 1].entry) << b;
        EXPECT_EQ(OutputDriveButton(b).value, expected[b - 1].value) << b;
    }
}

TEST(Commands, SettingsDownload) {
    auto tpl = DeviceTemplate::Create();
    tpl->SettingCount = 3;
    tpl->Setting[0] = {{}, {}, 3, 12.9f, 0};
    tpl->Setting[1] = {{}, {}, 7, 0.5f, 0};
    tpl->Setting[2] = {{}, {}, 3, 300.0f, 0};
    const Frame f = SettingsDownload(0xAA, *tpl);
    EXPECT_EQ(f, Hex("0A 81 2A AA FE FA 0B 03  03 01 01 03 02 01 0C 00"
                     "  03 02 01 07 04 01 00 00 00 3F  03 03 01 03 02 01 2C 01"));

    // 255 float settings no longer fit 2048 bytes: every one of them still goes out.
    tpl->SettingCount = 255;
    for (int i = 0; i < 255; ++i)
        tpl->Setting[i] = {{}, {}, 7, static_cast<float>(i), 0};
    const Frame big = SettingsDownload(1, *tpl);
    ASSERT_EQ(big.size(), 8u + 255u * 10u);
    EXPECT_EQ(big[7], 255);
    EXPECT_EQ(big[8 + 254 * 10 + 1], 255); // last entry number
}

TEST(Commands, SettingValueConversionIsDefined) {
    struct Case {
        float value;
        std::uint16_t raw;
    } cases[] = {{12.9f, 12},     {-0.9f, 0},  {-1.0f, 0xFFFF},    {65536.0f, 0},
                 {1e20f, 0xFFFF}, {-1e20f, 0}, {std::nanf(""), 0}, {300.0f, 300}};
    for (const auto& c : cases)
        EXPECT_EQ(SettingAsU16(c.value), c.raw) << c.value;
}
