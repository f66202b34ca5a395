#include "running_log.h"

#include <QDir>
#include <QFile>

namespace companel {

QByteArray ToTextMode(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.count('\n'));
    for (char c : bytes) {
        if (c == '\n')
            out.append('\r');
        out.append(c);
    }
    return out;
}

RunningLog::RunningLog(QString folder) : folder_(std::move(folder)) {}

QString RunningLog::FileFor(const QDate& day) const {
    return folder_ + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

QString RunningLog::LastFailedPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastFailed_;
}

bool RunningLog::Write(const QString& path, const QByteArray& text) {
    QDir().mkpath(folder_);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        lastFailed_ = path;
        return false;
    }
    const QByteArray bytes = ToTextMode(text);
    if (f.write(bytes) != bytes.size()) {
        lastFailed_ = path;
        return false;
    }
    return true;
}

bool RunningLog::Append(const QByteArray& line, const QDate& today) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QString path = FileFor(today);
    bool ok = true;
    if (firstCall_) {
        firstCall_ = false;
        ok = Write(path, "\r\n") && ok;
        ok = Write(path, QByteArray(68, '-') + "\r\n") && ok;
    }
    return Write(path, line) && ok;
}

} // namespace companel
