// Unmasked shapes drawn through the OpenGL canvas, against reference PNGs: a Crop frame whose
// box lies partly outside the current clip, the two quarter pies, and a frame with hxTrans 5
// that fills nothing while its children are still drawn and clipped.
#include "elements/shape.h"

#include "elements_test_util.h"
#include "render/gl_fixture.h"

namespace kq::test {
namespace {

using elements::TKQShape;
using elements::TKQShapeType;

constexpr uint32_t kBlack = 0xFF000000u;

class ShapePicture : public ::testing::Test {
protected:
    void SetUp() override {
        gl = SharedGlCanvas();
        if (gl == nullptr) {
            KQ_SKIP_MISSING() << "no OpenGL 3.3 context (SDL offscreen/EGL) available";
        }
        rt.canvas = gl;
        screen = static_cast<elements::TKQScreen*>(rt.classes.CreateChild(db, "TKQScreen"));
    }

    TKQShape& Shape(scene::TKQElement& parent, int32_t x, int32_t y, int32_t w, int32_t h,
                    uint32_t rgb) {
        auto& s = *static_cast<TKQShape*>(rt.classes.CreateChild(parent, "TKQShape"));
        s.SetX(x);
        s.SetY(y);
        s.SetSizeX(w);
        s.SetSizeY(h);
        s.SetHxColor(rgb);
        return s;
    }

    // One frame of the screen over black, the clip first set to clip; the screen's pixels.
    std::vector<uint32_t> Draw(render::RectI clip = {0, 0, render::kSceneWidth,
                                                     render::kSceneHeight}) {
        gl->BeginFrame();
        gl->Clear(kBlack);
        gl->SetClipRect(clip);
        for (int32_t layer = db.MinOrder; layer <= db.MaxOrder; ++layer) {
            screen->Render(layer, 0xFFFFFFFFu, 0, 0, false);
        }
        after = gl->ClipRect();
        gl->EndFrame();
        return gl->ReadScreen();
    }

    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) {
        return px[static_cast<size_t>(y) * render::kSceneWidth + static_cast<size_t>(x)];
    }

    render::GlCanvas* gl = nullptr;
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};
    elements::TKQScreen* screen = nullptr;
    render::RectI after{};
};

TEST_F(ShapePicture, CropFramePartlyOutsideTheClipClipsToTheIntersection) {
    // The frame (200, 100)-(400, 300) under a clip of (0, 0)-(300, 250): children show only in
    // (200, 100)-(300, 250).
    auto& frame = Shape(*screen, 200, 100, 200, 200, 0x202080);
    frame.Crop = true;
    Shape(frame, -50, -50, 300, 100, 0xE0E020); // a yellow band across the frame's top
    Shape(frame, 60, 120, 300, 300, 0x20C020);  // a green block over its lower right
    Shape(*screen, 20, 20, 40, 40, 0xC02020);   // a red box after the frame, outside its box
    const std::vector<uint32_t> px = Draw({0, 0, 300, 250});
    EXPECT_EQ(after, (render::RectI{0, 0, 300, 250})) << "the clip is restored";
    EXPECT_EQ(At(px, 210, 110), 0xFFE0E020u);
    EXPECT_EQ(At(px, 299, 149), 0xFFE0E020u);
    EXPECT_EQ(At(px, 210, 200), 0xFF202080u) << "the frame's own fill";
    EXPECT_EQ(At(px, 270, 240), 0xFF20C020u);
    EXPECT_EQ(At(px, 300, 110), kBlack) << "right of the clip";
    EXPECT_EQ(At(px, 199, 110), kBlack) << "left of the frame";
    EXPECT_EQ(At(px, 270, 250), kBlack) << "below the clip";
    EXPECT_EQ(At(px, 40, 40), 0xFFC02020u) << "drawn under the restored clip";
    EXPECT_TRUE(MatchesReference("shape_crop", render::kSceneWidth, render::kSceneHeight, px));
}

TEST_F(ShapePicture, PiesRunCounterClockwiseFromTheFirstRadial) {
    // Left: Par1 0, Par2 90, three quarters from 12 o'clock round to 3 o'clock. Middle: Par1
    // 90, Par2 0, the quarter between 12 and 3. Right: the same at Par3 0.5. Below: Par3 0.
    auto& threeQuarters = Shape(*screen, 100, 200, 200, 200, 0xF04040);
    auto& quarter = Shape(*screen, 400, 200, 200, 200, 0x40F040);
    auto& half = Shape(*screen, 700, 200, 200, 200, 0x4040F0);
    auto& none = Shape(*screen, 400, 500, 200, 200, 0xFFFFFF);
    for (TKQShape* s : {&threeQuarters, &quarter, &half, &none}) {
        s->ShapeType = TKQShapeType::stCircle;
        s->Par3 = 1;
        s->hxDrawFx = 1; // opaque copy would fill the corners: the pie ignores it
    }
    threeQuarters.Par2 = 90;
    quarter.Par1 = 90;
    half.Par1 = 90;
    half.Par3 = 0.5;
    none.Par3 = 0;
    const std::vector<uint32_t> px = Draw();
    EXPECT_EQ(At(px, 150, 250), 0xFFF04040u) << "upper left";
    EXPECT_EQ(At(px, 150, 350), 0xFFF04040u) << "lower left";
    EXPECT_EQ(At(px, 250, 350), 0xFFF04040u) << "lower right";
    EXPECT_EQ(At(px, 250, 250), kBlack) << "upper right is the missing quarter";
    EXPECT_EQ(At(px, 101, 201), kBlack) << "the box's corner lies outside the ellipse";
    EXPECT_EQ(At(px, 550, 250), 0xFF40F040u);
    EXPECT_EQ(At(px, 450, 250), kBlack);
    EXPECT_EQ(At(px, 550, 350), kBlack);
    EXPECT_EQ(At(px, 780, 220), 0xFF4040F0u) << "the half-size quarter";
    EXPECT_EQ(At(px, 850, 250), kBlack) << "beyond the half-size box";
    EXPECT_EQ(At(px, 500, 600), kBlack) << "Par3 0 draws nothing";
    EXPECT_TRUE(MatchesReference("shape_pies", render::kSceneWidth, render::kSceneHeight, px));
}

TEST_F(ShapePicture, TransparentFrameFillsNothingButDrawsAndClipsItsChildren) {
    auto& frame = Shape(*screen, 300, 200, 300, 200, 0xFFFFFF);
    frame.Crop = true;
    frame.SetHxTrans(5);
    Shape(frame, 150, 100, 400, 400, 0xC06020);
    auto& pie = Shape(frame, -100, -100, 200, 200, 0x20A0C0);
    pie.ShapeType = TKQShapeType::stCircle;
    pie.Par3 = 1;
    const std::vector<uint32_t> px = Draw();
    EXPECT_EQ(At(px, 580, 210), kBlack) << "no fill of its own";
    EXPECT_EQ(At(px, 590, 390), 0xFFC06020u);
    EXPECT_EQ(At(px, 610, 390), kBlack) << "the block is clipped at the frame's right";
    EXPECT_EQ(At(px, 590, 410), kBlack) << "and at its bottom";
    EXPECT_EQ(At(px, 305, 205), 0xFF20A0C0u) << "the pie's lower right quarter shows";
    EXPECT_EQ(At(px, 295, 205), kBlack) << "its other quarters are clipped";
    EXPECT_TRUE(
        MatchesReference("shape_transparent", render::kSceneWidth, render::kSceneHeight, px));
}

} // namespace
} // namespace kq::test
