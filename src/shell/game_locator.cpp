#include "shell/game_locator.h"

#include "media/game_files.h"
#include "media/text_encoding.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION // the Debian header keeps its template bodies behind this
#include <SimpleIni.h>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace kq::shell {

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxIniSize = 1 << 20;

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           media::EqualsNoCaseAscii(std::string_view(name).substr(name.size() - suffix.size()),
                                    suffix);
}

bool IsRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// A file in a folder whose name equals `name` without regard to case.
std::optional<fs::path> FindNoCase(const fs::path& folder, const std::string& name) {
    if (IsRegularFile(folder / name)) {
        return folder / name;
    }
    std::error_code ec;
    std::vector<fs::path> matches;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (media::EqualsNoCaseAscii(it->path().filename().string(), name) &&
            IsRegularFile(it->path())) {
            matches.push_back(it->path());
        }
    }
    if (matches.empty()) {
        return std::nullopt;
    }
    std::sort(matches.begin(), matches.end());
    return matches.front();
}

} // namespace

fs::path UserConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return fs::path(xdg);
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".config";
    }
    return {};
}

std::optional<fs::path> FirstGameFileIn(const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EndsWithNoCase(it->path().filename().string(), ".kqf") && IsRegularFile(it->path())) {
            found.push_back(it->path());
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    // Directory order differs between file systems; name order keeps runs reproducible.
    std::sort(found.begin(), found.end());
    return found.front();
}

std::optional<fs::path> ReadKQMakerPath(const fs::path& iniFile) {
    if (!IsRegularFile(iniFile)) {
        return std::nullopt;
    }
    std::optional<std::string> text = media::ReadWholeFile(iniFile, kMaxIniSize);
    if (!text) {
        return std::nullopt;
    }
    CSimpleIniA ini;
    if (ini.LoadData(text->data(), text->size()) < 0) {
        spdlog::warn("shell: cannot parse {}", iniFile.string());
        return std::nullopt;
    }
    const char* value = ini.GetValue("Main", "Path", "");
    if (!value || !*value) {
        return std::nullopt;
    }
    std::string path(value);
    std::replace(path.begin(), path.end(), '\\', '/');
    return fs::path(path);
}

std::optional<fs::path> DemoGameFile(const fs::path& programFolder) {
    for (const fs::path& candidate : {programFolder / "games" / "demo" / "demo.kqf",
                                      programFolder / "build" / "games" / "demo" / "demo.kqf"}) {
        if (IsRegularFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

GameLocation LocateGame(const GameSearch& search) {
    if (search.argument) {
        const fs::path& arg = *search.argument;
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            if (auto file = FirstGameFileIn(arg)) {
                return {*file, "first game file in the named folder"};
            }
            spdlog::error("shell: no .kqf game file in folder {}", arg.string());
            return {};
        }
        if (IsRegularFile(arg)) {
            return {arg, "named on the command line"};
        }
        if (arg.has_filename()) {
            const fs::path folder = arg.parent_path().empty() ? fs::path(".") : arg.parent_path();
            if (auto file = FindNoCase(folder, arg.filename().string())) {
                return {*file, "named on the command line (in another letter case)"};
            }
        }
        spdlog::error("shell: game file {} does not exist", arg.string());
        return {};
    }

    const fs::path folder = search.programFile.parent_path();
    std::string own = search.programFile.filename().string();
    if (EndsWithNoCase(own, ".exe")) {
        own.resize(own.size() - 4);
    }
    if (!own.empty()) {
        if (auto file = FindNoCase(folder.empty() ? fs::path(".") : folder, own + ".kqf")) {
            return {*file, "named after the program"};
        }
    }
    if (auto file = FirstGameFileIn(folder.empty() ? fs::path(".") : folder)) {
        return {*file, "first game file beside the program"};
    }
    if (!search.configFolder.empty()) {
        if (auto path = ReadKQMakerPath(search.configFolder / "KQMaker.ini")) {
            if (IsRegularFile(*path)) {
                return {*path, "last game of the authoring tool (KQMaker.ini)"};
            }
            spdlog::warn("shell: KQMaker.ini names {}, which does not exist", path->string());
        }
    }
    if (auto demo = DemoGameFile(folder)) {
        return {*demo, "bundled demo game"};
    }
    spdlog::error("shell: no game file found (beside {}, in KQMaker.ini, or the bundled demo)",
                  search.programFile.string());
    return {};
}

} // namespace kq::shell
