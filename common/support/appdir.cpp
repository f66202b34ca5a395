#include "appdir.h"

#include <QCoreApplication>
#include <QDir>

namespace support {
namespace {
QString& Stored() {
    static QString dir;
    return dir;
}
} // namespace

void InitAppDir() {
    if (!Stored().isEmpty())
        return;
    SetAppDir(QCoreApplication::applicationDirPath());
}

void SetAppDir(const QString& dir) {
    QString clean = QDir::cleanPath(dir);
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    Stored() = clean;
    QDir::setCurrent(clean);
}

QString AppDir() {
    return Stored();
}

QString AppPath(const QString& relative) {
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (rel.startsWith(QLatin1Char('/')))
        rel.remove(0, 1);
    return Stored() + QLatin1Char('/') + rel;
}

bool EnsureFolder(const QString& folder) {
    return QDir().mkpath(folder);
}

} // namespace support
