// Reading a game the way the player reads it. kqplayer and `kqscript --scene` share these
// steps, so a script tried against a game sees the scene, language texts and sound table the
// running game sees. The game file is resolved first (media::ResolveGameFile), and the game
// files' folder is its folder.
#pragma once

#include <filesystem>

namespace kq::media {
class GameFiles;
}

namespace kq::scene {
class ScriptRuntime;
class TKQDB;
struct Runtime;
} // namespace kq::scene

namespace kq::shell {

// USES and INCLUDE read script files from the game: a loose file below the game folder
// (any letter case), else the pack member of that name. `files` must outlive `scripts`.
void ReadScriptsFromGame(scene::ScriptRuntime& scripts, media::GameFiles& files);

// Reads the scene file into the root as the player does: picture requests only register names
// while it is read; the pack, the language file, the sound table and the Unicode data open
// through the runtime's game files (whose folder must be the game file's folder). Afterwards
// pictures load on request, and the image service follows the root's AlwaysLoadIm. False when
// the file is missing, unreadable or damaged (whatever could be read stays in the tree); the
// reason, with the byte offset where a damaged file stops, is logged as one line.
bool LoadGameScene(scene::TKQDB& db, scene::Runtime& rt, const std::filesystem::path& gameFile);

} // namespace kq::shell
