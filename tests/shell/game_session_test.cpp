// Runs a whole player session in-process and headless, frame by frame and step by step, on a
// small game made here.
#include "elements/classes.h"
#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/stars.h"
#include "shell/app.h"
#include "shell/game_session.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

// The sessions here open the GL driver in this process; it keeps allocations that it frees
// with no unloaded module left to name them by, so leak checking cannot tell them from ours.
extern "C" const char* __lsan_default_options() {
    return "detect_leaks=0";
}

namespace kq::test {
namespace {

namespace fs = std::filesystem;

void SetProp(scene::TKQElement& e, std::string_view name, scene::PropValue v) {
    const scene::TKQProp* p = e.ClassEntry().FindProp(name);
    ASSERT_NE(p, nullptr) << name;
    ASSERT_TRUE(p->set(e, v)) << name;
}

std::string Prop(const scene::TKQElement& e, std::string_view name) {
    const scene::TKQProp* p = e.ClassEntry().FindProp(name);
    return p ? scene::PropString(p->get(e)) : "(no " + std::string(name) + ")";
}

// A root with one screen "Main" (Key 3, the first screen) running `process` every step.
std::string TinyGame(const std::string& process) {
    scene::Runtime rt(elements::ElementClasses());
    scene::TKQDB db(rt);
    db.Id = "Tiny";
    scene::TKQElement* screen = rt.classes.CreateChild(db, "TKQScreen");
    EXPECT_NE(screen, nullptr);
    if (!screen) {
        return {};
    }
    SetProp(*screen, "Key", int32_t{3});
    SetProp(*screen, "Id", std::string("Main"));
    SetProp(*screen, "exProcess", process);
    SetProp(db, "InitScreen", int32_t{3});
    SetProp(db, "CurKey", int32_t{3});
    return scene::SaveElementBlob(db);
}

// Options as the command line gives them; settings and saved games stay in the test's folder.
shell::PlayerOptions Options(const TempDir& dir, std::vector<std::string> args) {
    std::vector<std::string> all = {"kqplayer", "--headless", "--data-dir",
                                    (dir.Path() / "data").string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (const std::string& a : all) {
        argv.push_back(a.c_str());
    }
    auto parsed = shell::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_TRUE(std::holds_alternative<shell::PlayerOptions>(parsed));
    return std::holds_alternative<shell::PlayerOptions>(parsed)
               ? std::get<shell::PlayerOptions>(parsed)
               : shell::PlayerOptions{};
}

std::unique_ptr<shell::GameSession> OpenSession(const TempDir& dir,
                                                const std::vector<std::string>& args) {
    return shell::GameSession::Open(Options(dir, args), dir.Path() / "kqplayer");
}

TEST(GameSession, StarsLaunchedByScriptsMoveEveryStepAfterTheScreensProcess) {
    TempDir dir;
    // The first step launches one rising star; later steps only count.
    const fs::path game = dir.Write(
        "game/tiny.kqf",
        TinyGame("if Tag = '' then AddStar(0, 100, 200, 1, 0, -0.25, 0, -2); Tag := Tag + 's';"));
    auto session = OpenSession(dir, {"--steps", "10", "--skip-logos", game.string()});
    ASSERT_NE(session, nullptr);
    const scene::StarTable& stars = session->Root().Stars();
    ASSERT_TRUE(session->Step());
    ASSERT_EQ(stars.LiveCount(), 1);
    // Launched during the screen's Process, moved once by the star step of the same step.
    EXPECT_EQ(stars.Records()[0].y, 198);
    EXPECT_EQ(stars.Records()[0].size, 0.75);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(session->Step());
    }
    EXPECT_EQ(stars.LiveCount(), 1);
    EXPECT_EQ(stars.Records()[0].y, 194);
    ASSERT_TRUE(session->Step()); // the size reaches 0
    EXPECT_EQ(stars.LiveCount(), 0);
}

TEST(GameSession, HeadlessFramesEachRunOneStepUntilTheStepLimit) {
    TempDir dir;
    const fs::path game = dir.Write("game/tiny.kqf", TinyGame("Tag := 'processed';"));
    auto session = OpenSession(dir, {"--steps", "5", "--skip-logos", game.string()});
    ASSERT_NE(session, nullptr);
    scene::Runtime& rt = session->Runtime();
    ASSERT_NE(rt.currentScreen, nullptr);
    EXPECT_EQ(rt.currentScreen->Id, "Main");
    EXPECT_EQ(session->StepsRun(), 0u);
    EXPECT_EQ(Prop(*rt.currentScreen, "Tag"), "");

    // The stepped clock credits one frame period per frame: one step at 30 steps a second.
    for (int frame = 1; frame <= 3; ++frame) {
        EXPECT_TRUE(session->RunFrame());
        EXPECT_EQ(session->StepsRun(), static_cast<uint64_t>(frame));
        EXPECT_EQ(session->FramesDrawn(), static_cast<uint64_t>(frame));
    }
    EXPECT_EQ(rt.tickCount, 3u);
    // The screen's exProcess ran through the real interpreter.
    ASSERT_EQ(rt.currentScreen, session->Root().Children().front().get());
    EXPECT_EQ(Prop(*rt.currentScreen, "Tag"), "processed");

    // Run goes on from there and stops at the limit of five steps.
    EXPECT_EQ(session->Run(), 0);
    EXPECT_EQ(session->StepsRun(), 5u);
    EXPECT_EQ(rt.tickCount, 5u);
    EXPECT_FALSE(session->Running());
    EXPECT_FALSE(session->RunFrame());
    EXPECT_EQ(session->StepsRun(), 5u);
}

TEST(GameSession, StepsDeliverTheScriptedInputDueAtThem) {
    TempDir dir;
    const fs::path game = dir.Write("tiny.kqf", TinyGame(""));
    const fs::path input = dir.Write("input.txt", "2 move 100 200\n3 move 300 400\n");
    auto session = OpenSession(dir, {"--skip-logos", "--input", input.string(), game.string()});
    ASSERT_NE(session, nullptr);
    scene::Runtime& rt = session->Runtime();
    ASSERT_TRUE(session->Step());
    EXPECT_EQ(std::make_pair(rt.mouseX, rt.mouseY), std::make_pair(0, 0));
    ASSERT_TRUE(session->Step());
    EXPECT_EQ(std::make_pair(rt.mouseX, rt.mouseY), std::make_pair(100, 200));
    ASSERT_TRUE(session->Step());
    EXPECT_EQ(std::make_pair(rt.mouseX, rt.mouseY), std::make_pair(300, 400));
    EXPECT_EQ(session->StepsRun(), 3u);
    EXPECT_EQ(rt.tickCount, 3u);
    EXPECT_TRUE(session->Running()); // no step limit
}

TEST(GameSession, ExitGameFromAScriptEndsTheRunAfterThatStep) {
    TempDir dir;
    const fs::path game =
        dir.Write("tiny.kqf", TinyGame("Tag := Tag + 'x'; if Tag = 'xxx' then ExitGame;"));
    auto session = OpenSession(dir, {"--skip-logos", "--steps", "100", game.string()});
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->Run(), 0);
    EXPECT_EQ(session->StepsRun(), 3u);
    EXPECT_TRUE(session->Runtime().exitRequested);
}

TEST(GameSession, UnreadableInputScriptOpensNoSession) {
    TempDir dir;
    const fs::path game = dir.Write("tiny.kqf", TinyGame(""));
    EXPECT_EQ(OpenSession(dir, {"--input", (dir.Path() / "none.txt").string(), game.string()}),
              nullptr);
    EXPECT_EQ(shell::RunPlayer(
                  Options(dir, {"--input", (dir.Path() / "none.txt").string(), game.string()}),
                  dir.Path() / "kqplayer"),
              1);
}

} // namespace
} // namespace kq::test
