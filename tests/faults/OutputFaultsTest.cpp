// Every file the programs write, with every way its writing can fail: the
// disk filling up part-way through, something other than a regular file at
// its path, and a place that cannot be written. Whatever happens the old
// file is left as it was, byte for byte, nothing is left beside it, the
// writer fails, and no success is told. Everything is made under a
// temporary folder; no mount and no second user are needed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <thread>

#include "sim/ChipStateFile.h"
#include "resources/Texts.h"
#include "shell/SettingsFile.h"

#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum class Failure {
    // A file-size limit, with SIGXFSZ ignored, fails a write with EFBIG as
    // a full disk fails it with ENOSPC: after part of the bytes.
    PartWay,
    Fifo,
    Folder,
    LinkLoop,
    // A folder without write permission holding a file without it. Root
    // ignores both, so as root the writer runs without the capabilities by
    // which it does (DAC override): denied exactly as any other user is.
    ReadOnly,
};

// Larger than the old trace, smaller than any file the programs write and
// than the old trace with its next line: every write gets part of the way.
constexpr rlim_t kFileSizeLimit = 24;

// Withdraws from the calling thread the capabilities by which root passes
// over permission bits; with `forExec`, from the program it starts next as
// well. Safe between fork and exec.
bool WithdrawPermissionOverride(bool forExec) {
    if (::geteuid() != 0) return true;
    constexpr int kCaps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (const int cap : kCaps) {
        if (forExec && ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
        data[0].effective &= ~CAP_TO_MASK(cap);
        data[0].inheritable &= ~CAP_TO_MASK(cap);
        if (forExec) data[0].permitted &= ~CAP_TO_MASK(cap);
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The soft limit only: the hard one could not be raised again without
// CAP_SYS_RESOURCE.
bool LimitFileSize() {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    limit.rlim_cur = kFileSizeLimit;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// What a writer did: whether it ended, claimed success, and what it said.
struct Outcome {
    bool ended = true;
    bool succeeded = false;
    QString said;
};

// qlarkw-cli on the simulated Writer, under the failure's restrictions.
Outcome RunCli(const QStringList& args, const QStringList& env, Failure failure,
               const char* successText) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QLARKW_DEVICE"), QStringLiteral("sim"));
    for (const char* name : {"QLARKW_SIM_STATE", "QLARKW_SIM_TRACE", "QLARKW_SIM_FAULT"})
        environment.remove(QLatin1String(name));
    for (const QString& item : env)
        environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([failure] {
        if ((failure == Failure::PartWay && !LimitFileSize()) ||
            (failure == Failure::ReadOnly && !WithdrawPermissionOverride(true)))
            ::_exit(125);
    });
    process.start(QStringLiteral(QLARKW_CLI), args);
    Outcome outcome;
    // Generous for a loaded machine; a writer blocked on a pipe never ends.
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(10000);
        outcome.ended = false;
    }
    outcome.said = QString::fromUtf8(process.readAllStandardOutput()) +
                   QString::fromUtf8(process.readAllStandardError());
    outcome.succeeded = process.exitStatus() == QProcess::NormalExit &&
                        (process.exitCode() == 0 || outcome.said.contains(successText));
    return outcome;
}

// The settings file written in process, under the failure's restrictions:
// in a thread of its own, whose capabilities alone are withdrawn.
Outcome WriteSettings(const QString& path, Failure failure) {
    Outcome outcome;
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto handler = ::signal(SIGXFSZ, SIG_IGN);
    std::thread writer([&] {
        if ((failure == Failure::PartWay && !LimitFileSize()) ||
            (failure == Failure::ReadOnly && !WithdrawPermissionOverride(false))) {
            outcome.succeeded = true;  // nothing tried: not a failure of the writer
            outcome.said = QStringLiteral("the failure could not be set up");
            return;
        }
        outcome.succeeded = SettingsFile(path).WriteSetting(
            QStringLiteral("Config"), QStringLiteral("Word"), QStringLiteral("16383"));
    });
    writer.join();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, handler);
    return outcome;
}

// Everything in `folder` as it stands, an entry a line: its name, kind and
// permission bits, a file's content, a link's target.
std::string Snapshot(const QString& folder) {
    QStringList entries;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0) continue;
        QString entry = QStringLiteral("%1 %2 ").arg(name).arg(info.st_mode, 0, 8);
        if (S_ISREG(info.st_mode)) {
            QFile file(dir.filePath(name));
            const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : "?";
            entry += QStringLiteral("%1 bytes, hash %2").arg(content.size()).arg(qHash(content));
        } else if (S_ISLNK(info.st_mode)) {
            entry += QFile::symLinkTarget(dir.filePath(name));
        }
        entries << entry;
    }
    return entries.join(u'\n').toStdString();
}

ChipMemory OldChip() {
    ChipMemory chip;
    for (int a = 0; a < ChipMemory::kEepromBytes; ++a) chip.eeprom[a] = static_cast<uint8_t>(a);
    return chip;
}

// One file the programs write: what an earlier run left in it, whether the
// writer names the file when it fails (the settings file's callers do), and
// the run that writes it at `path`.
struct Target {
    const char* name;
    QByteArray old;
    bool namesFile;
    std::function<Outcome(const QString& path, Failure)> write;
};

const QString kSample = QStringLiteral(QLARKW_SAMPLES "/blink.hex");

const std::vector<Target>& Targets() {
    static const std::vector<Target> targets = {
        {"read-out", ":020000040000FA\r\n:00000001FF\r\n", true,
         [](const QString& path, Failure f) {
             return RunCli({"read", "-o", path}, {}, f, texts::kReadDone);
         }},
        {"EEPROM read-out", "00 11 22 33\r\n", true,
         [](const QString& path, Failure f) {
             return RunCli({"eeprom", "read", "-o", path}, {}, f, "saved");
         }},
        {"settings file", "[Mode]\r\nQLark=1\r\n", false, WriteSettings},
        {"chip state", chipstate::Format(OldChip()), true,
         [](const QString& path, Failure f) {
             return RunCli({"--verbose", "write", kSample}, {"QLARKW_SIM_STATE=" + path}, f,
                           texts::kWriteDone);
         }},
        {"trace", "0 open\n", true,
         [](const QString& path, Failure f) {
             return RunCli({"--verbose", "eeprom", "read"}, {"QLARKW_SIM_TRACE=" + path}, f, "+Fh");
         }},
    };
    return targets;
}

constexpr std::pair<Failure, const char*> kFailures[] = {
    {Failure::PartWay, "write fails part-way"},
    {Failure::Fifo, "a FIFO"},
    {Failure::Folder, "a folder"},
    {Failure::LinkLoop, "a symbolic link to itself"},
    {Failure::ReadOnly, "a read-only place"},
};

// Puts what the failure needs at `path`, in its own folder `place`.
bool Prepare(Failure failure, const QString& place, const QString& path, const QByteArray& old) {
    const QByteArray p = QFile::encodeName(path);
    switch (failure) {
        case Failure::Fifo:
            return ::mkfifo(p.constData(), 0644) == 0;
        case Failure::Folder:
            return QDir().mkpath(path);
        case Failure::LinkLoop:
            return ::symlink(p.constData(), p.constData()) == 0;
        case Failure::PartWay:
        case Failure::ReadOnly: {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(old) != old.size()) return false;
            file.close();
            return failure == Failure::PartWay ||
                   (::chmod(p.constData(), 0444) == 0 &&
                    ::chmod(QFile::encodeName(place).constData(), 0555) == 0);
        }
    }
    return false;
}

}  // namespace

TEST(OutputFaults, EveryFileWithEveryFailureIsLeftAsItWas) {
    for (const Target& target : Targets()) {
        for (const auto& [failure, name] : kFailures) {
            SCOPED_TRACE(std::string(target.name) + ", " + name);
            QTemporaryDir dir;
            const QString place = dir.filePath(QStringLiteral("place"));
            ASSERT_TRUE(QDir().mkpath(place));
            const QString path = QDir(place).filePath(QStringLiteral("target"));
            ASSERT_TRUE(Prepare(failure, place, path, target.old));
            const std::string before = Snapshot(place);

            const Outcome outcome = target.write(path, failure);

            EXPECT_TRUE(outcome.ended) << "still running after 30 s";
            EXPECT_FALSE(outcome.succeeded) << outcome.said.toStdString();
            EXPECT_EQ(Snapshot(place), before) << outcome.said.toStdString();
            if (target.namesFile) {
                EXPECT_TRUE(outcome.said.contains(path)) << outcome.said.toStdString();
            }
            ::chmod(QFile::encodeName(place).constData(), 0755);
        }
    }
}
