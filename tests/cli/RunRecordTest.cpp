#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/RunLog.h"
#include "cli/SerialNumbers.h"

// What a run keeps beyond its chips: the serial numbers it hands out and the
// lines of its log.

using namespace cli;

TEST(RunLog, QuotesAsRfc4180Says) {
    struct Case {
        QString field;
        QString written;
    } const cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {" padded", "\" padded\""},
        {QStringLiteral("書込みが終了しました"), QStringLiteral("書込みが終了しました")},
    };
    for (const Case& c : cases) EXPECT_EQ(CsvField(c.field), c.written) << c.field.toStdString();

    RunFacts facts;
    facts.started = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 1), QTimeZone(3600));
    facts.writer = "w-1";
    facts.command = "write";
    facts.file = "a,b.hex";
    facts.sha256 = "ab";
    facts.serial = 100;
    facts.outcome = OutcomeWord(kSuccess);
    facts.seconds = 12.34;
    facts.message = "verify: \"ok\"";
    EXPECT_EQ(CsvLine(facts),
              "2026-12-07T09:05:01+01:00,w-1,write,\"a,b.hex\",ab,100,ok,0,12.3,"
              "\"verify: \"\"ok\"\"\"\r\n");
}

// Lines appended from many threads at once come out whole, one each.
TEST(RunLog, LinesFromThreadsAtOnceNeverMix) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    constexpr int kThreads = 8, kLines = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&path, t] {
            RunFacts facts;
            facts.writer = QStringLiteral("w-%1").arg(t);
            facts.message = QString(500, QChar(u'a' + t));  // long enough to be split if it could
            for (int i = 0; i < kLines; ++i) EXPECT_TRUE(AppendToLog(path, facts, nullptr));
        });
    }
    for (std::thread& thread : threads) thread.join();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), kThreads * kLines + 1);  // the last line end leaves one empty piece
    for (int i = 0; i < kThreads * kLines; ++i) {
        const QByteArray& line = lines[i];
        const char mark = line.at(line.size() - 2);
        EXPECT_EQ(line.count(mark), 500) << line.constData();
        EXPECT_TRUE(line.startsWith(",w-")) << line.constData();
    }
}

TEST(SerialNumbers, TheFileKeepsNextAndReturned) {
    struct Case {
        QByteArray text;
        std::optional<SerialState> state;
    } const cases[] = {
        {"next=102\n", SerialState{102, {}}},
        {"next=102\nreturned=104,100\n", SerialState{102, {100, 104}}},
        {" next = 7 \r\n", SerialState{7, {}}},
        {"returned=1\n", std::nullopt},
        {"next=x\n", std::nullopt},
        {"next=1\nother=2\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseSerialState(c.text), c.state) << c.text.constData();
        if (c.state) {
            EXPECT_EQ(ParseSerialState(FormatSerialState(*c.state)), c.state);
        }
    }
}

// Threads of two runs on one file, and the threads of a run without one:
// every number once, none lost, a number given back handed out again.
TEST(SerialNumbers, NoNumberTwiceUnderThreads) {
    QTemporaryDir dir;
    const QString file = dir.filePath("class.serial");
    struct Case {
        const char* what;
        QString file;
        int runs;
    } const cases[] = {{"in memory", QString(), 1}, {"two runs on one file", file, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        constexpr int kThreads = 4, kTakes = 25;
        std::vector<std::unique_ptr<SerialNumbers>> runs;
        for (int r = 0; r < c.runs; ++r)
            runs.push_back(std::make_unique<SerialNumbers>(100, 2, 0xFFFF, c.file));
        std::mutex mutex;
        std::multiset<uint64_t> kept;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads * c.runs; ++t) {
            threads.emplace_back([&, t] {
                SerialNumbers& numbers = *runs[t % c.runs];
                for (int i = 0; i < kTakes; ++i) {
                    const std::optional<uint64_t> n = numbers.Take(nullptr);
                    ASSERT_TRUE(n);
                    // Every third chip fails and gives its number back.
                    if (i % 3 == 1) {
                        EXPECT_TRUE(numbers.GiveBack(*n, nullptr));
                        continue;
                    }
                    std::lock_guard lock(mutex);
                    kept.insert(*n);
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        const std::set<uint64_t> distinct(kept.begin(), kept.end());
        EXPECT_EQ(distinct.size(), kept.size());
        EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * c.runs * (kTakes - kTakes / 3)));
        if (c.file.isEmpty()) continue;
        // From 100 in steps of 2 without a gap: every number is on a chip or
        // given back in the file.
        QFile state(c.file);
        ASSERT_TRUE(state.open(QIODevice::ReadOnly));
        const std::optional<SerialState> left = ParseSerialState(state.readAll());
        ASSERT_TRUE(left);
        std::set<uint64_t> all(distinct);
        all.insert(left->returned.begin(), left->returned.end());
        std::set<uint64_t> expected;
        for (uint64_t n = 100; n < left->next; n += 2) expected.insert(n);
        EXPECT_EQ(all, expected);
        EXPECT_EQ(*distinct.begin(), 100u);
    }
}

TEST(SerialNumbers, UsedUpNumbersAndABadFileAreRefused) {
    SerialNumbers small(254, 1, 0xFF, QString());
    EXPECT_EQ(small.Take(nullptr), 254u);
    EXPECT_EQ(small.Take(nullptr), 255u);
    QString why;
    EXPECT_FALSE(small.Take(&why));
    EXPECT_TRUE(why.contains("used up")) << why.toStdString();
    EXPECT_TRUE(small.GiveBack(255, nullptr));
    EXPECT_EQ(small.Take(nullptr), 255u);

    QTemporaryDir dir;
    const QString path = dir.filePath("bad.serial");
    QFile bad(path);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("hello\n");
    bad.close();
    SerialNumbers numbers(1, 1, 0xFF, path);
    EXPECT_FALSE(numbers.Take(&why));
    EXPECT_TRUE(why.contains(path)) << why.toStdString();
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), "hello\n");  // left as it was
}
