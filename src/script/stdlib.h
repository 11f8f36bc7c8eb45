// The native function library every interpreter of the pool is given.
//
// The library has a fixed registration order. The functions that only need the interpreter
// (conversions and strings, dates and times, mathematics, variables and scripts) are rows of
// the tables here in the script folder (native_table.h); the engine functions (screens,
// animations, sounds, saved state, settings ...) belong to the engine and are handed in as
// entries when the instance is registered, each at its own place in the order. The title
// procedures come after the library.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "script/native_table.h"
#include "script/pascalc.h"

namespace kq::script {

// Registers the library on one interpreter: the general rows and the `engine` entries (the
// engine functions, made above the scene) merged by their places in the order, then
// `titleProcedures` (name, routine) after all of it. Entries without a routine are skipped.
void RegisterLibrary(
    TPasCalc& calc, const std::vector<LibraryEntry>& engine = {},
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
