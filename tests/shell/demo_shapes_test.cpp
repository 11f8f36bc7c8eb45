// The demo's shapes screen through the real kqplayer: F3 opens it from the menu, the pie timer
// counts down every step, the list inside its Crop frame scrolls with the Down button, a row
// outside the frame cannot be clicked and a scrolled-in row can. Checked in the --dump state
// and against a reference frame.
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

const nlohmann::json& PropsOf(const nlohmann::json& dump, std::string_view id) {
    static const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json* e = DumpElement(dump, id);
    EXPECT_NE(e, nullptr) << id;
    return e ? (*e)["props"] : none;
}

class DemoShapes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DemoBuilt() || !fs::exists(DemoDir() / "fonts.kst")) {
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
    const nlohmann::json* screen = DumpElement(shortRun.dump, "Shapes");
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
    const PlayerRun run = PlayDemo(dir, input, 24, {.shot = shot, .shotStep = 20});
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    EXPECT_EQ(PropsOf(run.dump, "List")["Y"], -100);
    EXPECT_EQ(PropsOf(run.dump, "Picked")["Text"], "Picked: row 6");
    // Escape went back to the menu.
    const nlohmann::json* menu = DumpElement(run.dump, "Menu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*menu)["props"]["Key"]);
    // The pie part-way down, the list scrolled and cut at the frame's edges.
    ExpectMatchesReference(shot, "shapes_list.png");
}

} // namespace
} // namespace kq::test
