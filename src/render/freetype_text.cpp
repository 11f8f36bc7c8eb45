#include "render/freetype_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <spdlog/spdlog.h>

#include <algorithm>
#include <fstream>

namespace kq::render {

namespace {

// Whole pixels from 26.6 fixed point, rounded.
int Round26(FT_Pos v) {
    return static_cast<int>((v + 32) >> 6);
}

// Next code point of a UTF-16 text; unpaired surrogates become U+FFFD.
char32_t NextCodePoint(std::u16string_view text, size_t& i) {
    const char16_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            const char16_t low = text[i++];
            return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (low - 0xDC00);
        }
        return 0xFFFD;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        return 0xFFFD;
    }
    return c;
}

constexpr size_t kMaxFaceBytes = size_t{64} << 20;

} // namespace

std::vector<uint32_t> TextBitmap::Argb(bool coverageAsAlpha) const {
    std::vector<uint32_t> out(coverage.size());
    for (size_t i = 0; i < coverage.size(); ++i) {
        const uint32_t c = coverage[i];
        const uint32_t alpha = coverageAsAlpha ? c : 0xFFu;
        out[i] = (alpha << 24) | (c << 16) | (c << 8) | c;
    }
    return out;
}

struct FreeTypeText::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string bytes; // FreeType reads the face from here for the face's lifetime

    ~Impl() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        if (library != nullptr) {
            FT_Done_FreeType(library);
        }
    }
};

FreeTypeText::FreeTypeText(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FreeTypeText::~FreeTypeText() = default;

std::unique_ptr<FreeTypeText> FreeTypeText::OpenFile(const std::filesystem::path& file) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size == 0 || size > kMaxFaceBytes) {
        spdlog::warn("freetype: cannot use the face file {}", file.string());
        return nullptr;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (!in) {
        spdlog::warn("freetype: cannot read the face file {}", file.string());
        return nullptr;
    }
    return OpenMemory(std::move(bytes));
}

std::unique_ptr<FreeTypeText> FreeTypeText::OpenMemory(std::string bytes) {
    auto impl = std::make_unique<Impl>();
    impl->bytes = std::move(bytes);
    if (FT_Init_FreeType(&impl->library) != 0) {
        spdlog::error("freetype: library initialisation failed");
        return nullptr;
    }
    if (impl->bytes.empty() || impl->bytes.size() > kMaxFaceBytes ||
        FT_New_Memory_Face(impl->library, reinterpret_cast<const FT_Byte*>(impl->bytes.data()),
                           static_cast<FT_Long>(impl->bytes.size()), 0, &impl->face) != 0) {
        spdlog::warn("freetype: not a usable font face ({} bytes)", impl->bytes.size());
        return nullptr;
    }
    if (!FT_IS_SCALABLE(impl->face)) {
        spdlog::warn("freetype: the face is not scalable");
        return nullptr;
    }
    std::unique_ptr<FreeTypeText> text(new FreeTypeText(std::move(impl)));
    text->SetPixelSize(16);
    return text;
}

bool FreeTypeText::SetPixelSize(int pixels) {
    if (pixels < 1 || pixels > 1024 ||
        FT_Set_Pixel_Sizes(impl_->face, 0, static_cast<FT_UInt>(pixels)) != 0) {
        return false;
    }
    pixelSize_ = pixels;
    return true;
}

int FreeTypeText::Ascender() const {
    return Round26(impl_->face->size->metrics.ascender);
}
int FreeTypeText::Descender() const {
    return std::max(0, -Round26(impl_->face->size->metrics.descender));
}

bool FreeTypeText::HasGlyph(char32_t code) const {
    return FT_Get_Char_Index(impl_->face, code) != 0;
}

std::optional<GlyphImage> FreeTypeText::RenderGlyph(char32_t code) {
    FT_Face face = impl_->face;
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
        return std::nullopt;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.rows != 0) {
        return std::nullopt;
    }
    GlyphImage g;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = Round26(slot->advance.x);
    g.coverage.resize(static_cast<size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        std::copy(row, row + g.width, g.coverage.begin() + static_cast<ptrdiff_t>(y) * g.width);
    }
    return g;
}

SizeI FreeTypeText::Measure(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    int width = 0;
    for (size_t i = 0; i < text.size();) {
        const char32_t cp = NextCodePoint(text, i);
        if (FT_Load_Char(impl_->face, cp, FT_LOAD_DEFAULT) == 0) {
            width += Round26(impl_->face->glyph->advance.x);
        }
    }
    return {width, LineHeight()};
}

TextBitmap FreeTypeText::Draw(std::u16string_view text) {
    TextBitmap out;
    const SizeI size = Measure(text);
    if (size.width <= 0 || size.height <= 0) {
        return out;
    }
    out.width = size.width;
    out.height = size.height;
    out.coverage.assign(static_cast<size_t>(size.width) * size.height, 0);
    const int baseline = Ascender();
    int pen = 0;
    for (size_t i = 0; i < text.size();) {
        const char32_t cp = NextCodePoint(text, i);
        const std::optional<GlyphImage> g = RenderGlyph(cp);
        if (!g) {
            continue;
        }
        for (int y = 0; y < g->height; ++y) {
            const int ty = baseline - g->top + y;
            if (ty < 0 || ty >= out.height) {
                continue;
            }
            for (int x = 0; x < g->width; ++x) {
                const int tx = pen + g->left + x;
                if (tx < 0 || tx >= out.width) {
                    continue;
                }
                uint8_t& dst = out.coverage[static_cast<size_t>(ty) * out.width + tx];
                dst = std::max(dst, g->coverage[static_cast<size_t>(y) * g->width + x]);
            }
        }
        pen += g->advance;
    }
    return out;
}

} // namespace kq::render
