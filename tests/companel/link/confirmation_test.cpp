#include "companel/link/confirmation.h"
#include "hex.h"

#include <gtest/gtest.h>

namespace companel {
namespace {

using test::Hex;

struct Case {
    const char* answer; // CRC left off: it is not tested
    std::uint16_t mode;
    int rule;
    const char* text;
    const char* wave;
};

// Tables as loaded from the sample map: 60 parameters, 44 settings.
ConfirmationContext Context(std::uint16_t mode) {
    ConfirmationContext c;
    c.RemoteMode = mode;
    c.ParameterNumber = 60;
    c.SettingNumber = 44;
    return c;
}

TEST(Confirmation, RuleTable) {
    const Case cases[] = {
        {"011000000006", 0xFFFF, 1, "校时成功!", "IDR_WAVE_YK"},
        {"071000000006", 0, 1, "校时成功!", "IDR_WAVE_YK"}, // address is not tested
        {"011000280006", 0, 20, "", nullptr}, // time set at TimePost 40 is not recognised
        {"011000640001", 0, 2, "下载遥测检验设定参数成功!", "IDR_WAVE_HOVER"},
        {"01100064003C", 0, 3, "下载所有参数成功!", "IDR_WAVE_HOVER"},
        {"01100164003C", 0, 3, "下载所有参数成功!", "IDR_WAVE_HOVER"}, // low byte 100 only
        {"01100065003C", 0, 20, "", nullptr},
        {"01100064003B", 0, 20, "", nullptr},
        {"011000C8002C", 0, 4, "下载所有定值成功!", "IDR_WAVE_HOVER"},
        {"0105000BFF00", 0xFFFF, 5, "复归成功!", "IDR_WAVE_YK"},
        {"01050000FF00", 0, 6, "高压侧合闸成功!", "IDR_WAVE_YK"},
        {"01050000FF00", 1, 6, "高压侧合闸成功!", "IDR_WAVE_YK"},
        {"01050000FF00", 0xFFFF, 20, "", nullptr},
        {"01050002FF00", 0, 7, "高压侧分闸成功!", "IDR_WAVE_YK"},
        {"01050002FF00", 0xFFFF, 20, "", nullptr}, // no parameters uploaded yet
        {"01050002FF00", 1, 14, "2#低压侧合闸成功!", "IDR_WAVE_YK"},
        {"010500000000", 1, 8, "高压侧分闸成功!", "IDR_WAVE_YK"},
        {"01050003FF00", 0, 9, "1#低压侧合闸成功!", "IDR_WAVE_YK"},
        {"01050001FF00", 1, 10, "1#低压侧合闸成功!", "IDR_WAVE_YK"},
        {"01050004FF00", 0, 11, "1#低压侧分闸成功!", "IDR_WAVE_YK"},
        {"010500010000", 1, 12, "1#低压侧分闸成功!", "IDR_WAVE_YK"},
        {"0105000DFF00", 0, 13, "2#低压侧合闸成功!", "IDR_WAVE_YK"},
        {"0105000EFF00", 0, 15, "2#低压侧分闸成功!", "IDR_WAVE_YK"},
        {"010500020000", 1, 16, "2#低压侧分闸成功!", "IDR_WAVE_YK"},
        {"0105000EFF00", 1, 20, "", nullptr},
        {"01050005FF00", 0, 20, "", nullptr}, // outputs 7..10 have no confirmation
        {"010378", 0, 17, "", nullptr},       // 2 x 60 parameter bytes
        {"010358", 0, 18, "", nullptr},       // 2 x 44 setting bytes
        {"010302", 0, 20, "", nullptr},
        {"0111CC", 0, 19, "", nullptr},
        {"0183", 0, 20, "", nullptr},                           // exception answer
        {"0110", 0, 20, "", nullptr},                           // too short for any rule
        {"01050000FF", 0, 6, "高压侧合闸成功!", "IDR_WAVE_YK"}, // b5 is not needed here
        {"0110000000", 0, 20, "", nullptr},                     // rule 1 needs b5
        {"", 0, 20, "", nullptr},
    };
    for (const Case& c : cases) {
        const auto a = Hex(c.answer);
        const Confirmation r = Confirm(a.data(), a.size(), Context(c.mode));
        EXPECT_EQ(r.Rule, c.rule) << c.answer << " mode " << c.mode;
        EXPECT_EQ(r.Text, QString::fromUtf8(c.text)) << c.answer;
        EXPECT_STREQ(r.Wave, c.wave) << c.answer;
    }
}

TEST(Confirmation, CallsForUploadsAndEventPages) {
    const auto params = Hex("010378");
    EXPECT_EQ(Confirm(params.data(), params.size(), Context(0)).Then,
              Confirmation::Call::DecodeParameterUpload);
    const auto settings = Hex("010358");
    EXPECT_EQ(Confirm(settings.data(), settings.size(), Context(0)).Then,
              Confirmation::Call::DecodeSettingUpload);
    const auto events = Hex("0111CC");
    EXPECT_EQ(Confirm(events.data(), events.size(), Context(0)).Then,
              Confirmation::Call::EventPage);
    // The page text shows the window's counter after it took the page.
    EXPECT_EQ(EventBatchText(4), QString::fromUtf8("分批上装事件记录成功：100/500"));
    EXPECT_EQ(EventBatchText(1), QString::fromUtf8("分批上装事件记录成功：25/500"));
    // A table of 128 points needs a byte count of 256, which no answer carries.
    ConfirmationContext big = Context(0);
    big.ParameterNumber = 128;
    const auto zero = Hex("010300");
    EXPECT_EQ(Confirm(zero.data(), zero.size(), big).Rule, 20);
}

TEST(Confirmation, CalibrationTexts) {
    const auto a = Hex("011000780001");
    ConfirmationContext c = Context(0);
    c.CalibrationPending = true;
    Confirmation r = Confirm(a.data(), a.size(), c);
    EXPECT_EQ(r.Text, QString::fromUtf8("下载遥测检验默认参数成功!"));
    EXPECT_EQ(r.PauseBeforeWaveMs, 200);
    c.CalibrationPending = false;
    EXPECT_EQ(Confirm(a.data(), a.size(), c).Text, QString::fromUtf8("下载遥测检验设定参数成功!"));
    c.WheelAdjusted = true;
    r = Confirm(a.data(), a.size(), c);
    EXPECT_EQ(r.Rule, 2);
    EXPECT_TRUE(r.Text.isEmpty());
    EXPECT_STREQ(r.Wave, "IDR_WAVE_HOVER");
}

} // namespace
} // namespace companel
