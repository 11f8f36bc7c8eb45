// Running the bundled demo game through the real kqplayer, headless, for the demo tests: the
// run's --dump and log, elements found in the dump by Id, and frames compared with references.
#pragma once

#include "media/image_decode.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace kq::test {

inline std::filesystem::path PlayerBinary() {
    return std::filesystem::path(KQ_BINARY_DIR) / "kqplayer";
}
inline std::filesystem::path DemoDir() {
    return std::filesystem::path(KQ_BINARY_DIR) / "games" / "demo";
}
inline bool DemoBuilt() {
    return std::filesystem::exists(PlayerBinary()) &&
           std::filesystem::exists(DemoDir() / "demo.kqf");
}
inline std::string Quote(const std::filesystem::path& p) {
    return "\"" + p.string() + "\"";
}

// The element object (class, props, state, ...) whose Id is id, anywhere below node.
inline const nlohmann::json* DumpElement(const nlohmann::json& node, std::string_view id) {
    if (!node.is_object()) {
        return nullptr;
    }
    if (node.contains("props") && node["props"].value("Id", "") == id) {
        return &node;
    }
    if (node.contains("children") && node["children"].is_array()) {
        for (const nlohmann::json& child : node["children"]) {
            if (const nlohmann::json* hit = DumpElement(child, id)) {
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

struct DemoRunOptions {
    std::filesystem::path shot; // a frame to save as PNG; none when empty
    int shotStep = 0;           // the step drawn into it; 0: the last step
    int seed = -1;              // the game's random seed; the player's default when negative
};

// Runs the demo for `steps` steps with `input` as its --input lines; the player must exit 0.
inline PlayerRun PlayDemo(const TempDir& dir, const std::string& input, int steps,
                          const DemoRunOptions& options = {}) {
    namespace fs = std::filesystem;
    const fs::path inputFile = dir.Write("input.txt", input);
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    std::string command = Quote(PlayerBinary()) + " --headless --skip-logos --steps " +
                          std::to_string(steps) + " --data-dir " + Quote(dir.Path()) + " --input " +
                          Quote(inputFile) + " --dump " + Quote(dump);
    if (options.seed >= 0) {
        command += " --seed " + std::to_string(options.seed);
    }
    if (!options.shot.empty()) {
        const int step = options.shotStep > 0 ? options.shotStep : steps;
        command += " --screenshot " + Quote(std::to_string(step) + ":" + options.shot.string());
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
// it): at most one pixel in a thousand may differ by more than 3 in a channel. A frame that
// does not match is kept in the build folder as demo_actual_NAME.
inline void ExpectMatchesReference(const std::filesystem::path& shot, const std::string& name) {
    namespace fs = std::filesystem;
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
    const fs::path kept = fs::path(KQ_BINARY_DIR) / ("demo_actual_" + name);
    if (differing * 1000 > actual->pixels.size()) {
        fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    }
    EXPECT_LE(differing * 1000, actual->pixels.size())
        << differing << " pixels differ from " << reference << "; the frame is kept at " << kept;
}

} // namespace kq::test
