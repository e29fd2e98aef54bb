// qlarkw-sim: the simulated Writer on a pseudo-terminal.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "link/sim/SimEnvironment.h"
#include "qlarkw-sim/PtyServer.h"

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
    "                    byte=N:XX, cut=N); readerror, openfail and closefail\n"
    "                    belong to a driver and do not apply on a pty\n"
    "\n"
    "Ending: SIGTERM, SIGINT or SIGHUP end the simulator cleanly (the chip is\n"
    "saved, the link removed, exit status 0), and so does --idle-exit. Programs\n"
    "open and close the pty for every job: their closing does not end it.\n"
    "Exit status 2 for a usage error, 1 when the pty or a file fails.\n";

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
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    PtyServer::Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"-h" || a == u"--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == u"--pace") {
            const QString v = hasValue ? args[++i] : QString();
            if (v != u"real" && v != u"instant")
                return Usage(QStringLiteral("--pace takes real or instant"));
            options.realPace = v == u"real";
        } else if (a == u"--link") {
            if (!hasValue || args[i + 1].isEmpty())
                return Usage(QStringLiteral("--link takes a path"));
            options.linkPath = args[++i];
        } else if (a == u"--idle-exit") {
            bool ok = false;
            const double seconds = hasValue ? args[++i].toDouble(&ok) : 0;
            if (!ok || seconds < 0)
                return Usage(QStringLiteral("--idle-exit takes a number of seconds"));
            options.idleExit = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
        } else {
            return Usage(QStringLiteral("unknown argument \"%1\"").arg(a));
        }
    }
    options.statePath = qEnvironmentVariable(simenv::kEnvSimState);
    options.tracePath = qEnvironmentVariable(simenv::kEnvSimTrace);
    QString error;
    const std::optional<FaultPlan> faults =
        FaultPlan::Parse(qEnvironmentVariable(simenv::kEnvSimFault), &error);
    if (!faults) return Usage(error);
    options.faults = *faults;
    if (faults->readErrorAt || faults->openFails || faults->closeFails) {
        std::fprintf(stderr,
                     "qlarkw-sim: readerror, openfail and closefail do not apply on a pty; "
                     "ignored\n");
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
