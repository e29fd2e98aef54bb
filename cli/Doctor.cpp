#include "cli/Doctor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <algorithm>
#include <vector>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "backends/Backends.h"
#include "cli/CommandLine.h"
#include "link/Device.h"
#include "link/protocol/Protocol.h"
#include "shared/Clock.h"
#include "version/ProgramVersion.h"

namespace cli {
namespace {

constexpr char kUdevRuleName[] = "70-qlark-writer.rules";

struct Finding {
    bool ok = true;
    QString what;  // what was found
    QString todo;  // what to do about it; empty when nothing
};

QString ReadLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// One device on the USB bus whose product string is the Writer's.
struct UsbWriter {
    QString name;  // "1-1"
    QString driver;
    QString tty;   // "ttyUSB0", when a serial driver holds it
    QString node;  // the device node that opens it
    QString latency;
};

std::vector<UsbWriter> FindWriters(const DoctorRoots& roots) {
    std::vector<UsbWriter> found;
    const QDir devices(roots.sys + QStringLiteral("/bus/usb/devices"));
    for (const QString& name : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = devices.filePath(name);
        if (ReadLine(path + QStringLiteral("/product")) != QLatin1String(kDeviceDescription))
            continue;
        UsbWriter writer;
        writer.name = name;
        const QString interface = path + QStringLiteral("/") + name + QStringLiteral(":1.0");
        const QString driverLink = QFileInfo(interface + QStringLiteral("/driver")).symLinkTarget();
        writer.driver = driverLink.isEmpty() ? QString() : QFileInfo(driverLink).fileName();
        const QStringList ttys =
            QDir(interface).entryList({QStringLiteral("ttyUSB*")}, QDir::Dirs, QDir::Name);
        if (!ttys.isEmpty()) {
            writer.tty = ttys.first();
            writer.node = roots.dev + u'/' + writer.tty;
            writer.latency =
                ReadLine(interface + u'/' + writer.tty + QStringLiteral("/latency_timer"));
        } else {
            const int bus = ReadLine(path + QStringLiteral("/busnum")).toInt();
            const int device = ReadLine(path + QStringLiteral("/devnum")).toInt();
            writer.node = QStringLiteral("%1/bus/usb/%2/%3")
                              .arg(roots.dev)
                              .arg(bus, 3, 10, QLatin1Char('0'))
                              .arg(device, 3, 10, QLatin1Char('0'));
        }
        found.push_back(writer);
    }
    return found;
}

// Whether this user may read and write `node`; when not, what would let it.
Finding NodeAccess(const QString& node) {
    Finding finding;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(node);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        return {false, QStringLiteral("%1 is not there").arg(node),
                QStringLiteral("unplug the Writer and plug it in again; if it stays away, "
                               "check dmesg for the driver's messages")};
    }
    if (::access(path.constData(), R_OK | W_OK) == 0) {
        finding.what = QStringLiteral("%1 can be read and written by this user").arg(node);
        return finding;
    }
    const struct group* owner = ::getgrgid(info.st_gid);
    const QString group =
        owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
    bool member = ::getegid() == info.st_gid;
    std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    if (!groups.empty() && ::getgroups(static_cast<int>(groups.size()), groups.data()) >= 0) {
        for (const gid_t gid : groups) member = member || gid == info.st_gid;
    }
    finding.ok = false;
    finding.what = QStringLiteral("%1 (group %2, mode %3) cannot be read and written by this user")
                       .arg(node, group)
                       .arg(info.st_mode & 0777, 3, 8, QLatin1Char('0'));
    finding.todo = member ? QStringLiteral(
                                "the node's group allows it, but not for it: install the udev "
                                "rule (below) and plug the Writer in again")
                          : QStringLiteral(
                                "join the group: sudo usermod -aG %1 $USER, then log out and in "
                                "again; or install the udev rule (below), which gives the "
                                "logged-in user access, and plug the Writer in again")
                                .arg(group);
#else
    finding.ok = QFileInfo(node).isWritable();
    finding.what = QStringLiteral("%1 %2").arg(
        node, finding.ok ? QStringLiteral("can be written") : QStringLiteral("cannot be written"));
#endif
    return finding;
}

// The processes that hold `node` open, as "1234 (minicom)".
QStringList Holders(const DoctorRoots& roots, const QString& node) {
    QStringList holders;
    const QDir proc(roots.proc);
    const QString own = QString::number(QCoreApplication::applicationPid());
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric || pid == own) continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QFileInfo& fd :
             fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != node) continue;
            holders << QStringLiteral("%1 (%2)").arg(
                pid, ReadLine(proc.filePath(pid + QStringLiteral("/comm"))));
            break;
        }
    }
    return holders;
}

Finding Library(const char* what, const QStringList& names, const char* todo) {
    for (const QString& name : names) {
        QLibrary library(name);
        if (library.load()) {
            library.unload();
            return {true, QStringLiteral("%1 loads (%2)").arg(QLatin1String(what), name), {}};
        }
    }
    return {false, QStringLiteral("%1 does not load").arg(QLatin1String(what)),
            QLatin1String(todo)};
}

QString OpenTheWriter() {
    SteadyClock clock;
    QString error;
    std::unique_ptr<Device> device =
        backends::Create(backends::DeviceChoiceFromEnvironment(), clock, &error);
    if (!device) return error;
    const FtStatus status = device->OpenEx(QByteArray(kDeviceDescription));
    if (status != FT_OK) {
        const QString why = device->LastError();
        return why.isEmpty() ? QString::fromLatin1(FtStatusName(status)) : why;
    }
    device->Close();
    return {};
}

std::vector<Finding> Examine(const DoctorRoots& roots) {
    std::vector<Finding> findings;
    const std::vector<UsbWriter> writers = FindWriters(roots);
    if (writers.empty()) {
        findings.push_back(
            {false,
             QStringLiteral("no device with the product string \"%1\" on the USB bus")
                 .arg(QLatin1String(kDeviceDescription)),
             QStringLiteral("plug the Writer in with a cable that carries data (not a charging "
                            "cable); lsusb should list it")});
    }
    for (const UsbWriter& writer : writers) {
        findings.push_back(
            {true, QStringLiteral("the Writer is on the USB bus at %1").arg(writer.name), {}});
        if (writer.driver.isEmpty()) {
            findings.push_back({true,
                                QStringLiteral("no driver holds it (libftdi1 or D2XX open it "
                                               "directly)"),
                                {}});
        } else {
            findings.push_back({true, QStringLiteral("driver %1 holds it").arg(writer.driver), {}});
        }
        findings.push_back(NodeAccess(writer.node));
        if (!writer.latency.isEmpty()) {
            const bool quick = writer.latency.toInt() <= 1;
            findings.push_back(
                {true,
                 QStringLiteral("latency timer %1 ms%2")
                     .arg(writer.latency,
                          quick ? QString()
                                : QStringLiteral(" (qlarkw sets 1 ms when it opens the Writer)")),
                 {}});
        }
        const QStringList holders = Holders(roots, writer.node);
        if (!holders.isEmpty()) {
            findings.push_back({false,
                                QStringLiteral("%1 is held open by %2")
                                    .arg(writer.node, holders.join(QStringLiteral(", "))),
                                QStringLiteral("end that program (a terminal program, "
                                               "ModemManager, another qlarkw) first")});
        }
    }
    QString rule;
    for (const QString& folder : roots.udevRules) {
        const QString path = QDir(folder).filePath(QLatin1String(kUdevRuleName));
        if (QFileInfo::exists(path)) {
            rule = path;
            break;
        }
    }
    if (!rule.isEmpty()) {
        findings.push_back({true, QStringLiteral("the udev rule is installed: %1").arg(rule), {}});
    } else {
        findings.push_back(
            {false,
             QStringLiteral("the udev rule %1 is not installed").arg(QLatin1String(kUdevRuleName)),
             QStringLiteral("install the package, or copy %1 from the sources' "
                            "packaging/udev to /etc/udev/rules.d, then run "
                            "sudo udevadm control --reload and plug the Writer "
                            "in again")
                 .arg(QLatin1String(kUdevRuleName))});
    }
    findings.push_back(Library("libftdi1", roots.ftdiLibrary,
                               "install libftdi1-2 for QLARKW_DEVICE=ftdi (the serial driver "
                               "works without it)"));
    Finding d2xx = Library("the D2XX library", roots.d2xxLibrary,
                           "needed only for QLARKW_DEVICE=d2xx: install the vendor's libftd2xx");
    if (!d2xx.ok) {
        // Optional: its absence stands in no one's way.
        d2xx.ok = true;
        d2xx.what = QStringLiteral("the D2XX library is not installed (optional)");
    }
    findings.push_back(d2xx);
    return findings;
}

}  // namespace

int RunDoctor(const Request& request, Streams streams, const DoctorRoots& roots) {
    std::vector<Finding> findings = Examine(roots);
    const QString choice = backends::DeviceChoiceFromEnvironment();
    const QString openError = roots.openWriter ? roots.openWriter() : OpenTheWriter();
    const bool opens = openError.isEmpty();
    findings.push_back(
        {opens,
         opens ? QStringLiteral("a Writer opens (QLARKW_DEVICE=%1)").arg(choice)
               : QStringLiteral("no Writer opens (QLARKW_DEVICE=%1): %2").arg(choice, openError),
         opens ? QString() : QStringLiteral("mend the findings marked !! above")});
    const int code = opens ? kSuccess : kLinkFailure;
    if (request.json) {
        QJsonArray items;
        for (const Finding& finding : findings) {
            items << QJsonObject{{QStringLiteral("ok"), finding.ok},
                                 {QStringLiteral("finding"), finding.what},
                                 {QStringLiteral("todo"), finding.todo}};
        }
        const QJsonObject report{{QStringLiteral("program"), QStringLiteral("qlarkw-cli")},
                                 {QStringLiteral("version"), QLatin1String(programversion::kText)},
                                 {QStringLiteral("command"), QStringLiteral("doctor")},
                                 {QStringLiteral("exitCode"), code},
                                 {QStringLiteral("findings"), items}};
        std::fputs(QJsonDocument(report).toJson(QJsonDocument::Indented).constData(), streams.out);
        return code;
    }
    for (const Finding& finding : findings) {
        std::fprintf(streams.out, "%s %s\n", finding.ok ? "ok" : "!!",
                     finding.what.toUtf8().constData());
        if (!finding.todo.isEmpty())
            std::fprintf(streams.out, "   -> %s\n", finding.todo.toUtf8().constData());
    }
    std::fflush(streams.out);
    return code;
}

}  // namespace cli
