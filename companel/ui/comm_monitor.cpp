#include "companel/ui/comm_monitor.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"
#include "common/widgets/window_fade.h"
#include "companel/ui/log_box.h"
#include "companel/ui/monitor_format.h"
#include "companel/ui/window_style.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace companel {

namespace {
QString OpenSaveDialog(QWidget* parent, const QString& title, const QString& folder,
                       const QString& name) {
    QFileDialog dialog(parent, title, folder + QLatin1Char('/') + name,
                       QStringLiteral("文本文件(*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void OpenInEditor(const QString& path) {
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("Notepad.exe"),
                            path.isEmpty() ? QStringList() : QStringList{path});
#else
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}
} // namespace

CommMonitor::CommMonitor(QWidget* parent)
    : QDialog(parent), iconA_(MonitorIconA()), iconB_(MonitorIconB()) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    box_ = new LogBox(this);
    box_->viewport()->installEventFilter(this);
    box_->setContextMenuPolicy(Qt::NoContextMenu);
    hints_ = new QCheckBox(QStringLiteral("遥信提示"), this);
    hints_->setChecked(true);
    receiveMark_ = new QCheckBox(QStringLiteral("显示收字"), this);
    pause_ = new QCheckBox(QStringLiteral("暂停监视"), this);
    save_ = new QPushButton(QStringLiteral("保存报文"), this);
    view_ = new QPushButton(QStringLiteral("查看报文"), this);
    for (QPushButton* b : {save_, view_})
        b->setAutoDefault(false);
    connect(hints_, &QCheckBox::clicked, this, [this] { ReadChecks(); });
    connect(receiveMark_, &QCheckBox::clicked, this, [this] { ReadChecks(); });
    connect(pause_, &QCheckBox::clicked, this, [this] {
        ReadChecks();
        ShowCaption();
    });
    connect(save_, &QPushButton::clicked, this, &CommMonitor::Save);
    connect(view_, &QPushButton::clicked, this, &CommMonitor::View);

    AskSavePath = OpenSaveDialog;
    OpenViewer = OpenInEditor;
    Inform = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };

    setWindowIcon(iconA_);
    ShowCaption();
    resize(760, 520);
}

void CommMonitor::ReadChecks() {
    paused_ = pause_->isChecked();
    showReceiveMark_ = receiveMark_->isChecked();
    signalHints_ = hints_->isChecked();
}

void CommMonitor::ShowCaption() {
    setWindowTitle(paused_ ? QStringLiteral("通讯管理 - 暂停监视")
                           : QStringLiteral("通讯管理 - 正常监视"));
}

void CommMonitor::SetPaused(bool paused) {
    paused_ = paused;
    pause_->setChecked(paused);
    ShowCaption();
}

void CommMonitor::AppendLine(const QString& text, const QTime& time) {
    if (paused_)
        return;
    box_->AppendLine(StampLine(text, time));
}

void CommMonitor::LogFrame(int direction, const QByteArray& bytes, const QTime& time) {
    if (paused_)
        return;
    const bool received = direction != 0;
    if (!received) {
        setWindowIcon(iconPhase_ == 0 || iconPhase_ == 2 ? iconA_ : iconB_);
        iconPhase_ = (iconPhase_ + 1) % 4;
    }
    AppendLine(FormatMonitorFrame(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                  static_cast<std::size_t>(bytes.size()), received,
                                  showReceiveMark_, signalHints_),
               time);
}

QString CommMonitor::ProposedName(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return QString::asprintf("(%02d-%02d-%02d %02d.%02d).txt", d.year() - 2000, d.month(), d.day(),
                             t.hour(), t.minute());
}

bool CommMonitor::SaveTo(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = support::ToGbk(box_->Text());
    return f.write(bytes) == bytes.size();
}

void CommMonitor::Save() {
    const QString folder = support::AppPath(QStringLiteral("报文存档"));
    support::EnsureFolder(folder);
    const QString path = AskSavePath(this, QStringLiteral("运维终端 - 保存通讯监视记录"), folder,
                                     ProposedName(QDateTime::currentDateTime()));
    if (path.isEmpty())
        return;
    savedPath_ = path;
    if (!SaveTo(path) && Inform)
        Inform(QStringLiteral("无法写入文件：%1").arg(path));
}

void CommMonitor::View() {
    if (savedPath_.isEmpty()) {
        // Without a saved file there is nothing for an editor to show.
        if (Inform)
            Inform(QStringLiteral("尚未保存报文，请先点击“保存报文”。"));
        return;
    }
    OpenViewer(savedPath_);
}

void CommMonitor::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    box_->setGeometry(0, 0, w, h - 40);
    hints_->setGeometry(w - 440, h - 30, 80, 22);
    receiveMark_->setGeometry(w - 360, h - 30, 80, 22);
    pause_->setGeometry(w - 280, h - 30, 80, 22);
    save_->setGeometry(w - 200, h - 30, 80, 22);
    view_->setGeometry(w - 100, h - 30, 80, 22);
}

bool CommMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            SetPaused(!paused_);
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            box_->Clear();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CommMonitor::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (fading_)
        return;
    fading_ = true;
    widgets::FadeOutAndHide(this, [this] { fading_ = false; });
}

void CommMonitor::reject() {
    close();
}

} // namespace companel
