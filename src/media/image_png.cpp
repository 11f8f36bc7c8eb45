// PNG through libpng. libpng reports errors by longjmp; every function that can reach
// png_error keeps its setjmp in a small frame without C++ objects, and the buffers live in
// the caller, so an error unwinds nothing that needs a destructor.
#include "media/image_decode.h"

#include <png.h>
#include <spdlog/spdlog.h>

#include <csetjmp>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace kq::media {

namespace {

// Deflate cannot expand data by much more than 1032:1; a header that asks for more pixel bytes
// than the file could possibly hold is refused before allocating.
constexpr int64_t kMaxInflateRatio = 1100;
// Upper bound for ancillary chunk allocations (ICC profiles, compressed text).
constexpr png_alloc_size_t kMaxChunkBytes = 8u * 1024 * 1024;

struct PngContext {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool ranOut = false; // a read asked for more than was left
    char message[160] = {};
};

void ReadCallback(png_structp png, png_bytep out, size_t count) {
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    if (count > ctx->size - ctx->pos) {
        ctx->ranOut = true;
        png_error(png, "unexpected end of data");
    }
    std::memcpy(out, ctx->data + ctx->pos, count);
    ctx->pos += count;
}

void ErrorCallback(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    if (ctx != nullptr) {
        std::snprintf(ctx->message, sizeof(ctx->message), "%s", message);
    }
    png_longjmp(png, 1);
}

void WarningCallback(png_structp, png_const_charp message) {
    spdlog::debug("png: {}", message);
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    bool hasAlpha = false;
    size_t rowBytes = 0;       // after the transforms: 4 bytes per pixel
    size_t sourceRowBytes = 0; // as stored, before the transforms
};

// Reads the header and sets up the transforms to 8-bit BGRA (ARGB words in memory).
bool ReadHeader(png_structp png, png_infop info, PngHeader* header) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    header->sourceRowBytes = png_get_rowbytes(png, info);
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &header->width, &header->height, &bitDepth, &colorType, &interlace,
                 nullptr, nullptr);
    header->hasAlpha =
        (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// A failure reported by libpng, at the end of what it had read so far.
LoadError PngError(std::string what, std::string_view name, const PngContext& ctx) {
    return ImageError(ctx.ranOut ? LoadError::Problem::Truncated : LoadError::Problem::Corrupt,
                      std::move(what), name, ctx.pos);
}

bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

struct PngWriteContext {
    std::string* out = nullptr;
    char message[160] = {};
};

void WriteCallback(png_structp png, png_bytep data, size_t count) {
    auto* ctx = static_cast<PngWriteContext*>(png_get_io_ptr(png));
    ctx->out->append(reinterpret_cast<const char*>(data), count);
}

void FlushCallback(png_structp) {}

void WriteErrorCallback(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngWriteContext*>(png_get_error_ptr(png));
    if (ctx != nullptr) {
        std::snprintf(ctx->message, sizeof(ctx->message), "%s", message);
    }
    png_longjmp(png, 1);
}

bool WriteAll(png_structp png, png_infop info, int width, int height, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

} // namespace

DecodedPicture DecodePng(std::string_view data, std::string_view name) {
    if (data.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(data.data()), 0, 8) != 0) {
        return ImageError(LoadError::Problem::Corrupt, "not a PNG file", name, 0);
    }
    PngContext ctx;
    ctx.data = reinterpret_cast<const unsigned char*>(data.data());
    ctx.size = data.size();
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, ErrorCallback, WarningCallback);
    if (png == nullptr) {
        return ImageError(LoadError::Problem::Unreadable, "PNG decoder unavailable", name, 0);
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return ImageError(LoadError::Problem::Unreadable, "PNG decoder unavailable", name, 0);
    }
    png_set_read_fn(png, &ctx, ReadCallback);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);

    std::optional<Picture> result;
    std::optional<LoadError> error;
    PngHeader header;
    if (!ReadHeader(png, info, &header)) {
        error = PngError(std::string("PNG header: ") + ctx.message, name, ctx);
    } else if (!DimensionsAcceptable(header.width, header.height) ||
               header.rowBytes != static_cast<size_t>(header.width) * 4 ||
               static_cast<int64_t>(header.height) *
                       (static_cast<int64_t>(header.sourceRowBytes) + 1) >
                   static_cast<int64_t>(data.size()) * kMaxInflateRatio) {
        error = ImageError(LoadError::Problem::Corrupt,
                           "PNG size " + std::to_string(header.width) + "x" +
                               std::to_string(header.height) + " refused",
                           name, 16);
    } else {
        Picture picture;
        picture.width = static_cast<int>(header.width);
        picture.height = static_cast<int>(header.height);
        picture.bitsPerPixel = header.hasAlpha ? 32 : 24;
        picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height, 0);
        std::vector<png_bytep> rows(picture.height);
        for (int y = 0; y < picture.height; ++y) {
            rows[y] = reinterpret_cast<png_bytep>(picture.pixels.data() +
                                                  static_cast<size_t>(y) * picture.width);
        }
        if (ReadRows(png, rows.data())) {
            result = std::move(picture);
        } else {
            error = PngError(std::string("PNG data: ") + ctx.message, name, ctx);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!result) {
        return std::move(*error);
    }
    return std::move(*result);
}

std::string EncodePng(const Picture& picture) {
    if (picture.Empty() || picture.pixels.size() < static_cast<size_t>(picture.width) *
                                                       static_cast<size_t>(picture.height)) {
        return {};
    }
    std::string out;
    PngWriteContext ctx;
    ctx.out = &out;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, WriteErrorCallback, nullptr);
    if (png == nullptr) {
        return {};
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    png_set_write_fn(png, &ctx, WriteCallback, FlushCallback);
    // Memory order of ARGB words on little-endian machines is B, G, R, A; png_set_bgr swaps.
    std::vector<png_bytep> rows(picture.height);
    for (int y = 0; y < picture.height; ++y) {
        rows[y] = reinterpret_cast<png_bytep>(
            const_cast<uint32_t*>(picture.pixels.data() + static_cast<size_t>(y) * picture.width));
    }
    bool ok = WriteAll(png, info, picture.width, picture.height, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        spdlog::warn("png: cannot encode: {}", ctx.message);
        return {};
    }
    return out;
}

} // namespace kq::media
