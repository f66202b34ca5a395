#include "app_look.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

namespace lanpanel::ui {

void ApplyLanpanelLook(QApplication& app) {
    QFont font = app.font();
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    app.setFont(font);

    QPalette pal = app.palette();
    pal.setColor(QPalette::Window, QColor(244, 244, 244));
    pal.setColor(QPalette::Button, QColor(244, 244, 244));
    pal.setColor(QPalette::WindowText, QColor(100, 100, 0));
    app.setPalette(pal);
}

} // namespace lanpanel::ui
