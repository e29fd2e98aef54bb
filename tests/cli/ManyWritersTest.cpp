#include <gtest/gtest.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>

#include "cli/CliApp.h"
#include "cli/ManyWriters.h"

// The pieces of a run over several Writers: the exit code rule, the
// threads, the progress lines and the closing table.

namespace {

QString Contents(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[1024];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    return QString::fromUtf8(bytes);
}

}  // namespace

TEST(ManyWriters, TheWorstFailureIsTheHighestExitCode) {
    using namespace cli;
    struct Case {
        std::vector<int> codes;
        int exit;
    } const cases[] = {
        {{kSuccess, kSuccess, kSuccess}, kSuccess},
        {{}, kSuccess},
        {{kSuccess, kLinkFailure, kSuccess}, kLinkFailure},
        {{kLinkFailure, kNoBoard, kFileError}, kNoBoard},
        {{kVerifyMismatch, kLinkFailure}, kVerifyMismatch},
        {{kFileError, kSuccess}, kFileError},
        {{kUsageError, kSuccess}, kUsageError},
    };
    for (const Case& c : cases) EXPECT_EQ(WorstExit(c.codes), c.exit);
}

TEST(ManyWriters, EveryWriterRunsAtOnceWithoutALimit) {
    constexpr int kWriters = 5;
    std::mutex mutex;
    std::condition_variable changed;
    int active = 0;
    const std::vector<cli::WriterOutcome> outcomes = cli::RunEach(kWriters, 0, [&](int index) {
        std::unique_lock lock(mutex);
        ++active;
        changed.notify_all();
        // Each job ends only once all of them have started: with fewer
        // threads than Writers this would time out.
        const bool together =
            changed.wait_for(lock, std::chrono::seconds(60), [&] { return active == kWriters; });
        cli::WriterOutcome outcome;
        outcome.exitCode = together ? index : -1;
        return outcome;
    });
    ASSERT_EQ(outcomes.size(), static_cast<size_t>(kWriters));
    for (int i = 0; i < kWriters; ++i) EXPECT_EQ(outcomes[i].exitCode, i);
}

TEST(ManyWriters, JobsLimitsHowManyRunAtOnce) {
    std::atomic<int> active{0};
    std::atomic<int> most{0};
    std::atomic<int> runs{0};
    const std::vector<cli::WriterOutcome> outcomes = cli::RunEach(7, 2, [&](int index) {
        const int now = ++active;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        ++runs;
        cli::WriterOutcome outcome;
        outcome.exitCode = index * 10;
        --active;
        return outcome;
    });
    EXPECT_LE(most.load(), 2);
    EXPECT_EQ(runs.load(), 7);
    ASSERT_EQ(outcomes.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(outcomes[i].exitCode, i * 10);
}

TEST(ManyWriters, AJobThatThrowsFailsItsOwnWriterAndTheOthersFinish) {
    std::vector<int> ended(3, -1);
    const std::vector<cli::WriterOutcome> outcomes = cli::RunEach(
        3, 0,
        [](int index) {
            if (index == 1) throw std::runtime_error("no memory for the plan");
            return cli::WriterOutcome{};
        },
        [&ended](int index, const cli::WriterOutcome& outcome) {
            ended[index] = outcome.exitCode;
        });
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].exitCode, cli::kSuccess);
    EXPECT_EQ(outcomes[2].exitCode, cli::kSuccess);
    EXPECT_EQ(outcomes[1].exitCode, cli::kLinkFailure);
    EXPECT_TRUE(outcomes[1].message.endsWith(QStringLiteral(": no memory for the plan")))
        << outcomes[1].message.toStdString();
    EXPECT_EQ(outcomes[1].transcript, outcomes[1].message + u'\n');
    EXPECT_EQ(ended, (std::vector<int>{cli::kSuccess, cli::kLinkFailure, cli::kSuccess}));
}

TEST(ManyWriters, PlainProgressLinesComeAtEachPartQuarterAndEnd) {
    FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        cli::ProgressBoard board(err, {QStringLiteral("w-1"), QStringLiteral("writer-2")}, false);
        cli::LineProgress& one = board.Line(0);
        one.SetPhase(QStringLiteral("write"));
        for (int done = 0; done <= 8; ++done) one.SetProgress(done, 8);
        one.SetPhase(QStringLiteral("verify"));
        board.Line(1).SetPhase(QStringLiteral("write"));
        board.Finish(1, cli::kNoBoard);
        board.Finish(0, cli::kSuccess);
        board.Close();
        one.SetProgress(1, 2);  // after the end: nothing
    }
    EXPECT_EQ(Contents(err).toStdString(), QStringLiteral("w-1       write\n"
                                                          "w-1       write         25%\n"
                                                          "w-1       write         50%\n"
                                                          "w-1       write         75%\n"
                                                          "w-1       write        100%\n"
                                                          "w-1       verify\n"
                                                          "writer-2  write\n"
                                                          "writer-2  no board (5)\n"
                                                          "w-1       done\n")
                                               .toStdString());
    std::fclose(err);
}

TEST(ManyWriters, OnATerminalTheBlockIsRedrawnInPlace) {
    FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        cli::ProgressBoard board(err, {QStringLiteral("a"), QStringLiteral("b")}, true);
        board.Line(1).SetPhase(QStringLiteral("erase"));
    }
    const QString up = QStringLiteral("\033[2A");
    const QString clear = QStringLiteral("\r\033[K");
    EXPECT_EQ(Contents(err), clear + "a  waiting\n" + clear + "b  waiting\n" + up + clear +
                                 "a  waiting\n" + clear + "b  erase\n");
    std::fclose(err);
}

TEST(ManyWriters, TheTableHasAnOutcomeTimeAndMessagePerWriter) {
    std::vector<cli::WriterOutcome> outcomes(3);
    outcomes[0].message = QStringLiteral("verify: 1024 words and the configuration bits match");
    outcomes[0].elapsedMs = 61234;
    outcomes[1].exitCode = cli::kLinkFailure;
    outcomes[1].message = QStringLiteral("エラーが発生しました: ライタとの通信に失敗しました。");
    outcomes[1].elapsedMs = 32950;
    outcomes[2].exitCode = cli::kVerifyMismatch;
    outcomes[2].message = QStringLiteral("verify: 3 difference(s)");
    outcomes[2].elapsedMs = 400;
    EXPECT_EQ(cli::OutcomeTable({"QL000001", "/tmp/w-2", "sim"}, outcomes),
              QStringLiteral("ID        OUTCOME                 TIME  MESSAGE\n"
                             "QL000001  ok                    61.2 s  verify: 1024 words and the "
                             "configuration bits match\n"
                             "/tmp/w-2  link failure (4)      33.0 s  エラーが発生しました: "
                             "ライタとの通信に失敗しました。\n"
                             "sim       verify mismatch (6)    0.4 s  verify: 3 difference(s)\n"
                             "1 of 3 Writer(s) succeeded\n"));
}
