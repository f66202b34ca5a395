#include "companel/link/confirmation.h"

#include "companel/link/answer.h"

namespace companel {
namespace {

constexpr int kAny = -1;

enum class Mode { Any, Zero, One, ZeroOrOne };

// Comparisons that depend on the loaded tables rather than on fixed bytes.
enum class Extra {
    None,
    B4B5IsParameterNumber,
    B4B5IsSettingNumber,
    B2IsTwiceParameterNumber,
    B2IsTwiceSettingNumber,
    CalibrationTexts, // rule 2: the text depends on the wheel flag and the calibration slot
};

struct Rule {
    int Order;
    int B[5]; // b1..b5, kAny where not tested
    Mode NeedMode;
    Extra Also;
    const char* Text;
    const char* Wave;
    Confirmation::Call Then;
};

constexpr const char* kYk = "IDR_WAVE_YK";
constexpr const char* kHover = "IDR_WAVE_HOVER";
constexpr auto kNone = Confirmation::Call::Nothing;

// clang-format off
const Rule kRules[] = {
    {1,  {16, 0, 0, 0, 6},              Mode::Any,       Extra::None,                     "校时成功!",          kYk,    kNone},
    {2,  {16, kAny, kAny, 0, 1},        Mode::Any,       Extra::CalibrationTexts,         nullptr,              kHover, kNone},
    {3,  {16, kAny, 100, kAny, kAny},   Mode::Any,       Extra::B4B5IsParameterNumber,    "下载所有参数成功!",  kHover, kNone},
    {4,  {16, kAny, 200, kAny, kAny},   Mode::Any,       Extra::B4B5IsSettingNumber,      "下载所有定值成功!",  kHover, kNone},
    {5,  {5, 0, 11, 0xFF, kAny},        Mode::Any,       Extra::None,                     "复归成功!",          kYk,    kNone},
    {6,  {5, 0, 0, 0xFF, kAny},         Mode::ZeroOrOne, Extra::None,                     "高压侧合闸成功!",    kYk,    kNone},
    {7,  {5, 0, 2, 0xFF, kAny},         Mode::Zero,      Extra::None,                     "高压侧分闸成功!",    kYk,    kNone},
    {8,  {5, 0, 0, 0, kAny},            Mode::One,       Extra::None,                     "高压侧分闸成功!",    kYk,    kNone},
    {9,  {5, 0, 3, 0xFF, kAny},         Mode::Zero,      Extra::None,                     "1#低压侧合闸成功!",  kYk,    kNone},
    {10, {5, 0, 1, 0xFF, kAny},         Mode::One,       Extra::None,                     "1#低压侧合闸成功!",  kYk,    kNone},
    {11, {5, 0, 4, 0xFF, kAny},         Mode::Zero,      Extra::None,                     "1#低压侧分闸成功!",  kYk,    kNone},
    {12, {5, 0, 1, 0, kAny},            Mode::One,       Extra::None,                     "1#低压侧分闸成功!",  kYk,    kNone},
    {13, {5, 0, 13, 0xFF, kAny},        Mode::Zero,      Extra::None,                     "2#低压侧合闸成功!",  kYk,    kNone},
    {14, {5, 0, 2, 0xFF, kAny},         Mode::One,       Extra::None,                     "2#低压侧合闸成功!",  kYk,    kNone},
    {15, {5, 0, 14, 0xFF, kAny},        Mode::Zero,      Extra::None,                     "2#低压侧分闸成功!",  kYk,    kNone},
    {16, {5, 0, 2, 0, kAny},            Mode::One,       Extra::None,                     "2#低压侧分闸成功!",  kYk,    kNone},
    {17, {3, kAny, kAny, kAny, kAny},   Mode::Any,       Extra::B2IsTwiceParameterNumber, nullptr,              nullptr, Confirmation::Call::DecodeParameterUpload},
    {18, {3, kAny, kAny, kAny, kAny},   Mode::Any,       Extra::B2IsTwiceSettingNumber,   nullptr,              nullptr, Confirmation::Call::DecodeSettingUpload},
    {19, {17, kAny, kAny, kAny, kAny},  Mode::Any,       Extra::None,                     nullptr,              nullptr, Confirmation::Call::EventPage},
};
// clang-format on

bool ModeMatches(Mode need, std::uint16_t mode) {
    switch (need) {
    case Mode::Any:
        return true;
    case Mode::Zero:
        return mode == 0;
    case Mode::One:
        return mode == 1;
    case Mode::ZeroOrOne:
        return mode == 0 || mode == 1;
    }
    return false;
}

// Answer byte i (1..5), or -2 when the answer is too short to hold it: a missing byte
// matches no fixed value.
int ByteOf(const std::uint8_t* answer, std::size_t length, int i) {
    return static_cast<std::size_t>(i) < length ? answer[i] : -2;
}

bool ExtraMatches(Extra extra, const std::uint8_t* a, std::size_t length,
                  const ConfirmationContext& c) {
    const int b2 = ByteOf(a, length, 2);
    const int b4 = ByteOf(a, length, 4);
    const int b5 = ByteOf(a, length, 5);
    const int word45 = (b4 < 0 || b5 < 0) ? -1 : (b4 << 8) | b5;
    switch (extra) {
    case Extra::None:
    case Extra::CalibrationTexts:
        return true;
    case Extra::B4B5IsParameterNumber:
        return word45 == c.ParameterNumber;
    case Extra::B4B5IsSettingNumber:
        return word45 == c.SettingNumber;
    case Extra::B2IsTwiceParameterNumber:
        return b2 >= 0 && b2 == 2 * c.ParameterNumber;
    case Extra::B2IsTwiceSettingNumber:
        return b2 >= 0 && b2 == 2 * c.SettingNumber;
    }
    return false;
}

} // namespace

Confirmation Confirm(const std::uint8_t* answer, std::size_t length,
                     const ConfirmationContext& context) {
    length = UsableAnswerLength(length);
    for (const Rule& rule : kRules) {
        bool match = true;
        for (int i = 1; i <= 5 && match; ++i) {
            const int want = rule.B[i - 1];
            if (want != kAny && ByteOf(answer, length, i) != want)
                match = false;
        }
        if (!match || !ModeMatches(rule.NeedMode, context.RemoteMode) ||
            !ExtraMatches(rule.Also, answer, length, context))
            continue;
        Confirmation c;
        c.Rule = rule.Order;
        c.Wave = rule.Wave;
        c.Then = rule.Then;
        if (rule.Text)
            c.Text = QString::fromUtf8(rule.Text);
        if (rule.Also == Extra::CalibrationTexts) {
            // Wheel steps are answered the same way; once the wheel has been used the texts
            // would misname them, so only the sound remains.
            if (!context.WheelAdjusted)
                c.Text =
                    QString::fromUtf8(context.CalibrationPending ? "下载遥测检验默认参数成功!"
                                                                 : "下载遥测检验设定参数成功!");
            c.PauseBeforeWaveMs = 200;
        }
        return c;
    }
    return Confirmation{};
}

QString EventBatchText(int batchCounter) {
    return QString::asprintf("%02d/%02d", batchCounter * 25, 500)
        .prepend(QString::fromUtf8("分批上装事件记录成功："));
}

} // namespace companel
