// Font builder: turns a TrueType face into a bitmap font of the fonts archive: the printable
// characters of the game's code page (bytes 32..255 through the code page) rasterised at one
// pixel size into a single PNG page plus a text BMFont descriptor with Unicode ids, stored as
// "NAME.FNT" and "NAME_0.PNG" in a ".kst" pack.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "media/text_encoding.h"

namespace kq::tools {

struct BuiltFont {
    std::string name;       // as given
    std::string descriptor; // text of NAME.FNT
    std::string pageName;   // NAME_0.PNG
    std::string pagePng;    // the page's PNG bytes
    int glyphCount = 0;
    int pageWidth = 0;
    int pageHeight = 0;
};

struct FontBuildOptions {
    std::filesystem::path ttf;
    int pixelSize = 24; // 4..256
    std::string name;   // the font's name in the archive (file name without extension)
    std::string codePage = media::kDefaultCodePage;
};

// Rasterises the font; nothing (with a log line) for an unreadable face, a bad size or name,
// or characters that do not fit one 4096 x 4096 page.
std::optional<BuiltFont> BuildFont(const FontBuildOptions& options);

// Builds the font and writes it into the archive: a new archive with just this font, or with
// add=true the existing archive's members plus this font (members of the same names are
// replaced; a missing archive is created). False with a log line on any failure; the archive
// is then left as it was.
bool WriteFontToArchive(const FontBuildOptions& options, const std::filesystem::path& archive,
                        bool add);

} // namespace kq::tools
