#pragma once
// A program folder of its own, the sample point table, a pseudo-terminal reachable as port 5,
// and a main window whose questions and boxes are answered by the test.

#include "common/support/appdir.h"
#include "companel/link/serial_port.h"
#include "companel/polling/companel_state.h"
#include "companel/ui/log_box.h"
#include "companel/ui/main_window.h"
#include "companel/ui/running_log.h"
#include "companel/ui/window_reporter.h"
#include "tests/companel/link/pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace companel::test {

constexpr int kTestPort = 5;

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Window options for tests that drive the window alone, without the polling thread.
inline MainWindowOptions NoThread() {
    MainWindowOptions o;
    o.startManagement = false;
    return o;
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(pty_.Ok());
        support::SetAppDir(dir_.path());
        QDir(dir_.path()).mkpath(QStringLiteral("配置文件"));
        ASSERT_TRUE(LinkAsComPort(pty_.SlavePath(), kTestPort));
        QFile settings(dir_.path() + QStringLiteral("/配置文件/基本配置.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[Settings]\r\nPort=5\r\n");
        settings.close();
        state_.LoadTables(QStringLiteral(RELAY_SOURCE_DIR) +
                          QStringLiteral("/resources/companel/配置文件/VKD2950.ini"));
        log_ = std::make_unique<RunningLog>(dir_.path() + QStringLiteral("/运行记录"));
        reporter_ = std::make_unique<WindowReporter>(log_.get());
        QObject::connect(reporter_.get(), &WindowReporter::StatusReported,
                         [this](const QString& text, const QTime&) { statuses_ << text; });
    }

    void TearDown() override {
        window_.reset();
        reporter_.reset();
    }

    MainWindow& MakeWindow(MainWindowOptions options = MainWindowOptions()) {
        options.fadeMs = 30;
        window_ = std::make_unique<MainWindow>(state_, port_, *reporter_, options);
        window_->Inform = [this](const QString& text) { boxes_ << text; };
        window_->AskOkCancel = [this](const QString& text) {
            questions_ << text;
            return answerOk_;
        };
        window_->AskYesNo = [this](const QString& text) {
            questions_ << text;
            return answerOk_;
        };
        return *window_;
    }

    QString LastStatus() const { return statuses_.isEmpty() ? QString() : statuses_.last(); }

    QTemporaryDir dir_;
    PtyPair pty_;
    SerialPort port_;
    CompanelState state_;
    std::unique_ptr<RunningLog> log_;
    std::unique_ptr<WindowReporter> reporter_;
    std::unique_ptr<MainWindow> window_;
    QStringList statuses_;
    QStringList boxes_;
    QStringList questions_;
    bool answerOk_ = true;
};

} // namespace companel::test
