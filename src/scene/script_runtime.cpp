#include "scene/script_runtime.h"

#include "scene/db.h"
#include "scene/element.h"

namespace kq::scene {

ScriptRuntime::ScriptRuntime(Runtime& runtime,
                             const std::function<void(script::TPasCalc&)>& registerFunctions)
    : runtime_(runtime) {
    env_.scene = this;
    // Random(n) of the scripts draws from the runtime's seeded generator, so a run with a
    // given seed is reproducible.
    env_.random = [this](int32_t n) { return runtime_.RandomBelow(n); };
    pool_ = std::make_unique<script::InterpreterPool>(env_, registerFunctions);
}

ScriptRuntime::~ScriptRuntime() = default;

script::PreparedScript ScriptRuntime::Prepare(const std::string& text) {
    return pool_->Prepare(text);
}

void ScriptRuntime::RunScript(TKQElement& self, const ScriptText& script, std::string_view event,
                              script::TVarList* vars) {
    pool_->RunScript(self.Handle(), script.prepared, event, vars);
}

script::Handle ScriptRuntime::Root() const {
    return root_ ? root_->Handle() : 0;
}

script::Handle ScriptRuntime::Parent(script::Handle element) const {
    TKQElement* e = Resolve(element);
    return e && e->Parent() ? e->Parent()->Handle() : 0;
}

bool ScriptRuntime::IsElement(script::Handle element) const {
    return Resolve(element);
}

bool ScriptRuntime::GetProp(script::Handle element, std::string_view name, script::Value& out) {
    TKQElement* e = Resolve(element);
    return e && e->GetProp(name, out);
}

bool ScriptRuntime::SetProp(script::Handle element, std::string_view name,
                            const script::Value& value) {
    TKQElement* e = Resolve(element);
    return e && e->SetProp(name, value);
}

bool ScriptRuntime::RefusesValue(script::Handle element, std::string_view name,
                                 const script::Value& value) {
    TKQElement* e = Resolve(element);
    return e && e->RefusesValue(name, value);
}

std::string ScriptRuntime::Describe(script::Handle element) const {
    TKQElement* e = Resolve(element);
    if (!e) {
        return {};
    }
    return e->Id + " <" + std::string(e->ClassName()) + ">";
}

bool ScriptRuntime::SaveErr() const {
    return root_ && root_->SaveErr;
}

bool ScriptRuntime::UnicodeMode() const {
    return root_ && root_->UnicodeMode();
}

std::string ScriptRuntime::Translate(std::string_view key) {
    return root_ ? root_->Translate(key) : std::string();
}

} // namespace kq::scene
