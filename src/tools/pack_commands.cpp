#include "tools/pack_commands.h"

#include "media/game_files.h"
#include "media/store.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <set>
#include <system_error>

namespace kq::tools {

namespace fs = std::filesystem;

namespace {

// The layout addresses members with 32-bit signed offsets, so no member can be larger.
constexpr uintmax_t kMaxMemberSize = 0x7FFFFFFFu;

struct PackFile {
    std::string member;
    fs::path file;
};

} // namespace

std::optional<std::string> MemberNameFor(const fs::path& relative, const media::TextCodec& codec) {
    const std::string utf8 = relative.generic_string();
    const std::string bytes = codec.FromUtf8(utf8);
    if (codec.ToUtf8(bytes) != utf8)
        return std::nullopt;
    return media::TKQStore::NormaliseMemberName(codec.UpperCase(bytes));
}

std::optional<fs::path> SafeExtractPath(std::string_view memberName,
                                        const media::TextCodec& codec) {
    if (memberName.empty() || memberName.front() == '\\' || memberName.front() == '/')
        return std::nullopt;
    if (memberName.find('\0') != std::string_view::npos ||
        memberName.find(':') != std::string_view::npos)
        return std::nullopt;
    fs::path out;
    size_t start = 0;
    while (start <= memberName.size()) {
        size_t end = memberName.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = memberName.size();
        const std::string_view part = memberName.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        out /= fs::path(codec.ToUtf8(part));
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

int PackCommand(const fs::path& dir, const fs::path& pack, const media::TextCodec& codec,
                std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        err << "kqpack: '" << dir.string() << "' is not a folder\n";
        return 1;
    }
    std::vector<PackFile> files;
    bool ok = true;
    fs::recursive_directory_iterator it(dir, fs::directory_options::none, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc))
            continue;
        if (fs::exists(pack, fileEc) && fs::equivalent(it->path(), pack, fileEc))
            continue; // the pack being written
        const fs::path relative = it->path().lexically_relative(dir);
        std::optional<std::string> member = MemberNameFor(relative, codec);
        if (!member) {
            err << "kqpack: '" << relative.generic_string()
                << "': the name has characters outside the code page " << codec.CodePage() << "\n";
            ok = false;
            continue;
        }
        files.push_back({std::move(*member), it->path()});
    }
    if (ec) {
        err << "kqpack: cannot read the folder '" << dir.string() << "': " << ec.message() << "\n";
        return 1;
    }
    if (!ok)
        return 1;
    std::sort(files.begin(), files.end(),
              [](const PackFile& a, const PackFile& b) { return a.member < b.member; });
    for (size_t i = 1; i < files.size(); ++i) {
        if (files[i].member == files[i - 1].member) {
            err << "kqpack: '" << files[i - 1].file.string() << "' and '" << files[i].file.string()
                << "' have the same member name\n";
            return 1;
        }
    }

    media::StoreWriter writer;
    for (const PackFile& file : files) {
        std::optional<std::string> data = media::ReadWholeFile(file.file, kMaxMemberSize);
        if (!data) {
            err << "kqpack: cannot read '" << file.file.string() << "'\n";
            return 1;
        }
        writer.Add(file.member, std::move(*data));
    }
    if (!writer.Write(pack)) {
        err << "kqpack: cannot write the pack '" << pack.string() << "'\n";
        return 1;
    }
    out << files.size() << " member(s) written to " << pack.string() << "\n";
    return 0;
}

namespace {

bool OpenStore(const fs::path& pack, media::TKQStore& store, std::ostream& err) {
    std::error_code ec;
    if (!fs::is_regular_file(pack, ec)) {
        err << "kqpack: cannot read '" << pack.string() << "'\n";
        return false;
    }
    if (!store.OpenPack(pack)) {
        err << "kqpack: '" << pack.string() << "' is not a valid pack\n";
        return false;
    }
    return true;
}

// Reads one member by its directory record (its bounds were checked when the directory was
// read); names written by other tools need not be upper case, so no lookup by name.
std::optional<std::string> ReadEntry(std::ifstream& in, const media::TKQStoreEntry& entry) {
    std::string data(static_cast<size_t>(entry.size), '\0');
    if (entry.size == 0)
        return data;
    in.clear();
    in.seekg(entry.offset);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (in.gcount() != static_cast<std::streamsize>(data.size()))
        return std::nullopt;
    return data;
}

} // namespace

int ListCommand(const fs::path& pack, const media::TextCodec& codec, std::ostream& out,
                std::ostream& err) {
    media::TKQStore store;
    if (!OpenStore(pack, store, err))
        return 1;
    for (const media::TKQStoreEntry& entry : store.Directory())
        out << std::setw(10) << entry.size << "  " << codec.ToUtf8(entry.name) << "\n";
    return 0;
}

int ExtractCommand(const fs::path& pack, const fs::path& dir, const std::vector<std::string>& names,
                   const media::TextCodec& codec, std::ostream& out, std::ostream& err) {
    media::TKQStore store;
    if (!OpenStore(pack, store, err))
        return 1;
    std::ifstream in(pack, std::ios::binary);
    if (!in) {
        err << "kqpack: cannot read '" << pack.string() << "'\n";
        return 1;
    }

    // Requested names compared as the player compares them: code page, upper case, "\".
    std::vector<std::string> wanted;
    for (const std::string& name : names)
        wanted.push_back(
            media::TKQStore::NormaliseMemberName(codec.UpperCase(codec.FromUtf8(name))));
    std::vector<bool> found(wanted.size(), false);

    int status = 0;
    std::set<std::string> done;
    size_t written = 0;
    for (const media::TKQStoreEntry& entry : store.Directory()) {
        const std::string key = media::TKQStore::NormaliseMemberName(codec.UpperCase(entry.name));
        if (!wanted.empty()) {
            auto match = std::find(wanted.begin(), wanted.end(), key);
            if (match == wanted.end())
                continue;
            found[static_cast<size_t>(match - wanted.begin())] = true;
        }
        if (!done.insert(key).second) {
            err << "kqpack: warning: duplicate member '" << codec.ToUtf8(entry.name)
                << "' skipped (the first one is the one the player reads)\n";
            continue;
        }
        std::optional<fs::path> relative = SafeExtractPath(entry.name, codec);
        if (!relative) {
            err << "kqpack: refusing member '" << codec.ToUtf8(entry.name)
                << "': its name would leave the target folder\n";
            status = 1;
            continue;
        }
        std::optional<std::string> data = ReadEntry(in, entry);
        if (!data) {
            err << "kqpack: cannot read member '" << codec.ToUtf8(entry.name) << "'\n";
            status = 1;
            continue;
        }
        const fs::path target = dir / *relative;
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        std::ofstream file(target, std::ios::binary | std::ios::trunc);
        if (file)
            file.write(data->data(), static_cast<std::streamsize>(data->size()));
        if (file)
            file.close();
        if (!file) {
            err << "kqpack: cannot write '" << target.string() << "'\n";
            status = 1;
            continue;
        }
        ++written;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (!found[i]) {
            err << "kqpack: no member '" << names[i] << "' in '" << pack.string() << "'\n";
            status = 1;
        }
    }
    out << written << " member(s) extracted to " << dir.string() << "\n";
    return status;
}

} // namespace kq::tools
