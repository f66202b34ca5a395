#pragma once
// The communication monitor ("通讯管理"): every frame sent and received, in hex with a time
// stamp, together with every status line of the program. Created on first use, hidden (never
// destroyed) when closed, so its text survives until the program ends.

#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <QTime>
#include <functional>

class QCheckBox;
class QPushButton;

namespace companel {

class LogBox;

class CommMonitor : public QDialog {
    Q_OBJECT
public:
    explicit CommMonitor(QWidget* parent = nullptr);

    // One stamped line, unless paused.
    void AppendLine(const QString& text, const QTime& time = QTime::currentTime());
    // direction 0: sent; otherwise received.
    void LogFrame(int direction, const QByteArray& bytes, const QTime& time = QTime::currentTime());

    bool Paused() const { return paused_; }
    void SetPaused(bool paused);
    int IconPhase() const { return iconPhase_; }
    QString SavedPath() const { return savedPath_; }
    LogBox* Box() const { return box_; }

    // "(yy-MM-dd hh.mm).txt" from the local time.
    static QString ProposedName(const QDateTime& now);
    // Writes the whole text (GBK, CR LF) to `path`, replacing a file there.
    bool SaveTo(const QString& path);
    void Save();
    void View();

    // The save dialog (title, folder, proposed name) and the viewer; replaceable in tests.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> AskSavePath;
    std::function<void(const QString&)> OpenViewer;
    std::function<void(const QString&)> Inform;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadChecks();
    void ShowCaption();

    LogBox* box_;
    QCheckBox* hints_;
    QCheckBox* receiveMark_;
    QCheckBox* pause_;
    QPushButton* save_;
    QPushButton* view_;
    QIcon iconA_;
    QIcon iconB_;

    bool paused_ = false;
    bool showReceiveMark_ = false;
    bool signalHints_ = true;
    int iconPhase_ = 0;
    QString savedPath_;
    bool fading_ = false;
};

} // namespace companel
