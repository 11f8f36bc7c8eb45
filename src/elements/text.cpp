#include "elements/text.h"

#include "elements/image.h"
#include "render/canvas.h"
#include "render/font.h"
#include "render/freetype_text.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/db_unicode.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"
#include "script/value.h"

#include <algorithm>
#include <cmath>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

namespace {

constexpr char kLineEnd = '\0';
constexpr int kRasterPixelSize = 30;
constexpr uint32_t kRasterBlend = 1284;

// Bytes of the character starting at i: 3 for an escape (fewer when cut short), else 1.
size_t UnitLength(std::string_view s, size_t i) {
    return s[i] == kUnicodeEscape ? std::min<size_t>(3, s.size() - i) : 1;
}

// The character code of the unit at i; false for an escape cut short.
bool UnitCode(std::string_view s, size_t i, uint32_t& code) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b != 0x01) {
        code = b;
        return true;
    }
    if (s.size() - i < 3) {
        return false;
    }
    code = static_cast<unsigned char>(s[i + 1]) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[i + 2])) << 8);
    return true;
}

// A single-byte unit equal to c at i.
bool IsByte(std::string_view s, size_t i, char c) {
    return i < s.size() && s[i] == c;
}

// Offset of the anchored point inside a span: 0, span / 2 or span.
double AnchorOffset(double span, int anchor) {
    switch (anchor) {
    case 1:
        return span / 2;
    case 2:
        return span;
    default:
        return 0;
    }
}

// Calls fn(line) for each line of a laid-out text: lines end at 0 bytes outside escapes, and a
// final 0 byte makes no empty last line.
template <typename Fn> void ForEachLine(std::string_view s, Fn&& fn) {
    size_t start = 0;
    for (size_t i = 0; i < s.size(); i += UnitLength(s, i)) {
        if (s[i] == kLineEnd) {
            fn(s.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < s.size()) {
        fn(s.substr(start));
    }
}

bool HasFraction(double v) {
    return v != std::floor(v);
}

} // namespace

TKQText::TKQText(TKQElement* parent) : TKQElement(parent) {}

TKQText::~TKQText() {
    FreeRaster();
}

void TKQText::FreeRaster() {
    if (rasterCanvas_ && rasterTexture_ != render::kNoTexture) {
        rasterCanvas_->FreeTexture(rasterTexture_);
    }
    rasterTexture_ = render::kNoTexture;
    rasterCanvas_ = nullptr;
    rasterMade_ = false;
}

bool TKQText::Focused() const {
    return DB() && Rt().focusedText == this;
}

// ---- Setters ----

void TKQText::SetSizeX(int32_t v) {
    SizeX = v;
    Layout(Text);
}
void TKQText::SetFont(std::string name) {
    Font = std::move(name);
    Layout(Text);
}
void TKQText::SetTextId(std::string id) {
    TextId = std::move(id);
    Layout(Text);
}
void TKQText::SetText(std::string text) {
    Layout(std::move(text));
}
void TKQText::SetAutoEnter(bool on) {
    AutoEnter = on;
    Layout(Text);
}
void TKQText::SetEnEnter(bool on) {
    EnEnter = on;
    Layout(Text);
}
void TKQText::SetAutoScale(bool on) {
    AutoScale = on;
    Layout(Text);
}
void TKQText::SetScale(double scale) {
    Scale = scale;
    Layout(Text);
}

// ---- Measuring ----

render::BitmapFont* TKQText::FindFont() const {
    if (!DB() || !Rt().fonts || Font.empty()) {
        return nullptr;
    }
    render::BitmapFont* font = Rt().fonts->Find(Font);
    if (font) {
        // The font is shared: a scale it refuses must not leave another text's scale in force.
        const bool usable = Scale > 0 && std::isfinite(Scale);
        font->SetScale(usable ? static_cast<float>(Scale) : 1.0f);
    }
    return font;
}

double TKQText::GlyphScale(const render::BitmapFont* font) const {
    if (!font || !DB() || !Rt().images) {
        return 0;
    }
    render::TKQIm* sheet = DB()->UnicodeGlyphImage();
    const render::TextureImage* picture = sheet ? Rt().images->GetImage(*sheet) : nullptr;
    if (!picture || picture->PatternHeight() <= 0) {
        return 0;
    }
    return font->TextHeight("W") / picture->PatternHeight();
}

double TKQText::LineWidth(std::string_view line) const {
    render::BitmapFont* font = FindFont();
    if (!font) {
        return 0;
    }
    if (!DB()->UnicodeMode()) {
        return font->TextWidth(line);
    }
    const double k = GlyphScale(font);
    const std::vector<TKQDB::UnicodeGlyph>& table = DB()->UnicodeGlyphs();
    int64_t sum = 0;
    for (size_t i = 0; i < line.size(); i += UnitLength(line, i)) {
        uint32_t code = 0;
        if (line[i] == kLineEnd || !UnitCode(line, i, code)) {
            break;
        }
        if (code < table.size()) {
            sum += table[code].width;
        }
    }
    return static_cast<double>(sum) * k;
}

std::vector<std::string_view> TKQText::LaidLines() const {
    std::vector<std::string_view> lines;
    ForEachLine(laid_, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

double TKQText::TextWidth() const {
    double widest = 0;
    ForEachLine(laid_, [&](std::string_view line) { widest = std::max(widest, LineWidth(line)); });
    return widest;
}

// ---- Layout ----

void TKQText::Layout(std::string written) {
    if (!TextId.empty() && DB()) {
        written = DB()->Translate(TextId);
    }
    Text = std::move(written);
    render::BitmapFont* font = FindFont();
    if (!EnEnter || !font) {
        laid_ = Text;
        return;
    }
    laid_.clear();
    const std::string_view s = Text;
    if (s.empty()) {
        return;
    }
    // Explicit breaks: CR LF and backslash + n end a line.
    laid_.reserve(s.size() + 1);
    size_t start = 0;
    for (size_t i = 0; i < s.size();) {
        const bool crlf = s[i] == '\r' && IsByte(s, i + 1, '\n');
        const bool slashN = s[i] == '\\' && IsByte(s, i + 1, 'n');
        if (crlf || slashN) {
            laid_.append(s.substr(start, i - start)).push_back(kLineEnd);
            i += 2;
            start = i;
            continue;
        }
        i += UnitLength(s, i);
    }
    laid_.append(s.substr(start));
    if (AutoEnter) {
        WrapWords(*font, DB()->UnicodeMode());
    }
}

void TKQText::WrapWords(render::BitmapFont& font, bool unicode) {
    const std::string source = std::move(laid_);
    const std::string_view L = source;
    std::string out;
    out.reserve(L.size() + 16);
    const double k = unicode ? GlyphScale(&font) : 0;
    const std::vector<TKQDB::UnicodeGlyph>& table = DB()->UnicodeGlyphs();
    auto glyphWidth = [&](std::string_view s, size_t i) {
        uint32_t code = 0;
        if (!UnitCode(s, i, code) || code >= table.size()) {
            return 0.0;
        }
        return table[code].width * k;
    };
    const double box = SizeX;
    const double sp = LineWidth(" ");
    double w = 0;
    size_t lineStart = 0; // where the line being filled begins in out
    std::string word;
    size_t pos = 0;
    while (pos < L.size()) {
        // The word runs to the next space or line end (not inside an escape).
        size_t end = pos;
        while (end < L.size() && L[end] != ' ' && L[end] != kLineEnd) {
            end += UnitLength(L, end);
        }
        end = std::min(end, L.size());
        const bool lead = w != 0;
        word.assign(lead ? " " : "");
        word.append(L.substr(pos, end - pos));
        const double ww = LineWidth(word);
        if (w + ww <= box) {
            out += word;
            w += ww;
        } else if (ww > box && unicode) {
            // Broken between characters; a new line starts only after something is on the
            // current one, so an empty line never appears.
            const std::string_view ws = word;
            for (size_t i = 0; i < ws.size(); i += UnitLength(ws, i)) {
                const double gw = glyphWidth(ws, i);
                if (w + gw > box && out.size() > lineStart) {
                    out.push_back(kLineEnd);
                    lineStart = out.size();
                    w = gw;
                } else {
                    w += gw;
                }
                out.append(ws.substr(i, UnitLength(ws, i)));
            }
        } else if (ww > box && w == 0) {
            // Too wide for any line: it stays whole on the current line, which is still empty.
            out += word;
            w = ww;
        } else {
            // The word goes to a new line; the leading space is dropped there.
            if (lead) {
                out.push_back(kLineEnd);
                lineStart = out.size();
                out.append(word, 1);
            } else {
                out += word;
            }
            w = ww - sp;
        }
        pos = end + 1; // the separator is consumed
    }
    laid_ = std::move(out);
}

// ---- Hit test ----

TKQElement* TKQText::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t, uint8_t) {
    const bool mouseVisible = (Vis && MousedVis) || (!Vis && MousedNotVis);
    if (!mouseVisible || layer != Order) {
        return nullptr;
    }
    const int64_t left = X();
    const int64_t top = Y();
    if (x >= left && x <= left + SizeX && y >= top && y <= top + SizeY) {
        return this;
    }
    return nullptr;
}

bool TKQText::GetProp(std::string_view name, script::Value& out) {
    if (TKQElement::GetProp(name, out)) {
        return true;
    }
    if (name == "TEXTSZ") {
        out = script::Value::Double(TextWidth());
        return true;
    }
    return false;
}

// ---- Drawing ----

void TKQText::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    render::Canvas* canvas = DB() ? Rt().canvas : nullptr;
    if (canvas && layer == Order && !laid_.empty() && GetHxTrans1() > 5 && GetHxTrans2() > 5) {
        if (render::BitmapFont* font = FindFont()) {
            if (DB()->UnicodeMode() && (Focused() || Uni)) {
                RenderRaster(*canvas, *font, offsetX, offsetY);
            } else {
                RenderFont(*canvas, *font, offsetX, offsetY);
            }
        }
    }
    TKQElement::Render(layer, tint, offsetX, offsetY, flag);
}

void TKQText::RenderFont(render::Canvas& canvas, render::BitmapFont& font, double ox, double oy) {
    const bool unicode = DB()->UnicodeMode();
    const double k = unicode ? GlyphScale(&font) : 0;
    size_t count = 0;
    ForEachLine(laid_, [&](std::string_view) { ++count; });
    const double lh = font.LineHeight();
    const double n = static_cast<double>(std::max<size_t>(1, count));
    const double blockHeight = n * lh + (n - 1) * Interval;
    const double by = AnchorOffset(SizeY - blockHeight, static_cast<int>(PosVert));
    double y = 0;
    ForEachLine(laid_, [&](std::string_view line) {
        const double lw = LineWidth(line);
        const double bx = AnchorOffset(SizeX - lw, static_cast<int>(PosHor));
        const double x = ox + rX + bx;
        const double top = oy + rY + y + by;
        canvas.SetFiltering(unicode || Scale != 1 || HasFraction(x) || HasFraction(top));
        DrawLine(canvas, font, line, static_cast<float>(x), static_cast<float>(top), unicode, k);
        y += lh + Interval;
    });
}

void TKQText::DrawLine(render::Canvas& canvas, render::BitmapFont& font, std::string_view line,
                       float x, float y, bool unicode, double k) {
    if (!unicode) {
        const uint32_t effects =
            (Shadow ? render::kFontShadow : 0u) | (Emboss ? render::kFontEmboss : 0u);
        font.TextOut(canvas, line, x, y, color1_, color2_, hxDrawFx, effects, hxShadColor);
        return;
    }
    render::TKQIm* sheetEntry = DB()->UnicodeGlyphImage();
    const render::TextureImage* sheet =
        sheetEntry && Rt().images ? Rt().images->GetImage(*sheetEntry) : nullptr;
    if (!sheet || k <= 0) {
        return;
    }
    const std::vector<TKQDB::UnicodeGlyph>& table = DB()->UnicodeGlyphs();
    const double patternW = sheet->PatternWidth();
    const double patternH = sheet->PatternHeight();
    double pen = x;
    render::QuadDraw quad;
    quad.texture = sheet->Texture();
    quad.colors = {color1_, color1_, color1_, color1_};
    quad.blend = hxDrawFx;
    for (size_t i = 0; i < line.size(); i += UnitLength(line, i)) {
        uint32_t code = 0;
        if (line[i] == kLineEnd || !UnitCode(line, i, code)) {
            break;
        }
        if (code >= table.size() || table[code].width == 0) {
            continue;
        }
        // The same guard band as pictures: whole source pixels outside it are cut off.
        int64_t cutL = 0, cutR = 0, cutT = 0, cutB = 0;
        GuardCut(pen, pen + patternW * k, k, 1, cutL, cutR);
        GuardCut(y, y + patternH * k, k, 1, cutT, cutB);
        const double srcW = patternW - static_cast<double>(cutL + cutR);
        const double srcH = patternH - static_cast<double>(cutT + cutB);
        if (srcW > 0 && srcH > 0) {
            quad.pattern = table[code].glyph;
            quad.source = {static_cast<float>(cutL), static_cast<float>(cutT),
                           static_cast<float>(srcW), static_cast<float>(srcH)};
            quad.points = render::Canvas::Box(
                static_cast<float>(pen + cutL * k), static_cast<float>(y + cutT * k),
                static_cast<float>(srcW * k), static_cast<float>(srcH * k));
            canvas.DrawQuad(quad);
        }
        pen += table[code].width * k;
    }
}

void TKQText::RenderRaster(render::Canvas& canvas, render::BitmapFont& font, double ox, double oy) {
    if (rasterCanvas_ != &canvas) {
        FreeRaster();
    }
    if (!rasterMade_ || rasterText_ != Text) {
        rasterMade_ = true;
        rasterCanvas_ = &canvas;
        rasterText_ = Text;
        rasterWidth_ = 0;
        rasterHeight_ = 0;
        if (rasterTexture_ != render::kNoTexture) {
            canvas.FreeTexture(rasterTexture_);
            rasterTexture_ = render::kNoTexture;
        }
        if (render::FreeTypeText* face = DB()->UnicodeRasterFace()) {
            face->SetPixelSize(kRasterPixelSize);
            const render::TextBitmap bitmap = face->Draw(FromThreeByte(Text));
            if (bitmap.width > 0 && bitmap.height > 0) {
                // Coverage is the alpha of white text: nothing is drawn around the letters.
                rasterTexture_ =
                    canvas.CreateTexture(bitmap.width, bitmap.height, bitmap.Argb(true));
                rasterWidth_ = bitmap.width;
                rasterHeight_ = bitmap.height;
            }
        }
    }
    if (rasterTexture_ == render::kNoTexture || rasterHeight_ <= 0) {
        return;
    }
    const double m = font.TextHeight("W") / rasterHeight_ * 1.5;
    const double cx = ox + rX + AnchorOffset(SizeX, static_cast<int>(PosHor));
    const double cy = oy + rY + AnchorOffset(SizeY, static_cast<int>(PosVert));
    canvas.SetFiltering(true);
    canvas.DrawScaled(rasterTexture_, 0, static_cast<float>(cx - m * rasterWidth_ / 2),
                      static_cast<float>(cy - m * rasterHeight_ / 2), static_cast<float>(m),
                      color1_, kRasterBlend);
}

std::vector<TKQProp> TextProps() {
    using T = TKQText;
    std::vector<TKQProp> list = BaseProps();
    const std::vector<TKQProp> beforeMouse = {
        Int("hxDrawFx", PropType::ULong, &GetField<&T::hxDrawFx>, &SetField<&T::hxDrawFx>),
        Int("hxColor1", PropType::ULong, &GetVia<&T::GetHxColor1>, &SetVia<&T::SetHxColor1>),
        Int("hxTrans1", PropType::UByte, &GetVia<&T::GetHxTrans1>, &SetVia<&T::SetHxTrans1>),
        Int("hxColor2", PropType::ULong, &GetVia<&T::GetHxColor2>, &SetVia<&T::SetHxColor2>),
        Int("hxTrans2", PropType::UByte, &GetVia<&T::GetHxTrans2>, &SetVia<&T::SetHxTrans2>),
    };
    Append(list, beforeMouse);
    Append(list, MouseScriptProps());
    const std::vector<TKQProp> afterMouse = {
        NoMsKQDBProp(),
        OrderProp(),
        RXProp(),
        RYProp(),
        Int("SizeX", PropType::SLong, &GetVia<&T::GetSizeX>, &SetVia<&T::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&T::GetSizeY>, &SetVia<&T::SetSizeY>),
        Str("Font", &GetField<&T::Font>, &SetVia<&T::SetFont>),
        Enum("PosHor", kPosHorNames, &GetField<&T::PosHor>, &SetField<&T::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&T::PosVert>, &SetField<&T::PosVert>),
        Str("TextId", &GetField<&T::TextId>, &SetVia<&T::SetTextId>),
        Bool("AutoEnter", &GetField<&T::AutoEnter>, &SetVia<&T::SetAutoEnter>),
        Bool("EnEnter", &GetField<&T::EnEnter>, &SetVia<&T::SetEnEnter>),
        Bool("AutoScale", &GetField<&T::AutoScale>, &SetVia<&T::SetAutoScale>),
        Float("Interval", PropType::Double, &GetField<&T::Interval>, &SetField<&T::Interval>),
        Str("Text", &GetField<&T::Text>, &SetVia<&T::SetText>),
        Float("Scale", PropType::Double, &GetField<&T::Scale>, &SetVia<&T::SetScale>),
        TagProp(),
        NotSaveProp(),
        Int("hxShadColor", PropType::ULong, &GetField<&T::hxShadColor>, &SetField<&T::hxShadColor>),
        Bool("Emboss", &GetField<&T::Emboss>, &SetField<&T::Emboss>),
        Bool("Shadow", &GetField<&T::Shadow>, &SetField<&T::Shadow>),
        Bool("Uni", &GetField<&T::Uni>, &SetField<&T::Uni>),
    };
    Append(list, afterMouse);
    return list;
}

} // namespace kq::elements
