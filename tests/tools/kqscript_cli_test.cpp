// Runs the built kqscript program: the whole library without a scene, and a game's scene loaded
// as the player loads it.
#include "shell/paths_game.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

const fs::path kKqscript = fs::path(KQ_BINARY_DIR) / "kqscript";

class KqscriptCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kKqscript)) {
            KQ_SKIP_MISSING() << "build the kqscript target first: " << kKqscript;
        }
        fs::create_directories(dir_.Path() / "data");
    }

    // Runs the script text (written to a file, code page bytes = ASCII here) with the further
    // arguments, from the folder `from`; stdout in out_, stderr in err_.
    int Run(const std::string& script, const std::string& args, const fs::path& from) {
        const fs::path scriptFile = dir_.Write("script.pas", script);
        const std::string command = "cd '" + from.string() + "' && '" + kKqscript.string() + "' '" +
                                    scriptFile.string() + "' " + args + " >'" +
                                    (dir_.Path() / "stdout.txt").string() + "' 2>'" +
                                    (dir_.Path() / "stderr.txt").string() + "'";
        const int status = std::system(command.c_str());
        out_ = ReadAll(dir_.Path() / "stdout.txt");
        err_ = ReadAll(dir_.Path() / "stderr.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string DataDir() const { return "--data-dir '" + (dir_.Path() / "data").string() + "'"; }
    bool Printed(const std::string& line) const {
        return out_.find(line + "\n") != std::string::npos;
    }

    TempDir dir_;
    std::string out_, err_;
};

// A game's script calls engine functions; without a scene they do nothing and succeed, so the
// script runs to its end.
TEST_F(KqscriptCliTest, EngineFunctionsWithoutASceneDoNothingAndSucceed) {
    ASSERT_EQ(Run("A := 1; SetScreen(5); FastSetScreen(5); ToFront(0); MoveTo(1, 2, 3);"
                  "PlaySnd('Door.Open'); SaveState; TimerReset; ExitGame; B := 2;",
                  "", dir_.Path()),
              0)
        << out_ << err_;
    EXPECT_TRUE(Printed("A = Integer 1")) << out_;
    EXPECT_TRUE(Printed("B = Integer 2")) << out_;
    EXPECT_EQ(err_, "");
}

// With --scene the engine functions act on the loaded scene: MoveTo moves MAIN, FastSetScreen
// loads its pictures, so GetAlpha reads HERO's picture (named in another letter case on disk).
TEST_F(KqscriptCliTest, EngineFunctionsActOnTheLoadedScene) {
    WritePathsGame(dir_, "mygame", "Game.kqf", "GAME.KST");
    ASSERT_EQ(Run("MoveTo(MAIN, 5, 7); PPX := MAIN.X; FastSetScreen(MAIN);"
                  "A := GetAlpha(MAIN.HERO, 0, 0); PlaySnd('Door.Open'); ExitGame;",
                  "--scene mygame/Game.kqf " + DataDir(), dir_.Path()),
              0)
        << out_ << err_;
    EXPECT_TRUE(Printed("PX = Integer 5")) << out_;
    EXPECT_TRUE(Printed("A = Integer " + std::to_string(kPathsHeroAlpha))) << out_;
}

// The language file comes from the game's pack, found from a relative game path: GetText and
// double-quoted language keys (in expressions and written to a property) give its texts.
TEST_F(KqscriptCliTest, SceneLanguageTextsReachTheScript) {
    WritePathsGame(dir_, "x", "Game.kqf", "GAME.KST");
    fs::create_directories(dir_.Path() / "elsewhere");
    const std::string script =
        "T := GetText('Title'); S := '' + \"Menu.Start\"; Tag := \"Menu.Start\"; U := Tag;";
    for (const auto& [from, game] :
         {std::pair{dir_.Path() / "x", std::string("game.KQF")},
          std::pair{dir_.Path(), std::string("x/Game.kqf")},
          std::pair{dir_.Path() / "elsewhere", std::string("../x/Game.kqf")}}) {
        SCOPED_TRACE(game);
        ASSERT_EQ(Run(script, "--scene " + game, from), 0) << out_ << err_;
        EXPECT_TRUE(Printed("T = String 'Paths'")) << out_;
        EXPECT_TRUE(Printed("S = String 'Go'")) << out_;
        EXPECT_TRUE(Printed("U = String 'Go'")) << out_;
    }
}

} // namespace
} // namespace kq::test
