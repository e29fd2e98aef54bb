#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <ostream>
#include <vector>

#include "shared/Clock.h"
#include "shared/Host.h"

// A Host for tests: runs on a virtual clock, records every call and answers
// questions from queues the test fills.
class TestHost final : public Host {
  public:
    struct Message {
        QString text;
        QString caption;
        MsgIcon icon;
        MsgButtons buttons;
        int64_t atMs;
    };

    explicit TestHost(VirtualClock& clock) : clock_(clock) {}

    void Sleep(int ms) override {
        sleeps.push_back(ms);
        clock_.SleepMs(ms);
    }
    void ProcessEvents() override { ++processEventsCount; }
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        messages.push_back({text, caption, icon, buttons, clock_.NowMs()});
        if (!answers.empty()) {
            const MsgAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    std::optional<QString> AskSaveFileName(const QString& proposedPath) override {
        saveProposals << proposedPath;
        return saveAnswer;
    }

    std::vector<int> sleeps;
    int processEventsCount = 0;
    std::vector<Message> messages;
    std::deque<MsgAnswer> answers;
    std::optional<QString> saveAnswer;  // nothing = the user cancels
    QStringList saveProposals;

  private:
    VirtualClock& clock_;
};

// A progress view that remembers what it was told.
class RecordingView final : public ProgressView {
  public:
    void SetStatusText(const QString& text) override { texts << text; }
    void SetProgress(int done, int total) override {
        lastDone = done;
        lastTotal = total;
    }
    QStringList texts;
    int lastDone = -1;
    int lastTotal = -1;
};

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
