#include "shell/game_timer.h"

#include <algorithm>

namespace kq::shell {

GameTimer::GameTimer(Clock& clock) : clock_(clock), last_(clock.NowNs()) {}

void GameTimer::Reset() {
    last_ = clock_.NowNs();
    accumulator_ = 0;
}

bool GameTimer::Idle() {
    if (!enabled_) {
        clock_.SleepNs(kDisabledSleepNs);
        return false;
    }
    uint64_t now = clock_.NowNs();
    uint64_t elapsed = now - last_;
    if (elapsed < kFramePeriodNs) {
        clock_.SleepNs(kFramePeriodNs - elapsed);
        now = clock_.NowNs();
        elapsed = now - last_;
    }
    last_ = now;
    // elapsed * 30 steps/s in 20-bit fixed point; elapsed is capped first so that a long stall
    // (hours) cannot overflow the product.
    constexpr uint64_t kCapNs = 2'000'000'000ull;
    const uint64_t credited =
        std::min(elapsed, kCapNs) * kStepsPerSecond * kOneStep / 1'000'000'000ull;
    accumulator_ += std::min<uint64_t>(credited, kMaxStepsPerPass * kOneStep);
    return true;
}

bool GameTimer::TakeStep() {
    if (accumulator_ < kOneStep) {
        return false;
    }
    accumulator_ -= kOneStep;
    return true;
}

} // namespace kq::shell
