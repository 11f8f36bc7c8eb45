// Particle systems: five systems of 5,000 live particles each, one processing step (Update and
// Draw through the recording canvas) per iteration. The goal is under 2 ms per step for the
// 25,000 particles; "ns_per_particle" is the step time divided by the live particles.
//
// The particles live long and move slowly under every force (gravity, radial, tangential,
// size, spin and colour changes), so they stay alive and on screen for the whole run and every
// step does the full work: no spawns once the systems are full, no culling.
//
// Stars: the root's full table of 5,001 stars, moved and drawn once per iteration, each
// growing so slowly that none dies during the run.
#include "media/particle_system.h"
#include "render/particle_drawing.h"
#include "render/recording_canvas.h"
#include "scene/stars.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace kq;

constexpr int kSystems = 5;
constexpr int kPerSystem = 5000;
constexpr float kStep = 1.0f / 30.0f;

media::ParticleParams BenchParams(int index) {
    media::ParticleParams p;
    p.blend = index % 2 == 0 ? 0x504 : 0x104;
    p.rate = 1e6f; // fills the capacity in one step
    p.duration = 1e6f;
    p.lifeMin = 1e5f, p.lifeMax = 2e5f;
    p.spread = 6.28f;
    p.speedMin = 0.1f, p.speedMax = 1.0f;
    p.weightMin = -0.01f, p.weightMax = 0.01f;
    p.radialMin = -0.01f, p.radialMax = 0.01f;
    p.tangentialMin = -0.01f, p.tangentialMax = 0.01f;
    p.sizeStart = 0.5f, p.sizeMiddle = 1.0f, p.sizeEnd = 0.2f, p.sizeVariation = 0.5f;
    p.spinStart = 0, p.spinMiddle = 3, p.spinEnd = 6, p.spinVariation = 0.5f;
    p.colorStart = 0xFFFF8000u, p.colorMiddle = 0x80FFFF00u, p.colorEnd = 0x00FF0000u;
    p.colorVariation = 0.5f, p.alphaVariation = 0.5f;
    p.middleFraction = 0.5f;
    p.firstPattern = 0, p.lastPattern = 3;
    return p;
}

// Thread CPU time, like the benchmark library's "CPU" column, so that other work on a busy
// machine does not count.
double CpuNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

struct Scene {
    render::RecordingCanvas canvas;
    render::TextureId sheet = render::kNoTexture;
    std::mt19937 random{1};
    std::vector<std::unique_ptr<media::ParticleSystem>> systems;

    Scene() {
        const std::vector<uint32_t> pixels(64 * 64, 0xFFFFFFFFu);
        sheet = canvas.CreateTexture(64, 64, pixels);
        canvas.SetPatternLayout(sheet, 32, 32);
        for (int i = 0; i < kSystems; ++i) {
            auto system = std::make_unique<media::ParticleSystem>(kPerSystem);
            system->SetParams(BenchParams(i));
            system->SetRandom(media::UniformFrom(random));
            system->PlaceAt(150.0f + 180.0f * static_cast<float>(i), 384);
            system->Start();
            system->Update(kStep);
            systems.push_back(std::move(system));
        }
    }
    int64_t Live() const {
        int64_t live = 0;
        for (const auto& system : systems) {
            live += system->LiveCount();
        }
        return live;
    }
};

// Runs body once per iteration and reports the CPU nanoseconds per live particle.
template <typename Body> void Run(benchmark::State& state, Scene& scene, Body body) {
    if (scene.Live() != kSystems * kPerSystem) {
        state.SkipWithError("the systems are not full");
        return;
    }
    const double start = CpuNanoseconds();
    for (auto _ : state) {
        body();
    }
    const double took = CpuNanoseconds() - start;
    const int64_t live = scene.Live();
    if (live != kSystems * kPerSystem) {
        state.SkipWithError("particles died or left during the run");
        return;
    }
    state.SetItemsProcessed(state.iterations() * live);
    state.counters["ns_per_particle"] = took / static_cast<double>(state.iterations() * live);
}

// The goal: one processing step of the five systems, Update and Draw.
void BM_ParticleStep(benchmark::State& state) {
    Scene scene;
    Run(state, scene, [&] {
        scene.canvas.ClearCalls();
        for (auto& system : scene.systems) {
            system->Update(kStep);
            render::DrawParticles(scene.canvas, scene.sheet, *system, 0, 0, 0xFFFFFFFFu);
        }
        benchmark::DoNotOptimize(scene.canvas.Calls().data());
    });
    if (static_cast<int64_t>(scene.canvas.Calls().size()) != scene.Live()) {
        state.SkipWithError("not every particle was drawn");
    }
}
BENCHMARK(BM_ParticleStep)->Unit(benchmark::kMillisecond);

// The parts on their own: Update only, and Draw only (into the recording canvas).
void BM_ParticleUpdate(benchmark::State& state) {
    Scene scene;
    Run(state, scene, [&] {
        for (auto& system : scene.systems) {
            system->Update(kStep);
        }
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_ParticleUpdate)->Unit(benchmark::kMillisecond);

void BM_ParticleDraw(benchmark::State& state) {
    Scene scene;
    Run(state, scene, [&] {
        scene.canvas.ClearCalls();
        for (auto& system : scene.systems) {
            render::DrawParticles(scene.canvas, scene.sheet, *system, 0, 0, 0xFFFFFFFFu);
        }
        benchmark::DoNotOptimize(scene.canvas.Calls().data());
    });
}
BENCHMARK(BM_ParticleDraw)->Unit(benchmark::kMillisecond);

// The system's own share of drawing: the quads handed to a sink that only counts them.
void BM_ParticleQuads(benchmark::State& state) {
    struct Count : media::ParticleQuadSink {
        int64_t quads = 0;
        void Add(const media::ParticleQuad& quad) override { quads += quad.frame >= 0 ? 1 : 0; }
    };
    Scene scene;
    media::ParticleArea area;
    area.patternWidth = area.patternHeight = 32;
    Count sink;
    Run(state, scene, [&] {
        for (auto& system : scene.systems) {
            system->Draw(area, sink);
        }
        benchmark::DoNotOptimize(sink.quads);
    });
}
BENCHMARK(BM_ParticleQuads)->Unit(benchmark::kMillisecond);

// One processing step of a full star table: Process, then Render of the top layer.
void BM_StarStep(benchmark::State& state) {
    render::RecordingCanvas canvas;
    const std::vector<uint32_t> pixels(64 * 64, 0xFFFFFFFFu);
    const render::TextureId sheet = canvas.CreateTexture(64, 64, pixels);
    canvas.SetPatternLayout(sheet, 32, 32);
    scene::StarTable stars;
    for (int i = 0; i < scene::StarTable::kCapacity; ++i) {
        scene::Star star;
        star.pattern = i % 4;
        star.color = 0xFFC040;
        star.x = 10 + i % 1000, star.y = 10 + (i / 1000) * 100;
        star.size = 1.0, star.sizeSpeed = 1e-9;
        star.angleSpeed = 2.0, star.xSpeed = 1e-4, star.ySpeed = -1e-4;
        stars.Add(star);
    }
    if (stars.LiveCount() != scene::StarTable::kCapacity) {
        state.SkipWithError("the star table is not full");
        return;
    }
    const double start = CpuNanoseconds();
    for (auto _ : state) {
        canvas.ClearCalls();
        stars.Process();
        stars.Render(scene::kTopStarLayer, canvas, sheet);
        benchmark::DoNotOptimize(canvas.Calls().data());
    }
    const double took = CpuNanoseconds() - start;
    if (stars.LiveCount() != scene::StarTable::kCapacity ||
        static_cast<int>(canvas.Calls().size()) != scene::StarTable::kCapacity) {
        state.SkipWithError("stars died or were not drawn during the run");
        return;
    }
    state.SetItemsProcessed(state.iterations() * stars.LiveCount());
    state.counters["ns_per_star"] =
        took / static_cast<double>(state.iterations() * stars.LiveCount());
}
BENCHMARK(BM_StarStep)->Unit(benchmark::kMillisecond);

} // namespace
