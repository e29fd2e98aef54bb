#pragma once

#include <QObject>

#include "shared/AppState.h"
#include "shared/ClockTimer.h"
#include "shell/StartupCheck.h"

// The start-up check's dialog and Timer1 with nobody at the screen: Timer1
// gives up after 15 s on the given clock, and the dialog is never closed.
class UnattendedCheckView final : public StartupCheckView {
  public:
    UnattendedCheckView(Clock& clock, AppState& state) : timer_(clock) {
        timer_.setInterval(15000);
        QObject::connect(&timer_, &ClockTimer::timeout, [this, &state]() {
            timer_.stop();
            state.StartupWaitActive = false;
        });
    }
    void PrepareCheck(const QString&) override {}
    void ShowCheck() override {}
    void UnloadCheck() override {}
    void StartTimer() override { timer_.start(); }
    void TickTimer() override { timer_.Poll(); }
    void StopTimer() override { timer_.stop(); }
    bool Abandoned() const override { return false; }

  private:
    ClockTimer timer_;
};
