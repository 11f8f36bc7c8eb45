#include "media/game_files.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kq::media {
namespace {

// Names as a windows-1251 game writes them.
const std::string kPicturesCp1251 = "\xEA\xE0\xF0\xF2\xE8\xED\xEA\xE8"; // картинки
const std::string kBackgroundCp1251 = "\xF4\xEE\xED";                   // фон
const std::string kHedgehogUpperCp1251 = "\xA8\xC6";                    // ЁЖ
const std::string kHedgehogLowerCp1251 = "\xB8\xE6";                    // ёж

class GameFilesTest : public ::testing::Test {
protected:
    GameFilesTest() : game_(root_.Path() / "game") {
        root_.Write("game/Images/Hero.png", "hero");
        root_.Write("game/Sounds/Music/Theme.OGG", "theme");
        root_.Write("game/Картинки/Фон.JPG", "background");
        root_.Write("secret.txt", "outside");
    }

    void OpenPack(StoreWriter& writer) {
        ASSERT_TRUE(writer.Write(root_.Path() / "game" / "game.kst"));
        ASSERT_TRUE(game_.OpenPack("game.kst")); // relative to the game folder
    }

    test::TempDir root_;
    GameFiles game_;
};

TEST_F(GameFilesTest, LooseFilesMatchAnyCaseAndSeparator) {
    const GameFile hero = game_.Read("images\\HERO.png");
    EXPECT_EQ(hero.source, FileSource::Loose);
    EXPECT_EQ(hero.bytes, "hero");
    EXPECT_EQ(game_.Read("SOUNDS/music\\theme.ogg").bytes, "theme");
    EXPECT_EQ(game_.Read(".\\sounds\\\\Music\\Theme.OGG").bytes, "theme");
    EXPECT_EQ(game_.FindLoose("IMAGES\\hero.PNG"), game_.GameFolder() / "Images" / "Hero.png");
    EXPECT_TRUE(game_.Exists("images/hero.png"));
}

TEST_F(GameFilesTest, CyrillicNamesMatchTheUtf8FolderInAnyCase) {
    const GameFile file = game_.Read(kPicturesCp1251 + "\\" + kBackgroundCp1251 + ".jpg");
    EXPECT_EQ(file.source, FileSource::Loose);
    EXPECT_EQ(file.bytes, "background");
    EXPECT_EQ(game_.FindLoose(game_.Codec().UpperCase(kPicturesCp1251) + "/" + kBackgroundCp1251 +
                              ".Jpg"),
              game_.GameFolder() / "Картинки" / "Фон.JPG");
}

// Old archives unpack Cyrillic names as windows-1251 bytes; those entries are not UTF-8 and
// must still match, in any letter case, beside entries spelled in UTF-8.
TEST_F(GameFilesTest, CodePageNamesOnDiskMatchInAnyCase) {
    const std::string folderUpper = "\xCF\xC0\xCF\xCA\xC0";    // ПАПКА
    const std::string folderLower = "\xEF\xE0\xEF\xEA\xE0";    // папка
    const std::string background = kBackgroundCp1251 + ".png"; // фон.png
    root_.Write("game/" + folderUpper + "/" + background, "code-page background");
    root_.Write("game/" + kBackgroundCp1251 + ".png", "top background");
    root_.Write("game/" + kHedgehogUpperCp1251 + ".txt", "hedgehog");

    const GameFile exact = game_.Read(folderUpper + "\\" + background);
    EXPECT_EQ(exact.source, FileSource::Loose);
    EXPECT_EQ(exact.bytes, "code-page background");
    EXPECT_EQ(
        game_.Read(folderLower + "\\" + game_.Codec().UpperCase(kBackgroundCp1251) + ".PNG").bytes,
        "code-page background");
    EXPECT_EQ(game_.FindLoose(folderLower + "/" + background),
              game_.GameFolder() / folderUpper / background);
    EXPECT_EQ(game_.Read("\xD4\xCE\xCD.png").bytes, "top background"); // ФОН.png
    // Case folding beyond the basic Cyrillic letters: Ё and ё.
    EXPECT_EQ(game_.Read(kHedgehogLowerCp1251 + ".TXT").bytes, "hedgehog");
    // The UTF-8 spellings are still found beside them.
    EXPECT_EQ(game_.Read(kPicturesCp1251 + "\\" + kBackgroundCp1251 + ".jpg").bytes, "background");
}

// The game's code page decides how such names read: in windows-1252 the bytes C9 and E9 are
// É and é; A8 and B8 are Ё and ё in windows-1251 but two accents in windows-1252.
TEST(GameFiles, CodePageNamesOnDiskFollowTheGamesCodePage) {
    const test::TempDir root;
    root.Write("game/\xC9T\xC9.txt", "summer");
    root.Write("game/\xA8.txt", "yo");
    const GameFiles western(root.Path() / "game", "CP1252");
    EXPECT_EQ(western.FindLoose("\xE9t\xE9.TXT"), root.Path() / "game" / "\xC9T\xC9.txt");
    EXPECT_FALSE(western.FindLoose("\xB8.txt"));
    const GameFiles cyrillic(root.Path() / "game");
    EXPECT_EQ(cyrillic.FindLoose("\xB8.txt"), root.Path() / "game" / "\xA8.txt");
}

// A relative or empty game folder is taken from the current folder once, when the service is
// made: later lookups, case-insensitive ones included, do not depend on the current folder.
TEST(GameFiles, RelativeGameFoldersBecomeAbsolute) {
    const test::TempDir root;
    root.Write("mygame/Images/Hero.png", "hero");
    root.Write("other/placeholder", "");
    {
        const test::CurrentFolder inside(root.Path() / "mygame");
        const GameFiles here("");
        const test::CurrentFolder elsewhere(root.Path() / "other");
        EXPECT_EQ(here.FindLoose("images\\HERO.PNG"),
                  root.Path() / "mygame" / "Images" / "Hero.png");
    }
    const test::CurrentFolder above(root.Path());
    const GameFiles sub("mygame");
    EXPECT_TRUE(sub.GameFolder().is_absolute());
    EXPECT_EQ(sub.FindLoose("IMAGES/hero.png"), root.Path() / "mygame" / "Images" / "Hero.png");
}

TEST_F(GameFilesTest, MissingFilesAndFoldersGiveNothing) {
    EXPECT_EQ(game_.Read("images\\villain.png").source, FileSource::None);
    EXPECT_TRUE(game_.Read("images\\villain.png").bytes.empty());
    EXPECT_FALSE(game_.Exists("nothing\\hero.png"));
    // A folder is not a file, and a file is not a folder.
    EXPECT_EQ(game_.Read("images").source, FileSource::None);
    EXPECT_FALSE(game_.FindLoose("images\\hero.png\\x"));
    EXPECT_EQ(game_.Read("").source, FileSource::None);
}

TEST_F(GameFilesTest, NamesThatLeaveTheGameFolderAreRefused) {
    ASSERT_TRUE(std::filesystem::exists(root_.Path() / "secret.txt"));
    for (const std::string name :
         {"..\\secret.txt", "images/../../secret.txt", "/etc/hostname", "\\secret.txt",
          "C:\\secret.txt", "images\\..\\Images\\Hero.png"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(game_.FindLoose(name));
        EXPECT_EQ(game_.Read(name).source, FileSource::None);
        EXPECT_FALSE(game_.PackMemberName(name));
    }
    EXPECT_FALSE(game_.FindLoose(std::string("images\\hero.png\0x", 16)));
}

TEST_F(GameFilesTest, PackFillsInForMissingLooseFiles) {
    StoreWriter writer;
    writer.Add("SOUNDS\\CLICK.WAV", "click");
    writer.Add("IMAGES\\HERO.PNG", "packed hero");
    writer.Add("..\\SECRET.TXT", "packed secret");
    // A Cyrillic member, upper-cased in the code page as the authoring tool stores it.
    writer.Add("\xC7\xC2\xD3\xCA\\" + kHedgehogUpperCp1251 + ".WAV", "hedgehog"); // ЗВУК
    OpenPack(writer);

    const GameFile click = game_.Read("sounds/Click.wav");
    EXPECT_EQ(click.source, FileSource::Pack);
    EXPECT_EQ(click.bytes, "click");
    EXPECT_TRUE(game_.Exists("Sounds\\click.WAV"));

    const GameFile hero = game_.Read("Images\\hero.png");
    EXPECT_EQ(hero.source, FileSource::Loose);
    EXPECT_EQ(hero.bytes, "hero");

    const GameFile hedgehog = game_.Read("\xE7\xE2\xF3\xEA\\" + kHedgehogLowerCp1251 + ".wav");
    EXPECT_EQ(hedgehog.source, FileSource::Pack);
    EXPECT_EQ(hedgehog.bytes, "hedgehog");

    EXPECT_EQ(game_.Read("..\\secret.txt").source, FileSource::None);
}

TEST_F(GameFilesTest, PackMemberNamesAreNormalised) {
    EXPECT_EQ(game_.PackMemberName("a//./b\\c.png"), "A\\B\\C.PNG");
    EXPECT_EQ(game_.PackMemberName(kHedgehogLowerCp1251 + "/x"), kHedgehogUpperCp1251 + "\\X");
    EXPECT_FALSE(game_.PackMemberName("./"));
}

// The pack's file name is matched without regard to case, relative to the game folder only
// (never joined to it twice), or at an absolute path.
TEST_F(GameFilesTest, PackNameMatchesAnyCase) {
    StoreWriter writer;
    writer.Add("SOUNDS\\CLICK.WAV", "click");
    ASSERT_TRUE(writer.Write(root_.Path() / "game" / "GAME.KST"));
    EXPECT_TRUE(game_.OpenPack("game.kst"));
    EXPECT_EQ(game_.Read("sounds\\click.wav").source, FileSource::Pack);
    EXPECT_TRUE(game_.OpenPack(root_.Path() / "game" / "Game.Kst"));
    EXPECT_EQ(game_.Pack().FileName(), root_.Path() / "game" / "GAME.KST");

    const test::CurrentFolder above(root_.Path());
    GameFiles relative("game");
    EXPECT_TRUE(relative.OpenPack("Game.kst"));
    EXPECT_EQ(relative.Read("Sounds/Click.wav").bytes, "click");
}

TEST(GameFiles, PackNameIsTheGameFileNameWithKst) {
    EXPECT_EQ(GameFiles::PackNameFor("/games/x/Game.KQF"), "Game.kst");
    EXPECT_EQ(GameFiles::PackNameFor("sub/quest"), "q.kst"); // the last four characters go
    EXPECT_EQ(GameFiles::PackNameFor("abc"), ".kst");
}

TEST_F(GameFilesTest, MissingPackIsHarmless) {
    EXPECT_FALSE(game_.OpenPack("absent.kst"));
    EXPECT_EQ(game_.Read("sounds\\click.wav").source, FileSource::None);
    EXPECT_EQ(game_.Read("images\\hero.png").source, FileSource::Loose);
}

TEST_F(GameFilesTest, ExactSpellingWinsOverOtherCases) {
    root_.Write("game/Data/a.txt", "lower");
    root_.Write("game/Data/A.txt", "upper");
    EXPECT_EQ(game_.Read("Data\\a.txt").bytes, "lower");
    EXPECT_EQ(game_.Read("Data\\A.txt").bytes, "upper");
    // Neither spelling given: the choice must not depend on the listing order.
    EXPECT_EQ(game_.Read("data\\a.TXT").bytes, "upper");
}

TEST_F(GameFilesTest, FindBelowSearchesAnotherBase) {
    const test::TempDir user;
    user.Write("Saves/Slot1.SAV", "save");
    EXPECT_EQ(game_.FindBelow(user.Path(), "saves\\slot1.sav"),
              user.Path() / "Saves" / "Slot1.SAV");
    EXPECT_FALSE(game_.FindBelow(user.Path(), "images\\hero.png"));
}

TEST_F(GameFilesTest, OversizedLooseFilesAreRefused) {
    const auto big = root_.Write("game/Big.bin", "");
    std::error_code ec;
    std::filesystem::resize_file(big, GameFiles::kMaxLooseFileSize + 1, ec); // sparse
    if (ec) {
        KQ_SKIP_MISSING() << "cannot make a sparse file here: " << ec.message();
    }
    EXPECT_TRUE(game_.FindLoose("big.bin"));
    EXPECT_EQ(game_.Read("big.bin").source, FileSource::None);
}

TEST(ReadWholeFile, HonoursTheLimitAndRefusesNonFiles) {
    const test::TempDir dir;
    const auto file = dir.Write("ten.bin", "0123456789");
    EXPECT_EQ(ReadWholeFile(file, 10), "0123456789");
    EXPECT_FALSE(ReadWholeFile(file, 9));
    EXPECT_EQ(ReadWholeFile(dir.Write("empty", ""), 0), std::string());
    EXPECT_FALSE(ReadWholeFile(dir.Path()));
    EXPECT_FALSE(ReadWholeFile(dir.Path() / "missing"));
    EXPECT_FALSE(ReadWholeFile("/dev/zero"));
}

} // namespace
} // namespace kq::media
