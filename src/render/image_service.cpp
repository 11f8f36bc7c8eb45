#include "render/image_service.h"

#include "media/image_decode.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <limits>

namespace kq::render {

namespace {

// Folder part (up to and including the last separator) and file part of a game name.
std::pair<std::string_view, std::string_view> SplitFolder(std::string_view name) {
    size_t slash = name.find_last_of("\\/");
    if (slash == std::string_view::npos) {
        return {std::string_view{}, name};
    }
    return {name.substr(0, slash + 1), name.substr(slash + 1)};
}

// The extension from the last dot of the file part, upper-cased (ASCII), dot included.
std::string UpperExtension(std::string_view fileName) {
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return media::UpperAscii(fileName.substr(dot));
}

// The name without its last four characters (the engine's way of dropping ".bmp").
std::string_view DropLastFour(std::string_view name) {
    return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string_view{};
}

} // namespace

struct ImageService::Request {
    std::string name; // prefix-free, in the caller's letter case
    std::string key;  // prefix-free, upper case
    bool silhouette = false;
    bool grey = false;
};

std::optional<Color> TextureImage::Pixel(int pattern, int x, int y) const {
    const int pw = layout_.patternWidth;
    const int ph = layout_.patternHeight;
    if (!HasPixelCopy() || pattern < 0 || pattern >= layout_.PatternCount() || x < 0 || y < 0 ||
        x >= pw || y >= ph) {
        return std::nullopt;
    }
    const int sx = (pattern % layout_.columns) * pw + x;
    const int sy = (pattern / layout_.columns) * ph + y;
    if (sx >= picture_.width || sy >= picture_.height) {
        return std::nullopt;
    }
    return picture_.At(sx, sy);
}

ImageService::ImageService(media::GameFiles& files, Canvas& canvas, TickSource ticks)
    : files_(files), canvas_(canvas), ticks_(std::move(ticks)) {}

ImageService::~ImageService() {
    for (auto& entry : entries_) {
        if (entry->image) {
            canvas_.FreeTexture(entry->image->texture_);
        }
    }
}

uint32_t ImageService::Now() const {
    if (stampOverride_) {
        return *stampOverride_;
    }
    return ticks_ ? ticks_() : 0;
}

TKQIm* ImageService::Find(std::string_view name) {
    auto it = index_.find(files_.Codec().UpperCase(name));
    return it == index_.end() ? nullptr : entries_[it->second].get();
}

TKQIm& ImageService::LoadImage(std::string_view name, bool kept) {
    std::string key = files_.Codec().UpperCase(name);
    TKQIm* entry = nullptr;
    if (auto it = index_.find(key); it != index_.end()) {
        entry = entries_[it->second].get();
    } else {
        auto created = std::make_unique<TKQIm>();
        created->name = key;
        created->kept = kept;
        entry = created.get();
        index_.emplace(key, entries_.size());
        entries_.push_back(std::move(created));
    }

    Request request{std::string(name), std::move(key)};
    // The code page's upper case maps byte for byte, so both strings lose the same prefix.
    if (!request.key.empty() && request.key.front() == '*') {
        request.key.erase(0, 1);
        request.name.erase(0, 1);
        request.silhouette = true;
    }
    if (!request.key.empty() && request.key.front() == '#') {
        request.key.erase(0, 1);
        request.name.erase(0, 1);
        request.grey = true;
    }

    ++entry->requests;
    if (entry->image || entry->failed) {
        return *entry;
    }
    if (!loadImagesNow_ && !entry->kept) {
        if (entry->requests == 1) {
            ++imagesToLoad_;
        }
        return *entry;
    }
    Load(*entry, request);
    return *entry;
}

bool ImageService::Probe(std::string_view name, bool inPack) {
    if (!inPack) {
        return files_.FindLoose(name).has_value();
    }
    media::TKQStore& pack = files_.Pack();
    const auto member = files_.PackMemberName(name);
    return (member && pack.IndexOf(*member) >= 0) || pack.IndexOf(name) >= 0;
}

std::optional<std::string> ImageService::ReadFrom(std::string_view name, bool inPack) {
    if (!inPack) {
        const auto path = files_.FindLoose(name);
        if (!path) {
            return std::nullopt;
        }
        return media::ReadWholeFile(*path);
    }
    media::TKQStore& pack = files_.Pack();
    std::optional<std::string> bytes;
    if (const auto member = files_.PackMemberName(name)) {
        bytes = pack.ReadMember(*member);
    }
    if (!bytes) {
        bytes = pack.ReadMember(name);
    }
    return bytes;
}

media::SheetCounts ImageService::ReadSheet(std::string_view imageName, bool inPack) {
    const std::string sheetName = std::string(DropLastFour(imageName)) + ".an";
    if (!Probe(sheetName, inPack)) {
        return {};
    }
    // A pack member is parsed straight from memory: the same bytes a copy on disk would hold.
    const auto bytes = ReadFrom(sheetName, inPack);
    if (!bytes) {
        spdlog::warn("image {}: cannot read '{}'", files_.Codec().ToUtf8(imageName),
                     files_.Codec().ToUtf8(sheetName));
        return {};
    }
    const auto counts = media::ParseSheet(*bytes);
    if (!counts) {
        spdlog::warn("image {}: '{}' does not hold two pattern counts; using one pattern",
                     files_.Codec().ToUtf8(imageName), files_.Codec().ToUtf8(sheetName));
        return {};
    }
    return *counts;
}

void ImageService::Load(TKQIm& entry, const Request& request) {
    ++imagesDone_;
    const std::string logName = files_.Codec().ToUtf8(request.name);

    media::GameFile main = files_.Read(request.name);
    if (main.source == media::FileSource::None) {
        spdlog::debug("image {}: no such file", logName);
        entry.failed = true;
        return;
    }
    const bool inPack = main.source == media::FileSource::Pack;
    auto image = std::make_unique<TextureImage>();
    image->name_ = request.key;
    image->source_ = main.source;
    image->fileName_ = request.name;

    const media::SheetCounts counts = ReadSheet(request.name, inPack);
    media::DecodedPicture picture = media::DecodeImage(main.bytes, logName);
    main.bytes.clear();
    if (!picture) {
        spdlog::warn("{}", picture.Error().Message("image"));
        entry.failed = true;
        return;
    }

    const auto [folder, fileName] = SplitFolder(request.name);
    const std::string extension = UpperExtension(fileName);
    const size_t underscore = fileName.find('_');
    const bool hasPrefixPart = underscore != std::string_view::npos && underscore > 0;

    // Colour from a JPEG partner, alpha from mask values.
    auto combineWithJpeg = [&](const std::string& jpegName, const std::vector<uint8_t>& mask,
                               int maskWidth, int maskHeight) {
        auto bytes = ReadFrom(jpegName, inPack);
        std::optional<media::Picture> colour;
        if (bytes) {
            media::DecodedPicture decoded =
                media::DecodeJpeg(*bytes, files_.Codec().ToUtf8(jpegName));
            if (decoded) {
                colour = std::move(*decoded);
            } else {
                spdlog::warn("{}", decoded.Error().Message("image"));
            }
        }
        if (!colour) {
            spdlog::warn("image {}: colour partner '{}' unusable; keeping the mask picture",
                         logName, files_.Codec().ToUtf8(jpegName));
            return;
        }
        if (colour->width != maskWidth || colour->height != maskHeight) {
            spdlog::warn("image {}: mask {}x{} and colour {}x{} differ", logName, maskWidth,
                         maskHeight, colour->width, colour->height);
        }
        media::ApplyMask(*colour, mask, maskWidth, maskHeight);
        *picture = std::move(*colour);
        image->maskName_ = request.name;
    };

    if (extension == ".BMP") {
        const std::vector<uint8_t> mask = media::MaskValues(*picture);
        const int maskWidth = picture->width;
        const int maskHeight = picture->height;
        if (hasPrefixPart) {
            const std::string partner =
                std::string(folder) + std::string(fileName.substr(0, underscore)) + ".jpg";
            if (Probe(partner, inPack)) {
                combineWithJpeg(partner, mask, maskWidth, maskHeight);
            }
        }
        if (request.silhouette) {
            media::MakeSilhouette(*picture);
        }
        if (request.grey) {
            media::MakeGrey(*picture);
        }
        const std::string partner =
            std::string(folder) + std::string(DropLastFour(fileName)) + "_.jpg";
        if (Probe(partner, inPack)) {
            combineWithJpeg(partner, mask, maskWidth, maskHeight);
        }
    } else if (extension == ".JPG" && hasPrefixPart) {
        const std::string maskName =
            std::string(folder) + std::string(fileName.substr(0, underscore)) + ".bmp";
        if (Probe(maskName, inPack)) {
            auto bytes = ReadFrom(maskName, inPack);
            std::optional<media::Picture> mask;
            if (bytes) {
                media::DecodedPicture decoded =
                    media::DecodeBmp(*bytes, files_.Codec().ToUtf8(maskName));
                if (decoded) {
                    mask = std::move(*decoded);
                } else {
                    spdlog::warn("{}", decoded.Error().Message("image"));
                }
            }
            if (mask) {
                if (mask->width != picture->width || mask->height != picture->height) {
                    spdlog::warn("image {}: mask {}x{} and colour {}x{} differ", logName,
                                 mask->width, mask->height, picture->width, picture->height);
                }
                media::ApplyMask(*picture, media::MaskValues(*mask), mask->width, mask->height);
                image->maskName_ = maskName;
            } else {
                spdlog::warn("image {}: mask '{}' unusable; keeping the picture opaque", logName,
                             files_.Codec().ToUtf8(maskName));
            }
        }
    }

    const media::PixelBounds bounds = media::OpaqueBounds(*picture);
    entry.left = bounds.left;
    entry.top = bounds.top;
    entry.right = bounds.right;
    entry.bottom = bounds.bottom;

    // The geometry follows the final picture, so a mask of another size cannot produce
    // patterns larger than the texture.
    image->layout_ = media::MakePatternLayout(picture->width, picture->height, counts);
    // Mask values were needed only while pairing; the copy keeps colours.
    picture->indices.clear();
    picture->indices.shrink_to_fit();
    image->picture_ = std::move(*picture);
    if (!Upload(*image)) {
        spdlog::warn("image {}: upload of {}x{} in {}x{} patterns failed", logName, image->Width(),
                     image->Height(), image->layout_.columns, image->layout_.rows);
        entry.failed = true;
        return;
    }

    entry.memory = static_cast<int64_t>(image->Width()) * image->Height() * 4;
    entry.image = std::move(image);
    imageMemory_ += static_cast<uint32_t>(entry.memory);
    entry.lastUse = Now();

    if (maxMemory_ > kEvictionThreshold &&
        static_cast<double>(imageMemory_) / static_cast<double>(maxMemory_) > 1.1) {
        EvictImages();
    }
    if (loadProgress_) {
        loadProgress_();
    }
}

bool ImageService::Upload(TextureImage& image) {
    const media::PatternLayout& layout = image.layout_;
    const int pw = layout.patternWidth;
    const int ph = layout.patternHeight;
    if (pw < 1 || ph < 1 || pw > kMaxTextureSide || ph > kMaxTextureSide) {
        return false;
    }
    const int count = layout.PatternCount();
    // Patterns stay numbered row by row; a sheet too wide or tall for one texture is
    // rearranged into more rows or columns, which keeps every pattern's number.
    int texColumns = layout.columns;
    int texRows = layout.rows;
    if (static_cast<int64_t>(texColumns) * pw > kMaxTextureSide ||
        static_cast<int64_t>(texRows) * ph > kMaxTextureSide) {
        texColumns = std::max(1, kMaxTextureSide / pw);
        texRows = (count + texColumns - 1) / texColumns;
        if (static_cast<int64_t>(texRows) * ph > kMaxTextureSide) {
            return false;
        }
    }
    const int width = texColumns * pw;
    const int height = texRows * ph;
    const media::Picture& picture = image.picture_;

    TextureId texture = kNoTexture;
    if (texColumns == layout.columns && width == picture.width && height == picture.height) {
        texture = canvas_.CreateTexture(width, height, picture.pixels);
    } else {
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
        for (int k = 0; k < count; ++k) {
            const int sx = (k % layout.columns) * pw;
            const int sy = (k / layout.columns) * ph;
            const int dx = (k % texColumns) * pw;
            const int dy = (k / texColumns) * ph;
            for (int y = 0; y < ph; ++y) {
                const uint32_t* src =
                    picture.pixels.data() + static_cast<size_t>(sy + y) * picture.width + sx;
                std::copy(src, src + pw,
                          pixels.begin() + static_cast<ptrdiff_t>(dy + y) * width + dx);
            }
        }
        texture = canvas_.CreateTexture(width, height, pixels);
    }
    if (texture == kNoTexture) {
        return false;
    }
    if ((pw != width || ph != height) && !canvas_.SetPatternLayout(texture, pw, ph)) {
        canvas_.FreeTexture(texture);
        return false;
    }
    image.texture_ = texture;
    return true;
}

const TextureImage* ImageService::GetImage(TKQIm& entry) {
    if (alwaysLoad_ && !entry.image && !entry.failed) {
        LoadImage(entry.name, entry.kept);
    }
    entry.lastUse = Now();
    return entry.image.get();
}

void ImageService::ClearImageMarks() {
    for (auto& entry : entries_) {
        entry->requests = 0;
    }
}

void ImageService::Release(TKQIm& entry) {
    if (!entry.image) {
        return;
    }
    canvas_.FreeTexture(entry.image->texture_);
    entry.image.reset();
}

void ImageService::FreeUnusedImages() {
    for (auto& entry : entries_) {
        if (entry->requests == 0 && !entry->kept) {
            Release(*entry);
        }
    }
}

void ImageService::EvictImages() {
    // The first entry is never considered (the first picture a game asks for stays).
    for (;;) {
        bool any = false;
        uint32_t oldest = std::numeric_limits<uint32_t>::max();
        int64_t sum = 0;
        for (size_t i = 1; i < entries_.size(); ++i) {
            const TKQIm& e = *entries_[i];
            if (!e.image || e.kept) {
                continue;
            }
            any = true;
            oldest = std::min(oldest, e.lastUse);
            sum += e.memory;
        }
        if (!any) {
            // Nothing left to release: the count is what remains releasable.
            imageMemory_ = static_cast<uint32_t>(sum);
            return;
        }
        for (size_t i = 1; i < entries_.size(); ++i) {
            TKQIm& e = *entries_[i];
            if (!e.image || e.kept || e.lastUse != oldest) {
                continue;
            }
            Release(e);
            sum -= e.memory;
            if (sum < maxMemory_) {
                imageMemory_ = static_cast<uint32_t>(sum);
                return;
            }
        }
    }
}

void ImageService::ReloadAll() {
    imageMemory_ = 0;
    const bool savedNow = loadImagesNow_;
    loadImagesNow_ = true;
    // By index: a progress handler may register new entries while we reload.
    for (size_t i = 0; i < entries_.size(); ++i) {
        TKQIm& entry = *entries_[i];
        if (!entry.image) {
            continue;
        }
        const uint32_t stamp = entry.lastUse;
        Release(entry);
        stampOverride_ = stamp;
        LoadImage(entry.name, false);
        stampOverride_.reset();
    }
    loadImagesNow_ = savedNow;
}

} // namespace kq::render
