// The signal and protection lists: reload, update, the changed-state marks and sounds.

#include "lanpanel/ui/report_list.h"
#include "lanpanel/ui/value_pages.h"
#include "page_fixture.h"

#include <QItemSelectionModel>

using namespace lanpanel;
using namespace lanpanel::ui;
using lanpanel::testing::AddTemplate;
using lanpanel::testing::SetName;

TEST(SignalsPage, StatesShownOncePerChangeWithSoundAndMark) {
    SharedState shared;
    DeviceTemplate& tpl = AddTemplate(shared, {}, 5);
    QStringList sounds;
    SignalsPage page(
        shared, [&](const QString& n) { sounds << n; }, nullptr);
    page.resize(600, 300);
    ReportList* list = page.List();
    ASSERT_EQ(list->rowCount(), 5);
    EXPECT_EQ(list->Text(2, 0), QStringLiteral("03"));
    EXPECT_EQ(list->Text(2, 1), QStringLiteral("开关位置"));
    for (int r = 0; r < 5; ++r)
        EXPECT_TRUE(list->Text(r, 2).isEmpty()); // until the first update

    tpl.Digital[1].State = 1;
    page.Update(); // the first update writes every row
    EXPECT_EQ(sounds.size(), 5);
    EXPECT_EQ(sounds.front(), QStringLiteral("IDR_WAVE_YX"));
    EXPECT_EQ(list->Text(0, 2), QStringLiteral("分"));
    EXPECT_EQ(list->Text(1, 2), QStringLiteral("合"));
    list->clearSelection();

    sounds.clear();
    tpl.Digital[2].State = 1;
    page.Update();
    EXPECT_EQ(sounds.size(), 1);
    EXPECT_EQ(list->Text(2, 2), QStringLiteral("合"));
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].row(), 2);
    page.Update(); // the same state again changes nothing
    EXPECT_EQ(sounds.size(), 1);
    for (int r = 0; r < 5; ++r)
        for (int c = 3; c < 6; ++c)
            EXPECT_TRUE(list->Text(r, c).isEmpty());

    // a reload forgets what was shown
    page.Reload();
    EXPECT_TRUE(list->Text(2, 2).isEmpty());
    sounds.clear();
    page.Update();
    EXPECT_EQ(sounds.size(), 5);

    shared.SelectedTemplateIndex = kNoTemplate;
    page.Reload();
    EXPECT_EQ(list->rowCount(), 0);
    page.Update();
    EXPECT_EQ(list->rowCount(), 0);
}

TEST(ProtectionPage, ValuesFormattedAndRowsOnlyOnReload) {
    SharedState shared;
    DeviceTemplate& tpl = AddTemplate(shared, {});
    for (int i = 0; i < 2; ++i) {
        SetName(tpl.Protection[i].Name, i == 0 ? "保护A相电流" : "保护频率");
        SetName(tpl.Protection[i].Unit, i == 0 ? "A" : "Hz");
        tpl.Protection[i].Factor = 0.01f;
    }
    tpl.ProtectionCount = 2;
    tpl.Protection[0].Value = 12.5f;
    ProtectionPage page(shared, nullptr);
    ReportList* list = page.List();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->Text(0, 0), QStringLiteral("01"));
    EXPECT_EQ(list->Text(1, 1), QStringLiteral("保护频率"));
    EXPECT_EQ(list->Text(0, 2), QStringLiteral("12.5000"));
    EXPECT_TRUE(list->Text(0, 3).isEmpty());
    EXPECT_EQ(list->Text(1, 4), QStringLiteral("Hz"));
    EXPECT_EQ(list->Text(1, 5), QStringLiteral("0.0100"));

    tpl.Protection[1].Value = 50.02f;
    tpl.ProtectionCount = 3; // grew after the page was filled
    page.Update();
    EXPECT_EQ(list->Text(1, 2), QStringLiteral("50.0200"));
    EXPECT_EQ(list->rowCount(), 2);
    page.Reload();
    EXPECT_EQ(list->rowCount(), 3);
}

TEST(ReportList, ColumnWidthsAreFractionsOfTheFirstWidth) {
    SharedState shared;
    ProtectionPage page(shared, nullptr);
    page.resize(900, 300);
    page.show();
    const int w = page.List()->viewport()->width();
    ASSERT_GT(w, 100);
    EXPECT_EQ(page.List()->columnWidth(0), w / 9);
    EXPECT_EQ(page.List()->columnWidth(1), w / 3);
    EXPECT_EQ(page.List()->columnWidth(5), w / 8);
    page.resize(500, 300); // made once: a later size keeps them
    EXPECT_EQ(page.List()->columnWidth(1), w / 3);
}
