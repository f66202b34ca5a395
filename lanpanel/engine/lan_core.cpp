#include "lan_core.h"

namespace lanpanel {

LanCore::LanCore(LinkPorts ports, Timing timing, QObject* parent)
    : QObject(parent), ports_(ports), timing_(timing), engine_(shared_, timing) {
    connect(&engine_, &ProtocolEngine::ShowMessage, this, &LanCore::ShowMessage);
}

LanCore::~LanCore() {
    engine_.SetLink(nullptr);
}

bool LanCore::ScanTemplates(const QString& folder) {
    return lanpanel::ScanTemplates(shared_.Templates, folder.isEmpty() ? TemplateFolder() : folder,
                                   [this](const QString& text) {
                                       emit ShowMessage(text, QString(), MessageIcon::Information);
                                   });
}

bool LanCore::StartService() {
    if (server_)
        return false;
    server_ = std::make_unique<CommServer>(shared_, ports_, timing_);
    connect(server_.get(), &CommServer::FrameArrived, &engine_, &ProtocolEngine::FrameArrived,
            Qt::DirectConnection);
    connect(server_.get(), &CommServer::TitleChanged, this, &LanCore::TitleChanged);
    connect(server_.get(), &CommServer::DeviceLost, this, &LanCore::DeviceLost);
    connect(server_.get(), &CommServer::PlaySound, this, &LanCore::PlaySound);
    engine_.SetLink(server_.get());
    emit TitleChanged(kTitleWaiting);
    server_->Start();
    return true;
}

bool LanCore::StopService() {
    if (!server_)
        return false;
    server_->StopService();
    ForgetDevice();
    emit TitleChanged(kTitleStopped);
    return true;
}

bool LanCore::ResumeService() {
    if (!server_)
        return false;
    server_->ResumeService();
    emit TitleChanged(kTitleWaiting);
    return true;
}

void LanCore::ForgetDevice() {
    engine_.ResetEngine();
    shared_.SelectedTemplateIndex = kNoTemplate;
}

} // namespace lanpanel
