#include "shell/clock.h"

#include <chrono>
#include <thread>

namespace kq::shell {

uint64_t RealClock::NowNs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

void RealClock::SleepNs(uint64_t ns) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

} // namespace kq::shell
