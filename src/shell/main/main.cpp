// kqplayer: runs a game made with KQMaker. See shell/app.h for the command line.
#include "script/native_stack.h"
#include "shell/app.h"

#include <SDL.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <system_error>
#include <variant>

namespace {

// The program's own file: the game is looked for beside it.
std::filesystem::path ProgramFile(const char* argv0) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) {
        return self;
    }
    return std::filesystem::absolute(argv0 ? argv0 : "kqplayer", ec);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Mesa's software driver and SDL's session-bus connection keep a few allocations past their
// unloading at exit; the leak stacks then point into unloaded code and cannot be suppressed by
// name. The library code is leak-checked by the unit tests; the player process is not.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif

int main(int argc, char** argv) {
    auto parsed = kq::shell::ParseCommandLine(argc, argv);
    if (const int* code = std::get_if<int>(&parsed)) {
        return *code;
    }
    // Game scripts may recurse deeply: the player runs on a thread whose stack holds the
    // interpreter's bounds (script/native_stack.h).
    return kq::script::RunWithScriptStack([&] {
        int code = 1;
        try {
            code = kq::shell::RunPlayer(std::get<kq::shell::PlayerOptions>(parsed),
                                        ProgramFile(argc > 0 ? argv[0] : nullptr));
        } catch (const std::exception& e) {
            // Nothing should get here; if it does, say what and end cleanly.
            spdlog::critical("kqplayer: unexpected failure: {}", e.what());
        }
        SDL_Quit(); // also ends SDL's session-bus connection
        return code;
    });
}
