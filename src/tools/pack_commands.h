// Resource packs (".kst") for the authoring tool kqpack: building a pack from a folder, listing
// its members and extracting them; and previewing a shape effect's pixel filter on a picture.
//
// Member names are relative paths in upper case with "\" separators, in the game's code page
// (file names on disk are UTF-8). Extraction refuses member names that would leave the target
// folder ("..", absolute names, drive letters), so a hostile pack cannot write elsewhere.
#pragma once

#include "media/text_encoding.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::tools {

// The member name of a file at relative path (UTF-8, "/" separators) in the code page: upper
// case, "\" separators. Nothing when the name has characters the code page lacks.
std::optional<std::string> MemberNameFor(const std::filesystem::path& relative,
                                         const media::TextCodec& codec);

// The relative path (UTF-8) a member is extracted to, or nothing when the name is unsafe:
// empty, absolute ("\X", "/X"), with a drive letter or ':' anywhere, a ".." component or a NUL.
std::optional<std::filesystem::path> SafeExtractPath(std::string_view memberName,
                                                     const media::TextCodec& codec);

// The commands. Messages go to err ("kqpack: ..."), listings to out. Exit codes: 0 success,
// 1 bad or unreadable input or a failed write.

// Packs every regular file below dir (sorted by member name) into pack. The pack file itself is
// skipped when it lies below dir.
int PackCommand(const std::filesystem::path& dir, const std::filesystem::path& pack,
                const media::TextCodec& codec, std::ostream& out, std::ostream& err);
// One line per member in directory order: the size in bytes, two spaces, the name in UTF-8.
int ListCommand(const std::filesystem::path& pack, const media::TextCodec& codec, std::ostream& out,
                std::ostream& err);
// Extracts every member (or only those named, in UTF-8, any case, "/" or "\" separators) below
// dir, creating folders. Unsafe names are refused with a message (and exit code 1), the other
// members are still extracted. Of members with the same name only the first is extracted (the
// one the player reads).
int ExtractCommand(const std::filesystem::path& pack, const std::filesystem::path& dir,
                   const std::vector<std::string>& names, const media::TextCodec& codec,
                   std::ostream& out, std::ostream& err);

// "kqpack filter": one pixel filter of a shape effect over a picture file.
struct FilterOptions {
    std::string filter; // the filter value (0..15, from 16 up: no filter) or its name, any case
    double par1 = 0;
    double par2 = 0;
    double par3 = 0;
    uint32_t seed = 0; // seeds the random numbers of the noise filter
};

// Reads input (PNG, JPEG, BMP or TGA, chosen by its extension as the player does), applies the
// filter with fresh buffers (the second buffer zero), and writes the result as a 32-bit PNG:
// alpha and the colours of transparent pixels are kept as they were, nothing is premultiplied.
// The same options give the same picture. An unknown filter (a negative value included), an
// unreadable input or an unwritable output: one line to err and exit code 1.
int FilterCommand(const std::filesystem::path& input, const std::filesystem::path& output,
                  const FilterOptions& options, std::ostream& err);

} // namespace kq::tools
