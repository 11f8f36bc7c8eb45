#include "elements/shape.h"

#include "media/pie_raster.h"
#include "render/canvas.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"

#include <algorithm>
#include <cmath>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

namespace {

const std::vector<std::string> kShapeTypeNames = {"stBox", "stCircle"};
const std::vector<std::string> kFilterNames = {
    "flNone",        "flWave",      "flSharpen",    "flSoft",       "flShift",     "flMosaic",
    "flSharpenMore", "flSplitBlur", "flBlurEdges",  "flBleedEdges", "flGrayscale", "flAddNoise",
    "flContrast",    "flGamma",     "flSquareWave", "flLens"};

// The pie is drawn with normal alpha blending whatever hxDrawFx says.
constexpr uint32_t kPieBlend = 1284;

render::Canvas* CanvasOf(const TKQElement& e) {
    return e.DB() ? e.Rt().canvas : nullptr;
}

// Angles compare equal when both are the same number or both are not numbers, so a script
// that writes NaN does not make the pie be remade every frame.
bool SameAngle(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

TKQShape::TKQShape(TKQElement* parent) : TKQElement(parent) {}

void TKQShape::FreePie() {
    if (pieCanvas_ && pieTexture_ != render::kNoTexture) {
        pieCanvas_->FreeTexture(pieTexture_);
    }
    pieTexture_ = render::kNoTexture;
    pieCanvas_ = nullptr;
    pieMade_ = false;
}

// ---- Hit test ----

TKQElement* TKQShape::HitInBox(int32_t layer, int32_t x, int32_t y, int32_t margin,
                               uint8_t threshold, double boxScale) {
    const bool mouseVisible = (Vis && MousedVis) || (!Vis && MousedNotVis);
    if (!mouseVisible) {
        return nullptr;
    }
    const double left = X();
    const double top = Y();
    const bool inBox =
        x >= left && x <= left + SizeX * boxScale && y >= top && y <= top + SizeY * boxScale;
    if (TKQElement* hit = TKQElement::ElementAt(layer, x, y, margin, threshold)) {
        // A cropped child is hidden outside the box, so it cannot be hit there either.
        if (!Crop || inBox) {
            return hit;
        }
    }
    if (layer == Order && inBox) {
        return this;
    }
    return nullptr;
}

TKQElement* TKQShape::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                uint8_t threshold) {
    return HitInBox(layer, x, y, margin, threshold, 1);
}

TKQElement* TKQShapeEff::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                   uint8_t threshold) {
    return HitInBox(layer, x, y, margin, threshold, Scale);
}

// ---- Drawing ----

void TKQShape::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (Masked) {
        // The children are drawn by Compose into the layer, not here.
        if (layer == Order) {
            RenderLayer(offsetX, offsetY);
        }
        return;
    }
    render::Canvas* canvas = CanvasOf(*this);
    const int32_t left = RoundHalfEven(offsetX + rX);
    const int32_t top = RoundHalfEven(offsetY + rY);
    render::RectI savedClip;
    const bool clipping = Crop && canvas;
    if (clipping) {
        savedClip = canvas->ClipRect();
        const int32_t right = RoundHalfEven(offsetX + rX + SizeX);
        const int32_t bottom = RoundHalfEven(offsetY + rY + SizeY);
        render::RectI clip;
        clip.left = std::max(savedClip.left, std::min(left, right));
        clip.top = std::max(savedClip.top, std::min(top, bottom));
        clip.right = std::min(savedClip.right, std::max(left, right));
        clip.bottom = std::min(savedClip.bottom, std::max(top, bottom));
        // No overlap: an empty rectangle, still with its edges in order.
        clip.right = std::max(clip.right, clip.left);
        clip.bottom = std::max(clip.bottom, clip.top);
        canvas->SetClipRect(clip);
    }
    if (canvas && layer == Order && GetHxTrans() > 5) {
        if (ShapeType == TKQShapeType::stCircle) {
            DrawPie(*canvas, static_cast<float>(left), static_cast<float>(top));
        } else {
            canvas->FillRect(static_cast<float>(left), static_cast<float>(top),
                             static_cast<float>(SizeX), static_cast<float>(SizeY), color_,
                             hxDrawFx);
        }
    }
    TKQElement::Render(layer, tint, offsetX, offsetY, flag);
    if (clipping) {
        canvas->SetClipRect(savedClip);
    }
}

void TKQShape::DrawPie(render::Canvas& canvas, float x, float y) {
    if (SizeX < 1 || SizeY < 1 || SizeX > render::kMaxTextureSide ||
        SizeY > render::kMaxTextureSide) {
        return;
    }
    if (pieCanvas_ != &canvas) {
        FreePie();
    }
    const bool same = pieMade_ && pieSizeX_ == SizeX && pieSizeY_ == SizeY &&
                      SameAngle(piePar1_, Par1) && SameAngle(piePar2_, Par2);
    if (!same) {
        // Remembered even when the texture cannot be made, so a refusing device is not asked
        // again every frame; the next change of the box or the angles tries again.
        pieMade_ = true;
        pieCanvas_ = &canvas;
        pieSizeX_ = SizeX;
        pieSizeY_ = SizeY;
        piePar1_ = Par1;
        piePar2_ = Par2;
        media::RasterPie(SizeX, SizeY, Par1, Par2, pieBitmap_);
        if (pieTexture_ == render::kNoTexture ||
            !canvas.UpdateTexture(pieTexture_, SizeX, SizeY, pieBitmap_)) {
            canvas.FreeTexture(pieTexture_);
            pieTexture_ = canvas.CreateTexture(SizeX, SizeY, pieBitmap_);
        }
    }
    if (pieTexture_ == render::kNoTexture || Par3 == 0) {
        return;
    }
    canvas.SetFiltering(Par3 != 1);
    canvas.DrawScaled(pieTexture_, 0, x, y, static_cast<float>(Par3), color_, kPieBlend);
}

TKQShapeEff::TKQShapeEff(TKQElement* parent) : TKQShape(parent) {}

std::vector<TKQProp> ShapeProps() {
    using S = TKQShape;
    std::vector<TKQProp> list = BaseProps();
    const std::vector<TKQProp> beforeMouse = {
        Int("hxDrawFx", PropType::ULong, &GetField<&S::hxDrawFx>, &SetField<&S::hxDrawFx>),
        Int("hxColor", PropType::ULong, &GetVia<&S::GetHxColor>, &SetVia<&S::SetHxColor>),
        Int("hxTrans", PropType::UByte, &GetVia<&S::GetHxTrans>, &SetVia<&S::SetHxTrans>),
    };
    Append(list, beforeMouse);
    Append(list, MouseScriptProps());
    const std::vector<TKQProp> afterMouse = {
        NoMsKQDBProp(),
        OrderProp(),
        RXProp(),
        RYProp(),
        Int("SizeX", PropType::SLong, &GetVia<&S::GetSizeX>, &SetVia<&S::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&S::GetSizeY>, &SetVia<&S::SetSizeY>),
        TagProp(),
        NotSaveProp(),
        Bool("Crop", &GetField<&S::Crop>, &SetField<&S::Crop>),
        Enum("ShapeType", kShapeTypeNames, &GetField<&S::ShapeType>, &SetField<&S::ShapeType>),
        Float("Par1", PropType::Double, &GetField<&S::Par1>, &SetField<&S::Par1>),
        Float("Par2", PropType::Double, &GetField<&S::Par2>, &SetField<&S::Par2>),
        Float("Par3", PropType::Double, &GetField<&S::Par3>, &SetField<&S::Par3>),
        Bool("Masked", &GetField<&S::Masked>, &SetField<&S::Masked>),
        Int("obMask", PropType::SLong, &GetVia<&S::GetObMask>, &SetVia<&S::SetObMask>),
    };
    Append(list, afterMouse);
    return list;
}

std::vector<TKQProp> ShapeEffProps() {
    using E = TKQShapeEff;
    std::vector<TKQProp> list = ShapeProps();
    const std::vector<TKQProp> own = {
        Float("Angle", PropType::Double, &GetField<&E::Angle>, &SetField<&E::Angle>),
        Float("Scale", PropType::Double, &GetField<&E::Scale>, &SetField<&E::Scale>),
        Int("obPicture", PropType::SLong, &GetVia<&E::GetObPicture>, &SetVia<&E::SetObPicture>),
        Int("PictX", PropType::SLong, &GetField<&E::PictX>, &SetField<&E::PictX>),
        Int("PictY", PropType::SLong, &GetField<&E::PictY>, &SetField<&E::PictY>),
        Bool("AutoRender", &GetField<&E::AutoRender>, &SetField<&E::AutoRender>),
        Enum("Filter", kFilterNames, &GetField<&E::Filter>, &SetField<&E::Filter>),
    };
    Append(list, own);
    return list;
}

} // namespace kq::elements
