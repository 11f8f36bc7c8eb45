#include "elements/effect.h"

#include "scene/prop_builder.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQEffect::TKQEffect(TKQElement* parent) : TKQElement(parent) {
    hxColor = 0xFFFFFF;
    SetVis(true);
}

std::vector<TKQProp> EffectProps() {
    using E = TKQEffect;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("EffectFN", &GetField<&E::EffectFN>, &SetField<&E::EffectFN>),
        Float("DAnim", PropType::Double, &GetField<&E::DAnim>, &SetField<&E::DAnim>),
        Bool("Active", &GetField<&E::Active>, &SetField<&E::Active>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        Int("hxColor", PropType::ULong, &GetField<&E::hxColor>, &SetField<&E::hxColor>),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
        Script<&E::exStart>("exStart"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
