// Helpers for the image tests: fixture bytes and hand-built BMP files.
#pragma once

#include "media/image_decode.h"
#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kq::test {

// A 32-bit PNG of w x h filled by f(x, y) (ARGB).
template <typename F> std::string MakePng(int w, int h, F f) {
    media::Picture p;
    p.width = w;
    p.height = h;
    p.bitsPerPixel = 32;
    p.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p.pixels[static_cast<size_t>(y) * w + x] = f(x, y);
        }
    }
    return media::EncodePng(p);
}

inline std::string ImageFixture(const std::string& name) {
    return ReadAll(std::filesystem::path(KQ_FIXTURES_DIR) / "images" / name);
}

// An uncompressed BMP with a 40-byte header. bits 8 takes a palette (ARGB words, alpha ignored)
// and one index per pixel; bits 24 and 32 take ARGB pixels. Rows are given top to bottom and
// written bottom-up unless topDown.
inline std::string MakeBmp(int width, int height, int bits, const std::vector<uint32_t>& palette,
                           const std::vector<uint32_t>& pixels, bool topDown = false) {
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    std::string rows;
    for (int r = 0; r < height; ++r) {
        int y = topDown ? r : height - 1 - r;
        std::string row;
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            if (bits == 8) {
                row.push_back(static_cast<char>(p));
            } else {
                row.push_back(static_cast<char>(p & 0xFF));
                row.push_back(static_cast<char>((p >> 8) & 0xFF));
                row.push_back(static_cast<char>((p >> 16) & 0xFF));
                if (bits == 32) {
                    row.push_back(static_cast<char>(p >> 24));
                }
            }
        }
        row.resize(stride, '\0');
        rows += row;
    }
    const uint32_t paletteBytes = static_cast<uint32_t>(palette.size() * 4);
    const uint32_t offset = 54 + paletteBytes;
    Bytes b;
    b.Raw("BM")
        .I32(static_cast<int32_t>(offset + rows.size()))
        .I32(0)
        .I32(static_cast<int32_t>(offset));
    b.I32(40).I32(width).I32(topDown ? -height : height).U16(1).U16(static_cast<uint16_t>(bits));
    b.I32(0).I32(static_cast<int32_t>(rows.size())).I32(2835).I32(2835);
    b.I32(static_cast<int32_t>(palette.size())).I32(0);
    for (uint32_t c : palette) {
        b.U8(c & 0xFF).U8((c >> 8) & 0xFF).U8((c >> 16) & 0xFF).U8(0);
    }
    b.Raw(rows);
    return b.Data();
}

// An 8-bit BMP whose palette maps index i to grey 255 - i, so that raw indices and colours
// differ; values are given top to bottom.
inline std::string MakeMaskBmp(int width, int height, const std::vector<uint8_t>& values) {
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t g = 255 - i;
        palette[i] = 0xFF000000u | (g << 16) | (g << 8) | g;
    }
    std::vector<uint32_t> pixels(values.begin(), values.end());
    return MakeBmp(width, height, 8, palette, pixels);
}

} // namespace kq::test
