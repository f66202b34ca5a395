#pragma once
// The object lanpanel makes at start-up: it owns the shared values, the template list, the
// engine and (from the first 启动服务) the server, and wires them together. The main dialog and
// the pages get it by reference; tests make a fresh one each.

#include "lanpanel/server/comm_server.h"
#include "lanpanel/templates/shared_state.h"
#include "protocol_engine.h"

#include <QObject>
#include <memory>

namespace lanpanel {

class LanCore : public QObject {
    Q_OBJECT
public:
    explicit LanCore(LinkPorts ports = {}, Timing timing = {}, QObject* parent = nullptr);
    ~LanCore() override;

    SharedState& Shared() { return shared_; }
    ProtocolEngine& Engine() { return engine_; }
    // None before the first StartService.
    CommServer* Server() { return server_.get(); }

    // Scans the template folder (AppDir\模板文件 unless given); messages go out as ShowMessage.
    bool ScanTemplates(const QString& folder = QString());

    // Creates and starts the server the first time (title: waiting); later calls change nothing
    // and return false (the main dialog then only shows the monitor).
    bool StartService();
    // 停止服务 confirmed: no beacon, the relay dropped, arrivals refused, the device forgotten
    // (no DeviceLost follows), title: stopped. False when no server exists.
    bool StopService();
    // 重启服务: beacon and arrivals again, title: waiting. False when no server exists.
    bool ResumeService();

    // What the core does when the relay is gone: the engine forgets it and no template is
    // selected any more.
    void ForgetDevice();

signals:
    void ShowMessage(const QString& text, const QString& title, lanpanel::MessageIcon icon);
    void TitleChanged(const QString& title);
    void DeviceLost();
    void PlaySound(const QString& resourceName);

private:
    LinkPorts ports_;
    Timing timing_;
    SharedState shared_;
    ProtocolEngine engine_;
    std::unique_ptr<CommServer> server_;
};

} // namespace lanpanel
