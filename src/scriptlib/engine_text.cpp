// Engine functions on text elements: the keyboard focus.
#include "scriptlib/engine_internal.h"

#include "elements/text.h"
#include "scene/runtime.h"

namespace kq::script::library {

// "SetFocus"(h): a text element becomes the one that typed characters edit; any other
// argument leaves the focus where it is.
bool SetFocus(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (auto* text = dynamic_cast<elements::TKQText*>(ctx.ElementArg(p, 0))) {
        ctx.rt.focusedText = text;
    }
    return true;
}

} // namespace kq::script::library
