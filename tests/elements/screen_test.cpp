#include "elements_test_util.h"

namespace kq::elements {
namespace {

using render::PointF;

class ScreenTest : public test::ElementsTest {};

TEST_F(ScreenTest, ImBackSizesTheScreenAndReadsTheEntryName) {
    SolidPng("rooms/hall.png", 64, 48);
    TKQScreen& s = Screen("hall");
    Set(s, "ImBack", std::string("rooms\\hall.png"));
    EXPECT_EQ(s.SizeX, 64);
    EXPECT_EQ(s.SizeY, 48);
    EXPECT_EQ(std::get<std::string>(Get(s, "ImBack")), "ROOMS\\HALL.PNG");
    Set(s, "SizeX", 10); // a later write overrides the picture's size
    EXPECT_EQ(s.GetSizeX(), 10);

    TKQScreen& missing = Screen("missing");
    Set(missing, "SizeX", 7);
    Set(missing, "ImBack", std::string("nothere.png"));
    EXPECT_EQ(missing.SizeX, 7);
    EXPECT_EQ(std::get<std::string>(Get(missing, "ImBack")), "NOTHERE.PNG");
    Set(missing, "ImBack", std::string());
    EXPECT_EQ(std::get<std::string>(Get(missing, "ImBack")), "");
}

TEST_F(ScreenTest, ImBackWithoutImageServiceOnlyStoresTheName) {
    rt.images = nullptr;
    TKQScreen& s = Screen("s");
    Set(s, "ImBack", std::string("Back.png"));
    EXPECT_EQ(s.GetImBack(), "Back.png");
    EXPECT_EQ(s.SizeX, 0);
}

TEST_F(ScreenTest, FrameDrawsByLayerThenTreeWithBackgroundFirst) {
    SolidPng("bg.png", 32, 32);
    SolidPng("a.png", 4, 4);
    SolidPng("a1.png", 4, 4);
    SolidPng("b.png", 4, 4);
    TKQScreen& s = Screen("room");
    s.SetImBack("bg.png");
    s.SetScript(scene::ScriptSlot::Render, "x := 1");
    s.rX = 30; // moves the children, never the background
    TKQImage& a = Image(s, "a", "a.png");
    a.SetOrder(1);
    TKQImage& a1 = Image(a, "a1", "a1.png");
    TKQImage& b = Image(s, "b", "b.png");
    b.SetX(5);
    for (TKQImage* e : {&a, &a1, &b}) {
        e->hxDrawFx = 0x104; // full quads, no opaque-bounds trimming
    }

    RenderFrame(s);
    ASSERT_EQ(Calls().size(), 4u);
    const render::TextureId bg = images.GetImage(*s.BackEntry())->Texture();
    EXPECT_EQ(Calls()[0].texture, bg);
    EXPECT_EQ(Calls()[0].points[0], (PointF{0, 0}));
    EXPECT_EQ(Calls()[0].blend, 1u);
    EXPECT_EQ(Calls()[1].texture, TextureOf(a1)); // layer 0 inside a (layer 1)
    EXPECT_EQ(Calls()[2].texture, TextureOf(b));
    EXPECT_EQ(Calls()[2].points[0], (PointF{35, 0}));
    EXPECT_EQ(Calls()[3].texture, TextureOf(a)); // layer 1 last
    // exRender belongs to the screen's own layer: once per frame.
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"room:Render"}));

    canvas.ClearCalls();
    s.Render(0, 0x80FF0000u, 5, 6, false);
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls()[0].points[0], (PointF{5, 6}));
    EXPECT_EQ(Calls()[0].colors[2], 0x80FF0000u);
}

TEST_F(ScreenTest, AgroWidensHitsAndModalCatchesItsOwnLayer) {
    SolidPng("box.png", 10, 10);
    TKQScreen& s = Screen("s");
    TKQImage& box = Image(s, "box", "box.png");
    box.SetX(100);
    box.SetY(100);
    EXPECT_EQ(HitAt(s, 101, 101), &box);
    EXPECT_EQ(HitAt(s, 97, 105), nullptr);
    s.Agro = 3;
    EXPECT_EQ(HitAt(s, 97, 105), &box);
    EXPECT_EQ(HitAt(s, 112, 112), &box);
    EXPECT_EQ(HitAt(s, 96, 105), nullptr);
    // The margin the caller passes is replaced by Agro.
    s.Agro = 0;
    EXPECT_EQ(s.ElementAt(0, 97, 105, 50, 0), nullptr);

    s.Modal = true;
    EXPECT_EQ(HitAt(s, 5, 5), &s);
    EXPECT_EQ(HitAt(s, 101, 101), &box); // elements still come first
    s.SetOrder(2);
    EXPECT_EQ(s.ElementAt(0, 5, 5, 0, 0), nullptr); // not the screen's layer
    // Hidden screens still take the mouse.
    s.SetVis(false);
    EXPECT_EQ(s.ElementAt(2, 5, 5, 0, 0), &s);
}

class PlaceholderTest : public test::ElementsTest {
protected:
    PlaceholderTest() : main(Screen("main")), inv(Screen("inv")) {
        SolidPng("inv.png", 300, 100);
        SolidPng("slot.png", 20, 20);
        inv.SetImBack("inv.png");
        slot = &Image(inv, "slot", "slot.png");
        slot->SetX(10);
        slot->SetY(10);
    }
    TKQExScreen& Placeholder(scene::TKQElement& parent, std::string id, int32_t key) {
        auto& ph = Add<TKQExScreen>(parent, "TKQExScreen", std::move(id));
        ph.SetObScreen(key);
        return ph;
    }

    TKQScreen& main;
    TKQScreen& inv;
    TKQImage* slot = nullptr;
};

TEST_F(PlaceholderTest, CentredPlaceholderDrawsAndHitsTheShownScreenInPlace) {
    TKQExScreen& ph = Placeholder(main, "ph", inv.Key);
    ph.PosHor = TKQPosHor::phCenter;
    ph.SetX(512);
    ph.SetY(40);
    TKQExScreen& second = Placeholder(main, "second", inv.Key);
    second.SetY(600);

    EXPECT_EQ(ph.GetSizeX(), 300);
    EXPECT_EQ(ph.GetSizeY(), 100);
    EXPECT_EQ(ph.GetAbsX(), 362);
    EXPECT_EQ(ph.GetAbsY(), 40);

    RenderFrame(main);
    const render::TextureId back = images.GetImage(*inv.BackEntry())->Texture();
    std::vector<PointF> backs;
    for (const auto& call : Calls()) {
        if (call.texture == back) {
            backs.push_back(call.points[0]);
        }
    }
    EXPECT_EQ(backs, (std::vector<PointF>{{362, 40}, {0, 600}}));

    // The click at x 362 reaches the shown screen's x 0; its image starts at 10.
    EXPECT_EQ(HitAt(main, 362 + 11, 40 + 11), slot);
    EXPECT_EQ(HitAt(main, 362 + 9, 40 + 15), nullptr);
    EXPECT_EQ(HitAt(main, 11, 611), slot); // the second placeholder's copy
}

TEST_F(PlaceholderTest, ModalPlaceholderHidesLowerLayersFromTheMouse) {
    SolidPng("button.png", 100, 100);
    TKQImage& button = Image(main, "button", "button.png");
    button.SetOrder(3);
    TKQExScreen& ph = Placeholder(main, "dialog", inv.Key);
    ph.SetOrder(5);
    ph.SetX(600);
    EXPECT_EQ(HitAt(main, 50, 50), &button);
    ph.Modal = true;
    EXPECT_EQ(HitAt(main, 50, 50), &ph);
    slot->SetOrder(5);
    EXPECT_EQ(HitAt(main, 611, 11), slot); // what the shown screen holds still comes first
}

TEST_F(PlaceholderTest, ResolutionWidensTheLayerRangeAndKeepsOwnOrder) {
    slot->SetOrder(7);
    TKQExScreen& ph = Placeholder(main, "ph", inv.Key);
    ph.SetOrder(2);
    EXPECT_EQ(main.MaxOrder, 2);
    ASSERT_EQ(ph.Shown(), &inv);
    EXPECT_EQ(ph.Order, 2);
    EXPECT_EQ(ph.MaxOrder, 7);
    EXPECT_EQ(main.MaxOrder, 7);
    EXPECT_EQ(db.MaxOrder, 7);
    RenderFrame(main);
    bool slotDrawn = false;
    for (const auto& call : Calls()) {
        slotDrawn |= call.texture == TextureOf(*slot);
    }
    EXPECT_TRUE(slotDrawn);
}

TEST_F(PlaceholderTest, KeyOfAnotherClassOrNoElementShowsNothing) {
    TKQImage& notScreen = Image(main, "img", "slot.png");
    TKQExScreen& ph = Placeholder(main, "ph", notScreen.Key);
    ph.SetX(10);
    EXPECT_EQ(ph.Shown(), nullptr);
    EXPECT_EQ(ph.GetSizeX(), 0);
    EXPECT_EQ(ph.GetAbsX(), 10);
    EXPECT_EQ(ph.ElementAt(0, 10, 10, 0, 0), nullptr);
    ph.Modal = true;
    EXPECT_EQ(ph.ElementAt(0, 10, 10, 0, 0), &ph);
    ph.SetObScreen(12345);
    EXPECT_EQ(ph.Shown(), nullptr);
    ph.SetObScreen(inv.Key); // writing the key forgets the failed lookup
    EXPECT_EQ(ph.Shown(), &inv);
}

TEST_F(PlaceholderTest, FreedScreenIsNeverReached) {
    TKQExScreen& ph = Placeholder(main, "ph", inv.Key);
    ASSERT_EQ(ph.Shown(), &inv);
    inv.Destroy();
    EXPECT_EQ(ph.Shown(), nullptr);
    RenderFrame(main); // draws nothing and must not touch the freed screen
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PlaceholderTest, ScriptsAndProcessingAreForwarded) {
    for (scene::TKQElement* e : std::vector<scene::TKQElement*>{&inv, slot}) {
        e->SetScript(scene::ScriptSlot::Process, "p");
        e->SetScript(scene::ScriptSlot::Show, "s");
    }
    TKQExScreen& ph = Placeholder(main, "ph", inv.Key);
    ph.SetScript(scene::ScriptSlot::Process, "p");
    ph.SetScript(scene::ScriptSlot::Show, "s");

    ph.Process();
    EXPECT_EQ(host.Lines(),
              (std::vector<std::string>{"inv:Process", "slot:Process", "ph:Process"}));
    host.runs.clear();
    ph.Processing = false; // still drawn, but the shown screen's Process does not run here
    ph.Process();
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"ph:Process"}));

    host.runs.clear();
    ph.SetVis(false);
    EXPECT_TRUE(host.runs.empty());
    ph.SetVis(true);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"inv:Show", "slot:Show", "ph:Show",
                                                      "inv:Show", "slot:Show"}));
    host.runs.clear();
    ph.SetVis(true); // unchanged: nothing
    EXPECT_TRUE(host.runs.empty());

    ph.SetVis(false);
    host.runs.clear();
    ph.Process(); // hidden and not MousedNotVis
    EXPECT_TRUE(host.runs.empty());
}

TEST_F(PlaceholderTest, InitAndImageLoadingReachTheShownScreen) {
    inv.SetScript(scene::ScriptSlot::Init, "i");
    TKQExScreen& ph = Placeholder(main, "ph", inv.Key);
    ph.SetScript(scene::ScriptSlot::Init, "i");
    ph.Init();
    ph.Init(); // once only
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"inv:Init", "ph:Init"}));
    host.runs.clear();
    ph.InitPr();
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"inv:InitPr", "ph:InitPr"}));

    EXPECT_FALSE(inv.ImagesLoaded);
    ph.LoadImages();
    EXPECT_TRUE(inv.ImagesLoaded);
    EXPECT_TRUE(slot->ImagesLoaded);
}

TEST_F(PlaceholderTest, PlaceholderShowingItsOwnScreenDoesNotRecurse) {
    TKQExScreen& ph = Placeholder(inv, "self", inv.Key);
    ph.SetX(1);
    ph.SetScript(scene::ScriptSlot::Show, "s");
    RenderFrame(inv);
    EXPECT_GE(Calls().size(), 2u);
    inv.Modal = true;
    EXPECT_NE(HitAt(inv, 900, 700), nullptr);
    ph.Show();
    ph.Process();
    ph.Init();
    ph.FreeImages();
    EXPECT_FALSE(host.runs.empty());
}

} // namespace
} // namespace kq::elements
