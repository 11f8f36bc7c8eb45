// Scene loading speed: reading a serialized scene of 20,000 elements into a fresh tree.
#include "elements/classes.h"
#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"

#include <benchmark/benchmark.h>

namespace {

using namespace kq;

// 100 screens of 133 images, every other one with a text child: about 20,000 elements.
std::string BuildScene(int screens, int imagesPerScreen) {
    scene::Runtime rt(elements::ElementClasses());
    scene::TKQDB db(rt);
    for (int s = 0; s < screens; ++s) {
        auto* screen = rt.classes.CreateChild(db, "TKQScreen");
        screen->Id = "Screen" + std::to_string(s);
        screen->SetScript(scene::ScriptSlot::Init, "Count := 0;");
        for (int i = 0; i < imagesPerScreen; ++i) {
            auto* image = rt.classes.CreateChild(*screen, "TKQImage");
            image->Id = "Image" + std::to_string(i);
            image->SetScript(scene::ScriptSlot::MouseDown, "SetScreen(KQDB.Screen1);");
            image->rX = i * 3.5;
            image->SetOrder(i % 4);
            if (i % 2 == 0) {
                rt.classes.CreateChild(*image, "TKQText")->Id = "Label";
            }
        }
    }
    return scene::SaveElementBlob(db);
}

int CountElements(const scene::TKQElement& e) {
    int n = 1;
    for (const auto& child : e.Children()) {
        n += CountElements(*child);
    }
    return n;
}

void BM_LoadScene20k(benchmark::State& state) {
    const std::string blob = BuildScene(100, 133);
    int elements = 0;
    for (auto _ : state) {
        scene::Runtime rt(elements::ElementClasses());
        scene::TKQDB db(rt);
        if (!db.LoadSceneBlob(blob)) {
            state.SkipWithError("the scene did not load");
            break;
        }
        elements = CountElements(db);
        benchmark::DoNotOptimize(elements);
    }
    state.counters["elements"] = elements;
    state.counters["bytes"] = static_cast<double>(blob.size());
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(elements),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadScene20k)->Unit(benchmark::kMillisecond);

} // namespace
