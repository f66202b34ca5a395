#include "monitor_window.h"

#include "common/support/appdir.h"
#include "lanpanel/server/monitor_log.h"
#include "open_text_file.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>

namespace lanpanel::ui {

MonitorModel::MonitorModel(MonitorLog& log, const QFontMetrics& metrics, QObject* parent)
    : QAbstractListModel(parent), log_(log), metrics_(metrics), shown_(log.LineCount()) {
    for (int row = 0; row < shown_; ++row)
        widest_ = std::max(widest_, metrics_.horizontalAdvance(log_.Line(row)));
    connect(&log_, &MonitorLog::LineAdded, this, &MonitorModel::OnLineAdded);
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_)
        return {};
    if (role == Qt::DisplayRole)
        return log_.Line(index.row());
    if (role == Qt::SizeHintRole) // every row as wide as the widest, so the scroll width fits
        return QSize(widest_ + 8, metrics_.height() + 2);
    return {};
}

void MonitorModel::OnLineAdded(const QString& line) {
    widest_ = std::max(widest_, metrics_.horizontalAdvance(line));
    beginInsertRows(QModelIndex(), 0, 0);
    shown_ = log_.LineCount();
    endInsertRows();
}

MonitorWindow::MonitorWindow(MonitorLog& log, QWidget* parent)
    : QMainWindow(parent, Qt::Window), log_(log), list_(new QListView(this)),
      model_(new MonitorModel(log, list_->fontMetrics(), this)) {
    setWindowTitle(QStringLiteral("通讯管理"));
    resize(760, 480);
    list_->setModel(model_);
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setCentralWidget(list_);
    connect(list_, &QListView::doubleClicked, this, &MonitorWindow::TogglePause);

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->addAction(QStringLiteral("保存..."), this, &MonitorWindow::Save);
    file->addAction(QStringLiteral("查看..."), this, &MonitorWindow::View);
    file->addAction(QStringLiteral("退出"), this, &QWidget::hide);
    QMenu* watch = menuBar()->addMenu(QStringLiteral("监视"));
    QAction* frames = watch->addAction(QStringLiteral("报文"));
    frames->setCheckable(true);
    frames->setChecked(true);
    watch->addAction(QStringLiteral("报告"))->setCheckable(true);
    QMenu* op = menuBar()->addMenu(QStringLiteral("操作"));
    pauseAction_ = op->addAction(QStringLiteral("暂停"), this, &MonitorWindow::Pause);
    continueAction_ = op->addAction(QStringLiteral("继续"), this, &MonitorWindow::Continue);
    pauseAction_->setCheckable(true);
    continueAction_->setCheckable(true);
    ShowPauseState();

    saveDialog_ = [](QWidget* parent, const QString& proposed) {
        QFileDialog dialog(parent, QStringLiteral("保存通讯监视记录"), proposed,
                           QStringLiteral("文本文件(*.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.selectFile(proposed);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    viewer_ = [](const QString& path) { OpenTextFile(path); };
}

void MonitorWindow::Save() {
    const QString folder = MonitorLog::SaveFolder();
    support::EnsureFolder(folder);
    const QString path = saveDialog_(this, folder + QLatin1Char('/') + log_.ProposedFileName());
    if (path.isEmpty())
        return;
    QString error;
    if (!log_.Save(path, &error))
        QMessageBox::warning(this, QStringLiteral("通讯管理"),
                             QStringLiteral("无法保存文件 %1：%2").arg(path, error));
}

void MonitorWindow::View() {
    viewer_(log_.SavedPath());
}

void MonitorWindow::Pause() {
    log_.SetPaused(true);
    ShowPauseState();
}

void MonitorWindow::Continue() {
    log_.SetPaused(false);
    ShowPauseState();
}

void MonitorWindow::TogglePause() {
    log_.TogglePaused();
    ShowPauseState();
}

void MonitorWindow::ShowPauseState() {
    pauseAction_->setChecked(log_.Paused());
    continueAction_->setChecked(!log_.Paused());
}

void MonitorWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void MonitorWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace lanpanel::ui
