#include "script/interpreter_pool.h"

#include <string>

namespace kq::script {

InterpreterPool::InterpreterPool(ScriptEnv& env,
                                 const std::function<void(TPasCalc&)>& registerFunctions)
    : env_(env) {
    for (auto& instance : instances_) {
        instance = std::make_unique<TPasCalc>(&env_);
        if (registerFunctions) {
            registerFunctions(*instance);
        }
    }
}

InterpreterPool::RunResult InterpreterPool::RunScript(Handle element, const PreparedScript& script,
                                                      std::string_view eventName, TVarList* vars) {
    std::string savedEvent = env_.eventName;
    env_.eventName.assign(eventName);
    if (depth_ + 1 > kInstances) {
        // No instance left for this depth: skip the run and say so in the error log.
        Handle savedSelf = env_.self;
        env_.self = element;
        env_.Warn("Too many nested scripts: ", std::to_string(depth_ + 1));
        env_.self = savedSelf;
        env_.eventName = std::move(savedEvent);
        return RunResult::Refused;
    }
    ++depth_;
    current_ = depth_ - 1;
    TPasCalc& calc = *instances_[static_cast<size_t>(current_)];
    calc.Variables().Clear();
    RunResult result = RunResult::Empty;
    if (!script.Empty()) {
        const Handle savedSelf = env_.self;
        const Handle savedPre = env_.preExKqe;
        env_.preExKqe = savedSelf;
        env_.self = element;
        result = calc.RunPrepared(script) ? RunResult::Ok : RunResult::Failed;
        env_.self = savedSelf;
        env_.preExKqe = savedPre;
        if (vars) {
            for (const TVar& v : calc.Variables().Items()) {
                vars->Append(v.name, v.value);
            }
        }
    }
    --depth_;
    current_ = depth_ - 1;
    env_.eventName = std::move(savedEvent);
    return result;
}

} // namespace kq::script
