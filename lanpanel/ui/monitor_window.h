#pragma once
// The communication monitor (通讯管理): the server's log, newest line on top, with pause, save
// and view. Closing it only hides it; the log goes on.

#include <QAbstractListModel>
#include <QMainWindow>
#include <functional>

class QAction;
class QListView;

namespace lanpanel {
class MonitorLog;
}

namespace lanpanel::ui {

// The log as a list: rows appear at the top as lines arrive, and the widest line seen so far
// sets the scroll width, measured once per line rather than across the whole log.
class MonitorModel : public QAbstractListModel {
    Q_OBJECT
public:
    MonitorModel(MonitorLog& log, const QFontMetrics& metrics, QObject* parent);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    int WidestPixels() const { return widest_; }

private:
    void OnLineAdded(const QString& line);
    MonitorLog& log_;
    QFontMetrics metrics_;
    int shown_ = 0;
    int widest_ = 0;
};

class MonitorWindow : public QMainWindow {
    Q_OBJECT
public:
    // Asks for the path to save to (proposed name in the save folder); empty = cancelled.
    using SaveDialogFn = std::function<QString(QWidget* parent, const QString& proposedPath)>;
    // Opens a saved log for reading; empty path = nothing saved yet.
    using ViewFn = std::function<void(const QString& path)>;

    explicit MonitorWindow(MonitorLog& log, QWidget* parent = nullptr);

    void SetSaveDialog(SaveDialogFn fn) { saveDialog_ = std::move(fn); }
    void SetViewer(ViewFn fn) { viewer_ = std::move(fn); }

    void Save();
    void View();
    void Pause();
    void Continue();
    void TogglePause();

    QListView* List() const { return list_; }
    MonitorModel* Model() const { return model_; }
    QAction* PauseAction() const { return pauseAction_; }
    QAction* ContinueAction() const { return continueAction_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowPauseState();

    MonitorLog& log_;
    QListView* list_;
    MonitorModel* model_;
    QAction* pauseAction_;
    QAction* continueAction_;
    SaveDialogFn saveDialog_;
    ViewFn viewer_;
};

} // namespace lanpanel::ui
