#include "shared/ClockTimer.h"

#include "shared/Clock.h"

void ClockTimer::start() {
    active_ = true;
    startedAt_ = clock_.NowMs();
}

void ClockTimer::Poll() {
    if (!active_ || interval_ <= 0) return;
    if (clock_.NowMs() - startedAt_ < interval_) return;
    active_ = false;
    Q_EMIT timeout();
}
