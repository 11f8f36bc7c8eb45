// Text: TKQText, a box of text drawn with a bitmap font (or, in the Unicode mode, with the glyph
// sheet or the FreeType rasteriser), optionally edited by typing when it has the keyboard focus.
//
// The text comes from `Text` or, through `TextId`, from the language file. Every write of Text,
// TextId, SizeX, Font, Scale, EnEnter, AutoEnter or AutoScale lays it out again: explicit line
// breaks (CR LF and the two characters backslash + n) and, with AutoEnter, word wrapping at
// SizeX. The laid-out text holds every line followed by a 0 byte (the last line may lack it).
//
// Engine strings: single bytes are characters of the game's code page; the byte 0x01 followed by
// two bytes (low, high) is one 16-bit character. Every scan here treats such an escape as one
// unit, so its bytes are never taken for a space, a line break or a line end, and an escape cut
// short at the end of the text ends measuring and drawing there.
//
// The font is found by name in the runtime's font collection at every use: no pointer to it is
// kept, so reloading the fonts never leaves a text pointing at a freed font.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <string_view>
#include <vector>

namespace kq::render {
class BitmapFont;
class Canvas;
} // namespace kq::render

namespace kq::elements {

class TKQText : public scene::TKQElement {
public:
    explicit TKQText(scene::TKQElement* parent);
    ~TKQText() override;
    scene::ClassId Class() const override { return scene::ClassId::Text; }

    // Writing SizeX lays the text out again; writing SizeY does not.
    void SetSizeX(int32_t v) override;
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // The text itself when mouse-visible, on its own layer, and the point lies in the box
    // (both edges included); children are not asked.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    // Draws the text on its own layer (font path, glyph sheet or raster), then the children.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    // Adds "TEXTSZ" (the drawn width, TextWidth) after the element's own names.
    bool GetProp(std::string_view name, script::Value& out) override;

    // Setters that lay the text out again.
    void SetFont(std::string name);
    void SetTextId(std::string id);
    void SetText(std::string text);
    void SetAutoEnter(bool on);
    void SetEnEnter(bool on);
    void SetAutoScale(bool on);
    void SetScale(double scale);

    // Two colour words: the top and the bottom of the gradient.
    uint32_t GetHxColor1() const { return color1_ & 0xFFFFFFu; }
    void SetHxColor1(uint32_t v) { color1_ = (color1_ & 0xFF000000u) | (v & 0xFFFFFFu); }
    uint8_t GetHxTrans1() const { return static_cast<uint8_t>(color1_ >> 24); }
    void SetHxTrans1(uint8_t v) { color1_ = (color1_ & 0xFFFFFFu) | (uint32_t{v} << 24); }
    uint32_t GetHxColor2() const { return color2_ & 0xFFFFFFu; }
    void SetHxColor2(uint32_t v) { color2_ = (color2_ & 0xFF000000u) | (v & 0xFFFFFFu); }
    uint8_t GetHxTrans2() const { return static_cast<uint8_t>(color2_ >> 24); }
    void SetHxTrans2(uint8_t v) { color2_ = (color2_ & 0xFFFFFFu) | (uint32_t{v} << 24); }
    uint32_t ColorWord1() const { return color1_; }
    uint32_t ColorWord2() const { return color2_; }

    // The font of `Font` in the runtime's collection, with its scale set to `Scale`; null when
    // the collection lacks it (or there is none).
    render::BitmapFont* FindFont() const;
    // The laid-out text: each line followed by a 0 byte, the last one possibly without.
    const std::string& Laid() const { return laid_; }
    // The laid-out lines (a final 0 byte makes no empty last line; an empty text has none).
    std::vector<std::string_view> LaidLines() const;
    // Width of one line in pixels at the current scale: the font's width, or in the Unicode
    // mode the glyph table's widths times k. 0 without a font.
    double LineWidth(std::string_view line) const;
    // The width of the widest laid-out line ("TEXTSZ").
    double TextWidth() const;
    // True while this text has the keyboard focus.
    bool Focused() const;

    uint32_t hxDrawFx = 1284;
    int32_t SizeX = 100;
    int32_t SizeY = 100;
    std::string Font;
    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    std::string TextId;
    bool AutoEnter = false;
    bool EnEnter = false;
    bool AutoScale = false;
    double Interval = 0;
    std::string Text;
    double Scale = 1;
    uint32_t hxShadColor = 0;
    bool Emboss = false;
    bool Shadow = false;
    bool Uni = false;

private:
    // The Unicode mode's glyph measure: glyph-sheet pixels per table pixel (0 without a font
    // or a loaded glyph sheet).
    double GlyphScale(const render::BitmapFont* font) const;
    // Lays the text out (s: the written text; the language text when TextId is set).
    void Layout(std::string written);
    void WrapWords(render::BitmapFont& font, bool unicode);
    void RenderFont(render::Canvas& canvas, render::BitmapFont& font, double ox, double oy);
    void DrawLine(render::Canvas& canvas, render::BitmapFont& font, std::string_view line, float x,
                  float y, bool unicode, double k);
    void RenderRaster(render::Canvas& canvas, render::BitmapFont& font, double ox, double oy);
    void FreeRaster();

    uint32_t color1_ = 0xFFFFFFFFu;
    uint32_t color2_ = 0;
    std::string laid_;
    // Raster path: the texture made from the last rasterised text, and the canvas owning it.
    render::Canvas* rasterCanvas_ = nullptr;
    uint32_t rasterTexture_ = 0;
    int rasterWidth_ = 0;
    int rasterHeight_ = 0;
    bool rasterMade_ = false;
    std::string rasterText_;
};

std::vector<scene::TKQProp> TextProps();

} // namespace kq::elements
