// The staged accuracy check: the layouts, the judgement of a channel and the stage buttons.

#include "common/widgets/flat_button.h"
#include "lanpanel/ui/measurement_check.h"
#include "lanpanel/ui/measurement_page.h"
#include "lanpanel/ui/report_list.h"
#include "page_fixture.h"

#include <QComboBox>
#include <cmath>

using namespace lanpanel;
using namespace lanpanel::ui;
using lanpanel::testing::AddTemplate;

TEST(MeasurementCheck, ReferenceTablesOfBothLayouts) {
    const StageTable cf = BuildReferenceTable(true);
    EXPECT_FLOAT_EQ(cf[0][0], 0.3f);
    EXPECT_FLOAT_EQ(cf[0][5], 3.0f);
    EXPECT_FLOAT_EQ(cf[6][2], 5.5f);
    EXPECT_FLOAT_EQ(cf[6][3], 57.7f);
    const StageTable vf = BuildReferenceTable(false);
    EXPECT_FLOAT_EQ(vf[1][0], 8.0f);
    EXPECT_FLOAT_EQ(vf[1][6], 0.8f);
    for (const StageTable* t : {&cf, &vf})
        for (const auto& row : *t)
            EXPECT_EQ(row[9], 0.0f);
    for (const auto& row : vf)
        for (int c = 3; c <= 5; ++c)
            EXPECT_EQ(row[c], 0.0f);
    for (const auto& row : cf)
        for (int c = 6; c <= 8; ++c)
            EXPECT_EQ(row[c], 0.0f);
    EXPECT_EQ(ChannelHeadings(true)[0], QStringLiteral("Ia"));
    EXPECT_EQ(ChannelHeadings(false)[6], QStringLiteral("Ia"));
    EXPECT_EQ(ChannelHeadings(false)[9], QStringLiteral("\\"));
    EXPECT_TRUE(IsCurrentFirst("Ia"));
    EXPECT_TRUE(IsCurrentFirst("3I0"));
    EXPECT_FALSE(IsCurrentFirst("UA"));
}

TEST(MeasurementCheck, ChannelJudgement) {
    struct Case {
        float ref, reading, limit;
        const char* text;
        bool passed;
    };
    const Case cases[] = {
        {0.3f, 0.3015f, 0.5f, "0.50%", true},  // the documented example passes 0.5 %
        {0.3f, 0.3015f, 0.2f, "0.50%", false}, // and fails 0.2 %
        {0.3f, 0.0f, 10.0f, "100.00%", false}, // nothing read
        {57.7f, 57.7f, 0.2f, "0.00%", true},
        {5.5f, 5.5f * 1.1f, 10.0f, "10.00%", true}, // exactly at the limit, above the reference
        {8.0f, 8.0f * 0.9f, 10.0f, "10.00%", true}, // and below it
        {3.0f, 3.0063f, 0.2f, "0.21%", false},      // one hundredth over
    };
    for (const Case& c : cases) {
        const ChannelResult r = JudgeChannel(c.ref, c.reading, c.limit);
        EXPECT_EQ(r.text, QString::fromLatin1(c.text)) << c.ref << " " << c.reading;
        EXPECT_EQ(r.passed, c.passed) << c.ref << " " << c.reading << " " << c.limit;
    }
    // every reference against a reading exactly at every class passes, on both sides
    const float refs[] = {0.3f, 0.8f, 1.5f,  2.5f,  3.5f,  4.5f,  5.5f,
                          3.0f, 8.0f, 15.0f, 25.0f, 35.0f, 45.0f, 57.7f};
    for (float limit : kErrorClassTable)
        for (float ref : refs)
            for (int side : {1, -1}) {
                const float reading = static_cast<float>(ref * (1.0 + side * limit / 100.0));
                EXPECT_TRUE(JudgeChannel(ref, reading, limit).passed) << ref << " " << limit;
            }
    EXPECT_FALSE(JudgeChannel(1.5f, std::nanf(""), 10.0f).passed);
}

namespace {

class MeasurementPageTest : public ::testing::Test {
protected:
    SharedState shared;
    lanpanel::testing::ScriptedPrompter prompter;
    std::unique_ptr<MeasurementPage> page;

    void Make(std::initializer_list<const char*> names) {
        AddTemplate(shared, names);
        page = std::make_unique<MeasurementPage>(shared, prompter, nullptr);
        page->resize(900, 400);
    }
    DeviceTemplate& Tpl() { return *shared.Templates.back(); }
    // Every channel reads its reference in stage s, times `factor`.
    void FeedStage(int s, float factor = 1.0f) {
        for (int r = 0; r < Tpl().AnalogueCount && r < 9; ++r)
            Tpl().Analogue[r].Value = page->ReferenceTable()[s][r] * factor;
    }
    QString Cell(int row, int col) { return page->List()->Text(row, col); }
};

const std::initializer_list<const char*> kCurrentFirst = {"Ia",  "Ib",  "Ic",  "Ua",  "Ub", "Uc",
                                                          "Uab", "Ubc", "Uca", "3I0", "P"};
const std::initializer_list<const char*> kVoltageFirst = {"UA",  "UB", "UC", "UAB", "UBC",
                                                          "UCA", "Ia", "Ib", "Ic"};

} // namespace

TEST_F(MeasurementPageTest, ReloadShowsChannelsAndLayout) {
    Make(kCurrentFirst);
    EXPECT_TRUE(page->CurrentFirst());
    ASSERT_EQ(page->List()->rowCount(), 11);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("01"));
    EXPECT_EQ(Cell(10, 1), QStringLiteral("P"));
    EXPECT_EQ(Cell(3, 5), QStringLiteral("1.000000"));
    EXPECT_EQ(Cell(3, 6), QStringLiteral("A"));
    EXPECT_TRUE(Cell(0, 2).isEmpty());
    EXPECT_EQ(page->ErrorList()->currentText(), QStringLiteral("0.5%"));
    EXPECT_EQ(page->VoltageList()->currentText(), QStringLiteral("3"));

    Tpl().Analogue[0].Value = 12.5f;
    page->Update();
    EXPECT_EQ(Cell(0, 2), QStringLiteral("12.5000"));

    // a later point named like a current does not make a voltage-first relay current-first
    shared.Templates.clear();
    shared.SelectedTemplateIndex = kNoTemplate;
    AddTemplate(shared, kVoltageFirst);
    page->Reload();
    EXPECT_FALSE(page->CurrentFirst());
    EXPECT_FLOAT_EQ(page->ReferenceTable()[0][0], 3.0f);
}

TEST_F(MeasurementPageTest, StageButtonsSaveAndAdvance) {
    Make(kCurrentFirst);
    FeedStage(0);
    Tpl().Analogue[0].Value = 0.3015f; // 0.50 %: passes the default class
    page->StageButtonClicked(1);
    EXPECT_TRUE(page->StageShownPassed(1));
    EXPECT_EQ(page->StageIndex(), 1);
    EXPECT_EQ(page->VoltageList()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(page->CurrentList()->currentText(), QStringLiteral("0.8"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("0.3000"));
    EXPECT_EQ(Cell(0, 4), QStringLiteral("0.50%"));
    EXPECT_EQ(Cell(6, 3), QStringLiteral("\\")); // line voltages take no part here
    EXPECT_FLOAT_EQ(page->StageReadings()[0][0], 0.3015f);

    // stage 2 with one channel 1 % off fails and stays
    FeedStage(1);
    Tpl().Analogue[4].Value *= 1.01f;
    page->StageButtonClicked(2);
    EXPECT_FALSE(page->StageShownPassed(2));
    EXPECT_EQ(page->StageIndex(), 1);
    EXPECT_EQ(Cell(4, 4), QStringLiteral("1.00%"));

    // the engineer picks the 2 % class in the list: the same readings now pass
    page->ErrorList()->setCurrentIndex(1);
    page->StageButtonClicked(2);
    EXPECT_TRUE(page->StageShownPassed(2));
    EXPECT_EQ(page->StageIndex(), 2);
    EXPECT_EQ(page->ErrorClassIndex(), 1);

    // clicking a passed stage makes it the stage under test again, readings kept
    page->StageButtonClicked(1);
    EXPECT_FALSE(page->StageShownPassed(1));
    EXPECT_EQ(page->StageIndex(), 0);
    EXPECT_FLOAT_EQ(page->StageReadings()[0][0], 0.3015f);
    EXPECT_TRUE(page->StageShownPassed(2));

    // choosing stage 7 in the 参考电压 list and clicking its button judges stage 7
    page->VoltageList()->setCurrentIndex(6);
    FeedStage(6);
    page->StageButtonClicked(7);
    EXPECT_TRUE(page->StageShownPassed(7));
    EXPECT_EQ(page->StageIndex(), 6); // the last stage stays under test
    FeedStage(6, 1.001f);
    EXPECT_TRUE(page->SaveStage());
    EXPECT_FLOAT_EQ(page->StageReadings()[6][0], 5.5f * 1.001f);

    // a reload resets the icons but keeps the stage and the readings
    page->Reload();
    for (int k = 1; k <= 7; ++k)
        EXPECT_FALSE(page->StageShownPassed(k));
    EXPECT_EQ(page->StageIndex(), 6);
    EXPECT_FLOAT_EQ(page->StageReadings()[0][0], 0.3015f);
}

TEST_F(MeasurementPageTest, VoltageFirstChannelsThreeToFiveNeverFail) {
    Make(kVoltageFirst);
    FeedStage(3);
    for (int r = 3; r < 6; ++r)
        Tpl().Analogue[r].Value = 999.0f; // line voltages far off: not part of the check
    page->SelectStage(4);
    EXPECT_TRUE(page->SaveStage());
    for (int r = 3; r < 6; ++r) {
        EXPECT_EQ(Cell(r, 3), QStringLiteral("\\"));
        EXPECT_TRUE(Cell(r, 4).isEmpty());
    }
    EXPECT_EQ(Cell(6, 3), QStringLiteral("2.5000"));
}

TEST_F(MeasurementPageTest, TooFewChannelsFailEveryStage) {
    Make({"Ia", "Ib", "Ic", "Ua"}); // the missing voltages read 0
    for (int k = 1; k <= 7; ++k) {
        page->SelectStage(k);
        FeedStage(k - 1);
        EXPECT_FALSE(page->SaveStage()) << k;
        EXPECT_FALSE(page->StageShownPassed(k));
    }
    EXPECT_EQ(page->List()->rowCount(), 4);
}

TEST_F(MeasurementPageTest, WithoutTemplateNothingIsStoredAndTheStagePasses) {
    page = std::make_unique<MeasurementPage>(shared, prompter, nullptr);
    EXPECT_FALSE(page->CurrentFirst());
    EXPECT_TRUE(page->SaveStage());
    EXPECT_EQ(page->StageIndex(), 1);
    for (const auto& row : page->StageReadings())
        for (float v : row)
            EXPECT_EQ(v, 0.0f);
}

TEST_F(MeasurementPageTest, ExportButtonsSayTheyAreNotYetAvailable) {
    Make(kCurrentFirst);
    page->PrintButton()->click();
    page->SaveButton()->click();
    ASSERT_EQ(prompter.shown.size(), 2);
    EXPECT_TRUE(prompter.shown[0].contains(QStringLiteral("尚未提供")));
    EXPECT_EQ(page->PrintButton()->toolTip(), QStringLiteral("打印文档"));
    EXPECT_EQ(page->StageButton(3)->toolTip(), QStringLiteral("点击保存本阶段值并测试下一阶段"));
}
