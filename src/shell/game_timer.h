// GameTimer: the fixed-rate timer that drives the game.
//
// Logic runs at 30 processing steps per second, decoupled from drawing, which is capped at 30
// frames per second. Each idle pass of the loop measures the time since the previous pass
// (sleeping first when a frame would come too early), credits it to an accumulator counted in
// processing steps in 20-bit fixed point, at most 32 steps per pass, and then the loop draws a
// frame and takes the whole steps out of the accumulator (the fraction stays). Reset restarts
// the measurement and drops everything accumulated, so loading pauses and inactive periods
// never turn into a burst of catch-up steps.
#pragma once

#include "shell/clock.h"

#include <cstdint>

namespace kq::shell {

class GameTimer {
public:
    static constexpr int kStepsPerSecond = 30;
    static constexpr int kMaxFramesPerSecond = 30;
    static constexpr int kMaxStepsPerPass = 32;
    static constexpr int kFractionBits = 20;
    static constexpr uint64_t kOneStep = uint64_t{1} << kFractionBits;
    // Shortest time between two frames, rounded up to a whole nanosecond.
    static constexpr uint64_t kFramePeriodNs =
        (1'000'000'000ull + kMaxFramesPerSecond - 1) / kMaxFramesPerSecond;
    // Sleep of a pass while the timer is disabled.
    static constexpr uint64_t kDisabledSleepNs = 5'000'000;

    // The clock must outlive the timer. The timer starts disabled.
    explicit GameTimer(Clock& clock);

    bool Enabled() const { return enabled_; }
    // Enabling does not reset: callers that resume after a pause call Reset as well.
    void SetEnabled(bool on) { enabled_ = on; }
    // Restarts the time measurement now and drops the accumulated steps (and fraction).
    void Reset();

    // One idle pass. Disabled: sleeps 5 ms and answers false (no frame). Enabled: sleeps
    // until at least one frame period has passed since the previous pass, credits the elapsed
    // time (at most kMaxStepsPerPass steps) and answers true: a frame is due.
    bool Idle();
    // Takes one whole step out of the accumulator; false when less than one is left.
    bool TakeStep();
    // Whole steps in the accumulator.
    int PendingSteps() const { return static_cast<int>(accumulator_ >> kFractionBits); }
    // Accumulator in 1/2^20 steps (for tests).
    uint64_t Accumulator() const { return accumulator_; }

private:
    Clock& clock_;
    bool enabled_ = false;
    uint64_t last_ = 0;
    uint64_t accumulator_ = 0;
};

} // namespace kq::shell
