// One frame of a keyframe animation drawn through the OpenGL canvas, against a reference PNG:
// a record half-way between two keys, rotated and scaled (uniform and per axis), half
// transparent, over a background.
#include "elements/animation.h"
#include "elements_test_util.h"
#include "render/gl_fixture.h"

namespace kq::elements {
namespace {

TEST(AnimationPicture, RotatedScaledRecordMatchesTheReference) {
    KQ_REQUIRE_GL(gl);
    test::TempDir dir;
    // A 40 x 20 picture: red left half, blue right half, a white top row, so that rotation
    // and mirroring show.
    dir.Write("arrow.png", test::MakePng(40, 20, [](int x, int y) {
                  if (y == 0) {
                      return 0xFFFFFFFFu;
                  }
                  return x < 20 ? 0xFFE02020u : 0xFF2040E0u;
              }));
    dir.Write("bg.png", test::MakePng(64, 64, [](int x, int y) {
                  return ((x / 8 + y / 8) % 2) ? 0xFF404040u : 0xFF808080u;
              }));
    media::GameFiles files{dir.Path()};
    uint32_t tick = 1;
    render::ImageService images{files, *gl, [&tick] { return tick; }};
    images.SetLoadImagesNow(true);
    scene::Runtime rt{elements::ElementClasses()};
    rt.canvas = gl;
    rt.images = &images;
    scene::TKQDB db{rt};

    auto& anim = *static_cast<TKQAnim*>(rt.classes.CreateChild(db, "TKQAnim"));
    anim.SetImBack("bg.png");
    for (int k = 0; k < 2; ++k) {
        auto& key = *static_cast<TKQAnKey*>(rt.classes.CreateChild(anim, "TKQAnKey"));
        key.Count = 9;
        auto& im = *static_cast<TKQImage*>(rt.classes.CreateChild(key, "TKQImage"));
        im.Id = "arrow";
        im.SetImImage("arrow.png");
        im.SetX(k == 0 ? 0 : 100);
        im.SetY(k == 0 ? 0 : 40);
        im.SetAngle(k == 0 ? 0 : 60);
        im.SetScale(k == 0 ? 1 : 3);
        im.ScaleX = k == 0 ? 1 : 2;
        im.SetHxTrans(k == 0 ? 255 : 55);
    }
    anim.Rebuild();
    size_t count = 0;
    const TKQAnKeyIm* r = anim.FrameRecords(5, count);
    ASSERT_EQ(count, 1u);
    EXPECT_DOUBLE_EQ(r->angle, 30);
    EXPECT_DOUBLE_EQ(r->scale, 2);
    EXPECT_DOUBLE_EQ(r->scaleX, 1.5);
    EXPECT_EQ(r->color >> 24, 155u);

    gl->BeginFrame();
    gl->Clear(0xFF000000u);
    anim.DrawFrame(5, 0xFFFFFFFFu, 300, 200);
    gl->EndFrame();
    const std::vector<uint32_t> px = gl->ReadScreen();
    // The record's centre (300 + 50 + 40, 200 + 20 + 20) shows the blend of the red and blue
    // halves' border region over the background: neither black nor the background grey.
    EXPECT_NE(px[static_cast<size_t>(240) * render::kSceneWidth + 390], 0xFF000000u);
    EXPECT_TRUE(
        test::MatchesReference("anim_frame", render::kSceneWidth, render::kSceneHeight, px));
}

} // namespace
} // namespace kq::elements
