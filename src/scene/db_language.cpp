// Languages, the sound table and the Unicode text mode of the root database.
#include "scene/db.h"

#include "media/game_files.h"
#include "render/image_service.h"
#include "scene/db_internal.h"
#include "scene/db_unicode.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace kq::scene {

namespace {

constexpr std::string_view kGlyphTableFile = "unicode\\unicode.fnt";
constexpr std::string_view kUnicodeFaceFile = "unicode\\unicode.ttf";
constexpr std::string_view kUnicodeTextsFile = "unicode\\unicode.lng";
constexpr std::string_view kGlyphImageFile = "unicode\\unicode.png";
// The system's DejaVu Sans, for raster texts of a game without its own face.
constexpr const char* kFallbackFaces[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/local/share/fonts/DejaVuSans.ttf",
};
constexpr const char* kFallbackLanguages[] = {"eng.lng", "rus.lng", "deu.lng"};
// The wide-character reading of language texts stops here, as its fixed buffer did.
constexpr size_t kMaxWideText = 1999;
constexpr int64_t kMaxGlyphNumber = 0xFFFF;

bool IsAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// A game string (code-page bytes, possibly with three-byte escapes) as UTF-8, for lookups in
// the decoded language file.
std::string GameTextToUtf8(std::string_view s, const media::GameFiles* files) {
    if (IsAscii(s) && s.find(kUnicodeEscape) == std::string_view::npos) {
        return std::string(s);
    }
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == kUnicodeEscape) {
            const size_t n = std::min<size_t>(3, s.size() - i);
            out += Utf16ToUtf8(FromThreeByte(s.substr(i, n)));
            i += n;
            continue;
        }
        const size_t end = std::min(s.find(kUnicodeEscape, i), s.size());
        const std::string_view run = s.substr(i, end - i);
        out += files ? files->Codec().ToUtf8(run) : Utf16ToUtf8(FromThreeByte(run));
        i = end;
    }
    return out;
}

// Next line of a text (without its line end); false at the end.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
    if (pos >= text.size()) {
        return false;
    }
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    pos = end + 1;
    return true;
}

// One glyph line "HEXCODE width"; false when it does not read.
bool ParseGlyphLine(std::string_view line, uint32_t& code, double& width) {
    line = TrimControls(line);
    size_t gap = line.find_first_of(" \t");
    if (gap == std::string_view::npos) {
        return false;
    }
    const std::string_view hex = line.substr(0, gap);
    const std::string_view number = TrimControls(line.substr(gap));
    auto [hexEnd, hexErr] = std::from_chars(hex.data(), hex.data() + hex.size(), code, 16);
    if (hexErr != std::errc() || hexEnd != hex.data() + hex.size()) {
        return false;
    }
    auto [numEnd, numErr] = std::from_chars(number.data(), number.data() + number.size(), width);
    return numErr == std::errc() && numEnd == number.data() + number.size() && std::isfinite(width);
}

} // namespace

std::optional<std::string> ReadGameFileBounded(media::GameFiles& files, std::string_view name,
                                               uintmax_t maxSize) {
    if (std::optional<std::filesystem::path> loose = files.FindLoose(name)) {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(*loose, ec);
        if (!ec && size > maxSize) {
            spdlog::warn("scene: {} is too large ({} bytes); ignored", loose->string(), size);
            return std::nullopt;
        }
        return media::ReadWholeFile(*loose, maxSize);
    }
    const std::optional<std::string> member = files.PackMemberName(name);
    if (!member) {
        return std::nullopt;
    }
    media::TKQStore& pack = files.Pack();
    const int index = pack.IndexOf(*member);
    if (index < 0) {
        return std::nullopt;
    }
    const int64_t size = pack.Directory()[static_cast<size_t>(index)].size;
    if (size < 0 || static_cast<uintmax_t>(size) > maxSize) {
        spdlog::warn("scene: pack member {} is too large ({} bytes); ignored", *member, size);
        return std::nullopt;
    }
    return pack.ReadMember(*member);
}

std::string_view TrimControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return s;
}

bool SplitLanguageKey(std::string_view key, std::string_view& section, std::string_view& name) {
    const size_t dot = key.find('.');
    if (dot == std::string_view::npos) {
        section = "Default";
        name = TrimControls(key);
    } else {
        section = TrimControls(key.substr(0, dot));
        name = TrimControls(key.substr(dot + 1));
    }
    return !section.empty() && !name.empty();
}

void ParseGlyphTable(std::string_view text, std::vector<TKQDB::UnicodeGlyph>& glyphs,
                     std::string& faceName) {
    glyphs.clear();
    faceName.clear();
    size_t pos = 0;
    std::string_view line;
    if (!NextLine(text, pos, line)) {
        spdlog::warn("scene: the Unicode glyph table is empty");
        return;
    }
    const std::string_view countText = TrimControls(line);
    int64_t count = 0;
    auto [end, ec] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
    if (ec != std::errc() || end != countText.data() + countText.size() || count < 0) {
        spdlog::warn("scene: the Unicode glyph table's count is not a number; no glyphs");
        return;
    }
    int64_t corrupt = 0;
    int64_t refused = 0;
    int64_t clamped = 0;
    int64_t i = 0;
    // Every iteration consumes a line, so a huge count cannot make this loop run long.
    for (; i < count && NextLine(text, pos, line); ++i) {
        uint32_t code = 0;
        double width = 0;
        if (!ParseGlyphLine(line, code, width)) {
            ++corrupt;
            continue;
        }
        if (code > 0xFFFF || i > kMaxGlyphNumber) {
            ++refused;
            continue;
        }
        long scaled = std::lround(width / 1.7);
        if (scaled < 0 || scaled > 255) {
            ++clamped;
            scaled = scaled < 0 ? 0 : 255;
        }
        if (code >= glyphs.size()) {
            glyphs.resize(size_t{code} + 1);
        }
        glyphs[code] = {static_cast<uint16_t>(i), static_cast<uint8_t>(scaled)};
    }
    if (i < count) {
        spdlog::warn("scene: the Unicode glyph table ends after {} of {} entries", i, count);
    }
    if (corrupt || refused || clamped) {
        spdlog::warn("scene: the Unicode glyph table has {} unreadable entries, {} beyond the "
                     "table's limits and {} widths clamped to 0..255",
                     corrupt, refused, clamped);
    }
    if (i == count && NextLine(text, pos, line)) {
        faceName = std::string(TrimControls(line));
    }
}

void TKQDB::UnicodeDeleter::operator()(UnicodeData* data) const {
    delete data;
}

bool TKQDB::UnicodeMode() const {
    return unicode_ != nullptr;
}

const std::vector<TKQDB::UnicodeGlyph>& TKQDB::UnicodeGlyphs() const {
    static const std::vector<UnicodeGlyph> kNone;
    return unicode_ ? unicode_->glyphs : kNone;
}

const std::string& TKQDB::UnicodeFaceName() const {
    static const std::string kNone;
    return unicode_ ? unicode_->faceName : kNone;
}

const std::string& TKQDB::UnicodeFontBytes() const {
    static const std::string kNone;
    return unicode_ ? unicode_->fontBytes : kNone;
}

render::TKQIm* TKQDB::UnicodeGlyphImage() const {
    return unicode_ ? unicode_->glyphImage : nullptr;
}

render::FreeTypeText* TKQDB::UnicodeRasterFace() {
    if (!unicode_) {
        return nullptr;
    }
    UnicodeData& u = *unicode_;
    if (u.rasterFaceTried) {
        return u.rasterFace.get();
    }
    u.rasterFaceTried = true;
    if (!u.fontBytes.empty()) {
        u.rasterFace = render::FreeTypeText::OpenMemory(u.fontBytes);
    }
    if (!u.rasterFace) {
        for (const char* file : kFallbackFaces) {
            std::error_code ec;
            if (std::filesystem::exists(file, ec)) {
                u.rasterFace = render::FreeTypeText::OpenFile(file);
            }
            if (u.rasterFace) {
                spdlog::info("scene: the game has no usable {}; raster texts use {}",
                             kUnicodeFaceFile, file);
                break;
            }
        }
    }
    if (!u.rasterFace) {
        spdlog::warn("scene: no face for raster texts: they are not drawn");
    }
    return u.rasterFace.get();
}

void TKQDB::PrepareUnicode() {
    unicode_.reset();
    media::GameFiles* files = runtime_.files;
    if (!files || !files->Exists(kGlyphTableFile)) {
        return;
    }
    std::unique_ptr<UnicodeData, UnicodeDeleter> data(new UnicodeData);
    if (std::optional<std::string> face =
            ReadGameFileBounded(*files, kUnicodeFaceFile, kMaxFontFileSize)) {
        data->fontBytes = std::move(*face);
    }
    if (std::optional<std::string> texts =
            ReadGameFileBounded(*files, kUnicodeTextsFile, kMaxIniFileSize)) {
        data->texts.Parse(*texts);
    }
    if (runtime_.images) {
        data->glyphImage = &runtime_.images->LoadImage(kGlyphImageFile, true);
    }
    if (std::optional<std::string> table =
            ReadGameFileBounded(*files, kGlyphTableFile, kMaxIniFileSize)) {
        ParseGlyphTable(*table, data->glyphs, data->faceName);
    }
    unicode_ = std::move(data);
    LoadWideLanguage();
}

void TKQDB::LoadWideLanguage() {
    if (!unicode_) {
        return;
    }
    unicode_->languageWide.doc.Reset();
    if (!runtime_.files || Lang.empty()) {
        return;
    }
    std::optional<std::string> bytes = ReadGameFileBounded(*runtime_.files, Lang, kMaxIniFileSize);
    if (!bytes) {
        return;
    }
    std::string utf8;
    if (!DecodeUnicodeFile(*bytes, utf8)) {
        utf8 = IsValidUtf8(*bytes) ? std::move(*bytes) : runtime_.files->Codec().ToUtf8(*bytes);
    }
    unicode_->languageWide.Parse(utf8);
}

std::string TKQDB::Translate(std::string_view key) const {
    std::string_view section;
    std::string_view name;
    if (!SplitLanguageKey(key, section, name)) {
        return {};
    }
    if (!unicode_) {
        return language_ ? language_->Get(section, name).value_or(std::string()) : std::string();
    }
    if (std::optional<std::string> stored = unicode_->texts.Get(section, name);
        stored && !stored->empty()) {
        return *stored;
    }
    std::optional<std::string> text = unicode_->languageWide.Get(
        GameTextToUtf8(section, runtime_.files), GameTextToUtf8(name, runtime_.files));
    if (!text) {
        return {};
    }
    std::u16string wide = Utf8ToUtf16(*text);
    if (wide.size() > kMaxWideText) {
        wide.resize(kMaxWideText);
    }
    return ToThreeByte(wide);
}

TKQDB::SoundRef TKQDB::SoundEntry(std::string_view key) const {
    std::string_view section;
    std::string_view name;
    if (!SplitLanguageKey(key, section, name) || !soundTable_) {
        return {};
    }
    const std::string value = soundTable_->Get(section, name).value_or(std::string());
    const size_t colon = value.find(':');
    if (colon == std::string::npos) {
        return {value, 100};
    }
    SoundRef ref{value.substr(colon + 1), 100};
    const std::string_view volume = TrimControls(std::string_view(value).substr(0, colon));
    int32_t percent = 0;
    auto [end, ec] = std::from_chars(volume.data(), volume.data() + volume.size(), percent);
    if (ec == std::errc() && end == volume.data() + volume.size()) {
        ref.volume = percent;
    } else {
        spdlog::warn("scene: the sound entry's volume is not a number; using 100");
    }
    return ref;
}

void TKQDB::SetLang(const std::string& value) {
    if (value == Lang) {
        return;
    }
    std::string chosen = value;
    if (runtime_.files && !runtime_.files->Exists(value)) {
        for (const char* fallback : kFallbackLanguages) {
            if (runtime_.files->Exists(fallback)) {
                chosen = fallback;
                break;
            }
        }
    }
    Lang = std::move(chosen);
    language_.reset(new Ini);
    if (runtime_.files) {
        if (std::optional<std::string> bytes =
                ReadGameFileBounded(*runtime_.files, Lang, kMaxIniFileSize)) {
            // A UTF-16 language file reads in the game's code page, as the 8-bit INI
            // functions of the original platform gave it.
            std::string utf8;
            if (DecodeUnicodeFile(*bytes, utf8)) {
                *bytes = runtime_.files->Codec().FromUtf8(utf8);
            }
            language_->Parse(*bytes);
        }
    }
    LoadWideLanguage();
}

void TKQDB::SetSoundFile(const std::string& value) {
    if (value == SoundFile) {
        return;
    }
    SoundFile = value;
    soundTable_.reset();
    if (!runtime_.files) {
        return;
    }
    std::optional<std::string> bytes = ReadGameFileBounded(*runtime_.files, value, kMaxIniFileSize);
    if (!bytes) {
        return;
    }
    std::unique_ptr<Ini, IniDeleter> table(new Ini);
    if (table->Parse(*bytes)) {
        soundTable_ = std::move(table);
    }
}

} // namespace kq::scene
