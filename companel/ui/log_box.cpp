#include "companel/ui/log_box.h"

#include "companel/ui/monitor_format.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace companel {

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // An undo history would keep every line ever shown.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

qint64 LogBox::Length() const {
    const QTextDocument* doc = document();
    // characterCount() counts one separator per block plus the final one; every block but the
    // last (always empty) stands for a line ending in CR LF.
    return static_cast<qint64>(doc->characterCount()) - 1 + doc->blockCount() - 1;
}

QString LogBox::Text() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void LogBox::Clear() {
    clear();
}

void LogBox::DropFront(qint64 count) {
    QTextDocument* doc = document();
    qint64 dropped = 0;
    int end = 0;
    QTextBlock block = doc->begin();
    // Whole lines first: counting block by block keeps the work proportional to what goes.
    while (block.isValid() && block != doc->lastBlock()) {
        const qint64 withLineEnd = block.length() + 1;
        if (dropped + withLineEnd > count)
            break;
        dropped += withLineEnd;
        end = block.position() + block.length();
        block = block.next();
    }
    if (dropped < count && block.isValid() && block != doc->lastBlock())
        end = block.position() +
              static_cast<int>(std::min<qint64>(count - dropped, block.length() - 1));
    if (end <= 0)
        return;
    QTextCursor cursor(doc);
    cursor.setPosition(0);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void LogBox::AppendLine(const QString& line) {
    if (Length() > LogTrimThreshold)
        DropFront(LogTrimAmount);
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    // The caret goes to the end, which brings the newest line into view.
    QTextCursor caret = textCursor();
    caret.movePosition(QTextCursor::End);
    setTextCursor(caret);
}

} // namespace companel
