#pragma once
// The basic settings file AppDir/配置文件/基本配置.ini: the number of the port, remembered
// between runs.

#include <QString>

namespace companel {

QString DefaultBasicSettingsPath();
// "Port" of section "Settings"; 2 when the file or the key is missing. Text without leading
// digits reads as 0, as the platform's reader does.
int ReadPortSetting(const QString& path = DefaultBasicSettingsPath());
// Writes the port field's text unchanged. False when the file cannot be written.
bool WritePortSetting(const QString& text, const QString& path = DefaultBasicSettingsPath());

} // namespace companel
