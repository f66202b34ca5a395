#pragma once
// The main window of companel: the relay's live values, the status box that receives every
// status line, the link settings and the buttons for every operation. It starts the management
// thread and lives until the program ends; only its close command ends it.

#include "companel/config/point_table_loader.h"
#include "companel/link/serial_port.h"
#include "companel/polling/companel_state.h"
#include "companel/polling/management_thread.h"
#include "companel/ui/remote_operations.h"
#include "companel/ui/window_reporter.h"

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace companel {

class CommMonitor;
class LogBox;

struct MainWindowOptions {
    PollTiming timing;
    // Tests that only look at what the buttons queue leave the thread out.
    bool startManagement = true;
    int fadeMs = 800;
    // The basic settings file; empty means the program's own.
    QString settingsPath;
};

class MainWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTelemetryRows = 21;
    static constexpr int kSignalRows = 20;

    MainWindow(CompanelState& state, SerialPort& port, WindowReporter& reporter,
               MainWindowOptions options = MainWindowOptions(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's initialisation: start lines, management thread, port, names, the first
    // parameter upload. False when the management thread could not be started (after saying so).
    bool Start();

    // The user's answers; replaceable in tests.
    std::function<void(const QString&)> Inform;
    std::function<bool(const QString&)> AskOkCancel;
    std::function<bool(const QString&)> AskYesNo;

    QPushButton* Button(const QString& caption) const;
    QLineEdit* AddressField() const { return address_; }
    QLineEdit* PortField() const { return portField_; }
    QCheckBox* NetworkBox() const { return network_; }
    LogBox* StatusBox() const { return statusBox_; }
    QLabel* TelemetryName(int i) const { return telemetryNames_[i]; }
    QLabel* TelemetryCell(int i) const { return telemetryCells_[i]; }
    QLabel* SignalName(int i) const { return signalNames_[i]; }
    QLabel* SignalCell(int i) const { return signalCells_[i]; }
    QLabel* DeviceClock() const { return deviceClock_; }
    QLabel* PcClock() const { return pcClock_; }
    QLabel* Model() const { return model_; }
    QLabel* Version() const { return version_; }
    CommMonitor* Monitor() const { return monitor_.get(); }
    RemoteOperations& Operations() { return operations_; }
    bool Closing() const { return closing_; }

    // "通讯管理".
    void OpenMonitor();

    // Text for the windows that later versions bring.
    static QString NotYetAvailableText();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildTelemetry();
    QWidget* BuildSignals();
    QWidget* BuildFields();
    QWidget* BuildButtons();
    void SetNames();
    void AddressChanged(const QString& text);
    void ReconnectPressed();
    void ShowStatus(const QString& text, const QTime& time);
    void ShowFrame(int direction, const QByteArray& bytes, const QTime& time);
    void ShowSignalCell(int index, const QString& text);
    void Report(const QString& text) { reporter_.ReportStatus(text); }
    void NotYetAvailable();

    CompanelState& state_;
    SerialPort& port_;
    WindowReporter& reporter_;
    const MainWindowOptions options_;
    RemoteOperations operations_;
    std::unique_ptr<ManagementThread> thread_;
    std::unique_ptr<CommMonitor> monitor_;
    bool monitorOpen_ = false;
    bool networkMode_ = false;
    bool closing_ = false;
    bool closed_ = false;

    std::array<QLabel*, kTelemetryCells> telemetryNames_{};
    std::array<QLabel*, kTelemetryCells> telemetryCells_{};
    std::array<QLabel*, kSignalCells> signalNames_{};
    std::array<QLabel*, kSignalCells> signalCells_{};
    QLabel* pcClock_ = nullptr;
    QLabel* deviceClock_ = nullptr;
    QLabel* model_ = nullptr;
    QLabel* version_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QLineEdit* address_ = nullptr;
    QCheckBox* network_ = nullptr;
    LogBox* statusBox_ = nullptr;
    std::vector<QPushButton*> buttons_;
};

} // namespace companel
