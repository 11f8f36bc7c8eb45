// Saved-state speed: saving and restoring a scene of about 2,000 elements, each screen and
// picture carrying a few script variables. The save includes flushing the file to the disk.
#include "elements/classes.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/script_host.h"
#include "script/value.h"
#include "script/var_list.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <unistd.h>

namespace {

using namespace kq;

// Every element whose exInit is set gets the same four variables.
struct VarsHost : scene::ScriptHost {
    script::PreparedScript Prepare(const std::string& text) override { return {text, nullptr}; }
    void RunScript(scene::TKQElement& self, const scene::ScriptText&, std::string_view,
                   script::TVarList* vars) override {
        if (!vars) {
            return;
        }
        vars->Put("VISITED", script::Value::Bool(true));
        vars->Put("COUNT", script::Value::Int(self.Key));
        vars->Put("SPEED", script::Value::Double(self.Key * 0.25));
        vars->Put("NAME", script::Value::Str(self.Id));
    }
};

// 10 screens of 100 images, each image with a text child: 2,011 elements with the root.
struct BenchScene {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kqbench-state-" + std::to_string(::getpid()));
    VarsHost host;
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};

    BenchScene() {
        rt.scripts = &host;
        rt.dataDir = folder.string();
        db.Id = "Bench";
        for (int s = 0; s < 10; ++s) {
            scene::TKQElement* screen = rt.classes.CreateChild(db, "TKQScreen");
            screen->Id = "Screen" + std::to_string(s);
            screen->AssignNewKey();
            screen->SetScript(scene::ScriptSlot::Init, "vars");
            for (int i = 0; i < 100; ++i) {
                scene::TKQElement* image = rt.classes.CreateChild(*screen, "TKQImage");
                image->Id = "Image" + std::to_string(i);
                image->AssignNewKey();
                image->SetScript(scene::ScriptSlot::Init, "vars");
                image->rX = i * 3.5;
                image->Tag = "tag";
                scene::TKQElement* text = rt.classes.CreateChild(*image, "TKQText");
                text->Id = "Label";
                text->AssignNewKey();
            }
        }
        db.InitPr();
        db.SetFileRS("bench.sav");
    }
    ~BenchScene() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

void BM_SaveState2k(benchmark::State& state) {
    BenchScene scene;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scene.db.SaveState());
    }
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(scene.db.StateFilePath()));
}
BENCHMARK(BM_SaveState2k)->Unit(benchmark::kMillisecond);

void BM_LoadState2k(benchmark::State& state) {
    BenchScene scene;
    scene.db.SaveState();
    for (auto _ : state) {
        benchmark::DoNotOptimize(scene.db.LoadState());
    }
}
BENCHMARK(BM_LoadState2k)->Unit(benchmark::kMillisecond);

// Quiet the per-save and per-load log lines while measuring.
const bool kQuiet = [] {
    spdlog::set_level(spdlog::level::warn);
    return true;
}();

} // namespace
