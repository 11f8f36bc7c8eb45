#include "elements_test_util.h"

#include "script/value.h"

namespace kq::elements {
namespace {

using render::PointF;

class ImageTest : public test::ElementsTest {
protected:
    ImageTest() : s(Screen("s")) {}

    void ExpectPoint(PointF p, float x, float y) {
        EXPECT_NEAR(p.x, x, 1e-3);
        EXPECT_NEAR(p.y, y, 1e-3);
    }

    TKQScreen& s;
};

TEST_F(ImageTest, SizesAnchorsAndStoredThousandths) {
    SolidPng("wide.png", 101, 10);
    TKQImage& img = Image(s, "img", "wide.png");
    EXPECT_EQ(std::get<std::string>(Get(img, "imImage")), "WIDE.PNG");
    img.PosHor = TKQPosHor::phCenter;
    img.SetX(50);
    EXPECT_EQ(img.GetAbsX(), 0); // 101 div 2 = 50
    img.PosHor = TKQPosHor::phRight;
    EXPECT_EQ(img.GetAbsX(), -51);
    img.PosVert = TKQPosVert::pvBottom;
    img.SetY(30);
    EXPECT_EQ(img.GetAbsY(), 20);

    // The parent's anchored corner is what children add to.
    SolidPng("sq.png", 20, 20);
    TKQImage& parent = Image(s, "parent", "sq.png");
    parent.PosHor = TKQPosHor::phCenter;
    parent.SetX(100);
    TKQImage& child = Image(parent, "child", "wide.png");
    child.PosHor = TKQPosHor::phCenter;
    child.SetX(50);
    EXPECT_EQ(child.GetAbsX(), 90);

    Set(img, "Scale", 2.0);
    EXPECT_EQ(img.GetSizeX(), 202);
    Set(img, "Scale", 1.0004);
    EXPECT_DOUBLE_EQ(std::get<double>(Get(img, "Scale")), 1.0);
    Set(img, "Angle", 12.3456);
    EXPECT_DOUBLE_EQ(std::get<double>(Get(img, "Angle")), 12.346);
    img.ScaleX = 1.5;
    EXPECT_EQ(img.GetSizeX(), 152); // round(151.5), halves to even
    img.ScaleY = 0.5;
    EXPECT_EQ(img.GetSizeY(), 5);
    img.SetSizeX(7); // not writable
    EXPECT_EQ(img.GetSizeX(), 152);

    TKQImage& none = Image(s, "none");
    EXPECT_EQ(none.GetSizeX(), 0);
    EXPECT_EQ(std::get<std::string>(Get(none, "imImage")), "");
}

TEST_F(ImageTest, PlainQuadCarriesColourBlendAndPlacesChildrenAtTopLeft) {
    SolidPng("p.png", 20, 10);
    SolidPng("c.png", 4, 4);
    TKQImage& img = Image(s, "img", "p.png");
    img.PosHor = TKQPosHor::phCenter;
    img.PosVert = TKQPosVert::pvCenter;
    img.rX = 100;
    img.rY = 50;
    img.hxDrawFx = 260;
    Set(img, "hxColor", static_cast<int32_t>(0x112233));
    Set(img, "hxTrans", 200);
    TKQImage& child = Image(img, "child", "c.png");

    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 2u);
    const render::DrawCall& q = Calls()[0];
    EXPECT_EQ(q.texture, TextureOf(img));
    ExpectPoint(q.points[0], 90, 45);
    ExpectPoint(q.points[2], 110, 55);
    EXPECT_EQ(q.source, (render::SourceRect{0, 0, 20, 10}));
    EXPECT_EQ(q.colors,
              (std::array<render::Color, 4>{0xC8112233u, 0xC8112233u, 0xC8112233u, 0xC8112233u}));
    EXPECT_EQ(q.blend, 260u);
    EXPECT_TRUE(q.filtering);
    EXPECT_EQ(Calls()[1].texture, TextureOf(child));
    ExpectPoint(Calls()[1].points[0], 90, 45);
}

TEST_F(ImageTest, NormalBlendAtScaleOneDrawsOnlyTheOpaqueBounds) {
    Png("spot.png", 16, 16, [](int x, int y) {
        return x >= 4 && x <= 9 && y >= 2 && y <= 5 ? 0xFF00FF00u : 0x00000000u;
    });
    TKQImage& img = Image(s, "spot", "spot.png");
    img.SetX(100);
    img.SetY(200);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], 104, 202);
    ExpectPoint(Calls()[0].points[2], 110, 206);
    EXPECT_EQ(Calls()[0].source, (render::SourceRect{4, 2, 6, 4}));

    // Any other blend, scale or angle draws the whole frame.
    canvas.ClearCalls();
    img.SetScale(2);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], 100, 200);
    ExpectPoint(Calls()[0].points[2], 132, 232);
    EXPECT_EQ(Calls()[0].source, (render::SourceRect{0, 0, 16, 16}));

    canvas.ClearCalls();
    img.SetScale(1);
    img.hxDrawFx = 0x104;
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[2], 116, 216);
}

TEST_F(ImageTest, SheetFramesAreSizedAndDrawnByAnim) {
    Png("walk.png", 30, 10, [](int x, int) { return x < 10 ? 0xFF000000u : 0x00000000u; });
    dir.Write("walk.an", "3\r\n1\r\n");
    TKQImage& img = Image(s, "walk", "walk.png");
    EXPECT_EQ(img.GetSizeX(), 10);
    img.Anim = 2;
    img.SetX(5);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].pattern, 2);
    // Several frames: no opaque-bounds shortcut, the whole frame is drawn.
    ExpectPoint(Calls()[0].points[0], 5, 0);
    ExpectPoint(Calls()[0].points[2], 15, 10);
    // The hit test reads frame 0 whatever frame is shown.
    EXPECT_EQ(img.ElementAt(0, 8, 5, 0, 0), &img);
}

TEST_F(ImageTest, AngleRotatesTheQuadClockwiseAboutItsCentre) {
    SolidPng("bar.png", 20, 10);
    TKQImage& img = Image(s, "bar", "bar.png");
    img.PosHor = TKQPosHor::phCenter;
    img.PosVert = TKQPosVert::pvCenter;
    img.SetX(100);
    img.SetY(100);
    img.SetAngle(90);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], 105, 90);
    ExpectPoint(Calls()[0].points[1], 105, 110);
    ExpectPoint(Calls()[0].points[2], 95, 110);
    ExpectPoint(Calls()[0].points[3], 95, 90);
}

TEST_F(ImageTest, NearlyTransparentImageDrawsOnlyItsChildren) {
    SolidPng("p.png", 8, 8);
    SolidPng("c.png", 4, 4);
    TKQImage& img = Image(s, "img", "p.png");
    TKQImage& child = Image(img, "child", "c.png");
    img.SetHxTrans(5);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].texture, TextureOf(child));
    canvas.ClearCalls();
    img.SetHxTrans(6);
    RenderFrame(s);
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(ImageTest, GuardBandTrimsWholeSourcePixels) {
    SolidPng("big.png", 2000, 4);
    TKQImage& img = Image(s, "big", "big.png");
    img.PosHor = TKQPosHor::phCenter;
    img.hxDrawFx = 260;

    img.rX = 3000; // spans 2000..4000: cut beyond 2048 plus one pixel
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], 2000, 0);
    ExpectPoint(Calls()[0].points[1], 2047, 0);
    EXPECT_EQ(Calls()[0].source, (render::SourceRect{0, 0, 47, 4}));

    canvas.ClearCalls();
    img.rX = -2000; // spans -3000..-1000: the left part goes
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], -1025, 0);
    ExpectPoint(Calls()[0].points[1], -1000, 0);
    EXPECT_EQ(Calls()[0].source, (render::SourceRect{1975, 0, 25, 4}));

    canvas.ClearCalls();
    img.rX = 10000; // wholly beyond the band: nothing left to draw
    RenderFrame(s);
    EXPECT_TRUE(Calls().empty());

    // Axis scale counts: each source pixel is two screen pixels wide here.
    SolidPng("mid.png", 100, 4);
    TKQImage& mid = Image(s, "mid", "mid.png");
    mid.PosHor = TKQPosHor::phCenter;
    mid.ScaleX = 2;
    mid.rX = -1100; // spans -1200..-1000
    img.SetVis(false);
    canvas.ClearCalls();
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    ExpectPoint(Calls()[0].points[0], -1026, 0);
    ExpectPoint(Calls()[0].points[1], -1000, 0);
    EXPECT_EQ(Calls()[0].source, (render::SourceRect{87, 0, 13, 4}));
}

TEST_F(ImageTest, UnloadedPictureIsLoadedAtDrawTimeAndMissingOneDrawsNothing) {
    SolidPng("late.png", 8, 6);
    SolidPng("c.png", 4, 4);
    images.SetLoadImagesNow(false); // as while the scene file is read
    TKQImage& late = Image(s, "late", "late.png");
    EXPECT_EQ(late.Picture(), nullptr);
    EXPECT_EQ(late.GetSizeX(), 0);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(late.GetSizeX(), 8);
    EXPECT_FALSE(images.LoadImagesNow());
    EXPECT_FALSE(rt.loadImagesNow);

    images.SetLoadImagesNow(true);
    canvas.ClearCalls();
    late.SetVis(false);
    TKQImage& gone = Image(s, "gone", "gone.png");
    gone.SetX(40);
    TKQImage& child = Image(gone, "child", "c.png");
    child.SetX(3);
    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].texture, TextureOf(child));
    ExpectPoint(Calls()[0].points[0], 43, 0);
    EXPECT_EQ(gone.GetSizeX(), 0);
    EXPECT_EQ(HitAt(s, 41, 1), nullptr);
    EXPECT_EQ(HitAt(s, 44, 1), &child);
}

class ImageHitTest : public ImageTest {};

TEST_F(ImageHitTest, AlphaDecidesAndThresholdMustBeExceeded) {
    Png("half.png", 20, 20, [](int x, int) { return x < 10 ? 0xFF0000FFu : 0x000000FFu; });
    TKQImage& img = Image(s, "half", "half.png");
    img.SetX(100);
    img.SetY(100);
    EXPECT_EQ(HitAt(s, 105, 110), &img);
    EXPECT_EQ(HitAt(s, 115, 110), nullptr);

    SolidPng("mid.png", 10, 10, 0x80FFFFFFu);
    TKQImage& mid = Image(s, "mid", "mid.png");
    EXPECT_EQ(mid.ElementAt(0, 5, 5, 0, 127), &mid);
    EXPECT_EQ(mid.ElementAt(0, 5, 5, 0, 128), nullptr);

    // Only the image's own layer, and only while it takes the mouse.
    EXPECT_EQ(img.ElementAt(1, 105, 110, 0, 0), nullptr);
    img.SetVis(false);
    EXPECT_EQ(img.ElementAt(0, 105, 110, 0, 0), nullptr);
    img.MousedNotVis = true;
    EXPECT_EQ(img.ElementAt(0, 105, 110, 0, 0), &img);
    img.SetVis(true);
    img.MousedVis = false;
    EXPECT_EQ(img.ElementAt(0, 105, 110, 0, 0), nullptr);
}

TEST_F(ImageHitTest, RotationTurnsTheShapeButScaleXIsIgnored) {
    SolidPng("bar.png", 40, 10);
    TKQImage& bar = Image(s, "bar", "bar.png");
    bar.PosHor = TKQPosHor::phCenter;
    bar.PosVert = TKQPosVert::pvCenter;
    bar.SetX(100);
    bar.SetY(100);
    EXPECT_EQ(bar.ElementAt(0, 115, 100, 0, 0), &bar);
    EXPECT_EQ(bar.ElementAt(0, 100, 115, 0, 0), nullptr);
    bar.SetAngle(90);
    EXPECT_EQ(bar.ElementAt(0, 100, 115, 0, 0), &bar);
    EXPECT_EQ(bar.ElementAt(0, 115, 100, 0, 0), nullptr);

    SolidPng("sq.png", 20, 20);
    TKQImage& sq = Image(s, "sq", "sq.png");
    sq.SetX(100);
    sq.SetY(100);
    sq.ScaleX = 2; // drawn 40 wide, hit only on the first 20
    EXPECT_EQ(sq.ElementAt(0, 115, 110, 0, 0), &sq);
    EXPECT_EQ(sq.ElementAt(0, 125, 110, 0, 0), nullptr);
    sq.ScaleX = 1;
    sq.SetScale(2);
    EXPECT_EQ(sq.ElementAt(0, 135, 110, 0, 0), &sq);
    EXPECT_EQ(sq.ElementAt(0, 141, 110, 0, 0), nullptr);
}

TEST_F(ImageHitTest, MarginCatchesPointsAroundThePicture) {
    SolidPng("sq.png", 20, 20);
    TKQImage& sq = Image(s, "sq", "sq.png");
    sq.SetX(100);
    sq.SetY(100);
    EXPECT_EQ(sq.ElementAt(0, 97, 110, 0, 0), nullptr);
    EXPECT_EQ(sq.ElementAt(0, 97, 110, 3, 0), &sq);
    EXPECT_EQ(sq.ElementAt(0, 122, 110, 3, 0), &sq);
    EXPECT_EQ(sq.ElementAt(0, 96, 110, 3, 0), nullptr);
}

TEST_F(ImageHitTest, ChildrenAreAskedFirstRelativeToTheAnchoredCorner) {
    SolidPng("sq.png", 20, 20);
    SolidPng("tiny.png", 4, 4);
    TKQImage& parent = Image(s, "parent", "sq.png");
    parent.PosHor = TKQPosHor::phCenter;
    parent.PosVert = TKQPosVert::pvCenter;
    parent.SetX(100);
    parent.SetY(100);
    TKQImage& child = Image(parent, "child", "tiny.png");
    EXPECT_EQ(HitAt(s, 91, 91), &child);
    EXPECT_EQ(HitAt(s, 96, 96), &parent);
    EXPECT_EQ(HitAt(s, 111, 100), nullptr);
}

class ImListTest : public ImageTest {
protected:
    ImListTest() : list(Add<TKQImList>(s, "TKQImList", "list")) {
        list.SetX(10);
        list.SetY(20);
    }
    // Writes the grid through the published properties, as a scene file does.
    void Grid(int32_t cols, int32_t rows, int32_t sizeX, int32_t sizeY, int32_t space) {
        Set(list, "ColCount", cols);
        Set(list, "RowCount", rows);
        Set(list, "SizeX", sizeX);
        Set(list, "SizeY", sizeY);
        Set(list, "Space", space);
    }
    std::vector<TKQImage*> Items(int n) {
        std::vector<TKQImage*> out;
        for (int i = 0; i < n; ++i) {
            const std::string name = "item" + std::to_string(i) + ".png";
            SolidPng(name, 10, 10);
            TKQImage& img = Image(s, "item" + std::to_string(i), name);
            list.AddItem(img);
            out.push_back(&img);
        }
        return out;
    }
    std::string Elements() {
        script::Value v;
        EXPECT_TRUE(list.GetProp("ELEMENTS", v));
        return v.RawStr();
    }

    TKQImList& list;
};

TEST_F(ImListTest, CellsAndScrollPositionFollowTheGrid) {
    Grid(3, 2, 100, 50, 5);
    EXPECT_EQ(list.ElWidth, 30);
    EXPECT_EQ(list.ElHeight, 22);
    Set(list, "ElWidth", 99); // computed, never written
    EXPECT_EQ(list.ElWidth, 30);

    Items(7);
    EXPECT_EQ(list.FirstRow(), 1); // adding scrolls toward the new item
    Set(list, "ScrollPos", 0);
    EXPECT_EQ(std::get<int32_t>(Get(list, "ScrollPos")), 0);
    Set(list, "ScrollPos", 6); // rows 3, 3 - 2 = 1
    EXPECT_EQ(list.FirstRow(), 1);
    EXPECT_EQ(std::get<int32_t>(Get(list, "ScrollPos")), 3);
    Set(list, "ScrollPos", 100);
    EXPECT_EQ(list.FirstRow(), 1);
    Set(list, "ScrollPos", -5);
    EXPECT_EQ(list.FirstRow(), 0);

    Set(list, "ScrollPos", 3);
    Set(list, "ColCount", 0);
    EXPECT_EQ(list.ElWidth, 0);
    EXPECT_EQ(list.ElHeight, 0);
    Set(list, "ScrollPos", 6);
    EXPECT_EQ(list.FirstRow(), 0);
    Set(list, "ColCount", INT32_MIN); // hostile values must not overflow
    Set(list, "Space", INT32_MAX);
    EXPECT_GE(list.ElWidth, 0);
}

TEST_F(ImListTest, ElementsTextKeepsOnlyImagesByKey) {
    auto items = Items(3);
    EXPECT_EQ(Elements(), std::to_string(items[0]->Key) + ";" + std::to_string(items[1]->Key) +
                              ";" + std::to_string(items[2]->Key) + ";");
    const std::string text = " " + std::to_string(items[2]->Key) + "; x; ;" +
                             std::to_string(items[0]->Key) + " ;" + std::to_string(s.Key) +
                             ";99999;" + std::to_string(list.Key);
    ASSERT_TRUE(list.SetProp("ELEMENTS", script::Value::Str(text)));
    ASSERT_EQ(list.ItemCount(), 2u);
    EXPECT_EQ(list.ItemImage(0), items[2]);
    EXPECT_EQ(list.ItemImage(1), items[0]);
    EXPECT_EQ(Elements(),
              std::to_string(items[2]->Key) + ";" + std::to_string(items[0]->Key) + ";");
    ASSERT_TRUE(list.SetProp("ELEMENTS", script::Value::Str("")));
    EXPECT_EQ(Elements(), "");
    EXPECT_FALSE(list.SetProp("SELEL", script::Value::Int(1)));
    script::Value unknown;
    EXPECT_FALSE(list.GetProp("NOSUCHNAME", unknown));
}

TEST_F(ImListTest, HoverTracksCellsAndRunsOutBeforeIn) {
    Grid(3, 2, 100, 50, 5);
    auto items = Items(7);
    list.SetScript(scene::ScriptSlot::MouseIn, "in");
    list.SetScript(scene::ScriptSlot::MouseOut, "out");
    Set(list, "ScrollPos", 0);

    EXPECT_EQ(list.ElementAt(0, 11, 21, 0, 0), &list);
    EXPECT_EQ(list.HoveredIndex(), 0);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"list:ms_In"}));
    host.runs.clear();
    EXPECT_EQ(list.ElementAt(0, 10 + 36, 21, 0, 0), &list);
    EXPECT_EQ(list.HoveredIndex(), 1);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"list:ms_Out", "list:ms_In"}));

    host.runs.clear();
    Set(list, "ScrollPos", 6);
    EXPECT_EQ(list.ElementAt(0, 11, 20 + 28, 0, 0), &list); // row 1 of the view: item 6
    EXPECT_EQ(list.HoveredIndex(), 6);
    script::Value selected;
    ASSERT_TRUE(list.GetProp("SELEL", selected));
    EXPECT_EQ(selected.AsHandle(), items[6]->Handle());

    host.runs.clear();
    EXPECT_EQ(list.ElementAt(0, 10 + 36, 20 + 28, 0, 0), &list); // the empty eighth cell
    EXPECT_EQ(list.HoveredIndex(), -1);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"list:ms_Out"}));
    ASSERT_TRUE(list.GetProp("SELEL", selected));
    EXPECT_EQ(selected.Kind(), script::VarKind::Byte);
    EXPECT_EQ(selected.RawInt(), 0);

    host.runs.clear();
    EXPECT_EQ(list.ElementAt(0, 5, 5, 0, 0), nullptr);
    EXPECT_EQ(list.ElementAt(1, 11, 21, 0, 0), nullptr); // not the list's layer
    EXPECT_TRUE(host.runs.empty());
}

TEST_F(ImListTest, HoverZoomGrowsToScaleAndShrinksBack) {
    Grid(3, 2, 100, 50, 5);
    Items(2);
    list.Scale = 1.2;
    list.SetScript(scene::ScriptSlot::Process, "p");
    list.ElementAt(0, 11, 21, 0, 0);
    for (int i = 0; i < 10; ++i) {
        list.Process();
    }
    EXPECT_GE(list.ItemAt(0).zoom, 1.2 - 1e-9);
    EXPECT_LE(list.ItemAt(0).zoom, 1.25 + 1e-9);
    EXPECT_EQ(list.ItemAt(1).zoom, 1.0);
    EXPECT_TRUE(host.runs.empty()); // the list's own Process text does not run

    list.ElementAt(0, 5, 5, 0, 0);
    list.Process();
    EXPECT_GT(list.ItemAt(0).zoom, 1.0);
    list.Process();
    list.Process();
    EXPECT_EQ(list.ItemAt(0).zoom, 1.0);
}

TEST_F(ImListTest, RenderFitsItemsInCellsAndDrawsTheHoveredOneLast) {
    Grid(3, 1, 100, 22, 5);
    auto items = Items(3);
    for (TKQImage* img : items) {
        img->SetVis(false); // the list draws them wherever they live
    }
    items[0]->SetHxTrans(128);
    items[0]->hxDrawFx = 0x104;
    items[2]->SetAngle(90);
    list.ElementAt(0, 10 + 36, 21, 0, 0); // hover item 1

    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 3u);
    EXPECT_EQ(Calls()[0].texture, TextureOf(*items[0]));
    EXPECT_EQ(Calls()[1].texture, TextureOf(*items[2]));
    EXPECT_EQ(Calls()[2].texture, TextureOf(*items[1]));
    // Cell 30 x 22: a 10 x 10 picture fits at 2.2, centred in its cell.
    ExpectPoint(Calls()[0].points[0], 14, 20);
    ExpectPoint(Calls()[0].points[2], 36, 42);
    EXPECT_EQ(Calls()[0].colors[0], 0x80FFFFFFu);
    EXPECT_EQ(Calls()[0].blend, 0x104u);
    ExpectPoint(Calls()[2].points[0], 49, 20);
    ExpectPoint(Calls()[1].points[0], 106, 20); // rotated a quarter turn about (95, 31)

    canvas.ClearCalls();
    Set(list, "SizeY", 0); // no cells: nothing drawn
    RenderFrame(s);
    EXPECT_TRUE(Calls().empty());

    // Negative columns give positive cells here; a huge row count must not be walked.
    Grid(-2, INT32_MAX, -100, INT32_MAX, 0);
    ASSERT_GT(list.ElWidth, 0);
    ASSERT_GT(list.ElHeight, 0);
    RenderFrame(s);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(ImListTest, MouseDownReachesTheHoveredItemFirst) {
    Grid(3, 2, 100, 50, 5);
    auto items = Items(2);
    items[1]->SetScript(scene::ScriptSlot::MouseDown, "d");
    list.SetScript(scene::ScriptSlot::MouseDown, "d");
    list.MouseDown();
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"list:ms_Down"}));
    host.runs.clear();
    list.ElementAt(0, 10 + 36, 21, 0, 0);
    list.MouseDown();
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"item1:ms_Down", "list:ms_Down"}));
}

TEST_F(ImListTest, RemovalAndFreedImages) {
    Grid(3, 2, 100, 50, 5);
    auto items = Items(4);
    EXPECT_FALSE(list.RemoveItemById("ITEM1")); // letter case counts
    EXPECT_TRUE(list.RemoveItemById("item1"));
    EXPECT_TRUE(list.RemoveItem(*items[3]));
    EXPECT_FALSE(list.RemoveItem(*items[3]));
    ASSERT_EQ(list.ItemCount(), 2u);
    EXPECT_EQ(list.ItemImage(1), items[2]);

    const int32_t keyOfFirst = items[0]->Key;
    items[2]->Destroy();
    EXPECT_EQ(list.ItemImage(1), nullptr);
    EXPECT_EQ(Elements(), std::to_string(keyOfFirst) + ";");
    RenderFrame(s); // the freed item is skipped
    list.ElementAt(0, 10 + 36, 21, 0, 0);
    list.MouseDown();
    list.LoadImages();
    list.FreeImages();
    script::Value selected;
    ASSERT_TRUE(list.GetProp("SELEL", selected));
    EXPECT_EQ(selected.Kind(), script::VarKind::Byte);
}

TEST_F(ImListTest, LoadImagesReachesItemsOutsideTheList) {
    Grid(3, 2, 100, 50, 5);
    SolidPng("elsewhere.png", 10, 10);
    TKQScreen& other = Screen("other");
    TKQImage& img = Image(other, "img", "elsewhere.png");
    list.AddItem(img);
    EXPECT_FALSE(img.ImagesLoaded);
    list.LoadImages();
    EXPECT_TRUE(img.ImagesLoaded);
}

} // namespace
} // namespace kq::elements
