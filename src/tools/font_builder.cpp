#include "tools/font_builder.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <set>

#include "media/image_decode.h"
#include "media/store.h"
#include "render/freetype_text.h"

namespace kq::tools {

namespace {

constexpr int kMaxPageSide = 4096;
constexpr int kPadding = 1;

uint32_t FirstCodePoint(std::string_view utf8) {
    if (utf8.empty()) {
        return 0;
    }
    const auto b0 = static_cast<unsigned char>(utf8[0]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra = (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || utf8.size() < static_cast<size_t>(extra) + 1) {
        return 0;
    }
    uint32_t cp = b0 & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[k]) & 0x3F);
    }
    return cp;
}

struct Placed {
    uint32_t code = 0;
    render::GlyphImage image;
    int x = 0;
    int y = 0;
};

// Shelf packing into a page of the given width; answers the height used or nothing when the
// glyphs do not fit kMaxPageSide.
std::optional<int> Pack(std::vector<Placed>& glyphs, int width) {
    int x = kPadding;
    int y = kPadding;
    int shelf = 0;
    for (Placed& g : glyphs) {
        const int w = g.image.width;
        const int h = g.image.height;
        if (w + 2 * kPadding > width) {
            return std::nullopt;
        }
        if (x + w + kPadding > width) {
            x = kPadding;
            y += shelf + kPadding;
            shelf = 0;
        }
        g.x = x;
        g.y = y;
        x += w + kPadding;
        shelf = std::max(shelf, h);
    }
    const int height = y + shelf + kPadding;
    if (height > kMaxPageSide) {
        return std::nullopt;
    }
    return height;
}

bool ValidName(std::string_view name) {
    return !name.empty() && name.size() <= 64 &&
           name.find_first_of("\\/:*?\"<>| ") == std::string_view::npos;
}

} // namespace

std::optional<BuiltFont> BuildFont(const FontBuildOptions& options) {
    if (!ValidName(options.name)) {
        spdlog::error("font builder: \"{}\" is not a usable font name", options.name);
        return std::nullopt;
    }
    if (options.pixelSize < 4 || options.pixelSize > 256) {
        spdlog::error("font builder: size {} is outside 4..256", options.pixelSize);
        return std::nullopt;
    }
    auto face = render::FreeTypeText::OpenFile(options.ttf);
    if (!face || !face->SetPixelSize(options.pixelSize)) {
        spdlog::error("font builder: cannot use the face {}", options.ttf.string());
        return std::nullopt;
    }
    const media::TextCodec codec(options.codePage);

    std::vector<Placed> glyphs;
    std::set<uint32_t> seen;
    for (int b = 32; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const uint32_t cp = FirstCodePoint(codec.ToUtf8(std::string_view(&c, 1)));
        if (cp < 32 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) || cp == 0xFFFD ||
            !seen.insert(cp).second) {
            continue;
        }
        if (cp != ' ' && !face->HasGlyph(cp)) {
            continue; // the face lacks it: leave it out rather than draw a box
        }
        std::optional<render::GlyphImage> image = face->RenderGlyph(cp);
        if (!image) {
            continue;
        }
        glyphs.push_back({cp, std::move(*image), 0, 0});
    }
    if (glyphs.empty()) {
        spdlog::error("font builder: {} has none of the code page's characters",
                      options.ttf.string());
        return std::nullopt;
    }
    // Tall glyphs first packs the shelves tighter.
    std::vector<Placed> order = std::move(glyphs);
    std::stable_sort(order.begin(), order.end(), [](const Placed& a, const Placed& b) {
        return a.image.height > b.image.height;
    });
    int width = 128;
    std::optional<int> height;
    while (width <= kMaxPageSide) {
        height = Pack(order, width);
        if (height && *height <= width) {
            break;
        }
        width *= 2;
    }
    if (!height || width > kMaxPageSide) {
        spdlog::error("font builder: the glyphs of size {} do not fit one page", options.pixelSize);
        return std::nullopt;
    }

    media::Picture page;
    page.width = width;
    page.height = *height;
    page.bitsPerPixel = 32;
    page.pixels.assign(static_cast<size_t>(width) * page.height, 0x00FFFFFFu);
    for (const Placed& g : order) {
        for (int y = 0; y < g.image.height; ++y) {
            for (int x = 0; x < g.image.width; ++x) {
                const uint32_t a = g.image.coverage[static_cast<size_t>(y) * g.image.width + x];
                page.pixels[static_cast<size_t>(g.y + y) * width + g.x + x] =
                    (a << 24) | 0x00FFFFFFu;
            }
        }
    }

    BuiltFont out;
    out.name = options.name;
    out.pageName = media::UpperAscii(options.name) + "_0.PNG";
    out.pagePng = media::EncodePng(page);
    if (out.pagePng.empty()) {
        spdlog::error("font builder: cannot encode the page of {}", options.name);
        return std::nullopt;
    }
    out.pageWidth = width;
    out.pageHeight = page.height;
    out.glyphCount = static_cast<int>(order.size());

    const int ascender = face->Ascender();
    std::sort(order.begin(), order.end(),
              [](const Placed& a, const Placed& b) { return a.code < b.code; });
    std::string& d = out.descriptor;
    d += fmt::format("info face=\"{}\" size={} bold=0 italic=0 charset=\"\" unicode=1 "
                     "stretchH=100 smooth=1 aa=1 padding=0,0,0,0 spacing={},{}\n",
                     options.name, options.pixelSize, kPadding, kPadding);
    d += fmt::format("common lineHeight={} base={} scaleW={} scaleH={} pages=1 packed=0\n",
                     face->LineHeight(), ascender, width, page.height);
    d += fmt::format("page id=0 file=\"{}\"\n", out.pageName);
    d += fmt::format("chars count={}\n", order.size());
    for (const Placed& g : order) {
        d += fmt::format("char id={} x={} y={} width={} height={} xoffset={} yoffset={} "
                         "xadvance={} page=0 chnl=15\n",
                         g.code, g.x, g.y, g.image.width, g.image.height, g.image.left,
                         ascender - g.image.top, g.image.advance);
    }
    return out;
}

bool WriteFontToArchive(const FontBuildOptions& options, const std::filesystem::path& archive,
                        bool add) {
    const std::optional<BuiltFont> font = BuildFont(options);
    if (!font) {
        return false;
    }
    const std::string descriptorName = media::TKQStore::NormaliseMemberName(options.name + ".FNT");
    const std::string pageName = media::TKQStore::NormaliseMemberName(font->pageName);

    media::StoreWriter writer;
    std::error_code ec;
    if (add && std::filesystem::exists(archive, ec)) {
        media::TKQStore existing;
        if (const media::LoadResult opened = existing.OpenPack(archive); !opened) {
            spdlog::error("font builder: {}; not changed", opened.Error().Message("pack"));
            return false;
        }
        const std::vector<media::TKQStoreEntry> entries = existing.Directory();
        for (const media::TKQStoreEntry& e : entries) {
            if (e.name == descriptorName || e.name == pageName) {
                continue;
            }
            std::optional<std::string> data = existing.ReadMember(e.name);
            if (!data) {
                spdlog::error("font builder: cannot read {} from {}; not changed", e.name,
                              archive.string());
                return false;
            }
            writer.Add(e.name, std::move(*data));
        }
    }
    writer.Add(descriptorName, font->descriptor);
    writer.Add(pageName, font->pagePng);
    if (!writer.Write(archive)) {
        return false;
    }
    spdlog::info("font builder: {} ({} glyphs, {}x{} page) written to {}", options.name,
                 font->glyphCount, font->pageWidth, font->pageHeight, archive.string());
    return true;
}

} // namespace kq::tools
