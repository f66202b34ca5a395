// The communication monitor window over the server's log.

#include "common/support/appdir.h"
#include "lanpanel/server/monitor_log.h"
#include "lanpanel/ui/monitor_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QListView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lanpanel;
using namespace lanpanel::ui;

namespace {
QDateTime At(int h, int m, int s) {
    return QDateTime(QDate(2024, 3, 5), QTime(h, m, s));
}
} // namespace

TEST(MonitorWindow, NewestOnTopAndPauseByMenuOrDoubleClick) {
    MonitorLog log;
    log.SetClock([] { return At(10, 15, 2); });
    log.Log(QStringLiteral("服务器开始创建TCP/IP套接口。"));
    MonitorWindow window(log);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("通讯管理"));
    const std::uint8_t gi[] = {0x07, 0x81, 0x09, 0x05, 0xFE, 0x00, 0x04};
    log.Log(MonitorLog::FrameText(false, gi, 7));
    QAbstractItemModel* model = window.List()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(0, 0).data().toString(),
              QStringLiteral("10:15:02 发 (007)：07 81 09 05 FE 00 04 "));
    // the scroll width follows the widest line
    const int wide = window.Model()->WidestPixels();
    log.Log(QString(300, QLatin1Char('X')));
    EXPECT_GT(window.Model()->WidestPixels(), wide);
    EXPECT_EQ(model->index(0, 0).data(Qt::SizeHintRole).toSize().width(),
              model->index(2, 0).data(Qt::SizeHintRole).toSize().width());

    EXPECT_TRUE(window.ContinueAction()->isChecked());
    window.PauseAction()->trigger();
    EXPECT_TRUE(log.Paused());
    EXPECT_TRUE(window.PauseAction()->isChecked());
    EXPECT_FALSE(window.ContinueAction()->isChecked());
    log.Log(QStringLiteral("lost"));
    EXPECT_EQ(model->rowCount(), 3);
    emit window.List()->doubleClicked(model->index(0, 0));
    EXPECT_FALSE(log.Paused());
    EXPECT_TRUE(window.ContinueAction()->isChecked());
    emit window.List()->doubleClicked(model->index(0, 0));
    EXPECT_TRUE(log.Paused());
    window.ContinueAction()->trigger();
    EXPECT_FALSE(log.Paused());
}

TEST(MonitorWindow, SaveProposesTheNameAndViewOpensTheLastSave) {
    QTemporaryDir dir;
    support::SetAppDir(dir.path());
    MonitorLog log;
    log.SetClock([] { return At(9, 7, 0); });
    log.Log(QStringLiteral("一行"));
    MonitorWindow window(log);
    QString proposed;
    int save = 0;
    window.SetSaveDialog([&](QWidget*, const QString& p) {
        proposed = p;
        return save == 0 ? QString() : dir.filePath(QStringLiteral("log%1.txt").arg(save));
    });
    QStringList viewed;
    window.SetViewer([&](const QString& path) { viewed << path; });

    window.View(); // nothing saved yet
    window.Save(); // cancelled
    EXPECT_TRUE(log.SavedPath().isEmpty());
    EXPECT_EQ(proposed, dir.path() + QStringLiteral("/报文存档/网口面板(2024.03.05 09.07).txt"));
    EXPECT_TRUE(QFileInfo(dir.path() + QStringLiteral("/报文存档")).isDir());
    save = 1;
    window.Save();
    save = 2;
    window.Save();
    window.View();
    ASSERT_EQ(viewed.size(), 2);
    EXPECT_TRUE(viewed[0].isEmpty());
    EXPECT_EQ(viewed[1], dir.filePath(QStringLiteral("log2.txt")));
    QFile saved(viewed[1]);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), log.LogText());
}

TEST(MonitorWindow, CloseAndEscOnlyHide) {
    MonitorLog log;
    MonitorWindow window(log);
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    window.show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&window, &esc);
    EXPECT_FALSE(window.isVisible());
    log.Log(QStringLiteral("still logging"));
    EXPECT_EQ(window.List()->model()->rowCount(), 1);
}
