// Keyframe animation: rebuilding the frame table of an animation of 20 keys x 10 images with
// Count 29 (600 frames, 6,000 records), with straight moves and with splines, and one
// processing step plus the drawing of the current frame for 50 such animations on the
// recording canvas.
#include "elements/animation.h"
#include "elements/classes.h"
#include "elements/image.h"
#include "media/game_files.h"
#include "media/image_decode.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

using namespace kq;

constexpr int kKeys = 20;
constexpr int kImages = 10;
constexpr uint16_t kCount = 29;

// A runtime with ten small pictures in a temporary game folder.
struct World {
    World() {
        spdlog::set_level(spdlog::level::warn);
        dir = std::filesystem::temp_directory_path() / ("kqbench-anim-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        for (int i = 0; i < kImages; ++i) {
            media::Picture p;
            p.width = 32;
            p.height = 48;
            p.bitsPerPixel = 32;
            p.pixels.assign(32 * 48, 0xFF000000u | static_cast<uint32_t>(i * 0x101010));
            const std::string bytes = media::EncodePng(p);
            std::ofstream out(dir / ("p" + std::to_string(i) + ".png"), std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        files = std::make_unique<media::GameFiles>(dir);
        images = std::make_unique<render::ImageService>(*files, canvas, [] { return 0u; });
        images->SetLoadImagesNow(true);
        rt.canvas = &canvas;
        rt.images = images.get();
    }
    ~World() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    elements::TKQAnim& MakeAnim(bool splines) {
        auto& anim = *static_cast<elements::TKQAnim*>(rt.classes.CreateChild(db, "TKQAnim"));
        anim.Interpol = splines;
        anim.ShowAn = true;
        anim.Rep = true;
        for (int k = 0; k < kKeys; ++k) {
            auto& key = *static_cast<elements::TKQAnKey*>(rt.classes.CreateChild(anim, "TKQAnKey"));
            key.Count = kCount;
            for (int i = 0; i < kImages; ++i) {
                auto& im =
                    *static_cast<elements::TKQImage*>(rt.classes.CreateChild(key, "TKQImage"));
                im.Id = "im" + std::to_string(i);
                im.SetImImage("p" + std::to_string(i) + ".png");
                im.SetX(i * 40 + (k * 7) % 50);
                im.SetY(100 + (k * k * 3) % 200);
                im.SetAngle(k * 5.0);
                im.SetScale(1.0 + 0.05 * (k % 4));
            }
        }
        anim.Rebuild();
        return anim;
    }

    std::filesystem::path dir;
    render::RecordingCanvas canvas;
    std::unique_ptr<media::GameFiles> files;
    std::unique_ptr<render::ImageService> images;
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};
};

size_t RecordCount(const elements::TKQAnim& anim) {
    size_t total = 0;
    for (int32_t f = 0; f < anim.FrameCount(); ++f) {
        size_t n = 0;
        anim.FrameRecords(f, n);
        total += n;
    }
    return total;
}

void Rebuild(benchmark::State& state, bool splines) {
    World world;
    elements::TKQAnim& anim = world.MakeAnim(splines);
    for (auto _ : state) {
        anim.Rebuild();
        benchmark::DoNotOptimize(anim.FrameCount());
    }
    state.counters["frames"] = anim.FrameCount();
    state.counters["records"] = static_cast<double>(RecordCount(anim));
}

void BM_RebuildLinear(benchmark::State& state) {
    Rebuild(state, false);
}
BENCHMARK(BM_RebuildLinear)->Unit(benchmark::kMicrosecond);

void BM_RebuildSplines(benchmark::State& state) {
    Rebuild(state, true);
}
BENCHMARK(BM_RebuildSplines)->Unit(benchmark::kMicrosecond);

void BM_StepAndDraw50(benchmark::State& state) {
    World world;
    std::vector<elements::TKQAnim*> anims;
    for (int i = 0; i < 50; ++i) {
        elements::TKQAnim& a = world.MakeAnim(true);
        a.Active = true;
        a.Pos = i * 11;
        anims.push_back(&a);
    }
    for (auto _ : state) {
        world.canvas.ClearCalls();
        for (elements::TKQAnim* a : anims) {
            a->Process();
            a->DrawFrame(a->Pos, 0xFFFFFFFFu, 10, 10);
        }
        benchmark::DoNotOptimize(world.canvas.Calls().size());
    }
    state.counters["draws"] = static_cast<double>(world.canvas.Calls().size());
}
BENCHMARK(BM_StepAndDraw50)->Unit(benchmark::kMicrosecond);

} // namespace
