// Bitmap fonts: the game's text fonts, loaded from the fonts archive (a ".kst" pack holding
// text-format BMFont descriptors, ".fnt", and their PNG pages), measured and drawn through the
// Canvas with a two-colour vertical gradient and optional shadow or emboss.
//
// Text is an engine string: single bytes are characters of the game's 8-bit code page, and the
// byte 0x01 followed by two bytes (low, high) is one 16-bit character code. An escape is never
// split: an escape cut short by the end of the text ends measuring and drawing there. A 0x00
// byte (the line end of laid-out text) also ends a line.
//
// Descriptor character ids are Unicode code points when the descriptor's "info" line says
// unicode=1 (what our font builder writes); otherwise they are bytes of the game's code page.
// Characters the font lacks are skipped and take no room.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "render/canvas.h"

namespace kq::media {
class TKQStore;
class TextCodec;
} // namespace kq::media

namespace kq::render {

// Effect flags of TextOut.
inline constexpr uint32_t kFontShadow = 4; // a copy in the shadow colour below and right
inline constexpr uint32_t kFontEmboss = 8; // copies in the shadow colour above-left and
                                           // below-right

// One glyph of a descriptor, in texels of its page.
struct FontGlyph {
    int x = 0, y = 0, width = 0, height = 0;
    int xOffset = 0, yOffset = 0, xAdvance = 0;
    int page = 0;
};

// The parsed text of a BMFont descriptor, before any texture exists.
struct FontDescriptor {
    std::string face;
    bool unicode = false;
    int lineHeight = 0;
    int base = 0;
    std::vector<std::string> pages; // file names relative to the descriptor
    std::unordered_map<uint32_t, FontGlyph> glyphs;
    std::unordered_map<uint64_t, int> kernings; // (first << 32 | second) -> amount
};

// Parses a text-format descriptor. Nothing (with a log line naming the file) when it lacks a
// "common" line with a positive line height or any page; bad lines are skipped; at most
// kMaxFontGlyphs glyphs and kMaxFontPages pages are kept.
inline constexpr size_t kMaxFontGlyphs = 65536;
inline constexpr size_t kMaxFontPages = 64;
std::optional<FontDescriptor> ParseFontDescriptor(std::string_view text, std::string_view name);

class BitmapFont {
public:
    const std::string& Name() const { return name_; }

    // Scale applied to every measurement and draw; values <= 0 are ignored.
    void SetScale(float scale);
    float Scale() const { return scale_; }

    // Width in scene pixels of the text's first line at the current scale: the sum of the
    // characters' advances (plus kerning).
    float TextWidth(std::string_view text) const;
    // Height of a text: the font's line height at the current scale; 0 for an empty text.
    float TextHeight(std::string_view text) const;
    float LineHeight() const { return static_cast<float>(lineHeight_) * scale_; }

    // Draws the text's first line with its top-left at (x, y): every glyph quad gets `top` on
    // its upper corners and `bottom` on its lower corners. Shadow and emboss copies are drawn
    // first, in the shadow colour (its alpha, or the text's when the shadow colour has none),
    // offset by the scale rounded up to whole pixels.
    void TextOut(Canvas& canvas, std::string_view text, float x, float y, Color top, Color bottom,
                 uint32_t blend = 0x504, uint32_t effects = 0, Color shadow = 0) const;

    // The glyph drawn for a character code (Unicode or code-page byte as the descriptor
    // says), or nothing.
    const FontGlyph* Glyph(uint32_t code) const;
    size_t PageCount() const { return pages_.size(); }
    TextureId Page(size_t i) const { return i < pages_.size() ? pages_[i] : kNoTexture; }

private:
    friend class FontCollection;
    // Calls fn(glyph, code) for each character of the first line, in order.
    template <typename Fn> void ForEachChar(std::string_view text, Fn&& fn) const;
    void DrawGlyphs(Canvas& canvas, std::string_view text, float x, float y, Color top,
                    Color bottom, uint32_t blend) const;

    std::string name_;
    float scale_ = 1.0f;
    int lineHeight_ = 0;
    std::vector<TextureId> pages_;
    std::vector<FontGlyph> glyphs_;
    std::array<int32_t, 256> byteGlyph_{}; // glyph index + 1 for each code-page byte, 0 none
    std::unordered_map<uint32_t, int32_t> wideGlyph_; // 16-bit escape code -> glyph index
    std::unordered_map<uint64_t, int> kernings_;      // by glyph indices
};

// The fonts of the game. Owns the page textures (freed by Clear and the destructor); the
// canvas must outlive the collection.
class FontCollection {
public:
    // codec maps the game's code-page bytes to Unicode for descriptors with Unicode ids.
    FontCollection(Canvas& canvas, const media::TextCodec& codec);
    ~FontCollection();
    FontCollection(const FontCollection&) = delete;
    FontCollection& operator=(const FontCollection&) = delete;

    void Clear();
    // Loads every ".fnt" member of an open pack. Answers the number of fonts added; a font
    // whose descriptor or pages cannot be read is skipped with a log line. A font with the
    // name of one already loaded replaces it.
    int LoadStore(media::TKQStore& store);
    // Opens the pack file and loads it; 0 when it cannot be opened.
    int LoadArchive(const std::filesystem::path& archive);
    // Adds one font from a descriptor; pageReader answers a page's PNG bytes by the page's
    // file name as written in the descriptor. False when the descriptor or a page is bad.
    bool AddFont(std::string_view name, std::string_view descriptor,
                 const std::function<std::optional<std::string>(std::string_view)>& pageReader);

    // The font of that name (descriptor file name without extension), compared without
    // regard to case; nothing when absent.
    BitmapFont* Find(std::string_view name);
    size_t Count() const { return fonts_.size(); }
    std::vector<std::string> Names() const;

private:
    void FreeFont(BitmapFont& font);

    Canvas& canvas_;
    std::array<uint32_t, 256> byteToUnicode_{};
    std::vector<std::unique_ptr<BitmapFont>> fonts_;
};

} // namespace kq::render
