// Image decoders: PNG, JPEG, BMP and TGA from memory buffers into Pictures.
//
// Every decoder takes the whole file as bytes and answers a Picture or the reason there is
// none (a LoadError naming the file, what failed and, where the decoder knows it, the byte
// offset). Corrupt, truncated or unsupported data never crashes and never allocates more than
// the limits of image_picture.h allow: dimensions are checked against those limits and against
// what the data can hold before the pixel buffer is allocated. Decoders do not log: the caller
// reports the error once (Message("image")). The name argument only fills LoadError::file.
//
// Depths of the results: PNG 32 when the file has an alpha channel or transparency, else 24;
// JPEG 24; BMP its own depth for 1, 4 and 8 bits (which keep their palette indices), and for
// 16 and 32 bits 32 when the file has an alpha channel that is not all zero, else 24; TGA 24 or
// 32 as stored.
#pragma once

#include "media/image_picture.h"
#include "media/load_error.h"

#include <optional>
#include <string>
#include <string_view>

namespace kq::media {

using DecodedPicture = Loaded<Picture>;

DecodedPicture DecodePng(std::string_view data, std::string_view name = {});
DecodedPicture DecodeJpeg(std::string_view data, std::string_view name = {});
// Bits per pixel 1, 4, 8, 16, 24, 32; uncompressed, run-length encoded (4 and 8 bits) and bit
// fields (16 and 32 bits; plain 16-bit pixels are 5-5-5).
DecodedPicture DecodeBmp(std::string_view data, std::string_view name = {});
// True-colour TGA, 24 or 32 bits, uncompressed or RLE.
DecodedPicture DecodeTga(std::string_view data, std::string_view name = {});

enum class ImageFormat { Bmp, Jpeg, Png, Tga };

// The decoder the engine picks from a file name: ".jpg"/".jpeg" JPEG, ".png" PNG, ".tga" TGA,
// anything else BMP (letter case does not matter).
ImageFormat FormatFromName(std::string_view name);

// Decodes with the decoder chosen by FormatFromName(name).
DecodedPicture DecodeImage(std::string_view data, std::string_view name);

// The error a decoder answers: what failed in the file called name, at offset.
LoadError ImageError(LoadError::Problem problem, std::string what, std::string_view name,
                     size_t offset);

// Encodes a picture as an 8-bit RGBA PNG (used by the tools and for test output). Empty on
// failure.
std::string EncodePng(const Picture& picture);

} // namespace kq::media
