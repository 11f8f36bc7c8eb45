// Shared pieces of the engine functions' source files (not part of the public interface):
// the context every routine receives, argument helpers and the routines of each family,
// which engine_functions.cpp lists as rows.
#pragma once

#include "script/pascalc.h"
#include "script/var_list.h"
#include "scriptlib/engine_functions.h"

#include <string>
#include <vector>

namespace kq::scene {
class ScriptRuntime;
class TKQDB;
class TKQElement;
struct Runtime;
} // namespace kq::scene

namespace kq::script::library {

using Params = std::vector<TVar>;

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

// Element slots, positions, order, image lists and pixels (engine_elements.cpp).
bool Update(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool Process(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool MsDown(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool MsMove(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool Init(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool Show(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool MoveTo(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ToFront(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ListAdd(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ListDel(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool GetAlpha(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool GetPixel(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);

// The keyboard focus of text elements (engine_text.cpp).
bool SetFocus(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);

// Screen changes (engine_screens.cpp).
bool SetScreen(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool FastSetScreen(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool FastSetScreenNS(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool LoadIm(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool EndLoadIm(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);

// Saved state, timer, settings, files, sounds, exit and web addresses (engine_system.cpp).
bool SaveState(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool LoadState(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool TimerReset(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool GetIni(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool SetIni(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool DelFile(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool PlaySnd(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool PlayMuz(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool StopMuz(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ExitGame(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool GoToURL(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);

// Star sprites (engine_stars.cpp).
bool AddStar(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ImStarsR(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
// Keyframe animations and particle effects (engine_animations.cpp).
bool AnimStart(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool AnimStop(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool AnimBreak(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool AnimPlay(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool ProcEf(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
// Masked shapes and shape effects (engine_shapes.cpp).
bool Render(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);
bool AddFilter(const EngineContext& ctx, TPasCalc& calc, Params& p, TVar& r);

} // namespace kq::script::library
