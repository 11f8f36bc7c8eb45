// The shape-effect pixel filters on a 512x512 picture, each through the same entry point a
// shape effect uses. Besides the time per application every run reports "ms" (milliseconds per
// application) and "x_copy": the time as a multiple of one plain copy (memcpy) of the same
// buffer, measured in the same process, so the numbers compare across machines. The kernels,
// blurs, soften, tables, grey, shift and mosaic aim at 20 copies or less; noise, the waves and
// the lens are reported only.
#include "media/shape_filter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

namespace {

constexpr int kSide = 512;
constexpr size_t kPixels = static_cast<size_t>(kSide) * kSide;

// Times are the thread's CPU time, like the benchmark library's own "CPU" column, so that other
// work on a busy machine does not count.
struct Clock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Clock, duration>;
    static time_point now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec));
    }
};

// Milliseconds of one memcpy of the picture: the best of several batches, with the buffers
// already in cache (as the filters find them).
double CopyMilliseconds() {
    static const double ms = [] {
        std::vector<uint32_t> a(kPixels, 0x12345678u), b(kPixels);
        constexpr int kBatch = 200;
        double best = 1e9;
        for (int round = 0; round < 10; ++round) {
            const auto start = Clock::now();
            for (int i = 0; i < kBatch; ++i) {
                std::memcpy(b.data(), a.data(), kPixels * 4);
                benchmark::DoNotOptimize(b.data());
                benchmark::ClobberMemory();
            }
            const std::chrono::duration<double, std::milli> took = Clock::now() - start;
            best = std::min(best, took.count() / kBatch);
        }
        return best;
    }();
    return ms;
}

// Gradients with some texture and a varied alpha, so that tables, clamps and noise see real
// values.
void FillPicture(kq::media::TFastDIB& dib) {
    std::mt19937 rng(1);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const uint32_t r = static_cast<uint32_t>(x / 2);
            const uint32_t g = static_cast<uint32_t>(y / 2);
            const uint32_t b = ((x ^ y) & 0x7F) + (rng() & 0x3F);
            const uint32_t a = (x + y) & 0xFF;
            dib.Words()[static_cast<size_t>(y) * kSide + x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
}

void Report(benchmark::State& state, Clock::time_point start) {
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    const double ms = took.count() / static_cast<double>(state.iterations());
    state.counters["ms"] = ms;
    state.counters["x_copy"] = ms / CopyMilliseconds();
}

void BM_Copy(benchmark::State& state) {
    std::vector<uint32_t> a(kPixels, 0x12345678u), b(kPixels);
    CopyMilliseconds();
    const auto start = Clock::now();
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), kPixels * 4);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    Report(state, start);
}
BENCHMARK(BM_Copy);

// Args: filter value. The filters run over their own previous result, which costs the same
// as a fresh picture for every filter here (none of them depends on the colours for speed).
void BM_Filter(benchmark::State& state) {
    const int32_t filter = static_cast<int32_t>(state.range(0));
    struct Params {
        double p1, p2, p3;
    };
    static const Params kParams[kq::media::kFilterCount] = {
        {0, 0, 0},      {20, 30, 8}, {1, 0, 0},   {0, 0, 0},   {17, 9, 0}, {8, 8, 0},
        {1, 0, 0},      {2, 0, 0},   {1, 0, 0},   {1, 0, 0},   {0, 0, 0},  {40, 0, 0},
        {40, -30, 100}, {2, 3, 1},   {25, 35, 6}, {1.5, 0, 0},
    };
    const Params p = kParams[filter];
    kq::media::ShapeFilterBuffers buffers;
    FillPicture(buffers.Work(kSide, kSide));
    std::mt19937 random(0);
    CopyMilliseconds();
    if (!buffers.Apply(filter, p.p1, p.p2, p.p3, random)) {
        state.SkipWithError("the filter did not run");
    }
    const auto start = Clock::now();
    for (auto _ : state) {
        buffers.Apply(filter, p.p1, p.p2, p.p3, random);
        benchmark::ClobberMemory();
    }
    Report(state, start);
    state.SetLabel(std::string(kq::media::FilterName(filter)));
}
BENCHMARK(BM_Filter)->DenseRange(1, kq::media::kFilterCount - 1)->Unit(benchmark::kMillisecond);

} // namespace
