// What the interpreter needs from the scene, and the name resolution built on it.
//
// The interpreter core knows nothing of elements. A script name that is not one of its own
// variables is resolved against the running element (SELF) and along dotted object paths
// ("KQDB.MENU.X", ".X" for the parent's X, "@5.X" for the element with handle 5) through the
// small SceneBinding interface, which the scene implements over its element tree. Elements are
// named by handles: unsigned 32-bit numbers, 0 for none.
//
// ScriptEnv is the state the interpreters of one runtime share: the binding, SELF, PREEXKQE,
// the current event name, the quiet lookup flag, the file reader for USES/INCLUDE and the error
// log ("kestwin.err", appended to only when the binding's SaveErr() is true). Nothing here is a
// process global, so tests can build as many independent environments as they like.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "script/value.h"
#include "script/var_list.h"

namespace kq::script {

class SceneBinding {
public:
    virtual ~SceneBinding() = default;

    // The root element (KQDB), 0 when there is no scene.
    virtual Handle Root() const = 0;
    // The parent of an element; 0 for the root, for none and for an unknown handle.
    virtual Handle Parent(Handle element) const = 0;
    // True when the handle names a live element (used by "@<handle>" path steps).
    virtual bool IsElement(Handle element) const = 0;
    // GetProp / SetProp of the element. Names arrive in upper case. An unknown element
    // answers false. SetProp translates language-key strings itself.
    virtual bool GetProp(Handle element, std::string_view name, Value& out) = 0;
    virtual bool SetProp(Handle element, std::string_view name, const Value& value) = 0;
    // Asked after SetProp answered false: true when the element knows the name but the value
    // does not convert for it (a text that is no number for a float property). Such a write
    // is an error of the script, never a new variable hiding the property.
    virtual bool RefusesValue(Handle element, std::string_view name, const Value& value) {
        (void)element;
        (void)name;
        (void)value;
        return false;
    }
    // "Id <ClassName>" of an element for log lines; "" for none.
    virtual std::string Describe(Handle element) const = 0;
    // The root's SaveErr: whether warnings and errors go to the error log file.
    virtual bool SaveErr() const = 0;
    // The root's Unicode text mode (three-byte escapes in strings).
    virtual bool UnicodeMode() const { return false; }
    // The root's Translate of a language key "Section.Key"; "" when there is none.
    virtual std::string Translate(std::string_view key) {
        (void)key;
        return {};
    }
};

// Reads a USES/INCLUDE file by the name the script gave; nullopt when it cannot be read.
using FileReader = std::function<std::optional<std::string>(std::string_view name)>;

// The default reader: the file system, relative names from the current folder, at most
// kMaxScriptFileSize bytes.
std::optional<std::string> ReadScriptFileFromDisk(std::string_view name);
inline constexpr size_t kMaxScriptFileSize = 16u << 20;

struct ScriptEnv {
    SceneBinding* scene = nullptr; // not owned; may be null (no scene)
    Handle self = 0;               // the running element
    Handle preExKqe = 0;           // SELF before the running script started
    std::string eventName;         // quoted by warnings and errors
    bool quietLookup = false;      // unresolved names fail instead of reading 0
    FileReader readFile;           // empty: ReadScriptFileFromDisk
    // Called with every warning and error line (without line end), whatever SaveErr says.
    std::function<void(std::string_view line)> onLogLine;
    std::string errorLogPath = "kestwin.err";
    // Random(n) of the library: 0..n-1. Empty: the environment's own generator.
    std::function<int32_t(int32_t n)> random;
    std::mt19937 rng{20240601u};

    // "Id <Class>" of SELF, "" without one.
    std::string ElementDescription() const;
    // Hands the line to onLogLine and, when the scene's SaveErr is set, appends it with CR LF
    // to the error log. A log that cannot be written is skipped (one spdlog warning).
    void WriteLine(std::string_view line);
    // prefix + name + " (in " + description + " " + event name, the warning lines.
    void Warn(std::string_view prefix, std::string_view name);

    // A call of a routine that nothing registered: besides the interpreter's error, the log
    // says "no native routine NAME" once per name, so whoever ports a game sees at once which
    // of its own procedures are still missing.
    void NoteMissingNative(std::string_view name);

    bool logFailureReported = false;
    std::set<std::string, std::less<>> missingNatives;
};

// Reads `name` through the scene starting at `start` (see the object path rules in the header
// comment). On success `out` is the value; an unresolved last name reads as Byte 0 with a
// "Not var"/"Not var NIL" warning unless the quiet flag is on, in which case it fails.
bool ReadPath(ScriptEnv& env, Handle start, std::string_view name, const TVarList& vars,
              Value& out);
// What a write through the scene came to.
enum class PathWrite : uint8_t {
    NotBound, // the path does not resolve or the element does not know the name
    Stored,
    Refused, // the element knows the name but the value does not convert for it
};
// Writes through the scene.
PathWrite WritePath(ScriptEnv& env, Handle start, std::string_view name, const Value& value,
                    const TVarList& vars);

} // namespace kq::script
