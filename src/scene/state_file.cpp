// Saved game state of the root database: choosing the state file, writing the tree's
// script-visible values into it and assigning them back by name.
//
// No file stays open between calls. A save builds the whole file in memory and replaces the
// old file in one rename, so a save that fails half-way (full disk, lost power) leaves the
// previous save intact. A load reads the whole file first and applies it record by record,
// stopping at the first record that does not fit in the file.
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/state_file_format.h"
#include "scene/state_lookup.h"
#include "script/value.h"
#include "script/var_list.h"

#include <spdlog/spdlog.h>

#include <array>
#include <chrono>
#include <fstream>
#include <limits>
#include <system_error>

namespace kq::scene {

namespace {

using script::Value;
using script::VarKind;

// A state file larger than this is not read at all: real saves are a few hundred kilobytes.
constexpr uintmax_t kMaxStateFileBytes = uintmax_t{256} << 20;

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i])) {
            return false;
        }
    }
    return true;
}

// Published properties that are never saved: identity, the file names whose setters open
// files, script texts, and what the scene file alone decides. Any letter case.
bool IsExcludedName(std::string_view name) {
    static constexpr std::array<std::string_view, 8> kNever = {
        "NOTSAVE", "ID", "CURKEY", "FILERS", "INTERPOL", "INTERPOLSC", "MSKEEP", "KEY"};
    for (std::string_view n : kNever) {
        if (EqualNoCase(name, n)) {
            return true;
        }
    }
    return name.size() >= 2 && EqualNoCase(name.substr(0, 2), "EX");
}

// A name that a save never writes for this element: a published property excluded from
// saving (unless a variable of the element has that name). Such records can only come from a
// foreign or doctored file; assigning them would let a file replace script texts or the state
// file's name.
bool NeverRestored(TKQElement& e, std::string_view name) {
    if (!IsExcludedName(name) || !e.ClassEntry().FindProp(name)) {
        return false;
    }
    const script::TVarList* vars = e.Vars();
    return !(vars && vars->Lookup(name));
}

// Pictures, shapes (shape effects are shapes too) and texts keep fractional positions: their
// rX/rY are saved, not X/Y.
bool SavesRealPosition(ClassId id) {
    return id == ClassId::Image || id == ClassId::Shape || id == ClassId::ShapeEff ||
           id == ClassId::Text;
}

// Which published properties each class saves, in registry order; built once per save.
class SavedProps {
public:
    const std::vector<const TKQProp*>& Of(const TKQElement& e) {
        const size_t index = static_cast<size_t>(e.Class());
        if (!built_[index]) {
            built_[index] = true;
            const bool realPosition = SavesRealPosition(e.Class());
            for (const TKQProp& prop : e.ClassEntry().props) {
                if (IsExcludedName(prop.upperName)) {
                    continue;
                }
                if (realPosition && (prop.upperName == "X" || prop.upperName == "Y")) {
                    continue;
                }
                lists_[index].push_back(&prop);
            }
        }
        return lists_[index];
    }

private:
    std::array<bool, kClassCount> built_{};
    std::array<std::vector<const TKQProp*>, kClassCount> lists_;
};

// Writes one value with the tag its kind calls for. Kinds without a tag of their own:
// a 64-bit integer is saved as "I" while it fits in 32 bits and as "E" beyond; an unassigned
// variable is not saved.
void WriteValue(state::RecordWriter& out, int32_t key, std::string_view name, const Value& v,
                const HandleTable& handles) {
    switch (v.Kind()) {
    case VarKind::Empty:
        return;
    case VarKind::Boolean:
        out.Int(key, name, v.RawInt() != 0 ? -1 : 0);
        return;
    case VarKind::Integer:
    case VarKind::Byte:
    case VarKind::ShortInt:
        out.Int(key, name, static_cast<int32_t>(v.RawInt()));
        return;
    case VarKind::Word:
        out.Word(key, name, static_cast<uint16_t>(v.RawInt()));
        return;
    case VarKind::LongWord: {
        const TKQElement* target = handles.Resolve(v.AsHandle());
        out.Object(key, name, target ? target->Key : 0);
        return;
    }
    case VarKind::Int64: {
        const int64_t i = v.RawInt();
        if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max()) {
            out.Int(key, name, static_cast<int32_t>(i));
        } else {
            out.Float(key, name, static_cast<double>(i));
        }
        return;
    }
    case VarKind::Double:
        out.Float(key, name, v.RawDouble());
        return;
    case VarKind::String:
        if (v.RawStr().size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
            out.String(key, name, v.RawStr());
        }
        return;
    }
}

void WriteElement(TKQElement& e, state::RecordWriter& out, SavedProps& saved,
                  const HandleTable& handles) {
    if (e.Class() == ClassId::AnKey) {
        return; // animation keys belong to the scene file, with everything below them
    }
    if (!e.NotSave) {
        Value value;
        for (const TKQProp* prop : saved.Of(e)) {
            if (e.GetProp(prop->upperName, value)) {
                WriteValue(out, e.Key, prop->upperName, value, handles);
            }
        }
        if (const script::TVarList* vars = e.Vars()) {
            for (const script::TVar& var : vars->Items()) {
                WriteValue(out, e.Key, var.name, var.value, handles);
            }
        }
        if (e.Class() == ClassId::ImList && e.GetProp("ELEMENTS", value)) {
            WriteValue(out, e.Key, "ELEMENTS", value, handles);
        }
    }
    for (const auto& child : e.Children()) {
        WriteElement(*child, out, saved, handles);
    }
}

// The whole file, bounded in size. A missing file reads as an empty one.
media::LoadResult ReadStateFile(const std::filesystem::path& path, std::string& out) {
    out.clear();
    media::LoadError error;
    error.problem = media::LoadError::Problem::Unreadable;
    error.file = path.string();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (ec) {
            error.what = ec.message();
            return error;
        }
        return {};
    }
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error.what = ec.message();
        return error;
    }
    if (size > kMaxStateFileBytes) {
        error.what = fmt::format("it is {} bytes, more than the {} a saved state may have", size,
                                 kMaxStateFileBytes);
        return error;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error.what = "it cannot be opened";
        return error;
    }
    out.resize(static_cast<size_t>(size));
    in.read(out.data(), static_cast<std::streamsize>(size));
    // A file that shrank meanwhile gives what was there.
    out.resize(static_cast<size_t>(in.gcount()));
    return {};
}

// A state-file name as the game gives it ("saves\slot1.sav") as a path below the user folder;
// empty when it would lead outside that folder.
std::filesystem::path RelativeStatePath(std::string name) {
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    std::filesystem::path relative(name);
    if (relative.has_root_path() || relative.has_root_name()) {
        return {};
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return {};
        }
    }
    if (!relative.has_filename()) {
        return {};
    }
    return relative;
}

} // namespace

void TKQDB::SetFileRS(const std::string& value) {
    FileRS = value;
    if (value.empty()) {
        stateFilePath_.clear();
        return;
    }
    const std::filesystem::path relative = RelativeStatePath(value);
    if (relative.empty()) {
        spdlog::warn("state: the state file name '{}' leads outside the user folder; no saves",
                     value);
        stateFilePath_.clear();
        return;
    }
    const std::filesystem::path path = UserFolder() / relative;
    if (!stateFilePath_.empty() && EqualNoCase(path.string(), stateFilePath_.string())) {
        return;
    }
    stateFilePath_.clear();
    std::error_code ec;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), ec);
    }
    if (ec) {
        spdlog::warn("state: cannot create the folder of {}: {}; no saves", path.string(),
                     ec.message());
        return;
    }
    stateFilePath_ = path;
}

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

bool TKQDB::SaveState() {
    if (stateFilePath_.empty()) {
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    state::RecordWriter out;
    out.Reserve(64 * 1024);
    SavedProps saved;
    WriteElement(*this, out, saved, runtime_.handles);
    std::string error;
    const bool ok = state::WriteFileReplacing(stateFilePath_, out.Data(), error);
    if (!ok) {
        spdlog::warn("state: saving to {} failed ({}); the previous save is kept",
                     stateFilePath_.string(), error);
    } else {
        spdlog::info("state: saved {} bytes to {} in {:.1f} ms", out.Data().size(),
                     stateFilePath_.string(), MillisecondsSince(started));
    }
    if (runtime_.resetTimer) {
        runtime_.resetTimer();
    }
    return ok;
}

media::LoadResult TKQDB::LoadState() {
    if (stateFilePath_.empty()) {
        media::LoadError error;
        error.problem = media::LoadError::Problem::Unreadable;
        error.what = "no state file is chosen";
        return error;
    }
    const auto started = std::chrono::steady_clock::now();
    std::string data;
    if (media::LoadResult read = ReadStateFile(stateFilePath_, data); !read) {
        return read;
    }

    runtime_.loading = true;
    runtime_.loadImagesNow = false;
    if (runtime_.images) {
        runtime_.images->SetLoadImagesNow(false);
    }

    StateRecordLookup lookup(*this, runtime_.handles);
    state::RecordReader reader(data);
    state::Record record;
    media::LoadResult result;
    size_t applied = 0;
    while (true) {
        const auto status = reader.Next(record);
        if (status == state::RecordReader::Status::End) {
            break;
        }
        if (status == state::RecordReader::Status::Corrupt) {
            media::LoadError error;
            error.problem = reader.CutShort() ? media::LoadError::Problem::Truncated
                                              : media::LoadError::Problem::Corrupt;
            error.file = stateFilePath_.string();
            error.offset = reader.Offset();
            error.what =
                fmt::format("record {} of a file of {} bytes {}; the {} before it "
                            "were applied",
                            applied + 1, data.size(),
                            reader.CutShort() ? "is cut short" : "has a negative length", applied);
            result = std::move(error);
            break;
        }
        ++applied;
        Value value;
        switch (record.tag) {
        case state::kTagInt:
            value = Value::Int(record.intValue);
            break;
        case state::kTagFloat:
            value = Value::Double(record.floatValue);
            break;
        case state::kTagWord:
            value = Value::Word(record.wordValue);
            break;
        case state::kTagString:
            value = Value::Str(std::string(record.text));
            break;
        case state::kTagObject: {
            TKQElement* target = record.intValue != 0 ? lookup.Search(record.intValue) : nullptr;
            value = Value::LongWord(target ? target->Handle() : 0);
            break;
        }
        default:
            continue; // an unknown tag: nothing to assign
        }

        TKQElement* element = lookup.ElementOf(record.key);
        if (element && !element->NotSave && !NeverRestored(*element, record.name)) {
            element->SetProp(record.name, value);
        }
    }

    runtime_.loadImagesNow = true;
    if (runtime_.images) {
        runtime_.images->SetLoadImagesNow(true);
    }
    Load();
    if (runtime_.resetTimer) {
        runtime_.resetTimer();
    }
    runtime_.loading = false;
    spdlog::info("state: loaded {} bytes from {} in {:.1f} ms", data.size(),
                 stateFilePath_.string(), MillisecondsSince(started));
    return result;
}

} // namespace kq::scene
