// Finding the game file (".kqf") the player runs.
//
// With a GAME argument: the file itself, or the first ".kqf" in the named folder. Without: a
// file beside the program named after it ("kqplayer" looks for "kqplayer.kqf"), else the first
// ".kqf" in the program's folder, else the last game of the authoring tool ("KQMaker.ini",
// section "Main", key "Path", in the per-user configuration folder), else the bundled demo.
// Names are matched without regard to case, as the games were made on such a file system.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kq::shell {

struct GameSearch {
    std::filesystem::path programFile;  // the running program
    std::filesystem::path configFolder; // where "KQMaker.ini" is looked for; empty: skipped
    std::optional<std::filesystem::path> argument; // GAME from the command line
};

struct GameLocation {
    std::filesystem::path file; // empty when nothing was found
    std::string how;            // which rule found it (for the log)
};

// The per-user configuration folder: $XDG_CONFIG_HOME, else $HOME/.config; empty when
// neither is set.
std::filesystem::path UserConfigFolder();

// The first ".kqf" (any letter case) of a folder, by name order; nothing when there is none
// or the folder cannot be read.
std::optional<std::filesystem::path> FirstGameFileIn(const std::filesystem::path& folder);

// The "Path" of section "Main" of an INI file with "\" turned into "/"; nothing when the file
// is missing, unreadable, unreasonably large or has no such key.
std::optional<std::filesystem::path> ReadKQMakerPath(const std::filesystem::path& iniFile);

// The bundled demo game below the program's folder, when it exists.
std::optional<std::filesystem::path> DemoGameFile(const std::filesystem::path& programFolder);

// Applies the rules above. A GAME argument that names nothing usable is reported in the log
// and gives an empty location (the player then runs with a black window): it never falls back
// to another game, which would surprise whoever named one.
GameLocation LocateGame(const GameSearch& search);

} // namespace kq::shell
