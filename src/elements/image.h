// Pictures on screen: TKQImage, one picture with anchor, scale, angle and tint, and
// TKQImList, a scrolling grid of images.
//
// This module holds their properties and constructor defaults; drawing, sizing from the
// picture, pixel hit tests and the grid layout join with the player.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

class TKQImage : public scene::TKQElement {
public:
    explicit TKQImage(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Image; }

    const std::string& GetImImage() const { return imImage_; }
    void SetImImage(std::string name) { imImage_ = std::move(name); }

    // Scale and Angle are kept as signed thousandths: writing stores round(value * 1000).
    double GetScale() const { return scale_ / 1000.0; }
    void SetScale(double v) { scale_ = ToThousandths(v); }
    double GetAngle() const { return angle_ / 1000.0; }
    void SetAngle(double v) { angle_ = ToThousandths(v); }

    // The colour word: hxColor is its low 24 bits, hxTrans its top byte.
    uint32_t GetHxColor() const { return color_ & 0xFFFFFFu; }
    void SetHxColor(uint32_t v) { color_ = (color_ & 0xFF000000u) | (v & 0xFFFFFFu); }
    uint8_t GetHxTrans() const { return static_cast<uint8_t>(color_ >> 24); }
    void SetHxTrans(uint8_t v) { color_ = (color_ & 0xFFFFFFu) | (uint32_t{v} << 24); }
    uint32_t ColorWord() const { return color_; }

    static int32_t ToThousandths(double v);

    uint32_t hxDrawFx = 1284;
    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t Anim = 0;
    double ScaleX = 1;
    double ScaleY = 1;
    bool Interpol = true;
    bool InterpolSc = true;
    std::string TextId;

private:
    std::string imImage_;
    int32_t scale_ = 1000;
    int32_t angle_ = 0;
    uint32_t color_ = 0xFFFFFFFFu;
};

class TKQImList : public scene::TKQElement {
public:
    explicit TKQImList(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ImList; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // Cell sizes are computed from the grid; writes are ignored.
    int32_t GetElWidth() const { return ElWidth; }
    void SetElWidth(int32_t) {}
    int32_t GetElHeight() const { return ElHeight; }
    void SetElHeight(int32_t) {}

    int32_t RowCount = 0;
    int32_t ColCount = 0;
    int32_t Space = 0;
    int32_t ScrollPos = 0;
    int32_t SizeX = 0;
    int32_t SizeY = 0;
    int32_t ElWidth = 0;
    int32_t ElHeight = 0;
    double Scale = 0;
};

std::vector<scene::TKQProp> ImageProps();
std::vector<scene::TKQProp> ImListProps();

} // namespace kq::elements
