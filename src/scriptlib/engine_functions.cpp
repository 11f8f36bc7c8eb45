// The engine rows: every engine function of the library with its place in the order, its
// argument bounds and what a wrong count does. Engine functions given too few arguments do
// nothing and succeed, so a script that addresses a missing element carries on.
#include "scriptlib/engine_functions.h"
#include "scriptlib/engine_internal.h"

#include "scene/db.h"
#include "scene/script_runtime.h"

#include <algorithm>

namespace kq::script::library {

scene::TKQDB* EngineContext::Root() const {
    scene::TKQElement* root = scripts.Resolve(scripts.Root());
    return root && root->Class() == scene::ClassId::DB ? static_cast<scene::TKQDB*>(root) : nullptr;
}

scene::TKQElement* EngineContext::Element(const Value& value) const {
    if (!value.IsHandle()) {
        return nullptr;
    }
    return rt.handles.Resolve(value.AsHandle());
}

scene::TKQElement* EngineContext::ElementArg(const Params& params, size_t index) const {
    return index < params.size() ? Element(params[index].value) : nullptr;
}

std::span<const EngineRow> EngineRows() {
    using enum WrongCount;
    // A null routine keeps the place of a function whose element family is not built yet.
    static constexpr EngineRow kRows[] = {
        {"ListAdd", 64, 2, kUnbounded, EmptyResult, &ListAdd},
        {"ListDel", 65, 2, kUnbounded, EmptyResult, &ListDel},
        {"AnimStart", 66, 1, kUnbounded, EmptyResult, &AnimStart},
        {"AnimStop", 67, 1, kUnbounded, EmptyResult, &AnimStop},
        {"AnimBreak", 68, 1, kUnbounded, EmptyResult, &AnimBreak},
        {"AnimPlay", 69, 1, kUnbounded, EmptyResult, &AnimPlay},
        {"Update", 70, 1, kUnbounded, EmptyResult, &Update},
        {"Process", 71, 1, kUnbounded, EmptyResult, &Process},
        {"Render", 72, 1, kUnbounded, EmptyResult, &Render},
        {"AddFilter", 73, 2, 5, EmptyResult, &AddFilter},
        {"MsDown", 74, 1, kUnbounded, EmptyResult, &MsDown},
        {"MsMove", 75, 1, kUnbounded, EmptyResult, &MsMove},
        {"Init", 76, 1, kUnbounded, EmptyResult, &Init},
        {"Show", 77, 1, kUnbounded, EmptyResult, &Show},
        {"SetFocus", 78, 1, kUnbounded, EmptyResult, &SetFocus},
        {"SetScreen", 79, 1, kUnbounded, EmptyResult, &SetScreen},
        {"FastSetScreen", 80, 1, kUnbounded, EmptyResult, &FastSetScreen},
        {"FastSetScreenNS", 81, 1, kUnbounded, EmptyResult, &FastSetScreenNS},
        {"GetAlpha", 83, 3, 3, EmptyResult, &GetAlpha},
        {"GetPixel", 84, 3, 3, EmptyResult, &GetPixel},
        {"MoveTo", 85, 3, 3, ByteZero, &MoveTo},
        {"ProcEf", 86, 2, 2, ByteZero, &ProcEf},
        {"GoToURL", 88, 1, kUnbounded, ByteZero, &GoToURL},
        {"LoadIm", 89, 0, kUnbounded, EmptyResult, &LoadIm},
        {"EndLoadIm", 91, 0, kUnbounded, EmptyResult, &EndLoadIm},
        {"SaveState", 92, 0, kUnbounded, EmptyResult, &SaveState},
        {"LoadState", 93, 0, kUnbounded, EmptyResult, &LoadState},
        {"TimerReset", 94, 0, kUnbounded, EmptyResult, &TimerReset},
        {"GetIni", 95, 3, kUnbounded, Fail, &GetIni},
        {"SetIni", 96, 3, kUnbounded, Fail, &SetIni},
        {"DelFile", 97, 1, kUnbounded, ByteZero, &DelFile},
        {"ToFront", 98, 1, kUnbounded, EmptyResult, &ToFront},
        {"PlaySnd", 99, 1, kUnbounded, EmptyResult, &PlaySnd},
        {"PlayMuz", 100, 1, kUnbounded, EmptyResult, &PlayMuz},
        {"StopMuz", 101, 1, kUnbounded, EmptyResult, &StopMuz},
        {"ExitGame", 102, 0, kUnbounded, EmptyResult, &ExitGame},
        {"AddStar", 103, 8, 12, Fail, &AddStar},
        {"ImStarsR", 104, 10, 14, Fail, &ImStarsR},
    };
    return kRows;
}

std::vector<LibraryEntry> EngineFunctions(scene::ScriptRuntime& scripts, scene::Runtime& rt) {
    const EngineContext ctx{scripts, rt};
    std::vector<LibraryEntry> entries;
    for (const EngineRow& row : EngineRows()) {
        if (!row.routine) {
            continue;
        }
        NativeRoutine bound = [ctx, routine = row.routine](TPasCalc& calc, Params& p, TVar& r) {
            return routine(ctx, calc, p, r);
        };
        entries.push_back({row.name, row.place, CountChecked(row, std::move(bound))});
    }
    return entries;
}

std::vector<LibraryEntry> SceneLessEngineFunctions() {
    std::vector<LibraryEntry> entries;
    for (const EngineRow& row : EngineRows()) {
        entries.push_back({row.name, row.place, [](TPasCalc&, Params&, TVar&) { return true; }});
    }
    return entries;
}

std::vector<std::string_view> LibraryOrder() {
    std::vector<std::pair<int, std::string_view>> places;
    for (const NativeRow& row : GeneralRows()) {
        places.emplace_back(row.place, row.name);
    }
    for (const EngineRow& row : EngineRows()) {
        places.emplace_back(row.place, row.name);
    }
    std::stable_sort(places.begin(), places.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string_view> names;
    names.reserve(places.size());
    for (const auto& [place, name] : places) {
        names.push_back(name);
    }
    return names;
}

} // namespace kq::script::library
