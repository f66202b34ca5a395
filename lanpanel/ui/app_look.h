#pragma once
// The look every lanpanel window shares: the dialog colours and 宋体 (with an installed CJK font
// where SimSun is missing).

class QApplication;

namespace lanpanel::ui {

void ApplyLanpanelLook(QApplication& app);

} // namespace lanpanel::ui
