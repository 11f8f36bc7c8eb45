// TGA through stb_image. stb_image guesses the format from the data and tries TGA last, so the
// header is checked here first: only true-colour files (24 or 32 bits, uncompressed or RLE)
// are handed over, with sizes the data can actually hold. Such a header cannot pass any of
// stb's other format tests, so stb always decodes them as TGA.
#include "media/byte_reader.h"
#include "media/image_decode.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

namespace kq::media {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr int kTypeTrueColor = 2;
constexpr int kTypeTrueColorRle = 10;

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

// True when the RLE packets from the reader's offset on cover all pixels before the data ends;
// else stopAt is the offset of the packet that does not fit.
bool RleCoversPixels(ByteReader in, size_t pixels, size_t bytesPerPixel, size_t& stopAt) {
    size_t covered = 0;
    while (covered < pixels) {
        stopAt = in.Offset();
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

const char* FailureReason() {
    const char* reason = stbi_failure_reason();
    return reason != nullptr ? reason : "unknown error";
}

} // namespace

DecodedPicture DecodeTga(std::string_view data, std::string_view name) {
    if (data.size() < kHeaderSize) {
        return ImageError(LoadError::Problem::Truncated, "TGA header", name, 0);
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
        return ImageError(LoadError::Problem::Corrupt,
                          "unsupported TGA (type " + std::to_string(imageType) + ", " +
                              std::to_string(bits) + " bits)",
                          name, 1);
    }
    if (!DimensionsAcceptable(width, height)) {
        return ImageError(LoadError::Problem::Corrupt,
                          "TGA size " + std::to_string(width) + "x" + std::to_string(height) +
                              " refused",
                          name, 12);
    }
    const size_t bytesPerPixel = bits / 8;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (!in.Skip(idLength)) {
        return ImageError(LoadError::Problem::Truncated, "TGA image ID", name, in.Offset());
    }
    const size_t available = in.Remaining();
    if (imageType == kTypeTrueColor) {
        if (available < pixels * bytesPerPixel) {
            // Named by the first pixel that does not fit.
            return ImageError(LoadError::Problem::Truncated, "TGA pixel data", name,
                              in.Offset() + available / bytesPerPixel * bytesPerPixel);
        }
    } else {
        // An RLE packet of 1 + bytesPerPixel bytes covers at most 128 pixels.
        size_t stopAt = data.size();
        if (available / (1 + bytesPerPixel) * 128 < pixels ||
            !RleCoversPixels(in, pixels, bytesPerPixel, stopAt)) {
            return ImageError(LoadError::Problem::Truncated, "TGA run-length data", name, stopAt);
        }
    }
    int w = 0;
    int h = 0;
    int channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgba(stbi_load_from_memory(
        reinterpret_cast<const stbi_uc*>(data.data()),
        static_cast<int>(std::min<size_t>(data.size(), INT32_MAX)), &w, &h, &channels, 4));
    if (!rgba || w != width || h != height) {
        return ImageError(LoadError::Problem::Corrupt,
                          std::string("TGA data: ") + (rgba ? "unexpected size" : FailureReason()),
                          name, 0);
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
