#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <map>

#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "cli/Doctor.h"
#include "cli/FileWatch.h"
#include "shared/Clock.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

// The pieces of the command line that need a clock or a tree of their own:
// the progress line's pace, the watch of a HEX file, the doctor.
namespace {

QString Contents(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    return QString::fromUtf8(bytes);
}

void Put(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A virtual clock that runs `events` (at their virtual times) as time passes.
class ScriptedClock final : public Clock {
  public:
    std::multimap<int64_t, std::function<void()>> events;
    int64_t NowMs() const override { return now_; }
    void SleepMs(int64_t ms) override {
        now_ += ms;
        while (!events.empty() && events.begin()->first <= now_) {
            auto event = events.extract(events.begin());
            event.mapped()();
        }
    }

  private:
    int64_t now_ = 0;
};

}  // namespace

TEST(CliProgress, RedrawsAtMostEveryHundredMillisecondsAndEscapesOnlyWhereAllowed) {
    struct Case {
        cli::LineStyle style;
        int stepMs;  // virtual time per word
        int maxDraws;
        bool escapes;
    } const cases[] = {
        {cli::LineStyle::Redraw, 8, 1024 * 8 / 100 + 2, true},
        {cli::LineStyle::Plain, 8, 1024 * 8 / 100 + 2, false},
        {cli::LineStyle::Redraw, 0, 2, true},  // all at once: the first and the last state
        {cli::LineStyle::None, 8, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.style));
        FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        VirtualClock clock;
        {
            cli::TerminalProgress progress(err, clock, c.style);
            for (int word = 1; word <= 1024; ++word) {
                progress.SetStatusText(QStringLiteral("アドレス %1 書込み中").arg(word));
                progress.SetProgress(word, 1024);
                clock.SleepMs(c.stepMs);
            }
        }
        const QString text = Contents(err);
        std::fclose(err);
        EXPECT_LE(text.count(u'\r'), c.maxDraws);
        EXPECT_EQ(text.contains(u'\033'), c.escapes);
        // The line ends on the last state, whatever was skipped.
        if (c.style != cli::LineStyle::None) {
            EXPECT_TRUE(text.endsWith(QStringLiteral("1024/1024 (100%)\n"))) << text.toStdString();
        } else {
            EXPECT_EQ(text, QString());
        }
    }
}

TEST(CliProgress, JsonLinesEachParseAndEndOnTheWholeCount) {
    FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    VirtualClock clock;
    std::mutex mutex;
    cli::JsonProgress progress(err, clock, QStringLiteral("w-1"), mutex);
    progress.SetPhase(QStringLiteral("write"));
    for (int word = 1; word <= 1024; ++word) {
        progress.SetProgress(word, 1024);
        clock.SleepMs(8);
    }
    progress.SetPhase(QStringLiteral("verify"));
    progress.EndLine();
    const QStringList lines = Contents(err).split(u'\n', Qt::SkipEmptyParts);
    std::fclose(err);
    ASSERT_GE(lines.size(), 3);
    EXPECT_LE(lines.size(), 1024 * 8 / 100 + 4);
    QStringList lastOfPhase;
    for (const QString& line : lines) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_EQ(object.value("writer").toString(), "w-1");
        if (object.value("phase") == "write" && object.value("done").toInt() == 1024)
            lastOfPhase << line;
    }
    EXPECT_EQ(lastOfPhase.size(), 1);
    EXPECT_TRUE(lines.last().contains("\"phase\":\"verify\"")) << lines.last().toStdString();
}

TEST(CliWatch, TakesOnlyAWholeHexFileThatHasSettled) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("robot.hex"));
    const QByteArray first = ":020000000130CD\r\n:00000001FF\r\n";
    const QByteArray second = ":020000000230CC\r\n:00000001FF\r\n";
    const QByteArray broken = ":020000000230CD\r\n:00000001FF\r\n";  // a wrong checksum
    Put(path, first);
    struct Step {
        int64_t atMs;
        QByteArray content;  // empty: the file is removed
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        QByteArray taken;  // empty: stopped without a version
        int64_t takenAtMs;
        int said;  // problems told
    } const cases[] = {
        {"saved in two pieces", {{1000, second.left(17)}, {1050, second}}, second, 1050 + 400, 0},
        {"removed, then written anew", {{1000, {}}, {2000, second}}, second, 2000 + 400, 1},
        {"saved broken, then mended", {{1000, broken}, {3000, second}}, second, 3000 + 400, 1},
        {"touched but the same", {{1000, first}}, {}, 0, 0},
        {"changed while it settles", {{1000, second}, {1300, broken}}, {}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put(path, first);
        ScriptedClock clock;
        std::atomic<bool> stop{false};
        for (const Step& step : c.steps) {
            clock.events.emplace(step.atMs, [&path, content = step.content] {
                if (content.isEmpty())
                    QFile::remove(path);
                else
                    Put(path, content);
            });
        }
        clock.events.emplace(10000, [&stop] { stop = true; });
        cli::FileWatch watch(path, clock, stop, {100, 400});
        int said = 0;
        const std::optional<hexprogram::FileText> next =
            watch.Next(first, [&said](const QString&) { ++said; });
        EXPECT_EQ(said, c.said);
        if (c.taken.isEmpty()) {
            EXPECT_FALSE(next.has_value());
            continue;
        }
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->text, c.taken);
        EXPECT_GE(clock.NowMs(), c.takenAtMs);
        EXPECT_LT(clock.NowMs(), c.takenAtMs + 200);
    }
}

#ifdef Q_OS_UNIX
// The doctor on a tree laid out as sysfs, /dev and /proc lay out a Writer
// held by the serial driver.
TEST(CliDoctor, NamesWhatStandsBetweenTheUserAndTheWriter) {
    struct Case {
        const char* what;
        bool plugged;
        int nodeMode;  // 0: no node
        bool rule;
        bool heldOpen;
        bool opens;
        int exitCode;
        std::vector<const char*> lines;  // each must be in the output
    } const cases[] = {
        {"nothing plugged in",
         false,
         0,
         false,
         false,
         false,
         4,
         {"!! no device with the product string \"Q-LARK USB Programmer\" on the USB bus",
          "!! the udev rule 70-qlark-writer.rules is not installed", "!! no Writer opens"}},
        {"all well",
         true,
         0666,
         true,
         false,
         true,
         0,
         {"ok the Writer is on the USB bus at 3-1", "ok driver ftdi_sio holds it",
          "/ttyUSB0 can be read and written by this user", "ok latency timer 16 ms",
          "ok the udev rule is installed", "ok a Writer opens"}},
        {"node gone", true, 0, true, false, false, 4, {"/ttyUSB0 is not there"}},
        {"held by another program",
         true,
         0666,
         true,
         true,
         false,
         4,
         {"/ttyUSB0 is held open by 4242 (minicom)", "end that program"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        cli::DoctorRoots roots;
        roots.sys = dir.filePath("sys");
        roots.dev = dir.filePath("dev");
        roots.proc = dir.filePath("proc");
        roots.udevRules = {dir.filePath("etc/udev/rules.d")};
        roots.ftdiLibrary = {dir.filePath("none.so")};
        roots.d2xxLibrary = {dir.filePath("none.so")};
        roots.openWriter = [&c] { return c.opens ? QString() : QStringLiteral("refused"); };
        QDir().mkpath(roots.sys + "/bus/usb/devices/usb3");
        QDir().mkpath(roots.dev);
        QDir().mkpath(roots.proc);
        if (c.plugged) {
            const QString device = roots.sys + "/bus/usb/devices/3-1";
            Put(device + "/product", "Q-LARK USB Programmer\n");
            Put(device + "/3-1:1.0/ttyUSB0/latency_timer", "16\n");
            Put(dir.filePath("drivers/ftdi_sio/.keep"), "");
            ASSERT_TRUE(QFile::link(dir.filePath("drivers/ftdi_sio"), device + "/3-1:1.0/driver"));
        }
        const QString node = roots.dev + "/ttyUSB0";
        if (c.nodeMode) {
            Put(node, "");
            ASSERT_EQ(::chmod(QFile::encodeName(node).constData(), c.nodeMode), 0);
        }
        if (c.rule) Put(roots.udevRules.first() + "/70-qlark-writer.rules", "");
        if (c.heldOpen) {
            Put(roots.proc + "/4242/comm", "minicom\n");
            QDir().mkpath(roots.proc + "/4242/fd");
            ASSERT_TRUE(QFile::link(node, roots.proc + "/4242/fd/3"));
        }
        FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        cli::Request request;
        request.command = cli::CommandId::Doctor;
        const int code = cli::RunDoctor(request, {out, out}, roots);
        const QString text = Contents(out);
        std::fclose(out);
        EXPECT_EQ(code, c.exitCode) << text.toStdString();
        for (const char* line : c.lines)
            EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n"
                                                                << text.toStdString();
    }
}

TEST(CliDoctor, ANodeThisUserMayNotOpenNamesItsGroup) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may open every node";
    QTemporaryDir dir;
    cli::DoctorRoots roots;
    roots.sys = dir.filePath("sys");
    roots.dev = dir.filePath("dev");
    roots.proc = dir.filePath("proc");
    roots.udevRules = {};
    roots.openWriter = [] { return QStringLiteral("refused"); };
    Put(roots.sys + "/bus/usb/devices/3-1/product", "Q-LARK USB Programmer\n");
    QDir().mkpath(roots.sys + "/bus/usb/devices/3-1/3-1:1.0/ttyUSB0");
    Put(roots.dev + "/ttyUSB0", "");
    ASSERT_EQ(::chmod(QFile::encodeName(roots.dev + "/ttyUSB0").constData(), 0), 0);
    FILE* out = std::tmpfile();
    cli::Request request;
    EXPECT_EQ(cli::RunDoctor(request, {out, out}, roots), 4);
    const QString text = Contents(out);
    std::fclose(out);
    EXPECT_TRUE(text.contains("cannot be read and written by this user")) << text.toStdString();
    EXPECT_TRUE(text.contains("install the udev rule")) << text.toStdString();
}
#endif
