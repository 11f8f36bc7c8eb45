// Text: TKQText, a box of text drawn with a bitmap font (or the Unicode rasteriser), optionally
// edited by typing when it has the keyboard focus.
//
// This module holds its properties and constructor defaults; layout and drawing join with the
// text work.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

class TKQText : public scene::TKQElement {
public:
    explicit TKQText(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Text; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

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
    uint32_t color1_ = 0xFFFFFFFFu;
    uint32_t color2_ = 0;
};

std::vector<scene::TKQProp> TextProps();

} // namespace kq::elements
