#pragma once
// AppDir: the folder of the running program, without a trailing separator. Every file path of
// either program is formed from it.

#include <QString>

namespace support {

// Takes the folder of the program file, makes it the current folder and remembers it.
// Does nothing when AppDir has already been set.
void InitAppDir();
// Sets AppDir explicitly (tests, tools) and makes it the current folder.
void SetAppDir(const QString& dir);
QString AppDir();

// AppDir joined with a relative path written either way ("\配置文件\VKD2950.ini" or
// "配置文件/VKD2950.ini").
QString AppPath(const QString& relative);

// Creates `folder` (and its parents) when missing. Returns true when it exists afterwards.
bool EnsureFolder(const QString& folder);

} // namespace support
