#include "render/particle_drawing.h"
#include "render/recording_canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace kq;

TEST(ParticleDrawing, QuadsCarryPatternPlaceSpinColourAndBlend) {
    render::RecordingCanvas canvas;
    const std::vector<uint32_t> pixels(32 * 16, 0xFFFFFFFFu);
    const render::TextureId sheet = canvas.CreateTexture(32, 16, pixels);
    ASSERT_TRUE(canvas.SetPatternLayout(sheet, 16, 16));

    media::ParticleParams p;
    p.blend = 0x104;
    p.rate = 30;
    p.duration = 100;
    p.lifeMin = p.lifeMax = 10;
    p.firstPattern = p.lastPattern = 1;
    p.sizeStart = p.sizeMiddle = p.sizeEnd = 2;
    p.spinStart = p.spinMiddle = p.spinEnd = 0.5f;
    p.colorStart = p.colorMiddle = p.colorEnd = 0x80FF4020;
    p.middleFraction = 0.5f;
    media::ParticleSystem system(10);
    system.SetParams(p);
    system.SetRandom([] { return 0.5f; });
    system.PlaceAt(100, 200);
    system.Start();
    system.Update(1.0f / 30);
    ASSERT_EQ(system.LiveCount(), 1);

    render::DrawParticles(canvas, sheet, system, 5, -10, 0xFFFFFF00u);
    ASSERT_EQ(canvas.Calls().size(), 1u);
    const render::DrawCall& call = canvas.Calls()[0];
    EXPECT_EQ(call.texture, sheet);
    EXPECT_EQ(call.pattern, 1);
    EXPECT_EQ(call.blend, 0x104u);
    EXPECT_EQ(call.colors[0], 0x80FF4000u);
    EXPECT_EQ(call.colors[3], 0x80FF4000u);
    const auto expected = render::Canvas::RotatedBox(105, 190, 32, 32, 0.5f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(call.points[i].x, expected[i].x) << i;
        EXPECT_FLOAT_EQ(call.points[i].y, expected[i].y) << i;
    }

    // No image, no drawing.
    canvas.ClearCalls();
    render::DrawParticles(canvas, render::kNoTexture, system, 0, 0, 0xFFFFFFFFu);
    EXPECT_TRUE(canvas.Calls().empty());
}

} // namespace
