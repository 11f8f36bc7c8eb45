// The demo's effects screen through the real kqplayer: F2 opens it; sparkles follow the mouse,
// smoke rises from the chimney, the burst switches itself off after its last spark, the
// "stars" cheat scatters stars over the star picture and Rise launches a row of stars.
// Checked in the --dump state (the effects' particles and the root's stars).
#include "shell/demo_player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

// The effects draw random numbers: every run uses the same seed.
DemoRunOptions Seeded() {
    DemoRunOptions options;
    options.seed = 7;
    return options;
}

// The "particles" state of an effect (null when it has no system).
const nlohmann::json& Particles(const nlohmann::json& dump, std::string_view id) {
    static const nlohmann::json none;
    const nlohmann::json* effect = DumpElement(dump, id);
    EXPECT_NE(effect, nullptr) << id;
    if (!effect || !effect->contains("state")) {
        return none;
    }
    return (*effect)["state"]["particles"];
}

class DemoEffects : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DemoBuilt()) {
            KQ_SKIP_MISSING() << "kqplayer or the demo game (target demo_game) is not built";
        }
    }
};

TEST_F(DemoEffects, SparklesFollowTheMouseSmokeRisesAndTheBurstFires) {
    TempDir dir;
    const PlayerRun run =
        PlayDemo(dir, "2 key 113\n4 move 300 300\n6 move 420 320\n8 move 500 330\n", 12, Seeded());
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* screen = DumpElement(run.dump, "Effects");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(run.dump["runtime"]["current_screen"], (*screen)["props"]["Key"]);

    // The sparkle effect stands where the mouse is, emitting; its particles are spread over
    // the path the mouse took.
    const nlohmann::json* sparkle = DumpElement(run.dump, "Sparkle");
    ASSERT_NE(sparkle, nullptr);
    EXPECT_EQ((*sparkle)["props"]["X"], 500);
    EXPECT_EQ((*sparkle)["props"]["Y"], 330);
    const nlohmann::json& sparks = Particles(run.dump, "Sparkle");
    ASSERT_TRUE(sparks.is_object()) << *sparkle;
    EXPECT_TRUE(sparks["emitting"].get<bool>());
    ASSERT_GT(sparks["live"].get<int>(), 10);
    ASSERT_EQ(sparks["items"].size(), sparks["live"].get<size_t>());
    int nearStart = 0;
    int nearEnd = 0;
    for (const nlohmann::json& item : sparks["items"]) {
        const double x = item["x"].get<double>();
        nearStart += x < 360 ? 1 : 0;
        nearEnd += x > 460 ? 1 : 0;
        EXPECT_TRUE(item["color"].is_number_unsigned()) << item;
        EXPECT_EQ(item["frame"], 1); // the sparkle pattern
    }
    EXPECT_GT(nearStart, 0);
    EXPECT_GT(nearEnd, 0);

    // The burst started with the screen and is still going.
    const nlohmann::json& burst = Particles(run.dump, "Burst");
    ASSERT_TRUE(burst.is_object());
    EXPECT_GT(burst["live"].get<int>(), 20);
    EXPECT_EQ((*DumpElement(run.dump, "Burst"))["props"]["Active"], true);

    // Smoke leaves the chimney top (y 380) upwards.
    const nlohmann::json& smoke = Particles(run.dump, "Smoke");
    ASSERT_TRUE(smoke.is_object());
    ASSERT_GT(smoke["live"].get<int>(), 0);
    EXPECT_LT(smoke["items"][0]["y"].get<double>(), 380);
}

TEST_F(DemoEffects, TheBurstSwitchesItselfOffAfterItsLastSpark) {
    TempDir dir;
    // Sparks live at most 1.2 time units (36 steps) after a quarter unit of emission.
    const PlayerRun run = PlayDemo(dir, "2 key 113\n", 60, Seeded());
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* effect = DumpElement(run.dump, "Burst");
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ((*effect)["props"]["Active"], false);
    const nlohmann::json& burst = Particles(run.dump, "Burst");
    ASSERT_TRUE(burst.is_object());
    EXPECT_EQ(burst["live"], 0);
    EXPECT_EQ(burst["emitting"], false);
    EXPECT_EQ(burst["timer"], -1);
    EXPECT_TRUE(burst["items"].empty());
    // The smoke goes on: it has risen well above the chimney and grown beyond the largest
    // start size (0.7 + 1.1 x 0.3).
    EXPECT_EQ((*DumpElement(run.dump, "Smoke"))["props"]["Active"], true);
    const nlohmann::json& smoke = Particles(run.dump, "Smoke");
    ASSERT_TRUE(smoke.is_object());
    double highest = 1e9;
    double largest = 0;
    for (const nlohmann::json& item : smoke["items"]) {
        highest = std::min(highest, item["y"].get<double>());
        largest = std::max(largest, item["size"].get<double>());
    }
    EXPECT_LT(highest, 330);
    EXPECT_GT(largest, 1.05);
}

TEST_F(DemoEffects, TheStarsCheatAndRiseLaunchStars) {
    TempDir dir;
    const std::string input = "2 key 113\n4 char 115\n4 char 116\n5 char 97\n5 char 114\n"
                              "6 char 115\n8 down 300 720\n8 up 300 720\n";
    const PlayerRun run = PlayDemo(dir, input, 10, Seeded());
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    EXPECT_EQ(run.dump["vars"]["CHEATED"][1], "stars") << run.dump["vars"];
    int scattered = 0;
    int rising = 0;
    for (const nlohmann::json& star : run.dump["runtime"]["stars"]) {
        if (star["pattern"] == 1) {
            // Over the opaque part of the 200 x 200 star picture at (560, 120).
            ++scattered;
            EXPECT_GE(star["x"].get<double>(), 560);
            EXPECT_LT(star["x"].get<double>(), 760);
            EXPECT_GE(star["y"].get<double>(), 120);
            EXPECT_LT(star["y"].get<double>(), 320);
        } else {
            ++rising;
            EXPECT_EQ(star["color"], 0xFFE080);
            EXPECT_EQ(star["layer"], 1000);
            EXPECT_LT(star["y"].get<double>(), 760); // it rose
        }
    }
    EXPECT_GT(scattered, 100); // a good part of 600 tries hits the star
    EXPECT_LT(scattered, 600); // the transparent corners do not
    EXPECT_EQ(rising, 24);
}

TEST_F(DemoEffects, EveryEffectOfTheSceneFileHasItsSystemFromTheStart) {
    // The root requests the particle sheet before it reads the scene, so the EffectFN values
    // read from the file build their systems (from the pack) before the screen is shown.
    TempDir dir;
    const PlayerRun run = PlayDemo(dir, "", 1, Seeded());
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    for (std::string_view id : {"Sparkle", "Smoke", "Burst"}) {
        const nlohmann::json& particles = Particles(run.dump, id);
        ASSERT_TRUE(particles.is_object()) << id;
        EXPECT_EQ(particles["live"], 0) << id; // the screen has not run yet
    }
    EXPECT_EQ(Particles(run.dump, "Smoke")["emitting"], true); // Active in the scene file
    EXPECT_EQ(Particles(run.dump, "Burst")["emitting"], false);
}

} // namespace
} // namespace kq::test
