// Clocks for the game timer: the real monotonic clock of interactive runs and a stepped clock
// whose time moves only when the loop sleeps, so a headless run of N processing steps is the
// same on every machine and every run.
#pragma once

#include <cstdint>

namespace kq::shell {

// Time in nanoseconds from an arbitrary origin; never goes backwards.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t NowNs() = 0;
    // Waits about ns nanoseconds (a stepped clock simply moves its time on by exactly ns).
    virtual void SleepNs(uint64_t ns) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for.
class RealClock final : public Clock {
public:
    uint64_t NowNs() override;
    void SleepNs(uint64_t ns) override;
};

// Time stands still until SleepNs or Advance moves it.
class SteppedClock final : public Clock {
public:
    uint64_t NowNs() override { return now_; }
    void SleepNs(uint64_t ns) override { now_ += ns; }
    void Advance(uint64_t ns) { now_ += ns; }

private:
    uint64_t now_ = 0;
};

} // namespace kq::shell
