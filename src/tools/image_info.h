// "kqpack image": shows how the player loads one picture of a game.
//
// The picture is requested through the image service exactly as the player requests it (loose
// file first, then the resource pack; ".an" sheets, mask pairing and the "*"/"#" prefixes
// included), on a recording canvas, and described as one line of JSON:
//   {"name","source","width","height","columns","rows","pattern_width","pattern_height",
//    "texture_width","texture_height","bounds":[left,top,right,bottom],"mask"}
// source is "file" or "pack"; mask is the game name of the paired mask file, or null. The
// decoded 32-bit picture can be written as a PNG.
#pragma once

#include "media/text_encoding.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace kq::tools {

// The game folder (absolute, links to the game file followed) and resource pack for GAMEDIR: a
// ".kqf" file, or a folder holding one (the first by name). The pack is the game file's name
// with ".kst" (opened without regard to case, so it may be missing); a folder without a game
// file uses its first ".kst", if any.
struct GameLocation {
    std::filesystem::path folder;
    std::optional<std::filesystem::path> pack;
};
GameLocation LocateGame(const std::filesystem::path& game);

struct ImageInfoResult {
    bool ok = false;
    std::string json;  // the JSON line (without newline) when ok
    std::string error; // why not, otherwise
};

// Loads nameUtf8 (converted to the game's code page) from the game and describes it; writes
// the picture to pngOut when given.
ImageInfoResult DescribeImage(const std::filesystem::path& game, std::string_view nameUtf8,
                              const std::optional<std::filesystem::path>& pngOut,
                              const std::string& codePage = media::kDefaultCodePage);

// The command: the JSON line to out; messages ("kqpack: ...") to err. Exit code 0 or 1.
int ImageCommand(const std::filesystem::path& game, std::string_view nameUtf8,
                 const std::optional<std::filesystem::path>& pngOut, const std::string& codePage,
                 std::ostream& out, std::ostream& err);

} // namespace kq::tools
