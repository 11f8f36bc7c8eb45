// Composing a 512 x 512 masked layer on the GL back end, headless (llvmpipe on a machine
// without a GPU): per frame the mask is composed, then the layer, as the frame's compose step
// does. With a mask, a plain layer and a shape effect with the wave filter; without a mask
// (no read-back) for comparison; and the two read-backs alone, whose share of a Compose is
// what the layer pays for reading pixels.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "elements/classes.h"
#include "elements/shape.h"
#include "render/gl_canvas.h"
#include "scene/db.h"
#include "scene/render_targets.h"
#include "scene/runtime.h"

namespace {

using namespace kq;

constexpr int kSide = 512;

render::GlCanvas* SharedGl() {
    static render::GlCanvas* canvas = [] {
        setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 0);
        setenv("MESA_GLSL_VERSION_OVERRIDE", "330", 0);
        render::GlCanvasOptions options;
        options.headless = true;
        return render::GlCanvas::Create(options).release(); // lives until exit
    }();
    return canvas;
}

// A scene of two 512 x 512 masked layers, each holding a smaller masked layer as its content
// (so every Compose draws a quad into its target).
struct LayerScene {
    explicit LayerScene(render::Canvas& canvas, bool effect) {
        rt.canvas = &canvas;
        screen = rt.classes.CreateChild(db, "TKQScreen");
        mask = MakeShape("TKQShape", 1, *screen, kSide);
        MakeShape("TKQShape", 2, *mask, 200)->Compose();
        layer = MakeShape(effect ? "TKQShapeEff" : "TKQShape", 3, *screen, kSide);
        MakeShape("TKQShape", 4, *layer, 300)->Compose();
    }
    elements::TKQShape* MakeShape(const char* cls, int32_t key, scene::TKQElement& parent,
                                  int side) {
        auto* s = static_cast<elements::TKQShape*>(rt.classes.CreateChild(parent, cls));
        s->Key = key;
        s->SizeX = side;
        s->SizeY = side;
        s->Masked = true;
        s->rX = 20;
        s->rY = 30;
        return s;
    }
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};
    scene::TKQElement* screen = nullptr;
    elements::TKQShape* mask = nullptr;
    elements::TKQShape* layer = nullptr;
};

void RunCompose(benchmark::State& state, bool withMask, bool effect, bool filter) {
    render::GlCanvas* canvas = SharedGl();
    if (canvas == nullptr) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    LayerScene scene(*canvas, effect);
    scene.layer->SetObMask(withMask ? 1 : 0);
    if (filter) {
        auto& eff = static_cast<elements::TKQShapeEff&>(*scene.layer);
        eff.Filter = elements::TKQFilterType::flWave;
        eff.Par1 = 12;
        eff.Par2 = 12;
        eff.Par3 = 5;
    }
    const uint64_t readsBefore = scene.db.RenderTargets().ReadBacks();
    for (auto _ : state) {
        scene.mask->Compose();
        scene.layer->Compose();
        // Wait for the GPU, so that a layer without read-backs is timed with its drawing.
        benchmark::DoNotOptimize(canvas->ReadPixel(scene.layer->Target(), 0, 0));
    }
    state.counters["readbacks/frame"] =
        benchmark::Counter(static_cast<double>(scene.db.RenderTargets().ReadBacks() - readsBefore) /
                           static_cast<double>(state.iterations()));
}

void BM_ComposeMasked(benchmark::State& state) {
    RunCompose(state, true, false, false);
}
void BM_ComposeMaskedEffect(benchmark::State& state) {
    RunCompose(state, true, true, false);
}
void BM_ComposeMaskedEffectWave(benchmark::State& state) {
    RunCompose(state, true, true, true);
}
void BM_ComposeWithoutMask(benchmark::State& state) {
    RunCompose(state, false, false, false);
}
BENCHMARK(BM_ComposeMasked)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeMaskedEffect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeMaskedEffectWave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeWithoutMask)->Unit(benchmark::kMillisecond);

// The read-backs of one masked Compose alone: the mask's and the layer's 512 x 512 targets,
// each drawn into first so that the driver really reads.
void BM_ReadBackTwoTargets(benchmark::State& state) {
    render::GlCanvas* canvas = SharedGl();
    if (canvas == nullptr) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    const render::TextureId a = canvas->CreateRenderTarget(kSide, kSide);
    const render::TextureId b = canvas->CreateRenderTarget(kSide, kSide);
    uint32_t colour = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (render::TextureId t : {a, b}) {
            canvas->BeginTarget(t);
            canvas->Clear(0xFF000000u | ++colour);
            canvas->EndTarget();
        }
        benchmark::DoNotOptimize(canvas->ReadPixel(b, 0, 0));
        state.ResumeTiming();
        benchmark::DoNotOptimize(canvas->ReadPixels(a).data());
        benchmark::DoNotOptimize(canvas->ReadPixels(b).data());
    }
    canvas->FreeTexture(a);
    canvas->FreeTexture(b);
}
BENCHMARK(BM_ReadBackTwoTargets)->Unit(benchmark::kMillisecond);

} // namespace
