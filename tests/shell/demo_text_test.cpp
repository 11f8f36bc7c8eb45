// The demo's texts screen through the real kqplayer: F1 opens it, a click gives the name field
// the focus, typed characters (a Cyrillic one too) edit it, and the language switch lays the
// translated texts out again. Checked in the --dump state and against a reference frame.
#include "media/image_decode.h"
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

fs::path Binary() {
    return fs::path(KQ_BINARY_DIR) / "kqplayer";
}
fs::path DemoDir() {
    return fs::path(KQ_BINARY_DIR) / "games" / "demo";
}
std::string Quote(const fs::path& p) {
    return "\"" + p.string() + "\"";
}

// The element object (class, props, state, ...) whose Id is id, anywhere below node.
const nlohmann::json* Element(const nlohmann::json& node, std::string_view id) {
    if (!node.is_object()) {
        return nullptr;
    }
    if (node.contains("props") && node["props"].value("Id", "") == id) {
        return &node;
    }
    if (node.contains("children") && node["children"].is_array()) {
        for (const nlohmann::json& child : node["children"]) {
            if (const nlohmann::json* hit = Element(child, id)) {
                return hit;
            }
        }
    }
    return nullptr;
}

struct PlayerRun {
    nlohmann::json dump;
    std::string log;
};

PlayerRun PlayDemo(const TempDir& dir, const std::string& input, int steps,
                   const fs::path& shot = {}) {
    const fs::path inputFile = dir.Write("input.txt", input);
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    std::string command = Quote(Binary()) + " --headless --skip-logos --steps " +
                          std::to_string(steps) + " --data-dir " + Quote(dir.Path()) + " --input " +
                          Quote(inputFile) + " --dump " + Quote(dump);
    if (!shot.empty()) {
        command += " --screenshot " + Quote(std::to_string(steps) + ":" + shot.string());
    }
    command += " " + Quote(DemoDir() / "demo.kqf") + " > " + Quote(log) + " 2>&1";
    const int status = std::system(command.c_str());
    PlayerRun run;
    run.log = fs::exists(log) ? ReadAll(log) : "";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.log;
    run.dump =
        fs::exists(dump) ? nlohmann::json::parse(ReadAll(dump), nullptr, false) : nlohmann::json();
    return run;
}

// Compares a frame with its reference in tests/fixtures/demo (KQ_UPDATE_FIXTURES=1 rewrites
// it): at most one pixel in a thousand may differ by more than 3 in a channel.
void ExpectMatchesReference(const fs::path& shot, const std::string& name) {
    const fs::path reference = fs::path(KQ_FIXTURES_DIR) / "demo" / name;
    const char* update = std::getenv("KQ_UPDATE_FIXTURES");
    if (update != nullptr && std::string_view(update) == "1") {
        fs::copy_file(shot, reference, fs::copy_options::overwrite_existing);
        return;
    }
    ASSERT_TRUE(fs::exists(reference)) << reference << " is missing";
    const auto actual = media::DecodePng(ReadAll(shot), shot.string());
    const auto expected = media::DecodePng(ReadAll(reference), reference.string());
    ASSERT_TRUE(actual && expected);
    ASSERT_EQ(actual->pixels.size(), expected->pixels.size());
    size_t differing = 0;
    for (size_t i = 0; i < actual->pixels.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int a = static_cast<int>((actual->pixels[i] >> shift) & 0xFF);
            const int b = static_cast<int>((expected->pixels[i] >> shift) & 0xFF);
            if (std::abs(a - b) > 3) {
                ++differing;
                break;
            }
        }
    }
    const fs::path kept = fs::path(KQ_BINARY_DIR) / ("demo_text_actual_" + name);
    if (differing * 1000 > actual->pixels.size()) {
        fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    }
    EXPECT_LE(differing * 1000, actual->pixels.size())
        << differing << " pixels differ from " << reference << "; the frame is kept at " << kept;
}

class DemoTexts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Binary()) || !fs::exists(DemoDir() / "demo.kqf") ||
            !fs::exists(DemoDir() / "fonts.kst")) {
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
    const nlohmann::json* name = Element(run.dump, "Name");
    const nlohmann::json* screen = Element(run.dump, "Texts");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*screen)["props"]["Key"]);
    EXPECT_EQ(run.dump["runtime"]["focus"], (*name)["props"]["Key"]);
    EXPECT_EQ((*name)["state"]["layout"], nlohmann::json::array({"AnnaЖ"}));
    EXPECT_EQ((*name)["state"]["font"], "TITLE");

    // The dialogue comes from the language file, wrapped in 600 pixels.
    const nlohmann::json* dialogue = Element(run.dump, "Dialogue");
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
    const PlayerRun run = PlayDemo(dir, input, 10, shot);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    EXPECT_EQ(run.dump["props"]["Lang"], "rus.lng");
    const nlohmann::json* title = Element(run.dump, "Title");
    const nlohmann::json* dialogue = Element(run.dump, "Dialogue");
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
    const std::string command = Quote(Binary()) + " --headless --skip-logos --steps 10 " +
                                "--data-dir " + Quote(dir.Path()) + " --input " + Quote(input) +
                                " --dump " + Quote(dump) + " --screenshot " +
                                Quote("10:" + shot.string()) + " " + Quote(game) + " > " +
                                Quote(log) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(log);
    const nlohmann::json state = nlohmann::json::parse(ReadAll(dump), nullptr, false);
    ASSERT_TRUE(state.is_object()) << ReadAll(log);
    const nlohmann::json* field = Element(state, "Field");
    const nlohmann::json* glyphs = Element(state, "Glyphs");
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
