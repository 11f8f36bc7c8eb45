// Variables and scripts functions of the library.
#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script::lib {

namespace {

bool GetVar(TPasCalc& calc, Params& p, TVar& r) {
    std::string name = Text(p[0].value);
    calc.Env().quietLookup = true;
    TVar found;
    bool ok = calc.GetVar(name, found);
    calc.Env().quietLookup = false;
    r.value = ok ? std::move(found.value) : Value::LongWord(0);
    return true;
}

bool SetVar(TPasCalc& calc, Params& p, TVar&) {
    return calc.SetVarValue(Text(p[0].value), p[1].value);
}

bool Exec(TPasCalc& calc, Params& p, TVar& r) {
    std::string text = Text(p[0].value);
    // The flag stays on after Exec: scripts run through it fail on unresolved names.
    calc.Env().quietLookup = true;
    TPasCalc::StatementState state = calc.SaveStatementState();
    calc.Run(text);
    calc.RestoreStatementState(std::move(state));
    r.value = Value::Byte(0);
    return true;
}

bool Decode(TPasCalc&, Params& p, TVar& r) {
    const Value& x = p[0].value;
    size_t i = 1;
    for (; i + 1 < p.size(); i += 2) {
        Value equal;
        // A key that cannot be compared with x fails the call, as "=" fails a statement.
        if (!ApplyBinary(BinaryOp::Equal, p[i].value, x, equal)) {
            Fail("Invalid operand types for \"=\"");
        }
        if (equal.RawInt() != 0) {
            r.value = p[i + 1].value;
            return true;
        }
    }
    if (p.size() % 2 == 0) {
        r.value = p.back().value;
        return true;
    }
    return false;
}

bool GetText(TPasCalc& calc, Params& p, TVar& r) {
    std::string key = Text(p[0].value);
    SceneBinding* scene = calc.Env().scene;
    r.value = Value::Str(scene ? scene->Translate(key) : std::string());
    return true;
}

bool Print(TPasCalc&, Params&, TVar& r) {
    r.value = Value::Byte(0);
    return true;
}

} // namespace

std::span<const NativeRow> VariableRows() {
    using enum WrongCount;
    static constexpr NativeRow kRows[] = {
        {"Exec", 56, 1, 1, Fail, &Exec},       {"GetVar", 57, 1, 1, Fail, &GetVar},
        {"SetVar", 58, 2, 2, Fail, &SetVar},   {"Decode", 59, 3, kUnbounded, Fail, &Decode},
        {"GetText", 87, 1, 1, Fail, &GetText}, {"Print", 90, 0, kUnbounded, Fail, &Print},
    };
    return kRows;
}

} // namespace kq::script::lib
