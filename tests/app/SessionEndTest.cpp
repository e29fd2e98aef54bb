#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <csignal>
#include <vector>

#include "app/SessionEnd.h"

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// Runs the event loop until `done` or five seconds have passed.
template <typename Done>
void ProcessEventsUntil(Done done) {
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents();
}

bool HasDefaultAction(int signal) {
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler == SIG_DFL;
}

}  // namespace

TEST(SessionEnd, EachSignalReachesTheEventLoopInOrderAndTheDefaultsComeBack) {
    // Twice: a second SessionEnd after the first works as well.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::vector<int> received;
        {
            SessionEnd end([&received](int signal) { received.push_back(signal); });
            for (const int signal : kSignals) {
                EXPECT_FALSE(HasDefaultAction(signal)) << signal;
                ::raise(signal);  // the process goes on: the signal is caught
            }
            EXPECT_TRUE(received.empty());  // nothing runs inside the handler
            ProcessEventsUntil([&received]() { return received.size() == 3; });
        }
        EXPECT_EQ(received, std::vector<int>(std::begin(kSignals), std::end(kSignals)));
        for (const int signal : kSignals) EXPECT_TRUE(HasDefaultAction(signal)) << signal;
    }
}

TEST(SessionEndDeathTest, EndAsDefaultEndsByTheSignal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SessionEnd end([](int) {});
    EXPECT_EXIT(SessionEnd::EndAsDefault(SIGTERM), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(SessionEnd::EndAsDefault(SIGHUP), ::testing::KilledBySignal(SIGHUP), "");
}
