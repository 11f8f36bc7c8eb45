#include "render/font.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "media/image_decode.h"
#include "media/store.h"
#include "media/text_encoding.h"

namespace kq::render {

namespace {

constexpr int kMaxGlyphSide = kMaxTextureSide;

// One "key=value" pair of a descriptor line; values may be quoted.
struct Pair {
    std::string_view key;
    std::string_view value;
};

// Splits a line into its tag and pairs; at most 32 pairs are looked at.
std::string_view SplitLine(std::string_view line, std::vector<Pair>& pairs) {
    pairs.clear();
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
    };
    skipSpace();
    const size_t tagStart = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        ++i;
    }
    const std::string_view tag = line.substr(tagStart, i - tagStart);
    while (i < line.size() && pairs.size() < 32) {
        skipSpace();
        const size_t keyStart = i;
        while (i < line.size() && line[i] != '=' && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        const std::string_view key = line.substr(keyStart, i - keyStart);
        if (i >= line.size() || line[i] != '=') {
            continue; // a word without value: ignored
        }
        ++i;
        std::string_view value;
        if (i < line.size() && line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? line.size() : close;
            value = line.substr(i + 1, end - i - 1);
            i = close == std::string_view::npos ? line.size() : close + 1;
        } else {
            const size_t valueStart = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                ++i;
            }
            value = line.substr(valueStart, i - valueStart);
        }
        if (!key.empty()) {
            pairs.push_back({key, value});
        }
    }
    return tag;
}

std::optional<int> IntOf(const std::vector<Pair>& pairs, std::string_view key) {
    for (const Pair& p : pairs) {
        if (p.key == key) {
            int v = 0;
            const auto [ptr, ec] =
                std::from_chars(p.value.data(), p.value.data() + p.value.size(), v);
            if (ec != std::errc{}) {
                return std::nullopt;
            }
            return v;
        }
    }
    return std::nullopt;
}

std::string_view StringOf(const std::vector<Pair>& pairs, std::string_view key) {
    for (const Pair& p : pairs) {
        if (p.key == key) {
            return p.value;
        }
    }
    return {};
}

// Decodes the first code point of a UTF-8 string (what TextCodec gives for one byte).
uint32_t FirstCodePoint(std::string_view utf8) {
    if (utf8.empty()) {
        return 0;
    }
    const auto b0 = static_cast<unsigned char>(utf8[0]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra = 0;
    uint32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (utf8.size() < static_cast<size_t>(extra) + 1) {
        return 0;
    }
    for (int k = 1; k <= extra; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[k]) & 0x3F);
    }
    return cp;
}

std::string FileStem(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = file.find_last_of('.');
    if (dot != std::string_view::npos) {
        file = file.substr(0, dot);
    }
    return std::string(file);
}

Color WithAlphaOf(Color rgbSource, Color alphaSource) {
    const Color alpha =
        (rgbSource >> 24) != 0 ? (rgbSource & 0xFF000000u) : (alphaSource & 0xFF000000u);
    return (rgbSource & 0x00FFFFFFu) | alpha;
}

} // namespace

std::optional<FontDescriptor> ParseFontDescriptor(std::string_view text, std::string_view name) {
    FontDescriptor d;
    bool haveCommon = false;
    std::vector<Pair> pairs;
    pairs.reserve(32);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::string_view tag = SplitLine(line, pairs);
        if (tag == "info") {
            d.face = std::string(StringOf(pairs, "face"));
            d.unicode = IntOf(pairs, "unicode").value_or(0) != 0;
        } else if (tag == "common") {
            d.lineHeight = IntOf(pairs, "lineHeight").value_or(0);
            d.base = IntOf(pairs, "base").value_or(0);
            haveCommon = true;
        } else if (tag == "page") {
            const std::optional<int> id = IntOf(pairs, "id");
            const std::string_view file = StringOf(pairs, "file");
            if (!id || *id < 0 || static_cast<size_t>(*id) >= kMaxFontPages || file.empty()) {
                continue;
            }
            if (d.pages.size() <= static_cast<size_t>(*id)) {
                d.pages.resize(static_cast<size_t>(*id) + 1);
            }
            d.pages[static_cast<size_t>(*id)] = std::string(file);
        } else if (tag == "char") {
            const std::optional<int> id = IntOf(pairs, "id");
            if (!id || *id < 0 || *id > 0x10FFFF || d.glyphs.size() >= kMaxFontGlyphs) {
                continue;
            }
            FontGlyph g;
            g.x = IntOf(pairs, "x").value_or(0);
            g.y = IntOf(pairs, "y").value_or(0);
            g.width = std::clamp(IntOf(pairs, "width").value_or(0), 0, kMaxGlyphSide);
            g.height = std::clamp(IntOf(pairs, "height").value_or(0), 0, kMaxGlyphSide);
            g.xOffset =
                std::clamp(IntOf(pairs, "xoffset").value_or(0), -kMaxGlyphSide, kMaxGlyphSide);
            g.yOffset =
                std::clamp(IntOf(pairs, "yoffset").value_or(0), -kMaxGlyphSide, kMaxGlyphSide);
            g.xAdvance =
                std::clamp(IntOf(pairs, "xadvance").value_or(0), -kMaxGlyphSide, kMaxGlyphSide);
            g.page = IntOf(pairs, "page").value_or(0);
            d.glyphs[static_cast<uint32_t>(*id)] = g;
        } else if (tag == "kerning") {
            const std::optional<int> first = IntOf(pairs, "first");
            const std::optional<int> second = IntOf(pairs, "second");
            const std::optional<int> amount = IntOf(pairs, "amount");
            if (first && second && amount && *first >= 0 && *second >= 0 &&
                d.kernings.size() < kMaxFontGlyphs) {
                d.kernings[(static_cast<uint64_t>(*first) << 32) | static_cast<uint32_t>(*second)] =
                    std::clamp(*amount, -kMaxGlyphSide, kMaxGlyphSide);
            }
        }
    }
    const bool anyPage = std::any_of(d.pages.begin(), d.pages.end(),
                                     [](const std::string& p) { return !p.empty(); });
    if (!haveCommon || d.lineHeight <= 0 || !anyPage) {
        spdlog::warn("fonts: {} is not a usable font descriptor (no line height or no page)", name);
        return std::nullopt;
    }
    return d;
}

// ---- BitmapFont ----------------------------------------------------------------------------

void BitmapFont::SetScale(float scale) {
    if (scale > 0 && std::isfinite(scale)) {
        scale_ = scale;
    }
}

const FontGlyph* BitmapFont::Glyph(uint32_t code) const {
    auto it = wideGlyph_.find(code);
    return it == wideGlyph_.end() ? nullptr : &glyphs_[static_cast<size_t>(it->second)];
}

template <typename Fn> void BitmapFont::ForEachChar(std::string_view text, Fn&& fn) const {
    int32_t previous = -1;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == 0) {
            return;
        }
        int32_t index = -1;
        if (b == 1) {
            if (i + 2 >= text.size()) {
                return; // an escape cut short ends the text
            }
            const uint32_t code =
                static_cast<unsigned char>(text[i + 1]) |
                (static_cast<uint32_t>(static_cast<unsigned char>(text[i + 2])) << 8);
            i += 3;
            auto it = wideGlyph_.find(code);
            if (it != wideGlyph_.end()) {
                index = it->second;
            }
        } else {
            ++i;
            index = byteGlyph_[b] - 1;
        }
        if (index < 0) {
            continue;
        }
        int kerning = 0;
        if (previous >= 0 && !kernings_.empty()) {
            auto k = kernings_.find((static_cast<uint64_t>(previous) << 32) |
                                    static_cast<uint32_t>(index));
            if (k != kernings_.end()) {
                kerning = k->second;
            }
        }
        fn(glyphs_[static_cast<size_t>(index)], kerning);
        previous = index;
    }
}

float BitmapFont::TextWidth(std::string_view text) const {
    int advance = 0;
    ForEachChar(text, [&](const FontGlyph& g, int kerning) { advance += g.xAdvance + kerning; });
    return static_cast<float>(advance) * scale_;
}

float BitmapFont::TextHeight(std::string_view text) const {
    return text.empty() ? 0.0f : LineHeight();
}

void BitmapFont::DrawGlyphs(Canvas& canvas, std::string_view text, float x, float y, Color top,
                            Color bottom, uint32_t blend) const {
    QuadDraw quad;
    quad.blend = blend;
    quad.colors = {top, top, bottom, bottom};
    float pen = x;
    ForEachChar(text, [&](const FontGlyph& g, int kerning) {
        pen += static_cast<float>(kerning) * scale_;
        if (g.width > 0 && g.height > 0 && static_cast<size_t>(g.page) < pages_.size()) {
            const float gx = pen + static_cast<float>(g.xOffset) * scale_;
            const float gy = y + static_cast<float>(g.yOffset) * scale_;
            quad.texture = pages_[static_cast<size_t>(g.page)];
            quad.points = Canvas::Box(gx, gy, static_cast<float>(g.width) * scale_,
                                      static_cast<float>(g.height) * scale_);
            quad.source = SourceRect{static_cast<float>(g.x), static_cast<float>(g.y),
                                     static_cast<float>(g.width), static_cast<float>(g.height)};
            canvas.DrawQuad(quad);
        }
        pen += static_cast<float>(g.xAdvance) * scale_;
    });
}

void BitmapFont::TextOut(Canvas& canvas, std::string_view text, float x, float y, Color top,
                         Color bottom, uint32_t blend, uint32_t effects, Color shadow) const {
    if ((effects & (kFontShadow | kFontEmboss)) != 0) {
        const float d = std::max(1.0f, std::ceil(scale_));
        const Color shadowTop = WithAlphaOf(shadow, top);
        const Color shadowBottom = WithAlphaOf(shadow, bottom);
        if ((effects & kFontEmboss) != 0) {
            DrawGlyphs(canvas, text, x - d, y - d, shadowTop, shadowBottom, blend);
        }
        DrawGlyphs(canvas, text, x + d, y + d, shadowTop, shadowBottom, blend);
    }
    DrawGlyphs(canvas, text, x, y, top, bottom, blend);
}

// ---- FontCollection ------------------------------------------------------------------------

FontCollection::FontCollection(Canvas& canvas, const media::TextCodec& codec) : canvas_(canvas) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const uint32_t cp = FirstCodePoint(codec.ToUtf8(std::string_view(&c, 1)));
        byteToUnicode_[static_cast<size_t>(b)] = cp == 0xFFFD ? 0 : cp;
    }
}

FontCollection::~FontCollection() {
    Clear();
}

void FontCollection::FreeFont(BitmapFont& font) {
    for (TextureId page : font.pages_) {
        canvas_.FreeTexture(page);
    }
    font.pages_.clear();
}

void FontCollection::Clear() {
    for (auto& font : fonts_) {
        FreeFont(*font);
    }
    fonts_.clear();
}

bool FontCollection::AddFont(
    std::string_view name, std::string_view descriptorText,
    const std::function<std::optional<std::string>(std::string_view)>& pageReader) {
    std::optional<FontDescriptor> d = ParseFontDescriptor(descriptorText, name);
    if (!d) {
        return false;
    }
    auto font = std::make_unique<BitmapFont>();
    font->name_ = std::string(name);
    font->lineHeight_ = d->lineHeight;
    std::vector<SizeI> pageSizes;
    bool ok = true;
    for (const std::string& pageFile : d->pages) {
        if (pageFile.empty()) {
            font->pages_.push_back(kNoTexture);
            pageSizes.push_back({});
            continue;
        }
        const std::optional<std::string> bytes = pageReader(pageFile);
        if (!bytes) {
            spdlog::warn("fonts: page {} of font {} is missing", pageFile, name);
            ok = false;
            break;
        }
        const media::DecodedPicture picture = media::DecodePng(*bytes, pageFile);
        if (!picture) {
            spdlog::warn("{}", picture.Error().Message("image"));
            ok = false;
            break;
        }
        const TextureId texture =
            canvas_.CreateTexture(picture->width, picture->height, picture->pixels);
        if (texture == kNoTexture) {
            spdlog::warn("fonts: page {} of font {} could not be uploaded", pageFile, name);
            ok = false;
            break;
        }
        font->pages_.push_back(texture);
        pageSizes.push_back({picture->width, picture->height});
    }
    if (!ok) {
        FreeFont(*font);
        return false;
    }

    // Glyphs: a rectangle outside its page keeps its advance but draws nothing.
    std::unordered_map<uint32_t, int32_t> indexOfId;
    font->glyphs_.reserve(d->glyphs.size());
    for (auto [id, g] : d->glyphs) {
        const bool pageOk = g.page >= 0 && static_cast<size_t>(g.page) < pageSizes.size();
        const SizeI page = pageOk ? pageSizes[static_cast<size_t>(g.page)] : SizeI{};
        if (!pageOk || g.x < 0 || g.y < 0 || g.x + g.width > page.width ||
            g.y + g.height > page.height) {
            g.width = 0;
            g.height = 0;
            g.page = 0;
        }
        const auto index = static_cast<int32_t>(font->glyphs_.size());
        font->glyphs_.push_back(g);
        indexOfId[id] = index;
        if (id <= 0xFFFF) {
            font->wideGlyph_[id] = index;
        }
    }
    for (int b = 0; b < 256; ++b) {
        const uint32_t code =
            d->unicode ? byteToUnicode_[static_cast<size_t>(b)] : static_cast<uint32_t>(b);
        if (b < 2 || (d->unicode && code == 0)) {
            continue; // 0 ends a line, 1 starts an escape
        }
        auto it = indexOfId.find(code);
        if (it != indexOfId.end()) {
            font->byteGlyph_[static_cast<size_t>(b)] = it->second + 1;
        }
    }
    for (const auto& [key, amount] : d->kernings) {
        auto first = indexOfId.find(static_cast<uint32_t>(key >> 32));
        auto second = indexOfId.find(static_cast<uint32_t>(key & 0xFFFFFFFFu));
        if (first != indexOfId.end() && second != indexOfId.end()) {
            font->kernings_[(static_cast<uint64_t>(first->second) << 32) |
                            static_cast<uint32_t>(second->second)] = amount;
        }
    }

    for (auto& existing : fonts_) {
        if (media::EqualsNoCaseAscii(existing->name_, font->name_)) {
            FreeFont(*existing);
            existing = std::move(font);
            return true;
        }
    }
    fonts_.push_back(std::move(font));
    return true;
}

int FontCollection::LoadStore(media::TKQStore& store) {
    // Copy the names first: reading members does not change the directory, but stay safe.
    std::vector<std::string> descriptors;
    for (const media::TKQStoreEntry& e : store.Directory()) {
        const std::string upper = media::UpperAscii(e.name);
        if (upper.size() > 4 && upper.ends_with(".FNT")) {
            descriptors.push_back(e.name);
        }
    }
    int loaded = 0;
    for (const std::string& member : descriptors) {
        const std::optional<std::string> text = store.ReadMember(member);
        if (!text) {
            spdlog::warn("fonts: cannot read {} from {}", member, store.FileName().string());
            continue;
        }
        const size_t slash = member.find_last_of("\\/");
        const std::string folder = slash == std::string::npos ? "" : member.substr(0, slash + 1);
        auto reader = [&](std::string_view page) -> std::optional<std::string> {
            return store.ReadMember(folder + std::string(page));
        };
        if (AddFont(FileStem(member), *text, reader)) {
            ++loaded;
        }
    }
    return loaded;
}

int FontCollection::LoadArchive(const std::filesystem::path& archive) {
    media::TKQStore store;
    if (const media::LoadResult opened = store.OpenPack(archive); !opened) {
        spdlog::warn("fonts: {}", opened.Error().Message("fonts archive"));
        return 0;
    }
    return LoadStore(store);
}

BitmapFont* FontCollection::Find(std::string_view name) {
    for (auto& font : fonts_) {
        if (media::EqualsNoCaseAscii(font->name_, name)) {
            return font.get();
        }
    }
    return nullptr;
}

std::vector<std::string> FontCollection::Names() const {
    std::vector<std::string> names;
    names.reserve(fonts_.size());
    for (const auto& font : fonts_) {
        names.push_back(font->name_);
    }
    return names;
}

} // namespace kq::render
