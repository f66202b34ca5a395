#include "prompter.h"

#include <QMessageBox>
#include <QPushButton>

namespace lanpanel::ui {

void BoxPrompter::Inform(QWidget* parent, const QString& text, const QString& title,
                         MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                     : QMessageBox::Information,
                    title.isEmpty() ? kProgramCaption : title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool BoxPrompter::AskOkCancel(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box.exec() == QMessageBox::Ok;
}

} // namespace lanpanel::ui
