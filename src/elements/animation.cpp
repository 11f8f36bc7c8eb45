#include "elements/animation.h"

#include "scene/prop_builder.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQAnim::TKQAnim(TKQElement* parent) : TKQElement(parent) {
    hxDrawFx = 1;
    MousedNotVis = true;
}

TKQAnKey::TKQAnKey(TKQElement* parent) : TKQElement(parent) {}

TKQExAnim::TKQExAnim(TKQElement* parent) : TKQElement(parent) {}

std::vector<TKQProp> AnimProps() {
    using A = TKQAnim;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("ImBack", &GetField<&A::ImBack>, &SetField<&A::ImBack>),
        Int("SizeX", PropType::SLong, &GetVia<&A::GetSizeX>, &SetVia<&A::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&A::GetSizeY>, &SetVia<&A::SetSizeY>),
        Int("hxDrawFx", PropType::ULong, &GetField<&A::hxDrawFx>, &SetField<&A::hxDrawFx>),
        Int("Agro", PropType::SLong, &GetField<&A::Agro>, &SetField<&A::Agro>),
        Bool("Modal", &GetField<&A::Modal>, &SetField<&A::Modal>),
        Int("Pos", PropType::SLong, &GetField<&A::Pos>, &SetField<&A::Pos>),
        Bool("Morph", &GetField<&A::Morph>, &SetField<&A::Morph>),
        Bool("Rep", &GetField<&A::Rep>, &SetField<&A::Rep>),
        Bool("ShowAn", &GetField<&A::ShowAn>, &SetField<&A::ShowAn>),
        Bool("Active", &GetField<&A::Active>, &SetField<&A::Active>),
        Script<&A::exStop>("exStop"),
        Script<&A::exStart>("exStart"),
        Script<&A::exAnim>("exAnim"),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        OrderProp(),
        Float("Angle", PropType::Extended, &GetField<&A::Angle>, &SetField<&A::Angle>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        Bool("Interpol", &GetField<&A::Interpol>, &SetField<&A::Interpol>),
        TagProp(),
        NotSaveProp(),
        BaseScript<ScriptSlot::Process>("exProcess"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> AnKeyProps() {
    using K = TKQAnKey;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Int("Count", PropType::UWord, &GetField<&K::Count>, &SetField<&K::Count>),
        Bool("Morph", &GetField<&K::Morph>, &SetField<&K::Morph>),
        NotSaveProp(),
        TagProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> ExAnimProps() {
    using E = TKQExAnim;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Enum("PosHor", kPosHorNames, &GetField<&E::PosHor>, &SetField<&E::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&E::PosVert>, &SetField<&E::PosVert>),
        Int("obAnim", PropType::SLong, &GetVia<&E::GetObAnim>, &SetVia<&E::SetObAnim>),
        Int("Pos", PropType::SLong, &GetField<&E::Pos>, &SetField<&E::Pos>),
        Bool("Rep", &GetField<&E::Rep>, &SetField<&E::Rep>),
        Bool("Active", &GetField<&E::Active>, &SetField<&E::Active>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
