#include "media/particle_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace kq::media;

constexpr float kStep = 1.0f / 30.0f;

// A block with no randomness left in it: every A/B pair equal, no variations, one pattern.
ParticleParams Plain() {
    ParticleParams p;
    p.blend = 0x504;
    p.rate = 30; // one particle per 1/30 step
    p.duration = 1000;
    p.lifeMin = p.lifeMax = 100;
    p.sizeStart = p.sizeMiddle = p.sizeEnd = 1;
    p.colorStart = p.colorMiddle = p.colorEnd = 0xFFFFFFFFu;
    p.middleFraction = 0.5f;
    p.firstPattern = 0;
    p.lastPattern = -1;
    return p;
}

ParticleSystem Make(const ParticleParams& params, int32_t capacity = 5000) {
    ParticleSystem system(capacity);
    system.SetParams(params);
    system.SetRandom([] { return 0.5f; });
    return system;
}

// Starts the system and runs one step that spawns exactly one particle (rate 30, dt 1/30).
ParticleSystem OneParticle(ParticleParams params) {
    params.rate = 30;
    ParticleSystem system = Make(params);
    system.Start();
    system.Update(kStep);
    system.Stop(false);
    EXPECT_EQ(system.LiveCount(), 1);
    return system;
}

struct Collect : ParticleQuadSink {
    std::vector<ParticleQuad> quads;
    void Add(const ParticleQuad& quad) override { quads.push_back(quad); }
};

std::vector<ParticleQuad> DrawAll(const ParticleSystem& system, ParticleArea area = {}) {
    if (area.patternWidth == 0) {
        area.patternWidth = area.patternHeight = 16;
    }
    Collect sink;
    system.Draw(area, sink);
    return sink.quads;
}

TEST(ParticleParams, BlockRoundTripAndNonFiniteFloatsReadAsZero) {
    ParticleParams p = Plain();
    p.firstPattern = -3;
    p.lastPattern = 7;
    p.unused = 0xDEADBEEF;
    p.colorMiddle = 0x80112233;
    p.middleFraction = 0.25f;
    p.newestFirst = 1;
    ParticleBlock block = EncodeParticleParams(p);
    EXPECT_EQ(ParticleWord(block, 0), 0xFFFFFFFDu);
    EXPECT_EQ(block[8], 0xEF); // little-endian
    EXPECT_EQ(ParticleWord(block, 28), 0x80112233u);
    EXPECT_EQ(std::bit_cast<float>(ParticleWord(block, 32)), 0.25f);
    const ParticleParams back = DecodeParticleParams(block);
    EXPECT_EQ(back.firstPattern, -3);
    EXPECT_EQ(back.unused, 0xDEADBEEFu);
    EXPECT_EQ(back.colorMiddle, 0x80112233u);
    EXPECT_EQ(back.middleFraction, 0.25f);
    EXPECT_EQ(back.newestFirst, 1);

    SetParticleWord(block, 4, std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN()));
    SetParticleWord(block, 19, std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity()));
    SetParticleWord(block, 21, std::bit_cast<uint32_t>(-std::numeric_limits<float>::infinity()));
    const ParticleParams bad = DecodeParticleParams(block);
    EXPECT_EQ(bad.rate, 0);
    EXPECT_EQ(bad.sizeStart, 0);
    EXPECT_EQ(bad.sizeEnd, 0);
    EXPECT_EQ(bad.duration, 1000); // its neighbours are untouched

    EXPECT_EQ(ParticleFields().size(), 34u);
    EXPECT_EQ(ParticleFieldIndex("blend"), 3);
    EXPECT_EQ(ParticleFieldIndex("newest_first"), 33);
    EXPECT_EQ(ParticleFieldIndex("Blend"), -1);
}

TEST(ParticleParams, MissingShortAndLongFiles) {
    kq::test::TempDir dir;
    ParticleSystem system(10);
    EXPECT_FALSE(system.LoadFromFile(dir.Path() / "none.bin"));
    EXPECT_EQ(system.Block(), ParticleBlock{});
    system.Start(); // all zero: duration 0, nothing is emitted
    system.Update(kStep);
    EXPECT_FALSE(system.Emitting());
    EXPECT_EQ(system.LiveCount(), 0);

    const ParticleBlock full = EncodeParticleParams(Plain());
    const std::string bytes(reinterpret_cast<const char*>(full.data()), full.size());
    ASSERT_TRUE(system.LoadFromFile(dir.Write("full.bin", bytes + "trailing bytes")));
    EXPECT_EQ(system.Block(), full);
    EXPECT_EQ(system.Params().duration, 1000);

    // A short file overwrites only what it has: the first two fields; the rest stays.
    const std::string shortFile = kq::test::Bytes().I32(5).I32(9).U8(0x77).Data();
    ASSERT_TRUE(system.LoadFromFile(dir.Write("short.bin", shortFile)));
    EXPECT_EQ(system.Params().firstPattern, 5);
    EXPECT_EQ(system.Params().lastPattern, 9);
    EXPECT_EQ(system.Block()[8], 0x77);
    EXPECT_EQ(system.Block()[9], full[9]);
    EXPECT_EQ(system.Params().duration, 1000);

    // A short block on a fresh system leaves zeros after it.
    ParticleSystem fresh(10);
    ASSERT_TRUE(fresh.LoadFromBytes(bytes.substr(0, 20)));
    EXPECT_EQ(fresh.Params().rate, 30);
    EXPECT_EQ(fresh.Params().duration, 0);
    EXPECT_FALSE(fresh.LoadFromBytes(""));
    EXPECT_EQ(fresh.Params().rate, 30);
}

TEST(ParticleSystem, EmissionRateTenGivesTenPerTimeUnit) {
    ParticleParams p = Plain();
    p.rate = 10;
    ParticleSystem system = Make(p);
    system.Start();
    std::vector<int32_t> counts;
    for (int step = 1; step <= 90; ++step) {
        system.Update(kStep);
        counts.push_back(system.LiveCount());
        EXPECT_LE(std::abs(system.Remainder()), 0.5f);
    }
    // 0.33 rounds to 0, 0.67 to 1, then the remainder carries: one particle every third step.
    EXPECT_EQ(counts[0], 0);
    EXPECT_EQ(counts[1], 1);
    EXPECT_EQ(counts[2], 1);
    EXPECT_EQ(counts[4], 2);
    EXPECT_EQ(counts[29], 10);
    EXPECT_EQ(counts[59], 20);
    EXPECT_EQ(counts[89], 30);
}

TEST(ParticleSystem, CapacitySkipsSpawnsInsteadOfQueueingThem) {
    ParticleParams p = Plain();
    p.rate = 600; // 20 per step
    ParticleSystem system = Make(p, 8);
    system.Start();
    system.Update(kStep);
    EXPECT_EQ(system.LiveCount(), 8);
    EXPECT_NEAR(system.Remainder(), 0, 1e-4); // the 12 that did not fit are gone, not owed
    system.Update(kStep);
    EXPECT_EQ(system.LiveCount(), 8);

    system.Stop(true);
    EXPECT_EQ(system.LiveCount(), 0);
    EXPECT_FALSE(system.Emitting());
    system.Start();
    system.Update(kStep);
    EXPECT_EQ(system.LiveCount(), 8);

    ParticleSystem none = Make(p, 0);
    none.Start();
    none.Update(kStep);
    EXPECT_EQ(none.LiveCount(), 0);
}

TEST(ParticleSystem, EmissionDurationAndStartRules) {
    ParticleParams p = Plain();
    p.duration = 0.1f; // three steps of 1/30
    p.lifeMin = p.lifeMax = 0.2f;
    ParticleSystem system = Make(p);
    EXPECT_TRUE(system.Particles().empty()); // nothing allocated before a start
    system.Start();
    EXPECT_TRUE(system.Emitting());
    EXPECT_EQ(system.Timer(), 0);
    for (int i = 0; i < 5; ++i) {
        system.Update(kStep);
    }
    EXPECT_FALSE(system.Emitting());
    EXPECT_EQ(system.Timer(), -1);
    const int32_t spawned = system.LiveCount();
    EXPECT_GE(spawned, 2);
    EXPECT_LE(spawned, 3);

    // A start with duration 0 emits nothing, but the particles from before keep living.
    p.duration = 0;
    system.SetParams(p);
    system.Start();
    EXPECT_FALSE(system.Emitting());
    system.Update(kStep);
    EXPECT_EQ(system.LiveCount(), spawned);
    const float age = system.Particles().back().age;
    system.Update(kStep);
    EXPECT_GT(system.Particles().back().age, age);
    for (int i = 0; i < 10; ++i) {
        system.Update(kStep);
    }
    EXPECT_EQ(system.LiveCount(), 0);

    // Without spawn points a start does nothing.
    p.duration = 10;
    ParticleSystem pointless = Make(p);
    pointless.ClearSpawnPoints();
    pointless.Start();
    EXPECT_FALSE(pointless.Emitting());
}

TEST(ParticleSystem, DeathAtAgeReachingLifeKeepsTheOrder) {
    ParticleParams p = Plain();
    ParticleSystem system = Make(p);
    system.Start();
    // Min = max, so the random value does not matter: each step spawns one with this life.
    for (float life : {0.5f, 0.15f, 1.0f, 0.15f, 0.2f}) {
        p.lifeMin = p.lifeMax = life;
        system.SetParams(p);
        system.Update(kStep);
    }
    ASSERT_EQ(system.LiveCount(), 5);
    system.Stop(false);
    // Ages 4/30, 3/30, 2/30, 1/30 and 0 become 0.2 more: the 0.15 ones die, and so does the last
    // one, whose age reaches its life of 0.2 exactly.
    system.Update(0.2f);
    ASSERT_EQ(system.LiveCount(), 2);
    EXPECT_EQ(system.Particles()[0].life, 0.5f);
    EXPECT_EQ(system.Particles()[1].life, 1.0f);
}

TEST(ParticleSystem, TwoPhasesChangeAtTheMiddleCrossing) {
    ParticleParams p = Plain();
    p.lifeMin = p.lifeMax = 2;
    p.middleFraction = 0.5f;
    p.sizeStart = 1, p.sizeMiddle = 3, p.sizeEnd = 0;
    p.spinStart = 0, p.spinMiddle = 1, p.spinEnd = 3;
    p.colorStart = 0x00000000, p.colorMiddle = 0x80FF0000, p.colorEnd = 0x00000080;
    ParticleSystem system = OneParticle(p);
    const Particle* q = &system.Particles()[0];
    EXPECT_EQ(q->size, 1);
    EXPECT_EQ(q->sizeChange, 2);
    EXPECT_EQ(q->middle, 1);
    EXPECT_EQ(q->redChange, 255);
    EXPECT_EQ(q->alphaChange, 128);

    system.Update(0.5f);
    q = &system.Particles()[0];
    EXPECT_EQ(q->size, 2);
    EXPECT_EQ(q->spin, 0.5f);
    EXPECT_EQ(q->red, 127.5f);
    system.Update(0.5f); // age 1: the middle is crossed
    q = &system.Particles()[0];
    EXPECT_EQ(q->size, 3);
    EXPECT_EQ(q->sizeChange, -3);
    EXPECT_EQ(q->spinChange, 2);
    // Colour changes after the new rates are set: red falls from 127.5 toward 0 at 127.5/unit.
    EXPECT_EQ(q->redChange, -127.5f);
    EXPECT_FLOAT_EQ(q->red, 63.75f);
    EXPECT_FLOAT_EQ(q->blue, 64);
    system.Update(0.5f);
    q = &system.Particles()[0];
    EXPECT_EQ(q->size, 1.5f);
    EXPECT_EQ(q->spin, 2);
    system.Update(0.5f);
    EXPECT_EQ(system.LiveCount(), 0);
}

TEST(ParticleSystem, PhasesOfLengthZeroChangeNothing) {
    ParticleParams p = Plain();
    p.lifeMin = p.lifeMax = 1;
    p.sizeStart = 2, p.sizeMiddle = 5, p.sizeEnd = 9;
    p.colorStart = 0x10101010, p.colorMiddle = 0x20202020, p.colorEnd = 0xF0F0F0F0;
    for (float fraction : {0.0f, 1.0f}) {
        p.middleFraction = fraction;
        ParticleSystem system = OneParticle(p);
        for (int i = 0; i < 29; ++i) {
            system.Update(kStep);
        }
        ASSERT_EQ(system.LiveCount(), 1) << fraction;
        const Particle& q = system.Particles()[0];
        if (fraction == 0) {
            // No first phase, and the crossing never fires: the start values stay.
            EXPECT_EQ(q.size, 2);
            EXPECT_EQ(q.red, 16);
        } else {
            EXPECT_GT(q.size, 4.5f); // the first phase runs over the whole life
            EXPECT_GT(q.red, 30);
        }
        EXPECT_TRUE(std::isfinite(q.sizeChange) && std::isfinite(q.alphaChange));
    }
    p.lifeMin = p.lifeMax = 0;
    ParticleSystem dead = OneParticle(p);
    EXPECT_EQ(dead.Particles()[0].frameChange, 0);
    EXPECT_EQ(dead.Particles()[0].sizeChange, 0);
    dead.Update(kStep);
    EXPECT_EQ(dead.LiveCount(), 0);
}

TEST(ParticleSystem, AlphaPastTheTopShowsAs254) {
    ParticleParams p = Plain();
    p.lifeMin = p.lifeMax = 10;
    p.middleFraction = 0.5f;
    p.colorStart = 0x00000000, p.colorMiddle = 0x00000000, p.colorEnd = 0xFFFF0000;
    ParticleSystem system = OneParticle(p);
    // Crossing the middle at 5 with a step of 5.5: rates (end - now) / 5 applied for 5.5.
    system.Update(5.5f);
    const Particle& q = system.Particles()[0];
    EXPECT_EQ(q.alpha, 254);
    EXPECT_EQ(q.red, 255);
    EXPECT_EQ(PackedColor(q), 0xFEFF0000u);
}

TEST(ParticleSystem, SpawnDirectionSpeedAndForces) {
    ParticleParams p = Plain();
    p.speedMin = p.speedMax = 10;
    p.direction = 0; // down the screen
    ParticleSystem down = OneParticle(p);
    EXPECT_FLOAT_EQ(down.Particles()[0].velocityX, 0);
    EXPECT_FLOAT_EQ(down.Particles()[0].velocityY, 10);

    // angle = r * spread + direction + offset - spread / 2, here 0.5 * 2 + pi/2 - 1 = pi/2.
    p.spread = 2;
    p.direction = std::numbers::pi_v<float> / 2;
    ParticleSystem right = OneParticle(p);
    EXPECT_NEAR(right.Particles()[0].velocityX, 10, 1e-4);
    EXPECT_NEAR(right.Particles()[0].velocityY, 0, 1e-4);

    // Gravity: weight 2 adds 20 per time unit to the downward speed.
    p.spread = 0;
    p.direction = 0;
    p.speedMin = p.speedMax = 0;
    p.weightMin = p.weightMax = 2;
    ParticleSystem falling = OneParticle(p);
    falling.Update(0.5f);
    EXPECT_EQ(falling.Particles()[0].velocityY, 10);
    EXPECT_EQ(falling.Particles()[0].y, 5);

    // Radial pushes away from the centre, tangential turns a quarter ahead of it.
    p.weightMin = p.weightMax = 0;
    p.speedMin = p.speedMax = 10;
    p.radialMin = p.radialMax = 1;
    p.tangentialMin = p.tangentialMax = 2;
    ParticleSystem forces = OneParticle(p);
    forces.Update(0.1f); // at the emitter: no direction yet, no force
    EXPECT_EQ(forces.Particles()[0].velocityY, 10);
    EXPECT_EQ(forces.Particles()[0].y, 1);
    forces.Update(0.1f); // n = (0, 1): radial +y, tangential (-1, 0)
    EXPECT_FLOAT_EQ(forces.Particles()[0].velocityY, 11);
    EXPECT_FLOAT_EQ(forces.Particles()[0].velocityX, -2);
}

TEST(ParticleSystem, MovingWhileEmittingSpreadsSpawnsAlongThePath) {
    ParticleParams p = Plain();
    p.rate = 3000; // 100 per step
    std::mt19937 generator(7);
    ParticleSystem system(5000);
    system.SetParams(p);
    system.SetRandom(UniformFrom(generator));
    system.PlaceAt(50, 50);
    system.Start();
    system.MoveTo(150, 50, false);
    system.Update(kStep);
    ASSERT_EQ(system.LiveCount(), 100);
    float lo = 1e9f, hi = -1e9f;
    for (const Particle& q : system.Particles()) {
        lo = std::min(lo, q.x);
        hi = std::max(hi, q.x);
        EXPECT_EQ(q.y, 50);
        EXPECT_EQ(q.spawnOffsetX, 150 - q.x);
    }
    EXPECT_GE(lo, 50);
    EXPECT_LT(lo, 60);
    EXPECT_LE(hi, 150);
    EXPECT_GT(hi, 140);
    EXPECT_EQ(system.PreviousX(), 150);

    // Not emitting, a move leaves no trail; with carry the particles move along.
    system.Stop(false);
    system.MoveTo(300, 50, false);
    EXPECT_EQ(system.PreviousX(), 300);
    const float firstX = system.Particles()[0].x;
    system.MoveBy(10, 5, true);
    EXPECT_EQ(system.Particles()[0].x, firstX + 10);
    EXPECT_EQ(system.Particles()[0].y, 55);
    EXPECT_EQ(system.PreviousX(), 310);
    EXPECT_EQ(system.X(), 310);

    // Restart places the emitter without a trail and restarts the duration.
    system.Restart(0, 0);
    EXPECT_TRUE(system.Emitting());
    EXPECT_EQ(system.PreviousX(), 0);
    system.Update(kStep);
    for (size_t i = 100; i < system.Particles().size(); ++i) {
        EXPECT_EQ(system.Particles()[i].x, 0);
    }
}

TEST(ParticleSystem, RelativeDirectionTrailsAgainstTheMotion) {
    ParticleParams p = Plain();
    p.speedMin = p.speedMax = 10;
    p.relative = 1;
    ParticleSystem system = Make(p);
    system.Start();
    system.MoveBy(100, 0, false);
    system.Update(kStep);
    ASSERT_EQ(system.LiveCount(), 1);
    // atan2(-100, 0) = -pi/2 added to direction 0: the particle flies to the left.
    EXPECT_NEAR(system.Particles()[0].velocityX, -10, 1e-4);
    EXPECT_NEAR(system.Particles()[0].velocityY, 0, 1e-4);
}

TEST(ParticleSystem, DrawCullsOrdersAndConvertsFramesAndColours) {
    ParticleParams p = Plain();
    p.colorStart = p.colorMiddle = p.colorEnd = 0x80FF8040;
    ParticleSystem system = Make(p);
    system.Start();
    const float xs[] = {-15, -17, 1039, 1041};
    for (float x : xs) {
        system.PlaceAt(x, 100);
        system.Update(kStep);
    }
    system.Stop(false);
    ASSERT_EQ(system.LiveCount(), 4);
    // Pattern 16 wide at size 1: culled only when x + 16 < 0 or x - 16 > 1024.
    ParticleArea area;
    area.patternWidth = area.patternHeight = 16;
    area.colorMask = 0xFF00FFFF;
    auto quads = DrawAll(system, area);
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quads[0].x, -15);
    EXPECT_EQ(quads[1].x, 1039);
    EXPECT_EQ(quads[0].color, 0x80008040u);
    area.offsetX = 2; // -13 and -15 now show, 1041 does not
    quads = DrawAll(system, area);
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quads[0].x, -13);
    EXPECT_EQ(quads[1].x, -15);
    area.offsetX = 0;
    area.offsetY = -117; // y = -17: all above the top
    EXPECT_TRUE(DrawAll(system, area).empty());

    // Order: oldest first, or newest first with the flag.
    p.newestFirst = 1;
    system.SetParams(p);
    area.offsetY = 0;
    quads = DrawAll(system, area);
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quads[0].x, 1039);
    EXPECT_EQ(quads[1].x, -15);
}

TEST(ParticleSystem, FramesAnimateAndTruncateTowardZero) {
    ParticleParams p = Plain();
    p.lifeMin = p.lifeMax = 1;
    p.firstPattern = -1;
    p.lastPattern = 3; // four patterns per life
    ParticleSystem system = OneParticle(p);
    EXPECT_EQ(system.Particles()[0].frameChange, 4);
    EXPECT_TRUE(DrawAll(system).at(0).frame == -1); // handed on; the canvas draws nothing
    system.Update(0.1f);                            // frame -0.6: truncates to 0, not -1
    EXPECT_EQ(DrawAll(system).at(0).frame, 0);
    system.Update(0.5f); // frame 1.4
    EXPECT_EQ(DrawAll(system).at(0).frame, 1);

    Particle q;
    q.frame = 3e9f;
    EXPECT_FALSE(FrameIndex(q).has_value());
    q.frame = -2147483648.0f;
    EXPECT_EQ(FrameIndex(q), std::numeric_limits<int32_t>::min());
    q.frame = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(FrameIndex(q).has_value());
    q.frame = 2.99f;
    EXPECT_EQ(FrameIndex(q), 2);

    // Packed colours round halves to even; a channel out of range does not pack.
    q.alpha = 2.5f, q.red = 3.5f, q.green = 254.5f, q.blue = 0.4f;
    EXPECT_EQ(PackedColor(q), 0x0204FE00u);
    q.red = 256;
    EXPECT_FALSE(PackedColor(q).has_value());

    // last - first in 64 bits: no overflow from extreme pattern numbers.
    p.firstPattern = std::numeric_limits<int32_t>::min();
    p.lastPattern = std::numeric_limits<int32_t>::max();
    EXPECT_FLOAT_EQ(OneParticle(p).Particles()[0].frameChange, 4294967295.0f);

    p.firstPattern = 3;
    p.lastPattern = -1; // no animation
    EXPECT_EQ(OneParticle(p).Particles()[0].frameChange, 0);
    p.lastPattern = 3;
    EXPECT_EQ(OneParticle(p).Particles()[0].frameChange, 0);
}

TEST(ParticleSystem, SeededSourcesRepeat) {
    ParticleParams p = Plain();
    p.rate = 300;
    p.lifeMin = 1, p.lifeMax = 3;
    p.speedMin = 5, p.speedMax = 50;
    p.spread = 6;
    p.sizeVariation = p.colorVariation = p.alphaVariation = 1;
    p.sizeMiddle = 4;
    p.colorMiddle = 0x00000000;
    std::mt19937 a(11), b(11);
    ParticleSystem one(500), two(500);
    one.SetParams(p);
    two.SetParams(p);
    one.SetRandom(UniformFrom(a));
    two.SetRandom(UniformFrom(b));
    one.Start();
    two.Start();
    for (int i = 0; i < 20; ++i) {
        one.Update(kStep);
        two.Update(kStep);
    }
    ASSERT_EQ(one.LiveCount(), two.LiveCount());
    ASSERT_GT(one.LiveCount(), 100);
    float lo = 1e9f, hi = -1e9f;
    for (int32_t i = 0; i < one.LiveCount(); ++i) {
        EXPECT_EQ(one.Particles()[i].x, two.Particles()[i].x);
        EXPECT_EQ(PackedColor(one.Particles()[i]), PackedColor(two.Particles()[i]));
        lo = std::min(lo, one.Particles()[i].life);
        hi = std::max(hi, one.Particles()[i].life);
    }
    EXPECT_LT(lo, 1.3f); // the draws really vary
    EXPECT_GT(hi, 2.7f);
    EXPECT_LT(hi, 3.0f);
}

TEST(ParticleSystem, BoundsAtTheEndsOfTheFloatRangeStillGiveFiniteDraws) {
    ParticleParams p = Plain();
    p.lifeMin = -std::numeric_limits<float>::max();
    p.lifeMax = std::numeric_limits<float>::max();
    for (float r : {0.0f, 0.25f, 0.999f}) {
        ParticleSystem system = Make(p);
        system.SetRandom([r] { return r; });
        system.Start();
        system.Update(kStep);
        ASSERT_EQ(system.LiveCount(), 1);
        EXPECT_TRUE(std::isfinite(system.Particles()[0].life)) << r;
        if (r == 0) {
            EXPECT_EQ(system.Particles()[0].life, p.lifeMin);
        }
    }
}

// Random blocks, with NaN, infinities and huge values mixed in, driven through every operation:
// no crash, no stall, never more than the capacity, and every live particle stays finite.
TEST(ParticleSystem, FuzzedParameterBlocksStayFiniteAndBounded) {
    std::mt19937 rng(12345);
    const uint32_t specials[] = {
        std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN()),
        std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity()),
        std::bit_cast<uint32_t>(-std::numeric_limits<float>::infinity()),
        std::bit_cast<uint32_t>(std::numeric_limits<float>::max()),
        std::bit_cast<uint32_t>(-std::numeric_limits<float>::max()),
        std::bit_cast<uint32_t>(1e30f),
        std::bit_cast<uint32_t>(1e-40f),
        std::bit_cast<uint32_t>(1.0f),
        std::bit_cast<uint32_t>(0.5f),
        0x7FFFFFFFu,
        0x80000000u,
        0,
    };
    const auto start = std::chrono::steady_clock::now();
    int roundsWithParticles = 0;
    for (int round = 0; round < 300; ++round) {
        bool sawParticles = false;
        ParticleBlock block;
        for (size_t i = 0; i < kParticleFieldCount; ++i) {
            const uint32_t pick = rng() % 4;
            uint32_t word = rng();
            if (pick == 0) {
                word = specials[rng() % std::size(specials)];
            } else if (pick == 1) {
                word = std::bit_cast<uint32_t>(static_cast<float>(rng() % 2000) / 10.0f - 50.0f);
            }
            SetParticleWord(block, i, word);
        }
        // Half of the rounds get a duration and a rate that surely emit.
        if (round % 2 == 0) {
            SetParticleWord(block, 5, std::bit_cast<uint32_t>(100.0f));
            SetParticleWord(block, 4, specials[rng() % 6]);
        }
        std::mt19937 generator(static_cast<uint32_t>(round));
        ParticleSystem system(round % 3 == 0 ? 5000 : 64);
        ASSERT_TRUE(system.LoadFromBytes(std::string_view(
            reinterpret_cast<const char*>(block.data()), round % 5 == 0 ? 40 : block.size())));
        system.SetRandom(UniformFrom(generator));
        system.AddSpawnPoint({2147483647, -2147483647});
        system.Start();
        const float dts[] = {kStep,
                             0,
                             -kStep,
                             1e30f,
                             std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             3};
        for (int step = 0; step < 12; ++step) {
            system.MoveBy(static_cast<float>(step * 37 % 200) - 100, 3e38f * (step % 2), false);
            system.Update(dts[(step + round) % std::size(dts)]);
            ASSERT_LE(system.LiveCount(), system.Capacity());
            ASSERT_TRUE(std::isfinite(system.Remainder()));
            sawParticles = sawParticles || system.LiveCount() > 0;
            for (const Particle& q : system.Particles()) {
                ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y));
                ASSERT_TRUE(std::isfinite(q.size) && std::isfinite(q.spin));
                ASSERT_TRUE(q.alpha >= 0 && q.alpha <= 255 && q.red >= 0 && q.red <= 255);
                ASSERT_TRUE(PackedColor(q).has_value());
            }
            DrawAll(system);
        }
        if (round % 7 == 0) {
            system.Restart(1e38f, -1e38f);
            system.Update(kStep);
        }
        roundsWithParticles += sawParticles ? 1 : 0;
    }
    EXPECT_GT(roundsWithParticles, 20); // the blocks really spawn
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

} // namespace
