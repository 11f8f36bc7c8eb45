// Runs the real kqplayer headless on small games made here and reads its state dump.
#include "elements/classes.h"
#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "shell/paths_game.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

fs::path PlayerBinary() {
    return fs::path(KQ_BINARY_DIR) / "kqplayer";
}

void SetProp(scene::TKQElement& e, std::string_view name, scene::PropValue v) {
    const scene::TKQProp* p = e.ClassEntry().FindProp(name);
    ASSERT_NE(p, nullptr) << name;
    ASSERT_TRUE(p->set(e, v)) << name;
}

// A root with one screen (Key 3) that is the first screen.
std::string TinyGame() {
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
    SetProp(*screen, "exProcess", std::string("Tag := 'processed';"));
    SetProp(db, "InitScreen", int32_t{3});
    SetProp(db, "CurKey", int32_t{3});
    return scene::SaveElementBlob(db);
}

struct PlayerRun {
    int exitCode = -1;
    nlohmann::json dump;
};

// Runs the player from the folder `from` (the test's own when empty).
PlayerRun RunPlayer(const TempDir& dir, const std::string& args, const fs::path& from = {}) {
    PlayerRun run;
    const fs::path dumpFile = dir.Path() / "dump.json";
    const std::string cd = from.empty() ? "" : "cd \"" + from.string() + "\" && ";
    const std::string command = cd + "\"" + PlayerBinary().string() + "\" --headless " + args +
                                " --dump \"" + dumpFile.string() + "\" > \"" +
                                (dir.Path() / "log.txt").string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (fs::exists(dumpFile)) {
        run.dump = nlohmann::json::parse(ReadAll(dumpFile), nullptr, false);
    }
    return run;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(PlayerBinary())) {
            KQ_SKIP_MISSING() << "kqplayer is not built";
        }
    }
};

TEST_F(EndToEnd, HeadlessStepsThenDumpsTheState) {
    TempDir dir;
    const fs::path game = dir.Write("game/tiny.kqf", TinyGame());
    const PlayerRun run = RunPlayer(dir, "--steps 5 --skip-logos \"" + game.string() + "\"");
    ASSERT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
    ASSERT_FALSE(run.dump.is_discarded());
    EXPECT_EQ(run.dump["class"], "TKQDB");
    EXPECT_EQ(run.dump["props"]["Id"], "Tiny");
    ASSERT_EQ(run.dump["children"].size(), 1u);
    EXPECT_EQ(run.dump["children"][0]["props"]["Id"], "Main");
    EXPECT_TRUE(run.dump["children"][0]["vars"].is_object());
    // The screen's exProcess ran through the real interpreter.
    EXPECT_EQ(run.dump["children"][0]["props"]["Tag"], "processed");
    const auto& rt = run.dump["runtime"];
    EXPECT_EQ(rt["tick_count"], 5);
    EXPECT_EQ(rt["logo_index"], -1);
    EXPECT_EQ(rt["current_screen"], 3);
    EXPECT_TRUE(rt["cursor"].is_null());
    EXPECT_EQ(rt["mouse"], nlohmann::json::array({0, 0}));
}

// A game named relative to the current folder finds its pack (language file), its included
// script and its picture spelled in another letter case on disk; MAIN's Tag shows all three.
TEST_F(EndToEnd, RelativeGamePathsFindThePackAndPictures) {
    TempDir dir;
    WritePathsGame(dir, "mygame", "game.kqf", "game.kst");
    const std::string expected = "Paths:" + std::to_string(kPathsHeroAlpha);
    for (const auto& [from, game] : {std::pair{dir.Path() / "mygame", std::string("game.kqf")},
                                     std::pair{dir.Path(), std::string("mygame/game.kqf")}}) {
        SCOPED_TRACE(game);
        const PlayerRun run = RunPlayer(dir, "--steps 2 --skip-logos " + game, from);
        ASSERT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
        ASSERT_FALSE(run.dump.is_discarded());
        ASSERT_EQ(run.dump["children"].size(), 1u);
        EXPECT_EQ(run.dump["children"][0]["props"]["Tag"], expected)
            << ReadAll(dir.Path() / "log.txt");
    }
}

TEST_F(EndToEnd, ScriptedInputMovesTheMouseAndBadLinesAreSkipped) {
    TempDir dir;
    const fs::path game = dir.Write("tiny.kqf", TinyGame());
    const fs::path input = dir.Write("input.txt", "2 move 100 200\nthis is not input\n"
                                                  "3 move 300 400\n9 move 1 1\n");
    const PlayerRun run = RunPlayer(dir, "--steps 4 --skip-logos --input \"" + input.string() +
                                             "\" \"" + game.string() + "\"");
    ASSERT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
    ASSERT_FALSE(run.dump.is_discarded());
    EXPECT_EQ(run.dump["runtime"]["mouse"], nlohmann::json::array({300, 400}));
    EXPECT_NE(ReadAll(dir.Path() / "log.txt").find("line 2 skipped"), std::string::npos);
}

TEST_F(EndToEnd, LogoPhaseRunsWithoutSkipping) {
    TempDir dir;
    const fs::path game = dir.Write("tiny.kqf", TinyGame());
    const PlayerRun run = RunPlayer(dir, "--steps 30 \"" + game.string() + "\"");
    ASSERT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
    // No logo files: one blank period, still running at step 30.
    EXPECT_EQ(run.dump["runtime"]["logo_index"], 10);
    EXPECT_EQ(run.dump["runtime"]["tick_count"], 30);
}

TEST_F(EndToEnd, CorruptGameFileGivesAnEmptyGameNotACrash) {
    TempDir dir;
    std::string bytes = TinyGame();
    bytes.resize(bytes.size() / 2);
    bytes += std::string("\xff\xff\xff\x7f garbage", 12);
    const fs::path game = dir.Write("broken.kqf", bytes);
    const PlayerRun run = RunPlayer(dir, "--steps 3 --skip-logos \"" + game.string() + "\"");
    EXPECT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
    EXPECT_FALSE(run.dump.is_discarded());
    EXPECT_NE(ReadAll(dir.Path() / "log.txt").find("damaged"), std::string::npos);
}

TEST_F(EndToEnd, MissingGameRunsBlack) {
    TempDir dir;
    const PlayerRun run =
        RunPlayer(dir, "--steps 2 \"" + (dir.Path() / "none.kqf").string() + "\"");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.dump["runtime"]["current_screen"].is_null());
}

TEST_F(EndToEnd, ScreenshotIsAPngOfTheScene) {
    TempDir dir;
    const fs::path game = dir.Write("tiny.kqf", TinyGame());
    const fs::path shot = dir.Path() / "shot.png";
    const PlayerRun run =
        RunPlayer(dir, "--steps 3 --skip-logos --screenshot \"2:" + shot.string() + "\" \"" +
                           game.string() + "\"");
    ASSERT_EQ(run.exitCode, 0) << ReadAll(dir.Path() / "log.txt");
    const std::string log = ReadAll(dir.Path() / "log.txt");
    if (log.find("no offscreen drawing") != std::string::npos) {
        KQ_SKIP_MISSING() << "no offscreen GL here";
    }
    const std::string png = ReadAll(shot);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST_F(EndToEnd, BadCommandLineIsRefused) {
    TempDir dir;
    const std::string command =
        "\"" + PlayerBinary().string() + "\" --screenshot nocolon --headless > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
} // namespace kq::test
