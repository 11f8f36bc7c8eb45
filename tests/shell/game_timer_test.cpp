#include "shell/clock.h"
#include "shell/game_timer.h"

#include <gtest/gtest.h>

namespace kq::shell {
namespace {

constexpr uint64_t kMs = 1'000'000;

int DrainSteps(GameTimer& timer) {
    int n = 0;
    while (timer.TakeStep()) {
        ++n;
    }
    return n;
}

struct TimerTest : ::testing::Test {
    SteppedClock clock;
    GameTimer timer{clock};
    void SetUp() override {
        timer.SetEnabled(true);
        timer.Reset();
    }
};

TEST_F(TimerTest, AFrameComesNoSoonerThanOneThirtiethOfASecond) {
    const uint64_t before = clock.NowNs();
    ASSERT_TRUE(timer.Idle());
    EXPECT_EQ(clock.NowNs() - before, GameTimer::kFramePeriodNs);
    EXPECT_EQ(DrainSteps(timer), 1);
    // A pass that comes late does not sleep.
    clock.Advance(50 * kMs);
    const uint64_t late = clock.NowNs();
    ASSERT_TRUE(timer.Idle());
    EXPECT_EQ(clock.NowNs(), late);
}

TEST_F(TimerTest, SteppedClockGivesExactlyOneStepPerFrame) {
    int steps = 0;
    for (int frame = 0; frame < 300; ++frame) {
        ASSERT_TRUE(timer.Idle());
        const int n = DrainSteps(timer);
        ASSERT_EQ(n, 1) << "frame " << frame;
        steps += n;
    }
    EXPECT_EQ(steps, 300);
}

TEST_F(TimerTest, FractionsOfAStepAreKeptForLaterPasses) {
    clock.Advance(50 * kMs); // 1.5 steps
    timer.Idle();
    EXPECT_EQ(DrainSteps(timer), 1);
    EXPECT_EQ(timer.Accumulator(), GameTimer::kOneStep / 2);
    clock.Advance(50 * kMs); // another 1.5: 2 whole steps now
    timer.Idle();
    EXPECT_EQ(DrainSteps(timer), 2);
    EXPECT_LT(timer.Accumulator(), GameTimer::kOneStep / 1000);
}

TEST_F(TimerTest, CatchUpIsLimitedTo32StepsPerPass) {
    clock.Advance(10'000 * kMs); // 300 steps late
    timer.Idle();
    EXPECT_EQ(timer.PendingSteps(), 32);
    EXPECT_EQ(DrainSteps(timer), 32);
    // The rest is gone, not spread over the next passes.
    timer.Idle();
    EXPECT_EQ(DrainSteps(timer), 1);
}

TEST_F(TimerTest, ResetDiscardsElapsedAndAccumulatedTime) {
    clock.Advance(40 * kMs);
    timer.Idle(); // 1.2 steps credited
    clock.Advance(5'000 * kMs);
    timer.Reset();
    EXPECT_EQ(timer.Accumulator(), 0u);
    EXPECT_FALSE(timer.TakeStep());
    timer.Idle();
    EXPECT_EQ(DrainSteps(timer), 1);
}

TEST_F(TimerTest, DisabledTimerSleepsAndGivesNoFrame) {
    timer.SetEnabled(false);
    const uint64_t before = clock.NowNs();
    EXPECT_FALSE(timer.Idle());
    EXPECT_EQ(clock.NowNs() - before, GameTimer::kDisabledSleepNs);
    EXPECT_FALSE(timer.TakeStep());
}

} // namespace
} // namespace kq::shell
