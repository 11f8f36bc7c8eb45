// Shapes: TKQShape (a box or pie, optionally composed off screen as a mask layer) and
// TKQShapeEff (a shape whose composed layer is drawn rotated, scaled and filtered).
//
// This module holds their properties and constructor defaults; drawing and composition join
// with the shape work.
#pragma once

#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

enum class TKQShapeType : int32_t { stBox, stCircle };
enum class TKQFilterType : int32_t {
    flNone,
    flWave,
    flSharpen,
    flSoft,
    flShift,
    flMosaic,
    flSharpenMore,
    flSplitBlur,
    flBlurEdges,
    flBleedEdges,
    flGrayscale,
    flAddNoise,
    flContrast,
    flGamma,
    flSquareWave,
    flLens,
};

class TKQShape : public scene::TKQElement {
public:
    explicit TKQShape(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Shape; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // The colour word: hxColor is its low 24 bits, hxTrans its top byte.
    uint32_t GetHxColor() const { return color_ & 0xFFFFFFu; }
    void SetHxColor(uint32_t v) { color_ = (color_ & 0xFF000000u) | (v & 0xFFFFFFu); }
    uint8_t GetHxTrans() const { return static_cast<uint8_t>(color_ >> 24); }
    void SetHxTrans(uint8_t v) { color_ = (color_ & 0xFFFFFFu) | (uint32_t{v} << 24); }
    uint32_t ColorWord() const { return color_; }

    int32_t GetObMask() const { return obMask; }
    void SetObMask(int32_t key) {
        obMask = key;
        resolvedMask_ = nullptr;
    }

    uint32_t hxDrawFx = 1284;
    int32_t SizeX = 100;
    int32_t SizeY = 100;
    bool Crop = false;
    TKQShapeType ShapeType = TKQShapeType::stBox;
    double Par1 = 0;
    double Par2 = 0;
    double Par3 = 0;
    bool Masked = false;
    int32_t obMask = 0;

private:
    uint32_t color_ = 0xFFFFFFFFu;
    scene::TKQElement* resolvedMask_ = nullptr;
};

class TKQShapeEff : public TKQShape {
public:
    explicit TKQShapeEff(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ShapeEff; }

    int32_t GetObPicture() const { return obPicture; }
    void SetObPicture(int32_t key) {
        obPicture = key;
        resolvedPicture_ = nullptr;
    }

    double Angle = 0;
    double Scale = 1;
    int32_t obPicture = 0;
    int32_t PictX = 0;
    int32_t PictY = 0;
    bool AutoRender = true;
    TKQFilterType Filter = TKQFilterType::flNone;

private:
    scene::TKQElement* resolvedPicture_ = nullptr;
};

std::vector<scene::TKQProp> ShapeProps();
std::vector<scene::TKQProp> ShapeEffProps();

} // namespace kq::elements
