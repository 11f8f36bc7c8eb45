// Decoded pictures and the pixel operations the image service applies to them.
//
// A Picture is what every decoder produces: width x height pixels as 32-bit ARGB words
// (0xAARRGGBB, the engine's colour words), rows top to bottom, stride = width. It also
// remembers the depth of the file it came from, because the engine treats pictures that carry
// alpha (32 bits per pixel) differently from the others (opaque bounds, masks), and for
// palette pictures it keeps the raw palette indices: an 8-bit BMP used as an alpha mask gives
// its indices, not its colours.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kq::media {

// Sanity limits for every decoder: dimensions are checked against them (and against the size
// of the data) before anything is allocated.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = int64_t{32} * 1024 * 1024;

struct Picture {
    int width = 0;
    int height = 0;
    // Depth of the source: 1, 4 or 8 for palette pictures, 24 for colour without alpha,
    // 32 when the alpha channel is meaningful. Pixels are always ARGB words; for depths
    // below 32 the alpha is 255.
    int bitsPerPixel = 0;
    std::vector<uint32_t> pixels;
    // Palette pictures only: the raw index of every pixel (width * height bytes), else empty.
    std::vector<uint8_t> indices;

    bool Empty() const { return width <= 0 || height <= 0; }
    bool HasAlpha() const { return bitsPerPixel == 32; }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// True when width and height are within the decoder limits (positive, each side at most
// kMaxImageSide, at most kMaxImagePixels in all).
bool DimensionsAcceptable(int64_t width, int64_t height);

// Inclusive rectangle of pixels, as the opaque bounds of an image are kept.
struct PixelBounds {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
    friend bool operator==(const PixelBounds&, const PixelBounds&) = default;
};

// The smallest rectangle holding every pixel whose alpha is not 0, for 32-bit pictures; the
// whole picture when it has no such pixel or is not a 32-bit picture.
PixelBounds OpaqueBounds(const Picture& picture);

// Converts the picture to a 32-bit one in place. Pictures without alpha become opaque.
void ConvertTo32(Picture& picture);

// Silhouette: every pixel becomes its alpha as grey with the same alpha (a, a, a, a).
void MakeSilhouette(Picture& picture);

// Grey: red, green and blue become their mean rounded to the nearest integer; alpha stays.
void MakeGrey(Picture& picture);

// The 8-bit values of a picture used as an alpha mask: the raw palette indices of palette
// pictures; for pictures of other depths the rounded mean of red, green and blue.
std::vector<uint8_t> MaskValues(const Picture& mask);

// Puts mask values (maskWidth x maskHeight, row by row) into the alpha of the picture, which
// becomes a 32-bit picture. The sizes should agree; pixels the mask does not cover become
// opaque.
void ApplyMask(Picture& picture, std::span<const uint8_t> maskValues, int maskWidth,
               int maskHeight);

} // namespace kq::media
