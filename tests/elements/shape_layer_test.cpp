// Masked shapes and shape effects composed through a recording canvas: the render target and
// composite they get, what the layer draws, the mask and picture rules, the read-backs a
// composition costs, and what happens when the canvas refuses a target or a read-back.
// Read-back pixels are given by the test (the recording canvas does not rasterise).
#include "elements/classes.h"
#include "elements/image.h"
#include "elements/shape.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/render_targets.h"
#include "scene/runtime.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <numbers>

namespace kq::elements {
namespace {

using render::DrawCall;
using render::TextureId;

// A recording canvas that can refuse render targets and read-backs, and answers read-backs
// of chosen textures with chosen pixels.
class ScriptedCanvas final : public render::Canvas {
public:
    bool refuseTargets = false;
    bool failReadBacks = false;
    std::map<TextureId, std::vector<uint32_t>> pixels; // read-back answers by texture
    int readBacks = 0;

    TextureId CreateTexture(int w, int h, std::span<const uint32_t> px,
                            render::PixelFormat f) override {
        return rec.CreateTexture(w, h, px, f);
    }
    bool UpdateTexture(TextureId id, int w, int h, std::span<const uint32_t> px,
                       render::PixelFormat f) override {
        return rec.UpdateTexture(id, w, h, px, f);
    }
    void FreeTexture(TextureId id) override { rec.FreeTexture(id); }
    render::SizeI TextureSize(TextureId id) const override { return rec.TextureSize(id); }
    bool SetPatternLayout(TextureId id, int w, int h) override {
        return rec.SetPatternLayout(id, w, h);
    }
    render::SizeI PatternSize(TextureId id) const override { return rec.PatternSize(id); }
    int PatternCount(TextureId id) const override { return rec.PatternCount(id); }
    std::optional<render::Color> ReadPixel(TextureId id, int x, int y) override {
        return rec.ReadPixel(id, x, y);
    }
    std::vector<uint32_t> ReadPixels(TextureId id) override {
        ++readBacks;
        if (failReadBacks) {
            return {};
        }
        auto it = pixels.find(id);
        return it != pixels.end() ? it->second : rec.ReadPixels(id);
    }
    TextureId CreateRenderTarget(int w, int h) override {
        return refuseTargets ? render::kNoTexture : rec.CreateRenderTarget(w, h);
    }
    bool ResizeRenderTarget(TextureId id, int w, int h) override {
        return rec.ResizeRenderTarget(id, w, h);
    }
    bool BeginTarget(TextureId id) override { return rec.BeginTarget(id); }
    void EndTarget() override { rec.EndTarget(); }
    void Clear(render::Color c) override { rec.Clear(c); }
    void SetClipRect(const render::RectI& r) override { rec.SetClipRect(r); }
    render::RectI ClipRect() const override { return rec.ClipRect(); }
    void SetFiltering(bool on) override { rec.SetFiltering(on); }
    bool Filtering() const override { return rec.Filtering(); }
    void Flush() override {}
    void DrawQuad(const render::QuadDraw& q) override { rec.DrawQuad(q); }
    void FillTriangle(render::PointF a, render::PointF b, render::PointF c, render::Color col,
                      uint32_t blend) override {
        rec.FillTriangle(a, b, c, col, blend);
    }
    void FillRect(float x, float y, float w, float h, render::Color c, uint32_t blend) override {
        rec.FillRect(x, y, w, h, c, blend);
    }

    std::vector<DrawCall> Quads() const {
        std::vector<DrawCall> out;
        for (const DrawCall& c : rec.Calls()) {
            if (c.kind == DrawCall::Kind::kQuad) {
                out.push_back(c);
            }
        }
        return out;
    }

    render::RecordingCanvas rec;
};

class ShapeLayer : public ::testing::Test {
protected:
    ShapeLayer() {
        rt.canvas = &canvas;
        screen = rt.classes.CreateChild(db, "TKQScreen");
    }

    template <class T = TKQShape>
    T& Shape(int32_t key, int w, int h, bool masked = true, scene::TKQElement* parent = nullptr) {
        auto* s = static_cast<T*>(
            rt.classes.CreateChild(parent ? *parent : *screen,
                                   std::is_same_v<T, TKQShapeEff> ? "TKQShapeEff" : "TKQShape"));
        s->Key = key;
        s->Id = "S" + std::to_string(key);
        s->SizeX = w;
        s->SizeY = h;
        s->Masked = masked;
        return *s;
    }
    // Composes, then sets what the target reads back as.
    void Give(TKQShape& s, std::vector<uint32_t> px) {
        s.Compose();
        ASSERT_NE(s.Target(), render::kNoTexture);
        canvas.pixels[s.Target()] = std::move(px);
    }
    std::vector<uint32_t> CompositePixels(const TKQShape& s) {
        return canvas.rec.ReadPixels(s.Composite());
    }
    DrawCall DrawnQuad(TKQShape& s, double ox = 0, double oy = 0) {
        canvas.rec.ClearCalls();
        s.Render(s.Order, 0xFFFFFFFFu, ox, oy, false);
        const std::vector<DrawCall> quads = canvas.Quads();
        EXPECT_EQ(quads.size(), 1u);
        return quads.empty() ? DrawCall{} : quads[0];
    }
    uint64_t ReadBacks() { return db.RenderTargets().ReadBacks(); }

    ScriptedCanvas canvas;
    scene::Runtime rt{ElementClasses()};
    scene::TKQDB db{rt};
    scene::TKQElement* screen = nullptr;
};

TEST_F(ShapeLayer, FirstComposeCreatesTheTargetAndTheLayerDrawsItAsOneQuad) {
    TKQShape& s = Shape(1, 30, 20);
    s.rX = 5;
    s.rY = 7;
    s.SetHxColor(0x123456);
    s.SetHxTrans(0x80);
    s.hxDrawFx = 0x104;
    // Before the first Compose there is nothing to draw.
    canvas.rec.ClearCalls();
    s.Render(s.Order, 0xFFFFFFFFu, 0, 0, false);
    EXPECT_TRUE(canvas.Quads().empty());
    EXPECT_EQ(s.TargetIndex(), -1);

    s.Compose();
    ASSERT_EQ(s.TargetIndex(), 0);
    EXPECT_EQ(s.TargetSize(), (render::SizeI{30, 20}));
    EXPECT_EQ(canvas.TextureSize(s.Composite()), (render::SizeI{30, 20}));
    // The target was cleared to hxColor with alpha 0.
    EXPECT_EQ(canvas.rec.ReadPixel(s.Target(), 3, 3), 0x00123456u);

    const DrawCall q = DrawnQuad(s, 100, 200);
    EXPECT_EQ(q.texture, s.Target()); // no mask: the target itself
    EXPECT_EQ(q.points[0], (render::PointF{105, 207}));
    EXPECT_EQ(q.points[2], (render::PointF{135, 227}));
    EXPECT_THAT(q.colors, ::testing::Each(0x80FFFFFFu));
    EXPECT_EQ(q.blend, 0x104u);
    // Other layers draw nothing, and the children are not drawn here.
    canvas.rec.ClearCalls();
    s.Render(s.Order + 1, 0xFFFFFFFFu, 0, 0, false);
    EXPECT_TRUE(canvas.Quads().empty());

    // A second shape takes the next index; a changed box resizes the target in place.
    TKQShape& t = Shape(2, 4, 4);
    t.Compose();
    EXPECT_EQ(t.TargetIndex(), 1);
    const TextureId target = s.Target();
    s.SizeX = 50;
    s.Compose();
    EXPECT_EQ(s.Target(), target);
    EXPECT_EQ(s.TargetSize(), (render::SizeI{50, 20}));
    EXPECT_EQ(canvas.TextureSize(s.Composite()), (render::SizeI{50, 20}));
}

TEST_F(ShapeLayer, ChildrenLandAtTheirOwnPositionInsideTheLayer) {
    TKQShape& outer = Shape(1, 64, 64);
    outer.rX = 300;
    outer.rY = 400;
    TKQShape& inner = Shape(2, 8, 8, true, &outer);
    inner.rX = 10;
    inner.rY = 12;
    inner.Compose();
    canvas.rec.ClearCalls();
    outer.Compose();
    const std::vector<DrawCall> quads = canvas.Quads();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].target, outer.Target());
    EXPECT_EQ(quads[0].texture, inner.Target());
    EXPECT_EQ(quads[0].points[0], (render::PointF{10, 12}));
}

TEST_F(ShapeLayer, ASmallerMaskUpdatesOnlyTheFirstMaskAreaPixelsInRowOrder) {
    TKQShape& mask = Shape(1, 2, 2);
    TKQShape& layer = Shape(2, 3, 2);
    layer.SetObMask(1);
    Give(mask, {0x11000000u, 0x22000000u, 0x33000000u, 0x44FFFFFFu});
    Give(layer, {0xFFA00001u, 0xFFA00002u, 0xFFA00003u, 0xFFA00004u, 0xFFA00005u, 0xFFA00006u});
    layer.Compose();
    EXPECT_THAT(CompositePixels(layer),
                ::testing::ElementsAre(0x11A00001u, 0x22A00002u, 0x33A00003u, 0x44A00004u, 0u, 0u));
    // The rest keep what the composite held before.
    canvas.pixels[layer.Target()] = {0xFF000007u, 0xFF000008u, 0xFF000009u,
                                     0xFF00000Au, 0xFF00000Bu, 0xFF00000Cu};
    canvas.pixels[mask.Target()] = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    layer.Compose();
    // (The mask was not composed again: its pixels as read before still count.)
    EXPECT_THAT(CompositePixels(layer),
                ::testing::ElementsAre(0x11000007u, 0x22000008u, 0x33000009u, 0x4400000Au, 0u, 0u));
    mask.Compose();
    layer.Compose();
    EXPECT_THAT(CompositePixels(layer),
                ::testing::ElementsAre(0xFF000007u, 0xFF000008u, 0xFF000009u, 0xFF00000Au, 0u, 0u));
    // With a valid mask the layer draws the composite.
    EXPECT_EQ(DrawnQuad(layer).texture, layer.Composite());
}

TEST_F(ShapeLayer, InvalidMasksLeaveTheLayerDrawingItsTargetWithoutReadBacks) {
    TKQShape& layer = Shape(1, 4, 4);
    TKQShape& unmasked = Shape(2, 4, 4, false);
    TKQShape& neverComposed = Shape(3, 4, 4);
    auto* image = static_cast<TKQImage*>(rt.classes.CreateChild(*screen, "TKQImage"));
    image->Key = 4;
    for (int32_t key : {0, 99, 2, 3, 4}) {
        layer.SetObMask(key);
        layer.Compose();
        EXPECT_EQ(layer.ValidMask(), nullptr) << key;
        EXPECT_EQ(DrawnQuad(layer).texture, layer.Target()) << key;
    }
    EXPECT_EQ(ReadBacks(), 0u);
    EXPECT_EQ(canvas.readBacks, 0);
    // The mask is kept once resolved, until obMask is written ...
    neverComposed.Compose();
    layer.SetObMask(3);
    ASSERT_EQ(layer.ValidMask(), &neverComposed);
    neverComposed.Key = 50;
    EXPECT_EQ(layer.ValidMask(), &neverComposed);
    layer.SetObMask(3);
    EXPECT_EQ(layer.ValidMask(), nullptr);
    // ... and a mask that is freed is no mask any more.
    layer.SetObMask(50);
    ASSERT_EQ(layer.ValidMask(), &neverComposed);
    neverComposed.Destroy();
    EXPECT_EQ(layer.ValidMask(), nullptr);
    layer.Compose();
    EXPECT_EQ(DrawnQuad(layer).texture, layer.Target());
    (void)unmasked;
}

TEST_F(ShapeLayer, EachTargetIsReadBackOnceAfterEachDrawingWhateverUsesIt) {
    TKQShape& mask = Shape(1, 4, 4);
    TKQShape& a = Shape(2, 4, 4);
    TKQShapeEff& b = Shape<TKQShapeEff>(3, 4, 4);
    TKQShape& plain = Shape(4, 4, 4);
    a.SetObMask(1);
    b.SetObMask(1);
    b.Filter = TKQFilterType::flGrayscale;
    // One frame: the mask, then both users, and a layer without a mask.
    for (TKQShape* s : std::initializer_list<TKQShape*>{&mask, &a, &b, &plain}) {
        s->Compose();
    }
    EXPECT_EQ(ReadBacks(), 3u); // mask, a, b
    EXPECT_EQ(canvas.readBacks, 3);
    // The next frame composes the users only: the mask's pixels are still current.
    a.Compose();
    b.Compose();
    EXPECT_EQ(ReadBacks(), 5u);
    // A filter without a mask reads nothing back.
    TKQShapeEff& lone = Shape<TKQShapeEff>(5, 4, 4);
    lone.Filter = TKQFilterType::flSoft;
    lone.Compose();
    EXPECT_EQ(ReadBacks(), 5u);
}

TEST_F(ShapeLayer, ARefusedTargetDrawsNothingAndIsLoggedOnce) {
    test::LogCapture log;
    canvas.refuseTargets = true;
    TKQShape& s = Shape(1, 10, 10);
    for (int frame = 0; frame < 3; ++frame) {
        s.Compose();
    }
    EXPECT_EQ(s.TargetIndex(), -1);
    EXPECT_EQ(log.Lines(), 1u) << log.Text();
    canvas.rec.ClearCalls();
    s.Render(s.Order, 0xFFFFFFFFu, 0, 0, false);
    EXPECT_TRUE(canvas.Quads().empty());
    // A box the canvas cannot hold fails the same way; a later success takes index 0.
    canvas.refuseTargets = false;
    TKQShape& huge = Shape(2, 0, 10);
    huge.Compose();
    EXPECT_EQ(huge.TargetIndex(), -1);
    s.Compose();
    EXPECT_EQ(s.TargetIndex(), 0);
}

TEST_F(ShapeLayer, AFailedReadBackLeavesTheCompositeAsItWas) {
    TKQShape& mask = Shape(1, 2, 1);
    TKQShape& layer = Shape(2, 2, 1);
    layer.SetObMask(1);
    Give(mask, {0x80000000u, 0x40000000u});
    Give(layer, {0xFF010203u, 0xFF040506u});
    layer.Compose();
    ASSERT_THAT(CompositePixels(layer), ::testing::ElementsAre(0x80010203u, 0x40040506u));
    canvas.failReadBacks = true;
    canvas.pixels[layer.Target()] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    mask.Compose();
    layer.Compose();
    EXPECT_THAT(CompositePixels(layer), ::testing::ElementsAre(0x80010203u, 0x40040506u));
    // Once reading works again, the next Compose catches up.
    canvas.failReadBacks = false;
    canvas.pixels[mask.Target()] = {0xFF000000u, 0xFF000000u};
    layer.Compose();
    EXPECT_THAT(CompositePixels(layer), ::testing::ElementsAre(0xFFFFFFFFu, 0xFFFFFFFFu));
}

TEST_F(ShapeLayer, EffectTakesColoursFromThePictureRectangleAndFilters) {
    TKQShape& mask = Shape(1, 2, 2);
    TKQShape& picture = Shape(2, 3, 3);
    TKQShapeEff& eff = Shape<TKQShapeEff>(3, 2, 2);
    eff.SetObMask(1);
    eff.SetObPicture(2);
    eff.PictX = 2;
    eff.PictY = 1;
    Give(mask, {0xFF000000u, 0x80000000u, 0x40000000u, 0x20000000u});
    Give(picture, {0xFF000001u, 0xFF000002u, 0xFF000003u, //
                   0xFF000004u, 0xFF000005u, 0xFF000006u, //
                   0xFF000007u, 0xFF000008u, 0xFF000009u});
    canvas.rec.ClearCalls();
    eff.Compose();
    // With a valid picture the own target is not drawn into.
    for (const DrawCall& c : canvas.rec.Calls()) {
        EXPECT_NE(c.target, eff.Target());
    }
    // (2, 1) and (2, 2) lie in the picture; the column x = 3 lies outside: transparent black.
    EXPECT_THAT(CompositePixels(eff),
                ::testing::ElementsAre(0xFF000006u, 0x80000000u, 0x40000009u, 0x20000000u));

    // The grey filter over the combined picture keeps every alpha.
    eff.SetObPicture(0);
    Give(eff, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
    eff.Filter = TKQFilterType::flGrayscale;
    eff.Compose();
    const std::vector<uint32_t> grey = CompositePixels(eff);
    ASSERT_EQ(grey.size(), 4u);
    const uint32_t alphas[] = {0xFF, 0x80, 0x40, 0x20};
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t c = grey[i];
        EXPECT_EQ(c >> 24, alphas[i]);
        EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF) << i;
        EXPECT_EQ(c & 0xFF, (c >> 16) & 0xFF) << i;
    }
    EXPECT_LT(grey[0] & 0xFF, grey[3] & 0xFF); // red is darker than white
}

TEST_F(ShapeLayer, EffectWithoutAValidMaskDrawsItsUnfilteredTargetTurnedAndScaled) {
    TKQShapeEff& eff = Shape<TKQShapeEff>(1, 40, 20);
    eff.Filter = TKQFilterType::flWave;
    eff.Par1 = 3;
    eff.Par2 = 3;
    eff.Par3 = 4;
    eff.rX = 10;
    eff.rY = 30;
    eff.Scale = 2;
    eff.Angle = 90;
    eff.Compose();
    EXPECT_EQ(ReadBacks(), 0u);
    const DrawCall q = DrawnQuad(eff);
    EXPECT_EQ(q.texture, eff.Target());
    // Centre (10 + 40, 30 + 20); the 80 x 40 box turned a quarter clockwise: its top-left
    // corner goes to the right of the top.
    const auto near = [](render::PointF p, float x, float y) {
        return std::abs(p.x - x) < 0.01f && std::abs(p.y - y) < 0.01f;
    };
    EXPECT_TRUE(near(q.points[0], 70, 10)) << q.points[0].x << "," << q.points[0].y;
    EXPECT_TRUE(near(q.points[2], 30, 90)) << q.points[2].x << "," << q.points[2].y;
    EXPECT_TRUE(q.filtering);

    // Not masked: drawn as a shape, so no layer quad.
    eff.Masked = false;
    canvas.rec.ClearCalls();
    eff.Render(eff.Order, 0xFFFFFFFFu, 0, 0, false);
    for (const DrawCall& c : canvas.Quads()) {
        EXPECT_NE(c.texture, eff.Target());
    }
}

TEST_F(ShapeLayer, ApplyFilterWorksOnceOnTheCompositeOfAValidMaskOnly) {
    TKQShape& mask = Shape(1, 2, 1);
    TKQShapeEff& eff = Shape<TKQShapeEff>(2, 2, 1);
    eff.AutoRender = false;
    Give(mask, {0xFF000000u, 0x80000000u});
    Give(eff, {0xFFFF0000u, 0xFF0000FFu});
    // No valid mask yet: nothing changes, nothing is read.
    eff.ApplyFilter(10, 0, 0, 0);
    EXPECT_THAT(CompositePixels(eff), ::testing::ElementsAre(0u, 0u));
    eff.SetObMask(1);
    eff.Compose();
    ASSERT_THAT(CompositePixels(eff), ::testing::ElementsAre(0xFFFF0000u, 0x800000FFu));
    const uint64_t before = ReadBacks();
    eff.ApplyFilter(10, 0, 0, 0); // grey
    const std::vector<uint32_t> grey = CompositePixels(eff);
    EXPECT_EQ(ReadBacks(), before); // the composite is kept, not read back
    EXPECT_EQ(grey[0] >> 24, 0xFFu);
    EXPECT_EQ(grey[1] >> 24, 0x80u);
    EXPECT_EQ(grey[0] & 0xFF, (grey[0] >> 16) & 0xFF);
    // Filter values without an operation change nothing.
    for (int32_t none : {0, 16, -1, 1000}) {
        eff.ApplyFilter(none, 1, 1, 1);
        EXPECT_EQ(CompositePixels(eff), grey) << none;
    }
    // The next Compose overwrites the one-time filter.
    eff.Compose();
    EXPECT_THAT(CompositePixels(eff), ::testing::ElementsAre(0xFFFF0000u, 0x800000FFu));
}

TEST_F(ShapeLayer, AFreedShapeGivesBackItsTargetAndComposite) {
    TKQShape& layer = Shape(1, 8, 8);
    layer.Compose();
    const size_t textures = canvas.rec.TextureCount();
    TKQShape& other = Shape(2, 8, 8);
    other.Destroy();
    EXPECT_EQ(canvas.rec.TextureCount(), textures); // never composed: nothing to free
    layer.Destroy();
    EXPECT_EQ(canvas.rec.TextureCount(), textures - 2); // target and composite freed
}

} // namespace
} // namespace kq::elements
