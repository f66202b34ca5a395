#include "open_text_file.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>

namespace lanpanel::ui {

void OpenTextFile(const QString& path) {
#ifdef Q_OS_WIN
    QStringList args;
    if (!path.isEmpty())
        args << QDir::toNativeSeparators(path);
    QProcess::startDetached(QStringLiteral("notepad.exe"), args);
#else
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

} // namespace lanpanel::ui
