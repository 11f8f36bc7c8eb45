// The star table: launching into the first free record, the per-step motion and death, drawing
// by layer, clearing, and the colour text.
#include "render/recording_canvas.h"
#include "scene/stars.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kq::test {
namespace {

using scene::Star;
using scene::StarTable;

Star Sparkle(double size, double sizeSpeed, int32_t layer = scene::kTopStarLayer) {
    Star s;
    s.size = size;
    s.sizeSpeed = sizeSpeed;
    s.layer = layer;
    s.color = 0x123456;
    return s;
}

struct StarCanvas {
    render::RecordingCanvas canvas;
    render::TextureId sheet = canvas.CreateTexture(4, 2, std::vector<uint32_t>(8, 0xFFFFFFFF));
    StarCanvas() { canvas.SetPatternLayout(sheet, 2, 2); }
    size_t Drawn(const StarTable& stars, int32_t layer) {
        canvas.ClearCalls();
        stars.Render(layer, canvas, sheet);
        return canvas.Calls().size();
    }
};

TEST(Stars, ShrinkingStarIsDrawnAfterThreeStepsAndGoneAfterTheFourth) {
    StarTable stars;
    StarCanvas c;
    ASSERT_EQ(stars.Add(Sparkle(1, -0.25)), 0);
    for (int step = 1; step <= 3; ++step) {
        stars.Process();
        EXPECT_EQ(c.Drawn(stars, scene::kTopStarLayer), 1u) << "after step " << step;
    }
    stars.Process();
    EXPECT_EQ(c.Drawn(stars, scene::kTopStarLayer), 0u);
    EXPECT_EQ(stars.LiveCount(), 0);
    // The freed record is the first free one again.
    EXPECT_EQ(stars.Add(Sparkle(1, 0)), 0);
}

TEST(Stars, MotionAndDeath) {
    StarTable stars;
    Star s = Sparkle(2, 0);
    s.x = 10;
    s.y = 20;
    s.xSpeed = 1.5;
    s.ySpeed = -1;
    s.angleSpeed = 5;
    stars.Add(s);
    Star nan = Sparkle(std::nan(""), 0); // a size that is not a number is not above 0
    stars.Add(nan);
    stars.Process();
    stars.Process();
    const Star& moved = stars.Records()[0];
    EXPECT_TRUE(moved.live);
    EXPECT_DOUBLE_EQ(moved.x, 13);
    EXPECT_DOUBLE_EQ(moved.y, 18);
    EXPECT_DOUBLE_EQ(moved.angle, 10);
    EXPECT_DOUBLE_EQ(moved.size, 2); // size speed 0: lives until cleared
    EXPECT_FALSE(stars.Records()[1].live);
    EXPECT_EQ(stars.LiveCount(), 1);
    stars.Clear();
    EXPECT_EQ(stars.LiveCount(), 0);
    EXPECT_FALSE(stars.Records()[0].live);
}

TEST(Stars, FullTableDropsFurtherStars) {
    StarTable stars;
    for (int i = 0; i < StarTable::kCapacity; ++i) {
        ASSERT_EQ(stars.Add(Sparkle(1, 0)), i);
    }
    Star extra = Sparkle(9, 0);
    EXPECT_EQ(stars.Add(extra), std::nullopt);
    EXPECT_EQ(stars.LiveCount(), StarTable::kCapacity);
    for (const Star& s : stars.Records()) {
        EXPECT_EQ(s.size, 1);
    }
}

TEST(Stars, DrawnOnTheirLayerCentredRotatedOpaqueWithTheirBlend) {
    StarTable stars;
    StarCanvas c;
    Star s = Sparkle(2, 0, 0);
    s.x = 100;
    s.y = 50;
    s.angle = 90;
    s.pattern = 1;
    s.mode = 1284;
    stars.Add(s);
    stars.Add(Sparkle(1, 0, 3));
    EXPECT_EQ(c.Drawn(stars, 1), 0u);
    ASSERT_EQ(c.Drawn(stars, 0), 1u);
    const render::DrawCall& call = c.canvas.Calls()[0];
    EXPECT_EQ(call.pattern, 1);
    EXPECT_EQ(call.blend, 1284u);
    EXPECT_EQ(call.colors[0], 0xFF123456u);
    // A 2x2 pattern at scale 2 is 4x4 about (100, 50); turned a quarter clockwise, the top-left
    // corner of the source lands at the top right.
    EXPECT_NEAR(call.points[0].x, 102, 1e-4);
    EXPECT_NEAR(call.points[0].y, 48, 1e-4);
    EXPECT_NEAR(call.points[2].x, 98, 1e-4);
    EXPECT_NEAR(call.points[2].y, 52, 1e-4);

    std::vector<int32_t> layers{7};
    stars.AppendLiveLayers(layers);
    EXPECT_EQ(layers, (std::vector<int32_t>{7, 0, 3}));
}

TEST(Stars, ColourText) {
    std::mt19937 random(5);
    EXPECT_EQ(scene::StarColor("255", random), 255u);
    EXPECT_EQ(scene::StarColor("$FF8000", random), 0xFF8000u);
    EXPECT_EQ(scene::StarColor("$ff", random), 0xFFu);
    // Not a number: white, whatever the record held before.
    EXPECT_EQ(scene::StarColor("red", random), 0xFFFFFFu);
    EXPECT_EQ(scene::StarColor("12x", random), 0xFFFFFFu);
    EXPECT_EQ(scene::StarColor("$", random), 0xFFFFFFu);
    // Empty: a random colour below 0xFFFFFF from the seeded generator, the same for the seed.
    std::mt19937 a(42);
    std::mt19937 b(42);
    for (int i = 0; i < 100; ++i) {
        const uint32_t color = scene::StarColor("", a);
        EXPECT_LT(color, 0xFFFFFFu);
        EXPECT_EQ(color, scene::StarColor("", b));
    }
}

} // namespace
} // namespace kq::test
