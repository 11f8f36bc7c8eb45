// The demo's layers screen through the real kqplayer: F4 opens it from the menu, the masked
// layers get their render targets from the frame's compose step (the snapshot effect, which
// is not composed by itself, only from its button's "Render"), the filter button switches an
// effect's Filter, and the frame matches its reference.
#include "media/image_decode.h"
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

fs::path Binary() {
    return fs::path(KQ_BINARY_DIR) / "kqplayer";
}
fs::path DemoDir() {
    return fs::path(KQ_BINARY_DIR) / "games" / "demo";
}
std::string Quote(const fs::path& p) {
    return "\"" + p.string() + "\"";
}

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

// As the texts screen's check: at most one pixel in a thousand may differ by more than 3.
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
    const fs::path kept = fs::path(KQ_BINARY_DIR) / ("demo_layers_actual_" + name);
    if (differing * 1000 > actual->pixels.size()) {
        fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    }
    EXPECT_LE(differing * 1000, actual->pixels.size())
        << differing << " pixels differ from " << reference << "; the frame is kept at " << kept;
}

nlohmann::json TargetOf(const nlohmann::json& dump, std::string_view id) {
    const nlohmann::json* e = Element(dump, id);
    if (e == nullptr || !e->contains("state")) {
        return "missing";
    }
    return (*e)["state"]["target"];
}

class DemoLayers : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Binary()) || !fs::exists(DemoDir() / "demo.kqf")) {
            KQ_SKIP_MISSING() << "kqplayer or the demo game (target demo_game) is not built";
        }
    }
};

TEST_F(DemoLayers, TheFrameComposesTheLayersAndTheSnapshotWaitsForItsButton) {
    TempDir dir;
    const PlayerRun run = PlayDemo(dir, "3 key 115\n", 6);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* screen = Element(run.dump, "Layers");
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
    const PlayerRun run = PlayDemo(dir, input, 14, shot);
    ASSERT_TRUE(run.dump.is_object()) << run.log;
    const nlohmann::json* fx = Element(run.dump, "Fx");
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ((*fx)["props"]["Filter"], "flSharpen");
    EXPECT_EQ(TargetOf(run.dump, "Snap"), nlohmann::json::array({240, 180}));
    EXPECT_EQ(run.log.find("script:"), std::string::npos) << run.log;
    // The spotlight round the mouse, the waving stripes, the sharpened and the grey copies.
    ExpectMatchesReference(shot, "layers.png");
}

} // namespace
} // namespace kq::test
