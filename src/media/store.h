// TKQStore: read-only access to the game's resource pack (".kst"), and a writer for packs.
//
// Layout (all integers 32-bit signed little-endian): member data anywhere before the
// directory; at the directory offset a member count, then per member the name length, the
// name bytes (upper case, "\" separators), the data offset and the data size; the last four
// bytes of the file hold the directory offset.
//
// The reader checks every offset, count, length and size against the file size: a pack that
// points outside itself is rejected (with the reason and its byte offset, for the caller to
// report) and leaves the store empty, so no read can go out of bounds and no allocation can
// exceed the file's size.
#pragma once

#include "media/load_error.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kq::media {

struct TKQStoreEntry {
    std::string name; // as stored: upper case, "\" separators
    int64_t offset = 0;
    int64_t size = 0;
};

class TKQStore {
public:
    // Closes any open pack, remembers the name and opens the file read-only. A failure to
    // open is not an error: the store simply stays without a stream.
    void Open(const std::filesystem::path& name);
    // Reads the directory of the open pack; without a stream it does nothing and fails as
    // Unreadable. A corrupt directory empties the store (and closes the stream) and fails with
    // the reason. Nothing is logged: the caller reports the error.
    LoadResult ReadDirectory();
    // Open + ReadDirectory.
    LoadResult OpenPack(const std::filesystem::path& name);
    void Close();

    bool IsOpen() const { return stream_.is_open(); }
    const std::filesystem::path& FileName() const { return fileName_; }
    const std::vector<TKQStoreEntry>& Directory() const { return directory_; }

    // Index of the first member whose name equals the upper-cased name, or -1.
    int IndexOf(std::string_view name) const;
    // The member's bytes, or nothing when the member is missing or cannot be read.
    std::optional<std::string> ReadMember(std::string_view name);
    // Appends the member's bytes to the stream; true when every byte was written.
    bool ReadMemberTo(std::string_view name, std::ostream& out);

    // Member names are stored upper case with "\" separators; "/" is accepted on input.
    static std::string NormaliseMemberName(std::string_view name);

private:
    std::filesystem::path fileName_;
    std::ifstream stream_;
    int64_t fileSize_ = 0;
    int64_t directoryOffset_ = 0;
    std::vector<TKQStoreEntry> directory_;
};

// Builds a pack: members are added in order and written back to back, then the directory.
class StoreWriter {
public:
    // name is normalised (upper case, "\" separators).
    void Add(std::string_view name, std::string data);
    // Writes the pack; false (with a log line) when the file cannot be written or the members
    // do not fit the 32-bit offsets of the layout.
    bool Write(const std::filesystem::path& file) const;
    // The pack's bytes; empty (with a log line) when the members do not fit 32-bit offsets.
    std::string Build() const;

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

} // namespace kq::media
