// Shared pieces of the engine functions' source files (not part of the public interface):
// the context every routine captures, argument helpers and the per-family tables.
#pragma once

#include "script/pascalc.h"
#include "script/var_list.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace kq::scene {
class ScriptRuntime;
class TKQDB;
class TKQElement;
struct Runtime;
} // namespace kq::scene

namespace kq::script::library {

using Params = std::vector<TVar>;
// Upper-case name -> routine.
using EngineTable = std::unordered_map<std::string, NativeRoutine>;

struct EngineContext {
    scene::ScriptRuntime& scripts;
    scene::Runtime& rt;

    // The root database the scripts see as KQDB; null before it is set.
    scene::TKQDB* Root() const;
    // The live element of a handle argument; null when the value is not a handle (LongWord)
    // or the element is gone.
    scene::TKQElement* Element(const Value& value) const;
    // The element of params[index] when there are enough arguments, else null.
    scene::TKQElement* ElementArg(const Params& params, size_t index) const;
};

// Element slots, positions, order, image lists and pixels.
void AddElementFunctions(EngineTable& table, const EngineContext& ctx);
// SetScreen, FastSetScreen, FastSetScreenNS, LoadIm, EndLoadIm and the star stubs.
void AddScreenFunctions(EngineTable& table, const EngineContext& ctx);
// Saved state, timer, settings, files, sounds, exit and web addresses.
void AddSystemFunctions(EngineTable& table, const EngineContext& ctx);

} // namespace kq::script::library
