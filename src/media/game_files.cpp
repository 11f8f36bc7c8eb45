#include "media/game_files.h"

#include <spdlog/spdlog.h>

#include <fstream>
#include <system_error>

namespace kq::media {

namespace fs = std::filesystem;

namespace {

std::string Utf8FromPath(const fs::path& path) {
    const std::u8string u8 = path.u8string();
    return std::string(reinterpret_cast<const char*>(u8.data()), u8.size());
}

bool HasWantedType(const fs::path& path, bool wantFile) {
    std::error_code ec;
    return wantFile ? fs::is_regular_file(path, ec) : fs::is_directory(path, ec);
}

bool IsUtf8(std::string_view bytes) {
    char32_t cp = 0;
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = DecodeUtf8(bytes.substr(i), cp);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// A folder entry's name as UTF-8 for comparisons. Old archives unpack names as the game's
// code-page bytes, which are rarely valid UTF-8; such a name is read in the code page.
std::string EntryNameUtf8(const std::string& native, const TextCodec& codec) {
    return IsUtf8(native) ? native : codec.ToUtf8(native);
}

// The entry of folder whose name equals a wanted name without regard to case and has the
// wanted type; entries may be named in UTF-8 or in the game's code page, so the name is given
// in both spellings. The exact spelling wins; among other spellings the smallest name, so that
// the choice does not depend on the order of the listing.
std::optional<fs::path> MatchComponent(const fs::path& folder, const std::string& utf8,
                                       const std::string& codePageBytes, const TextCodec& codec,
                                       bool wantFile) {
    if (fs::path exact = folder / fs::path(utf8); HasWantedType(exact, wantFile)) {
        return exact;
    }
    if (codePageBytes != utf8) {
        if (fs::path exact = folder / fs::path(codePageBytes); HasWantedType(exact, wantFile)) {
            return exact;
        }
    }

    const std::string wanted = FoldCaseUtf8(utf8);
    std::optional<fs::path> best;
    std::string bestName;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path candidate = it->path();
        std::string name = candidate.filename().native();
        if (FoldCaseUtf8(EntryNameUtf8(name, codec)) != wanted ||
            !HasWantedType(candidate, wantFile)) {
            continue;
        }
        if (!best || name < bestName) {
            best = candidate;
            bestName = std::move(name);
        }
    }
    return best;
}

// The folder as an absolute path: listing a relative (or empty) folder would depend on the
// current folder at each call, and an empty one cannot be listed at all.
fs::path AbsoluteFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = folder.empty() ? fs::current_path(ec) : fs::absolute(folder, ec);
    return ec ? folder : absolute;
}

} // namespace

GameFiles::GameFiles(const fs::path& gameFolder, std::string codePage)
    : gameFolder_(AbsoluteFolder(gameFolder)), codec_(std::move(codePage)) {}

std::string GameFiles::PackNameFor(const fs::path& gameFile) {
    std::string name = gameFile.filename().native();
    name.resize(name.size() >= 4 ? name.size() - 4 : 0);
    return name + ".kst";
}

bool GameFiles::OpenPack(const fs::path& packFile) {
    const fs::path full = packFile.is_relative() ? gameFolder_ / packFile : packFile;
    // Games were made on a file system that ignores case: "Game.KQF" may come with "GAME.KST".
    std::optional<fs::path> found;
    if (full.has_filename()) {
        const std::string name = full.filename().native();
        found = MatchComponent(full.parent_path(), EntryNameUtf8(name, codec_), name, codec_, true);
    }
    const LoadResult opened = pack_.OpenPack(found.value_or(full));
    // A game without a pack is normal; a pack that is there but damaged is worth a line.
    if (!opened && opened.Error().problem != LoadError::Problem::Unreadable) {
        spdlog::error("{}", opened.Error().Message("pack"));
    }
    return opened.Ok();
}

std::optional<std::vector<std::string>> GameFiles::SplitGameName(std::string_view gameName) const {
    auto refuse = [&](std::string_view why) -> std::optional<std::vector<std::string>> {
        spdlog::warn("game files: refused name '{}': {}", codec_.ToUtf8(gameName), why);
        return std::nullopt;
    };
    if (gameName.empty()) {
        return std::nullopt;
    }
    if (gameName.find('\0') != std::string_view::npos) {
        return refuse("it holds a NUL byte");
    }
    if (gameName.front() == '\\' || gameName.front() == '/') {
        return refuse("it is absolute");
    }

    std::vector<std::string> components;
    size_t start = 0;
    while (start <= gameName.size()) {
        size_t end = gameName.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = gameName.size();
        }
        const std::string_view component = gameName.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            return refuse("it climbs out of the game folder");
        }
        if (component.find(':') != std::string_view::npos) {
            return refuse("it names a drive or a stream");
        }
        components.emplace_back(component);
    }
    if (components.empty()) {
        return std::nullopt;
    }
    return components;
}

std::optional<std::string> GameFiles::PackMemberName(std::string_view gameName) const {
    const auto components = SplitGameName(gameName);
    if (!components) {
        return std::nullopt;
    }
    std::string joined;
    for (const std::string& component : *components) {
        if (!joined.empty()) {
            joined.push_back('\\');
        }
        joined += component;
    }
    return TKQStore::NormaliseMemberName(codec_.UpperCase(joined));
}

std::optional<fs::path> GameFiles::FindLoose(std::string_view gameName) const {
    return FindBelow(gameFolder_, gameName);
}

std::optional<fs::path> GameFiles::FindBelow(const fs::path& base,
                                             std::string_view gameName) const {
    const auto components = SplitGameName(gameName);
    if (!components) {
        return std::nullopt;
    }
    fs::path current = base;
    for (size_t i = 0; i < components->size(); ++i) {
        const bool last = i + 1 == components->size();
        const std::string& component = (*components)[i];
        const auto match =
            MatchComponent(current, codec_.ToUtf8(component), component, codec_, last);
        if (!match) {
            return std::nullopt;
        }
        current = *match;
    }
    return current;
}

bool GameFiles::Exists(std::string_view gameName) {
    if (FindLoose(gameName)) {
        return true;
    }
    const auto member = PackMemberName(gameName);
    if (!member) {
        return false;
    }
    return pack_.IndexOf(*member) >= 0 || pack_.IndexOf(gameName) >= 0;
}

GameFile GameFiles::Read(std::string_view gameName) {
    GameFile result;
    if (const auto loose = FindLoose(gameName)) {
        if (auto bytes = ReadWholeFile(*loose)) {
            result.source = FileSource::Loose;
            result.bytes = std::move(*bytes);
            return result;
        }
    }
    const auto member = PackMemberName(gameName);
    if (!member) {
        return result;
    }
    // Packs written by tools that upper-cased only ASCII letters keep other letters as the
    // game wrote them, so the plain name is the second guess.
    std::optional<std::string> bytes = pack_.ReadMember(*member);
    if (!bytes) {
        bytes = pack_.ReadMember(gameName);
    }
    if (bytes) {
        result.source = FileSource::Pack;
        result.bytes = std::move(*bytes);
    }
    return result;
}

fs::path ResolveGameFile(const fs::path& gameFile) {
    if (gameFile.empty()) {
        return {};
    }
    std::error_code ec;
    fs::path file = fs::absolute(gameFile, ec);
    if (ec) {
        return gameFile;
    }
    if (!fs::exists(file, ec) && file.has_filename()) {
        // A name typed in another letter case, as the file systems the games come from allow.
        const TextCodec codec;
        const std::string name = file.filename().native();
        if (auto found =
                MatchComponent(file.parent_path(), EntryNameUtf8(name, codec), name, codec, true)) {
            file = *found;
        }
    }
    fs::path resolved = fs::canonical(file, ec);
    return ec ? file : resolved;
}

std::optional<std::string> ReadWholeFile(const fs::path& file, uintmax_t maxSize) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        spdlog::warn("game files: '{}' is not a readable file", Utf8FromPath(file));
        return std::nullopt;
    }
    const uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        spdlog::warn("game files: cannot size '{}': {}", Utf8FromPath(file), ec.message());
        return std::nullopt;
    }
    if (size > maxSize) {
        spdlog::warn("game files: '{}' is {} bytes, more than the {} allowed", Utf8FromPath(file),
                     size, maxSize);
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        spdlog::warn("game files: cannot open '{}'", Utf8FromPath(file));
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) {
        spdlog::warn("game files: '{}' changed while being read", Utf8FromPath(file));
        return std::nullopt;
    }
    return bytes;
}

} // namespace kq::media
