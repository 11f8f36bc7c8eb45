// The native function library every interpreter of the pool is given.
//
// The library has a fixed registration order (103 names). The functions that only need the
// interpreter (conversions and strings, dates and times, mathematics, variables and scripts)
// live here in the script folder; the engine functions (screens, animations, sounds, saved
// state, settings ...) belong to the engine and are handed in by an EngineProvider when the
// instance is registered, so each still takes its own place in the order. Names for which
// neither side has a routine are skipped. The title procedures come after the library.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "script/pascalc.h"

namespace kq::script {

// Every library name in registration order.
const std::vector<std::string_view>& LibraryOrder();

// The routine of a script-side library function, or an empty routine for the engine's names.
NativeRoutine ScriptLibraryRoutine(std::string_view name);

// Gives the routine of an engine function by its name as written in LibraryOrder(); an empty
// routine when the engine has none (yet).
using EngineProvider = std::function<NativeRoutine(std::string_view name)>;

// Registers the library on one interpreter in its order. `titleProcedures` (name, routine)
// are registered after all of it.
void RegisterLibrary(
    TPasCalc& calc, const EngineProvider& engine = {},
    const std::vector<std::pair<std::string_view, NativeRoutine>>& titleProcedures = {});

// Date-time helpers of the library (days since 30 December 1899 plus the fraction of a day).
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int millisecond = 0);
struct DateParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0,
        dayOfWeek = 7; // 1 = Sunday
};
DateParts DecodeDateTime(double dateTime);

// Date and time formats (Delphi-style patterns) taken from the system locale; the C locale
// gives "mm/dd/yy" and "hh:nn:ss".
struct DateFormats {
    std::string shortDate;
    std::string longTime;
    char dateSeparator = '/';
    char timeSeparator = ':';
};
const DateFormats& SystemDateFormats();
// FormatDateTime with the pattern letters d, m, y, h, n, s, z, am/pm, c, t, ddddd, tt and
// quoted literals.
std::string FormatDateTimeText(std::string_view pattern, double dateTime);

} // namespace kq::script
