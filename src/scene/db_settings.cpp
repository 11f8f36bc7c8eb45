// The per-user folder, the settings file and the root's own script names.
#include "scene/db.h"

#include "media/game_files.h"
#include "media/sound_system.h"
#include "scene/db_internal.h"
#include "scene/db_unicode.h"
#include "script/value.h"

#include <spdlog/spdlog.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#if __has_include(<unistd.h>)
#include <fcntl.h>
#include <unistd.h>
#define KQ_HAVE_FSYNC 1
#endif

namespace kq::scene {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsSection = "Def";
// Settings values written by SetIni in the Unicode mode: this prefix, then the UTF-8 bytes as
// upper-case hexadecimal pairs.
constexpr std::string_view kHexPrefix = "#$#$";
constexpr int32_t kDefaultMusicVolume = 50;
constexpr int32_t kDefaultSoundVolume = 100;

// A decimal integer with optional blanks around it and an optional sign.
bool ParseDecimal(std::string_view text, int32_t& out) {
    text = TrimControls(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Writes bytes to a file so that a crash leaves either the old or the new file whole: a
// temporary file in the same folder is written and flushed, then renamed over the target.
bool WriteFileAtomically(const fs::path& file, std::string_view bytes) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::path temp = file;
    temp += ".tmp";
    bool ok = false;
#ifdef KQ_HAVE_FSYNC
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ok = true;
        size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            ok = n > 0;
            if (ok) {
                done += static_cast<size_t>(n);
            }
        }
        ok = ok && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
    }
#else
    if (std::FILE* f = std::fopen(temp.string().c_str(), "wb")) {
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = std::fflush(f) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
    }
#endif
    if (ok) {
        fs::rename(temp, file, ec);
        ok = !ec;
    }
    if (!ok) {
        spdlog::error("scene: cannot write the settings file {}", file.string());
        fs::remove(temp, ec);
    }
    return ok;
}

} // namespace

bool TKQDB::Ini::Parse(std::string_view bytes) {
    doc.Reset();
    if (doc.LoadData(bytes.data(), bytes.size()) < 0) {
        spdlog::warn("scene: an INI file could not be parsed; it reads as empty");
        doc.Reset();
        return false;
    }
    return true;
}

std::optional<std::string> TKQDB::Ini::Get(std::string_view section, std::string_view key) const {
    const char* value = doc.GetValue(std::string(section).c_str(), std::string(key).c_str());
    if (!value) {
        return std::nullopt;
    }
    return std::string(value);
}

void TKQDB::IniDeleter::operator()(Ini* ini) const {
    delete ini;
}

fs::path TKQDB::UserFolder() const {
    fs::path base;
    if (!runtime_.dataDir.empty()) {
        base = runtime_.dataDir;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".local" / "share";
    }
    if (base.empty()) {
        return runtime_.files ? runtime_.files->GameFolder() : fs::path();
    }
    // The root's Id names one folder: separators and dot names cannot lead elsewhere.
    std::string id = runtime_.files ? runtime_.files->Codec().ToUtf8(Id) : Id;
    for (char& c : id) {
        if (c == '/' || c == '\\' || c == '\0') {
            c = '_';
        }
    }
    if (id == "." || id == "..") {
        id = "_";
    }
    return base / "Kestwin" / id / "";
}

void TKQDB::SetIniFile(const std::string& value) {
    if (value == IniFile) {
        return;
    }
    IniFile = value;
    settings_.reset();
    if (value.empty()) {
        return;
    }
    std::string name = runtime_.files ? runtime_.files->Codec().ToUtf8(value) : value;
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    const fs::path relative(name);
    for (const fs::path& part : relative) {
        if (relative.has_root_path() || part == "..") {
            spdlog::warn("scene: the settings file name {} leaves the user folder; not used", name);
            return;
        }
    }
    std::unique_ptr<Ini, IniDeleter> settings(new Ini);
    settings->file = UserFolder() / relative;
    std::error_code ec;
    if (fs::exists(settings->file, ec)) {
        std::optional<std::string> bytes = media::ReadWholeFile(settings->file, kMaxIniFileSize);
        if (!bytes) {
            return; // unreadable: the settings keep their values
        }
        settings->Parse(*bytes);
    }
    settings_ = std::move(settings);
    ApplySettings();
}

void TKQDB::ApplySettings() {
    // A value that is not a number ends the steps; what was applied before it stays.
    auto read = [this](const char* key, const char* fallback, int32_t& out) {
        const std::string text = settings_->Get(kSettingsSection, key).value_or(fallback);
        return ParseDecimal(text, out);
    };
    int32_t value = 0;
    if (!read("Snd", "100", value)) {
        return;
    }
    if (runtime_.sound) {
        runtime_.sound->SetSoundVolume(value);
    }
    if (!read("Muz", "50", value)) {
        return;
    }
    if (runtime_.sound) {
        runtime_.sound->SetMusicVolume(value);
    }
    if (!read("FS", "1", value)) {
        return;
    }
    runtime_.wantFullScreen = value != 0;
    if (!read("SysCursor", "0", value)) {
        return;
    }
    runtime_.systemCursor = value != 0;
    if (runtime_.showSystemCursor) {
        runtime_.showSystemCursor(runtime_.systemCursor);
    }
    if (runtime_.narrowDesktop) {
        runtime_.wantFullScreen = true;
    }
    if (runtime_.testMode) {
        runtime_.wantFullScreen = false;
    }
}

bool TKQDB::SaveSettings() {
    if (!settings_ || settings_->file.empty()) {
        return false;
    }
    std::string text;
    if (settings_->doc.Save(text, false) < 0) {
        return false;
    }
    return WriteFileAtomically(settings_->file, text);
}

void TKQDB::StoreSetting(const char* key, int32_t value) {
    if (!settings_) {
        return;
    }
    settings_->doc.SetValue(kSettingsSection, key, std::to_string(value).c_str());
    SaveSettings();
}

std::optional<std::string> TKQDB::GetIni(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) {
    if (!settings_ || section.empty() || key.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> stored = settings_->Get(section, key);
    if (!unicode_) {
        return stored ? *stored : std::string(defaultValue);
    }
    // The Unicode mode ignores the default: a missing key reads as the empty text.
    std::string text = stored.value_or(std::string());
    if (std::string_view(text).starts_with(kHexPrefix)) {
        std::string bytes;
        for (size_t i = kHexPrefix.size(); i + 1 < text.size(); i += 2) {
            const int hi = HexDigit(text[i]);
            const int lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0) {
                break;
            }
            bytes.push_back(static_cast<char>(hi << 4 | lo));
        }
        text = std::move(bytes);
    }
    return ToThreeByte(Utf8ToUtf16(text));
}

bool TKQDB::SetIni(std::string_view section, std::string_view key, std::string_view value) {
    if (!settings_ || section.empty() || key.empty()) {
        return false;
    }
    // A line break would let a value write further keys into the file.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
        spdlog::warn("scene: SetIni refused a section, key or value with a line break");
        return false;
    }
    std::string stored;
    if (unicode_) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const std::string utf8 = Utf16ToUtf8(FromThreeByte(value));
        stored = kHexPrefix;
        stored.reserve(kHexPrefix.size() + utf8.size() * 2);
        for (char c : utf8) {
            const auto b = static_cast<unsigned char>(c);
            stored.push_back(kHex[b >> 4]);
            stored.push_back(kHex[b & 0x0F]);
        }
    } else {
        stored = value;
    }
    settings_->doc.SetValue(std::string(section).c_str(), std::string(key).c_str(), stored.c_str());
    return SaveSettings();
}

void TKQDB::SetMusicVolumeSetting(int32_t percent) {
    if (runtime_.sound) {
        runtime_.sound->SetMusicVolume(percent);
    }
    StoreSetting("Muz", percent);
}

void TKQDB::SetSoundVolumeSetting(int32_t percent) {
    if (runtime_.sound) {
        runtime_.sound->SetSoundVolume(percent);
    }
    StoreSetting("Snd", percent);
}

void TKQDB::SetFullScreenSetting(bool on) {
    runtime_.wantFullScreen = on;
    StoreSetting("FS", on ? 1 : 0);
}

void TKQDB::SetSystemCursorSetting(bool on) {
    runtime_.systemCursor = on;
    if (runtime_.showSystemCursor) {
        runtime_.showSystemCursor(on);
    }
    StoreSetting("SysCursor", on ? 1 : 0);
}

bool TKQDB::GetProp(std::string_view name, script::Value& out) {
    using script::Value;
    if (TKQElement::GetProp(name, out)) {
        return true;
    }
    if (name == "VOLMUZ") {
        out = Value::Int(runtime_.sound ? runtime_.sound->MusicVolume() : kDefaultMusicVolume);
    } else if (name == "VOLSND") {
        out = Value::Int(runtime_.sound ? runtime_.sound->SoundVolume() : kDefaultSoundVolume);
    } else if (name == "FULLSCREEN") {
        out = Value::Byte(runtime_.wantFullScreen ? 1 : 0);
    } else if (name == "SYSCURSOR") {
        out = Value::Byte(runtime_.systemCursor ? 1 : 0);
    } else if (name == "CHEAT") {
        out = Value::Str(lastCheat_);
    } else if (name == "UNICODE") {
        out = Value::Bool(UnicodeMode());
    } else if (name == "WINMODEENABLE") {
        out = Value::Byte(runtime_.narrowDesktop ? 0 : 1);
    } else if (name == "DESKTOPWIDTH") {
        out = Value::Int(runtime_.desktopWidth);
    } else {
        return false;
    }
    return true;
}

bool TKQDB::SetProp(std::string_view name, const script::Value& value) {
    if (TKQElement::SetProp(name, value)) {
        return true;
    }
    if (name == "VOLMUZ" || name == "VOLSND") {
        int32_t percent = 0;
        if (!script::ToInt32(value, percent)) {
            return false;
        }
        name == "VOLMUZ" ? SetMusicVolumeSetting(percent) : SetSoundVolumeSetting(percent);
        return true;
    }
    if (name == "FULLSCREEN" || name == "SYSCURSOR") {
        bool on = false;
        if (!script::ToBoolean(value, on)) {
            return false;
        }
        name == "FULLSCREEN" ? SetFullScreenSetting(on) : SetSystemCursorSetting(on);
        return true;
    }
    return false;
}

} // namespace kq::scene
