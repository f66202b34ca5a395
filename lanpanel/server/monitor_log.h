#pragma once
// The communication monitor's log: one time-stamped line per server event or frame, newest
// first in the list, oldest first in the saved text. The window that shows it only reads this
// model, so the log can be checked headless.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace lanpanel {

class MonitorLog : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit MonitorLog(QObject* parent = nullptr);

    // Local time source for the line stamps and the proposed file name.
    void SetClock(Clock clock);

    // Adds "HH:MM:SS text" unless paused.
    void Log(const QString& text);

    bool Paused() const { return paused_; }
    void SetPaused(bool paused) { paused_ = paused; }
    // What a double-click on the list does.
    void TogglePaused() { paused_ = !paused_; }

    int LineCount() const { return static_cast<int>(lines_.size()); }
    // Row 0 is the newest line.
    QString Line(int row) const;
    // Characters of the longest line so far; kept as lines arrive so a window never measures
    // the whole list again.
    int WidestLine() const { return widest_; }

    // Every line oldest first, each followed by CRLF, as GBK bytes.
    QByteArray LogText() const;

    // "网口面板(YYYY.MM.DD HH.MM).txt"
    static QString ProposedFileName(const QDateTime& when);
    QString ProposedFileName() const;
    // AppDir + "\报文存档": where the save dialog starts.
    static QString SaveFolder();

    // Writes the log text to `path` (emptying an existing file). The path is remembered as the
    // saved path even when writing fails, so 查看... opens what the user chose.
    bool Save(const QString& path, QString* error = nullptr);
    QString SavedPath() const { return savedPath_; }

    // "收 (007)：07 81 09 05 FE 00 04 " for a read, "发 …" for a send.
    static QString FrameText(bool received, const std::uint8_t* data, int count);

signals:
    void LineAdded(const QString& line);

private:
    Clock clock_;
    bool paused_ = false;
    // The text lives in fixed-size blocks, so a long log never has to be copied to grow.
    struct LineRef {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length; // without the CRLF
    };
    std::vector<QByteArray> blocks_;
    std::deque<LineRef> lines_; // oldest first
    qsizetype textSize_ = 0;
    int widest_ = 0;
    QString savedPath_;
};

} // namespace lanpanel
