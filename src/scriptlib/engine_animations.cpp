// Engine functions that drive keyframe animations: "AnimStart", "AnimPlay" and "AnimStop".
// Particle effects answer the same names; their half joins with the effects.
#include "scriptlib/engine_internal.h"

#include "elements/animation.h"
#include "scene/script_runtime.h"

#include <string>

namespace kq::script::library {

namespace {

elements::TKQAnim* AnimArg(const EngineContext& ctx, const Params& p) {
    return dynamic_cast<elements::TKQAnim*>(ctx.ElementArg(p, 0));
}

} // namespace

bool AnimStart(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    elements::TKQAnim* anim = AnimArg(ctx, p);
    if (!anim) {
        return true;
    }
    anim->SetPos(0);
    anim->Active = true;
    anim->SetVis(true);
    // exStart runs under the event name of the script that called, as its continuation.
    const std::string event = ctx.scripts.Env().eventName;
    anim->RunScript(anim->exStart, event);
    return true;
}

bool AnimPlay(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    elements::TKQAnim* anim = AnimArg(ctx, p);
    if (!anim) {
        return true;
    }
    anim->Active = true;
    if (anim->Pos >= anim->FrameCount() - 1) {
        anim->SetPos(0);
    }
    anim->SetVis(true);
    return true;
}

bool AnimStop(const EngineContext&, TPasCalc&, Params&, TVar&) {
    // A keyframe animation is stopped by writing Active; only effects have a stop.
    return true;
}

} // namespace kq::script::library
