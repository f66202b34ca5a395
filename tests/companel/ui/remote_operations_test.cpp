#include "common/support/gbk.h"
#include "companel/ui/remote_operations.h"
#include "tests/companel/polling/device_script.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QPushButton>

using namespace companel;
using namespace companel::test;

namespace {

QByteArray Peek(const RequestSlot& slot) {
    const Frame f = slot.Peek();
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
}

constexpr std::size_t kAccidentInput = 41; // "35kV事故总" in the sample table

class Operations : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(port_.Open(kTestPort));
        MakeWindow(NoThread());
        window_->Operations().Now = [] { return QDateTime(QDate(2015, 4, 2), QTime(10, 5, 9)); };
    }
    static MainWindowOptions NoThread() {
        MainWindowOptions o;
        o.startManagement = false;
        return o;
    }
    void Press(const QString& caption) {
        QPushButton* b = window_->Button(caption);
        ASSERT_NE(b, nullptr) << caption.toStdString();
        b->click();
    }
    void SetSignal(std::size_t i, std::uint16_t value) {
        state_.WithTables([&](PointTables& t) { t.Signals.State[i] = value; });
    }
};

TEST_F(Operations, EachButtonQueuesItsFrameAndReportsItsProgress) {
    struct Case {
        const char* button;
        QByteArray frame; // before the CRC
        const char* progress;
    };
    const Case cases[] = {
        {"校对时钟",
         QByteArray::fromHex("01 10 00 00 00 06 0C 00 0F 00 04 00 02 00 0A 00 05 00 09"),
         "正在进行校时操作..."},
        {"信号复归", QByteArray::fromHex("0105000BFF00"), "正在进行复归操作..."},
        {"出口1", QByteArray::fromHex("01050000FF00"), "正在进行高压侧合闸操作..."},
        {"出口2", QByteArray::fromHex("01050002FF00"), "正在进行高压侧分闸操作..."},
        {"出口3", QByteArray::fromHex("01050003FF00"), "正在进行1#低压侧合闸操作..."},
        {"出口4", QByteArray::fromHex("01050004FF00"), "正在进行1#低压侧分闸操作..."},
        {"出口5", QByteArray::fromHex("0105000DFF00"), "正在进行2#低压侧合闸操作..."},
        {"出口6", QByteArray::fromHex("0105000EFF00"), "正在进行2#低压侧分闸操作..."},
        {"出口7", QByteArray::fromHex("01050005FF00"), "正在驱动出口7..."},
        {"出口8", QByteArray::fromHex("01050006FF00"), "正在驱动出口8..."},
        {"出口9", QByteArray::fromHex("01050007FF00"), "正在驱动出口9..."},
        {"出口10", QByteArray::fromHex("01050008FF00"), "正在驱动出口10..."},
    };
    for (const Case& c : cases) {
        Press(QString::fromUtf8(c.button));
        EXPECT_EQ(Peek(state_.CommandSlot).toHex(' '), WithCrc(c.frame).toHex(' ')) << c.button;
        EXPECT_EQ(LastStatus(), QString::fromUtf8(c.progress));
        state_.CommandSlot.Clear();
    }
    EXPECT_TRUE(questions_.isEmpty());
}

TEST_F(Operations, FramesGoToTheAddressOfTheMoment) {
    window_->AddressField()->setText(QStringLiteral("5"));
    Press(QStringLiteral("出口2"));
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("05050002FF00")));
}

TEST_F(Operations, APendingRequestOrAClosedPortRefusesTheButton) {
    const QString pending = QStringLiteral("已经下发操作命令，请等待本次操作结束后重试!");
    Press(QStringLiteral("出口3"));
    const QByteArray first = Peek(state_.CommandSlot);
    Press(QStringLiteral("出口3"));
    EXPECT_EQ(LastStatus(), pending);
    Press(QStringLiteral("校对时钟"));
    EXPECT_EQ(LastStatus(), pending);
    EXPECT_EQ(Peek(state_.CommandSlot), first);

    // A calibration waiting for its second write blocks the buttons as well.
    state_.CommandSlot.Clear();
    const std::uint8_t calib[] = {1, 16, 0, 120, 0, 1, 2, 4, 0, 0, 0};
    state_.CalibrationSlot.Fill(calib, sizeof calib);
    Press(QStringLiteral("信号复归"));
    EXPECT_EQ(LastStatus(), pending);
    EXPECT_FALSE(state_.CommandSlot.IsPending());
    state_.CalibrationSlot.Clear();

    port_.Close();
    Press(QStringLiteral("信号复归"));
    EXPECT_EQ(LastStatus(), QStringLiteral("串口错误，无法进行复归操作!"));
    Press(QStringLiteral("出口10"));
    EXPECT_EQ(LastStatus(), QStringLiteral("串口错误，无法驱动出口10!"));
    Press(QStringLiteral("校对时钟"));
    EXPECT_EQ(LastStatus(), QStringLiteral("串口错误，无法进行校时操作!"));
    EXPECT_FALSE(state_.CommandSlot.IsPending());
}

TEST_F(Operations, AccidentSignalAsksAndOkQueuesTheResetInstead) {
    const QString question = RemoteOperations::AccidentQuestion();
    SetSignal(kAccidentInput, 1);

    answerOk_ = true;
    Press(QStringLiteral("出口1"));
    EXPECT_EQ(questions_, QStringList{question});
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("0105000BFF00")));
    EXPECT_EQ(LastStatus(), QStringLiteral("正在进行复归操作..."));
    state_.CommandSlot.Clear();

    answerOk_ = false;
    const int before = statuses_.size();
    Press(QStringLiteral("出口7"));
    EXPECT_EQ(questions_.size(), 2);
    EXPECT_FALSE(state_.CommandSlot.IsPending());
    EXPECT_EQ(statuses_.size(), before);

    // Clock setting and reset are not held back by the accident signal.
    Press(QStringLiteral("校对时钟"));
    state_.CommandSlot.Clear();
    Press(QStringLiteral("信号复归"));
    EXPECT_EQ(questions_.size(), 2);
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("0105000BFF00")));
    state_.CommandSlot.Clear();

    // Other states of the input let the operation pass.
    for (std::uint16_t s : {std::uint16_t{0}, kNoValue, kStateLinkDown}) {
        SetSignal(kAccidentInput, s);
        Press(QStringLiteral("出口1"));
        EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("01050000FF00"))) << s;
        state_.CommandSlot.Clear();
    }
    EXPECT_EQ(questions_.size(), 2);
}

TEST_F(Operations, OnlyTheFirstAccidentInputCounts) {
    state_.WithTables([](PointTables& t) {
        support::CopyGbkField(t.Signals.Name[3], kTextSize, support::ToGbk("10kV事故总"));
        t.Signals.State[3] = 0;
        t.Signals.State[kAccidentInput] = 1;
    });
    Press(QStringLiteral("出口1"));
    EXPECT_TRUE(questions_.isEmpty());
    EXPECT_EQ(Peek(state_.CommandSlot), WithCrc(QByteArray::fromHex("01050000FF00")));
}

} // namespace
