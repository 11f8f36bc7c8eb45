// Native routines declared as table rows.
//
// Every native routine of the library is a named function registered from a row that says how
// many arguments it takes and what a call with another count does, so those rules are data
// that one test checks for every row:
//
//     {"Copy", 7, 3, 3, WrongCount::Fail, &Copy},
//     {"Update", 70, 1, kUnbounded, WrongCount::EmptyResult, &Update},
//
// `place` is the name's 1-based place in the library's fixed registration order; rows of
// different tables (the general functions here, the engine functions above the scene) are
// merged by it. A row whose routine is null keeps the place of a name that is not built yet:
// it is listed in the order but not registered.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "script/pascalc.h"

namespace kq::script {

// What a call does when its argument count is outside the row's bounds.
enum class WrongCount {
    Fail,        // the call fails: "Invalid parameters, function NAME"
    ByteZero,    // nothing is done; the call succeeds with the procedures' result Byte 0
    EmptyResult, // nothing is done; the call succeeds and its result stays empty
};

// A maximum meaning "any number from the minimum on".
inline constexpr int kUnbounded = -1;

template <class Routine> struct NativeRowOf {
    std::string_view name; // as the order lists it; scripts may write it in any case
    int place;             // 1-based place in the library's registration order
    int minArgs;
    int maxArgs; // kUnbounded: no upper bound
    WrongCount wrongCount;
    Routine routine; // null: not built yet, the place is kept

    bool AcceptsCount(size_t count) const {
        return count >= static_cast<size_t>(minArgs) &&
               (maxArgs == kUnbounded || count <= static_cast<size_t>(maxArgs));
    }
};

// A routine of the general library: it needs nothing but the interpreter.
using NativeFunction = bool (*)(TPasCalc& calc, std::vector<TVar>& params, TVar& result);
using NativeRow = NativeRowOf<NativeFunction>;

// What a call with a wrong count returns under `rule`, with the result it leaves.
bool RejectCount(WrongCount rule, TVar& result);

// `routine` behind the count check of a row's bounds and rule.
template <class Row> NativeRoutine CountChecked(const Row& row, NativeRoutine routine) {
    return [min = row.minArgs, max = row.maxArgs, rule = row.wrongCount,
            routine = std::move(routine)](TPasCalc& calc, std::vector<TVar>& p, TVar& r) {
        const bool fits = p.size() >= static_cast<size_t>(min) &&
                          (max == kUnbounded || p.size() <= static_cast<size_t>(max));
        return fits ? routine(calc, p, r) : RejectCount(rule, r);
    };
}

// One name ready to register: its place in the order and its count-checked routine.
struct LibraryEntry {
    std::string_view name;
    int place = 0;
    NativeRoutine routine;
};

// The rows of the general library (conversions and strings, dates and times, mathematics,
// variables and scripts), in their order.
std::span<const NativeRow> GeneralRows();

// A general row made ready to register (its routine wrapped in the count check).
LibraryEntry GeneralEntry(const NativeRow& row);

} // namespace kq::script
