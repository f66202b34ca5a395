#pragma once
// The status box of the main window and the text box of the communication monitor: a plain
// text log that only ever grows at its end and sheds its oldest characters once it passes the
// limit, so that appending stays cheap however long the program runs.

#include <QPlainTextEdit>
#include <QString>

namespace companel {

class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogBox(QWidget* parent = nullptr);

    // Appends one complete line ("...\r\n"); first drops the oldest LogTrimAmount characters
    // when the box already holds more than LogTrimThreshold. The end comes into view.
    void AppendLine(const QString& line);
    // Characters held, each line end counted as CR LF (as the saved text has them).
    qint64 Length() const;
    // The whole text with CR LF line ends.
    QString Text() const;
    void Clear();

private:
    void DropFront(qint64 count);
};

} // namespace companel
