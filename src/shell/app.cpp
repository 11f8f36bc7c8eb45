#include "shell/app.h"

#include "media/text_encoding.h"
#include "shell/game_session.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <memory>

namespace kq::shell {

namespace fs = std::filesystem;

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

std::optional<std::pair<uint64_t, fs::path>> ParseScreenshot(const std::string& argument) {
    const size_t colon = argument.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= argument.size()) {
        return std::nullopt;
    }
    uint64_t step = 0;
    const char* begin = argument.data();
    auto [ptr, ec] = std::from_chars(begin, begin + colon, step);
    if (ec != std::errc() || ptr != begin + colon) {
        return std::nullopt;
    }
    return std::make_pair(step, fs::path(argument.substr(colon + 1)));
}

} // namespace

std::variant<PlayerOptions, int> ParseCommandLine(int argc, const char* const* argv) {
    PlayerOptions o;
    std::vector<const char*> args(argv, argv + argc);
    if (args.size() > 1 && UpperAscii(args[1]) == "/TESTMODE") {
        o.testMode = true;
        args.erase(args.begin() + 1);
    }

    CLI::App app{"kqplayer: runs a KQMaker game"};
    std::string game;
    std::vector<std::string> screenshots;
    std::string input, record, dump, dataDir;
    uint64_t steps = 0;
    app.add_option("GAME", game, "a .kqf game file or a folder holding one");
    app.add_flag("--windowed", o.windowed, "always run in a window");
    app.add_option("--scale", o.scale, "windowed size factor")->check(CLI::Range(1, 8));
    app.add_flag("--headless", o.headless, "no window: offscreen drawing, stepped clock");
    auto* stepsOpt = app.add_option("--steps", steps, "run N processing steps, then exit");
    app.add_flag("--skip-logos", o.skipLogos, "end the logo phase at once");
    app.add_option("--input", input, "replay input events from FILE");
    app.add_option("--record", record, "record the session's input events to FILE");
    app.add_option("--screenshot", screenshots, "STEP:FILE.png, the frame after step STEP")
        ->allow_extra_args(false);
    app.add_option("--dump", dump, "write the scene state as JSON at exit");
    app.add_option("--seed", o.seed, "seed of the game's random numbers");
    app.add_option("--codepage", o.codePage, "the game's 8-bit code page")
        ->default_str(media::kDefaultCodePage);
    app.add_option("--data-dir", dataDir, "folder for settings and saved games");
    std::string traceAudio;
    app.add_flag("--mute", o.mute, "no sound output (the game runs as usual)");
    app.add_option("--trace-audio", traceAudio, "write one line per audio call to FILE");
    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (!game.empty()) {
        o.game = game;
    }
    if (stepsOpt->count() > 0) {
        o.steps = steps;
    }
    if (!input.empty()) {
        o.input = input;
    }
    if (!record.empty()) {
        o.record = record;
    }
    if (!dump.empty()) {
        o.dump = dump;
    }
    if (!dataDir.empty()) {
        o.dataDir = dataDir;
    }
    if (!traceAudio.empty()) {
        o.traceAudio = traceAudio;
    }
    if (o.codePage.empty()) {
        o.codePage = media::kDefaultCodePage;
    }
    for (const std::string& s : screenshots) {
        auto shot = ParseScreenshot(s);
        if (!shot) {
            std::fprintf(stderr, "kqplayer: --screenshot expects STEP:FILE.png, got '%s'\n",
                         s.c_str());
            return 2;
        }
        o.screenshots.push_back(*shot);
    }
    return o;
}

int RunPlayer(const PlayerOptions& options, const fs::path& programFile) {
    std::unique_ptr<GameSession> session = GameSession::Open(options, programFile);
    if (!session) {
        return 1;
    }
    return session->Run();
}

} // namespace kq::shell
