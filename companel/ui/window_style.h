#pragma once
// Looks shared by every window of companel: the dialog colours, the fonts and the icons.

#include <QColor>
#include <QFont>
#include <QIcon>

class QWidget;
class QApplication;

namespace companel {

inline QColor DialogBackground() {
    return QColor(210, 222, 252);
}
inline QColor DialogText() {
    return QColor(100, 100, 0);
}

// Background and text colours of every window of the program.
void ApplyProgramColours(QApplication& app);
// "宋体" in `points`, or an installed CJK face where it is missing.
QFont SongFont(int points);
// Makes the program's pictures and icons reachable (they live in a static library).
void InitCompanelResources();

QIcon ProgramIcon();
QIcon MonitorIconA();
QIcon MonitorIconB();

// Sets a widget's text and background colours.
void Colourise(QWidget* widget, const QColor& text, const QColor& background);

} // namespace companel
