#include "lan_resources.h"

static void InitLanpanelResources() {
    Q_INIT_RESOURCE(lanpanel);
}

namespace lanpanel::ui {

QString LanResource(const QString& name) {
    static const bool loaded = [] {
        InitLanpanelResources();
        return true;
    }();
    (void)loaded;
    return QStringLiteral(":/lanpanel/") + name;
}

QIcon LanIcon(const QString& name) {
    return QIcon(LanResource(name));
}

} // namespace lanpanel::ui
