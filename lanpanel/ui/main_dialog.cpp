#include "main_dialog.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"
#include "common/support/profile.h"
#include "common/widgets/flat_button.h"
#include "common/widgets/sound_player.h"
#include "ip_address_edit.h"
#include "lan_resources.h"
#include "measurement_page.h"
#include "monitor_window.h"
#include "pending_page.h"
#include "prompter.h"
#include "splash_window.h"
#include "value_pages.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QVBoxLayout>

namespace lanpanel::ui {

namespace {
constexpr int kPageLeft = 100;
constexpr int kPageTop = 80;
constexpr int kPageMargin = 5;

const QByteArray kSection = "Device";
const std::array<QByteArray, 4> kIpKeys = {"LastDevIP1", "LastDevIP2", "LastDevIP3", "LastDevIP4"};
const QByteArray kRtuKey = "LastDevRTU";

struct PageButtonInfo {
    const char* caption;
    const char* tooltip;
    const char* icon;
    std::uint16_t currentPage;
    bool enabled; // the pages of later work keep their buttons disabled
};
// In the order of lanpanel::Page.
const std::array<PageButtonInfo, MainDialog::kPages> kPageButtons = {{
    {"遥测值", "显示遥测", "page_measure.svg", 0, true},
    {"遥信值", "显示遥信", "page_signals.svg", 0, true},
    {"配置类", "显示定值", "page_settings.svg", 1, false},
    {"压板类", "显示压板", "page_plates.svg", 2, false},
    {"保护值", "显示保护模拟量", "page_protection.svg", 3, true},
    {"操作类", "显示遥控", "page_operations.svg", 4, false},
}};

const QString kStart = QStringLiteral("启动服务");
const QString kManage = QStringLiteral("通讯管理");
const QString kStop = QStringLiteral("停止服务");
const QString kRestart = QStringLiteral("重启服务");
const QString kFailTitle = QStringLiteral("失败提示!");

widgets::FlatButton* ServiceButton(const QString& caption, const QString& icon, QWidget* parent) {
    auto* b = new widgets::FlatButton(parent);
    b->setText(caption);
    b->SetIcon(LanIcon(icon));
    b->setIconSize(QSize(32, 32));
    b->setFixedSize(76, 66);
    b->SetColor(widgets::FlatButton::BackIdle, QColor(244, 244, 244));
    b->SetColor(widgets::FlatButton::BackHover, QColor(214, 228, 248));
    return b;
}

QLineEdit* ReadOnlyBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setEnabled(false);
    box->setFixedWidth(110);
    return box;
}
} // namespace

MainDialog::MainDialog(LanCore& core, Prompter& prompter, widgets::SoundPlayer* player,
                       MainDialogOptions options, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      core_(core), prompter_(prompter), player_(player), options_(std::move(options)),
      top_(new QWidget(this)), left_(new QWidget(this)) {
    setWindowTitle(kTitleClosed);
    setWindowIcon(LanIcon(kIconProgram));
    setSizeGripEnabled(true);
    resize(1180, 720);
    BuildControls();
}

MainDialog::~MainDialog() = default;

MeasurementPage* MainDialog::Measurement() const {
    return static_cast<MeasurementPage*>(Page(lanpanel::Page::Measurement));
}
SignalsPage* MainDialog::Signals() const {
    return static_cast<SignalsPage*>(Page(lanpanel::Page::Signals));
}
ProtectionPage* MainDialog::Protection() const {
    return static_cast<ProtectionPage*>(Page(lanpanel::Page::Protection));
}

void MainDialog::BuildControls() {
    startButton_ = ServiceButton(kStart, QStringLiteral("service_start.svg"), top_);
    stopButton_ = ServiceButton(kStop, QStringLiteral("service_stop.svg"), top_);
    modelList_ = new QComboBox(top_);
    modelList_->setEnabled(false);
    modelList_->setMinimumWidth(150);
    address_ = new IpAddressEdit(top_);
    series_ = ReadOnlyBox(top_);
    version_ = ReadOnlyBox(top_);
    rtu_ = new QLineEdit(top_);
    rtu_->setFixedWidth(110);

    auto* row = new QHBoxLayout(top_);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(6);
    row->addWidget(startButton_);
    row->addWidget(stopButton_);
    row->addSpacing(16);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(new QLabel(QStringLiteral("设备型号："), top_), 0, 0, Qt::AlignRight);
    grid->addWidget(modelList_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("设备地址："), top_), 0, 2, Qt::AlignRight);
    grid->addWidget(address_, 0, 3, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("RTU："), top_), 0, 4, Qt::AlignRight);
    grid->addWidget(rtu_, 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("软件系列号："), top_), 1, 0, Qt::AlignRight);
    grid->addWidget(series_, 1, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("软件版本号："), top_), 1, 2, Qt::AlignRight);
    grid->addWidget(version_, 1, 3, Qt::AlignLeft);
    row->addLayout(grid);
    row->addStretch(1);

    auto* column = new QVBoxLayout(left_);
    column->setContentsMargins(5, 0, 5, 5);
    column->setSpacing(4);
    for (int b = 0; b < kPages; ++b) {
        const PageButtonInfo& info = kPageButtons[static_cast<std::size_t>(b)];
        auto* button = new widgets::FlatButton(left_);
        button->setText(QString::fromUtf8(info.caption));
        button->setFixedSize(88, 62);
        button->setIconSize(QSize(32, 32));
        button->setEnabled(info.enabled);
        pageButtons_[static_cast<std::size_t>(b)] = button;
        column->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, b] { ShowPage(b); });
    }
    column->addStretch(1);

    connect(startButton_, &QPushButton::clicked, this, &MainDialog::StartService);
    connect(stopButton_, &QPushButton::clicked, this, &MainDialog::StopOrRestartService);
}

void MainDialog::Initialise() {
    if (options_.splash) {
        SplashWindow splash([this](const QString& name) { PlaySound(name); });
        splash.exec();
    }
    support::InitAppDir();
    SetUpButtons();
    ConnectCore();
    if (!core_.ScanTemplates(options_.templateFolder))
        Inform(QStringLiteral("没有换到设备模板，初始化失败！"), QString(),
               MessageIcon::Information);
    for (const auto& tpl : core_.Shared().Templates)
        modelList_->addItem(
            support::FieldText(tpl->FileName, kTextField).remove(QStringLiteral(".xml")));
    modelList_->setCurrentIndex(-1);
    core_.Shared().SelectedTemplateIndex = kNoTemplate;
    ReadIni();
    CreatePages();
}

void MainDialog::SetUpButtons() {
    for (int b = 0; b < kPages; ++b) {
        const PageButtonInfo& info = kPageButtons[static_cast<std::size_t>(b)];
        widgets::FlatButton* button = pageButtons_[static_cast<std::size_t>(b)];
        button->SetIcon(LanIcon(QString::fromUtf8(info.icon)));
        button->SetTooltipText(QString::fromUtf8(info.tooltip));
        button->SetColor(widgets::FlatButton::BackIdle, QColor(244, 244, 244));
        button->SetColor(widgets::FlatButton::BackHover, QColor(214, 228, 248));
        button->SetColor(widgets::FlatButton::BackFocus, QColor(250, 236, 196));
        button->SetHoverSound(true, QStringLiteral("IDR_WAVE_HOVER"), player_);
    }
    startButton_->SetTooltipText(QStringLiteral("启动网络服务，等待装置连接"));
    stopButton_->SetTooltipText(QStringLiteral("停止或重新启动网络服务"));
}

void MainDialog::ReadIni() {
    const support::Profile ini = support::Profile::Load(IniPath());
    SharedState& shared = core_.Shared();
    for (std::size_t i = 0; i < 4; ++i)
        shared.DeviceIp[i] = static_cast<std::uint8_t>(ini.ReadInt(kSection, kIpKeys[i], 0));
    shared.DeviceAddress = static_cast<std::uint8_t>(ini.ReadInt(kSection, kRtuKey, 0));
    address_->SetOctets(shared.DeviceIp);
    rtu_->setText(QString::number(shared.DeviceAddress));
    connect(rtu_, &QLineEdit::textChanged, this, &MainDialog::OnRtuChanged);
}

QString MainDialog::IniPath() {
    return support::AppPath(QStringLiteral("配置文件/网口面板.ini"));
}

void MainDialog::WriteIni() const {
    // The folder is AppDir's: a file dialog that moved the current folder must not move the
    // relay's address with it.
    const QString path = IniPath();
    const SharedState& shared = core_.Shared();
    for (std::size_t i = 0; i < 4; ++i)
        support::Profile::WriteString(path, kSection, kIpKeys[i],
                                      QByteArray::number(shared.DeviceIp[i]));
    support::Profile::WriteString(path, kSection, kRtuKey,
                                  QByteArray::number(shared.DeviceAddress));
}

void MainDialog::CreatePages() {
    SharedState& shared = core_.Shared();
    auto sound = [this](const QString& name) { PlaySound(name); };
    auto place = [this](lanpanel::Page p, LanPage* page) {
        page->hide();
        pages_[static_cast<std::size_t>(p)] = page;
    };
    // in the order the pages have always been made: measurement, signals, plates, settings,
    // operations, protection
    place(lanpanel::Page::Measurement, new MeasurementPage(shared, prompter_, this));
    place(lanpanel::Page::Signals, new SignalsPage(shared, sound, this));
    place(lanpanel::Page::Plates, new PendingPage(shared, this));
    place(lanpanel::Page::Settings, new PendingPage(shared, this));
    place(lanpanel::Page::Operations, new PendingPage(shared, this));
    place(lanpanel::Page::Protection, new ProtectionPage(shared, this));
    resizeEvent(nullptr);
    Page(lanpanel::Page::Measurement)->show();
}

void MainDialog::ConnectCore() {
    ProtocolEngine& engine = core_.Engine();
    connect(
        &engine, &ProtocolEngine::PageReload, this,
        [this](lanpanel::Page p) {
            if (LanPage* page = Page(p))
                page->Reload();
        },
        Qt::QueuedConnection);
    connect(
        &engine, &ProtocolEngine::PageUpdate, this,
        [this](lanpanel::Page p) {
            if (LanPage* page = Page(p))
                page->Update();
        },
        Qt::QueuedConnection);
    connect(&engine, &ProtocolEngine::TemplateSelected, this, &MainDialog::OnTemplateSelected,
            Qt::QueuedConnection);
    connect(&core_, &LanCore::DeviceLost, this, &MainDialog::OnDeviceLost, Qt::QueuedConnection);
    connect(&core_, &LanCore::TitleChanged, this, &QWidget::setWindowTitle);
    connect(&core_, &LanCore::PlaySound, this, &MainDialog::PlaySound);
    // A box must not open inside a socket read: it would run the event loop under the engine.
    connect(&core_, &LanCore::ShowMessage, this, &MainDialog::Inform, Qt::QueuedConnection);
}

void MainDialog::Inform(const QString& text, const QString& title, MessageIcon icon) {
    prompter_.Inform(this, text, title, icon);
}

void MainDialog::PostReload(lanpanel::Page p) {
    QMetaObject::invokeMethod(
        this,
        [this, p] {
            if (LanPage* page = Page(p))
                page->Reload();
        },
        Qt::QueuedConnection);
}

void MainDialog::StartService() {
    core_.Shared().DeviceIp = address_->Octets();
    if (core_.Server()) {
        if (monitor_) {
            monitor_->show();
            monitor_->raise();
            monitor_->activateWindow();
        }
        return;
    }
    core_.StartService();
    startButton_->setText(kManage);
    startButton_->SetIcon(LanIcon(QStringLiteral("service_monitor.svg")));
    monitor_ = new MonitorWindow(core_.Server()->Monitor(), this);
    monitor_->setWindowIcon(LanIcon(kIconProgram));
}

void MainDialog::StopOrRestartService() {
    if (!core_.Server()) {
        Inform(QStringLiteral("还没有设备连接上应用程序，无须停止!"), kFailTitle,
               MessageIcon::Information);
        return;
    }
    if (stopOffered_) {
        if (!prompter_.AskOkCancel(this, QStringLiteral("该操作将退出现有连接，是否继续？  "),
                                   kFailTitle))
            return;
        core_.StopService();
        OnDeviceLost();
        stopOffered_ = false;
        stopButton_->setText(kRestart);
        stopButton_->SetIcon(LanIcon(QStringLiteral("service_restart.svg")));
        setWindowTitle(kTitleStopped);
    } else {
        core_.ResumeService();
        stopOffered_ = true;
        stopButton_->setText(kStop);
        stopButton_->SetIcon(LanIcon(QStringLiteral("service_stop.svg")));
        setWindowTitle(kTitleWaiting);
    }
}

void MainDialog::ShowPage(int b) {
    if (b < 0 || b >= kPages)
        return;
    for (LanPage* page : pages_)
        page->hide();
    pages_[static_cast<std::size_t>(b)]->show();
    core_.Shared().CurrentPage = kPageButtons[static_cast<std::size_t>(b)].currentPage;
}

void MainDialog::OnRtuChanged(const QString& text) {
    core_.Shared().DeviceAddress =
        static_cast<std::uint8_t>(support::Profile::ParseInt(text.toLatin1(), 0));
    PostReload(lanpanel::Page::Measurement);
    PostReload(lanpanel::Page::Signals);
}

void MainDialog::OnTemplateSelected() {
    const SharedState& shared = core_.Shared();
    int entry = -1;
    for (std::size_t i = 0; i < shared.Templates.size(); ++i)
        if (shared.Templates[i]->Index == shared.SelectedTemplateIndex)
            entry = static_cast<int>(i);
    modelList_->setCurrentIndex(entry);
    version_->setText(support::FromGbk(core_.Engine().VersionText()));
    series_->setText(QString::number(core_.Engine().SeriesNumber(), 16));
    for (int p = 0; p < kPages; ++p)
        PostReload(static_cast<lanpanel::Page>(p));
}

void MainDialog::OnDeviceLost() {
    core_.ForgetDevice();
    // A loss reported just before 停止服务 arrives after it; the button must keep offering
    // 重启服务 then.
    if (core_.Server() && !core_.Server()->Refusing()) {
        stopOffered_ = true;
        stopButton_->setText(kStop);
        stopButton_->SetIcon(LanIcon(QStringLiteral("service_stop.svg")));
    }
    PostReload(lanpanel::Page::Measurement);
    modelList_->setCurrentIndex(-1);
    version_->clear();
    series_->clear();
}

void MainDialog::PlaySound(const QString& name) {
    if (player_)
        player_->Play(name);
    emit SoundRequested(name);
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    if (event)
        QDialog::resizeEvent(event);
    top_->setGeometry(0, 0, width(), kPageTop);
    left_->setGeometry(0, kPageTop, kPageLeft, height() - kPageTop);
    const QRect area(kPageLeft, kPageTop, std::max(0, width() - kPageLeft - kPageMargin),
                     std::max(0, height() - kPageTop - kPageMargin));
    for (LanPage* page : pages_)
        if (page)
            page->setGeometry(area);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    WriteIni();
    event->accept();
    done(QDialog::Accepted);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addSeparator();
    menu.addAction(QStringLiteral("版本信息..."), this, &MainDialog::ShowAbout);
    menu.exec(event->globalPos());
}

void MainDialog::ShowAbout() {
    QMessageBox::about(this, QStringLiteral("版本信息"), QStringLiteral("运维终端 V1.0 版"));
}

} // namespace lanpanel::ui
