// The list of compiled-in title packs and their registration.
#include "scriptlib/title_packs.h"
#include "scriptlib/engine_internal.h"

namespace kq::script::library {

// Each pack's table, defined in the pack's own source file.
std::span<const TitleProcedure> StarProcedures(); // title_stars.cpp

std::span<const TitlePack> TitlePacks() {
    // One row per title pack; its procedures are registered in this order.
    static constexpr TitlePack kPacks[] = {
        {"stars", &StarProcedures},
    };
    return kPacks;
}

NamedRoutines TitleProcedures(scene::ScriptRuntime& scripts, scene::Runtime& rt) {
    const EngineContext ctx{scripts, rt};
    NamedRoutines routines;
    for (const TitlePack& pack : TitlePacks()) {
        for (const TitleProcedure& procedure : pack.procedures()) {
            routines.emplace_back(procedure.name, [ctx, routine = procedure.routine](
                                                      TPasCalc& calc, Params& p, TVar& r) {
                return routine(ctx, calc, p, r);
            });
        }
    }
    return routines;
}

NamedRoutines SceneLessTitleProcedures() {
    NamedRoutines routines;
    for (const TitlePack& pack : TitlePacks()) {
        for (const TitleProcedure& procedure : pack.procedures()) {
            routines.emplace_back(procedure.name, [](TPasCalc&, Params&, TVar&) { return true; });
        }
    }
    return routines;
}

void RegisterGameLibrary(TPasCalc& calc, scene::ScriptRuntime& scripts, scene::Runtime& rt) {
    RegisterLibrary(calc, EngineFunctions(scripts, rt), TitleProcedures(scripts, rt));
}

} // namespace kq::script::library
