#include "common/support/gbk.h"
#include "companel/ui/comm_monitor.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>

using namespace companel;
using namespace companel::test;

namespace {

const std::uint8_t kPoll[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x3C, 0x45, 0xDB};

void MouseOn(QWidget* target, QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent e(type, QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

class MonitorTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeWindow(NoThread());
        window_->OpenMonitor();
        monitor_ = window_->Monitor();
        ASSERT_NE(monitor_, nullptr);
    }
    QString Text() const { return monitor_->Box()->Text(); }
    CommMonitor* monitor_ = nullptr;
};

TEST_F(MonitorTest, ShowsFramesAndStatusLinesOnceOpened) {
    EXPECT_EQ(LastStatus(), QStringLiteral("成功打开通讯管理界面!"));
    EXPECT_TRUE(Text().endsWith(QStringLiteral(" -> 成功打开通讯管理界面!\r\n")));
    EXPECT_EQ(monitor_->windowTitle(), QStringLiteral("通讯管理 - 正常监视"));

    reporter_->LogFrame(0, kPoll, sizeof kPoll);
    EXPECT_TRUE(Text().endsWith(QStringLiteral(" -> 发 (008) 01 03 00 00 00 3C 45 DB\r\n")));
    EXPECT_EQ(monitor_->IconPhase(), 1);

    // A received frame of 23 bytes whose first input word is 0x0005: inputs 1 and 3.
    std::uint8_t answer[23] = {0x01, 0x03};
    answer[20] = 0x05;
    reporter_->LogFrame(1, answer, sizeof answer);
    EXPECT_TRUE(Text().contains(QStringLiteral("-- (023) 01 03 00")));
    EXPECT_TRUE(Text().endsWith(QStringLiteral("00\r\n                遥信 01 为合！\r\n"
                                               "                遥信 03 为合！\r\n")));
    for (QCheckBox* box : monitor_->findChildren<QCheckBox*>()) {
        if (box->text() == QStringLiteral("显示收字") || box->text() == QStringLiteral("遥信提示"))
            box->click();
    }
    reporter_->LogFrame(1, answer, sizeof answer);
    EXPECT_TRUE(Text().endsWith(QStringLiteral("00 00\r\n")));
    EXPECT_TRUE(Text().contains(QStringLiteral("收 (023) 01 03 00")));

    // A second press only shows it again, without another status line.
    const int before = statuses_.size();
    window_->OpenMonitor();
    EXPECT_EQ(statuses_.size(), before);
    EXPECT_EQ(window_->Monitor(), monitor_);
}

TEST_F(MonitorTest, PauseStopsFramesStatusLinesAndTheIconUntilReleased) {
    QWidget* view = monitor_->Box()->viewport();
    MouseOn(view, QEvent::MouseButtonPress, Qt::RightButton);
    MouseOn(view, QEvent::MouseButtonRelease, Qt::RightButton);
    ASSERT_TRUE(monitor_->Paused());
    EXPECT_EQ(monitor_->windowTitle(), QStringLiteral("通讯管理 - 暂停监视"));

    const QString before = Text();
    reporter_->LogFrame(0, kPoll, sizeof kPoll);
    reporter_->ReportStatus(QStringLiteral("轮循回复超时!"));
    EXPECT_EQ(Text(), before);
    EXPECT_EQ(monitor_->IconPhase(), 0);
    // The status box of the main window still gets the line.
    EXPECT_TRUE(window_->StatusBox()->Text().endsWith(QStringLiteral("轮循回复超时!\r\n")));

    MouseOn(view, QEvent::MouseButtonRelease, Qt::RightButton);
    EXPECT_FALSE(monitor_->Paused());
    EXPECT_EQ(monitor_->windowTitle(), QStringLiteral("通讯管理 - 正常监视"));
    reporter_->LogFrame(0, kPoll, sizeof kPoll);
    EXPECT_EQ(monitor_->IconPhase(), 1);
    EXPECT_TRUE(Text().endsWith(QStringLiteral("3C 45 DB\r\n")));

    MouseOn(view, QEvent::MouseButtonDblClick, Qt::LeftButton);
    EXPECT_TRUE(Text().isEmpty());
}

TEST_F(MonitorTest, SaveWritesTheWholeTextInGbkUnderTheProposedName) {
    EXPECT_EQ(CommMonitor::ProposedName(QDateTime(QDate(2015, 4, 2), QTime(10, 5, 9))),
              QStringLiteral("(15-04-02 10.05).txt"));
    QStringList viewed;
    monitor_->OpenViewer = [&](const QString& p) { viewed << p; };
    monitor_->Inform = [&](const QString& t) { boxes_ << t; };
    monitor_->View(); // nothing saved yet: nothing to open
    EXPECT_TRUE(viewed.isEmpty());
    EXPECT_EQ(boxes_.size(), 1);

    QString title, folder, name;
    monitor_->AskSavePath = [&](QWidget*, const QString& t, const QString& f, const QString& n) {
        title = t;
        folder = f;
        name = n;
        return f + QLatin1Char('/') + n;
    };
    reporter_->LogFrame(0, kPoll, sizeof kPoll);
    monitor_->findChildren<QPushButton*>().at(0)->click(); // "保存报文"
    EXPECT_EQ(title, QStringLiteral("运维终端 - 保存通讯监视记录"));
    EXPECT_EQ(folder, dir_.path() + QStringLiteral("/报文存档"));
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\(\d\d-\d\d-\d\d \d\d\.\d\d\)\.txt$)"))
                    .match(name)
                    .hasMatch());
    QFile f(monitor_->SavedPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes, support::ToGbk(Text()));
    EXPECT_TRUE(bytes.contains(support::ToGbk(QStringLiteral("成功打开通讯管理界面!\r\n"))));
    EXPECT_TRUE(bytes.endsWith("3C 45 DB\r\n"));

    monitor_->View();
    EXPECT_EQ(viewed, QStringList{monitor_->SavedPath()});
}

TEST_F(MonitorTest, ClosingHidesItAndKeepsTheText) {
    monitor_->show();
    reporter_->LogFrame(0, kPoll, sizeof kPoll);
    const QString kept = Text();
    monitor_->close();
    EXPECT_TRUE(WaitFor([&] { return !monitor_->isVisible(); }));
    EXPECT_EQ(Text(), kept);
    reporter_->ReportStatus(QStringLiteral("轮循回复超时!"));
    EXPECT_TRUE(Text().endsWith(QStringLiteral("轮循回复超时!\r\n")));
}

} // namespace
