// qlarkw-sim: the simulated Writer on a pseudo-terminal.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QStringList>
#include <cstdio>

#include "link/sim/SimEnvironment.h"
#include "qlarkw-sim/PtyServer.h"
#include "shared/StrictOptions.h"

namespace {

constexpr char kUsage[] =
    "Usage: qlarkw-sim [options]\n"
    "\n"
    "Serves the simulated Writer on a pseudo-terminal and prints its path on\n"
    "the first line of standard output. Point the program at it with\n"
    "QLARKW_DEVICE=serial:PATH.\n"
    "\n"
    "Options:\n"
    "  --pace real|instant  real (default): the simulator spends the 4800-baud\n"
    "                       line's time, 10 bit times per byte each way, and the\n"
    "                       PIC16F84A's programming times (4 ms per word and per\n"
    "                       EEPROM byte, 8 ms per erase); instant: replies at once\n"
    "  --latency MS         the bridge's latency timer, 0 to 255 ms (default 0):\n"
    "                       each reply waits in the bridge until the timer next\n"
    "                       expires; 16 is a bridge's own default (a pty carries\n"
    "                       no call to change it, so this stands for its setting)\n"
    "  --link PATH          also make PATH a symbolic link to the pty (removed at\n"
    "                       the end)\n"
    "  --idle-exit SECONDS  end when no program has had the pty open for that\n"
    "                       long (counted from the start and from every close)\n"
    "  -h, --help           show this help\n"
    "\n"
    "Environment:\n"
    "  QLARKW_SIM_STATE  HEX file holding the chip: loaded at the start, saved\n"
    "                    whenever the program closes the pty and at the end\n"
    "  QLARKW_SIM_TRACE  file to which a line is appended per event: open, close,\n"
    "                    the line settings, each byte written (w XX) and sent (r XX)\n"
    "  QLARKW_SIM_FAULT  faults to show (noboard=N, nopower=N, silent, reply=N:XX,\n"
    "                    byte=N:XX, cut=N); readerror, drop, gone, openfail and\n"
    "                    closefail belong to a driver (a failed or lost read, an\n"
    "                    unplugged device) and do not apply on a pty\n"
    "\n"
    "Ending: SIGTERM, SIGINT or SIGHUP end the simulator cleanly (the chip is\n"
    "saved, the link removed, exit status 0), and so does --idle-exit. Programs\n"
    "open and close the pty for every job: their closing does not end it.\n"
    "Exit status 2 for a usage error, 1 when the pty or a file fails.\n";

// The longest latency timer a bridge has.
constexpr int kMaxLatencyMs = 255;

int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

int Usage(const QString& error) {
    std::fprintf(stderr, "qlarkw-sim: %s\n\n%s", error.toLocal8Bit().constData(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption pace(QStringLiteral("pace"), QString(),
                                  QStringLiteral("real|instant"));
    const QCommandLineOption link(QStringLiteral("link"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"), QString(),
                                           QStringLiteral("MS"));
    const QCommandLineOption idleExit(QStringLiteral("idle-exit"), QString(),
                                      QStringLiteral("SECONDS"));
    QCommandLineParser parser;
    // A word after one dash is one name, and an unknown one unless it is -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({help, pace, link, latencyOption, idleExit});

    // The options are read from left to right, up to the first stray
    // argument: the first -h/--help or the first error decides.
    const QStringList line = QCoreApplication::arguments();
    const qsizetype stray = strictoptions::FirstRefused(parser, line, false);
    parser.parse(stray >= 0 ? line.first(stray) : line);
    PtyServer::Options options;
    QHash<QString, qsizetype> valuesRead;  // per option
    for (const QString& name : parser.optionNames()) {
        if (help.names().contains(name)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        // The others have one name each and take a value, empty when the
        // line ends before it.
        const QString value = parser.values(name).value(valuesRead[name]++);
        if (name == pace.names().first()) {
            if (value != u"real" && value != u"instant")
                return Usage(QStringLiteral("--pace takes real or instant"));
            options.realPace = value == u"real";
        } else if (name == latencyOption.names().first()) {
            bool ok = false;
            const int ms = value.toInt(&ok, 10);
            if (!ok || ms < 0 || ms > kMaxLatencyMs)
                return Usage(QStringLiteral("--latency takes whole milliseconds from 0 to %1")
                                 .arg(kMaxLatencyMs));
            options.latency = std::chrono::milliseconds(ms);
        } else if (name == link.names().first()) {
            if (value.isEmpty()) return Usage(QStringLiteral("--link takes a path"));
            options.linkPath = value;
        } else {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || seconds < 0)
                return Usage(QStringLiteral("--idle-exit takes a number of seconds"));
            options.idleExit = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
        }
    }
    if (stray >= 0) return Usage(QStringLiteral("unknown argument \"%1\"").arg(line[stray]));
    options.statePath = qEnvironmentVariable(simenv::kEnvSimState);
    options.tracePath = qEnvironmentVariable(simenv::kEnvSimTrace);
    QString error;
    const std::optional<FaultPlan> faults =
        FaultPlan::Parse(qEnvironmentVariable(simenv::kEnvSimFault), &error);
    if (!faults) return Usage(error);
    options.faults = *faults;
    if (faults->readErrorAt || faults->dropReadAt || faults->goneAtCall || faults->openFails ||
        faults->closeFails) {
        std::fprintf(stderr,
                     "qlarkw-sim: readerror, drop, gone, openfail and closefail do not apply on "
                     "a pty; ignored\n");
    }

    if (::pipe(stopPipe) != 0) {
        std::perror("qlarkw-sim: pipe");
        return 1;
    }
    ::fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

#ifdef __linux__
    // The pace is kept to the microsecond: no timer slack on the waits.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    PtyServer server(std::move(options));
    if (!server.Start(&error)) {
        std::fprintf(stderr, "qlarkw-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s\n", server.ptyPath().toLocal8Bit().constData());
    std::fflush(stdout);

    if (!server.Run(stopPipe[0], &error)) {
        std::fprintf(stderr, "qlarkw-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
