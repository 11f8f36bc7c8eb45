// TKQShape and TKQShapeEff, unmasked: the box fill, the pie texture (made once, remade on a
// change of the box or the angles, freed with the shape), the Crop clip (intersected, ordered,
// restored) and the hit tests, on the recording canvas.
#include "elements/shape.h"

#include "elements_test_util.h"
#include "media/pie_raster.h"

#include <vector>

namespace kq::test {
namespace {

using elements::TKQShape;
using elements::TKQShapeEff;
using elements::TKQShapeType;
using render::DrawCall;
using render::RectI;

class ShapeTest : public ElementsTest {
protected:
    TKQShape& Shape(scene::TKQElement& parent, std::string id, int32_t x, int32_t y, int32_t w,
                    int32_t h) {
        auto& s = Add<TKQShape>(parent, "TKQShape", std::move(id));
        s.SetX(x);
        s.SetY(y);
        s.SetSizeX(w);
        s.SetSizeY(h);
        return s;
    }
    std::vector<DrawCall> CallsOf(DrawCall::Kind kind) const {
        std::vector<DrawCall> out;
        for (const DrawCall& c : Calls()) {
            if (c.kind == kind) {
                out.push_back(c);
            }
        }
        return out;
    }
};

TEST_F(ShapeTest, BoxFillsItsRectangleWithTheColourWordAndBlend) {
    auto& screen = Screen("S");
    auto& box = Shape(screen, "Box", 10, 20, 30, 40);
    box.SetHxColor(0x123456);
    box.SetHxTrans(200);
    box.hxDrawFx = 0x104;
    box.SetOrder(2);
    // Positions are rounded, halves to even: 10.5 -> 10, 20.75 -> 21.
    for (int32_t layer = 0; layer <= 2; ++layer) {
        box.Render(layer, 0xFFFFFFFFu, 0.5, 0.75, false);
    }
    const std::vector<DrawCall> rects = CallsOf(DrawCall::Kind::kRect);
    ASSERT_EQ(rects.size(), 1u) << "drawn on its own layer only";
    EXPECT_EQ(rects[0].points[0], (render::PointF{10, 21}));
    EXPECT_EQ(rects[0].points[2], (render::PointF{40, 61}));
    EXPECT_EQ(rects[0].colors[0], 0xC8123456u);
    EXPECT_EQ(rects[0].blend, 0x104u);
}

TEST_F(ShapeTest, CropClipsTheChildrenToTheIntersectionAndRestoresTheClip) {
    auto& screen = Screen("S");
    auto& frame = Shape(screen, "Frame", 100, 50, 200, 100);
    frame.Crop = true;
    auto& child = Shape(frame, "Child", -20, 60, 400, 400);
    (void)child;
    auto& after = Shape(screen, "After", 0, 0, 5, 5);
    (void)after;
    // The current clip covers only part of the frame's box.
    const RectI outer{0, 0, 250, 400};
    canvas.SetClipRect(outer);
    RenderFrame(screen);
    const std::vector<DrawCall> rects = CallsOf(DrawCall::Kind::kRect);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].clip, (RectI{100, 50, 250, 150})) << "the frame's own fill is clipped too";
    EXPECT_EQ(rects[1].clip, (RectI{100, 50, 250, 150}));
    EXPECT_EQ(rects[1].points[0], (render::PointF{80, 110})) << "the child is placed in the frame";
    EXPECT_EQ(rects[2].clip, outer) << "the sibling after the frame draws under the old clip";
    EXPECT_EQ(canvas.ClipRect(), outer);
}

TEST_F(ShapeTest, CropOrdersTheEdgesOfANegativeBoxAndEmptiesWithoutOverlap) {
    auto& screen = Screen("S");
    auto& frame = Shape(screen, "Frame", 300, 200, -100, -50);
    frame.Crop = true;
    Shape(frame, "Child", -100, -50, 10, 10);
    RenderFrame(screen);
    std::vector<DrawCall> rects = CallsOf(DrawCall::Kind::kRect);
    ASSERT_EQ(rects.size(), 1u) << "a box of negative size fills nothing itself";
    EXPECT_EQ(rects[0].clip, (RectI{200, 150, 300, 200}));

    // A frame entirely outside the current clip leaves an empty, ordered clip for its children.
    canvas.ClearCalls();
    frame.SizeX = 100;
    frame.SizeY = 50;
    frame.SetX(600);
    canvas.SetClipRect(RectI{0, 0, 500, 500});
    RenderFrame(screen);
    rects = CallsOf(DrawCall::Kind::kRect);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_TRUE(rects[1].clip.Empty());
    EXPECT_LE(rects[1].clip.left, rects[1].clip.right);
    EXPECT_LE(rects[1].clip.top, rects[1].clip.bottom);
    EXPECT_EQ(canvas.ClipRect(), (RectI{0, 0, 500, 500}));
}

TEST_F(ShapeTest, TransparentShapeFillsNothingButItsChildrenAreDrawnAndClipped) {
    auto& screen = Screen("S");
    auto& frame = Shape(screen, "Frame", 100, 100, 50, 50);
    frame.Crop = true;
    frame.SetHxTrans(5);
    frame.ShapeType = TKQShapeType::stCircle;
    frame.Par3 = 1;
    Shape(frame, "Child", 10, 10, 100, 100);
    RenderFrame(screen);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].kind, DrawCall::Kind::kRect);
    EXPECT_EQ(Calls()[0].clip, (RectI{100, 100, 150, 150}));
    EXPECT_EQ(canvas.TextureCount(), 0u) << "no pie is made for a shape that draws nothing";

    canvas.ClearCalls();
    frame.SetHxTrans(6);
    RenderFrame(screen);
    EXPECT_EQ(CallsOf(DrawCall::Kind::kQuad).size(), 1u);
}

TEST_F(ShapeTest, PieTextureIsTheRasterisedPieDrawnScaledByPar3) {
    auto& screen = Screen("S");
    auto& pie = Shape(screen, "Pie", 40, 30, 64, 32);
    pie.ShapeType = TKQShapeType::stCircle;
    pie.Par1 = 90;
    pie.Par2 = 0;
    pie.Par3 = 1.5;
    pie.SetHxColor(0xFF0000);
    pie.hxDrawFx = 1; // the pie ignores it
    RenderFrame(screen);
    const std::vector<DrawCall> quads = CallsOf(DrawCall::Kind::kQuad);
    ASSERT_EQ(quads.size(), 1u);
    const DrawCall& q = quads[0];
    EXPECT_EQ(q.points[0], (render::PointF{40, 30}));
    EXPECT_EQ(q.points[2], (render::PointF{40 + 96, 30 + 48}));
    EXPECT_EQ(q.colors[0], 0xFFFF0000u);
    EXPECT_EQ(q.blend, 1284u);
    EXPECT_TRUE(q.modulate);
    EXPECT_TRUE(q.filtering) << "a scaled pie is sampled smoothly";
    std::vector<uint32_t> expected;
    media::RasterPie(64, 32, 90, 0, expected);
    EXPECT_EQ(canvas.TextureSize(q.texture), (render::SizeI{64, 32}));
    EXPECT_EQ(canvas.ReadPixels(q.texture), expected);
}

TEST_F(ShapeTest, PieIsRemadeOnlyWhenTheBoxOrTheAnglesChange) {
    auto& screen = Screen("S");
    auto& pie = Shape(screen, "Pie", 0, 0, 20, 20);
    pie.ShapeType = TKQShapeType::stCircle;
    pie.Par1 = 0;
    pie.Par2 = 90;
    pie.Par3 = 1;
    RenderFrame(screen);
    ASSERT_EQ(CallsOf(DrawCall::Kind::kQuad).size(), 1u);
    const render::TextureId texture = CallsOf(DrawCall::Kind::kQuad)[0].texture;
    const std::vector<uint32_t> first = canvas.ReadPixels(texture);
    ASSERT_EQ(canvas.TextureCount(), 1u);

    // Colour, position and scale changes reuse the texture as it is.
    pie.SetHxColor(0x00FF00);
    pie.SetX(50);
    pie.Par3 = 2;
    RenderFrame(screen);
    RenderFrame(screen);
    EXPECT_EQ(canvas.TextureCount(), 1u);
    EXPECT_EQ(CallsOf(DrawCall::Kind::kQuad).back().texture, texture);
    EXPECT_EQ(canvas.ReadPixels(texture), first);

    // New angles: the same texture holds the new pie.
    pie.Par2 = 180;
    RenderFrame(screen);
    EXPECT_EQ(canvas.TextureCount(), 1u);
    std::vector<uint32_t> expected;
    media::RasterPie(20, 20, 0, 180, expected);
    EXPECT_EQ(canvas.ReadPixels(CallsOf(DrawCall::Kind::kQuad).back().texture), expected);

    // A new box: the texture takes the new size.
    pie.SetSizeX(30);
    RenderFrame(screen);
    EXPECT_EQ(canvas.TextureCount(), 1u);
    const render::TextureId resized = CallsOf(DrawCall::Kind::kQuad).back().texture;
    EXPECT_EQ(canvas.TextureSize(resized), (render::SizeI{30, 20}));
    media::RasterPie(30, 20, 0, 180, expected);
    EXPECT_EQ(canvas.ReadPixels(resized), expected);

    // Scale 0 draws nothing; the texture stays.
    canvas.ClearCalls();
    pie.Par3 = 0;
    RenderFrame(screen);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(canvas.TextureCount(), 1u);
}

TEST_F(ShapeTest, PieTextureIsFreedWithTheShape) {
    auto& screen = Screen("S");
    auto* pie = &Shape(screen, "Pie", 0, 0, 16, 16);
    pie->ShapeType = TKQShapeType::stCircle;
    pie->Par3 = 1;
    RenderFrame(screen);
    ASSERT_EQ(canvas.TextureCount(), 1u);
    pie->Destroy();
    EXPECT_EQ(canvas.TextureCount(), 0u);
}

TEST_F(ShapeTest, NothingIsDrawnWithoutACanvasOrAUsableBox) {
    auto& screen = Screen("S");
    auto& pie = Shape(screen, "Pie", 0, 0, 0, 16);
    pie.ShapeType = TKQShapeType::stCircle;
    pie.Par3 = 1;
    pie.Crop = true;
    RenderFrame(screen);
    pie.SizeX = render::kMaxTextureSide + 1;
    RenderFrame(screen);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(canvas.TextureCount(), 0u);

    rt.canvas = nullptr;
    pie.SizeX = 16;
    auto& box = Shape(pie, "Box", 0, 0, 10, 10);
    box.Crop = true;
    RenderFrame(screen);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(ShapeTest, MaskedShapeDoesNotDrawItsChildrenInTheScene) {
    auto& screen = Screen("S");
    auto& layer = Shape(screen, "Layer", 0, 0, 50, 50);
    layer.Masked = true;
    Shape(layer, "Child", 0, 0, 10, 10);
    RenderFrame(screen);
    EXPECT_TRUE(CallsOf(DrawCall::Kind::kRect).empty());
}

TEST_F(ShapeTest, HitsTheWholeBoxWithEdgesOnItsOwnLayer) {
    auto& screen = Screen("S");
    auto& pie = Shape(screen, "Pie", 100, 100, 50, 40);
    pie.ShapeType = TKQShapeType::stCircle;
    pie.SetOrder(1);
    EXPECT_EQ(HitAt(screen, 100, 100), &pie) << "a corner outside the pie still counts";
    EXPECT_EQ(HitAt(screen, 150, 140), &pie);
    EXPECT_EQ(HitAt(screen, 151, 120), nullptr);
    EXPECT_EQ(HitAt(screen, 120, 99), nullptr);
    EXPECT_EQ(screen.ElementAt(0, 120, 120, 0, 0), nullptr) << "another layer";
    pie.MousedVis = false;
    EXPECT_EQ(HitAt(screen, 120, 120), nullptr);
    pie.SetVis(false);
    EXPECT_EQ(HitAt(screen, 120, 120), nullptr);
    pie.MousedNotVis = true;
    EXPECT_EQ(HitAt(screen, 120, 120), &pie);
}

TEST_F(ShapeTest, ChildOutsideACropBoxCannotBeClicked) {
    auto& screen = Screen("S");
    auto& frame = Shape(screen, "Frame", 100, 100, 100, 50);
    frame.Crop = true;
    auto& row = Shape(frame, "Row", 0, 40, 100, 30); // 140..170 on screen, half outside
    row.SetOrder(1);
    EXPECT_EQ(HitAt(screen, 150, 145), &row);
    EXPECT_EQ(HitAt(screen, 150, 150), &row) << "the box's edge counts";
    EXPECT_EQ(HitAt(screen, 150, 160), nullptr);
    EXPECT_EQ(HitAt(screen, 150, 120), &frame) << "the frame itself under no child";

    frame.Crop = false;
    EXPECT_EQ(HitAt(screen, 150, 160), &row);
}

TEST_F(ShapeTest, ShapeEffectHitsItsBoxScaledByScale) {
    auto& screen = Screen("S");
    auto& eff = Add<TKQShapeEff>(screen, "TKQShapeEff", "Eff");
    eff.SetX(100);
    eff.SetY(50);
    eff.SetSizeX(40);
    eff.SetSizeY(20);
    eff.Scale = 2.5;
    EXPECT_EQ(HitAt(screen, 200, 100), &eff) << "the far corner of the scaled box";
    EXPECT_EQ(HitAt(screen, 201, 100), nullptr);
    EXPECT_EQ(HitAt(screen, 200, 101), nullptr);
    EXPECT_EQ(HitAt(screen, 99, 60), nullptr);
    eff.Scale = 0.5;
    EXPECT_EQ(HitAt(screen, 120, 60), &eff);
    EXPECT_EQ(HitAt(screen, 121, 60), nullptr);
    EXPECT_EQ(HitAt(screen, 120, 61), nullptr);

    // A cropped effect keeps its children's hits inside the scaled box.
    eff.Crop = true;
    auto& child = Shape(eff, "Child", 0, 0, 200, 200);
    EXPECT_EQ(HitAt(screen, 110, 55), &child);
    EXPECT_EQ(HitAt(screen, 130, 55), nullptr);
}

} // namespace
} // namespace kq::test
