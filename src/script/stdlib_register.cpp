// Registration of the library in its fixed order.
#include <mutex>

#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script {

const std::vector<std::string_view>& LibraryOrder() {
    static const std::vector<std::string_view> kOrder = {
        "Val",
        "Char",
        "IntToStr",
        "StrToInt",
        "FloatToStr",
        "StrToFloat",
        "Copy",
        "Poss",
        "Length",
        "DelLastChar",
        "Insert",
        "Delete",
        "Trim",
        "TrimLeft",
        "TrimRight",
        "UpperCase",
        "LowerCase",
        "Format",
        "Now",
        "Date",
        "Time",
        "DateToStr",
        "StrToDate",
        "TimeToStr",
        "StrToTime",
        "FormatDateTime",
        "DayOfWeek",
        "IncMonth",
        "DecodeDate",
        "DecodeTime",
        "EncodeDate",
        "EncodeTime",
        "Abs",
        "Int",
        "Frac",
        "Round",
        "Ceil",
        "Floor",
        "Trunc",
        "Sin",
        "Sign",
        "Cos",
        "Tan",
        "ArcSin",
        "ArcCos",
        "ArcTan",
        "Exp",
        "Ln",
        "IntPower",
        "Sqr",
        "Sqrt",
        "Inc",
        "Dec",
        "Min",
        "Max",
        "Exec",
        "GetVar",
        "SetVar",
        "Decode",
        "YearDays",
        "YearFrac",
        "Mod",
        "Div",
        "ListAdd",
        "ListDel",
        "AnimStart",
        "AnimStop",
        "AnimBreak",
        "AnimPlay",
        "Update",
        "Process",
        "Render",
        "AddFilter",
        "MsDown",
        "MsMove",
        "Init",
        "Show",
        "SetFocus",
        "SetScreen",
        "FastSetScreen",
        "FastSetScreenNS",
        "Random",
        "GetAlpha",
        "GetPixel",
        "MoveTo",
        "ProcEf",
        "GetText",
        "GoToURL",
        "LoadIm",
        "Print",
        "EndLoadIm",
        "SaveState",
        "LoadState",
        "TimerReset",
        "GetIni",
        "SetIni",
        "DelFile",
        "ToFront",
        "PlaySnd",
        "PlayMuz",
        "StopMuz",
        "ExitGame",
        "AddStar",
        "ImStarsR",
    };
    return kOrder;
}

namespace {

const lib::Table& ScriptTable() {
    static const lib::Table kTable = [] {
        lib::Table t;
        lib::AddStringFunctions(t);
        lib::AddDateFunctions(t);
        lib::AddMathFunctions(t);
        lib::AddVariableFunctions(t);
        return t;
    }();
    return kTable;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return out;
}

} // namespace

NativeRoutine ScriptLibraryRoutine(std::string_view name) {
    const lib::Table& table = ScriptTable();
    auto it = table.find(Upper(name));
    return it == table.end() ? NativeRoutine() : it->second;
}

void RegisterLibrary(
    TPasCalc& calc, const EngineProvider& engine,
    const std::vector<std::pair<std::string_view, NativeRoutine>>& titleProcedures) {
    for (std::string_view name : LibraryOrder()) {
        NativeRoutine routine = ScriptLibraryRoutine(name);
        if (!routine && engine) {
            routine = engine(name);
        }
        if (routine) {
            calc.SetFunction(name, std::move(routine));
        }
    }
    for (const auto& [name, routine] : titleProcedures) {
        if (routine) {
            calc.SetFunction(name, routine);
        }
    }
}

} // namespace kq::script
