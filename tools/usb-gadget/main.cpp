// qlarkw-usb-gadget: the Writer's USB bridge as a USB gadget, for a kernel
// with a USB device controller (dummy_hcd in a test guest). It presents
// itself as the Writer's FT232R does and serves the Writer's firmware model
// behind it; the host's own drivers (ftdi_sio, libftdi1) talk to it.

#include <errno.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "qlarkw-sim/PtyServer.h"
#include "shared/OutputFile.h"
#include "shared/StrictOptions.h"
#include "sim/ChipStateFile.h"
#include "sim/SimEnvironment.h"
#include "usb-gadget/FfsDescriptors.h"
#include "usb-gadget/FtdiBridge.h"

namespace {

using namespace ftdibridge;

constexpr char kUsage[] =
    "Usage: qlarkw-usb-gadget [options]\n"
    "\n"
    "Presents the Writer's USB bridge (FTDI 0403:6001, FT232R, \"Q-LARK USB\n"
    "Programmer\") as a USB gadget through configfs and FunctionFS, and serves\n"
    "the Writer's firmware model behind it at the line's real pace. Needs root,\n"
    "configfs, the usb_f_fs module and a USB device controller. Prints\n"
    "\"plugged in\" once the gadget is on the bus; SIGTERM, SIGINT or SIGHUP\n"
    "take it off the bus, remove it and end.\n"
    "\n"
    "Options:\n"
    "  --udc NAME        the device controller (default: the first in /sys/class/udc)\n"
    "  --serial SN       the USB serial number (default QLW00001)\n"
    "  --name NAME       the gadget's configfs and FunctionFS name (default qlarkw)\n"
    "  -h, --help        show this help\n"
    "\n"
    "Environment: QLARKW_SIM_STATE (the chip, kept as qlarkw-sim keeps it),\n"
    "QLARKW_SIM_TRACE (one line per event: the vendor requests as \"ctrl ...\",\n"
    "the bytes as \"w XX\" and \"r XX\"), QLARKW_SIM_FAULT (the firmware's faults).\n"
    "\n"
    "Taking the gadget off the bus and back (an unplug and a plug) is writing\n"
    "\"\" and then the controller's name to /sys/kernel/config/usb_gadget/NAME/UDC.\n";

std::atomic<bool> stopping{false};

void OnStop(int) {
    stopping = true;
}
void OnWake(int) {}

bool WriteFile(const QString& path, const QByteArray& text, QString* error) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush())
        return true;
    *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

QString Errno(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
}

// The gadget: its configfs folder, its FunctionFS endpoints, the bridge.
class Gadget {
  public:
    struct Settings {
        QString udc;
        QString serial;
        QString name;
        QString statePath;
        QString tracePath;
        FaultPlan faults;
    };

    explicit Gadget(Settings settings) : s_(std::move(settings)) {}
    ~Gadget() { TearDown(); }

    bool SetUp(QString* error);
    // Serves until a stop signal; false with `error` on a failure.
    bool Run(QString* error);

  private:
    QString Dir() const { return QStringLiteral("/sys/kernel/config/usb_gadget/") + s_.name; }
    QString FfsDir() const { return QStringLiteral("/dev/ffs-") + s_.name; }
    void TearDown();
    void NewBridge(Time now);
    void Trace(Time t, const QString& what);
    void SaveChip();
    void HandleSetup(const usb_ctrlrequest& setup);
    void InLoop();
    void OutLoop();
    void WakeThreads();

    Settings s_;
    bool configMade_ = false;
    bool mounted_ = false;
    bool bound_ = false;
    int ep0_ = -1;
    int epIn_ = -1;
    int epOut_ = -1;
    outputfile::AppendFile trace_;
    Time traceStart_ = Clock::now();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<Bridge> bridge_;
    ChipMemory chip_;
    FirmwareModel::Work savedWork_;
    bool enabled_ = false;
    std::thread in_;
    std::thread out_;
};

bool Gadget::SetUp(QString* error) {
    if (!s_.statePath.isEmpty()) {
        QString why;
        const std::optional<ChipMemory> chip = chipstate::Load(s_.statePath, &why);
        if (!chip || !chipstate::Save(s_.statePath, *chip, &why)) {
            *error = QStringLiteral("QLARKW_SIM_STATE: ") + why;
            return false;
        }
        chip_ = *chip;
    }
    if (!s_.tracePath.isEmpty() && trace_.Open(s_.tracePath, error) != outputfile::Error::None) {
        error->prepend(QStringLiteral("QLARKW_SIM_TRACE: "));
        return false;
    }
    if (s_.udc.isEmpty()) {
        const QStringList udcs = QDir(QStringLiteral("/sys/class/udc"))
                                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
        if (udcs.isEmpty()) {
            *error = QStringLiteral("no USB device controller in /sys/class/udc (load dummy_hcd)");
            return false;
        }
        s_.udc = udcs.first();
    }
    const QString dir = Dir();
    if (!QDir(QStringLiteral("/sys/kernel/config/usb_gadget")).exists()) {
        *error =
            QStringLiteral("no /sys/kernel/config/usb_gadget (mount configfs, load libcomposite)");
        return false;
    }
    if (!QDir().mkdir(dir)) {
        *error = QStringLiteral("%1: cannot make the gadget (one of that name exists?)").arg(dir);
        return false;
    }
    configMade_ = true;
    const QString function = dir + QStringLiteral("/functions/ffs.") + s_.name;
    const QString config = dir + QStringLiteral("/configs/c.1");
    const struct {
        QString path;
        QByteArray text;
    } attributes[] = {
        {dir + QStringLiteral("/idVendor"), "0x0403"},
        {dir + QStringLiteral("/idProduct"), "0x6001"},
        {dir + QStringLiteral("/bcdDevice"), "0x0600"},
        {dir + QStringLiteral("/bcdUSB"), "0x0200"},
        {dir + QStringLiteral("/max_speed"), "full-speed"},
        {dir + QStringLiteral("/strings/0x409/manufacturer"), "FTDI"},
        {dir + QStringLiteral("/strings/0x409/product"), ffsdesc::kProduct},
        {dir + QStringLiteral("/strings/0x409/serialnumber"), s_.serial.toLatin1()},
        {config + QStringLiteral("/MaxPower"), "90"},
        {config + QStringLiteral("/bmAttributes"), "0x80"},
    };
    if (!QDir().mkpath(dir + QStringLiteral("/strings/0x409")) || !QDir().mkpath(config) ||
        !QDir().mkpath(function)) {
        *error = QStringLiteral("%1: cannot lay out the gadget").arg(dir);
        return false;
    }
    for (const auto& attribute : attributes) {
        if (!WriteFile(attribute.path, attribute.text + '\n', error)) return false;
    }
    if (!QFile::link(function, config + QStringLiteral("/ffs.") + s_.name)) {
        *error = QStringLiteral("%1: cannot put the function into the configuration").arg(config);
        return false;
    }
    QDir().mkpath(FfsDir());
    if (::mount(s_.name.toLocal8Bit().constData(), FfsDir().toLocal8Bit().constData(), "functionfs",
                0, nullptr) != 0) {
        *error = Errno(QStringLiteral("mounting FunctionFS on ") + FfsDir());
        return false;
    }
    mounted_ = true;
    ep0_ = ::open((FfsDir() + QStringLiteral("/ep0")).toLocal8Bit().constData(), O_RDWR);
    if (ep0_ < 0) {
        *error = Errno(FfsDir() + QStringLiteral("/ep0"));
        return false;
    }
    const QByteArray descriptors = ffsdesc::Descriptors();
    const QByteArray strings = ffsdesc::Strings();
    if (::write(ep0_, descriptors.constData(), descriptors.size()) != descriptors.size() ||
        ::write(ep0_, strings.constData(), strings.size()) != strings.size()) {
        *error = Errno(QStringLiteral("FunctionFS refused the descriptors"));
        return false;
    }
    // The endpoints in the order of their descriptors: bulk IN, bulk OUT.
    epIn_ = ::open((FfsDir() + QStringLiteral("/ep1")).toLocal8Bit().constData(), O_RDWR);
    epOut_ = ::open((FfsDir() + QStringLiteral("/ep2")).toLocal8Bit().constData(), O_RDWR);
    if (epIn_ < 0 || epOut_ < 0) {
        *error = Errno(QStringLiteral("the gadget's endpoints"));
        return false;
    }
    NewBridge(Clock::now());
    in_ = std::thread([this]() { InLoop(); });
    out_ = std::thread([this]() { OutLoop(); });
    if (!WriteFile(dir + QStringLiteral("/UDC"), s_.udc.toLatin1() + '\n', error)) return false;
    bound_ = true;
    return true;
}

void Gadget::Trace(Time t, const QString& what) {
    if (!trace_.isOpen()) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - traceStart_);
    trace_.Append(QStringLiteral("%1 %2\n").arg(ms.count()).arg(what).toUtf8());
}

// A bridge just powered: its own defaults, the Writer's firmware started
// anew, the PIC's memory as it was.
void Gadget::NewBridge(Time now) {
    if (bridge_) chip_ = bridge_->firmware().chip();
    Bridge::Options options;
    options.faults = s_.faults;
    options.wordProgramTime = PtyServer::kWordProgramTime;
    options.eepromWriteTime = PtyServer::kEepromWriteTime;
    options.bulkEraseTime = PtyServer::kBulkEraseTime;
    options.trace = [this](Time t, const QString& what) { Trace(t, what); };
    bridge_ = std::make_unique<Bridge>(std::move(options), now);
    bridge_->firmware().chip() = chip_;
    savedWork_ = {};
}

void Gadget::SaveChip() {
    const FirmwareModel::Work& work = bridge_->firmware().work();
    if (s_.statePath.isEmpty() || (work.wordsProgrammed == savedWork_.wordsProgrammed &&
                                   work.eepromBytesWritten == savedWork_.eepromBytesWritten &&
                                   work.bulkErases == savedWork_.bulkErases))
        return;
    QString why;
    if (chipstate::Save(s_.statePath, bridge_->firmware().chip(), &why))
        savedWork_ = work;
    else
        std::fprintf(stderr, "qlarkw-usb-gadget: QLARKW_SIM_STATE: %s\n", qPrintable(why));
}

void Gadget::WakeThreads() {
    changed_.notify_all();
    if (in_.joinable()) pthread_kill(in_.native_handle(), SIGUSR1);
    if (out_.joinable()) pthread_kill(out_.native_handle(), SIGUSR1);
}

void Gadget::HandleSetup(const usb_ctrlrequest& request) {
    const bool in = request.bRequestType & USB_DIR_IN;
    const bool vendor = (request.bRequestType & USB_TYPE_MASK) == USB_TYPE_VENDOR;
    ControlReply reply;
    bool purged = false;
    {
        std::lock_guard lock(mutex_);
        if (vendor) {
            const Setup setup{request.bRequestType, request.bRequest, request.wValue,
                              request.wIndex, request.wLength};
            reply = bridge_->Control(setup, Clock::now());
            purged = request.bRequest == kReset;
            SaveChip();
        } else {
            reply.accepted = false;
        }
    }
    changed_.notify_all();
    // A purge also drops the packet waiting for the host's next poll.
    if (purged && in_.joinable()) pthread_kill(in_.native_handle(), SIGUSR1);
    // Answer in the data stage's direction; the other direction stalls.
    if (in) {
        if (reply.accepted)
            (void)!::write(ep0_, reply.data.constData(), reply.data.size());
        else
            (void)!::read(ep0_, nullptr, 0);
    } else {
        char data[256];
        if (reply.accepted)
            (void)!::read(ep0_, data, std::min<int>(request.wLength, sizeof data));
        else
            (void)!::write(ep0_, nullptr, 0);
    }
}

// The stop signals go to the thread that reads the events.
void BlockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void Gadget::InLoop() {
    BlockStopSignals();
    for (;;) {
        QByteArray packet;
        {
            std::unique_lock lock(mutex_);
            for (;;) {
                if (stopping) return;
                if (!enabled_) {
                    changed_.wait(lock);
                    continue;
                }
                Time wake;
                const std::optional<QByteArray> next = bridge_->TakeInPacket(Clock::now(), &wake);
                if (next) {
                    packet = *next;
                    break;
                }
                changed_.wait_until(lock, wake);
            }
        }
        // Waits until the host polls for it; a purge, an unplug or the end
        // interrupts it, and the packet is gone.
        (void)!::write(epIn_, packet.constData(), packet.size());
    }
}

void Gadget::OutLoop() {
    BlockStopSignals();
    uint8_t buffer[kPacketSize];
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            for (;;) {
                if (stopping) return;
                if (!enabled_) {
                    changed_.wait(lock);
                    continue;
                }
                const Time now = Clock::now();
                if (bridge_->OutRoom(now) >= kPacketSize) break;
                changed_.wait_until(lock, bridge_->OutRoomAt(now));
            }
        }
        const ssize_t n = ::read(epOut_, buffer, sizeof buffer);
        if (n <= 0) continue;  // interrupted, or the gadget left the bus
        {
            std::lock_guard lock(mutex_);
            bridge_->HostWrote(buffer, static_cast<int>(n), Clock::now());
        }
        changed_.notify_all();
    }
}

bool Gadget::Run(QString* error) {
    std::printf("plugged in: %s on %s, serial %s\n", ffsdesc::kProduct, qPrintable(s_.udc),
                qPrintable(s_.serial));
    std::fflush(stdout);
    while (!stopping) {
        usb_functionfs_event events[4];
        const ssize_t n = ::read(ep0_, events, sizeof events);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = Errno(QStringLiteral("reading the gadget's events"));
            return false;
        }
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
            const usb_functionfs_event& event = events[i];
            switch (event.type) {
                case FUNCTIONFS_BIND: {
                    std::lock_guard lock(mutex_);
                    NewBridge(Clock::now());
                    Trace(Clock::now(), QStringLiteral("bind"));
                    break;
                }
                case FUNCTIONFS_ENABLE: {
                    std::lock_guard lock(mutex_);
                    enabled_ = true;
                    Trace(Clock::now(), QStringLiteral("enable"));
                    break;
                }
                case FUNCTIONFS_DISABLE:
                case FUNCTIONFS_UNBIND: {
                    std::lock_guard lock(mutex_);
                    enabled_ = false;
                    SaveChip();
                    Trace(Clock::now(), event.type == FUNCTIONFS_DISABLE
                                            ? QStringLiteral("disable")
                                            : QStringLiteral("unbind"));
                    break;
                }
                case FUNCTIONFS_SETUP:
                    HandleSetup(event.u.setup);
                    break;
                default:
                    break;
            }
            changed_.notify_all();
        }
    }
    return true;
}

void Gadget::TearDown() {
    stopping = true;
    const QString dir = Dir();
    if (bound_) {
        QString ignored;
        WriteFile(dir + QStringLiteral("/UDC"), "\n", &ignored);
        bound_ = false;
    }
    WakeThreads();
    if (in_.joinable()) in_.join();
    if (out_.joinable()) out_.join();
    if (bridge_) {
        SaveChip();
        bridge_.reset();
    }
    for (int* fd : {&epIn_, &epOut_, &ep0_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (mounted_) {
        ::umount(FfsDir().toLocal8Bit().constData());
        QDir().rmdir(FfsDir());
        mounted_ = false;
    }
    if (configMade_) {
        QFile::remove(dir + QStringLiteral("/configs/c.1/ffs.") + s_.name);
        QDir().rmdir(dir + QStringLiteral("/configs/c.1"));
        QDir().rmdir(dir + QStringLiteral("/functions/ffs.") + s_.name);
        QDir().rmdir(dir + QStringLiteral("/strings/0x409"));
        QDir().rmdir(dir);
        configMade_ = false;
    }
}

int Usage(const QString& error) {
    std::fprintf(stderr, "qlarkw-usb-gadget: %s\n\n%s", qPrintable(error), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption udc(QStringLiteral("udc"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("SN"));
    const QCommandLineOption name(QStringLiteral("name"), QString(), QStringLiteral("NAME"));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QList<QCommandLineOption> known = {help, udc, serial, name};
    parser.addOptions(known);
    const QStringList line = QCoreApplication::arguments();
    const qsizetype stray = strictoptions::FirstRefused(known, line, false);
    parser.parse(stray >= 0 ? line.first(stray) : line);
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (stray >= 0) return Usage(QStringLiteral("unknown argument \"%1\"").arg(line[stray]));

    Gadget::Settings settings;
    settings.udc = parser.value(udc);
    settings.serial = parser.isSet(serial) ? parser.value(serial) : QStringLiteral("QLW00001");
    settings.name = parser.isSet(name) ? parser.value(name) : QStringLiteral("qlarkw");
    if (settings.serial.isEmpty() || settings.name.isEmpty() || settings.name.contains(u'/'))
        return Usage(QStringLiteral("--serial and --name take a word"));
    settings.statePath = qEnvironmentVariable(simenv::kEnvSimState);
    settings.tracePath = qEnvironmentVariable(simenv::kEnvSimTrace);
    QString error;
    const std::optional<FaultPlan> faults =
        FaultPlan::Parse(qEnvironmentVariable(simenv::kEnvSimFault), &error);
    if (!faults) return Usage(error);
    settings.faults = *faults;

    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    // Interrupts a thread's endpoint call (no SA_RESTART): the call ends
    // and its request is taken back from the controller.
    action.sa_handler = OnWake;
    ::sigaction(SIGUSR1, &action, nullptr);

    Gadget gadget(settings);
    if (!gadget.SetUp(&error) || !gadget.Run(&error)) {
        std::fprintf(stderr, "qlarkw-usb-gadget: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
