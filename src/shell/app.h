// The kqplayer application: the command line, start-up (game search, scene and pack, window or
// headless canvas), the timed loop with its frame order, scripted and recorded input,
// screenshots, the state dump and shutdown.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kq::shell {

struct PlayerOptions {
    bool testMode = false; // "/TESTMODE" as the first argument
    bool windowed = false;
    int scale = 1;
    bool headless = false;
    std::optional<uint64_t> steps; // run this many processing steps, then exit 0
    bool skipLogos = false;
    std::optional<std::filesystem::path> input;
    std::optional<std::filesystem::path> record;
    std::vector<std::pair<uint64_t, std::filesystem::path>> screenshots;
    std::optional<std::filesystem::path> dump;
    uint32_t seed = 0;
    std::string codePage;
    std::optional<std::filesystem::path> dataDir;
    std::optional<std::filesystem::path> game;
    bool mute = false; // silent audio (headless runs are always silent)
    std::optional<std::filesystem::path> traceAudio; // one line per audio call
};

// Parses the command line. An int is the exit code when the program should end at once (help
// printed: 0; bad arguments: 2 after the message).
std::variant<PlayerOptions, int> ParseCommandLine(int argc, const char* const* argv);

// Runs the player; the exit code of the program. programFile locates the game and the demo.
int RunPlayer(const PlayerOptions& options, const std::filesystem::path& programFile);

} // namespace kq::shell
