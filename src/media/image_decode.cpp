#include "media/image_decode.h"

#include <cctype>

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

std::optional<Picture> DecodeImage(std::string_view data, std::string_view name) {
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
