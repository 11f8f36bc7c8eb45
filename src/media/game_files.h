// The game-files service: every file the player reads from the game goes through here.
//
// Names arrive as the game wrote them: 8-bit code-page bytes, "\" or "/" separators, any
// letter case. The service converts the name to UTF-8, then matches each path component in
// the game folder without regard to case (games were authored on a case-insensitive file
// system). Folder entries that are not valid UTF-8 (names unpacked from old archives as
// code-page bytes) are read in the game's code page, so both spellings on disk are found.
// A loose file wins; otherwise the resource pack is asked for the member of the same relative
// name. Missing files give empty results, never errors.
#pragma once

#include "media/store.h"
#include "media/text_encoding.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::media {

enum class FileSource { None, Loose, Pack };

struct GameFile {
    FileSource source = FileSource::None;
    std::string bytes;
};

class GameFiles {
public:
    // gameFolder is the folder holding the ".kqf" (made absolute here: a relative or empty one
    // names the current folder); codePage names the game's 8-bit encoding.
    explicit GameFiles(const std::filesystem::path& gameFolder,
                       std::string codePage = kDefaultCodePage);

    const std::filesystem::path& GameFolder() const { return gameFolder_; }
    TextCodec& Codec() { return codec_; }
    const TextCodec& Codec() const { return codec_; }

    // Opens the resource pack (a previous one is closed); a relative name is taken from the
    // game folder. The file name is matched without regard to case. A missing pack is fine: the
    // result is false and only loose files are found.
    bool OpenPack(const std::filesystem::path& packFile);
    // The pack's name for a game file: its file name (no folder) with the last four characters
    // (".kqf") replaced by ".kst".
    static std::string PackNameFor(const std::filesystem::path& gameFile);
    TKQStore& Pack() { return pack_; }

    // The real path of a loose file below the game folder, matched without regard to case;
    // nothing when absent. Names that climb out of the folder ("..") are refused.
    std::optional<std::filesystem::path> FindLoose(std::string_view gameName) const;
    // The same below any base folder (the per-user folder, for example).
    std::optional<std::filesystem::path> FindBelow(const std::filesystem::path& base,
                                                   std::string_view gameName) const;

    // Loose file or pack member exists.
    bool Exists(std::string_view gameName);
    // Loose file first, then the pack. source None when neither has it. A loose file that
    // cannot be read (or exceeds kMaxLooseFileSize) is skipped with a log line.
    GameFile Read(std::string_view gameName);
    // Size limit for a loose file read (guards against reading devices or huge files).
    static constexpr uintmax_t kMaxLooseFileSize = uintmax_t{1} << 31;

    // The pack member name for a game name: upper case in the game's code page, "\"
    // separators, empty and "." components dropped. Nothing when the name is refused.
    std::optional<std::string> PackMemberName(std::string_view gameName) const;

private:
    // The name's components in game bytes; nothing (logged) for absolute names, drive
    // letters, ".." components and embedded NULs.
    std::optional<std::vector<std::string>> SplitGameName(std::string_view gameName) const;

    std::filesystem::path gameFolder_;
    TextCodec codec_;
    TKQStore pack_;
};

// The game file as an absolute path with symbolic links followed, made once at start: its
// folder is the game folder (a link to the game in another folder finds the pack and pictures
// beside the real file), and nothing later depends on the current folder. A file that cannot
// be resolved (missing) comes back absolute but otherwise unchanged; empty stays empty. A file
// name that exists only in another letter case is taken in that case.
std::filesystem::path ResolveGameFile(const std::filesystem::path& gameFile);

// Reads a whole regular file; nothing (logged) when it cannot be read, is not a regular file
// or is larger than maxSize.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         uintmax_t maxSize = GameFiles::kMaxLooseFileSize);

} // namespace kq::media
