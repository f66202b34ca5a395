#include "basic_settings.h"

#include "common/support/appdir.h"
#include "common/support/gbk.h"
#include "common/support/profile.h"

namespace companel {

QString DefaultBasicSettingsPath() {
    return support::AppPath(QStringLiteral("配置文件/基本配置.ini"));
}

int ReadPortSetting(const QString& path) {
    return static_cast<int>(support::Profile::Load(path).ReadInt("Settings", "Port", 2));
}

bool WritePortSetting(const QString& text, const QString& path) {
    return support::Profile::WriteString(path, "Settings", "Port", support::ToGbk(text));
}

} // namespace companel
