// The engine functions of the script library: what scripts call to drive the scene (element
// slots, positions, image lists, pixels), change screens, save and load the game, read and
// write settings, play sounds, reset the frame timer, open web addresses and end the game.
//
// EngineFunctions gives a script::EngineProvider for script::RegisterLibrary, so each engine
// function takes its own place in the library's fixed order. Register it on every interpreter
// of the pool when the ScriptRuntime is made:
//
//     scene::ScriptRuntime scripts(rt, [&scripts, &rt](script::TPasCalc& calc) {
//         script::RegisterLibrary(calc, script::library::EngineFunctions(scripts, rt));
//     });
//
// The routines keep references to `scripts` and `rt` (which must outlive the interpreters) and
// find the root database through scripts.Root() at each call, so the root may be made and set
// after the library was registered.
//
// Argument rules shared by all of them: a handle argument is a LongWord that resolves to a live
// element. A call with too few arguments, a first argument that is not such a handle, or an
// element of the wrong class does nothing and still succeeds, so a script that addresses a
// missing element carries on. GetIni and SetIni fail (the interpreter reports "Invalid
// parameters") when they get fewer than three arguments or the settings file cannot be used.
#pragma once

#include "script/stdlib.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace kq::scene {
class ScriptRuntime;
struct Runtime;
} // namespace kq::scene

namespace kq::script::library {

// Routines for "Update", "Process", "MsDown", "MsMove", "Init", "Show", "MoveTo", "ToFront",
// "ListAdd", "ListDel", "GetAlpha", "GetPixel", "SetScreen", "FastSetScreen",
// "FastSetScreenNS", "LoadIm", "EndLoadIm", "SaveState", "LoadState", "TimerReset", "GetIni",
// "SetIni", "DelFile", "PlaySnd", "PlayMuz", "StopMuz", "ExitGame" and "GoToURL"; an empty
// routine for any other name. Names match without regard to case.
EngineProvider EngineFunctions(scene::ScriptRuntime& scripts, scene::Runtime& rt);

// For scripts run without a scene (kqscript without --scene): a routine for every engine name
// that does nothing and succeeds with an empty result, as a call with a wrong handle does, so a
// game's script runs past its engine calls.
EngineProvider SceneLessEngineFunctions();

// The file a script may delete with DelFile: `name` (game bytes, "\" or "/" separators) below
// the per-user folder. Nothing, with a log line, for an empty folder, an empty name, an
// absolute name, a drive letter or stream (":"), a ".." component or a NUL byte.
std::optional<std::filesystem::path> UserFilePath(const std::filesystem::path& userFolder,
                                                  std::string_view name);

// Whether GoToURL may hand `target` to the desktop: an http://, https:// or mailto: address
// (scheme in any letter case) without control characters.
bool IsOpenableUrl(std::string_view target);

} // namespace kq::script::library
