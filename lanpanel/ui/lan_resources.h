#pragma once
// lanpanel's pictures: icons and the splash picture, all SVG in the program's resources.

#include <QIcon>
#include <QString>

namespace lanpanel::ui {

inline const QString kIconStageOpen = QStringLiteral("stage_open.svg");     // stage not passed
inline const QString kIconStagePassed = QStringLiteral("stage_passed.svg"); // stage passed
inline const QString kIconPrint = QStringLiteral("print.svg");
inline const QString kIconSaveXls = QStringLiteral("save_xls.svg");
inline const QString kIconProgram = QStringLiteral("lanpanel.svg");
inline const QString kPictureSplash = QStringLiteral("splash.svg");

// An icon of lanpanel's resources by its file name.
QIcon LanIcon(const QString& name);
// The resource path of a picture.
QString LanResource(const QString& name);

} // namespace lanpanel::ui
