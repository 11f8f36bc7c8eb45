// Helpers of the interpreter tests: run a script on a fresh interpreter and read variables.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "script/pascalc.h"
#include "script/stdlib.h"

namespace kq::script::test {

// An interpreter with the library registered and every log line collected.
struct Calc {
    ScriptEnv env;
    TPasCalc calc{&env};
    std::vector<std::string> lines;

    explicit Calc(bool withLibrary = true) {
        env.onLogLine = [this](std::string_view line) { lines.emplace_back(line); };
        if (withLibrary) {
            RegisterLibrary(calc);
        }
    }
    bool Run(std::string_view source) { return calc.Run(source); }
    // Value of a variable of the list; Empty kind with a failed expectation when missing.
    Value Var(std::string_view name) const {
        const TVar* v = calc.Variables().Lookup(name);
        EXPECT_NE(v, nullptr) << "no variable " << name;
        return v ? v->value : Value();
    }
    bool Has(std::string_view name) const { return calc.Variables().Lookup(name) != nullptr; }
    int Code() const { return calc.ErrorCode(); }
    const std::string& Message() const { return calc.ErrorMessage(); }
};

inline void ExpectInt(const Value& v, int64_t expected, VarKind kind = VarKind::Integer) {
    EXPECT_EQ(v.Kind(), kind) << KindName(v.Kind());
    EXPECT_EQ(v.RawInt(), expected);
}
inline void ExpectDouble(const Value& v, double expected) {
    EXPECT_EQ(v.Kind(), VarKind::Double) << KindName(v.Kind());
    EXPECT_DOUBLE_EQ(v.RawDouble(), expected);
}
inline void ExpectStr(const Value& v, std::string_view expected) {
    EXPECT_EQ(v.Kind(), VarKind::String) << KindName(v.Kind());
    EXPECT_EQ(v.RawStr(), expected);
}
inline void ExpectBool(const Value& v, bool expected) {
    EXPECT_EQ(v.Kind(), VarKind::Boolean) << KindName(v.Kind());
    EXPECT_EQ(v.RawInt() != 0, expected);
}

} // namespace kq::script::test
