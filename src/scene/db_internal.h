// Pieces of the root database shared by its source files: the INI document and the Unicode
// text mode's data, and bounded reading of game text files. Not for use outside TKQDB.
#pragma once

#include "render/freetype_text.h"
#include "scene/db.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION // the Debian header keeps its template bodies behind this
#include <SimpleIni.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::media {
class GameFiles;
}

namespace kq::scene {

// INI and language files are small; anything larger is not one and is refused before it is
// read, so a hostile file cannot make the parser allocate without bound.
inline constexpr uintmax_t kMaxIniFileSize = 16u << 20;
// The Unicode TrueType face kept in memory for the text renderer.
inline constexpr uintmax_t kMaxFontFileSize = 64u << 20;

struct TKQDB::Ini {
    // Section and key names compare without regard to ASCII case; one value per key; values
    // in double quotes lose their quotes, as the game's INI files expect; saved lines are
    // written "key=value", as the games' own tools wrote them.
    Ini() : doc(false, false, false) {
        doc.SetQuotes(true);
        doc.SetSpaces(false);
    }
    // Parses bytes (a UTF-8 byte order mark is skipped); false when SimpleIni refuses them,
    // leaving an empty document.
    bool Parse(std::string_view bytes);
    // The value of section/key, or nothing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    CSimpleIniA doc;
    std::filesystem::path file; // the settings file on disk; empty for in-memory documents
};

struct TKQDB::UnicodeData {
    Ini texts;        // "unicode\unicode.lng": texts stored in the three-byte form
    Ini languageWide; // the language file decoded to UTF-8 (read as UTF-16 or UTF-8)
    std::vector<UnicodeGlyph> glyphs;
    std::string faceName;
    std::string fontBytes; // "unicode\unicode.ttf"; empty when the game has none
    render::TKQIm* glyphImage = nullptr;
    std::unique_ptr<render::FreeTypeText> rasterFace; // opened at first use
    bool rasterFaceTried = false;
};

// Reads a game file (loose first, then the pack) of at most maxSize bytes; nothing when it is
// missing, unreadable or larger (logged).
std::optional<std::string> ReadGameFileBounded(media::GameFiles& files, std::string_view name,
                                               uintmax_t maxSize);

// Blanks and control characters removed from both ends (how keys are trimmed).
std::string_view TrimControls(std::string_view s);

// A language key split at its first "." into trimmed section and name; without "." the section
// is "Default". False when either part is empty.
bool SplitLanguageKey(std::string_view key, std::string_view& section, std::string_view& name);

// The glyph table of "unicode\unicode.fnt": the count line, then per line "HEXCODE width"
// (line i gets glyph i), then the face name. Corrupt lines are skipped; codes above FFFF and
// entries past glyph 65535 are refused; widths are scaled by 1/1.7 and clamped to 0..255.
void ParseGlyphTable(std::string_view text, std::vector<TKQDB::UnicodeGlyph>& glyphs,
                     std::string& faceName);

} // namespace kq::scene
