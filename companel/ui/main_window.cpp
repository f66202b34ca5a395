#include "companel/ui/main_window.h"

#include "common/support/gbk.h"
#include "common/widgets/window_fade.h"
#include "companel/config/basic_settings.h"
#include "companel/link/relay_link.h"
#include "companel/polling/decoders.h"
#include "companel/polling/link_control.h"
#include "companel/polling/state_requests.h"
#include "companel/ui/comm_monitor.h"
#include "companel/ui/log_box.h"
#include "companel/ui/monitor_format.h"
#include "companel/ui/window_style.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace companel {

namespace {

constexpr int kTelemetryRowHeight = 24;
constexpr int kSignalRowHeight = 18;
constexpr int kSignalNameWidth = 150;

const QColor kClockBackground(224, 224, 224);
const QColor kStateClosed(255, 0, 0);
const QColor kStateOpen(0, 255, 0);
const QColor kStateUnknown(244, 244, 244);

QColor ToQColor(const Colour& c) {
    return QColor(c.R, c.G, c.B);
}

QFrame* Framed(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

QLabel* ValueCell(QWidget* parent, int width, int height) {
    auto* cell = new QLabel(parent);
    cell->setFixedSize(width, height);
    cell->setFrameShape(QFrame::Panel);
    cell->setFrameShadow(QFrame::Sunken);
    cell->setAlignment(Qt::AlignCenter);
    return cell;
}

QLabel* ClockField(QWidget* parent, const QColor& text) {
    auto* field = new QLabel(parent);
    field->setFixedSize(150, 22);
    field->setFrameShape(QFrame::Panel);
    field->setFrameShadow(QFrame::Sunken);
    field->setAlignment(Qt::AlignCenter);
    Colourise(field, text, kClockBackground);
    return field;
}

} // namespace

MainWindow::MainWindow(CompanelState& state, SerialPort& port, WindowReporter& reporter,
                       MainWindowOptions options, QWidget* parent)
    : QDialog(parent), state_(state), port_(port), reporter_(reporter), options_(options),
      operations_(state, port, reporter, [this](const QString& q) { return AskOkCancel(q); }) {
    InitCompanelResources();
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    Inform = [this](const QString& text) {
        QMessageBox::information(this, QStringLiteral("串口面板"), text);
    };
    AskOkCancel = [this](const QString& text) {
        return QMessageBox::question(this, QStringLiteral("串口面板"), text,
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    AskYesNo = [this](const QString& text) {
        return QMessageBox::question(this, QStringLiteral("串口面板"), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };

    auto* root = new QGridLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->setHorizontalSpacing(8);
    root->setVerticalSpacing(6);
    root->addWidget(BuildTelemetry(), 0, 0, Qt::AlignTop);
    root->addWidget(BuildSignals(), 0, 1, Qt::AlignTop);
    root->addWidget(BuildFields(), 1, 0);
    statusBox_ = new LogBox(this);
    statusBox_->setFont(SongFont(9));
    statusBox_->setMinimumHeight(170);
    root->addWidget(statusBox_, 1, 1);
    root->addWidget(BuildButtons(), 2, 0, 1, 2);

    connect(&reporter_, &WindowReporter::StatusReported, this, &MainWindow::ShowStatus);
    connect(&reporter_, &WindowReporter::BoxOnlyLine, this,
            [this](const QString& line) { statusBox_->AppendLine(line); });
    connect(&reporter_, &WindowReporter::FrameLogged, this, &MainWindow::ShowFrame);
    connect(&reporter_, &WindowReporter::TelemetryCellSet, this, [this](int i, const QString& t) {
        if (i >= 0 && i < static_cast<int>(kTelemetryCells))
            telemetryCells_[static_cast<std::size_t>(i)]->setText(t);
    });
    connect(&reporter_, &WindowReporter::SignalCellSet, this, &MainWindow::ShowSignalCell);
    connect(&reporter_, &WindowReporter::DeviceClockSet, deviceClock_, &QLabel::setText);
    connect(&reporter_, &WindowReporter::ModelSet, model_, &QLabel::setText);
    connect(&reporter_, &WindowReporter::VersionSet, version_, &QLabel::setText);
    connect(&reporter_, &WindowReporter::PcClockSet, pcClock_, &QLabel::setText);
    connect(&reporter_, &WindowReporter::AddressFieldSet, this,
            [this](int a) { address_->setText(QString::number(a)); });
}

MainWindow::~MainWindow() {
    if (thread_)
        thread_->RequestStop();
}

QString MainWindow::NotYetAvailableText() {
    return QStringLiteral("此功能在当前版本中尚未提供，敬请期待后续版本。");
}

QWidget* MainWindow::BuildTelemetry() {
    auto* area = new QWidget(this);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (int column = 0; column < 3; ++column) {
        QFrame* frame = Framed(area);
        auto* grid = new QGridLayout(frame);
        grid->setContentsMargins(6, 4, 6, 4);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(0);
        for (int r = 0; r < kTelemetryRows; ++r) {
            const int i = column * kTelemetryRows + r;
            auto* name = new QLabel(frame);
            name->setFixedSize(118, kTelemetryRowHeight);
            name->setFont(SongFont(11));
            QLabel* cell = ValueCell(frame, 78, kTelemetryRowHeight - 2);
            grid->addWidget(name, r, 0);
            grid->addWidget(cell, r, 1);
            telemetryNames_[static_cast<std::size_t>(i)] = name;
            telemetryCells_[static_cast<std::size_t>(i)] = cell;
        }
        row->addWidget(frame);
    }
    return area;
}

QWidget* MainWindow::BuildSignals() {
    auto* area = new QWidget(this);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    // Two columns of twenty inputs with their names, then one of 28 more.
    const int rowsOf[] = {kSignalRows, kSignalRows,
                          static_cast<int>(kSignalCells) - 2 * kSignalRows};
    int i = 0;
    for (int rows : rowsOf) {
        QFrame* frame = Framed(area);
        auto* grid = new QGridLayout(frame);
        grid->setContentsMargins(6, 12, 6, 4);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(0);
        for (int r = 0; r < rows; ++r, ++i) {
            auto* name = new QLabel(frame);
            name->setFixedSize(kSignalNameWidth, kSignalRowHeight);
            name->setFont(SongFont(11));
            QLabel* cell = ValueCell(frame, 28, kSignalRowHeight - 2);
            Colourise(cell, QColor(0, 0, 0), kStateUnknown);
            grid->addWidget(name, r, 0);
            grid->addWidget(cell, r, 1);
            signalNames_[static_cast<std::size_t>(i)] = name;
            signalCells_[static_cast<std::size_t>(i)] = cell;
        }
        grid->setRowStretch(rows, 1);
        row->addWidget(frame, 0, Qt::AlignTop);
    }
    return area;
}

QWidget* MainWindow::BuildFields() {
    auto* area = Framed(this);
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    pcClock_ = ClockField(area, QColor(255, 0, 0));
    deviceClock_ = ClockField(area, QColor(0, 0, 255));
    model_ = ClockField(area, QColor(0, 0, 255));
    version_ = ClockField(area, QColor(0, 0, 255));
    portField_ = new QLineEdit(area);
    portField_->setFixedWidth(60);
    address_ = new QLineEdit(QStringLiteral("1"), area);
    address_->setFixedWidth(60);
    network_ = new QCheckBox(QStringLiteral("网络方式"), area);

    grid->addWidget(new QLabel(QStringLiteral("电脑时间："), area), 0, 0);
    grid->addWidget(pcClock_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("装置时间："), area), 0, 2);
    grid->addWidget(deviceClock_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("装置型号："), area), 1, 0);
    grid->addWidget(model_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("装置版号："), area), 1, 2);
    grid->addWidget(version_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("端口及地址："), area), 2, 0);
    auto* link = new QHBoxLayout;
    link->addWidget(portField_);
    link->addWidget(address_);
    link->addStretch(1);
    grid->addLayout(link, 2, 1);
    grid->addWidget(network_, 2, 2, 1, 2);
    grid->setColumnStretch(4, 1);

    connect(address_, &QLineEdit::textChanged, this, &MainWindow::AddressChanged);
    connect(network_, &QCheckBox::clicked, this, [this] {
        networkMode_ = network_->isChecked();
        if (thread_)
            thread_->SetNetworkMode(networkMode_);
    });
    return area;
}

QWidget* MainWindow::BuildButtons() {
    auto* area = new QWidget(this);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto add = [&](const QString& caption, auto&& action) {
        auto* b = new QPushButton(caption, area);
        // Enter must never press a button that may drive a breaker.
        b->setAutoDefault(false);
        b->setMinimumWidth(caption.size() > 3 ? 72 : 56);
        connect(b, &QPushButton::clicked, this, action);
        row->addWidget(b);
        buttons_.push_back(b);
    };
    add(QStringLiteral("重新连接"), [this] { ReconnectPressed(); });
    add(QStringLiteral("事件查询"), [this] { NotYetAvailable(); });
    add(QStringLiteral("硬件信息"), [this] { NotYetAvailable(); });
    add(QStringLiteral("校对时钟"), [this] { operations_.SetClock(); });
    add(QStringLiteral("通讯管理"), [this] { OpenMonitor(); });
    add(QStringLiteral("信号复归"), [this] { operations_.Press(Operation::SignalReset); });
    add(QStringLiteral("定值参数"), [this] { NotYetAvailable(); });
    for (int n = 1; n <= 10; ++n)
        add(QStringLiteral("出口%1").arg(n),
            [this, n] { operations_.Press(RemoteOperations::OutputOperation(n)); });
    return area;
}

QPushButton* MainWindow::Button(const QString& caption) const {
    for (QPushButton* b : buttons_)
        if (b->text() == caption)
            return b;
    return nullptr;
}

void MainWindow::NotYetAvailable() {
    if (Inform)
        Inform(NotYetAvailableText());
}

bool MainWindow::Start() {
    setWindowIcon(ProgramIcon());
    setWindowTitle(QStringLiteral("串口面板V1.64 - VKD2950 - 通讯状态未知"));
    Report(QStringLiteral("欢迎使用青岚云测科技有限公司产品!"));
    Report(QStringLiteral("串口面板版本号：V1.64!"));
    Report(QStringLiteral("串口面板时间戳：15.04.02!"));
    // What the point-table loader had to clip or refuse.
    for (const QString& note : state_.LoadNotes)
        Report(note);

    if (options_.startManagement) {
        thread_ = std::make_unique<ManagementThread>(state_, port_, reporter_, options_.timing);
        if (!thread_->Start()) {
            thread_.reset();
            if (Inform)
                Inform(QStringLiteral("创建管理线程失败，请检查内存使用状态!"));
            return false;
        }
    }
    const QDateTime now = QDateTime::currentDateTime();
    pcClock_->setText(now.toString(QStringLiteral("yy-MM-dd hh:mm:ss")));

    const QString settings =
        options_.settingsPath.isEmpty() ? DefaultBasicSettingsPath() : options_.settingsPath;
    const int portNumber = ReadPortSetting(settings);
    const bool opened =
        networkMode_ ? port_.OpenRelay(portNumber) : port_.Open(portNumber, 9600, 8, 0, 0);
    Report(opened ? QStringLiteral("打开串口成功!") : QStringLiteral("打开串口失败!"));
    setWindowTitle(QStringLiteral("串口面板 - VKD2950"));
    portField_->setText(QString::number(portNumber));

    SetNames();
    MarkLinkDown(state_, reporter_, QStringLiteral("程序启动"));
    state_.CommandSlot.Fill(state_.WithTables([this](const PointTables& t) {
        return BuildParameterUpload(state_.SlaveAddress.load(), t.Parameters);
    }));

    layout()->activate();
    setFixedSize(sizeHint());
    return true;
}

void MainWindow::SetNames() {
    // Captions of the unused labels follow the window's own numbering.
    for (std::size_t i = 0; i < kTelemetryCells; ++i)
        telemetryNames_[i]->setText(i < 44 ? QStringLiteral("遥测%1").arg(i + 1)
                                           : QStringLiteral("动态创建%1").arg(i + 1));
    for (std::size_t i = 0; i < kSignalCells; ++i)
        signalNames_[i]->setText(i < 40 ? QStringLiteral("遥信%1").arg(i + 1)
                                        : QStringLiteral("动态创建"));
    state_.WithTables([this](const PointTables& t) {
        const std::size_t yc = std::min<std::size_t>(t.Telemetry.Number, kTelemetryCells);
        for (std::size_t i = 0; i < yc; ++i) {
            QLabel* name = telemetryNames_[i];
            name->setText(support::FieldText(t.Telemetry.Name[i], kTextSize));
            Colourise(name, ToQColor(t.Telemetry.ColorText[i]), DialogBackground());
            Colourise(telemetryCells_[i], ToQColor(t.Telemetry.ColorText[i]),
                      ToQColor(t.Telemetry.ColorBack[i]));
            if (t.Telemetry.bCanBeClick[i]) {
                name->setCursor(Qt::PointingHandCursor);
                name->setMouseTracking(true);
                name->installEventFilter(this);
            }
        }
        const std::size_t yx = std::min<std::size_t>(t.Signals.Number, kSignalCells);
        for (std::size_t i = 0; i < yx; ++i) {
            signalNames_[i]->setText(support::FieldText(t.Signals.Name[i], kTextSize));
            Colourise(signalNames_[i], ToQColor(t.Signals.ColorText[i]), DialogBackground());
        }
    });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const auto it = std::find(telemetryNames_.begin(), telemetryNames_.end(), watched);
    if (it == telemetryNames_.end())
        return QDialog::eventFilter(watched, event);
    const std::size_t point = static_cast<std::size_t>(it - telemetryNames_.begin());
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseMove:
        setFocus(Qt::MouseFocusReason);
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            // Telemetry calibration arrives with a later version.
            NotYetAvailable();
            return true;
        }
        break;
    case QEvent::Wheel: {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        QueueCoefficientStep(state_, point, static_cast<int>(wheel->position().x()),
                             wheel->angleDelta().y(),
                             wheel->modifiers().testFlag(Qt::ControlModifier));
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void MainWindow::AddressChanged(const QString& text) {
    networkMode_ = network_->isChecked();
    if (thread_)
        thread_->SetNetworkMode(networkMode_);
    const QString trimmed = text.trimmed();
    // An emptied field is a number being typed, not a wrong one.
    if (trimmed.isEmpty())
        return;
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!ok || value < 0 || value > 255) {
        Inform(QStringLiteral("“请填入一个在0和255之间的整数。”"));
        return;
    }
    if (value < 1 || value > 247) {
        Inform(QStringLiteral("“请填入一个在%1和%2之间的整数。”").arg(1).arg(247));
        return;
    }
    state_.SlaveAddress = static_cast<std::uint8_t>(value);
}

void MainWindow::ReconnectPressed() {
    const QString settings =
        options_.settingsPath.isEmpty() ? DefaultBasicSettingsPath() : options_.settingsPath;
    const bool opened = Reconnect(port_, portField_->text(), network_->isChecked(), settings);
    if (!opened) {
        Report(QStringLiteral("重新连接，打开串口失败!"));
        setWindowTitle(QStringLiteral("串口面板 - VKD2950"));
        return;
    }
    Report(QStringLiteral("重新连接，打开串口成功!"));
    setWindowTitle(QStringLiteral("串口面板 - VKD2950"));
    if (AskYesNo && AskYesNo(QStringLiteral("打开串口成功，是否启动自动寻址功能？")))
        QueueAddressSearch(state_);
}

void MainWindow::OpenMonitor() {
    const auto centre = [this] {
        monitor_->move(frameGeometry().center() - monitor_->rect().center());
    };
    if (!monitor_) {
        monitor_ = std::make_unique<CommMonitor>();
        monitor_->show();
        centre();
        monitorOpen_ = true;
        Report(QStringLiteral("成功打开通讯管理界面!"));
        return;
    }
    monitor_->setAttribute(Qt::WA_ShowWithoutActivating);
    monitor_->show();
    centre();
}

void MainWindow::ShowStatus(const QString& text, const QTime& time) {
    if (monitorOpen_)
        monitor_->AppendLine(text, time);
    statusBox_->AppendLine(StampLine(text, time));
}

void MainWindow::ShowFrame(int direction, const QByteArray& bytes, const QTime& time) {
    if (monitorOpen_)
        monitor_->LogFrame(direction, bytes, time);
}

void MainWindow::ShowSignalCell(int index, const QString& text) {
    if (index < 0 || index >= static_cast<int>(kSignalCells))
        return;
    const std::size_t i = static_cast<std::size_t>(index);
    QLabel* cell = signalCells_[i];
    cell->setText(text);
    const QColor textColour =
        state_.WithTables([i](const PointTables& t) { return ToQColor(t.Signals.ColorText[i]); });
    const QColor background = text == QStringLiteral("合")   ? kStateClosed
                              : text == QStringLiteral("分") ? kStateOpen
                                                             : kStateUnknown;
    Colourise(cell, textColour, background);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    event->ignore();
    if (closing_)
        return;
    closing_ = true;
    port_.OpenRelay(RelayClosingPort);
    if (thread_)
        thread_->RequestStop();
    else
        state_.StopRequested = 1;
    widgets::FadeOutAndHide(
        this,
        [this] {
            closed_ = true;
            QDialog::done(QDialog::Accepted);
        },
        options_.fadeMs);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc would end the dialog without its closing steps; only the close command
    // ends this window.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void MainWindow::reject() {
    // Reached by Esc and by the platform's "cancel"; the close command goes through closeEvent.
}

void MainWindow::done(int result) {
    if (closed_)
        QDialog::done(result);
}

} // namespace companel
