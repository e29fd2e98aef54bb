#pragma once

#include <QElapsedTimer>
#include <QObject>

// For the benchmark (bench/run.sh): with QLARKW_STARTUP_PROBE set, the
// program tells on stderr, at the first paint of any of its windows,
//   qlarkw: first paint N ms after main, peak memory M kB
// and, when the variable is "exit", ends there at once (nothing stored).
class StartupProbe final : public QObject {
  public:
    static constexpr char kEnv[] = "QLARKW_STARTUP_PROBE";

    // Starts the clock: the first thing main() does.
    StartupProbe();
    // Watches the application's windows when the variable is set.
    void Install();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QElapsedTimer sinceMain_;
    bool exitAfter_ = false;
    bool seen_ = false;
};
