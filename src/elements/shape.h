// Shapes: TKQShape (a box or pie, optionally composed off screen as a mask layer) and
// TKQShapeEff (a shape whose composed layer is drawn rotated, scaled and filtered).
//
// An unmasked shape draws a box or a pie on its own layer and then its children; with Crop its
// box also clips the children's drawing and mouse hits. A masked shape draws its composed layer
// instead of its children.
//
// A masked shape is an off-screen layer: Compose renders its children into a render target of
// the box's size (an entry of the database's render-target list), and, when another masked shape
// serves as its mask (obMask), combines the mask's alpha with its own colours into the
// composite texture; Render then draws one quad with the composite (valid mask) or the target.
// A shape effect can take its colours from a third masked shape (obPicture) and runs its pixel
// filter over the combined picture. The composing code lives in shape_layer.cpp.
#pragma once

#include "render/canvas.h"
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
    // Gives the render target back to the database's list and frees the composite and the
    // pie's texture.
    ~TKQShape() override;
    scene::ClassId Class() const override { return scene::ClassId::Shape; }

    // When mouse-visible: a child's hit (kept only when Crop is off or the point lies in the
    // box), else the shape itself on its own layer when the point lies in the box, edges
    // included. The whole box counts, also for a pie.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    // Masked: the composed layer only, on the own layer. Otherwise: with Crop the canvas clip
    // becomes its intersection with the box until the children are drawn; on the own layer,
    // when hxTrans is above 5, the box or the pie; then the children.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    // Renders the children into the layer's target and combines it with the mask (the frame
    // does it before the scene is drawn, the script procedure "Render" at any time).
    virtual void Compose();

    // The layer's render target (index -1 and kNoTexture until the first Compose succeeds).
    int32_t TargetIndex() const { return targetIndex_; }
    render::TextureId Target() const;
    render::SizeI TargetSize() const;
    render::TextureId Composite() const { return composite_; }
    // The mask shape when obMask names a valid one: a TKQShape (or subclass) found by Key,
    // Masked and owning a render target. Resolved on first use and kept until obMask is
    // written; 0 names no shape.
    TKQShape* ValidMask();

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
        resolvedMask_ = 0;
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
    // Compose steps 1 and 2: a target of the box's size exists (created or resized). False
    // when there is none (no canvas, or the canvas refused: logged once per shape).
    bool PrepareTarget(render::Canvas& canvas);
    // Compose step 3: the target cleared to hxColor with alpha 0, the children drawn in it
    // layer by layer at their own (rX, rY).
    void DrawChildrenIntoTarget(render::Canvas& canvas);
    // The composite's pixels as last written (the size of the target).
    std::vector<uint32_t>& CompositePixels() { return compositePixels_; }
    // Uploads CompositePixels() into the composite texture.
    void UploadComposite(render::Canvas& canvas);
    // The masked draw: one quad of the box with the composite or the target.
    void RenderLayer(double offsetX, double offsetY);
    // A masked shape found by Key through a remembered handle (0: not resolved yet).
    TKQShape* ResolveLayer(int32_t key, uint32_t& handle);
    // Guards against composing a layer again from a script run while it is being composed.
    bool composing_ = false;

private:
    void DrawPie(render::Canvas& canvas, float x, float y);
    void FreePie();

    uint32_t color_ = 0xFFFFFFFFu;
    uint32_t resolvedMask_ = 0; // element handle of the resolved mask, 0 = not resolved
    int32_t targetIndex_ = -1;
    render::TextureId composite_ = render::kNoTexture;
    std::vector<uint32_t> compositePixels_;
    bool targetFailureLogged_ = false;
    // The pie: its bitmap and texture, remade only when the box or the angles change. The
    // texture belongs to pieCanvas_.
    render::Canvas* pieCanvas_ = nullptr;
    render::TextureId pieTexture_ = render::kNoTexture;
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
    // Masked: the layer rotated by Angle and scaled by Scale; otherwise as a TKQShape.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void Compose() override;
    // Runs a filter once over the composite (alpha kept) and uploads it: only with a valid
    // mask and a composite. The next Compose overwrites it.
    void ApplyFilter(int32_t filter, double p1, double p2, double p3);
    // The picture shape when obPicture names a valid one (as ValidMask).
    TKQShape* ValidPicture();

    int32_t GetObPicture() const { return obPicture; }
    void SetObPicture(int32_t key) {
        obPicture = key;
        resolvedPicture_ = 0;
    }

    double Angle = 0;
    double Scale = 1;
    int32_t obPicture = 0;
    int32_t PictX = 0;
    int32_t PictY = 0;
    bool AutoRender = true;
    TKQFilterType Filter = TKQFilterType::flNone;

private:
    // Compose steps 4 and 5: alpha of the mask, colours of the picture or the own target.
    bool CombineEffect(render::Canvas& canvas, TKQShape& mask, TKQShape* picture);
    // Compose step 6 and ApplyFilter: the filter over the whole composite, alpha kept. False
    // when no filter ran.
    bool FilterComposite(int32_t filter, double p1, double p2, double p3);

    uint32_t resolvedPicture_ = 0; // element handle, 0 = not resolved
};

std::vector<scene::TKQProp> ShapeProps();
std::vector<scene::TKQProp> ShapeEffProps();

} // namespace kq::elements
