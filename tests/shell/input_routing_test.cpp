#include "shell_test_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kq::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

// A screen with a small button A (100..119 x 100..119, layer 1, with a mouse-down script) and a
// plain picture B (300..349, layer 2, without one). Every mouse slot of A, B and the root logs.
struct Routing : PlayerFixture {
    Box* a;
    Box* b;
    Routing() {
        a = AddBox(*screen, "A", 100, 100, 20, 20, 1);
        b = AddBox(*screen, "B", 300, 300, 50, 50, 2);
        for (scene::TKQElement* e :
             {static_cast<scene::TKQElement*>(a), static_cast<scene::TKQElement*>(b)}) {
            e->SetScript(scene::ScriptSlot::MouseIn, "x");
            e->SetScript(scene::ScriptSlot::MouseOut, "x");
            e->SetScript(scene::ScriptSlot::MouseMove, "x");
            e->SetScript(scene::ScriptSlot::MouseUp, "x");
        }
        a->SetScript(scene::ScriptSlot::MouseDown, "press");
        db->SetScript(scene::ScriptSlot::MouseDown, "x");
        db->SetScript(scene::ScriptSlot::MouseUp, "x");
        StartGame();
    }
};

TEST(InputRouting, HoverInAndOutWithMovement) {
    Routing f;
    f.player->MouseMove(105, 106);
    EXPECT_THAT(f.log, ElementsAre("A:ms_In", "A:ms_Move"));
    EXPECT_EQ(f.rt.hoverElement, f.a);
    f.log.clear();
    f.player->MouseMove(110, 100);
    EXPECT_THAT(f.log, ElementsAre("A:ms_Move"));
    EXPECT_EQ(f.rt.mouseDX, 5);
    EXPECT_EQ(f.rt.mouseDY, -6);
    f.log.clear();
    f.player->MouseMove(310, 310);
    EXPECT_THAT(f.log, ElementsAre("A:ms_Out", "B:ms_In", "B:ms_Move"));
    f.log.clear();
    f.player->MouseMove(0, 0);
    EXPECT_THAT(f.log, ElementsAre("B:ms_Out"));
    EXPECT_EQ(f.rt.hoverElement, nullptr);
}

TEST(InputRouting, HigherLayerWinsTheHitTest) {
    Routing f;
    Box* top = f.AddBox(*f.screen, "Top", 100, 100, 5, 5, 3);
    (void)top;
    f.player->MouseMove(101, 101);
    EXPECT_EQ(f.rt.hoverElement, top);
}

TEST(InputRouting, ClickBesideAButtonPressesIt) {
    Routing f;
    f.player->MouseDown(98, 105); // two pixels left of A
    // Probes (0,0), (-2,-2), (-2,0), (-2,2), (0,-2), (0,2) miss; (2,-2) reaches A.
    EXPECT_EQ(f.rt.pressedElement, f.a);
    EXPECT_TRUE(f.rt.mouseIsDown);
    EXPECT_EQ(f.rt.mouseX, 98);
    EXPECT_THAT(f.log,
                ElementsAre("A:ms_In", "A:ms_Move", "A:ms_Down", "KQDB:ms_Down", "A:ms_Out"));
}

TEST(InputRouting, ProbesStopOnlyAtAnElementWithAMouseDownScript) {
    Routing f;
    // Inside B, which has no mouse-down script: all nine probes run and the last one stands.
    f.player->MouseDown(310, 310);
    EXPECT_EQ(f.Count("B:ms_Move"), 10u); // nine probes and the final move
    EXPECT_EQ(f.rt.pressedElement, f.b);
    EXPECT_EQ(f.Count("KQDB:ms_Down"), 1u);
}

TEST(InputRouting, ProbeEventsTouchWhateverTheyCross) {
    Routing f;
    // At (120, 101) only the probes with dx = -2 land on A (x 118).
    f.player->MouseDown(120, 101);
    EXPECT_EQ(f.rt.pressedElement, f.a);
    EXPECT_EQ(f.Count("A:ms_Down"), 1u);
}

TEST(InputRouting, DragOffAndReleaseSendsUpOnlyToTheRoot) {
    Routing f;
    f.player->MouseDown(110, 110);
    f.player->MouseMove(500, 500);
    f.log.clear();
    f.player->MouseUp(500, 500);
    EXPECT_THAT(f.log, ElementsAre("KQDB:ms_Up"));
    EXPECT_FALSE(f.rt.mouseIsDown);
}

TEST(InputRouting, MsKeepHoldsTheHoverWhileTheButtonIsDown) {
    Routing f;
    f.a->MsKeep = true;
    f.player->MouseDown(110, 110);
    f.log.clear();
    f.player->MouseMove(310, 310); // over B, but A keeps the hover
    EXPECT_THAT(f.log, ElementsAre("A:ms_Move"));
    EXPECT_EQ(f.rt.hoverElement, f.a);
    f.log.clear();
    f.player->MouseUp(310, 310);
    EXPECT_THAT(f.log, ElementsAre("A:ms_Move", "A:ms_Up", "KQDB:ms_Up"));
    EXPECT_FALSE(f.rt.mouseIsDown);
    EXPECT_EQ(f.rt.hoverElement, f.a); // changes with the next move only
    f.log.clear();
    f.player->MouseMove(311, 311);
    EXPECT_THAT(f.log, ElementsAre("A:ms_Out", "B:ms_In", "B:ms_Move"));
}

TEST(InputRouting, ReleaseOverThePressedElementSendsItUp) {
    Routing f;
    f.player->MouseDown(110, 110);
    f.log.clear();
    f.player->MouseUp(111, 111);
    EXPECT_THAT(f.log, ElementsAre("A:ms_Move", "A:ms_Up", "KQDB:ms_Up", "A:ms_Move"));
}

TEST(InputRouting, NoMsKQDBKeepsPressAndReleaseFromTheRoot) {
    Routing f;
    f.a->NoMsKQDB = true;
    f.player->MouseDown(110, 110);
    f.player->MouseUp(110, 110);
    EXPECT_EQ(f.Count("A:ms_Down"), 1u);
    EXPECT_EQ(f.Count("A:ms_Up"), 1u);
    EXPECT_EQ(f.Count("KQDB:ms_Down"), 0u);
    EXPECT_EQ(f.Count("KQDB:ms_Up"), 0u);
}

TEST(InputRouting, MouseInputIsDroppedWhileLoadingButKeysAreNot) {
    Routing f;
    f.player->MouseMove(50, 60);
    f.log.clear();
    f.rt.loadingActive = true;
    f.player->MouseMove(110, 110);
    f.player->MouseDown(110, 110);
    f.player->MouseUp(110, 110);
    f.player->KeyDown(65, false);
    EXPECT_THAT(f.log, ElementsAre("key:65"));
    EXPECT_EQ(f.rt.mouseX, 50);
    EXPECT_EQ(f.rt.mouseY, 60);
    EXPECT_FALSE(f.rt.mouseIsDown);
}

TEST(InputRouting, ModalScreenAnswersForItsChildren) {
    // The hit test is the screen's: whatever ElementAt answers becomes the hover, so a screen
    // that swallows clicks outside its children (a modal dialog) is respected.
    struct Modal : Box {
        using Box::Box;
        scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t m,
                                     uint8_t t) override {
            scene::TKQElement* hit = Box::ElementAt(layer, x, y, m, t);
            return hit ? hit : (layer == 1 ? this : nullptr);
        }
    };
    Routing f;
    auto* modal = new Modal(f.screen, f.log, 0, 0, 0, 0);
    modal->Id = "Modal";
    modal->SetOrder(1);
    f.player->MouseMove(310, 310); // B is on layer 2, above the modal's layer
    EXPECT_EQ(f.rt.hoverElement, f.b);
    f.player->MouseMove(5, 5);
    EXPECT_EQ(f.rt.hoverElement, modal);
}

// ---- Keys, characters, full screen ----

TEST(Keys, AltEnterInTestModeStoresTheWishButStaysWindowed) {
    Routing f;
    f.rt.testMode = true;
    f.player->KeyDown(13, true);
    EXPECT_THAT(f.log, ElementsAre("fs:1", "key:13"));
    EXPECT_FALSE(f.rt.wantFullScreen);
    EXPECT_TRUE(f.hooks.windowed);
}

TEST(Keys, AltEnterSwitchesToFullScreenAndBack) {
    Routing f;
    f.player->KeyDown(13, true);
    EXPECT_THAT(f.log, ElementsAre("fs:1", "display:full", "key:13"));
    EXPECT_FALSE(f.hooks.windowed);
    f.log.clear();
    f.player->KeyDown(13, true);
    EXPECT_THAT(f.log, ElementsAre("fs:0", "display:window", "key:13"));
    f.log.clear();
    f.player->KeyDown(13, false); // plain Enter
    EXPECT_THAT(f.log, ElementsAre("key:13"));
}

TEST(Keys, NarrowDesktopRefusesTheWindow) {
    Routing f;
    f.hooks.windowed = false;
    f.rt.wantFullScreen = true;
    f.hooks.desktopWidth = 1024;
    f.player->KeyDown(13, true); // asks for a window
    EXPECT_TRUE(f.rt.narrowDesktop);
    EXPECT_TRUE(f.rt.wantFullScreen);
    EXPECT_FALSE(f.hooks.windowed);
}

TEST(Keys, FullScreenWishIsFollowedByTheProcessingStep) {
    Routing f;
    f.rt.wantFullScreen = true; // e.g. the script property FULLSCREEN
    f.player->TimerProcess();
    EXPECT_FALSE(f.hooks.windowed);
    f.log.clear();
    f.player->TimerProcess();
    EXPECT_THAT(f.log, Not(Contains("display:full")));
}

TEST(Keys, CharacterWordsAndTheHighWordQuirk) {
    Routing f;
    f.player->CharMessage('a');
    f.player->CharMessage((0x42u << 16) | 255u); // low word 255: take the high word
    f.player->CharMessage(0x0416);               // no such character in the default hooks
    EXPECT_THAT(f.log, ElementsAre("char:97", "char:66"));
    f.log.clear();
    f.hooks.unicode = true;
    f.player->CharMessage(0x0416);
    EXPECT_THAT(f.log, ElementsAre("char:1046"));
}

// ---- Activation ----

TEST(Activation, PauseAndResumeWithoutCatchUpBurst) {
    Routing f;
    f.player->Activate(false);
    EXPECT_TRUE(f.player->Paused());
    EXPECT_FALSE(f.timer.Idle());
    f.clock.Advance(60'000'000'000ull); // a minute away
    f.player->Activate(true);
    EXPECT_THAT(f.log, ElementsAre("audio:pause", "audio:on"));
    ASSERT_TRUE(f.timer.Idle());
    EXPECT_EQ(f.timer.PendingSteps(), 1);
}

TEST(Activation, PausedMouseMoveOnlyRepaints) {
    Routing f;
    f.player->Activate(false);
    f.log.clear();
    f.player->MouseMove(110, 110);
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.hooks.repaints, 1);
    EXPECT_EQ(f.rt.mouseX, 110);
}

TEST(Activation, OneSecondCheckResumesOnlyAnActiveWindow) {
    Routing f;
    f.player->Activate(false);
    f.player->OneSecondCheck(false, false);
    EXPECT_TRUE(f.player->Paused());
    f.player->OneSecondCheck(true, true);
    EXPECT_TRUE(f.player->Paused());
    f.player->OneSecondCheck(true, false);
    EXPECT_FALSE(f.player->Paused());
}

TEST(Activation, DeliverRoutesEachKindOfEvent) {
    Routing f;
    using shell::InputEvent;
    using shell::InputKind;
    f.player->Deliver(InputEvent{1, InputKind::Move, 110, 110, 0, false});
    f.player->Deliver(InputEvent{1, InputKind::Down, 110, 110, 0, false});
    f.player->Deliver(InputEvent{1, InputKind::Up, 110, 110, 0, false});
    f.player->Deliver(InputEvent{1, InputKind::Key, 0, 0, 27, false});
    f.player->Deliver(InputEvent{1, InputKind::Char, 0, 0, 'z', false});
    f.player->Deliver(InputEvent{1, InputKind::Activate, 0, 0, 0, false});
    EXPECT_EQ(f.Count("A:ms_Down"), 1u);
    EXPECT_EQ(f.Count("A:ms_Up"), 1u);
    EXPECT_EQ(f.Count("key:27"), 1u);
    EXPECT_EQ(f.Count("char:122"), 1u);
    EXPECT_TRUE(f.player->Paused());
}

} // namespace
} // namespace kq::test
