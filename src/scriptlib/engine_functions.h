// The engine functions of the script library: what scripts call to drive the scene (element
// slots, positions, image lists, pixels), change screens, save and load the game, read and
// write settings, play sounds, reset the frame timer, open web addresses and end the game.
//
// Each engine function is a row of EngineRows() (name, place in the library's fixed order,
// argument bounds, what a wrong count does, routine). EngineFunctions binds the rows to one
// scene for script::RegisterLibrary, which merges them into the order. Register them on every
// interpreter of the pool when the ScriptRuntime is made:
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
// element. A call with too few arguments (the rows' rule), a first argument that is not such a
// handle, or an element of the wrong class does nothing and still succeeds, so a script that
// addresses a missing element carries on. GetIni and SetIni fail (the interpreter reports
// "Invalid parameters") when they get fewer than three arguments or the settings file cannot
// be used.
#pragma once

#include "script/stdlib.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kq::scene {
class ScriptRuntime;
struct Runtime;
} // namespace kq::scene

namespace kq::script::library {

struct EngineContext;
using EngineFunction = bool (*)(const EngineContext& ctx, TPasCalc& calc, std::vector<TVar>& params,
                                TVar& result);
using EngineRow = NativeRowOf<EngineFunction>;

// Every engine row, in library order. Rows with a null routine keep the places of names whose
// element families are not built yet; they are not registered.
std::span<const EngineRow> EngineRows();

// The engine rows bound to one scene, ready for script::RegisterLibrary.
std::vector<LibraryEntry> EngineFunctions(scene::ScriptRuntime& scripts, scene::Runtime& rt);

// For scripts run without a scene (kqscript without --scene): a routine for every engine name
// (built or not) that does nothing and succeeds with an empty result, whatever the count, as a
// call with a wrong handle does, so a game's script runs past its engine calls.
std::vector<LibraryEntry> SceneLessEngineFunctions();

// Every library name in registration order: the general rows and the engine rows merged by
// their places.
std::vector<std::string_view> LibraryOrder();

// The file a script may delete with DelFile: `name` (game bytes, "\" or "/" separators) below
// the per-user folder. Nothing, with a log line, for an empty folder, an empty name, an
// absolute name, a drive letter or stream (":"), a ".." component or a NUL byte.
std::optional<std::filesystem::path> UserFilePath(const std::filesystem::path& userFolder,
                                                  std::string_view name);

// Whether GoToURL may hand `target` to the desktop: an http://, https:// or mailto: address
// (scheme in any letter case) without control characters.
bool IsOpenableUrl(std::string_view target);

} // namespace kq::script::library
