// FreeType rasteriser: draws Unicode (UTF-16) text with a TrueType face into an 8-bit coverage
// bitmap, white on black. Used for the texts the bitmap fonts cannot show and by the font
// builder, which takes single glyphs with their metrics.
//
// All sizes are pixels. Faces are read from a file or from bytes kept by the object. A bad or
// missing face file gives nothing (with a log line); characters the face lacks draw its
// "missing glyph" box, as text renderers usually do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "render/canvas.h"

namespace kq::render {

struct GlyphImage {
    int width = 0;
    int height = 0;
    int left = 0;                  // from the pen position to the bitmap's left column
    int top = 0;                   // from the baseline up to the bitmap's top row
    int advance = 0;               // pen advance, whole pixels
    std::vector<uint8_t> coverage; // width*height, rows top to bottom
};

struct TextBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage; // 0 black .. 255 white, rows top to bottom

    // ARGB words: grey = coverage; alpha = coverage when coverageAsAlpha (white text on a
    // transparent ground), else opaque (white on black).
    std::vector<uint32_t> Argb(bool coverageAsAlpha) const;
};

class FreeTypeText {
public:
    static std::unique_ptr<FreeTypeText> OpenFile(const std::filesystem::path& file);
    static std::unique_ptr<FreeTypeText> OpenMemory(std::string bytes);
    ~FreeTypeText();
    FreeTypeText(const FreeTypeText&) = delete;
    FreeTypeText& operator=(const FreeTypeText&) = delete;

    // Pixel height of the em square, 1..1024; false (size unchanged) otherwise.
    bool SetPixelSize(int pixels);
    int PixelSize() const { return pixelSize_; }
    // Line metrics at the current size: ascender above the baseline, descender below it
    // (positive), line height = ascender + descender.
    int Ascender() const;
    int Descender() const;
    int LineHeight() const { return Ascender() + Descender(); }

    bool HasGlyph(char32_t code) const;
    // One glyph, rendered anti-aliased; nothing when FreeType cannot render it.
    std::optional<GlyphImage> RenderGlyph(char32_t code);

    // Extent of a UTF-16 text drawn on one line: the sum of the advances by the line height.
    // Unpaired surrogates count as U+FFFD.
    SizeI Measure(std::u16string_view text);
    // The text drawn on one line into a bitmap of exactly Measure(text), baseline at
    // Ascender(). Empty bitmap for an empty text.
    TextBitmap Draw(std::u16string_view text);

private:
    struct Impl;
    explicit FreeTypeText(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    int pixelSize_ = 0;
};

} // namespace kq::render
