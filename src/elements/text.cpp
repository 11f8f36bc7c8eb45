#include "elements/text.h"

#include "scene/prop_builder.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQText::TKQText(TKQElement* parent) : TKQElement(parent) {}

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
        Str("Font", &GetField<&T::Font>, &SetField<&T::Font>),
        Enum("PosHor", kPosHorNames, &GetField<&T::PosHor>, &SetField<&T::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&T::PosVert>, &SetField<&T::PosVert>),
        Str("TextId", &GetField<&T::TextId>, &SetField<&T::TextId>),
        Bool("AutoEnter", &GetField<&T::AutoEnter>, &SetField<&T::AutoEnter>),
        Bool("EnEnter", &GetField<&T::EnEnter>, &SetField<&T::EnEnter>),
        Bool("AutoScale", &GetField<&T::AutoScale>, &SetField<&T::AutoScale>),
        Float("Interval", PropType::Double, &GetField<&T::Interval>, &SetField<&T::Interval>),
        Str("Text", &GetField<&T::Text>, &SetField<&T::Text>),
        Float("Scale", PropType::Double, &GetField<&T::Scale>, &SetField<&T::Scale>),
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
