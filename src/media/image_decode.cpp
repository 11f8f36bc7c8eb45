#include "media/image_decode.h"

#include <cctype>
#include <utility>

namespace kq::media {

namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) {
        return false;
    }
    s = s.substr(s.size() - suffix.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != suffix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

LoadError ImageError(LoadError::Problem problem, std::string what, std::string_view name,
                     size_t offset) {
    LoadError error;
    error.problem = problem;
    error.what = std::move(what);
    error.file = std::string(name);
    error.offset = offset;
    return error;
}

ImageFormat FormatFromName(std::string_view name) {
    if (EndsWithNoCase(name, ".jpg") || EndsWithNoCase(name, ".jpeg")) {
        return ImageFormat::Jpeg;
    }
    if (EndsWithNoCase(name, ".png")) {
        return ImageFormat::Png;
    }
    if (EndsWithNoCase(name, ".tga")) {
        return ImageFormat::Tga;
    }
    return ImageFormat::Bmp;
}

DecodedPicture DecodeImage(std::string_view data, std::string_view name) {
    switch (FormatFromName(name)) {
    case ImageFormat::Jpeg:
        return DecodeJpeg(data, name);
    case ImageFormat::Png:
        return DecodePng(data, name);
    case ImageFormat::Tga:
        return DecodeTga(data, name);
    case ImageFormat::Bmp:
        break;
    }
    return DecodeBmp(data, name);
}

} // namespace kq::media
