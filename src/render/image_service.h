// The image service: one entry per requested picture name for the whole run.
//
// Elements never hold files, only entries (TKQIm). An entry is registered by LoadImage; its
// pixels are loaded at once or, while the game file is being read (LoadImagesNow off), later,
// when its screen acquires its images. Loading finds the file in the game folder or in the
// resource pack, reads the ".an" sprite-sheet description beside it, pairs colour images with
// their alpha masks (HERO_1.BMP + HERO.jpg, HERO_1.JPG + HERO.bmp, BALL.BMP + BALL_.jpg),
// applies the "*" (silhouette) and "#" (grey) prefixes to BMP files, computes the opaque
// bounds and uploads the result through the Canvas. The total texture memory is kept under the
// game's limit by releasing the least recently used pictures.
//
// The service owns the textures it creates and frees them when pictures are released or the
// service is destroyed; the Canvas and the GameFiles must outlive it. Everything runs on one
// thread. Entries are never removed, so references to them stay valid for the service's life.
#pragma once

#include "media/game_files.h"
#include "media/image_picture.h"
#include "media/image_sheet.h"
#include "render/canvas.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kq::render {

// A loaded picture: its texture, its pattern layout and a copy of its pixels.
class TextureImage {
public:
    // The prefix-free key (upper case) the picture was loaded for.
    const std::string& Name() const { return name_; }
    TextureId Texture() const { return texture_; }

    // The whole decoded picture (ARGB, 32 bits per pixel after any mask or conversion).
    int Width() const { return picture_.width; }
    int Height() const { return picture_.height; }
    const media::Picture& Pixels() const { return picture_; }

    const media::PatternLayout& Layout() const { return layout_; }
    // Pattern (frame) size; the visible size is the same.
    int PatternWidth() const { return layout_.patternWidth; }
    int PatternHeight() const { return layout_.patternHeight; }
    // Texture size of one pattern: the pattern size plus 2, rounded up to even.
    int TextureWidth() const { return layout_.textureWidth; }
    int TextureHeight() const { return layout_.textureHeight; }
    int PatternCount() const { return layout_.PatternCount(); }
    // Number of textures the picture is counted as: one per pattern.
    int TextureCount() const { return layout_.PatternCount(); }

    // Every picture keeps its pixels for hit tests and pixel queries.
    bool HasPixelCopy() const { return !picture_.pixels.empty(); }
    // Pixel (x, y) of a pattern, relative to the pattern's top-left corner, as ARGB; nothing
    // outside the pattern or for a pattern out of range.
    std::optional<Color> Pixel(int pattern, int x, int y) const;

    // Where the main file was found and the game names of the files used.
    media::FileSource Source() const { return source_; }
    const std::string& FileName() const { return fileName_; }
    // The alpha mask file paired with the picture (the file itself when a BMP request was the
    // mask of a JPEG), empty without pairing.
    const std::string& MaskName() const { return maskName_; }

private:
    friend class ImageService;
    std::string name_;
    TextureId texture_ = kNoTexture;
    media::Picture picture_;
    media::PatternLayout layout_;
    media::FileSource source_ = media::FileSource::None;
    std::string fileName_;
    std::string maskName_;
};

// One entry per distinct request key.
struct TKQIm {
    uint32_t lastUse = 0;                // tick of the last draw or load
    int64_t memory = 0;                  // bytes of the loaded pixels: width * height * 4
    std::unique_ptr<TextureImage> image; // none while not loaded
    std::string name;                    // the request key: the name upper-cased, prefixes kept
    int requests = 0;                    // requests since the last ClearImageMarks
    bool failed = false;                 // missing file or failed upload; never retried
    bool kept = false;                   // exempt from release and eviction (first request)
    int left = 0, top = 0, right = 0, bottom = 0; // opaque bounds, inclusive, whole-image pixels
};

class ImageService {
public:
    // The tick count (processing steps) used for last-use stamps.
    using TickSource = std::function<uint32_t()>;

    ImageService(media::GameFiles& files, Canvas& canvas, TickSource ticks);
    ~ImageService();
    ImageService(const ImageService&) = delete;
    ImageService& operator=(const ImageService&) = delete;

    // Returns the entry for name (created on first request, never none). Loads the pixels when
    // LoadImagesNow is on or the entry is kept; otherwise only registers the request and, on
    // the entry's first request since the marks were cleared, counts it in ImagesToLoad. A
    // leading "*" asks for the silhouette, then a leading "#" for the grey version of a BMP
    // picture; each spelling is an entry of its own.
    TKQIm& LoadImage(std::string_view name, bool kept);
    // The drawable picture of an entry or nullptr (not loaded, released or failed). Stamps the
    // entry's last use. With AlwaysLoad on, an unloaded entry that has not failed is requested
    // again first.
    const TextureImage* GetImage(TKQIm& entry);

    // Sets every entry's request count to 0 (before a screen change).
    void ClearImageMarks();
    // Releases the picture of every entry that is not kept and has no request since the marks
    // were cleared. ImageMemory is not lowered.
    void FreeUnusedImages();
    // Releases least recently used pictures (never the first entry nor kept ones) until the
    // counted memory is below MaxMemory; ImageMemory then counts only the releasable pictures.
    void EvictImages();
    // Releases one entry's picture (the entry stays and may load again).
    void Release(TKQIm& entry);
    // After the display was reset: ImageMemory := 0 and every loaded picture is released and
    // loaded again, keeping its last-use stamp.
    void ReloadAll();

    // The entry of a request key (prefixes included, any letter case), or nullptr.
    TKQIm* Find(std::string_view name);
    const std::vector<std::unique_ptr<TKQIm>>& Entries() const { return entries_; }

    // Requests load at once when on; when off (while the scene is read) they only register.
    bool LoadImagesNow() const { return loadImagesNow_; }
    void SetLoadImagesNow(bool on) { loadImagesNow_ = on; }
    // Loading progress counters ("IMFORLOADCOUNT", "IMFORLOADPOS").
    int ImagesToLoad() const { return imagesToLoad_; }
    void SetImagesToLoad(int value) { imagesToLoad_ = value; }
    int ImagesDone() const { return imagesDone_; }
    void SetImagesDone(int value) { imagesDone_ = value; }
    // Bytes of pixels counted as loaded.
    uint32_t ImageMemory() const { return imageMemory_; }
    void SetImageMemory(uint32_t value) { imageMemory_ = value; }
    // The game's memory limit in bytes; eviction runs after a load only for limits above
    // kEvictionThreshold, once the counted memory exceeds the limit by 10 %.
    int64_t MaxMemory() const { return maxMemory_; }
    void SetMaxMemory(int64_t bytes) { maxMemory_ = bytes; }
    static constexpr int64_t kEvictionThreshold = 25000000;
    // GetImage requests unloaded entries again.
    bool AlwaysLoad() const { return alwaysLoad_; }
    void SetAlwaysLoad(bool on) { alwaysLoad_ = on; }
    // Runs after every picture load. The player passes it on as the root's "LIProcess" event
    // (which draws one frame) while a screen change with loading is in progress.
    void SetLoadProgressHandler(std::function<void()> handler) {
        loadProgress_ = std::move(handler);
    }

private:
    struct Request;
    uint32_t Now() const;
    void Load(TKQIm& entry, const Request& request);
    bool Probe(std::string_view name, bool inPack);
    std::optional<std::string> ReadFrom(std::string_view name, bool inPack);
    media::SheetCounts ReadSheet(std::string_view imageName, bool inPack);
    bool Upload(TextureImage& image);

    media::GameFiles& files_;
    Canvas& canvas_;
    TickSource ticks_;
    std::optional<uint32_t> stampOverride_;
    std::vector<std::unique_ptr<TKQIm>> entries_;
    std::unordered_map<std::string, size_t> index_;
    bool loadImagesNow_ = false;
    int imagesToLoad_ = 0;
    int imagesDone_ = 0;
    uint32_t imageMemory_ = 0;
    int64_t maxMemory_ = 0;
    bool alwaysLoad_ = false;
    std::function<void()> loadProgress_;
};

} // namespace kq::render
