// Screen changes from scripts: SetScreen and its completion (LoadIm), FastSetScreen and
// FastSetScreenNS.
#include "engine_test_util.h"

#include "scene/layer_walk.h"

namespace kq::test {
namespace {

using scene::ScriptSlot;
using scene::TKQElement;

class EngineScreens : public EngineTest {
protected:
    // Menu (current, its Button hovered), Game (the target, its picture only registered as
    // while the scene is read), Hud (always loaded) and Loading (the loading screen).
    EngineScreens()
        : menu(Screen("Menu")), game(Screen("Game")), hud(Screen("Hud")),
          loading(Screen("Loading")) {
        SolidPng("menu.png", 10, 10);
        SolidPng("game.png", 10, 10);
        SolidPng("hud.png", 10, 10);
        button = &Image(menu, "Button", "menu.png");
        images.SetLoadImagesNow(false);
        rt.loadImagesNow = false;
        pic = &Image(game, "Pic", "game.png");
        Image(hud, "Bar", "hud.png");
        images.SetLoadImagesNow(true);
        rt.loadImagesNow = true;
        Set(hud, "AllwaysLoad", 1);
        db.LoadingScreen = loading.Key;
        menu.LoadImages();

        LogOn(*button, ScriptSlot::MouseOut, "out");
        LogOn(game, ScriptSlot::Show, "show");
        LogOn(loading, ScriptSlot::Init, "loadinit");
        db.PrepareScript(db.exSetScreen, "KQDB.TAG := KQDB.TAG + 'setscreen;'; SEEN := 1;");
        loading.SetScript(ScriptSlot::Update, "LOADIM;");
        rt.currentScreen = &menu;
        rt.hoverElement = button;
    }
    render::TKQIm& Entry(std::string_view name) {
        render::TKQIm* e = images.Find(name);
        EXPECT_NE(e, nullptr) << name;
        return *e;
    }

    elements::TKQScreen& menu;
    elements::TKQScreen& game;
    elements::TKQScreen& hud;
    elements::TKQScreen& loading;
    TKQElement* button = nullptr;
    TKQElement* pic = nullptr;
};

TEST_F(EngineScreens, SetScreenPreparesAndLoadImCompletesTheChange) {
    rt.focusedText = pic;
    elements::TKQScreen& extra = Screen("Extra");
    Run("SETSCREEN(KQDB.GAME, KQDB.EXTRA, 7);");

    // Prepared, not switched: the loading screen is initialised, the pictures of the target
    // are only counted, and the database is ready again afterwards.
    EXPECT_TRUE(rt.loadingActive);
    EXPECT_EQ(rt.pendingScreen, &game);
    EXPECT_EQ(rt.currentScreen, &menu);
    EXPECT_EQ(rt.hoverElement, button);
    EXPECT_EQ(rt.focusedText, nullptr);
    EXPECT_TRUE(game.KeepLoaded);
    EXPECT_TRUE(extra.KeepLoaded);
    EXPECT_TRUE(hud.KeepLoaded);
    EXPECT_FALSE(menu.KeepLoaded);
    EXPECT_EQ(db.Tag, "loadinit;");
    EXPECT_EQ(images.ImagesToLoad(), 1);
    EXPECT_EQ(Entry("game.png").image, nullptr);
    EXPECT_NE(Entry("hud.png").image, nullptr); // always-loaded screens load at once
    EXPECT_TRUE(rt.loadImagesNow);
    EXPECT_TRUE(images.LoadImagesNow());
    EXPECT_EQ(timerResets, 1);
    EXPECT_TRUE(frames.empty());

    db.Tag.clear();
    loading.Update(); // the loading screen's script calls LoadIm

    EXPECT_EQ(db.Tag, "out;setscreen;show;");
    EXPECT_EQ(rt.currentScreen, &game);
    EXPECT_EQ(rt.hoverElement, nullptr);
    EXPECT_FALSE(rt.mouseIsDown);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0]); // drawn, not shown
    EXPECT_EQ(images.ImagesToLoad(), 2);
    EXPECT_EQ(images.ImagesDone(), 1);
    EXPECT_NE(Entry("game.png").image, nullptr);
    EXPECT_NE(Entry("hud.png").image, nullptr);
    EXPECT_EQ(Entry("menu.png").image, nullptr); // unmarked: freed
    EXPECT_EQ(timerResets, 2);
    script::Value seen; // exSetScreen's variables land in the root's Vars
    ASSERT_TRUE(db.GetProp("SEEN", seen));
    EXPECT_EQ(seen.RawInt(), 1);
    // LoadIm does not end the loading phase by itself: EndLoadIm or the main loop does.
    EXPECT_TRUE(rt.loadingActive);
    Run("ENDLOADIM;");
    EXPECT_FALSE(rt.loadingActive);
}

TEST_F(EngineScreens, LoadImOutsideAScreenChangeOnlyDrawsAFrame) {
    Run("LOADIM; LOADIM(1, 2);");
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(rt.currentScreen, &menu);
    EXPECT_EQ(rt.hoverElement, button);
    EXPECT_EQ(db.Tag, "");
    EXPECT_EQ(timerResets, 0);
}

TEST_F(EngineScreens, SetScreenWithoutLoadingScreenNeedsNoScreenOfThatKey) {
    db.LoadingScreen = 9999;
    Run("SETSCREEN(KQDB.GAME);");
    EXPECT_TRUE(rt.loadingActive);
    EXPECT_EQ(rt.pendingScreen, &game);
    EXPECT_EQ(db.Tag, "");
    db.FinishScreenChange(); // what the main loop does without a loading screen
    EXPECT_EQ(rt.currentScreen, &game);
    EXPECT_EQ(db.Tag, "out;setscreen;show;");
}

class EngineFastScreens : public EngineScreens {
protected:
    // On Game at the pointer (5, 5): Low (layer 0, opaque) under Top (layer 5, alpha 80), and
    // Far (layer 3) elsewhere.
    EngineFastScreens() {
        SolidPng("low.png", 20, 20);
        SolidPng("top.png", 20, 20, 0x50FFFFFFu);
        low = &Image(game, "Low", "low.png");
        top = &Image(game, "Top", "top.png");
        TKQElement& far = Image(game, "Far", "low.png");
        far.SetRealPos(200, 200);
        Set(*top, "Order", 5);
        Set(far, "Order", 3);
        LogOn(*low, ScriptSlot::MouseIn, "in-low");
        LogOn(*top, ScriptSlot::MouseIn, "in-top");
        rt.mouseX = 5;
        rt.mouseY = 5;
    }
    TKQElement* low = nullptr;
    TKQElement* top = nullptr;
};

TEST_F(EngineFastScreens, FastSetScreenSwitchesWithEventsAndFindsTheHover) {
    ASSERT_EQ(db.MaxOrder, 5);
    db.hxTransLev = 100; // Top's alpha 80 does not count as a hit
    rt.focusedText = pic;
    Run("FASTSETSCREEN(KQDB.GAME, KQDB.HUD);");
    EXPECT_EQ(db.Tag, "out;setscreen;show;in-low;");
    EXPECT_EQ(rt.currentScreen, &game);
    EXPECT_EQ(rt.hoverElement, low);
    EXPECT_EQ(rt.focusedText, nullptr);
    EXPECT_FALSE(rt.loadingActive);
    EXPECT_TRUE(game.ImagesLoaded);
    EXPECT_TRUE(hud.ImagesLoaded);
    EXPECT_NE(Entry("game.png").image, nullptr);
    EXPECT_EQ(timerResets, 1);

    // Without the threshold the topmost layer answers first.
    db.hxTransLev = 0;
    db.Tag.clear();
    Run("FASTSETSCREEN(KQDB.GAME);");
    EXPECT_EQ(db.Tag, "setscreen;show;in-top;");
    EXPECT_EQ(rt.hoverElement, top);

    // Nothing under the pointer: no hover.
    rt.mouseX = 900;
    Run("FASTSETSCREEN(KQDB.GAME);");
    EXPECT_EQ(rt.hoverElement, nullptr);
}

// The hover is found as the mouse code finds it: over a range so wide that only the layers in
// use are tried, a layer used only inside a screen shown through a placeholder is tried too.
TEST_F(EngineFastScreens, FastSetScreenFindsTheHoverInsideAShownScreenOverAWideRange) {
    elements::TKQScreen& pad = Screen("Pad");
    SolidPng("knob.png", 20, 20);
    TKQElement& knob = Image(pad, "Knob", "knob.png");
    Set(knob, "Order", 9);
    LogOn(knob, ScriptSlot::MouseIn, "in-knob");
    auto& place = Add<elements::TKQExScreen>(game, "TKQExScreen", "Place");
    place.SetObScreen(pad.Key);
    TKQElement& distant = Image(game, "Distant", "low.png");
    distant.SetRealPos(600, 600);
    Set(distant, "Order", 2'000'000'000);
    ASSERT_GT(int64_t{db.MaxOrder} - db.MinOrder, scene::kMaxDenseLayers);

    Run("FASTSETSCREEN(KQDB.GAME);");
    EXPECT_EQ(rt.hoverElement, &knob); // layer 9, above Top (5) and Low (0)
    EXPECT_EQ(db.Tag, "out;setscreen;show;in-knob;");

    // The same walk as the player's mouse code.
    EXPECT_EQ(scene::ElementUnder(game, db.MinOrder, db.MaxOrder, 5, 5, 0), &knob);
    EXPECT_EQ(scene::ElementUnder(game, db.MinOrder, db.MaxOrder, 605, 605, 0), &distant);
}

TEST_F(EngineFastScreens, FastSetScreenNSSwitchesWithoutEvents) {
    rt.focusedText = pic;
    Run("FASTSETSCREENNS(KQDB.GAME, KQDB.HUD);");
    EXPECT_EQ(db.Tag, "");
    EXPECT_EQ(rt.currentScreen, &game);
    EXPECT_EQ(rt.hoverElement, button); // untouched, even though it is on the old screen
    EXPECT_EQ(rt.focusedText, nullptr);
    EXPECT_TRUE(game.ImagesLoaded);
    EXPECT_TRUE(hud.ImagesLoaded);
    EXPECT_EQ(timerResets, 1);
    script::Value seen;
    EXPECT_FALSE(db.Vars() && db.GetProp("SEEN", seen));
}

} // namespace
} // namespace kq::test
