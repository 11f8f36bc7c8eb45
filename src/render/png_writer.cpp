#include "render/png_writer.h"

#include <spdlog/spdlog.h>

#include <fstream>
#include <system_error>

#include "media/image_decode.h"

namespace kq::render {

bool WritePngFile(const std::filesystem::path& file, int width, int height,
                  std::span<const uint32_t> argb) {
    if (width <= 0 || height <= 0 ||
        argb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        spdlog::error("render: screenshot {} has {} pixels for {}x{}", file.string(), argb.size(),
                      width, height);
        return false;
    }
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = 32;
    picture.pixels.assign(argb.begin(), argb.end());
    const std::string png = media::EncodePng(picture);
    if (png.empty()) {
        spdlog::error("render: cannot encode the screenshot {}", file.string());
        return false;
    }
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(png.data(), static_cast<std::streamsize>(png.size()));
        if (!out) {
            spdlog::error("render: cannot write {}", temp.string());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        spdlog::error("render: cannot rename {} to {}: {}", temp.string(), file.string(),
                      ec.message());
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace kq::render
