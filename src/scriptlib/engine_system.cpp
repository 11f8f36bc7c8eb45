// Engine functions that reach beyond the scene tree: saved state, the frame timer, the
// settings file, files in the per-user folder, sounds and music, ending the game and opening
// web addresses.
#include "scriptlib/engine_functions.h"
#include "scriptlib/engine_internal.h"

#include "media/game_files.h"
#include "media/sound_system.h"
#include "media/text_encoding.h"
#include "scene/db.h"
#include "script/stdlib_internal.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <system_error>

namespace kq::script::library {

namespace fs = std::filesystem;

namespace {

// A name or address as it may appear in a log line: control bytes become '?'.
std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           media::EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

// PlaySnd / PlayMuz: the sound table's file and volume for the key.
bool SoundCall(const EngineContext& ctx, const Params& p, bool music) {
    scene::TKQDB* root = ctx.Root();
    if (!root) {
        return true;
    }
    const scene::TKQDB::SoundRef entry = root->SoundEntry(lib::Text(p[0].value));
    media::SoundSystem* sound = ctx.rt.sound;
    if (!sound || entry.file.empty()) {
        return true;
    }
    if (music) {
        sound->PlayMusic(entry.file, entry.volume);
    } else {
        sound->PlaySound(entry.file, entry.volume);
    }
    return true;
}

void DeleteUserFile(const EngineContext& ctx, std::string_view name) {
    scene::TKQDB* root = ctx.Root();
    if (!root) {
        return;
    }
    std::optional<fs::path> path = UserFilePath(root->UserFolder(), name);
    if (!path) {
        return;
    }
    // The game's names are matched without regard to case and converted from its code page,
    // as for every other file of the game.
    if (ctx.rt.files) {
        path = ctx.rt.files->FindBelow(root->UserFolder(), name);
        if (!path) {
            return; // nothing of that name
        }
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(*path, ec);
    if (ec || !(fs::is_regular_file(status) || fs::is_symlink(status))) {
        return; // missing, or a folder: scripts delete files only
    }
    // A linked folder inside the per-user folder must not lead the deletion elsewhere.
    const fs::path folder = fs::canonical(root->UserFolder(), ec);
    const fs::path parent = ec ? fs::path() : fs::canonical(path->parent_path(), ec);
    const auto [mismatch, unused] =
        std::mismatch(folder.begin(), folder.end(), parent.begin(), parent.end());
    if (ec || folder.empty() || mismatch != folder.end()) {
        spdlog::warn("DelFile: refused '{}': it leads out of the per-user folder", Printable(name));
        return;
    }
    if (!fs::remove(*path, ec) && ec) {
        spdlog::warn("DelFile: cannot delete '{}': {}", path->string(), ec.message());
    }
}

} // namespace

std::optional<fs::path> UserFilePath(const fs::path& userFolder, std::string_view name) {
    auto refuse = [&](std::string_view why) -> std::optional<fs::path> {
        spdlog::warn("DelFile: refused '{}': {}", Printable(name), why);
        return std::nullopt;
    };
    if (userFolder.empty()) {
        return refuse("there is no per-user folder");
    }
    if (name.empty()) {
        return refuse("the name is empty");
    }
    std::string normal(name);
    for (char& c : normal) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (normal.find('\0') != std::string::npos) {
        return refuse("it holds a NUL byte");
    }
    if (normal.front() == '/') {
        return refuse("it is absolute");
    }
    if (normal.find(':') != std::string::npos) {
        return refuse("it names a drive or a stream");
    }
    fs::path result = userFolder;
    bool any = false;
    size_t start = 0;
    while (start <= normal.size()) {
        size_t end = normal.find('/', start);
        if (end == std::string::npos) {
            end = normal.size();
        }
        const std::string_view component = std::string_view(normal).substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            return refuse("it climbs out of the per-user folder");
        }
        result /= fs::path(std::string(component));
        any = true;
    }
    if (!any) {
        return refuse("it names no file");
    }
    return result;
}

bool IsOpenableUrl(std::string_view target) {
    for (char c : target) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    for (std::string_view scheme : {"http://", "https://", "mailto:"}) {
        if (StartsWithNoCase(target, scheme) && target.size() > scheme.size()) {
            return true;
        }
    }
    return false;
}

bool SaveState(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    if (scene::TKQDB* root = ctx.Root()) {
        root->SaveState();
    }
    return true;
}

bool LoadState(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    if (scene::TKQDB* root = ctx.Root()) {
        if (const media::LoadResult loaded = root->LoadState(); !loaded) {
            spdlog::warn("{}", loaded.Error().Message("state"));
        }
    }
    return true;
}

bool TimerReset(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    if (ctx.rt.resetTimer) {
        ctx.rt.resetTimer();
    }
    return true;
}

// The settings file: a failure (no settings file) fails the call.
bool GetIni(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    scene::TKQDB* root = ctx.Root();
    if (!root) {
        return false;
    }
    std::optional<std::string> value =
        root->GetIni(lib::Text(p[0].value), lib::Text(p[1].value), lib::Text(p[2].value));
    if (!value) {
        return false;
    }
    r.value = Value::Str(std::move(*value));
    return true;
}

bool SetIni(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    scene::TKQDB* root = ctx.Root();
    if (!root) {
        return false;
    }
    if (!root->SetIni(lib::Text(p[0].value), lib::Text(p[1].value), lib::Text(p[2].value))) {
        return false;
    }
    r.value = Value::Byte(0);
    return true;
}

bool DelFile(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Byte(0);
    DeleteUserFile(ctx, lib::Text(p[0].value));
    return true;
}

bool PlaySnd(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SoundCall(ctx, p, false);
}
bool PlayMuz(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SoundCall(ctx, p, true);
}

bool StopMuz(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    if (ctx.rt.sound) {
        ctx.rt.sound->StopMusic();
    }
    return true;
}

bool ExitGame(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    ctx.rt.exitRequested = true;
    return true;
}

// Only web and mail addresses go to the desktop; anything else could start a program.
bool GoToURL(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Byte(0);
    const std::string target = lib::Text(p[0].value);
    if (!IsOpenableUrl(target)) {
        spdlog::warn("GoToURL: refused '{}': only http, https and mailto addresses open",
                     Printable(target));
        return true;
    }
    if (ctx.rt.openUrl) {
        ctx.rt.openUrl(target);
    }
    return true;
}

} // namespace kq::script::library
