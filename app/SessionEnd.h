#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP as calls on Qt's event loop (POSIX): a session
// that ends, `kill`, `timeout` or Ctrl+C then close the desktop program the
// way its Exit button does, and its settings are stored. The signal handler
// only writes the signal's number into a socket pair; `onSignal` runs later,
// in the event loop, with that number.
//
// One SessionEnd exists at a time. Its destructor gives the signals their
// default actions back.
class SessionEnd final : public QObject {
  public:
    explicit SessionEnd(std::function<void(int signal)> onSignal);
    ~SessionEnd() override;

    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    // Ends the program as the signal's default action does, as if no
    // SessionEnd had been there.
    [[noreturn]] static void EndAsDefault(int signal);

  private:
    void Deliver();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};
