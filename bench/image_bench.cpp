// Image decoding and upload: a 1024x768 JPEG, a 1024x768 PNG with alpha, the texture upload
// through the recording canvas and (when a headless GL context can be made) the GL canvas, and
// a whole image-service load.
#include "media/game_files.h"
#include "media/image_decode.h"
#include "render/gl_canvas.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <memory>

namespace {

using kq::media::Picture;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// A picture with gradients, a soft edge in alpha and some texture, so that the encoders have
// real work (a flat picture would compress to nothing).
Picture TestPicture() {
    Picture p;
    p.width = kWidth;
    p.height = kHeight;
    p.bitsPerPixel = 32;
    p.pixels.resize(static_cast<size_t>(kWidth) * kHeight);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            const uint32_t r = static_cast<uint32_t>(x * 255 / kWidth);
            const uint32_t g = static_cast<uint32_t>(y * 255 / kHeight);
            const uint32_t b = ((x ^ y) & 0x3F) + ((noise >> 16) & 0x1F);
            const int dx = x - kWidth / 2, dy = y - kHeight / 2;
            const int d = dx * dx + dy * dy;
            const uint32_t a = d < 300 * 300 ? 255u : d > 360 * 360 ? 0u : 128u;
            p.pixels[static_cast<size_t>(y) * kWidth + x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return p;
}

std::string EncodeJpeg(const Picture& p, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(p.width);
    cinfo.image_height = static_cast<JDIMENSION>(p.height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(
            p.pixels.data() + static_cast<size_t>(cinfo.next_scanline) * p.width));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

const Picture& SharedPicture() {
    static const Picture picture = TestPicture();
    return picture;
}

const std::string& JpegBytes() {
    static const std::string bytes = EncodeJpeg(SharedPicture(), 90);
    return bytes;
}

const std::string& PngBytes() {
    static const std::string bytes = kq::media::EncodePng(SharedPicture());
    return bytes;
}

void BM_DecodeJpeg1024x768(benchmark::State& state) {
    const std::string& data = JpegBytes();
    for (auto _ : state) {
        auto p = kq::media::DecodeJpeg(data);
        if (!p) {
            state.SkipWithError("decode failed");
        }
        benchmark::DoNotOptimize(p);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
    state.counters["file_kb"] = static_cast<double>(data.size()) / 1024.0;
}
BENCHMARK(BM_DecodeJpeg1024x768)->Unit(benchmark::kMillisecond);

void BM_DecodePngAlpha1024x768(benchmark::State& state) {
    const std::string& data = PngBytes();
    for (auto _ : state) {
        auto p = kq::media::DecodePng(data);
        if (!p || !p->HasAlpha()) {
            state.SkipWithError("decode failed");
        }
        benchmark::DoNotOptimize(p);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
    state.counters["file_kb"] = static_cast<double>(data.size()) / 1024.0;
}
BENCHMARK(BM_DecodePngAlpha1024x768)->Unit(benchmark::kMillisecond);

void BM_OpaqueBounds1024x768(benchmark::State& state) {
    const Picture& p = SharedPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(kq::media::OpaqueBounds(p));
    }
}
BENCHMARK(BM_OpaqueBounds1024x768)->Unit(benchmark::kMicrosecond);

void Upload(benchmark::State& state, kq::render::Canvas& canvas) {
    const Picture& p = SharedPicture();
    for (auto _ : state) {
        const kq::render::TextureId id = canvas.CreateTexture(p.width, p.height, p.pixels);
        if (id == kq::render::kNoTexture) {
            state.SkipWithError("upload failed");
        }
        canvas.Flush();
        canvas.FreeTexture(id);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}

void BM_UploadRecording1024x768(benchmark::State& state) {
    kq::render::RecordingCanvas canvas;
    Upload(state, canvas);
}
BENCHMARK(BM_UploadRecording1024x768)->Unit(benchmark::kMillisecond);

void BM_UploadGl1024x768(benchmark::State& state) {
    kq::render::GlCanvasOptions options;
    options.headless = true;
    options.vsync = false;
    static std::unique_ptr<kq::render::GlCanvas> canvas = kq::render::GlCanvas::Create(options);
    if (!canvas) {
        state.SkipWithError("no headless GL context");
        for (auto _ : state) {
        }
        return;
    }
    Upload(state, *canvas);
}
BENCHMARK(BM_UploadGl1024x768)->Unit(benchmark::kMillisecond);

// The whole service path for one file: read, decode, bounds, upload, release.
void ServiceLoad(benchmark::State& state, const std::string& fileName, const std::string& bytes) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kqbench-image-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / fileName, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    kq::media::GameFiles files(dir);
    kq::render::RecordingCanvas canvas;
    kq::render::ImageService service(files, canvas, [] { return 0u; });
    service.SetLoadImagesNow(true);
    for (auto _ : state) {
        kq::render::TKQIm& entry = service.LoadImage(fileName, false);
        if (!entry.image) {
            state.SkipWithError("load failed");
        }
        service.Release(entry);
    }
    std::filesystem::remove_all(dir);
}

void BM_ServiceLoadJpeg(benchmark::State& state) {
    ServiceLoad(state, "photo.jpg", JpegBytes());
}
BENCHMARK(BM_ServiceLoadJpeg)->Unit(benchmark::kMillisecond);

void BM_ServiceLoadPng(benchmark::State& state) {
    ServiceLoad(state, "sprite.png", PngBytes());
}
BENCHMARK(BM_ServiceLoadPng)->Unit(benchmark::kMillisecond);

// Quiet the per-load log lines of the library while measuring.
const bool kQuiet = [] {
    spdlog::set_level(spdlog::level::warn);
    return true;
}();

} // namespace
