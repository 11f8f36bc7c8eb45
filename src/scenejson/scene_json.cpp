#include "scenejson/scene_json.h"

#include "elements/animation.h"

#include "elements/classes.h"
#include "media/game_files.h"
#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <ostream>
#include <set>

namespace kq::tools {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using scene::PropKind;
using scene::PropType;
using scene::PropValue;
using scene::TKQClass;
using scene::TKQElement;
using scene::TKQProp;

namespace {

// The scene loader refuses to nest deeper than this; the tool keeps to the same limit.
constexpr int kMaxDepth = 256;
// Script files named by {"file": ...} larger than this are refused.
constexpr uintmax_t kMaxScriptFileSize = uintmax_t{64} << 20;

// One step of a JSON pointer: "~" and "/" are escaped as the pointer syntax requires.
std::string PointerStep(std::string_view key) {
    std::string out = "/";
    for (char c : key) {
        if (c == '~') {
            out += "~0";
        } else if (c == '/') {
            out += "~1";
        } else {
            out += c;
        }
    }
    return out;
}

std::string PointerStep(size_t index) {
    return "/" + std::to_string(index);
}

// How a place is shown in messages: the root is "/" rather than the empty pointer.
std::string Shown(const std::string& place) {
    return place.empty() ? "/" : place;
}

bool IsReferenceProp(const TKQProp& prop) {
    static const std::set<std::string> kNames = {"INITSCREEN", "LOADINGSCREEN", "OBSCREEN",
                                                 "OBANIM",     "OBMASK",        "OBPICTURE"};
    return kNames.count(prop.upperName) != 0;
}

bool IsScriptProp(const TKQProp& prop) {
    return prop.kind == PropKind::String && prop.upperName.starts_with("EX");
}

const char* JsonTypeName(const ordered_json& v) {
    switch (v.type()) {
    case ordered_json::value_t::null:
        return "null";
    case ordered_json::value_t::boolean:
        return "a boolean";
    case ordered_json::value_t::number_integer:
    case ordered_json::value_t::number_unsigned:
        return "an integer";
    case ordered_json::value_t::number_float:
        return "a floating-point number";
    case ordered_json::value_t::string:
        return "a string";
    case ordered_json::value_t::array:
        return "an array";
    case ordered_json::value_t::object:
        return "an object";
    default:
        return "an unsupported value";
    }
}

bool EqualNoCaseAscii(std::string_view a, std::string_view b) {
    return media::EqualsNoCaseAscii(a, b);
}

// The accepted range of an integer property, by its storage type.
void IntegerRange(PropType type, int64_t& lo, int64_t& hi) {
    switch (type) {
    case PropType::ULong:
        // Colour words are written unsigned; a negative value is the same bits.
        lo = std::numeric_limits<int32_t>::min();
        hi = std::numeric_limits<uint32_t>::max();
        return;
    case PropType::UByte:
        lo = 0;
        hi = 255;
        return;
    case PropType::UWord:
        lo = 0;
        hi = 65535;
        return;
    default:
        lo = std::numeric_limits<int32_t>::min();
        hi = std::numeric_limits<int32_t>::max();
        return;
    }
}

// An integer given as a JSON integer or as a "0x..." string.
std::optional<int64_t> JsonInteger(const ordered_json& v) {
    if (v.is_number_unsigned()) {
        uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) {
        return v.get<int64_t>();
    }
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) {
            return std::nullopt;
        }
        int64_t value = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int digit = 0;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return std::nullopt;
            }
            value = value * 16 + digit;
        }
        return value;
    }
    return std::nullopt;
}

// Converts lone "\n" line ends to "\r\n" (script texts are stored with Windows line ends).
std::string WindowsLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

class SceneBuilder {
public:
    SceneBuilder(const fs::path& baseDir, const media::TextCodec& codec)
        : baseDir_(baseDir), codec_(codec), runtime_(elements::ElementClasses()), db_(runtime_) {
        // Setters behave as while the player reads a scene file.
        runtime_.loading = true;
    }

    SceneBuildResult Build(const ordered_json& scene) {
        SceneBuildResult result;
        if (!BuildTree(scene) || !AssignKeys() || !ResolveReferences() || !ApplyFramePositions()) {
            result.error = error_;
            result.warnings = std::move(warnings_);
            return result;
        }
        runtime_.loading = false;
        result.bytes = scene::SaveElementBlob(db_);
        result.warnings = std::move(warnings_);
        return result;
    }

private:
    // An animation's frame position only means something once its keys (its children) and
    // the animation it shows exist, so it is assigned after the whole tree, as written.
    struct PendingPosition {
        TKQElement* element;
        const TKQProp* prop;
        PropValue value;
        std::string place;
    };
    bool ApplyFramePositions() {
        for (const PendingPosition& p : positions_) {
            const int32_t* pos = std::get_if<int32_t>(&p.value);
            if (auto* anim = dynamic_cast<elements::TKQAnim*>(p.element); anim && pos) {
                anim->SetAuthoredPos(*pos);
            } else if (auto* ex = dynamic_cast<elements::TKQExAnim*>(p.element); ex && pos) {
                ex->SetAuthoredPos(*pos);
            } else if (!p.prop->set(*p.element, p.value)) {
                return Fail(p.place, "the value of " + p.prop->name + " was refused");
            }
        }
        return true;
    }

    struct PendingReference {
        TKQElement* element;
        const TKQProp* prop;
        std::string path; // UTF-8, without the leading "@"
        std::string place;
    };

    bool Fail(const std::string& place, const std::string& message) {
        error_ = Shown(place) + ": " + message;
        return false;
    }

    void Warn(const std::string& place, const std::string& message) {
        warnings_.push_back(Shown(place) + ": " + message);
    }

    // UTF-8 to game bytes, warning when characters had to be replaced.
    std::string ToGame(std::string_view utf8, const std::string& place) {
        std::string bytes = codec_.FromUtf8(utf8);
        if (codec_.ToUtf8(bytes) != utf8) {
            Warn(place,
                 "characters outside the code page " + codec_.CodePage() + " were replaced by '?'");
        }
        return bytes;
    }

    bool BuildTree(const ordered_json& scene) {
        if (!scene.is_object()) {
            return Fail("", "the scene must be an object with \"class\": \"TKQDB\"");
        }
        auto cls = scene.find("class");
        if (cls == scene.end()) {
            return Fail("", "the root has no \"class\" (it must be TKQDB)");
        }
        if (!cls->is_string()) {
            return Fail("/class", "the class name must be a string");
        }
        const TKQClass* entry = runtime_.classes.FindLoose(cls->get_ref<const std::string&>());
        if (!entry || entry->id != scene::ClassId::DB) {
            return Fail("/class", "the root's class must be TKQDB, not '" +
                                      cls->get_ref<const std::string&>() + "'");
        }
        return Fill(db_, scene, "", 0);
    }

    // Fills an element (already created with its class) from its JSON object, then its children.
    bool Fill(TKQElement& element, const ordered_json& node, const std::string& place, int depth) {
        for (const auto& [key, value] : node.items()) {
            (void)value;
            if (key != "class" && key != "props" && key != "children") {
                return Fail(place + PointerStep(key),
                            "unknown member '" + key + "' (an element has class, props, children)");
            }
        }
        if (auto props = node.find("props"); props != node.end()) {
            if (!SetProps(element, *props, place + "/props")) {
                return false;
            }
        }
        auto children = node.find("children");
        if (children == node.end()) {
            return true;
        }
        const std::string childrenPlace = place + "/children";
        if (!children->is_array()) {
            return Fail(childrenPlace, "children must be an array");
        }
        if (!children->empty() && depth >= kMaxDepth) {
            return Fail(childrenPlace,
                        "elements nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        for (size_t i = 0; i < children->size(); ++i) {
            const ordered_json& child = (*children)[i];
            const std::string childPlace = childrenPlace + PointerStep(i);
            if (!child.is_object()) {
                return Fail(childPlace, "an element must be an object, not " +
                                            std::string(JsonTypeName(child)));
            }
            auto cls = child.find("class");
            if (cls == child.end()) {
                return Fail(childPlace, "the element has no \"class\"");
            }
            if (!cls->is_string()) {
                return Fail(childPlace + "/class", "the class name must be a string");
            }
            const std::string& name = cls->get_ref<const std::string&>();
            const TKQClass* entry = runtime_.classes.FindLoose(name);
            if (!entry) {
                return Fail(childPlace + "/class", "unknown class '" + name + "'");
            }
            TKQElement* created = nullptr;
            if (entry->AllowsParent(element.ClassName())) {
                created = runtime_.classes.CreateChild(element, entry->className);
            }
            if (!created) {
                return Fail(childPlace, "a " + entry->className + " may not be a child of " +
                                            std::string(element.ClassName()));
            }
            if (!Fill(*created, child, childPlace, depth + 1)) {
                return false;
            }
        }
        return true;
    }

    bool SetProps(TKQElement& element, const ordered_json& props, const std::string& place) {
        if (!props.is_object()) {
            return Fail(place, "props must be an object");
        }
        const TKQClass& entry = element.ClassEntry();
        // Values are assigned in registry order, as the loader assigns them, whatever the
        // order in the JSON: setters with effects (X then rX, Order) then agree with the player.
        std::map<int, std::pair<const ordered_json*, std::string>> byIndex;
        for (const auto& [name, value] : props.items()) {
            const std::string propPlace = place + PointerStep(name);
            const int index = entry.PropIndex(name);
            if (index < 0) {
                return Fail(propPlace, "unknown property '" + name + "' of " + entry.className);
            }
            if (byIndex.count(index)) {
                return Fail(propPlace, "property '" + entry.props[static_cast<size_t>(index)].name +
                                           "' given twice");
            }
            byIndex[index] = {&value, propPlace};
        }
        for (const auto& [index, item] : byIndex) {
            const TKQProp& prop = entry.props[static_cast<size_t>(index)];
            const ordered_json& value = *item.first;
            const std::string& propPlace = item.second;
            if (prop.upperName == "KEY") {
                explicitKey_.insert(&element);
            }
            if (IsReferenceProp(prop) && value.is_string()) {
                const std::string& text = value.get_ref<const std::string&>();
                if (!text.starts_with("@")) {
                    return Fail(propPlace, prop.name +
                                               " must be a key number or an Id path such as "
                                               "\"@Menu/Door\"");
                }
                references_.push_back({&element, &prop, text.substr(1), propPlace});
                continue;
            }
            std::optional<PropValue> converted = Convert(prop, value, propPlace);
            if (!converted) {
                return false;
            }
            if (prop.name == "Pos") {
                positions_.push_back({&element, &prop, *converted, propPlace});
                continue;
            }
            if (!prop.set(element, *converted)) {
                return Fail(propPlace, "the value of " + prop.name + " was refused");
            }
        }
        return true;
    }

    std::optional<PropValue> Convert(const TKQProp& prop, const ordered_json& v,
                                     const std::string& place) {
        switch (prop.kind) {
        case PropKind::Integer: {
            int64_t lo = 0, hi = 0;
            IntegerRange(prop.type, lo, hi);
            std::optional<int64_t> n = JsonInteger(v);
            if (!n || *n < lo || *n > hi) {
                Fail(place, prop.name + " takes an integer from " + std::to_string(lo) + " to " +
                                std::to_string(hi) + ", not " +
                                (n ? std::to_string(*n) : std::string(JsonTypeName(v))));
                return std::nullopt;
            }
            return static_cast<int32_t>(static_cast<uint32_t>(*n));
        }
        case PropKind::Enumeration: {
            if (v.is_boolean() && prop.type == PropType::Bool) {
                return static_cast<int32_t>(v.get<bool>());
            }
            if (v.is_string()) {
                const std::string& s = v.get_ref<const std::string&>();
                for (size_t i = 0; i < prop.enumNames.size(); ++i) {
                    if (EqualNoCaseAscii(prop.enumNames[i], s)) {
                        return static_cast<int32_t>(i);
                    }
                }
            } else if (v.is_number_integer()) {
                std::optional<int64_t> n = JsonInteger(v);
                const auto count = static_cast<int64_t>(prop.enumNames.size());
                if (n && *n >= 0 && *n < count) {
                    return static_cast<int32_t>(*n);
                }
                // Out-of-range positions occur in real game files; keep them so that a dump
                // builds back to the same bytes.
                if (n && *n >= std::numeric_limits<int32_t>::min() &&
                    *n <= std::numeric_limits<int32_t>::max() && prop.type != PropType::Bool) {
                    Warn(place, prop.name + " " + std::to_string(*n) +
                                    " is not a position of its enumeration");
                    return static_cast<int32_t>(*n);
                }
            }
            std::string names;
            for (const std::string& name : prop.enumNames) {
                names += (names.empty() ? "" : ", ") + name;
            }
            Fail(place,
                 prop.name + " takes " +
                     (prop.type == PropType::Bool ? std::string("true or false (or 0/1)")
                                                  : "one of " + names + " (or its position)") +
                     ", not " + (v.is_primitive() ? v.dump() : JsonTypeName(v)));
            return std::nullopt;
        }
        case PropKind::Float: {
            if (v.is_number()) {
                return v.get<double>();
            }
            if (v.is_string()) {
                const std::string& s = v.get_ref<const std::string&>();
                if (s == "NaN") {
                    return std::numeric_limits<double>::quiet_NaN();
                }
                if (s == "Infinity") {
                    return std::numeric_limits<double>::infinity();
                }
                if (s == "-Infinity") {
                    return -std::numeric_limits<double>::infinity();
                }
            }
            Fail(place, prop.name + " takes a number, not " + JsonTypeName(v));
            return std::nullopt;
        }
        case PropKind::String:
            return ConvertString(prop, v, place);
        }
        return std::nullopt;
    }

    std::optional<PropValue> ConvertString(const TKQProp& prop, const ordered_json& v,
                                           const std::string& place) {
        if (v.is_string()) {
            return ToGame(v.get_ref<const std::string&>(), place);
        }
        if (!IsScriptProp(prop)) {
            Fail(place, prop.name + " takes a string, not " + JsonTypeName(v));
            return std::nullopt;
        }
        if (v.is_array()) {
            std::string joined;
            for (size_t i = 0; i < v.size(); ++i) {
                if (!v[i].is_string()) {
                    Fail(place + PointerStep(i),
                         "a script line must be a string, not " + std::string(JsonTypeName(v[i])));
                    return std::nullopt;
                }
                if (i > 0) {
                    joined += "\r\n";
                }
                joined += v[i].get_ref<const std::string&>();
            }
            return ToGame(joined, place);
        }
        if (v.is_object() && v.size() == 1 && v.contains("file") && v["file"].is_string()) {
            const std::string& name = v["file"].get_ref<const std::string&>();
            fs::path file(name);
            if (file.is_relative()) {
                file = baseDir_ / file;
            }
            std::optional<std::string> text = media::ReadWholeFile(file, kMaxScriptFileSize);
            if (!text) {
                Fail(place + "/file", "cannot read the script file '" + file.string() + "'");
                return std::nullopt;
            }
            std::string_view body = *text;
            if (body.starts_with("\xEF\xBB\xBF")) {
                body.remove_prefix(3);
            }
            return ToGame(WindowsLineEnds(body), place + "/file");
        }
        Fail(place, prop.name +
                        " takes a string, an array of lines or {\"file\": PATH}, not this " +
                        JsonTypeName(v));
        return std::nullopt;
    }

    void CollectPreOrder(TKQElement& e, std::vector<TKQElement*>& out) {
        out.push_back(&e);
        for (const auto& child : e.Children()) {
            CollectPreOrder(*child, out);
        }
    }

    bool AssignKeys() {
        std::vector<TKQElement*> all;
        CollectPreOrder(db_, all);
        int64_t largest = 0;
        std::map<int32_t, int> seen;
        for (TKQElement* e : all) {
            if (!explicitKey_.count(e)) {
                continue;
            }
            largest = std::max<int64_t>(largest, e->Key);
            if (++seen[e->Key] == 2) {
                Warn("",
                     "the key " + std::to_string(e->Key) + " is given to more than one element");
            }
        }
        // The root keeps its key (0 unless given): the fresh keys are for the elements below it.
        for (TKQElement* e : all) {
            if (e == &db_ || explicitKey_.count(e)) {
                continue;
            }
            if (largest >= std::numeric_limits<int32_t>::max()) {
                return Fail("", "no key left above the largest explicit key");
            }
            e->Key = static_cast<int32_t>(++largest);
        }
        if (db_.Key > largest) {
            largest = db_.Key;
        }
        if (db_.CurKey < largest) {
            db_.CurKey = static_cast<int32_t>(largest);
        }
        return true;
    }

    bool ResolveReferences() {
        for (const PendingReference& ref : references_) {
            TKQElement* at = &db_;
            std::string walked = "@";
            size_t start = 0;
            if (ref.path.empty()) {
                return Fail(ref.place, "the Id path \"@\" names no element");
            }
            while (start <= ref.path.size()) {
                size_t end = ref.path.find('/', start);
                if (end == std::string::npos) {
                    end = ref.path.size();
                }
                const std::string step = ref.path.substr(start, end - start);
                if (step.empty()) {
                    return Fail(ref.place, "empty name in the Id path \"@" + ref.path + "\"");
                }
                const std::string wanted = codec_.UpperCase(codec_.FromUtf8(step));
                TKQElement* found = nullptr;
                for (const auto& child : at->Children()) {
                    if (codec_.UpperCase(child->Id) == wanted) {
                        found = child.get();
                        break;
                    }
                }
                if (!found) {
                    return Fail(ref.place, "the Id path \"@" + ref.path + "\" names no element: " +
                                               (walked == "@" ? "the root" : "'" + walked + "'") +
                                               " has no child '" + step + "'");
                }
                at = found;
                walked += (walked == "@" ? "" : "/") + step;
                start = end + 1;
            }
            if (!ref.prop->set(*ref.element, PropValue(at->Key))) {
                return Fail(ref.place, "the value of " + ref.prop->name + " was refused");
            }
        }
        return true;
    }

    fs::path baseDir_;
    std::vector<PendingPosition> positions_;
    const media::TextCodec& codec_;
    scene::Runtime runtime_;
    scene::TKQDB db_;
    std::string error_;
    std::vector<std::string> warnings_;
    std::set<const TKQElement*> explicitKey_;
    std::vector<PendingReference> references_;
};

// ---- Dump ----

// Follows the loader over the blob to say where it stops and which children it skips. The
// loader itself only reports that it stopped; the tool's user needs the place.
class BlobWalker {
public:
    explicit BlobWalker(const scene::ClassRegistry& registry) : registry_(registry) {}

    std::vector<std::string> notes;

    void Walk(std::string_view blob, const TKQClass& entry, const std::string& place, int depth) {
        media::ByteReader in(blob);
        std::string_view className;
        if (!scene::ReadBlobString(in, className)) {
            Note(place, entry, "", "the class name is cut short");
            return;
        }
        int32_t count = 0;
        if (!scene::ReadBlobI32(in, count)) {
            Note(place, entry, "", "the property count is cut short");
            return;
        }
        std::string id;
        const size_t n =
            count <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(count), entry.props.size());
        for (size_t i = 0; i < n; ++i) {
            PropValue value;
            if (!scene::ReadBlobValue(in, entry.props[i].kind, value)) {
                Note(place, entry, id,
                     "stopped at property " + entry.props[i].name + ": the value is cut short");
                return;
            }
            if (entry.props[i].upperName == "ID") {
                id = scene::PropString(value);
            }
        }
        size_t created = 0;
        while (in.Remaining() > 0) {
            std::string_view childBlob;
            const size_t left = in.Remaining();
            if (!scene::ReadBlobString(in, childBlob)) {
                Note(place, entry, id,
                     "stopped at the record of child " + std::to_string(created) +
                         ": it is cut short (" + std::to_string(left) + " bytes left)");
                return;
            }
            if (depth >= kMaxDepth) {
                Note(place, entry, id, "a child nested too deep was skipped");
                continue;
            }
            media::ByteReader childIn(childBlob);
            std::string_view childClass;
            if (!scene::ReadBlobString(childIn, childClass)) {
                Note(place, entry, id, "an unreadable child record was skipped");
                continue;
            }
            const TKQClass* childEntry = registry_.Find(childClass);
            if (!childEntry || !childEntry->create || !childEntry->AllowsParent(entry.className)) {
                Note(place, entry, id,
                     "a child of class '" + std::string(childClass) +
                         "' was skipped (unknown or not allowed here)");
                continue;
            }
            Walk(childBlob, *childEntry, place + "/children" + PointerStep(created), depth + 1);
            ++created;
        }
    }

private:
    void Note(const std::string& place, const TKQClass& entry, const std::string& id,
              const std::string& what) {
        std::string where = Shown(place) + " (" + entry.className;
        if (!id.empty()) {
            where += " '" + id + "'";
        }
        notes.push_back(where + "): " + what);
    }

    const scene::ClassRegistry& registry_;
};

bool WriteFile(const fs::path& file, std::string_view bytes, std::ostream& err) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    if (out) {
        out.close();
    }
    if (!out) {
        err << "kqpack: cannot write '" << file.string() << "'\n";
        return false;
    }
    return true;
}

} // namespace

ordered_json FloatJson(double v) {
    if (std::isnan(v)) {
        return "NaN";
    }
    if (std::isinf(v)) {
        return v > 0 ? "Infinity" : "-Infinity";
    }
    return v;
}

namespace {

ordered_json ScriptJson(const std::string& utf8) {
    // Multi-line texts read better as an array of lines; joining the lines with "\r\n" gives
    // the same text back.
    if (utf8.find("\r\n") == std::string::npos) {
        return utf8;
    }
    ordered_json lines = ordered_json::array();
    size_t start = 0;
    while (true) {
        const size_t end = utf8.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(utf8.substr(start));
            break;
        }
        lines.push_back(utf8.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace

ordered_json ElementJson(const TKQElement& e, const media::TextCodec& codec,
                         const ElementJsonHook& extra) {
    const TKQClass& entry = e.ClassEntry();
    ordered_json props = ordered_json::object();
    for (const TKQProp& prop : entry.props) {
        const PropValue value = prop.get(e);
        switch (prop.kind) {
        case PropKind::Integer: {
            const int32_t n = scene::PropInt(value);
            if (prop.type == PropType::ULong) {
                props[prop.name] = static_cast<uint32_t>(n);
            } else {
                props[prop.name] = n;
            }
            break;
        }
        case PropKind::Enumeration: {
            const int32_t n = scene::PropInt(value);
            if (prop.type == PropType::Bool && (n == 0 || n == 1)) {
                props[prop.name] = n == 1;
            } else if (n >= 0 && static_cast<size_t>(n) < prop.enumNames.size()) {
                props[prop.name] = prop.enumNames[static_cast<size_t>(n)];
            } else {
                props[prop.name] = n;
            }
            break;
        }
        case PropKind::Float:
            props[prop.name] = FloatJson(scene::PropFloat(value));
            break;
        case PropKind::String: {
            std::string utf8 = codec.ToUtf8(scene::PropString(value));
            props[prop.name] = IsScriptProp(prop) ? ScriptJson(utf8) : ordered_json(utf8);
            break;
        }
        }
    }
    ordered_json out = ordered_json::object();
    out["class"] = entry.className;
    out["props"] = std::move(props);
    if (extra) {
        extra(e, out);
    }
    ordered_json children = ordered_json::array();
    for (const auto& child : e.Children()) {
        children.push_back(ElementJson(*child, codec, extra));
    }
    out["children"] = std::move(children);
    return out;
}

SceneBuildResult BuildScene(const ordered_json& scene, const fs::path& baseDir,
                            const media::TextCodec& codec) {
    SceneBuilder builder(baseDir, codec);
    return builder.Build(scene);
}

SceneBuildResult BuildSceneText(std::string_view jsonText, const fs::path& baseDir,
                                const media::TextCodec& codec) {
    ordered_json scene = ordered_json::parse(jsonText, nullptr, false);
    if (scene.is_discarded()) {
        // Parse again with exceptions only to learn where the syntax error is.
        SceneBuildResult result;
        try {
            const ordered_json again = ordered_json::parse(jsonText);
            result.error = "invalid JSON";
        } catch (const ordered_json::parse_error& e) {
            result.error = std::string("invalid JSON: ") + e.what();
        }
        return result;
    }
    return BuildScene(scene, baseDir, codec);
}

SceneDumpResult DumpScene(std::string_view gameFile, const media::TextCodec& codec) {
    SceneDumpResult result;
    media::ByteReader in(gameFile);
    std::string_view className;
    if (!scene::ReadBlobString(in, className) || className != "TKQDB") {
        result.error = "not a game file (it does not start with a TKQDB element)";
        return result;
    }
    const scene::ClassRegistry& registry = elements::ElementClasses();
    scene::Runtime runtime(registry);
    scene::TKQDB db(runtime);
    const bool complete = db.LoadSceneBlob(gameFile).Ok();
    BlobWalker walker(registry);
    walker.Walk(gameFile, registry.Of(scene::ClassId::DB), "", 0);
    result.warnings = std::move(walker.notes);
    if (!complete && result.warnings.empty()) {
        result.warnings.push_back("/: the loader stopped early (a value was refused)");
    }
    result.scene = ElementJson(db, codec);
    return result;
}

std::string SceneJsonText(const ordered_json& scene) {
    return scene.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

int BuildSceneFile(const fs::path& jsonFile, const fs::path& outFile, const media::TextCodec& codec,
                   std::ostream& err) {
    std::optional<std::string> text = media::ReadWholeFile(jsonFile);
    if (!text) {
        err << "kqpack: cannot read '" << jsonFile.string() << "'\n";
        return 1;
    }
    SceneBuildResult result = BuildSceneText(*text, jsonFile.parent_path(), codec);
    for (const std::string& warning : result.warnings) {
        err << "kqpack: warning: " << jsonFile.string() << ": " << warning << "\n";
    }
    if (!result.bytes) {
        err << "kqpack: " << jsonFile.string() << ": " << result.error << "\n";
        return 1;
    }
    return WriteFile(outFile, *result.bytes, err) ? 0 : 1;
}

int DumpSceneFile(const fs::path& gameFile, const fs::path& outFile, const media::TextCodec& codec,
                  std::ostream& out, std::ostream& err) {
    std::optional<std::string> bytes = media::ReadWholeFile(gameFile);
    if (!bytes) {
        err << "kqpack: cannot read '" << gameFile.string() << "'\n";
        return 1;
    }
    SceneDumpResult result = DumpScene(*bytes, codec);
    if (!result.scene) {
        err << "kqpack: " << gameFile.string() << ": " << result.error << "\n";
        return 1;
    }
    for (const std::string& warning : result.warnings) {
        err << "kqpack: warning: " << gameFile.string() << ": loading stopped or skipped at "
            << warning << "\n";
    }
    const std::string text = SceneJsonText(*result.scene);
    if (outFile.empty()) {
        out << text;
        out.flush();
        return out ? 0 : 1;
    }
    return WriteFile(outFile, text, err) ? 0 : 1;
}

} // namespace kq::tools
