#include "elements/image.h"

#include "scene/prop_builder.h"

#include <cmath>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQImage::TKQImage(TKQElement* parent) : TKQElement(parent) { SetVis(true); }

int32_t TKQImage::ToThousandths(double v) { return RoundHalfEven(v * 1000.0); }

TKQImList::TKQImList(TKQElement* parent) : TKQElement(parent) { NoMsKQDB = true; }

std::vector<TKQProp> ImageProps() {
    using I = TKQImage;
    std::vector<TKQProp> list = BaseProps();
    Append(list, {
        Str("imImage", &GetVia<&I::GetImImage>, &SetVia<&I::SetImImage>),
        Int("hxDrawFx", PropType::ULong, &GetField<&I::hxDrawFx>, &SetField<&I::hxDrawFx>),
        Enum("PosHor", kPosHorNames, &GetField<&I::PosHor>, &SetField<&I::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&I::PosVert>, &SetField<&I::PosVert>),
        Float("Scale", PropType::Extended, &GetVia<&I::GetScale>, &SetVia<&I::SetScale>),
        Float("Angle", PropType::Extended, &GetVia<&I::GetAngle>, &SetVia<&I::SetAngle>),
        Int("hxColor", PropType::ULong, &GetVia<&I::GetHxColor>, &SetVia<&I::SetHxColor>),
        Int("hxTrans", PropType::UByte, &GetVia<&I::GetHxTrans>, &SetVia<&I::SetHxTrans>),
    });
    Append(list, MouseScriptProps());
    Append(list, {
        Int("Anim", PropType::SLong, &GetField<&I::Anim>, &SetField<&I::Anim>),
        NoMsKQDBProp(),
        OrderProp(),
        RXProp(),
        RYProp(),
        Float("ScaleX", PropType::Extended, &GetField<&I::ScaleX>, &SetField<&I::ScaleX>),
        Float("ScaleY", PropType::Extended, &GetField<&I::ScaleY>, &SetField<&I::ScaleY>),
        Bool("Interpol", &GetField<&I::Interpol>, &SetField<&I::Interpol>),
        Bool("InterpolSc", &GetField<&I::InterpolSc>, &SetField<&I::InterpolSc>),
        MsKeepProp(),
        TagProp(),
        Str("TextId", &GetField<&I::TextId>, &SetField<&I::TextId>),
        NotSaveProp(),
    });
    return list;
}

std::vector<TKQProp> ImListProps() {
    using L = TKQImList;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Int("RowCount", PropType::SLong, &GetField<&L::RowCount>, &SetField<&L::RowCount>),
        Int("ColCount", PropType::SLong, &GetField<&L::ColCount>, &SetField<&L::ColCount>),
        Int("Space", PropType::SLong, &GetField<&L::Space>, &SetField<&L::Space>),
        Int("ScrollPos", PropType::SLong, &GetField<&L::ScrollPos>, &SetField<&L::ScrollPos>),
        Int("SizeX", PropType::SLong, &GetVia<&L::GetSizeX>, &SetVia<&L::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&L::GetSizeY>, &SetVia<&L::SetSizeY>),
        Int("ElWidth", PropType::SLong, &GetVia<&L::GetElWidth>, &SetVia<&L::SetElWidth>),
        Int("ElHeight", PropType::SLong, &GetVia<&L::GetElHeight>, &SetVia<&L::SetElHeight>),
        Float("Scale", PropType::Double, &GetField<&L::Scale>, &SetField<&L::Scale>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
        BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
        BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
        BaseScript<ScriptSlot::MouseDown>("exMouseDown"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
