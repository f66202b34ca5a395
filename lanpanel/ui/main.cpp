// lanpanel: the PC end of a PQ4820-family relay's network link.

#include "app_look.h"
#include "common/widgets/sound_player.h"
#include "lanpanel/engine/lan_core.h"
#include "main_dialog.h"
#include "prompter.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lanpanel"));
    lanpanel::ui::ApplyLanpanelLook(app);

    widgets::SoundPlayer sounds;
    lanpanel::LanCore core;
    lanpanel::ui::BoxPrompter prompter;
    lanpanel::ui::MainDialog dialog(core, prompter, &sounds);
    dialog.Initialise();
    dialog.exec();
    return 0;
}
