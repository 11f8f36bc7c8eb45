// TPasCalc: the interpreter of the game's Pascal-like script language.
//
// Source text is compiled once into a token string (tokens.h); statements then run straight
// from that compiled form by scanning token positions, exactly as the language defines its
// constructs (an IF's condition is every token up to the first THEN, a REPEAT body runs to the
// first UNTIL, and so on). Nothing is re-read from source characters at run time.
//
// Contracts:
// - Nothing throws out of the interpreter. The first error of a run is kept (ErrorCode,
//   ErrorMessage, ErrorText), logged through the ScriptEnv, and unwinds the run; later errors
//   of the same run are ignored.
// - Variables are not cleared by a run; whoever runs a script decides that.
// - A run can be bounded: StopRequested (checked after every statement and loop iteration)
//   ends it like EXIT, and OnStep is called at those points.
// - Native functions receive their arguments as TVar records named "VAR" (written as the name
//   of an existing variable; changes are copied back) or "VALUE". A native may throw; the
//   call catches it and reports "Invalid parameters, function N : <message>".
// - Depth is bounded so that hostile scripts cannot exhaust the stack: expressions and blocks
//   nest at most kMaxNesting deep within one routine body, script routines call each other at
//   most kMaxCallDepth deep, and the native stack left is checked beside both counts
//   (native_stack.h). Past a bound the run fails with an ordinary error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/scene_binding.h"
#include "script/tokens.h"
#include "script/value.h"
#include "script/var_list.h"

namespace kq::script {

class TPasCalc;

// A native routine: arguments in call order, the result record; false rejects the arguments.
using NativeRoutine =
    std::function<bool(TPasCalc& sender, std::vector<TVar>& params, TVar& result)>;

// A script prepared by Prepare: the text form (what the scene keeps beside the source) and the
// tokens themselves, so that running it needs no decoding.
struct PreparedScript {
    std::string text;
    CodePtr code;
    // A script known only by its text (code null) runs from the text.
    bool Empty() const { return code ? code->tokens.empty() : text.empty(); }
};

struct TProcedure {
    std::string name;
    CodePtr body;
    std::vector<std::string> params;
    std::vector<uint64_t> paramHashes;
    bool isFunction = false;
};

class TPasCalc {
public:
    // env is shared with the other interpreters of a runtime; nullptr gives the instance an
    // environment of its own (no scene).
    explicit TPasCalc(ScriptEnv* env = nullptr);
    TPasCalc(const TPasCalc&) = delete;
    TPasCalc& operator=(const TPasCalc&) = delete;

    ScriptEnv& Env() { return *env_; }
    TVarList& Variables() { return vars_; }
    const TVarList& Variables() const { return vars_; }

    // Registers (or replaces; a null routine removes) a native function. The name is trimmed
    // and upper-cased and must be a valid variable name.
    bool SetFunction(std::string_view name, NativeRoutine routine);
    bool HasFunction(std::string_view name) const;
    size_t FunctionCount() const { return functions_.size(); }
    // Registered names in registration order.
    std::vector<std::string> FunctionNames() const;

    // Reset, empty the routines, compile (cached) and link; returns the main text.
    PreparedScript Prepare(std::string_view source);
    // Prepare and execute. True when no error was recorded.
    bool Run(std::string_view source);
    // Reset, empty the routines and execute a prepared script.
    bool RunPrepared(const PreparedScript& script);
    bool RunPrepared(std::string_view preparedText);

    // Evaluates an expression given as source text on the current state (tools and tests).
    bool EvaluateSource(std::string_view source, Value& out);

    // Name trimmed and upper-cased; own variable, else through the scene from SELF.
    bool GetVar(std::string_view name, TVar& out);
    // Name trimmed and upper-cased; only an existing variable of the list is set.
    bool SetVarValue(std::string_view name, const Value& value);
    // Stores: existing variable, else a name bound in the scene, else a new variable.
    bool SetVar(const TVar& var);
    int IndexOfVar(std::string_view name) const { return vars_.IndexOf(name); }

    void ReportError(std::string_view message, Span text, int code);
    int ErrorCode() const { return errorCode_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    const std::string& ErrorText() const { return errorText_; }
    // The full error line as logged ("" while there is no error).
    const std::string& ErrorLine() const { return errorLine_; }

    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }
    std::function<void()> OnStep;

    // Procedures of the last link (tests and tools).
    const TProcedure* FindProcedure(std::string_view name) const;

    // Saves and restores the statement state around a nested Run on the same instance (the
    // library's Exec), so the enclosing statements keep their block depth and transfers.
    struct StatementState {
        int blockDepth;
        uint8_t jumpState;
        std::string gotoLabel;
    };
    StatementState SaveStatementState() const { return {blockDepth_, jumpState_, gotoLabel_}; }
    void RestoreStatementState(StatementState s);

    static constexpr int kMaxNesting = 300;
    // Script routine calls in progress at once (recursion included); each call's body has a
    // nesting budget of its own.
    static constexpr int kMaxCallDepth = 2000;
    static constexpr int kMaxIncludeDepth = 16;

private:
    struct Cursor {
        const Token* p;
        const Token* e;
        Span whole;
    };
    struct NativeFunc {
        std::string name;
        NativeRoutine routine;
    };

    void Reset();
    CodePtr CompileCached(std::string_view source);
    bool Link(const Code& compiled, std::vector<Token>& mainOut, int includeDepth);

    // Statements.
    bool Collect(Span text, const Token*& pos, uint64_t terminators, Span& stmt,
                 const Token** terminator = nullptr);
    void ExecuteSequence(Span text);
    void ExecuteStatement(Span stmt);
    const Token* FindLabel(Span text);
    void StepHook();
    void DoAssignOrCall(Span stmt);
    void DoIf(Span stmt);
    void DoFor(Span stmt);
    void DoWhile(Span stmt);
    void DoRepeat(Span stmt);
    void DoCase(Span stmt);
    void DoGoto(Span stmt);
    bool ConditionValue(Span cond, bool& out);
    bool IntegerValue(Span expr, int32_t& out);
    bool CaseLabelMatches(Span label, const Value& selector, bool& matched);
    bool StoreCharacter(const std::string& name, uint64_t hash, const std::string& indexText,
                        const Value& value, Span where);

    // Expressions.
    bool Evaluate(Span text, Value& out);
    bool ParseOr(Cursor& c, Value& out);
    bool ParseAnd(Cursor& c, Value& out);
    bool ParseCompare(Cursor& c, Value& out);
    bool ParseAdd(Cursor& c, Value& out);
    bool ParseMul(Cursor& c, Value& out);
    bool ParsePow(Cursor& c, Value& out);
    bool ParseUnary(Cursor& c, Value& out);
    bool ParsePrimary(Cursor& c, Value& out);
    bool ParseIdentifier(Cursor& c, Value& out);
    bool ApplyInfix(uint8_t op, Value& left, Value& right, Span where);
    void TranslateOperand(Value& v);
    // Index list "[" ... "]" starting at p: its inner span and the position after "]".
    bool IndexListSpan(const Token* p, const Token* end, Span& inner, const Token*& after,
                       Span where);
    bool IndexText(Span inner, std::string& out);
    bool CharacterIndex(const std::string& indexText, size_t length, size_t& index, Span where);

    // Calls.
    bool ArgumentSpan(const Token* p, const Token* end, Span& args, const Token*& after);
    // Yields the next argument of an argument span (pieces between top-level commas).
    static bool NextArgument(Span args, const Token*& p, Span& arg);
    static size_t CountArguments(Span args);
    bool CallNative(const Token& name, Span args, Value& out);
    bool CallProcedure(const TProcedure& proc, Span args, Value& out);
    const NativeFunc* FindFunction(const Token& name) const;
    const TProcedure* FindProcedure(const Token& name) const;

    // Variables.
    bool ReadVariable(std::string_view name, uint64_t hash, Value& out);
    // Existing variable, else a name bound in the scene, else a new variable. A bound name
    // that refuses the value is reported (at `where`) and gives false.
    bool StoreVariable(std::string_view name, uint64_t hash, Value value, Span where);
    void WarnDottedCopies(const TVarList& list);
    // Name of a variable an argument was written as, or "" when it is not one.
    std::string_view ArgumentVariable(Span arg, std::string& scratch) const;

    bool EnterNesting();
    void LeaveNesting() { --nesting_; }
    // False when the native stack is too short for going deeper.
    bool StackLeft() const {
        return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) > stackFloor_;
    }

    std::unique_ptr<ScriptEnv> ownEnv_;
    ScriptEnv* env_;
    TVarList vars_;

    std::vector<NativeFunc> functions_;
    std::unordered_map<uint64_t, size_t> functionIndex_;
    std::vector<std::shared_ptr<const TProcedure>> procedures_;
    std::unordered_map<uint64_t, size_t> procedureIndex_;

    int blockDepth_ = -1;
    uint8_t jumpState_ = 0;
    std::string gotoLabel_;
    bool stopRequested_ = false;
    int nesting_ = 0;
    int callDepth_ = 0;
    // ScriptStackFloor() of the thread running the current evaluation; 0 before any.
    uintptr_t stackFloor_ = 0;

    int errorCode_ = 0;
    std::string errorMessage_;
    std::string errorText_;
    std::string errorLine_;

    std::string cachedSource_;
    CodePtr cachedCompiled_;
    // Prepared texts run by text (the scene keeps texts) decoded once each; bounded.
    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::unordered_map<std::string, CodePtr, TextHash, std::equal_to<>> preparedCache_;
    static constexpr size_t kPreparedCacheLimit = 1024;

    // Reused argument vectors of native calls, one per call nesting level.
    std::vector<std::vector<TVar>> paramPool_;
    size_t paramDepth_ = 0;
};

} // namespace kq::script
