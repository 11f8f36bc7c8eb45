// Engine functions that drive keyframe animations and particle effects: "AnimStart",
// "AnimPlay", "AnimStop", "AnimBreak" and "ProcEf".
#include "scriptlib/engine_internal.h"

#include "elements/animation.h"
#include "elements/effect.h"
#include "media/particle_system.h"
#include "scene/script_runtime.h"
#include "script/stdlib_internal.h"
#include "script/value.h"

#include <string>

namespace kq::script::library {

namespace {

elements::TKQAnim* AnimArg(const EngineContext& ctx, const Params& p) {
    return dynamic_cast<elements::TKQAnim*>(ctx.ElementArg(p, 0));
}

elements::TKQEffect* EffectArg(const EngineContext& ctx, const Params& p) {
    return dynamic_cast<elements::TKQEffect*>(ctx.ElementArg(p, 0));
}

} // namespace

bool AnimStart(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    // exStart runs under the event name of the script that called, as its continuation.
    if (elements::TKQEffect* effect = EffectArg(ctx, p)) {
        const std::string event = ctx.scripts.Env().eventName;
        effect->StartByScript(event);
        return true;
    }
    elements::TKQAnim* anim = AnimArg(ctx, p);
    if (!anim) {
        return true;
    }
    anim->SetPos(0);
    anim->Active = true;
    anim->SetVis(true);
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

// A keyframe animation is stopped by writing Active; only effects have a stop.
bool AnimStop(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (elements::TKQEffect* effect = EffectArg(ctx, p)) {
        effect->SetActive(false);
    }
    return true;
}

bool AnimBreak(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (elements::TKQEffect* effect = EffectArg(ctx, p)) {
        effect->Break();
    }
    return true;
}

// ProcEf(effect, t): advances the effect's system by t / steps per second x DAnim, worked out
// with the language's arithmetic and handed over as a single-precision float.
bool ProcEf(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Byte(0);
    elements::TKQEffect* effect = EffectArg(ctx, p);
    if (!effect) {
        return true;
    }
    Value quotient;
    Value product;
    double dt = 0;
    if (!ApplyBinary(BinaryOp::Divide, p[1].value,
                     Value::Double(elements::TKQEffect::kStepsPerSecond), quotient) ||
        !ApplyBinary(BinaryOp::Multiply, quotient, Value::Double(effect->DAnim), product) ||
        !ToDouble(product, dt)) {
        lib::Fail("Invalid variant type conversion");
    }
    if (media::ParticleSystem* system = effect->System()) {
        system->Update(static_cast<float>(dt));
    }
    return true;
}

} // namespace kq::script::library
