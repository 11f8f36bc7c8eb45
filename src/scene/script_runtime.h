// ScriptRuntime: the scripts of one running game.
//
// It owns the interpreter pool and the environment the interpreters share, runs element texts
// for the scene (ScriptHost) and answers the interpreters' questions about the scene through
// element handles (SceneBinding). Handles come from the runtime's handle table, so a handle a
// script kept never reaches a freed element.
#pragma once

#include "scene/runtime.h"
#include "scene/script_host.h"
#include "script/interpreter_pool.h"
#include "script/scene_binding.h"

#include <functional>
#include <memory>

namespace kq::scene {

class TKQDB;

class ScriptRuntime : public ScriptHost, public script::SceneBinding {
public:
    // registerFunctions is run on every interpreter of the pool (the native library).
    ScriptRuntime(Runtime& runtime,
                  const std::function<void(script::TPasCalc&)>& registerFunctions);
    ~ScriptRuntime() override;

    // The root the scripts see as KQDB; set before scripts run.
    void SetRoot(TKQDB* root) { root_ = root; }
    script::ScriptEnv& Env() { return env_; }
    script::InterpreterPool& Pool() { return *pool_; }

    // ScriptHost
    script::PreparedScript Prepare(const std::string& text) override;
    void RunScript(TKQElement& self, const ScriptText& script, std::string_view event,
                   script::TVarList* vars) override;
    uint32_t PreviousSelf() const override { return env_.preExKqe; }

    // SceneBinding
    script::Handle Root() const override;
    script::Handle Parent(script::Handle element) const override;
    bool IsElement(script::Handle element) const override;
    bool GetProp(script::Handle element, std::string_view name, script::Value& out) override;
    bool SetProp(script::Handle element, std::string_view name,
                 const script::Value& value) override;
    bool RefusesValue(script::Handle element, std::string_view name,
                      const script::Value& value) override;
    std::string Describe(script::Handle element) const override;
    bool SaveErr() const override;
    bool UnicodeMode() const override;
    std::string Translate(std::string_view key) override;

    TKQElement* Resolve(script::Handle handle) const { return runtime_.handles.Resolve(handle); }

private:
    Runtime& runtime_;
    TKQDB* root_ = nullptr;
    script::ScriptEnv env_;
    std::unique_ptr<script::InterpreterPool> pool_;
};

} // namespace kq::scene
