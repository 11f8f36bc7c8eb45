// The demo's texts screen through the real kqplayer: F1 opens it, a click gives the name field
// the focus, typed characters (a Cyrillic one too) edit it, and the language switch lays the
// translated texts out again. Checked in the --dump state and against a reference frame.
#include "shell/demo_player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

class DemoTexts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DemoBuilt() || !fs::exists(DemoDir() / "fonts.kst")) {
            KQ_SKIP_MISSING() << "kqplayer or the demo game (target demo_game) is not built";
        }
    }
};

TEST_F(DemoTexts, NameEntryTakesTheFocusAndTypedLetters) {
    TempDir dir;
    // F1, a click on the name field, then "Anna" and Cyrillic Zhe (U+0416) typed.
    const std::string input = "3 key 112\n5 down 300 500\n6 up 300 500\n"
                              "8 char 65\n8 char 110\n9 char 110\n9 char 97\n10 char 1046\n"
                              "11 char 8\n12 char 1046\n";
    const PlayerRun run = PlayDemo(dir, input, 15);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* name = DumpElement(run.dump, "Name");
    const nlohmann::json* screen = DumpElement(run.dump, "Texts");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*screen)["props"]["Key"]);
    EXPECT_EQ(run.dump["runtime"]["focus"], (*name)["props"]["Key"]);
    EXPECT_EQ((*name)["state"]["layout"], nlohmann::json::array({"AnnaЖ"}));
    EXPECT_EQ((*name)["state"]["font"], "TITLE");

    // The dialogue comes from the language file, wrapped in 600 pixels.
    const nlohmann::json* dialogue = DumpElement(run.dump, "Dialogue");
    ASSERT_NE(dialogue, nullptr);
    const nlohmann::json& lines = (*dialogue)["state"]["layout"];
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].get<std::string>().rfind("The old keeper", 0), 0u) << lines;
    // In wrap mode the explicit break is a word gap like any other.
    const std::string last = lines.back().get<std::string>();
    EXPECT_TRUE(last.ends_with("write it in the ledger.")) << lines;
}

TEST_F(DemoTexts, TheLanguageSwitchLaysTheTextsOutAgain) {
    TempDir dir;
    const std::string input = "3 key 112\n5 down 900 720\n6 up 900 720\n";
    const fs::path shot = dir.Path() / "texts.png";
    const PlayerRun run = PlayDemo(dir, input, 10, {.shot = shot});
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    EXPECT_EQ(run.dump["props"]["Lang"], "rus.lng");
    const nlohmann::json* title = DumpElement(run.dump, "Title");
    const nlohmann::json* dialogue = DumpElement(run.dump, "Dialogue");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(dialogue, nullptr);
    EXPECT_EQ((*title)["state"]["layout"], nlohmann::json::array({"Текст и диалог"}));
    EXPECT_EQ((*dialogue)["state"]["layout"][0].get<std::string>().rfind("Старый", 0), 0u);
    EXPECT_EQ(run.dump["runtime"]["focus"], nullptr);
    // The title's gradient and shadow, the wrapped dialogue, in Russian.
    ExpectMatchesReference(shot, "texts_rus.png");
}

TEST_F(DemoTexts, TheUnicodeDemoDrawsGlyphAndRasterLines) {
    const fs::path game = fs::path(KQ_BINARY_DIR) / "games" / "unicode-demo" / "unicode-demo.kqf";
    if (!fs::exists(game)) {
        KQ_SKIP_MISSING() << "the Unicode demo is not built (target unicode_demo_game)";
    }
    TempDir dir;
    // A click on the field gives it the focus; Cyrillic Zhe, "a" and "b" are typed.
    const fs::path input = dir.Write("input.txt", "3 down 300 580\n4 up 300 580\n"
                                                  "6 char 1046\n6 char 97\n7 char 98\n");
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path shot = dir.Path() / "unicode.png";
    const fs::path log = dir.Path() / "log.txt";
    const std::string command = Quote(PlayerBinary()) + " --headless --skip-logos --steps 10 " +
                                "--data-dir " + Quote(dir.Path()) + " --input " + Quote(input) +
                                " --dump " + Quote(dump) + " --screenshot " +
                                Quote("10:" + shot.string()) + " " + Quote(game) + " > " +
                                Quote(log) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(log);
    const nlohmann::json state = nlohmann::json::parse(ReadAll(dump), nullptr, false);
    ASSERT_TRUE(state.is_object()) << ReadAll(log);
    const nlohmann::json* field = DumpElement(state, "Field");
    const nlohmann::json* glyphs = DumpElement(state, "Glyphs");
    ASSERT_NE(field, nullptr);
    ASSERT_NE(glyphs, nullptr);
    EXPECT_EQ(state["runtime"]["focus"], (*field)["props"]["Key"]);
    EXPECT_EQ((*field)["state"]["layout"], nlohmann::json::array({"Жab"}));
    // The long word is broken between letters: no line holds it whole, the lines together do.
    const std::string word = "Превысокомногорассмотрительствующий";
    std::string joined;
    bool whole = false;
    for (const nlohmann::json& line : (*glyphs)["state"]["layout"]) {
        joined += line.get<std::string>();
        whole = whole || line.get<std::string>().find(word) != std::string::npos;
    }
    const bool broken = !whole && joined.find(word) != std::string::npos;
    EXPECT_TRUE(broken) << (*glyphs)["state"]["layout"];
    ExpectMatchesReference(shot, "unicode_demo.png");
}

} // namespace
} // namespace kq::test
