// TGA through stb_image. stb_image guesses the format from the data and tries TGA last, so the
// header is checked here first: only true-colour files (24 or 32 bits, uncompressed or RLE)
// are handed over, with sizes the data can actually hold. Such a header cannot pass any of
// stb's other format tests, so stb always decodes them as TGA.
#include "media/byte_reader.h"
#include "media/image_decode.h"

#include <spdlog/spdlog.h>
#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace kq::media {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr int kTypeTrueColor = 2;
constexpr int kTypeTrueColorRle = 10;

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

// True when the RLE packets from the reader's offset on cover all pixels before the data ends.
bool RleCoversPixels(ByteReader in, size_t pixels, size_t bytesPerPixel) {
    size_t covered = 0;
    while (covered < pixels) {
        const unsigned header = in.U8();
        const size_t count = (header & 0x7F) + 1;
        in.Skip(header & 0x80 ? bytesPerPixel : count * bytesPerPixel);
        if (in.Failed()) {
            return false;
        }
        covered += count;
    }
    return true;
}

} // namespace

std::optional<Picture> DecodeTga(std::string_view data, std::string_view name) {
    if (data.size() < kHeaderSize) {
        spdlog::warn("image {}: truncated TGA header", name);
        return std::nullopt;
    }
    ByteReader in(data);
    const unsigned idLength = in.U8();
    const unsigned colorMapType = in.U8();
    const unsigned imageType = in.U8();
    in.Skip(9); // colour map description and origin
    const int width = in.U16();
    const int height = in.U16();
    const unsigned bits = in.U8();
    in.Skip(1); // descriptor
    if (colorMapType != 0 || (imageType != kTypeTrueColor && imageType != kTypeTrueColorRle) ||
        (bits != 24 && bits != 32)) {
        spdlog::warn("image {}: unsupported TGA (type {}, {} bits)", name, imageType, bits);
        return std::nullopt;
    }
    if (!DimensionsAcceptable(width, height)) {
        spdlog::warn("image {}: TGA size {}x{} refused", name, width, height);
        return std::nullopt;
    }
    const size_t bytesPerPixel = bits / 8;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t available = in.Skip(idLength) ? in.Remaining() : 0;
    // An RLE packet of 1 + bytesPerPixel bytes covers at most 128 pixels.
    const bool fits = imageType == kTypeTrueColor
                          ? available >= pixels * bytesPerPixel
                          : available / (1 + bytesPerPixel) * 128 >= pixels &&
                                RleCoversPixels(in, pixels, bytesPerPixel);
    if (!fits) {
        spdlog::warn("image {}: truncated TGA data", name);
        return std::nullopt;
    }
    int w = 0;
    int h = 0;
    int channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgba(stbi_load_from_memory(
        reinterpret_cast<const stbi_uc*>(data.data()),
        static_cast<int>(std::min<size_t>(data.size(), INT32_MAX)), &w, &h, &channels, 4));
    if (!rgba || w != width || h != height) {
        spdlog::warn("image {}: corrupt TGA: {}", name,
                     rgba ? "unexpected size" : stbi_failure_reason());
        return std::nullopt;
    }
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = static_cast<int>(bits);
    picture.pixels.resize(pixels);
    const stbi_uc* src = rgba.get();
    for (size_t i = 0; i < pixels; ++i, src += 4) {
        uint32_t a = bits == 32 ? src[3] : 255;
        picture.pixels[i] = (a << 24) | (static_cast<uint32_t>(src[0]) << 16) |
                            (static_cast<uint32_t>(src[1]) << 8) | src[2];
    }
    return picture;
}

} // namespace kq::media
