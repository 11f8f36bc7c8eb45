// Engine functions on masked shapes: composing a layer on demand ("Render") and a one-time
// filter over a shape effect's composite ("AddFilter").
#include "scriptlib/engine_internal.h"

#include "elements/shape.h"
#include "script/stdlib_internal.h"

namespace kq::script::library {

// "Render"(h): a shape (or shape effect) composes its layer now, whether masked or not, and
// whether or not the frame composes it.
bool Render(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (auto* shape = dynamic_cast<elements::TKQShape*>(ctx.ElementArg(p, 0))) {
        shape->Compose();
    }
    return true;
}

// "AddFilter"(h, kind [, p1 [, p2 [, p3]]]): the filter of that number runs once over a
// shape effect's composite with the parameters given (0 for those missing).
bool AddFilter(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    auto* effect = dynamic_cast<elements::TKQShapeEff*>(ctx.ElementArg(p, 0));
    if (!effect) {
        return true;
    }
    const int32_t kind = lib::Integer32(p[1].value);
    double par[3] = {0, 0, 0};
    for (size_t i = 2; i < p.size() && i < 5; ++i) {
        par[i - 2] = lib::Float(p[i].value);
    }
    effect->ApplyFilter(kind, par[0], par[1], par[2]);
    return true;
}

} // namespace kq::script::library
