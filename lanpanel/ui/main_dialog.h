#pragma once
// lanpanel's main dialog: the service controls at the top, the page buttons at the left and the
// six value pages to their right. It starts the template scan, remembers the relay's address in
// "网口面板.ini", starts and stops the service and follows the relay's identification and loss.

#include "lan_page.h"
#include "lanpanel/engine/lan_core.h"

#include <QDialog>
#include <array>

class QComboBox;
class QLineEdit;

namespace widgets {
class FlatButton;
class SoundPlayer;
} // namespace widgets

namespace lanpanel::ui {

class IpAddressEdit;
class MeasurementPage;
class MonitorWindow;
class Prompter;
class ProtectionPage;
class SignalsPage;

struct MainDialogOptions {
    bool splash = true;     // the start picture (tests go without)
    QString templateFolder; // empty: AppDir\模板文件
};

class MainDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPages = 6; // in the order of lanpanel::Page

    MainDialog(LanCore& core, Prompter& prompter, widgets::SoundPlayer* player,
               MainDialogOptions options = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The start-up steps: splash, AppDir, buttons, templates, INI, pages. Call once before
    // showing the dialog.
    void Initialise();

    // 启动服务 / 通讯管理
    void StartService();
    // 停止服务 / 重启服务, by what the button offers now
    void StopOrRestartService();
    // Page button b (0–5 in the order of lanpanel::Page).
    void ShowPage(int b);
    void OnTemplateSelected();
    void OnDeviceLost();
    // Closing step 1: DeviceIp and DeviceAddress into the INI file.
    void WriteIni() const;
    static QString IniPath();

    // Read access for the tests and the screenshots.
    LanPage* Page(lanpanel::Page p) const { return pages_[static_cast<std::size_t>(p)]; }
    MeasurementPage* Measurement() const;
    SignalsPage* Signals() const;
    ProtectionPage* Protection() const;
    MonitorWindow* Monitor() const { return monitor_; }
    widgets::FlatButton* StartButton() const { return startButton_; }
    widgets::FlatButton* StopButton() const { return stopButton_; }
    widgets::FlatButton* PageButton(int b) const {
        return pageButtons_[static_cast<std::size_t>(b)];
    }
    QComboBox* ModelList() const { return modelList_; }
    IpAddressEdit* AddressEdit() const { return address_; }
    QLineEdit* SeriesBox() const { return series_; }
    QLineEdit* VersionBox() const { return version_; }
    QLineEdit* RtuBox() const { return rtu_; }

signals:
    // Every sound the dialog or its pages ask for (hover sounds aside).
    void SoundRequested(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override {} // Esc never ends the program; only closing does

private:
    void BuildControls();
    void SetUpButtons();
    void ReadIni();
    void CreatePages();
    void ConnectCore();
    void PostReload(lanpanel::Page p);
    void OnRtuChanged(const QString& text);
    void PlaySound(const QString& name);
    void ShowAbout();
    void Inform(const QString& text, const QString& title, MessageIcon icon);

    LanCore& core_;
    Prompter& prompter_;
    widgets::SoundPlayer* player_;
    MainDialogOptions options_;
    bool stopOffered_ = true; // the stop button reads 停止服务 (else 重启服务)

    QWidget* top_;
    QWidget* left_;
    widgets::FlatButton* startButton_;
    widgets::FlatButton* stopButton_;
    std::array<widgets::FlatButton*, kPages> pageButtons_{};
    QComboBox* modelList_;
    IpAddressEdit* address_;
    QLineEdit* series_;
    QLineEdit* version_;
    QLineEdit* rtu_;
    std::array<LanPage*, kPages> pages_{};
    MonitorWindow* monitor_ = nullptr;
};

} // namespace lanpanel::ui
