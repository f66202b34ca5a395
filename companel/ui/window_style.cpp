#include "companel/ui/window_style.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

static void InitCompanelQrc() {
    Q_INIT_RESOURCE(companel);
}

namespace companel {

void InitCompanelResources() {
    InitCompanelQrc();
}

void ApplyProgramColours(QApplication& app) {
    QPalette p = app.palette();
    p.setColor(QPalette::Window, DialogBackground());
    p.setColor(QPalette::WindowText, DialogText());
    app.setPalette(p);
}

QFont SongFont(int points) {
    QFont f;
    // The first family that is installed wins; the rest keep Chinese readable elsewhere.
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSize(points);
    return f;
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/companel/companel.svg"));
}

QIcon MonitorIconA() {
    return QIcon(QStringLiteral(":/companel/monitor_a.svg"));
}

QIcon MonitorIconB() {
    return QIcon(QStringLiteral(":/companel/monitor_b.svg"));
}

void Colourise(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::Base, background);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

} // namespace companel
