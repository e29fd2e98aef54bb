// qlarkw-sim: the simulated Writer on a pseudo-terminal.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QStringList>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "link/LatencySetting.h"
#include "qlarkw-sim/PtyServer.h"
#include "shared/StrictOptions.h"
#include "sim/SimEnvironment.h"
#include "version/ProgramVersion.h"

namespace {

constexpr char kUsage[] =
    "Usage: qlarkw-sim [options]\n"
    "\n"
    "Serves the simulated Writer on a pseudo-terminal and prints its path on\n"
    "the first line of standard output. Point the program at it with\n"
    "QLARKW_DEVICE=serial:PATH.\n"
    "\n"
    "With --count N it serves N independent Writers, each on its own pty with\n"
    "its own chip, state file and trace, and prints the N paths, one a line.\n"
    "Their files and links take the suffixes -1 to -N: --link /tmp/w makes\n"
    "/tmp/w-1 ... /tmp/w-N, QLARKW_SIM_STATE=chip.hex makes chip-1.hex ...\n"
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
    "  --count N            serve N Writers (1 to 64; default 1)\n"
    "  --fault I:FAULTS     faults of Writer I only (1 to N), in the form of\n"
    "                       QLARKW_SIM_FAULT, added to those it names for all:\n"
    "                       --fault 2:silent --fault 3:cut=500; may be repeated\n"
    "  -h, --help           show this help\n"
    "  --version            show the program's version\n"
    "An option's value may follow it as its own word or after \"=\"\n"
    "(--pace=instant); -- ends the options.\n"
    "\n"
    "Environment:\n"
    "  QLARKW_SIM_STATE  HEX file holding the chip: loaded and saved back at the\n"
    "                    start, saved whenever the program closes the pty and at\n"
    "                    the end\n"
    "  QLARKW_SIM_TRACE  file to which a line is appended per event: open, close,\n"
    "                    the line settings, each byte written (w XX) and sent (r XX)\n"
    "  Both must be regular files (or new ones): anything else is refused at the\n"
    "  start, and a save or a trace line that cannot be written ends the\n"
    "  simulator with status 1, the file left as it was.\n"
    "  QLARKW_SIM_FAULT  faults to show (noboard=N, nopower=N, silent, reply=N:XX,\n"
    "                    byte=N:XX, cut=N); readerror, drop, gone, openfail and\n"
    "                    closefail belong to a driver (a failed or lost read, an\n"
    "                    unplugged device) and do not apply on a pty\n"
    "\n"
    "Ending: SIGTERM, SIGINT or SIGHUP end the simulator cleanly (the chip is\n"
    "saved, the link removed, exit status 0), and so does --idle-exit. Programs\n"
    "open and close the pty for every job: their closing does not end it.\n"
    "Exit status 2 for a usage error, 1 when the pty or a file fails.\n";

int stopPipe[2] = {-1, -1};
// Set once the Writers may leave something behind (their links, their
// chips to save): from then on a stop signal is answered by the serving
// loops, which all wait on the stop pipe.
std::atomic<bool> serving{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Until the Writers serve, whatever the start waits on (a file that does
// not open at once, say), a stop signal ends the simulator there and then:
// nothing is made yet that needs cleaning up.
void OnStopSignal(int) {
    if (!serving.load()) ::_exit(0);
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

int Usage(const QString& error) {
    std::fprintf(stderr, "qlarkw-sim: %s\nTry 'qlarkw-sim --help' for more information.\n",
                 error.toLocal8Bit().constData());
    return 2;
}

constexpr int kMaxCount = 64;

// The file of Writer `index` of several: "/tmp/w" -> "/tmp/w-2",
// "chip.hex" -> "chip-2.hex"; unchanged for a single Writer or no file.
QString Numbered(const QString& path, int index, int count) {
    if (count == 1 || path.isEmpty()) return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? info.fileName() : info.completeBaseName();
    QString name = base + QStringLiteral("-%1").arg(index);
    if (!suffix.isEmpty()) name += u'.' + suffix;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? name : path.left(slash + 1) + name;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption pace(QStringLiteral("pace"), QString(),
                                  QStringLiteral("real|instant"));
    const QCommandLineOption link(QStringLiteral("link"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"), QString(),
                                           QStringLiteral("MS"));
    const QCommandLineOption idleExit(QStringLiteral("idle-exit"), QString(),
                                      QStringLiteral("SECONDS"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption fault(QStringLiteral("fault"), QString(), QStringLiteral("I:FAULTS"));
    QCommandLineParser parser;
    // A word after one dash is one name, and an unknown one unless it is -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QList<QCommandLineOption> known = {help,          version,  pace,  link,
                                             latencyOption, idleExit, count, fault};
    parser.addOptions(known);

    // The options are read from left to right, up to the first stray
    // argument: the first -h/--help or the first error decides.
    const QStringList line = QCoreApplication::arguments();
    const qsizetype stray = strictoptions::FirstRefused(known, line, false);
    parser.parse(stray >= 0 ? line.first(stray) : line);
    PtyServer::Options options;
    int writers = 1;
    QMap<int, QStringList> faultsOf;       // per Writer, from --fault
    QHash<QString, qsizetype> valuesRead;  // per option
    for (const QString& name : parser.optionNames()) {
        if (help.names().contains(name)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (version.names().contains(name)) {
            std::printf("qlarkw-sim %s\n", programversion::kText);
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
            // 0: no timer, replies leave the bridge as they come.
            QString why;
            const std::optional<uint8_t> ms =
                latency::Parse(QStringLiteral("--latency"), value, 0, &why);
            if (!ms) return Usage(why);
            options.latency = std::chrono::milliseconds(*ms);
        } else if (name == link.names().first()) {
            if (value.isEmpty()) return Usage(QStringLiteral("--link takes a path"));
            options.linkPath = value;
        } else if (name == count.names().first()) {
            bool ok = false;
            writers = value.toInt(&ok);
            if (!ok || writers < 1 || writers > kMaxCount)
                return Usage(QStringLiteral("--count takes a number from 1 to %1").arg(kMaxCount));
        } else if (name == fault.names().first()) {
            bool ok = false;
            const int index = value.section(u':', 0, 0).toInt(&ok);
            const QString faults = value.section(u':', 1);
            if (!ok || index < 1 || faults.isEmpty())
                return Usage(
                    QStringLiteral("--fault takes a Writer's number and its faults "
                                   "(2:silent)"));
            QString why;
            if (!FaultPlan::Parse(faults, &why)) {
                why.remove(QStringLiteral("%1: ").arg(QLatin1String(simenv::kEnvSimFault)));
                return Usage(QStringLiteral("--fault %1: %2").arg(value, why));
            }
            faultsOf[index] << faults;
        } else {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || seconds < 0)
                return Usage(QStringLiteral("--idle-exit takes a number of seconds"));
            options.idleExit = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
        }
    }
    if (stray >= 0) return Usage(QStringLiteral("unknown argument \"%1\"").arg(line[stray]));
    if (!faultsOf.isEmpty() && faultsOf.lastKey() > writers)
        return Usage(QStringLiteral("--fault %1: there are only %2 Writers (--count)")
                         .arg(faultsOf.lastKey())
                         .arg(writers));
    options.statePath = qEnvironmentVariable(simenv::kEnvSimState);
    options.tracePath = qEnvironmentVariable(simenv::kEnvSimTrace);
    const QString allFaults = qEnvironmentVariable(simenv::kEnvSimFault);
    // Each Writer's own options: its files numbered, its faults those of all
    // and its own.
    std::vector<PtyServer::Options> each;
    for (int index = 1; index <= writers; ++index) {
        PtyServer::Options own = options;
        own.statePath = Numbered(options.statePath, index, writers);
        own.tracePath = Numbered(options.tracePath, index, writers);
        own.linkPath = Numbered(options.linkPath, index, writers);
        QStringList items = faultsOf.value(index);
        if (!allFaults.isEmpty()) items.prepend(allFaults);
        QString error;
        const std::optional<FaultPlan> faults = FaultPlan::Parse(items.join(u','), &error);
        if (!faults) return Usage(error);
        own.faults = *faults;
        if (faults->readErrorAt || faults->dropReadAt || faults->goneAtCall || faults->openFails ||
            faults->closeFails) {
            std::fprintf(stderr,
                         "qlarkw-sim: readerror, drop, gone, openfail and closefail do not apply "
                         "on a pty; ignored\n");
        }
        each.push_back(std::move(own));
    }
    QString error;

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
    // Every Writer is started before any path is printed: the paths are
    // the sign that all of them can be opened.
    std::vector<std::unique_ptr<PtyServer>> servers;
    for (PtyServer::Options& own : each) {
        servers.push_back(std::make_unique<PtyServer>(std::move(own)));
        if (!servers.back()->Start(&error)) {
            std::fprintf(stderr, "qlarkw-sim: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
    }
    serving = true;
    for (const auto& server : servers) {
        if (!server->MakeLink(&error)) {
            std::fprintf(stderr, "qlarkw-sim: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
    }
    for (const auto& server : servers)
        std::printf("%s\n", server->ptyPath().toLocal8Bit().constData());
    std::fflush(stdout);

    // One thread per Writer; the stop pipe, never drained, wakes them all.
    std::vector<QString> errors(servers.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < servers.size(); ++i)
        threads.emplace_back([&, i]() { servers[i]->Run(stopPipe[0], &errors[i]); });
    for (std::thread& thread : threads) thread.join();
    int status = 0;
    for (size_t i = 0; i < errors.size(); ++i) {
        if (errors[i].isEmpty()) continue;
        std::fprintf(
            stderr, "qlarkw-sim: %s%s\n",
            writers > 1 ? QStringLiteral("Writer %1: ").arg(i + 1).toLocal8Bit().constData() : "",
            errors[i].toLocal8Bit().constData());
        status = 1;
    }
    return status;
}
