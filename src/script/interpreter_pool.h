// The pool of ten interpreters that element scripts run on.
//
// An event script started at rest runs at depth 1 on instance 1; a script started from inside
// another script's native call (an event it triggers) runs one level deeper on the next
// instance, so an outer run's state is never disturbed. Instance 0 is the current one at rest:
// the scene prepares script texts on it. Depths 1 to 10 exist; a run that would reach depth 11
// is refused in an orderly way (nothing runs, one log line) and the caller carries on.
//
// RunScript saves and restores SELF, PREEXKQE and the event name of the shared ScriptEnv
// around the run, clears the instance's variables before it, and can collect the variables the
// run left into a list (an element's Vars).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "script/pascalc.h"
#include "script/scene_binding.h"

namespace kq::script {

class InterpreterPool {
public:
    static constexpr int kInstances = 10;

    // registerFunctions is called once for every instance (the library registration).
    explicit InterpreterPool(ScriptEnv& env,
                             const std::function<void(TPasCalc&)>& registerFunctions = {});

    ScriptEnv& Env() { return env_; }
    // The instance that prepares scripts and runs at the current depth.
    TPasCalc& Current() { return *instances_[static_cast<size_t>(current_)]; }
    TPasCalc& Instance(int index) { return *instances_[static_cast<size_t>(index)]; }
    // 1 at rest, n while n - 1 event runs are open.
    int Depth() const { return depth_; }

    // Prepares a script text on the current instance (what the ex* property setters do).
    PreparedScript Prepare(std::string_view source) { return Current().Prepare(source); }

    enum class RunResult { Ok, Failed, Refused, Empty };
    // Runs a prepared event script with `element` as SELF. `vars`, when given, receives every
    // variable the run left (added quietly, existing names kept).
    RunResult RunScript(Handle element, const PreparedScript& script, std::string_view eventName,
                        TVarList* vars = nullptr);

private:
    ScriptEnv& env_;
    std::array<std::unique_ptr<TPasCalc>, kInstances> instances_;
    int depth_ = 1;
    int current_ = 0;
};

} // namespace kq::script
