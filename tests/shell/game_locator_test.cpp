#include "shell/game_locator.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kq::shell {
namespace {

namespace fs = std::filesystem;

GameLocation Locate(const fs::path& program, const fs::path& config = {},
                    std::optional<fs::path> arg = std::nullopt) {
    GameSearch s;
    s.programFile = program;
    s.configFolder = config;
    s.argument = std::move(arg);
    return LocateGame(s);
}

TEST(GameLocator, OwnNamedGameWinsOverOthers) {
    test::TempDir dir;
    dir.Write("bin/aaa.kqf", "x");
    dir.Write("bin/game.kqf", "x");
    dir.Write("bin/zzz.kqf", "x");
    EXPECT_EQ(Locate(dir.Path() / "bin/game.exe").file, dir.Path() / "bin/game.kqf");
    EXPECT_EQ(Locate(dir.Path() / "bin/game").file, dir.Path() / "bin/game.kqf");
}

TEST(GameLocator, OwnNameMatchesWithoutRegardToCase) {
    test::TempDir dir;
    dir.Write("bin/a.kqf", "x");
    dir.Write("bin/KQPLAYER.KQF", "x");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer").file, dir.Path() / "bin/KQPLAYER.KQF");
}

TEST(GameLocator, FirstGameFileByNameWithoutOwnNamedOne) {
    test::TempDir dir;
    dir.Write("bin/second.kqf", "x");
    dir.Write("bin/First.KQF", "x");
    dir.Write("bin/notes.txt", "x");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer").file, dir.Path() / "bin/First.KQF");
}

TEST(GameLocator, AuthoringToolIniNamesTheLastGame) {
    test::TempDir dir;
    dir.Write("bin/readme.txt", "x");
    const fs::path game = dir.Write("work/My Game/quest.kqf", "x");
    dir.Write("config/KQMaker.ini", "[Main]\r\npath=" + game.string() + "\r\n");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer", dir.Path() / "config").file, game);
    // Written by a Windows tool: backslashes, other sections around it.
    std::string windowsPath = game.string();
    for (char& c : windowsPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    dir.Write("config/KQMaker.ini",
              "[Other]\nPath=nothing\n[MAIN]\nPath=" + windowsPath + "\n[Last]\nPath=x\n");
    EXPECT_EQ(ReadKQMakerPath(dir.Path() / "config/KQMaker.ini"), game);
}

TEST(GameLocator, BundledDemoWhenNothingElse) {
    test::TempDir dir;
    dir.Write("bin/readme.txt", "x");
    dir.Write("config/KQMaker.ini", "[Main]\nPath=/no/such/game.kqf\n");
    EXPECT_TRUE(Locate(dir.Path() / "bin/kqplayer", dir.Path() / "config").file.empty());
    const fs::path demo = dir.Write("bin/games/demo/demo.kqf", "x");
    const GameLocation found = Locate(dir.Path() / "bin/kqplayer", dir.Path() / "config");
    EXPECT_EQ(found.file, demo);
    EXPECT_EQ(found.how, "bundled demo game");
}

TEST(GameLocator, ArgumentNamesAFileOrAFolder) {
    test::TempDir dir;
    dir.Write("bin/kqplayer.kqf", "x");
    const fs::path game = dir.Write("games/one/b.kqf", "x");
    dir.Write("games/one/c.kqf", "x");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer", {}, game).file, game);
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer", {}, dir.Path() / "games/one").file, game);
    // A named game that is not there is not replaced by another one.
    EXPECT_TRUE(Locate(dir.Path() / "bin/kqplayer", {}, dir.Path() / "nope.kqf").file.empty());
    EXPECT_TRUE(Locate(dir.Path() / "bin/kqplayer", {}, dir.Path() / "bin/..").file.empty());
}

TEST(GameLocator, ArgumentInAnotherLetterCaseFindsTheGame) {
    test::TempDir dir;
    const fs::path game = dir.Write("games/Quest.KQF", "x");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer", {}, dir.Path() / "games/quest.kqf").file, game);
    const test::CurrentFolder inside(dir.Path() / "games");
    EXPECT_EQ(Locate(dir.Path() / "bin/kqplayer", {}, fs::path("QUEST.kqf")).file,
              fs::path(".") / "Quest.KQF");
}

TEST(GameLocator, BrokenOrUnrelatedIniGivesNothing) {
    test::TempDir dir;
    EXPECT_FALSE(ReadKQMakerPath(dir.Path() / "missing.ini").has_value());
    dir.Write("a.ini", "[Main]\nOther=1\n");
    EXPECT_FALSE(ReadKQMakerPath(dir.Path() / "a.ini").has_value());
    dir.Write("b.ini", std::string("\0\xff[Main\n=\n", 9));
    EXPECT_FALSE(ReadKQMakerPath(dir.Path() / "b.ini").has_value());
}

} // namespace
} // namespace kq::shell
