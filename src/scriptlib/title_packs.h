// Title packs: the native procedures a particular game's scripts call besides the library
// (its star effects, mini-game logic, progress counters).
//
// A pack is one table of rows {name, routine, one-line description}. Every compiled-in pack
// is registered on every interpreter after the whole library; names are unique across the
// packs and the library (a unit test checks it). Title procedures take no argument bounds:
// each routine checks its own arguments and does nothing (and succeeds) on wrong ones.
//
// Porting another title's procedures: write src/scriptlib/title_NAME.cpp with its routines and
// a function returning its table, and add one row for it to the pack list in title_packs.cpp
// (see the README, "Adding a game's own procedures").
#pragma once

#include "scriptlib/engine_functions.h"

#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace kq::script::library {

struct TitleProcedure {
    std::string_view name;
    EngineFunction routine;
    std::string_view description;
};

struct TitlePack {
    std::string_view title;
    std::span<const TitleProcedure> (*procedures)();
};

// Every compiled-in pack, in registration order.
std::span<const TitlePack> TitlePacks();

using NamedRoutines = std::vector<std::pair<std::string_view, NativeRoutine>>;

// The procedures of every pack bound to one scene, for script::RegisterLibrary.
NamedRoutines TitleProcedures(scene::ScriptRuntime& scripts, scene::Runtime& rt);
// Without a scene (kqscript without --scene): every title procedure does nothing and succeeds.
NamedRoutines SceneLessTitleProcedures();

// The whole library with the engine bound to one scene, and the title packs after it: what
// every interpreter of a game's pool is given.
void RegisterGameLibrary(TPasCalc& calc, scene::ScriptRuntime& scripts, scene::Runtime& rt);

} // namespace kq::script::library
