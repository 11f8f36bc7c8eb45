#include "media/image_picture.h"

namespace kq::media {

namespace {

constexpr uint32_t Alpha(uint32_t argb) {
    return argb >> 24;
}

constexpr uint32_t RoundedMean(uint32_t argb) {
    uint32_t r = (argb >> 16) & 0xFF;
    uint32_t g = (argb >> 8) & 0xFF;
    uint32_t b = argb & 0xFF;
    // Rounded to nearest; a sum of three bytes never lands on a half.
    return (r + g + b + 1) / 3;
}

} // namespace

bool DimensionsAcceptable(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

PixelBounds OpaqueBounds(const Picture& picture) {
    PixelBounds whole{0, 0, picture.width - 1, picture.height - 1};
    if (!picture.HasAlpha() || picture.Empty()) {
        return whole;
    }
    int left = picture.width;
    int top = picture.height;
    int right = -1;
    int bottom = -1;
    const uint32_t* row = picture.pixels.data();
    for (int y = 0; y < picture.height; ++y, row += picture.width) {
        int first = -1;
        int last = -1;
        for (int x = 0; x < picture.width; ++x) {
            if (Alpha(row[x]) != 0) {
                if (first < 0) {
                    first = x;
                }
                last = x;
            }
        }
        if (first < 0) {
            continue;
        }
        if (top > y) {
            top = y;
        }
        bottom = y;
        if (left > first) {
            left = first;
        }
        if (right < last) {
            right = last;
        }
    }
    if (right < 0) {
        return whole;
    }
    return PixelBounds{left, top, right, bottom};
}

void ConvertTo32(Picture& picture) {
    if (picture.bitsPerPixel == 32) {
        return;
    }
    for (uint32_t& p : picture.pixels) {
        p |= 0xFF000000u;
    }
    picture.bitsPerPixel = 32;
    picture.indices.clear();
}

void MakeSilhouette(Picture& picture) {
    ConvertTo32(picture);
    for (uint32_t& p : picture.pixels) {
        uint32_t a = Alpha(p);
        p = (a << 24) | (a << 16) | (a << 8) | a;
    }
}

void MakeGrey(Picture& picture) {
    ConvertTo32(picture);
    for (uint32_t& p : picture.pixels) {
        uint32_t m = RoundedMean(p);
        p = (p & 0xFF000000u) | (m << 16) | (m << 8) | m;
    }
}

std::vector<uint8_t> MaskValues(const Picture& mask) {
    if (!mask.indices.empty()) {
        return mask.indices;
    }
    std::vector<uint8_t> values(mask.pixels.size());
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<uint8_t>(RoundedMean(mask.pixels[i]));
    }
    return values;
}

void ApplyMask(Picture& picture, std::span<const uint8_t> maskValues, int maskWidth,
               int maskHeight) {
    ConvertTo32(picture);
    if (maskWidth < 0 || maskHeight < 0 ||
        maskValues.size() < static_cast<size_t>(maskWidth) * static_cast<size_t>(maskHeight)) {
        maskWidth = 0;
        maskHeight = 0;
    }
    for (int y = 0; y < picture.height; ++y) {
        uint32_t* row = picture.pixels.data() + static_cast<size_t>(y) * picture.width;
        for (int x = 0; x < picture.width; ++x) {
            uint32_t a = 255;
            if (x < maskWidth && y < maskHeight) {
                a = maskValues[static_cast<size_t>(y) * maskWidth + x];
            }
            row[x] = (row[x] & 0x00FFFFFFu) | (a << 24);
        }
    }
}

} // namespace kq::media
