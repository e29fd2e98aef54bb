#pragma once

#include <cstdint>

// Time as the link sees it. The programs run on the steady clock; tests run
// on a virtual clock, so a silent Writer's time-outs pass in no time while
// the elapsed milliseconds still add up as on real hardware.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t NowMs() const = 0;
    virtual void SleepMs(int64_t ms) = 0;
};

class SteadyClock final : public Clock {
  public:
    int64_t NowMs() const override;
    void SleepMs(int64_t ms) override;
};

class VirtualClock final : public Clock {
  public:
    int64_t NowMs() const override { return now_; }
    void SleepMs(int64_t ms) override {
        if (ms > 0) now_ += ms;
    }

  private:
    int64_t now_ = 0;
};
