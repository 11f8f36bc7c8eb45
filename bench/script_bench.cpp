// Interpreter throughput: loops, script function calls, object paths and string building.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "script/pascalc.h"
#include "script/stdlib.h"

namespace {

using namespace kq::script;

// Root (1) with one child OBJ (2) that has an integer property X.
class BenchScene : public SceneBinding {
public:
    Handle Root() const override { return 1; }
    Handle Parent(Handle e) const override { return e == 2 ? 1 : 0; }
    bool IsElement(Handle e) const override { return e == 1 || e == 2; }
    bool GetProp(Handle e, std::string_view name, Value& out) override {
        if (e == 1 && name == "OBJ") {
            out = Value::LongWord(2);
            return true;
        }
        if (e == 2 && name == "X") {
            out = Value::Int(x);
            return true;
        }
        return false;
    }
    bool SetProp(Handle e, std::string_view name, const Value& value) override {
        if (e == 2 && name == "X") {
            ToInt32(value, x);
            return true;
        }
        return false;
    }
    std::string Describe(Handle) const override { return {}; }
    bool SaveErr() const override { return false; }
    int32_t x = 0;
};

// Runs a prepared script repeatedly; `linkEachRun` runs the source with Run instead, which
// scripts that declare routines need (routines live for one Run; compiling is cached).
void RunLoop(benchmark::State& state, const char* source, int64_t itemsPerRun,
             SceneBinding* scene = nullptr, bool linkEachRun = false) {
    ScriptEnv env;
    env.scene = scene;
    env.self = scene ? 1 : 0;
    TPasCalc calc(&env);
    RegisterLibrary(calc);
    PreparedScript script = calc.Prepare(source);
    for (auto _ : state) {
        calc.Variables().Clear();
        if (!(linkEachRun ? calc.Run(source) : calc.RunPrepared(script))) {
            state.SkipWithError(calc.ErrorMessage().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * itemsPerRun);
}

void BM_ForLoopSum(benchmark::State& state) {
    RunLoop(state, "S := 0; I := 0; FOR I := 1 TO 1000000 DO S := S + I", 1000000);
}
BENCHMARK(BM_ForLoopSum)->Unit(benchmark::kMillisecond);

void BM_ScriptFunctionCalls(benchmark::State& state) {
    RunLoop(state,
            "FUNCTION NEXT(X); BEGIN RESULT := X + 1 END;"
            "S := 0; I := 0; FOR I := 1 TO 10000 DO S := NEXT(S)",
            10000, nullptr, true);
}
BENCHMARK(BM_ScriptFunctionCalls)->Unit(benchmark::kMillisecond);

void BM_ObjectPathProperty(benchmark::State& state) {
    BenchScene scene;
    RunLoop(state, "I := 0; FOR I := 1 TO 100000 DO KQDB.OBJ.X := KQDB.OBJ.X + 1", 100000, &scene);
}
BENCHMARK(BM_ObjectPathProperty)->Unit(benchmark::kMillisecond);

void BM_StringConcatenation(benchmark::State& state) {
    RunLoop(state, "S := ''; I := 0; FOR I := 1 TO 10000 DO S := S + 'x' + IntToStr(MOD(I, 10))",
            10000);
}
BENCHMARK(BM_StringConcatenation)->Unit(benchmark::kMillisecond);

void BM_PrepareSource(benchmark::State& state) {
    TPasCalc calc;
    RegisterLibrary(calc);
    std::string source;
    for (int i = 0; i < 200; ++i) {
        source += "IF A" + std::to_string(i) + " > 0 THEN BEGIN B := B + 1; C := 'x' END;\n";
    }
    for (auto _ : state) {
        // Alternate sources so the compile cache does not answer.
        PreparedScript p = calc.Prepare(source + (state.iterations() % 2 ? " " : ""));
        benchmark::DoNotOptimize(p.code);
    }
}
BENCHMARK(BM_PrepareSource)->Unit(benchmark::kMicrosecond);

} // namespace
