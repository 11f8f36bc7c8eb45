#include "elements/shape.h"

#include "scene/prop_builder.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

namespace {

const std::vector<std::string> kShapeTypeNames = {"stBox", "stCircle"};
const std::vector<std::string> kFilterNames = {
    "flNone",        "flWave",      "flSharpen",    "flSoft",       "flShift",     "flMosaic",
    "flSharpenMore", "flSplitBlur", "flBlurEdges",  "flBleedEdges", "flGrayscale", "flAddNoise",
    "flContrast",    "flGamma",     "flSquareWave", "flLens"};

} // namespace

TKQShape::TKQShape(TKQElement* parent) : TKQElement(parent) {}

void TKQShape::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (Masked) {
        // The children are drawn by Compose into the layer, not here.
        if (layer == Order) {
            RenderLayer(offsetX, offsetY);
        }
        return;
    }
    TKQElement::Render(layer, tint, offsetX, offsetY, flag);
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
