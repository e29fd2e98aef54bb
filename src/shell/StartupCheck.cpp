#include "shell/StartupCheck.h"

#include "link/WriterLink.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"

using texts::Text;

namespace {

void ShowCheckFailed(Host& host) {
    host.MessageBox(Text(texts::kWriterCheckFailed), Text(texts::kAppTitle), MsgIcon::Critical);
}

}  // namespace

StartupCheckResult StartupWriterCheck(Device& device, Host& host, AppState& state,
                                      StartupCheckView& view) {
    view.PrepareCheck(Text(texts::kCheckingWriter));
    state.StartupWaitActive = true;
    view.StartTimer();
    if (OpenWriter(device, host, state)) {
        state.StartupCheckState = startupcheck::kNotOpened;
        view.StopTimer();
        view.UnloadCheck();
        return StartupCheckResult::NotOpened;
    }
    view.ShowCheck();
    LinkExchange link(device);

    // Events run between the steps; the user may close the dialog there.
    auto abandoned = [&view, &host]() {
        host.ProcessEvents();
        return view.Abandoned();
    };
    // After an unsuccessful poll: events twice, Timer1 may end the wait
    // after the first.
    bool timedOut = false;
    auto afterFailedPoll = [&]() {
        if (abandoned()) return true;
        view.TickTimer();
        if (!state.StartupWaitActive) {
            timedOut = true;
            return true;
        }
        return abandoned();
    };
    auto leave = [&]() {
        device.Close();
        return StartupCheckResult::Abandoned;
    };

    bool answered = false;
    while (!answered) {
        if (abandoned()) return leave();
        link.Send(cmd::kPoll);
        host.Sleep(pauses::kStartupPollMs);
        if (abandoned()) return leave();
        const LinkExchange::Reply reply = link.Read();
        if (reply.ok() && reply.byte == cmd::kPollAck) {
            answered = true;
            break;
        }
        if (!reply.ok()) ShowCheckFailed(host);
        if (afterFailedPoll()) break;
    }
    if (view.Abandoned()) return leave();

    if (answered) {
        host.Sleep(pauses::kBetweenPollsMs);
        answered = false;
        while (!answered) {
            link.Send(cmd::kPoll);
            const LinkExchange::Reply reply = link.Read();
            if (reply.ok() && reply.byte == cmd::kPollAck) {
                answered = true;
                if (link.Send(cmd::kCancel) != FT_OK) ShowCheckFailed(host);
                break;
            }
            if (!reply.ok()) {
                ShowCheckFailed(host);
                // A driver error comes back at once, and this poll has no
                // pause of its own: an unplugged Writer is asked again at
                // the first poll's pace, so that the wait still passes and
                // Timer1 can end it.
                host.Sleep(pauses::kStartupPollMs);
            }
            if (afterFailedPoll()) break;
        }
        if (view.Abandoned()) return leave();
    }

    state.StartupCheckState = startupcheck::kDone;
    view.StopTimer();
    if (timedOut) ShowCheckFailed(host);
    if (device.Close() != FT_OK) ShowCheckFailed(host);
    view.UnloadCheck();
    return timedOut ? StartupCheckResult::TimedOut : StartupCheckResult::Answered;
}
