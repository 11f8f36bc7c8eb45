#include "render/gl_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/image_decode.h"
#include "render/png_writer.h"
#include "support/test_support.h"

// Mesa's software driver keeps a few allocations for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\nleak:libgallium\nleak:libEGL_mesa.so\nleak:libGLX_mesa.so\n";
}

namespace kq::test {

render::GlCanvas* SharedGlCanvas() {
    static render::GlCanvas* canvas = [] {
        // Stay honest about the GL version the player asks for.
        setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 0);
        setenv("MESA_GLSL_VERSION_OVERRIDE", "330", 0);
        render::GlCanvasOptions options;
        options.headless = true;
        return render::GlCanvas::Create(options).release();
    }();
    return canvas;
}

::testing::AssertionResult MatchesReference(const std::string& name, int width, int height,
                                            const std::vector<uint32_t>& pixels, int tolerance) {
    namespace fs = std::filesystem;
    const fs::path reference = fs::path(KQ_FIXTURES_DIR) / "render" / (name + ".png");
    const fs::path outDir = fs::path(KQ_BINARY_DIR) / "render_out";
    fs::create_directories(outDir);
    render::WritePngFile(outDir / (name + ".png"), width, height, pixels);

    const char* update = std::getenv("KQ_UPDATE_FIXTURES");
    if (update != nullptr && std::string(update) == "1") {
        fs::create_directories(reference.parent_path());
        if (!render::WritePngFile(reference, width, height, pixels)) {
            return ::testing::AssertionFailure() << "cannot write " << reference;
        }
        return ::testing::AssertionSuccess() << "reference written";
    }
    if (!fs::exists(reference)) {
        return ::testing::AssertionFailure()
               << "missing reference " << reference << " (run with KQ_UPDATE_FIXTURES=1)";
    }
    const media::DecodedPicture ref = media::DecodePng(ReadAll(reference), name);
    if (!ref || ref->width != width || ref->height != height) {
        return ::testing::AssertionFailure() << "reference " << reference << " unreadable or "
                                             << "of another size";
    }
    size_t bad = 0;
    size_t firstBad = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t a = pixels[i];
        const uint32_t b = ref->pixels[i];
        for (int shift = 0; shift < 32; shift += 8) {
            const int da = static_cast<int>((a >> shift) & 0xFF);
            const int db = static_cast<int>((b >> shift) & 0xFF);
            if (std::abs(da - db) > tolerance) {
                if (bad == 0) {
                    firstBad = i;
                }
                ++bad;
                break;
            }
        }
    }
    if (bad != 0) {
        std::ostringstream msg;
        msg << bad << " pixels differ from " << reference << "; first at (" << firstBad % width
            << ", " << firstBad / width << "): got " << std::hex << pixels[firstBad]
            << ", expected " << ref->pixels[firstBad] << "; output in " << outDir;
        return ::testing::AssertionFailure() << msg.str();
    }
    return ::testing::AssertionSuccess();
}

} // namespace kq::test
