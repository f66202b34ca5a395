// companel: serial-line master for one VKD2950 relay.

#include "common/support/appdir.h"
#include "common/widgets/sound_player.h"
#include "companel/config/point_table_loader.h"
#include "companel/link/serial_port.h"
#include "companel/polling/companel_state.h"
#include "companel/ui/main_window.h"
#include "companel/ui/running_log.h"
#include "companel/ui/splash_window.h"
#include "companel/ui/window_reporter.h"
#include "companel/ui/window_style.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // The link comes first: its thread idles until a port is opened.
    companel::SerialPort port;
    // The point tables are read from beside the program, wherever it was started from, so the
    // program folder is settled before they load.
    support::InitAppDir();
    companel::CompanelState state;
    state.LoadTables(companel::DefaultPointTablePath());

    companel::InitCompanelResources();
    companel::ApplyProgramColours(app);
    app.setFont(companel::SongFont(9));
    app.setWindowIcon(companel::ProgramIcon());

    widgets::SoundPlayer sound;
    companel::RunningLog runningLog(support::AppPath(QStringLiteral("运行记录")));
    companel::WindowReporter reporter(&runningLog);
    QObject::connect(&reporter, &companel::WindowReporter::WaveRequested, &sound,
                     &widgets::SoundPlayer::Play);

    companel::ShowSplash([&sound](const QString& name) { sound.Play(name); });

    companel::MainWindow window(state, port, reporter);
    if (!window.Start())
        return 1;
    window.exec();
    return 0;
}
