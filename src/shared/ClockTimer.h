#pragma once

#include <QObject>

class Clock;

// A one-shot window timer measured on the program's Clock: it ticks at the
// first Poll() after its interval has passed since start(), then stops. The
// desktop program runs it on the steady clock; tests on the virtual one, so a
// 15 s time-out passes without waiting. An interval of 0 never ticks.
class ClockTimer final : public QObject {
    Q_OBJECT
  public:
    explicit ClockTimer(Clock& clock, QObject* parent = nullptr) : QObject(parent), clock_(clock) {}

    void setInterval(int ms) { interval_ = ms; }
    void start();
    void stop() { active_ = false; }
    bool isActive() const { return active_; }

    // Emits timeout() once when the interval has passed.
    void Poll();

  Q_SIGNALS:
    void timeout();

  private:
    Clock& clock_;
    int interval_ = 0;
    bool active_ = false;
    int64_t startedAt_ = 0;
};
