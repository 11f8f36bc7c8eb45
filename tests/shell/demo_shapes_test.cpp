// The demo's shapes screen through the real kqplayer: F3 opens it from the menu, the pie timer
// counts down every step, the list inside its Crop frame scrolls with the Down button, a row
// outside the frame cannot be clicked and a scrolled-in row can. Checked in the --dump state
// and against a reference frame.
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
                   const fs::path& shot = {}, int shotStep = 0) {
    const fs::path inputFile = dir.Write("input.txt", input);
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    std::string command = Quote(Binary()) + " --headless --skip-logos --steps " +
                          std::to_string(steps) + " --data-dir " + Quote(dir.Path()) + " --input " +
                          Quote(inputFile) + " --dump " + Quote(dump);
    if (!shot.empty()) {
        command += " --screenshot " +
                   Quote(std::to_string(shotStep > 0 ? shotStep : steps) + ":" + shot.string());
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
    const fs::path kept = fs::path(KQ_BINARY_DIR) / ("demo_shapes_actual_" + name);
    if (differing * 1000 > actual->pixels.size()) {
        fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    }
    EXPECT_LE(differing * 1000, actual->pixels.size())
        << differing << " pixels differ from " << reference << "; the frame is kept at " << kept;
}

const nlohmann::json& PropsOf(const nlohmann::json& dump, std::string_view id) {
    static const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json* e = Element(dump, id);
    EXPECT_NE(e, nullptr) << id;
    return e ? (*e)["props"] : none;
}

class DemoShapes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Binary()) || !fs::exists(DemoDir() / "demo.kqf") ||
            !fs::exists(DemoDir() / "fonts.kst")) {
            KQ_SKIP_MISSING() << "kqplayer or the demo game (target demo_game) is not built";
        }
    }
};

TEST_F(DemoShapes, PieTimerCountsDownAndRowsOutsideTheFrameCannotBeClicked) {
    // F3, then a click where row 6 lies below the frame's box.
    const std::string input = "3 key 114\n5 down 600 460\n6 up 600 460\n";
    TempDir shortDir;
    const PlayerRun shortRun = PlayDemo(shortDir, input, 10);
    TempDir longDir;
    const PlayerRun longRun = PlayDemo(longDir, input, 16);
    ASSERT_TRUE(shortRun.dump.is_object()) << shortRun.log;
    ASSERT_TRUE(longRun.dump.is_object()) << longRun.log;
    const nlohmann::json* screen = Element(shortRun.dump, "Shapes");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(shortRun.dump["runtime"]["current_screen"], (*screen)["props"]["Key"]);
    EXPECT_EQ(PropsOf(shortRun.dump, "Picked")["Text"], "Picked: none");

    // Two degrees less every step while the screen is current.
    const double shortPar1 = PropsOf(shortRun.dump, "Timer")["Par1"].get<double>();
    const double longPar1 = PropsOf(longRun.dump, "Timer")["Par1"].get<double>();
    EXPECT_LT(shortPar1, 360);
    EXPECT_GT(shortPar1, 300);
    EXPECT_DOUBLE_EQ(shortPar1 - longPar1, 12);
}

TEST_F(DemoShapes, DownScrollsTheClippedListAndAScrolledInRowTakesTheClick) {
    TempDir dir;
    // F3, Down twice (the list moves up by 100, row 7 is cut at the frame), a click on row 6,
    // then Escape after the shot.
    const std::string input = "3 key 114\n5 down 880 400\n6 up 880 400\n7 down 880 400\n"
                              "8 up 880 400\n10 down 600 370\n11 up 600 370\n22 key 27\n";
    const fs::path shot = dir.Path() / "shapes.png";
    const PlayerRun run = PlayDemo(dir, input, 24, shot, 20);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    EXPECT_EQ(PropsOf(run.dump, "List")["Y"], -100);
    EXPECT_EQ(PropsOf(run.dump, "Picked")["Text"], "Picked: row 6");
    // Escape went back to the menu.
    const nlohmann::json* menu = Element(run.dump, "Menu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*menu)["props"]["Key"]);
    // The pie part-way down, the list scrolled and cut at the frame's edges.
    ExpectMatchesReference(shot, "shapes_list.png");
}

} // namespace
} // namespace kq::test
