// JPEG through libjpeg-turbo. The library's fatal errors go through a custom error manager
// that longjmps back to the frame holding the setjmp; those frames hold no C++ objects and
// the pixel buffer is owned by the caller.
#include "media/image_decode.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace kq::media {

static_assert(std::endian::native == std::endian::little,
              "ARGB words are written as B, G, R, A bytes");

namespace {

// A JPEG of uniform colour compresses to a few bits per 8x8 block; more pixels than this per
// byte of file cannot be real and are refused before allocating.
constexpr int64_t kMaxPixelsPerByte = 4096;

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool truncated = false;
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    err->mgr.format_message(cinfo, err->message);
    longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (level >= 0) {
        return; // trace messages
    }
    // A file that ends early decodes as grey in libjpeg; it is a failure here.
    if (err->mgr.msg_code == JWRN_JPEG_EOF) {
        err->truncated = true;
    }
    char text[JMSG_LENGTH_MAX];
    err->mgr.format_message(cinfo, text);
    spdlog::debug("jpeg: {}", text);
    err->mgr.num_warnings++;
}

// A fatal libjpeg error, at the end of the bytes the library had taken in so far. After the
// data ran out the library reads a made-up end marker, so the error is then the short file's.
LoadError JpegFailure(const jpeg_decompress_struct& cinfo, const JpegError& err,
                      std::string_view data, std::string what, std::string_view name) {
    const size_t left = cinfo.src != nullptr ? cinfo.src->bytes_in_buffer : 0;
    return ImageError(err.truncated ? LoadError::Problem::Truncated : LoadError::Problem::Corrupt,
                      std::move(what), name, data.size() - std::min(left, data.size()));
}

bool Create(jpeg_decompress_struct* cinfo, JpegError* err, std::string_view data) {
    if (setjmp(err->jump)) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    return true;
}

struct JpegHeader {
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    bool cmyk = false;
};

bool ReadHeader(jpeg_decompress_struct* cinfo, JpegError* err, JpegHeader* header) {
    if (setjmp(err->jump)) {
        return false;
    }
    jpeg_read_header(cinfo, TRUE);
    header->cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = header->cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(cinfo);
    header->width = cinfo->output_width;
    header->height = cinfo->output_height;
    return true;
}

// Decodes into rows of width 4-byte pixels (BGRA, or CMYK for Adobe files).
bool ReadScanlines(jpeg_decompress_struct* cinfo, JpegError* err, unsigned char* pixels,
                   size_t stride) {
    if (setjmp(err->jump)) {
        return false;
    }
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4) {
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = pixels + static_cast<size_t>(cinfo->output_scanline) * stride;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

DecodedPicture DecodeJpeg(std::string_view data, std::string_view name) {
    if (data.size() < 4 || static_cast<unsigned char>(data[0]) != 0xFF ||
        static_cast<unsigned char>(data[1]) != 0xD8) {
        return ImageError(LoadError::Problem::Corrupt, "not a JPEG file", name, 0);
    }
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ErrorExit;
    err.mgr.emit_message = EmitMessage;
    if (!Create(&cinfo, &err, data)) {
        jpeg_destroy_decompress(&cinfo);
        return ImageError(LoadError::Problem::Unreadable,
                          std::string("JPEG decoder unavailable: ") + err.message, name, 0);
    }

    std::optional<Picture> result;
    std::optional<LoadError> error;
    JpegHeader header;
    if (!ReadHeader(&cinfo, &err, &header)) {
        error = JpegFailure(cinfo, err, data, std::string("JPEG header: ") + err.message, name);
    } else if (!DimensionsAcceptable(header.width, header.height) ||
               static_cast<int64_t>(header.width) * header.height >
                   static_cast<int64_t>(data.size()) * kMaxPixelsPerByte) {
        error = ImageError(LoadError::Problem::Corrupt,
                           "JPEG size " + std::to_string(header.width) + "x" +
                               std::to_string(header.height) + " refused",
                           name, 0);
    } else {
        Picture picture;
        picture.width = static_cast<int>(header.width);
        picture.height = static_cast<int>(header.height);
        picture.bitsPerPixel = 24;
        picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height, 0);
        auto* bytes = reinterpret_cast<unsigned char*>(picture.pixels.data());
        if (!ReadScanlines(&cinfo, &err, bytes, static_cast<size_t>(picture.width) * 4)) {
            error = JpegFailure(cinfo, err, data, std::string("JPEG data: ") + err.message, name);
        } else if (err.truncated) {
            error = ImageError(LoadError::Problem::Truncated, "JPEG data ends early", name,
                               data.size());
        } else {
            if (header.cmyk) {
                // Adobe writes CMYK inverted; libjpeg hands the stored values through.
                for (uint32_t& p : picture.pixels) {
                    uint32_t c = p & 0xFF, m = (p >> 8) & 0xFF, y = (p >> 16) & 0xFF, k = p >> 24;
                    uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255,
                             b = (y * k + 127) / 255;
                    p = 0xFF000000u | (r << 16) | (g << 8) | b;
                }
            } else {
                for (uint32_t& p : picture.pixels) {
                    p |= 0xFF000000u;
                }
            }
            result = std::move(picture);
        }
    }
    jpeg_destroy_decompress(&cinfo);
    if (!result) {
        return std::move(*error);
    }
    return std::move(*result);
}

} // namespace kq::media
