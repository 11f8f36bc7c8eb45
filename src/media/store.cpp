#include "media/store.h"

#include "media/byte_reader.h"
#include "media/text_encoding.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <limits>

namespace kq::media {

namespace {

constexpr int64_t kIntSize = 4;
// Smallest directory entry: name length, data offset and data size with an empty name.
constexpr int64_t kMinEntrySize = 3 * kIntSize;

} // namespace

std::string TKQStore::NormaliseMemberName(std::string_view name) {
    std::string out = UpperAscii(name);
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

void TKQStore::Open(const std::filesystem::path& name) {
    Close();
    fileName_ = name;
    stream_.open(name, std::ios::binary | std::ios::in);
    if (!stream_.is_open()) {
        spdlog::debug("store: no pack at '{}'", name.string());
    }
}

void TKQStore::Close() {
    if (stream_.is_open()) {
        stream_.close();
    }
    stream_.clear();
    fileSize_ = 0;
    directoryOffset_ = 0;
    directory_.clear();
}

LoadResult TKQStore::OpenPack(const std::filesystem::path& name) {
    Open(name);
    return ReadDirectory();
}

LoadResult TKQStore::ReadDirectory() {
    directory_.clear();
    LoadError error;
    error.file = fileName_.string();
    if (!stream_.is_open()) {
        error.problem = LoadError::Problem::Unreadable;
        error.what = "it cannot be opened";
        return error;
    }

    auto reject = [&](LoadError::Problem problem, int64_t offset, std::string why) {
        error.problem = problem;
        error.offset = static_cast<uint64_t>(std::max<int64_t>(offset, 0));
        error.what = std::move(why);
        Close();
        return error;
    };
    using enum LoadError::Problem;

    stream_.clear();
    stream_.seekg(0, std::ios::end);
    const std::streamoff endPos = stream_.tellg();
    if (!stream_ || endPos < 0) {
        return reject(Unreadable, 0, "cannot determine its size");
    }
    fileSize_ = endPos;
    if (fileSize_ < kIntSize) {
        return reject(Truncated, 0, "shorter than its trailer");
    }
    if (fileSize_ > std::numeric_limits<int32_t>::max() + kIntSize) {
        return reject(Corrupt, 0, "larger than 32-bit offsets can address");
    }

    char trailer[kIntSize];
    stream_.seekg(fileSize_ - kIntSize);
    stream_.read(trailer, kIntSize);
    if (stream_.gcount() != kIntSize) {
        return reject(Unreadable, fileSize_ - kIntSize, "cannot read the directory offset");
    }
    const int64_t dirOffset = ByteReader(std::string_view(trailer, kIntSize)).I32();
    const int64_t directoryEnd = fileSize_ - kIntSize;
    if (dirOffset < 0 || dirOffset > directoryEnd - kIntSize) {
        return reject(
            Corrupt, directoryEnd,
            fmt::format("directory offset {} outside the file of {} bytes", dirOffset, fileSize_));
    }
    directoryOffset_ = dirOffset;

    // The directory lies between its offset and the trailer, so reading it whole never
    // allocates more than the file holds.
    std::string block(static_cast<size_t>(directoryEnd - dirOffset), '\0');
    stream_.seekg(dirOffset);
    stream_.read(block.data(), static_cast<std::streamsize>(block.size()));
    if (stream_.gcount() != static_cast<std::streamsize>(block.size())) {
        return reject(Unreadable, dirOffset, "cannot read the directory");
    }

    ByteReader cursor(block);
    const int32_t count = cursor.I32(); // the block holds at least the count, checked above
    if (count < 0) {
        return reject(Corrupt, dirOffset, fmt::format("negative member count {}", count));
    }
    if (static_cast<int64_t>(count) * kMinEntrySize > static_cast<int64_t>(cursor.Remaining())) {
        return reject(Corrupt, dirOffset,
                      fmt::format("member count {} does not fit the directory", count));
    }

    std::vector<TKQStoreEntry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        TKQStoreEntry entry;
        const int64_t entryAt = dirOffset + static_cast<int64_t>(cursor.Offset());
        const int32_t nameLength = cursor.I32();
        if (nameLength < 0) {
            cursor.Fail();
        }
        entry.name = cursor.Bytes(static_cast<size_t>(std::max(nameLength, 0)));
        if (cursor.Failed()) {
            return reject(cursor.Truncated() ? Truncated : Corrupt, entryAt,
                          fmt::format("name of member {} runs past the directory", i));
        }
        entry.offset = cursor.I32();
        entry.size = cursor.I32();
        if (cursor.Failed()) {
            return reject(Truncated, entryAt, fmt::format("member {} is cut short", i));
        }
        if (entry.offset < 0 || entry.size < 0 || entry.offset > fileSize_ ||
            entry.size > fileSize_ - entry.offset) {
            return reject(Corrupt, entryAt,
                          fmt::format("member {} (offset {}, size {}) lies outside the file", i,
                                      entry.offset, entry.size));
        }
        entries.push_back(std::move(entry));
    }
    directory_ = std::move(entries);
    return {};
}

int TKQStore::IndexOf(std::string_view name) const {
    if (!stream_.is_open()) {
        return -1;
    }
    const std::string wanted = NormaliseMemberName(name);
    for (size_t i = 0; i < directory_.size(); ++i) {
        if (directory_[i].name == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> TKQStore::ReadMember(std::string_view name) {
    const int index = IndexOf(name);
    if (index < 0) {
        return std::nullopt;
    }
    const TKQStoreEntry& entry = directory_[static_cast<size_t>(index)];
    std::string data(static_cast<size_t>(entry.size), '\0');
    if (entry.size == 0) {
        return data;
    }
    stream_.clear();
    stream_.seekg(entry.offset);
    stream_.read(data.data(), static_cast<std::streamsize>(entry.size));
    if (stream_.gcount() != static_cast<std::streamsize>(entry.size)) {
        spdlog::error("store: cannot read member '{}' of '{}'", entry.name, fileName_.string());
        stream_.clear();
        return std::nullopt;
    }
    return data;
}

bool TKQStore::ReadMemberTo(std::string_view name, std::ostream& out) {
    const std::optional<std::string> data = ReadMember(name);
    if (!data) {
        return false;
    }
    if (data->empty()) {
        return true;
    }
    out.write(data->data(), static_cast<std::streamsize>(data->size()));
    return static_cast<bool>(out);
}

void StoreWriter::Add(std::string_view name, std::string data) {
    members_.emplace_back(TKQStore::NormaliseMemberName(name), std::move(data));
}

std::string StoreWriter::Build() const {
    constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();
    int64_t total = 0;
    for (const auto& [name, data] : members_) {
        total += static_cast<int64_t>(data.size());
        if (total > kMaxOffset) {
            spdlog::error("store writer: members exceed the 2 GiB a pack can address");
            return {};
        }
    }
    ByteWriter out;
    out.Reserve(static_cast<size_t>(total));
    std::vector<int64_t> offsets;
    offsets.reserve(members_.size());
    for (const auto& [name, data] : members_) {
        offsets.push_back(static_cast<int64_t>(out.Size()));
        out.Bytes(data);
    }
    const int64_t dirOffset = static_cast<int64_t>(out.Size());
    out.I32(static_cast<int32_t>(members_.size()));
    for (size_t i = 0; i < members_.size(); ++i) {
        const auto& [name, data] = members_[i];
        out.I32(static_cast<int32_t>(name.size()));
        out.Bytes(name);
        out.I32(static_cast<int32_t>(offsets[i]));
        out.I32(static_cast<int32_t>(data.size()));
    }
    if (static_cast<int64_t>(out.Size()) > kMaxOffset) {
        spdlog::error("store writer: directory exceeds the 2 GiB a pack can address");
        return {};
    }
    out.I32(static_cast<int32_t>(dirOffset));
    return out.Take();
}

bool StoreWriter::Write(const std::filesystem::path& file) const {
    const std::string bytes = Build();
    if (bytes.empty()) {
        return false;
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        spdlog::error("store writer: cannot create '{}'", file.string());
        return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        spdlog::error("store writer: cannot write '{}'", file.string());
        return false;
    }
    return true;
}

} // namespace kq::media
