#pragma once
// Opens a saved text file for the engineer to read, in the platform's text editor.

#include <QString>

namespace lanpanel::ui {

// An empty path opens an empty editor where the platform has a fixed one, and nothing
// elsewhere. Failures are not reported.
void OpenTextFile(const QString& path);

} // namespace lanpanel::ui
