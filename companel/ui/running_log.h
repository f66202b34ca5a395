#pragma once
// The daily running log: every status line of the program is appended to
// AppDir/运行记录/<yyyy-MM-dd>.log, so a day's work with the relay can be read back later.
//
// The file keeps the format engineers' existing logs have: lines as the status box shows
// them, each LF written as CR LF (so a line ends in 0D 0D 0A), GBK, and before the first line
// of each run an empty line and a line of 68 dashes. Appends from several threads never
// interleave. A missing folder is created.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <mutex>

namespace companel {

class RunningLog {
public:
    // `folder` is normally AppPath("运行记录").
    explicit RunningLog(QString folder);

    // Appends one complete line (GBK, as formed for the status box, ending in "\r\n").
    // Returns false when the line could not be written; LastFailedPath then names the file.
    bool Append(const QByteArray& line, const QDate& today = QDate::currentDate());

    QString FileFor(const QDate& day) const;
    QString LastFailedPath() const;

private:
    bool Write(const QString& path, const QByteArray& text);

    const QString folder_;
    mutable std::mutex mutex_;
    bool firstCall_ = true;
    QString lastFailed_;
};

// The text-mode translation the file receives: every LF becomes CR LF.
QByteArray ToTextMode(const QByteArray& bytes);

} // namespace companel
