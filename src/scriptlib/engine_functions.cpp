// The engine functions' provider: one table of routines, built once per provider, answering
// the library registration by name.
#include "scriptlib/engine_functions.h"
#include "scriptlib/engine_internal.h"

#include "media/text_encoding.h"
#include "scene/db.h"
#include "scene/script_runtime.h"

#include <memory>

namespace kq::script::library {

scene::TKQDB* EngineContext::Root() const {
    scene::TKQElement* root = scripts.Resolve(scripts.Root());
    return root && root->Class() == scene::ClassId::DB ? static_cast<scene::TKQDB*>(root) : nullptr;
}

scene::TKQElement* EngineContext::Element(const Value& value) const {
    if (!value.IsHandle()) {
        return nullptr;
    }
    return rt.handles.Resolve(value.AsHandle());
}

scene::TKQElement* EngineContext::ElementArg(const Params& params, size_t index) const {
    return index < params.size() ? Element(params[index].value) : nullptr;
}

EngineProvider EngineFunctions(scene::ScriptRuntime& scripts, scene::Runtime& rt) {
    const EngineContext ctx{scripts, rt};
    auto table = std::make_shared<EngineTable>();
    AddElementFunctions(*table, ctx);
    AddScreenFunctions(*table, ctx);
    AddSystemFunctions(*table, ctx);
    return [table](std::string_view name) -> NativeRoutine {
        auto it = table->find(media::UpperAscii(name));
        return it == table->end() ? NativeRoutine() : it->second;
    };
}

EngineProvider SceneLessEngineFunctions() {
    return [](std::string_view) -> NativeRoutine {
        return [](TPasCalc&, Params&, TVar&) { return true; };
    };
}

} // namespace kq::script::library
