// The state dump of a running game (kqplayer --dump): the element tree in the readable JSON
// form of the authoring tool ({"class", "props", "children"}), each element with its script
// variables as "vars" (name to [kind, value]), plus a "runtime" object with the process-wide
// values a tester asks about. Strings are converted from the game's code page to UTF-8.
#pragma once

#include "media/text_encoding.h"
#include "scene/db.h"
#include "scene/runtime.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace kq::shell {

nlohmann::ordered_json ElementStateJson(const scene::TKQElement& element,
                                        const media::TextCodec& codec);
nlohmann::ordered_json RuntimeJson(const scene::Runtime& rt, const media::TextCodec& codec);
// The root's tree object with "runtime" added beside "class", "props", "vars", "children".
nlohmann::ordered_json GameStateJson(const scene::TKQDB& db, const scene::Runtime& rt,
                                     const media::TextCodec& codec);
// Indented by two, invalid UTF-8 replaced, ending in a newline.
std::string JsonText(const nlohmann::ordered_json& json);
// Writes the text to a temporary name and renames it into place; false (logged) on failure.
bool WriteTextFile(const std::filesystem::path& file, const std::string& text);

} // namespace kq::shell
