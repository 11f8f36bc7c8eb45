// Finding and reading a game from different current folders, as the player and kqscript do.
#include "shell/game_loading.h"

#include "media/game_files.h"
#include "shell/paths_game.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

struct LoadedGame {
    bool ok = false;
    fs::path gameFile;
    fs::path gameFolder;
    bool packOpen = false;
    std::string title;
    scene::TKQDB::SoundRef door;
    std::string hero; // the loose picture's bytes, looked up after a change of folder
};

// The player's steps for a game argument given relative to the current folder.
LoadedGame LoadAsThePlayer(const fs::path& argument, const fs::path& laterFolder) {
    LoadedGame loaded;
    loaded.gameFile = media::ResolveGameFile(argument);
    media::GameFiles files(loaded.gameFile.parent_path());
    scene::Runtime rt(elements::ElementClasses());
    rt.files = &files;
    scene::TKQDB db(rt);
    loaded.ok = shell::LoadGameScene(db, rt, loaded.gameFile);
    loaded.gameFolder = files.GameFolder();
    loaded.packOpen = files.Pack().IsOpen();
    loaded.title = db.Translate("Title");
    loaded.door = db.SoundEntry("Door.Open");
    const CurrentFolder later(laterFolder);
    loaded.hero = files.Read("IMAGES\\HERO.PNG").bytes;
    return loaded;
}

void ExpectFound(const LoadedGame& loaded, const fs::path& realGame) {
    EXPECT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.gameFile, fs::canonical(realGame));
    EXPECT_EQ(loaded.gameFolder, fs::canonical(realGame).parent_path());
    EXPECT_TRUE(loaded.packOpen);
    EXPECT_EQ(loaded.title, "Paths");
    EXPECT_EQ(loaded.door.file, "door.wav");
    EXPECT_EQ(loaded.door.volume, 70);
    EXPECT_EQ(loaded.hero, ReadAll(realGame.parent_path() / "Images" / "Hero.png"));
    EXPECT_FALSE(loaded.hero.empty());
}

// The pack's name differs from the game file's in letter case (GAME.KST beside Game.kqf), and
// the picture on disk from the name the scene gives.
class GameLoading : public ::testing::Test {
protected:
    GameLoading() : game_(WritePathsGame(dir_, "x", "Game.kqf", "GAME.KST")) {
        fs::create_directories(dir_.Path() / "elsewhere");
    }

    TempDir dir_;
    fs::path game_;
};

TEST_F(GameLoading, BareNameInTheGameFolder) {
    const CurrentFolder inside(dir_.Path() / "x");
    ExpectFound(LoadAsThePlayer("Game.kqf", dir_.Path() / "elsewhere"), game_);
}

TEST_F(GameLoading, NameBelowTheCurrentFolder) {
    const CurrentFolder above(dir_.Path());
    ExpectFound(LoadAsThePlayer("x/Game.kqf", dir_.Path() / "elsewhere"), game_);
}

TEST_F(GameLoading, NameBesideTheCurrentFolder) {
    const CurrentFolder beside(dir_.Path() / "elsewhere");
    ExpectFound(LoadAsThePlayer("../x/Game.kqf", dir_.Path()), game_);
}

// A link in another folder leads to the real game: its folder holds the pack and pictures.
TEST_F(GameLoading, SymbolicLinkToTheGameFileIsFollowed) {
    fs::create_directories(dir_.Path() / "links");
    std::error_code ec;
    fs::create_symlink("../x/Game.kqf", dir_.Path() / "links" / "mine.kqf", ec);
    if (ec) {
        KQ_SKIP_MISSING() << "cannot make a symbolic link here: " << ec.message();
    }
    const CurrentFolder links(dir_.Path() / "links");
    ExpectFound(LoadAsThePlayer("mine.kqf", dir_.Path() / "elsewhere"), game_);
}

// Every spelling of the pack beside any spelling of the game file.
TEST(GameLoadingPack, PackNameIsFoundWithoutRegardToCase) {
    for (const auto& [gameName, packName] :
         {std::pair{"Game.KQF", "GAME.KST"}, std::pair{"Game.KQF", "game.kst"},
          std::pair{"GAME.kqf", "Game.Kst"}}) {
        SCOPED_TRACE(std::string(gameName) + " " + packName);
        TempDir dir;
        const fs::path game = WritePathsGame(dir, "g", gameName, packName);
        ExpectFound(LoadAsThePlayer(game, dir.Path()), game);
    }
}

TEST(GameLoadingPack, MissingGameLoadsNothingAndStillLoadsPicturesAfterwards) {
    TempDir dir;
    media::GameFiles files(dir.Path());
    scene::Runtime rt(elements::ElementClasses());
    rt.files = &files;
    scene::TKQDB db(rt);
    EXPECT_FALSE(shell::LoadGameScene(db, rt, media::ResolveGameFile(dir.Path() / "none.kqf")));
    EXPECT_FALSE(shell::LoadGameScene(db, rt, {}));
    EXPECT_TRUE(rt.loadImagesNow);
    EXPECT_EQ(db.ChildCount(), 0u);
}

TEST(GameLoadingScene, TruncatedSceneGivesOneLogLineNamingTheByteOffset) {
    TempDir dir;
    std::string whole;
    size_t recordAt = 0;
    {
        scene::Runtime rt(elements::ElementClasses());
        scene::TKQDB db(rt);
        db.Id = "Cut";
        scene::TKQElement* screen = rt.classes.CreateChild(db, "TKQScreen");
        ASSERT_NE(screen, nullptr);
        whole = scene::SaveElementBlob(db);
        // The screen's record (its length, then its blob) closes the file.
        recordAt = whole.size() - 4 - scene::SaveElementBlob(*screen).size();
    }
    const fs::path game = dir.Write("cut.kqf", whole.substr(0, whole.size() - 3));
    media::GameFiles files(dir.Path());
    scene::Runtime rt(elements::ElementClasses());
    rt.files = &files;
    scene::TKQDB db(rt);
    LogCapture log;
    EXPECT_FALSE(shell::LoadGameScene(db, rt, game));
    EXPECT_EQ(log.Lines(), 1u) << log.Text();
    EXPECT_NE(log.Text().find("scene file " + game.string() + " is truncated at byte " +
                              std::to_string(recordAt) + ": the record of child 0 of 'Cut'"),
              std::string::npos)
        << log.Text();
    EXPECT_EQ(db.Id, "Cut"); // what was read stays
    EXPECT_EQ(db.ChildCount(), 0u);
}

TEST(ResolveGameFile, MakesPathsAbsoluteOnce) {
    TempDir dir;
    dir.Write("a/game.kqf", "x");
    const CurrentFolder inside(dir.Path() / "a");
    EXPECT_EQ(media::ResolveGameFile("game.kqf"), fs::canonical(dir.Path() / "a" / "game.kqf"));
    EXPECT_EQ(media::ResolveGameFile("GAME.KQF"), fs::canonical(dir.Path() / "a" / "game.kqf"));
    EXPECT_EQ(media::ResolveGameFile("missing.kqf"), fs::current_path() / "missing.kqf");
    EXPECT_TRUE(media::ResolveGameFile("").empty());
}

} // namespace
} // namespace kq::test
