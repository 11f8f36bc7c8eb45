// Shared helpers of the library's source files (not part of the public interface).
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "script/native_table.h"
#include "script/pascalc.h"

namespace kq::script::lib {

using Params = std::vector<TVar>;

// The rows of each family, beside their routines.
std::span<const NativeRow> StringRows();
std::span<const NativeRow> DateRows();
std::span<const NativeRow> MathRows();
std::span<const NativeRow> VariableRows();

// A conversion failure inside a routine: the call reports it after "Invalid parameters".
[[noreturn]] inline void Fail(const std::string& message) {
    throw std::runtime_error(message);
}

inline std::string Text(const Value& v) {
    std::string s;
    if (!ToText(v, s)) {
        Fail("Invalid variant type conversion");
    }
    return s;
}
inline double Float(const Value& v) {
    double d = 0;
    if (!ToDouble(v, d)) {
        Fail("Could not convert variant to type (Double)");
    }
    return d;
}
inline int64_t Integer(const Value& v) {
    int64_t i = 0;
    if (!ToInt64(v, i)) {
        Fail("Could not convert variant to type (Integer)");
    }
    return i;
}
inline int32_t Integer32(const Value& v) {
    int32_t i = 0;
    if (!ToInt32(v, i)) {
        Fail("Could not convert variant to type (Integer)");
    }
    return i;
}
// Converted to floating point and truncated toward zero.
inline int64_t Truncated(const Value& v) {
    double d = Float(v);
    if (!(d > -9.2e18 && d < 9.2e18)) {
        Fail("Invalid floating point operation");
    }
    return static_cast<int64_t>(d);
}
inline bool IsVar(const TVar& p) {
    return p.name == "VAR";
}

} // namespace kq::script::lib
