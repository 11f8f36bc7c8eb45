// Conversion between the readable JSON form of a scene and the game file (".kqf"), for the
// authoring tool kqpack.
//
// JSON form: every element is {"class": NAME, "props": {NAME: VALUE, ...}, "children": [...]}
// and the root's class is TKQDB. Reading JSON builds a real element tree (so every property
// setter runs, exactly as when the player loads the file) and serializes it; writing JSON loads
// a game file the way the player does and lists every published property of every element.
//
// Values in JSON: booleans as true/false (or 0/1), enumerations by value name or position,
// unsigned 32-bit properties as unsigned integers (or "0x..." strings), floats as numbers
// ("NaN", "Infinity", "-Infinity" as strings), strings in UTF-8 (converted to and from the
// game's code page). Script texts (names beginning with "ex") may also be an array of lines,
// joined with "\r\n", or {"file": PATH} relative to the JSON file's folder. Element references
// (InitScreen, LoadingScreen, obScreen, obAnim, obMask, obPicture) may be a key number or an Id
// path from the root such as "@Menu/Door". Elements without an explicit Key get fresh keys above
// every explicit one; the root's CurKey is raised to at least the largest key.
//
// Every error names its place as a JSON pointer ("/children/0/props/Scale: ...").
#pragma once

#include "media/text_encoding.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::scene {
class TKQElement;
}

namespace kq::tools {

// Adds keys to an element's JSON object after "props" and before "children" (the player's
// state dump adds each element's script variables this way).
using ElementJsonHook = std::function<void(const scene::TKQElement&, nlohmann::ordered_json&)>;

// An element and its subtree as `kqpack dump` writes them: "class", "props" (every published
// property in registry order, booleans, enumeration names, unsigned colours, UTF-8 strings,
// multi-line scripts as arrays of lines), then what `extra` adds, then "children".
nlohmann::ordered_json ElementJson(const scene::TKQElement& element, const media::TextCodec& codec,
                                   const ElementJsonHook& extra = {});
// A float as JSON: a number, or "NaN", "Infinity", "-Infinity".
nlohmann::ordered_json FloatJson(double value);

struct SceneBuildResult {
    std::optional<std::string> bytes; // the game file's contents; nothing on error
    std::string error;                // "<json pointer>: what is wrong" when bytes is empty
    std::vector<std::string> warnings;
};

// Builds the game file from a parsed JSON scene. baseDir is where {"file": ...} script texts
// are looked up. The codec converts UTF-8 to the game's code page.
SceneBuildResult BuildScene(const nlohmann::ordered_json& scene,
                            const std::filesystem::path& baseDir, const media::TextCodec& codec);
// The same from JSON text; a syntax error is reported with its byte position.
SceneBuildResult BuildSceneText(std::string_view jsonText, const std::filesystem::path& baseDir,
                                const media::TextCodec& codec);

struct SceneDumpResult {
    // Nothing when the bytes are not a game file at all (error says why). A file the loader
    // stopped reading early still gives the tree that was kept, with warnings saying where.
    std::optional<nlohmann::ordered_json> scene;
    std::string error;
    std::vector<std::string> warnings;
};

SceneDumpResult DumpScene(std::string_view gameFile, const media::TextCodec& codec);

// JSON text as kqpack writes it: indented by two, invalid UTF-8 replaced, ending in a newline.
std::string SceneJsonText(const nlohmann::ordered_json& scene);

// The two commands over files. Messages go to err ("kqpack: ..."); the return value is the
// exit code: 0 success, 1 bad or unreadable input or unwritable output.
int BuildSceneFile(const std::filesystem::path& jsonFile, const std::filesystem::path& outFile,
                   const media::TextCodec& codec, std::ostream& err);
// Writes to outFile, or to out when outFile is empty.
int DumpSceneFile(const std::filesystem::path& gameFile, const std::filesystem::path& outFile,
                  const media::TextCodec& codec, std::ostream& out, std::ostream& err);

} // namespace kq::tools
