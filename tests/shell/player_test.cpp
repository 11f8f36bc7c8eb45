#include "shell_test_util.h"

#include "elements/screen.h"
#include "elements/shape.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace kq::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Index of the first log entry equal to `entry`, or -1.
long IndexOf(const Log& log, const std::string& entry) {
    auto it = std::find(log.begin(), log.end(), entry);
    return it == log.end() ? -1 : static_cast<long>(it - log.begin());
}

// ---- Logo phase ----

struct LogoSchedule : PlayerFixture {
    int initStep = -1;
    int showStep = -1;
    int loadImagesCount = 0;
    int endStep = -1;

    LogoSchedule() {
        db->SetScript(scene::ScriptSlot::Init, "init");
        screen->SetScript(scene::ScriptSlot::Show, "show");
    }
    void Run(int maxSteps) {
        player->Start();
        for (int step = 1; step <= maxSteps && endStep < 0; ++step) {
            log.clear();
            player->TimerProcess();
            if (IndexOf(log, "KQDB:Init") >= 0) {
                initStep = step;
            }
            if (IndexOf(log, "Screen:Show") >= 0) {
                EXPECT_EQ(showStep, -1) << "Show ran twice";
                showStep = step;
            }
            if (rt.logoIndex < 0) {
                endStep = step;
            }
        }
    }
};

TEST(LogoPhase, LogosOneAndThreeWithTwoMissing) {
    LogoSchedule f;
    f.logos.present = {1, 3};
    f.Run(1000);
    // Step 1 shows logo 1; its step 18 (step 19) initialises the game.
    EXPECT_EQ(f.initStep, 19);
    // Logo 1 ends at step 102, where 2 is skipped and 3 shown; its step 18 shows the screen.
    EXPECT_EQ(f.showStep, 120);
    // Step 203 searches 4..10 in vain; the blank period's counter runs to 100.
    EXPECT_EQ(f.endStep, 304);
    EXPECT_THAT(f.logos.tried, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
    EXPECT_EQ(f.rt.tickCount, 304u);
}

TEST(LogoPhase, OnlyLogoOne) {
    LogoSchedule f;
    f.logos.present = {1};
    f.Run(1000);
    EXPECT_EQ(f.initStep, 19);
    // The blank period after logo 1 starts at step 102; its step 18 shows the first screen.
    EXPECT_EQ(f.showStep, 120);
    EXPECT_EQ(f.endStep, 203);
}

TEST(LogoPhase, NoLogosIsOneBlankPeriodThatInitialisesThenShows) {
    LogoSchedule f;
    f.Run(1000);
    EXPECT_EQ(f.initStep, 19);
    EXPECT_EQ(f.showStep, 102); // at the end of the phase, with LoadImages
    EXPECT_EQ(f.endStep, 102);
    EXPECT_EQ(f.rt.logoIndex, -1);
    EXPECT_TRUE(f.player->GameInitDone());
    EXPECT_TRUE(f.player->FirstShowDone());
}

TEST(LogoPhase, EveryLogoNumberTriedPlaysItsSound) {
    PlayerFixture f;
    f.logos.present = {2};
    f.player->Start();
    f.player->TimerProcess();
    EXPECT_THAT(f.log, ElementsAre("sound:logo1.mp3", "sound:logo2.mp3"));
    EXPECT_EQ(f.rt.logoIndex, 2);
    EXPECT_EQ(f.rt.logoCounter, 0);
}

TEST(LogoPhase, SkipLogosRunsTheEndOfThePhaseOnce) {
    LogoSchedule f;
    f.player->Start();
    f.player->SkipLogos();
    EXPECT_EQ(f.rt.logoIndex, -1);
    EXPECT_EQ(f.Count("KQDB:Init"), 1u);
    EXPECT_EQ(f.Count("Screen:Show"), 1u);
    EXPECT_TRUE(f.screen->ImagesLoaded);
    f.log.clear();
    f.player->SkipLogos();
    EXPECT_TRUE(f.log.empty());
}

TEST(LogoPhase, LogoFadesInStaysAndFadesOut) {
    PlayerFixture f;
    f.logos.present = {1};
    const std::vector<uint32_t> pixels(98 * 48, 0xFFFFFFFFu);
    f.logos.texture = f.canvas.CreateTexture(98, 48, pixels);
    f.player->Start();
    auto alphaAt = [&](int counter) {
        f.rt.logoCounter = counter;
        f.canvas.ClearCalls();
        f.player->DeviceRender();
        const auto& calls = f.canvas.Calls();
        EXPECT_EQ(calls.size(), 2u);
        if (calls.size() != 2) {
            return -1;
        }
        EXPECT_EQ(calls[0].kind, render::DrawCall::Kind::kRect);
        EXPECT_EQ(calls[0].colors[0], 0xFF112233u); // top-left pixel, opaque
        EXPECT_EQ(calls[0].blend, 1u);
        EXPECT_EQ(calls[1].texture, f.logos.texture);
        EXPECT_EQ(calls[1].points[0].x, (1024 - 100) / 2);
        EXPECT_EQ(calls[1].points[0].y, (768 - 50) / 2);
        return static_cast<int>(calls[1].colors[0] >> 24);
    };
    f.player->TimerProcess(); // logo 1 appears
    EXPECT_EQ(alphaAt(0), 0);
    EXPECT_EQ(alphaAt(10), 150);
    EXPECT_EQ(alphaAt(17), 255);
    EXPECT_EQ(alphaAt(50), 255);
    EXPECT_EQ(alphaAt(83), 255);
    EXPECT_EQ(alphaAt(90), 150);
    EXPECT_EQ(alphaAt(100), 0);
}

TEST(LogoPhase, AClickOnlyShortensTheLogo) {
    PlayerFixture f;
    f.logos.present = {1};
    f.player->Start();
    f.player->TimerProcess();
    f.rt.logoCounter = 10; // still fading in: ignored
    f.player->MouseDown(5, 5);
    EXPECT_EQ(f.rt.logoCounter, 10);
    f.rt.logoCounter = 30;
    f.log.clear();
    f.player->MouseDown(5, 5);
    EXPECT_EQ(f.rt.logoCounter, 83);
    EXPECT_TRUE(f.log.empty());
    EXPECT_FALSE(f.rt.mouseIsDown);
}

// ---- Game phase and frame order ----

TEST(GamePhase, ProcessingOrderOfOneStep) {
    PlayerFixture f;
    f.screen->SetScript(scene::ScriptSlot::Process, "p");
    Box* child = f.AddBox(*f.screen, "Child", 0, 0, 10, 10, 0);
    child->SetScript(scene::ScriptSlot::Process, "p");
    Box* cursor = f.AddBox(*f.db, "Cursor", 0, 0, 10, 10, 0);
    cursor->SetScript(scene::ScriptSlot::Process, "p");
    f.db->SetScript(scene::ScriptSlot::Process, "p");
    f.StartGame();
    f.rt.cursorElement = cursor;
    f.player->TimerProcess();
    EXPECT_THAT(f.log, ElementsAre("Screen:Process", "Child:Process", "stars", "Cursor:Process",
                                   "KQDB:Process", "fade"));
}

TEST(GamePhase, LoadingWithoutLoadingScreenFinishesTheChange) {
    PlayerFixture f;
    f.screen->SetScript(scene::ScriptSlot::Process, "p");
    f.StartGame();
    f.rt.loadingActive = true;
    f.player->TimerProcess();
    EXPECT_THAT(f.log, ElementsAre("finish", "fade"));
    EXPECT_FALSE(f.rt.loadingActive);
}

TEST(GamePhase, LoadingScreenIsProcessedAndDrawnAfterTheCurrentScreen) {
    PlayerFixture f;
    f.screen->SetScript(scene::ScriptSlot::Process, "p");
    Box* loading = f.AddBox(*f.db, "Loading", 0, 0, 0, 0, 0);
    loading->Key = 9;
    loading->SetScript(scene::ScriptSlot::Process, "p");
    f.db->LoadingScreen = 9;
    f.StartGame();
    f.rt.loadingActive = true;
    f.player->TimerProcess();
    EXPECT_THAT(f.log, ElementsAre("Loading:Process", "fade"));
    EXPECT_TRUE(f.rt.loadingActive);
    f.log.clear();
    f.player->DeviceRender();
    EXPECT_THAT(f.log, ElementsAre("render:Screen@0+0,0", "render:Loading@0+0,0"));
}

TEST(GamePhase, FrameDrawsLayersThenTopStarsThenCursor) {
    PlayerFixture f;
    f.AddBox(*f.screen, "Low", 0, 0, 10, 10, -1);
    f.AddBox(*f.screen, "High", 0, 0, 10, 10, 2);
    Box* cursor = f.AddBox(*f.db, "Cursor", 0, 0, 5, 5, 3);
    f.StartGame();
    f.rt.cursorElement = cursor;
    f.rt.mouseX = 40;
    f.rt.mouseY = 50;
    f.player->DeviceRender();
    // The root's range is -1..3 (the cursor widens it too).
    EXPECT_THAT(f.log, ElementsAre("render:Screen@-1+0,0", "render:Low@-1+0,0", "stars@-1",
                                   "render:Screen@0+0,0", "stars@0", "render:Screen@1+0,0",
                                   "stars@1", "render:Screen@2+0,0", "render:High@2+0,0", "stars@2",
                                   "render:Screen@3+0,0", "stars@3", "stars@1000",
                                   "render:Cursor@3+40,50"));
}

TEST(GamePhase, EmptyLayerRangeDrawsNothingButTheTopStars) {
    PlayerFixture f;
    f.StartGame();
    f.db->MinOrder = 5;
    f.db->MaxOrder = 4;
    f.player->DeviceRender();
    EXPECT_THAT(f.log, ElementsAre("stars@1000"));
}

TEST(GamePhase, HugeLayerRangeVisitsOnlyUsedLayers) {
    PlayerFixture f;
    f.AddBox(*f.screen, "Far", 0, 0, 10, 10, 2'000'000'000);
    f.StartGame();
    f.player->DeviceRender();
    EXPECT_EQ(f.Count("render:Far@2000000000+0,0"), 1u);
    EXPECT_LT(f.log.size(), 10u);
}

TEST(GamePhase, HugeLayerRangeReachesTheLayersOfScreensShownInPlace) {
    PlayerFixture f;
    f.AddBox(*f.screen, "Far", 0, 0, 10, 10, 2'000'000'000);
    auto* bar = new elements::TKQScreen(f.db.get());
    bar->Id = "Bar";
    bar->Key = 40;
    Box* slot = f.AddBox(*bar, "Slot", 5, 5, 20, 20, 7); // layer 7 is used only in Bar
    auto* place = new elements::TKQExScreen(f.screen);
    place->Id = "Place";
    place->SetObScreen(40);
    place->SetX(100);
    place->SetY(200);
    f.StartGame();
    f.player->DeviceRender();
    EXPECT_EQ(f.Count("render:Slot@7+100,200"), 1u);
    EXPECT_LT(f.log.size(), 20u);
    f.player->MouseMove(110, 210);
    EXPECT_EQ(f.rt.hoverElement, slot);
}

TEST(GamePhase, MasksAreComposedForMaskedShapesOnly) {
    struct MaskHooks : LogHooks {
        using LogHooks::LogHooks;
        void ComposeShapeMask(elements::TKQShape& s) override { log.push_back("mask:" + s.Id); }
    };
    PlayerFixture f;
    MaskHooks hooks(f.log);
    shell::Player player(f.rt, *f.db, f.timer, hooks, nullptr, nullptr);
    auto* a = new elements::TKQShape(f.screen);
    auto* b = new elements::TKQShape(f.screen);
    auto* c = new elements::TKQShapeEff(f.screen);
    auto* d = new elements::TKQShapeEff(f.screen);
    a->Id = "A";
    b->Id = "B";
    c->Id = "C";
    d->Id = "D";
    a->Masked = true;
    c->Masked = true;
    d->Masked = true;
    d->AutoRender = false;
    player.Start();
    player.ComposeMasks();
    EXPECT_THAT(f.log, ElementsAre("mask:A", "mask:C"));
}

// Alt+Enter switches the display without losing the GL context: the layers composed before
// the switch still draw their composites, and nothing is created again.
TEST(GamePhase, ComposedLayersStillDrawAfterADisplaySwitch) {
    struct ComposeHooks : LogHooks {
        using LogHooks::LogHooks;
        void ComposeShapeMask(elements::TKQShape& s) override { s.Compose(); }
    };
    PlayerFixture f;
    f.rt.canvas = &f.canvas;
    ComposeHooks hooks(f.log);
    shell::Player player(f.rt, *f.db, f.timer, hooks, nullptr, &f.canvas);
    auto* mask = new elements::TKQShape(f.screen);
    mask->Key = 7;
    mask->Masked = true;
    auto* layer = new elements::TKQShape(f.screen);
    layer->Key = 8;
    layer->Masked = true;
    layer->SetObMask(7);
    player.Start();
    player.SkipLogos();
    const size_t texturesBefore = f.canvas.TextureCount();
    auto drawnWith = [&](render::TextureId texture) {
        player.ComposeMasks();
        f.canvas.ClearCalls();
        player.DeviceRender();
        size_t n = 0;
        for (const render::DrawCall& c : f.canvas.Calls()) {
            n += c.kind == render::DrawCall::Kind::kQuad && c.texture == texture;
        }
        return n;
    };
    player.ComposeMasks(); // the first Compose makes the targets and composites
    const render::TextureId composite = layer->Composite();
    const render::TextureId target = layer->Target();
    ASSERT_TRUE(f.canvas.IsTexture(composite));
    EXPECT_EQ(drawnWith(composite), 1u);
    const size_t textures = f.canvas.TextureCount();
    EXPECT_EQ(textures, texturesBefore + 4); // two targets, two composites

    player.KeyDown(13, true);
    ASSERT_FALSE(hooks.windowed);
    EXPECT_EQ(drawnWith(composite), 1u);
    EXPECT_EQ(layer->Composite(), composite);
    EXPECT_EQ(layer->Target(), target);
    EXPECT_EQ(f.canvas.TextureCount(), textures);
    player.KeyDown(13, true);
    ASSERT_TRUE(hooks.windowed);
    EXPECT_EQ(drawnWith(composite), 1u);
    EXPECT_EQ(f.canvas.TextureCount(), textures);
}

TEST(GamePhase, ShutdownRunsTheRootExitScript) {
    PlayerFixture f;
    f.db->exExit.text = "bye";
    f.StartGame();
    f.rt.hoverElement = f.screen;
    f.player->Shutdown();
    EXPECT_THAT(f.log, ElementsAre("KQDB:Exit"));
    EXPECT_EQ(f.rt.currentScreen, nullptr);
    EXPECT_EQ(f.rt.hoverElement, nullptr);
    EXPECT_TRUE(f.player->Paused());
    // A late activation must not restart a closed game.
    f.player->Activate(true);
    f.player->OneSecondCheck(true, false);
    EXPECT_TRUE(f.player->Paused());
}

TEST(GamePhase, MissingInitScreenRunsWithoutAScreen) {
    PlayerFixture f;
    f.db->InitScreen = 12345;
    f.player->Start();
    f.player->SkipLogos();
    EXPECT_EQ(f.rt.currentScreen, nullptr);
    f.player->TimerProcess();
    f.player->MouseMove(3, 3);
    f.player->MouseDown(3, 3);
    f.player->DeviceRender();
    EXPECT_THAT(f.log, ElementsAre("stars", "fade", "stars@1000"));
}

} // namespace
} // namespace kq::test
