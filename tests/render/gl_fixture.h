// Shared headless GL canvas for the picture tests, and comparison with reference PNGs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/gl_canvas.h"
#include "support/test_support.h"

namespace kq::test {

// The process-wide headless canvas, created on first use; nullptr when no GL context can be
// made here. It is never destroyed: unloading Mesa at exit leaves allocations the leak
// checker would blame on the test.
render::GlCanvas* SharedGlCanvas();

// Skips the running test when there is no GL canvas.
#define KQ_REQUIRE_GL(canvasVar)                                                                   \
    render::GlCanvas* canvasVar = ::kq::test::SharedGlCanvas();                                    \
    if (canvasVar == nullptr) {                                                                    \
        KQ_SKIP_MISSING() << "no OpenGL 3.3 context (SDL offscreen/EGL) available";                \
    }

// Compares ARGB pixels (rows top-down) with tests/fixtures/render/NAME.png: every channel of
// every pixel may differ by at most `tolerance`. The picture is also written to the build
// folder for inspection. With KQ_UPDATE_FIXTURES=1 in the environment the reference is
// (re)written instead.
::testing::AssertionResult MatchesReference(const std::string& name, int width, int height,
                                            const std::vector<uint32_t>& pixels, int tolerance = 2);

} // namespace kq::test
