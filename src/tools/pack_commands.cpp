#include "tools/pack_commands.h"

#include "media/game_files.h"
#include "media/image_decode.h"
#include "media/shape_filter.h"
#include "media/store.h"

#include <algorithm>
#include <charconv>
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
    if (codec.ToUtf8(bytes) != utf8) {
        return std::nullopt;
    }
    return media::TKQStore::NormaliseMemberName(codec.UpperCase(bytes));
}

std::optional<fs::path> SafeExtractPath(std::string_view memberName,
                                        const media::TextCodec& codec) {
    if (memberName.empty() || memberName.front() == '\\' || memberName.front() == '/') {
        return std::nullopt;
    }
    if (memberName.find('\0') != std::string_view::npos ||
        memberName.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    fs::path out;
    size_t start = 0;
    while (start <= memberName.size()) {
        size_t end = memberName.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = memberName.size();
        }
        const std::string_view part = memberName.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return std::nullopt;
        }
        out /= fs::path(codec.ToUtf8(part));
    }
    if (out.empty()) {
        return std::nullopt;
    }
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
        if (!it->is_regular_file(fileEc)) {
            continue;
        }
        if (fs::exists(pack, fileEc) && fs::equivalent(it->path(), pack, fileEc)) {
            continue; // the pack being written
        }
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
    if (!ok) {
        return 1;
    }
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
    if (const media::LoadResult opened = store.OpenPack(pack); !opened) {
        err << "kqpack: '" << pack.string() << "' is not a valid pack: " << opened.Error().what
            << " (byte " << opened.Error().offset << ")\n";
        return false;
    }
    return true;
}

// Reads one member by its directory record (its bounds were checked when the directory was
// read); names written by other tools need not be upper case, so no lookup by name.
std::optional<std::string> ReadEntry(std::ifstream& in, const media::TKQStoreEntry& entry) {
    std::string data(static_cast<size_t>(entry.size), '\0');
    if (entry.size == 0) {
        return data;
    }
    in.clear();
    in.seekg(entry.offset);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (in.gcount() != static_cast<std::streamsize>(data.size())) {
        return std::nullopt;
    }
    return data;
}

} // namespace

int ListCommand(const fs::path& pack, const media::TextCodec& codec, std::ostream& out,
                std::ostream& err) {
    media::TKQStore store;
    if (!OpenStore(pack, store, err)) {
        return 1;
    }
    for (const media::TKQStoreEntry& entry : store.Directory()) {
        out << std::setw(10) << entry.size << "  " << codec.ToUtf8(entry.name) << "\n";
    }
    return 0;
}

int ExtractCommand(const fs::path& pack, const fs::path& dir, const std::vector<std::string>& names,
                   const media::TextCodec& codec, std::ostream& out, std::ostream& err) {
    media::TKQStore store;
    if (!OpenStore(pack, store, err)) {
        return 1;
    }
    std::ifstream in(pack, std::ios::binary);
    if (!in) {
        err << "kqpack: cannot read '" << pack.string() << "'\n";
        return 1;
    }

    // Requested names compared as the player compares them: code page, upper case, "\".
    std::vector<std::string> wanted;
    for (const std::string& name : names) {
        wanted.push_back(
            media::TKQStore::NormaliseMemberName(codec.UpperCase(codec.FromUtf8(name))));
    }
    std::vector<bool> found(wanted.size(), false);

    int status = 0;
    std::set<std::string> done;
    size_t written = 0;
    for (const media::TKQStoreEntry& entry : store.Directory()) {
        const std::string key = media::TKQStore::NormaliseMemberName(codec.UpperCase(entry.name));
        if (!wanted.empty()) {
            auto match = std::find(wanted.begin(), wanted.end(), key);
            if (match == wanted.end()) {
                continue;
            }
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
        if (file) {
            file.write(data->data(), static_cast<std::streamsize>(data->size()));
        }
        if (file) {
            file.close();
        }
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

namespace {

// A filter value from its number or name; nothing for anything else (negative numbers too).
std::optional<int32_t> ParseFilter(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (!text.empty() && ec == std::errc() && ptr == end) {
        return value >= 0 ? std::optional<int32_t>(value) : std::nullopt;
    }
    return media::FilterValueFromName(text);
}

} // namespace

int FilterCommand(const fs::path& input, const fs::path& output, const FilterOptions& options,
                  std::ostream& err) {
    const std::optional<int32_t> filter = ParseFilter(options.filter);
    if (!filter) {
        err << "kqpack: unknown filter '" << options.filter
            << "' (a number from 0, or a name such as flWave)\n";
        return 1;
    }
    const std::optional<std::string> data = media::ReadWholeFile(input);
    if (!data) {
        err << "kqpack: cannot read '" << input.string() << "'\n";
        return 1;
    }
    media::DecodedPicture picture = media::DecodeImage(*data, input.filename().string());
    if (!picture) {
        err << "kqpack: cannot decode the picture '" << input.string()
            << "': " << picture.Error().Message("image") << "\n";
        return 1;
    }
    if (picture->Empty()) {
        err << "kqpack: cannot decode the picture '" << input.string() << "'\n";
        return 1;
    }
    media::ConvertTo32(*picture);

    // A work buffer word is the picture's ARGB word, so the picture goes in and out as is; the
    // filters change colours only, so every pixel leaves with the alpha it came with.
    media::ShapeFilterBuffers buffers;
    media::TFastDIB& work = buffers.Work(picture->width, picture->height);
    std::copy(picture->pixels.begin(), picture->pixels.end(), work.Words());
    std::mt19937 random(options.seed);
    buffers.Apply(*filter, options.par1, options.par2, options.par3, random);
    std::copy(work.Words(), work.Words() + work.PixelCount(), picture->pixels.begin());

    const std::string png = media::EncodePng(*picture);
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    if (png.empty() || !file || !file.write(png.data(), static_cast<std::streamsize>(png.size())) ||
        !file.flush()) {
        err << "kqpack: cannot write '" << output.string() << "'\n";
        return 1;
    }
    return 0;
}

} // namespace kq::tools
