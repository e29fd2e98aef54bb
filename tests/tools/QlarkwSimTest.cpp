#include <gtest/gtest.h>

#include <QRegularExpression>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include "SimProcess.h"
#include "backends/serial/SerialDevice.h"
#include "link/protocol/SevenBit.h"
#include "sim/ChipStateFile.h"

#include <sys/stat.h>

namespace {

// A client on the simulator's pty: the program's serial backend, opened
// raw at the Writer's settings.
struct Client {
    explicit Client(const QString& path) : device(SerialDevice::Options{path}) {}

    bool Open(uint32_t readTimeoutMs = 5000) {
        if (device.OpenEx("Q-LARK USB Programmer") != FT_OK) return false;
        device.Purge(FT_PURGE_RX | FT_PURGE_TX);
        device.SetTimeouts(readTimeoutMs, 1000);
        return true;
    }
    void Send(std::initializer_list<uint8_t> bytes) {
        const std::vector<uint8_t> data(bytes);
        uint32_t written = 0;
        device.Write(data.data(), static_cast<uint32_t>(data.size()), &written);
    }
    QByteArray Receive(uint32_t count) {
        QByteArray data(static_cast<qsizetype>(count), '\0');
        uint32_t received = 0;
        const FtStatus status =
            device.Read(reinterpret_cast<uint8_t*>(data.data()), count, &received);
        if (status != FT_OK) return QByteArray("<error>");
        data.truncate(received);
        return data;
    }

    SerialDevice device;
};

struct Finished {
    int exitCode;
    QString out;
    QString err;
};

Finished RunToEnd(const QStringList& args, const QStringList& env = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& item : env)
        environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QLARKW_SIM), args);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

}  // namespace

TEST(QlarkwSimCommandLine, HelpTellsThePaceTheFilesAndHowItEnds) {
    const Finished run = RunToEnd({QStringLiteral("--help")});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* needle : {"--pace real|instant", "--idle-exit", "--link", "QLARKW_SIM_STATE",
                               "QLARKW_SIM_TRACE", "QLARKW_SIM_FAULT", "SIGTERM"})
        EXPECT_TRUE(run.out.contains(QLatin1String(needle))) << needle;
}

TEST(QlarkwSimCommandLine, RefusesBadArgumentsAndBadSettings) {
    Finished run = RunToEnd({QStringLiteral("--pace"), QStringLiteral("fast")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--pace takes real or instant")))
        << run.err.toStdString();

    run = RunToEnd({QStringLiteral("--frobnicate")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--frobnicate")));

    run = RunToEnd({}, {QStringLiteral("QLARKW_SIM_FAULT=noboard=7")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("noboard=7"))) << run.err.toStdString();

    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("chip.hex"));
    QFile bad(state);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is no HEX file\n");
    bad.close();
    run = RunToEnd({QStringLiteral("--pace"), QStringLiteral("instant")},
                   {QStringLiteral("QLARKW_SIM_STATE=") + state});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("QLARKW_SIM_STATE"))) << run.err.toStdString();
    // The bad file is left as it was.
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), QByteArray("this is no HEX file\n"));

    // A pipe as the trace or the state is refused at once: nothing waits
    // for a reader that never comes.
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const char* variable : {"QLARKW_SIM_TRACE", "QLARKW_SIM_STATE"}) {
        run = RunToEnd({QStringLiteral("--pace"), QStringLiteral("instant")},
                       {QLatin1String(variable) + u'=' + pipe});
        EXPECT_EQ(run.exitCode, 1) << variable;
        EXPECT_TRUE(run.err.contains(pipe)) << run.err.toStdString();
    }
}

TEST(QlarkwSimCommandLine, NamesTheFirstBadArgumentThenShowsTheUsage) {
    const QString usage = RunToEnd({QStringLiteral("-h")}).out;
    ASSERT_TRUE(usage.startsWith(QStringLiteral("Usage: qlarkw-sim"))) << usage.toStdString();
    struct Case {
        QStringList args;
        const char* message;  // nullptr: the help, exit status 0
    } const cases[] = {
        {{"--pace"}, "--pace takes real or instant"},
        {{"--pace", "real", "--pace", "fast"}, "--pace takes real or instant"},
        {{"--link"}, "--link takes a path"},
        {{"--link", ""}, "--link takes a path"},
        {{"--latency", "256"}, "--latency: \"256\" is not a latency; give whole milliseconds%"},
        {{"--latency", "-1"}, "--latency: \"-1\" is not a latency; give whole milliseconds%"},
        {{"--latency", "1.5"}, "--latency: \"1.5\" is not a latency; give whole milliseconds%"},
        {{"--latency"}, "--latency: \"\" is not a latency; give whole milliseconds%"},
        {{"--idle-exit", "-1"}, "--idle-exit takes a number of seconds"},
        {{"--idle-exit"}, "--idle-exit takes a number of seconds"},
        {{"extra"}, "unknown argument \"extra\""},
        {{"--", "extra"}, "unknown argument \"extra\""},
        {{"--pace=fast"}, "--pace takes real or instant"},
        {{"--count=0", "--pace", "real"}, "--count takes a number from 1 to 64"},
        {{"--help=1"}, "unknown argument \"--help=1\""},
        {{"-pace", "real"}, "unknown argument \"-pace\""},
        {{"--frobnicate", "--help"}, "unknown argument \"--frobnicate\""},
        {{"--pace", "fast", "--help"}, "--pace takes real or instant"},
        {{"--count", "0"}, "--count takes a number from 1 to 64"},
        {{"--count", "65"}, "--count takes a number from 1 to 64"},
        {{"--count", "two"}, "--count takes a number from 1 to 64"},
        {{"--fault", "silent"}, "--fault takes a Writer's number and its faults (2:silent)"},
        {{"--fault", "0:silent"}, "--fault takes a Writer's number and its faults (2:silent)"},
        {{"--fault", "1:"}, "--fault takes a Writer's number and its faults (2:silent)"},
        {{"--count", "2", "--fault", "3:silent"}, "--fault 3: there are only 2 Writers (--count)"},
        {{"--fault", "1:noboard=7"}, "--fault 1:noboard=7: cannot read \"noboard=7\"%"},
        {{"--help", "--pace", "fast"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Finished run = RunToEnd(c.args);
        if (!c.message) {
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.out, usage);
            continue;
        }
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, QString());
        // A message ending in % is the beginning of a parser's own.
        const QString message = QLatin1String(c.message);
        if (message.endsWith(u'%')) {
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("qlarkw-sim: ") + message.chopped(1)))
                << run.err.toStdString();
            continue;
        }
        EXPECT_EQ(run.err, QStringLiteral("qlarkw-sim: ") + message +
                               QStringLiteral("\nTry 'qlarkw-sim --help' for more information.\n"));
    }
    const Finished version = RunToEnd({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^qlarkw-sim \\d+\\.\\d+\\.\\d+\n$"))
                    .match(version.out)
                    .hasMatch())
        << version.out.toStdString();
}

TEST(QlarkwSimSession, AnswersOnItsPtyAndTracesTheSession) {
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant")},
                          {QStringLiteral("QLARKW_SIM_TRACE=") + trace}));
    EXPECT_TRUE(QFileInfo(sim.path()).exists()) << sim.path().toStdString();

    Client client(sim.path());
    ASSERT_TRUE(client.Open());
    client.Send({'A'});
    EXPECT_EQ(client.Receive(1), QByteArray("a"));
    client.Send({'@'});
    EXPECT_EQ(client.Receive(4), QByteArray("108a"));
    EXPECT_EQ(client.device.Close(), FT_OK);
    EXPECT_EQ(sim.Stop(), 0);

    EXPECT_EQ(TraceEvents(trace), (QStringList{"open", "line 4800 8N1 raw none", "w 41", "r 61",
                                               "w 40", "r 31", "r 30", "r 38", "r 61", "close"}));
}

TEST(QlarkwSimSession, ServesOneProgramAfterAnother) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant")}));
    for (int job = 0; job < 3; ++job) {
        Client client(sim.path());
        ASSERT_TRUE(client.Open()) << client.device.LastError().toStdString();
        client.Send({'B'});
        EXPECT_EQ(client.Receive(1), QByteArray("a")) << "job " << job;
        client.device.Close();
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(QlarkwSimSession, KeepsTheChipInTheStateFileAcrossRuns) {
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("chip.hex"));
    const QStringList env{QStringLiteral("QLARKW_SIM_STATE=") + state};
    const auto pair = sevenbit::Encode(0x2A5C);
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant")}, env));
        Client client(sim.path());
        ASSERT_TRUE(client.Open());
        client.Send({'B'});
        ASSERT_EQ(client.Receive(1), QByteArray("a"));
        client.Send({'W'});
        ASSERT_EQ(client.Receive(1), QByteArray("w"));
        client.Send({'D'});
        ASSERT_EQ(client.Receive(1), QByteArray("w"));
        client.Send({pair[0], pair[1]});
        ASSERT_EQ(client.Receive(1), QByteArray("w"));
        client.Send({'E'});
        client.device.Close();
        EXPECT_EQ(sim.Stop(), 0);
    }
    QString error;
    const std::optional<ChipMemory> chip = chipstate::Load(state, &error);
    ASSERT_TRUE(chip) << error.toStdString();
    EXPECT_EQ(chip->program[0], 0x2A5C);
    EXPECT_EQ(chip->program[1], ChipMemory::kBlankWord);

    SimProcess again;
    ASSERT_TRUE(again.Start({QStringLiteral("--pace"), QStringLiteral("instant")}, env));
    Client client(again.path());
    ASSERT_TRUE(client.Open());
    client.Send({'B'});
    ASSERT_EQ(client.Receive(1), QByteArray("a"));
    client.Send({'R'});
    const QByteArray image = client.Receive(1 + 2 * 1032);
    ASSERT_EQ(image.size(), 1 + 2 * 1032);
    EXPECT_EQ(image[0], 'r');
    EXPECT_EQ(sevenbit::Decode(image[1], image[2]), 0x2A5C);
    EXPECT_EQ(sevenbit::Decode(image[3], image[4]), 0x3FFF);
    client.device.Close();
    EXPECT_EQ(again.Stop(), 0);
}

TEST(QlarkwSimSession, ShowsTheFaultsItIsGiven) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant")},
                          {QStringLiteral("QLARKW_SIM_FAULT=noboard=2")}));
    Client client(sim.path());
    ASSERT_TRUE(client.Open());
    client.Send({'B'});
    EXPECT_EQ(client.Receive(1), QByteArray("a"));
    client.Send({'W'});
    EXPECT_EQ(client.Receive(1), QByteArray("?"));
    client.Send({'S', 'A'});  // connector 1 has its board
    EXPECT_EQ(client.Receive(1), QByteArray("a"));
    client.Send({'W'});
    EXPECT_EQ(client.Receive(1), QByteArray("w"));
    client.device.Close();
}

// At real pace each byte spends 10 bit times on the line; lower bounds only,
// since a busy machine can only make it slower.
TEST(QlarkwSimPace, RealPaceSpendsTheLineAndProgrammingTime) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("real")}));
    Client client(sim.path());
    ASSERT_TRUE(client.Open(20000));
    client.Send({'B'});
    ASSERT_EQ(client.Receive(1), QByteArray("a"));

    // 'X' is answered by 'x' and 64 pairs: 129 bytes of 2.083 ms.
    QElapsedTimer timer;
    timer.start();
    client.Send({'X'});
    const QByteArray eeprom = client.Receive(129);
    const qint64 eepromMs = timer.elapsed();
    ASSERT_EQ(eeprom.size(), 129);
    EXPECT_GE(eepromMs, 129 * 2);

    // A word: three bytes in (D, pair), the PIC's 4 ms, then the reply.
    client.Send({'W'});
    ASSERT_EQ(client.Receive(1), QByteArray("w"));
    client.Send({'D'});
    ASSERT_EQ(client.Receive(1), QByteArray("w"));
    timer.restart();
    client.Send({0x80, 0x81});
    ASSERT_EQ(client.Receive(1), QByteArray("w"));
    EXPECT_GE(timer.elapsed(), 2 * 2 + 4 + 2);
    client.Send({'E'});
    client.device.Close();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(QlarkwSimPace, LatencyHoldsEachReplyUntilTheBridgesTimerExpires) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant"),
                           QStringLiteral("--latency"), QStringLiteral("100")}));
    Client client(sim.path());
    ASSERT_TRUE(client.Open(20000));
    client.Send({'S'});
    ASSERT_EQ(client.Receive(1), QByteArray("s"));
    // Each next poll is written just after an expiry: its reply waits for
    // the next one, a whole period later.
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 3; ++i) {
        client.Send({'S'});
        ASSERT_EQ(client.Receive(1), QByteArray("s"));
    }
    EXPECT_GE(timer.elapsed(), 3 * 100 - 10);
    client.device.Close();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(QlarkwSimEnding, IdleExitEndsWhenNoProgramComesBack) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant"),
                           QStringLiteral("--idle-exit"), QStringLiteral("0.3")}));
    {
        Client client(sim.path());
        ASSERT_TRUE(client.Open());
        client.Send({'A'});
        EXPECT_EQ(client.Receive(1), QByteArray("a"));
        client.device.Close();
    }
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(QlarkwSimEnding, LinkPointsAtThePtyUntilTheEnd) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("writer"));
    SimProcess sim;
    ASSERT_TRUE(sim.Start(
        {QStringLiteral("--pace"), QStringLiteral("instant"), QStringLiteral("--link"), link}));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.path());
    Client client(link);
    ASSERT_TRUE(client.Open());
    client.Send({'A'});
    EXPECT_EQ(client.Receive(1), QByteArray("a"));
    client.device.Close();
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

// --count: Writers of their own, each with its pty, link, chip and faults.
TEST(QlarkwSimCount, ServesIndependentWritersWithNumberedFiles) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("w"));
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant"),
                           QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--link"),
                           link, QStringLiteral("--fault"), QStringLiteral("2:noboard=1")},
                          {QStringLiteral("QLARKW_SIM_STATE=") + dir.filePath("chip.hex"),
                           QStringLiteral("QLARKW_SIM_TRACE=") + dir.filePath("trace")},
                          3));
    ASSERT_EQ(sim.paths().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(QFileInfo(link + QStringLiteral("-%1").arg(i + 1)).symLinkTarget(),
                  sim.paths()[i]);
    }
    EXPECT_EQ(QSet<QString>(sim.paths().begin(), sim.paths().end()).size(), 3);
    EXPECT_FALSE(QFileInfo::exists(link));

    // The fault is Writer 2's alone; each answers on its own pty.
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Client client(link + QStringLiteral("-%1").arg(i + 1));
        ASSERT_TRUE(client.Open());
        client.Send({'A'});
        EXPECT_EQ(client.Receive(1), QByteArray("a"));
        client.Send({'W'});
        EXPECT_EQ(client.Receive(1), QByteArray(i == 1 ? "?" : "w"));
        client.Send({'E'});
        client.device.Close();
    }
    EXPECT_EQ(sim.Stop(), 0);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_FALSE(QFileInfo(link + QStringLiteral("-%1").arg(i)).isSymLink());
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("chip-%1.hex").arg(i))));
        EXPECT_EQ(TraceEvents(dir.filePath(QStringLiteral("trace-%1").arg(i))).first(),
                  QStringLiteral("open"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("chip.hex"))));
}
