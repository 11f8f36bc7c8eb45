// Shapes: TKQShape (a box or pie, optionally composed off screen as a mask layer) and
// TKQShapeEff (a shape whose composed layer is drawn rotated, scaled and filtered).
//
// An unmasked shape draws a box or a pie on its own layer and then its children; with Crop its
// box also clips the children's drawing and mouse hits. A masked shape draws its composed layer
// instead of its children (see RenderMaskedLayer).
#pragma once

#include "scene/element.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kq::render {
class Canvas;
} // namespace kq::render

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
    ~TKQShape() override;
    scene::ClassId Class() const override { return scene::ClassId::Shape; }

    // When mouse-visible: a child's hit (kept only when Crop is off or the point lies in the
    // box), else the shape itself on its own layer when the point lies in the box, edges
    // included. The whole box counts, also for a pie.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    // Masked: the composed layer only (RenderMaskedLayer). Otherwise: with Crop the canvas clip
    // becomes its intersection with the box until the children are drawn; on the own layer,
    // when hxTrans is above 5, the box or the pie; then the children.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;

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

protected:
    // The hit test of both shape classes; the box is SizeX x SizeY times boxScale.
    scene::TKQElement* HitInBox(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                uint8_t threshold, double boxScale);
    // Draws the composed layer of a masked shape (the masked side's work).
    void RenderMaskedLayer(int32_t layer, double offsetX, double offsetY);

private:
    void DrawPie(render::Canvas& canvas, float x, float y);
    void FreePie();

    uint32_t color_ = 0xFFFFFFFFu;
    scene::TKQElement* resolvedMask_ = nullptr;
    // The pie: its bitmap and texture, remade only when the box or the angles change. The
    // texture belongs to pieCanvas_.
    render::Canvas* pieCanvas_ = nullptr;
    uint32_t pieTexture_ = 0;
    std::vector<uint32_t> pieBitmap_;
    bool pieMade_ = false;
    int32_t pieSizeX_ = 0;
    int32_t pieSizeY_ = 0;
    double piePar1_ = 0;
    double piePar2_ = 0;
};

class TKQShapeEff : public TKQShape {
public:
    explicit TKQShapeEff(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ShapeEff; }

    // As for TKQShape, with the box scaled by Scale from its top-left corner.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;

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
