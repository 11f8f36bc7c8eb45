// Submitting 10,000 textured quads through the canvas: the recording back end, and the GL back
// end headless (one texture, so batches fill; and alternating textures, a flush per quad).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "render/gl_canvas.h"
#include "render/recording_canvas.h"

namespace {

using namespace kq::render;

constexpr int kQuads = 10000;

std::vector<uint32_t> Pixels() {
    std::vector<uint32_t> px(64 * 64);
    for (size_t i = 0; i < px.size(); ++i) {
        px[i] = 0x80000000u | static_cast<uint32_t>(i * 2654435761u & 0xFFFFFF);
    }
    return px;
}

void SubmitQuads(Canvas& canvas, TextureId a, TextureId b) {
    QuadDraw quad;
    quad.blend = 0x504;
    for (int i = 0; i < kQuads; ++i) {
        const float x = static_cast<float>(i % 100) * 10.0f;
        const float y = static_cast<float>(i / 100) * 7.0f;
        quad.texture = (i & 1) != 0 ? b : a;
        quad.points = Canvas::Box(x, y, 32, 32);
        quad.colors[0] = 0xFFFFFFFFu - static_cast<uint32_t>(i & 0xFF);
        canvas.DrawQuad(quad);
    }
}

void BM_RecordingCanvas(benchmark::State& state) {
    RecordingCanvas canvas;
    const TextureId t = canvas.CreateTexture(64, 64, Pixels());
    for (auto _ : state) {
        canvas.ClearCalls();
        SubmitQuads(canvas, t, t);
        benchmark::DoNotOptimize(canvas.Calls().data());
    }
    state.SetItemsProcessed(state.iterations() * kQuads);
}
BENCHMARK(BM_RecordingCanvas)->Unit(benchmark::kMicrosecond);

GlCanvas* SharedGl() {
    static GlCanvas* canvas = [] {
        setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 0);
        setenv("MESA_GLSL_VERSION_OVERRIDE", "330", 0);
        GlCanvasOptions options;
        options.headless = true;
        return GlCanvas::Create(options).release(); // lives until exit
    }();
    return canvas;
}

// sync: wait for the GPU (a one-pixel read) so the figure includes rasterising.
void RunGl(benchmark::State& state, bool twoTextures, bool sync) {
    GlCanvas* canvas = SharedGl();
    if (canvas == nullptr) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    const TextureId a = canvas->CreateTexture(64, 64, Pixels());
    const TextureId b = twoTextures ? canvas->CreateTexture(64, 64, Pixels()) : a;
    canvas->ResetStats();
    for (auto _ : state) {
        canvas->BeginFrame();
        SubmitQuads(*canvas, a, b);
        canvas->EndFrame();
        if (sync) {
            benchmark::DoNotOptimize(canvas->ReadPixel(a, 0, 0));
        }
    }
    state.SetItemsProcessed(state.iterations() * kQuads);
    state.counters["flushes/frame"] =
        static_cast<double>(canvas->Stats().flushes) / static_cast<double>(state.iterations());
    canvas->FreeTexture(a);
    if (b != a) {
        canvas->FreeTexture(b);
    }
}

void BM_GlSubmitOneTexture(benchmark::State& state) {
    RunGl(state, false, false);
}
void BM_GlSubmitTwoTextures(benchmark::State& state) {
    RunGl(state, true, false);
}
void BM_GlFrameOneTextureSynced(benchmark::State& state) {
    RunGl(state, false, true);
}
BENCHMARK(BM_GlSubmitOneTexture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlSubmitTwoTextures)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlFrameOneTextureSynced)->Unit(benchmark::kMillisecond);

} // namespace
