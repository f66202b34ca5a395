// vkd2950-sim: a VKD2950 relay on a pseudo-terminal or a serial device, for companel and its
// tests. Prints the line it answers on, then answers until interrupted or told "quit".

#include "common/support/gbk.h"
#include "tools/vkd2950-sim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

void Err(const QString& text) {
    std::cerr << text.toLocal8Bit().constData() << std::endl;
}

QString DefaultIni() {
    for (const char* path : {VKDSIM_APP_INI, VKDSIM_SOURCE_INI}) {
        const QString p = QString::fromUtf8(path);
        if (QFileInfo::exists(p))
            return p;
    }
    return QString::fromUtf8(VKDSIM_SOURCE_INI);
}

const char* kConsoleHelp =
    "commands:\n"
    "  fault off|silent|late [ms]|split [ms]|crc|address|short [xN]\n"
    "  silence <0..1>       swallow answers at random with this probability\n"
    "  pacing on|off        bytes at the pace of 9600 bit/s\n"
    "  turnaround <ms>      think time before each answer\n"
    "  mode 0|1             remote-control mode (parameter 50)\n"
    "  address <1..247>     answer at another address from now on\n"
    "  accident on|off      hold the accident input closed\n"
    "  status               faults, counters and the relay's clock\n"
    "  quit\n";

// One console line; false when the user asked to quit.
bool Command(vkdsim::Simulator& sim, const QString& line) {
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return true;
    const QString verb = w[0].toLower();
    if (verb == QLatin1String("quit") || verb == QLatin1String("exit"))
        return false;
    if (verb == QLatin1String("help")) {
        std::cerr << kConsoleHelp;
    } else if (verb == QLatin1String("mode") && w.size() == 2 &&
               (w[1] == QLatin1String("0") || w[1] == QLatin1String("1"))) {
        const auto mode = static_cast<std::uint16_t>(w[1].toUInt());
        sim.WithDevice([mode](vkdsim::Device& d) { d.SetRemoteMode(mode); });
        Err(QStringLiteral("remote-control mode %1").arg(mode));
    } else if (verb == QLatin1String("address") && w.size() == 2) {
        const uint n = w[1].toUInt();
        const bool ok = n <= 255 && sim.WithDevice([n](vkdsim::Device& d) {
            return d.SetAddress(static_cast<std::uint8_t>(n));
        });
        Err(ok ? QStringLiteral("address %1").arg(n) : QStringLiteral("address must be 1..247"));
    } else if (verb == QLatin1String("accident") && w.size() == 2 &&
               (w[1] == QLatin1String("on") || w[1] == QLatin1String("off"))) {
        const bool held = w[1] == QLatin1String("on");
        const bool known = sim.WithDevice([held](vkdsim::Device& d) {
            d.SetAccidentHeld(held);
            return d.AccidentSignal().has_value();
        });
        Err(known ? QStringLiteral("accident input %1").arg(held ? "closed" : "released")
                  : QStringLiteral("the point table has no accident input"));
    } else if (verb == QLatin1String("status")) {
        const QString clock = sim.WithDevice([](vkdsim::Device& d) {
            return d.Clock(vkdsim::Simulator::NowMs())
                       .toString(QStringLiteral("yy-MM-dd HH:mm:ss")) +
                   QStringLiteral(", mode %1").arg(d.RemoteMode());
        });
        Err(QStringLiteral("%1; %2 requests, %3 answers; relay clock %4")
                .arg(vkdsim::Describe(sim.Faults()))
                .arg(sim.Requests())
                .arg(sim.Answers())
                .arg(clock));
    } else {
        vkdsim::FaultSettings f = sim.Faults();
        QString error;
        if (!vkdsim::ApplyFaultCommand(line, f, &error)) {
            Err(error + QStringLiteral(" (type help)"));
            return true;
        }
        sim.SetFaults(f);
        Err(vkdsim::Describe(f));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vkd2950-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated VKD2950 protection relay for companel. Without --device it makes a\n"
        "pseudo-terminal and prints its path as the first line on standard output.\n"
        "While it runs, commands typed on standard input change faults and modes (type help)."));
    parser.addHelpOption();
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Answer on this serial device (9600 8N1)."),
                                    QStringLiteral("path"));
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Make <path> a symbolic link to the line (e.g. app/companel/ports/COM2); "
                       "removed on exit."),
        QStringLiteral("path"));
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("Point table to lay out the registers from."),
                                 QStringLiteral("path"), DefaultIni());
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Relay address 1..247 (default 1)."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption mode(QStringLiteral("remote-mode"),
                                  QStringLiteral("Remote-control mode, parameter 50 (0 or 1)."),
                                  QStringLiteral("0|1"), QStringLiteral("0"));
    const QCommandLineOption accident(QStringLiteral("accident"),
                                      QStringLiteral("Hold the input named ...事故总 closed."));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Version number at VersionPost."),
                                      QStringLiteral("n"), QStringLiteral("1640"));
    const QCommandLineOption hardwareId(
        QStringLiteral("hardware-id"),
        QStringLiteral("24-digit hardware ID in parameters 50..56, or \"none\" for a relay never "
                       "programmed."),
        QStringLiteral("digits"), QStringLiteral("000001240315103000012345"));
    const QCommandLineOption events(QStringLiteral("events"),
                                    QStringLiteral("Events in the log at start (0..500)."),
                                    QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of everything random."), QStringLiteral("n"),
                                  QStringLiteral("2950"));
    const QCommandLineOption signalPeriod(
        QStringLiteral("signal-period"),
        QStringLiteral("Mean seconds between binary-input changes; 0: never."), QStringLiteral("s"),
        QStringLiteral("20"));
    const QCommandLineOption still(QStringLiteral("still"),
                                   QStringLiteral("Telemetry stays at its nominal values."));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Fault from the start: off, silent, late [ms], split [ms], crc, address, "
                       "short, optionally followed by xN (next N answers)."),
        QStringLiteral("fault"));
    const QCommandLineOption silence(
        QStringLiteral("silence"), QStringLiteral("Probability 0..1 that an answer is swallowed."),
        QStringLiteral("p"));
    const QCommandLineOption turnaround(QStringLiteral("turnaround"),
                                        QStringLiteral("Milliseconds before each answer (5)."),
                                        QStringLiteral("ms"));
    const QCommandLineOption pacing(
        QStringLiteral("pacing"),
        QStringLiteral("Pace answer bytes like 9600 bit/s: on (default on a pseudo-terminal) or "
                       "off (default on a serial device, whose line paces itself)."),
        QStringLiteral("on|off"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log every request and answer in hex."));
    parser.addOptions({device, link, ini, address, mode, accident, firmware, hardwareId, events,
                       seed, signalPeriod, still, fault, silence, turnaround, pacing, verbose});
    parser.process(app);

    auto number = [&](const QCommandLineOption& o, long lo, long hi, long* out) {
        bool ok = false;
        const long v = parser.value(o).toLong(&ok);
        if (!ok || v < lo || v > hi) {
            Err(QStringLiteral("--%1 must be a number from %2 to %3")
                    .arg(o.names().first())
                    .arg(lo)
                    .arg(hi));
            return false;
        }
        *out = v;
        return true;
    };
    vkdsim::DeviceOptions options;
    long v = 0;
    if (!number(address, 1, 247, &v))
        return 2;
    options.Address = static_cast<std::uint8_t>(v);
    if (!number(mode, 0, 1, &v))
        return 2;
    options.RemoteMode = static_cast<std::uint16_t>(v);
    if (!number(firmware, 0, 65535, &v))
        return 2;
    options.Firmware = static_cast<std::uint16_t>(v);
    if (!number(events, 0, 500, &v))
        return 2;
    options.Events = static_cast<std::size_t>(v);
    if (!number(seed, 0, 0xFFFFFFFFl, &v))
        return 2;
    options.Seed = static_cast<std::uint32_t>(v);
    if (!number(signalPeriod, 0, 86400, &v))
        return 2;
    options.SignalPeriodSeconds = static_cast<int>(v);
    options.AccidentHeld = parser.isSet(accident);
    options.MovingTelemetry = !parser.isSet(still);
    const QString id = parser.value(hardwareId);
    if (id == QLatin1String("none")) {
        options.HardwareId.clear();
    } else if (!QRegularExpression(QStringLiteral("^[0-9]{24}$")).match(id).hasMatch()) {
        Err(QStringLiteral("--hardware-id needs 24 digits or \"none\""));
        return 2;
    } else {
        options.HardwareId = id;
    }

    vkdsim::FaultSettings faults;
    faults.Pacing = !parser.isSet(device);
    QString error;
    if (parser.isSet(fault) &&
        !vkdsim::ApplyFaultCommand(QStringLiteral("fault ") + parser.value(fault), faults,
                                   &error)) {
        Err(QStringLiteral("--fault: ") + error);
        return 2;
    }
    for (const auto* o : {&silence, &turnaround, &pacing}) {
        if (parser.isSet(*o) &&
            !vkdsim::ApplyFaultCommand(o->names().first() + QLatin1Char(' ') + parser.value(*o),
                                       faults, &error)) {
            Err(QStringLiteral("--%1: %2").arg(o->names().first(), error));
            return 2;
        }
    }

    const QString iniPath = parser.value(ini);
    QStringList notes;
    auto relay = vkdsim::LoadDevice(iniPath, options, vkdsim::Simulator::NowMs(), &error, &notes);
    for (const QString& note : notes)
        Err(note);
    if (!relay) {
        Err(error);
        return 2;
    }
    const companel::PointTables& tables = relay->Tables();
    const QString layout =
        QStringLiteral("%1 telemetry, %2 inputs, parameters %3+%4, settings %5+%6")
            .arg(tables.Telemetry.Number)
            .arg(tables.Signals.Number)
            .arg(tables.Parameters.Start)
            .arg(tables.Parameters.Number)
            .arg(tables.Settings.Start)
            .arg(tables.Settings.Number);
    vkdsim::Simulator sim(std::move(relay), faults, options.Seed);
    if (parser.isSet(verbose))
        sim.SetLogger([](const QString& line) {
            Err(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line);
        });
    const bool opened =
        parser.isSet(device) ? sim.OpenDevice(parser.value(device), &error) : sim.OpenPty(&error);
    if (!opened) {
        Err(error);
        return 1;
    }
    if (parser.isSet(link) && !sim.LinkAs(parser.value(link), &error)) {
        Err(error);
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    // Started with & from a shell, reading the terminal would stop the whole program.
    std::signal(SIGTTIN, SIG_IGN);
    std::cout << sim.SlavePath().toLocal8Bit().constData() << std::endl;
    Err(QStringLiteral("vkd2950-sim: address %1 on %2%3, point table %4 (%5); %6. Type help for "
                       "commands.")
            .arg(options.Address)
            .arg(sim.SlavePath())
            .arg(parser.isSet(link) ? QStringLiteral(" (linked as %1)").arg(parser.value(link))
                                    : QString())
            .arg(iniPath, layout, vkdsim::Describe(faults)));
    if (!sim.Start()) {
        Err(QStringLiteral("cannot start the line thread"));
        return 1;
    }

    // The console: commands from standard input until it ends; then just keep answering.
    bool console = true;
    QByteArray pending;
    while (!g_stop && sim.Running()) {
        if (!console) {
            ::usleep(200 * 1000);
            continue;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && (errno == EIO || errno == EINTR)) {
            // Run in the background of a terminal: the console waits for the foreground.
            ::usleep(200 * 1000);
            continue;
        }
        if (n <= 0) {
            console = false;
            continue;
        }
        pending.append(buf, static_cast<int>(n));
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending.left(nl));
            pending.remove(0, nl + 1);
            if (!Command(sim, line))
                g_stop = 1;
        }
        if (pending.size() > 4096)
            pending.clear();
    }
    sim.Stop();
    return 0;
}
