// The demo's layers screen through the real kqplayer: F4 opens it from the menu, the masked
// layers get their render targets from the frame's compose step (the snapshot effect, which
// is not composed by itself, only from its button's "Render"), the filter button switches an
// effect's Filter, and the frame matches its reference.
#include "shell/demo_player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

nlohmann::json TargetOf(const nlohmann::json& dump, std::string_view id) {
    const nlohmann::json* e = DumpElement(dump, id);
    if (e == nullptr || !e->contains("state")) {
        return "missing";
    }
    return (*e)["state"]["target"];
}

class DemoLayers : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DemoBuilt()) {
            KQ_SKIP_MISSING() << "kqplayer or the demo game (target demo_game) is not built";
        }
    }
};

TEST_F(DemoLayers, TheFrameComposesTheLayersAndTheSnapshotWaitsForItsButton) {
    TempDir dir;
    const PlayerRun run = PlayDemo(dir, "3 key 115\n", 6);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* screen = DumpElement(run.dump, "Layers");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*screen)["props"]["Key"]);
    EXPECT_EQ(TargetOf(run.dump, "SpotMask"), nlohmann::json::array({480, 360}));
    EXPECT_EQ(TargetOf(run.dump, "Spotlight"), nlohmann::json::array({480, 360}));
    EXPECT_EQ(TargetOf(run.dump, "Wave"), nlohmann::json::array({240, 180}));
    EXPECT_EQ(TargetOf(run.dump, "Snap"), nullptr); // AutoRender off, never rendered
    EXPECT_EQ(run.log.find("script:"), std::string::npos) << run.log;
}

TEST_F(DemoLayers, ButtonsSwitchTheFilterAndTakeASnapshot) {
    TempDir dir;
    // F4, "Next filter" twice, "Snapshot" once, then the mouse on the spotlight.
    const std::string input = "3 key 115\n5 down 900 572\n6 up 900 572\n7 down 900 572\n"
                              "8 up 900 572\n9 down 660 572\n10 up 660 572\n11 move 200 250\n";
    const fs::path shot = dir.Path() / "layers.png";
    const PlayerRun run = PlayDemo(dir, input, 14, {.shot = shot});
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* fx = DumpElement(run.dump, "Fx");
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ((*fx)["props"]["Filter"], "flSharpen");
    EXPECT_EQ(TargetOf(run.dump, "Snap"), nlohmann::json::array({240, 180}));
    EXPECT_EQ(run.log.find("script:"), std::string::npos) << run.log;
    // The spotlight round the mouse, the waving stripes, the sharpened and the grey copies.
    ExpectMatchesReference(shot, "layers.png");
}

} // namespace
} // namespace kq::test
