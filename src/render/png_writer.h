// Screenshots: writes ARGB pixels (rows top to bottom) as a PNG file, through the PNG encoder
// of the media layer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace kq::render {

// False (with a log line) when the size does not match the pixels or the file cannot be
// written. The file is written to a temporary name and renamed into place, so a reader never
// sees half a picture.
bool WritePngFile(const std::filesystem::path& file, int width, int height,
                  std::span<const uint32_t> argb);

} // namespace kq::render
