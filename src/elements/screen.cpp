#include "elements/screen.h"

#include "scene/prop_builder.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQScreen::TKQScreen(TKQElement* parent) : TKQElement(parent) {
    hxDrawFx = 1;
    MousedNotVis = true; // a screen takes the mouse and runs Process even while hidden
}

TKQExScreen::TKQExScreen(TKQElement* parent) : TKQElement(parent) { Processing = true; }

std::vector<TKQProp> ScreenProps() {
    using S = TKQScreen;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("ImBack", &GetVia<&S::GetImBack>, &SetVia<&S::SetImBack>),
        Int("SizeX", PropType::SLong, &GetVia<&S::GetSizeX>, &SetVia<&S::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&S::GetSizeY>, &SetVia<&S::SetSizeY>),
        Int("hxDrawFx", PropType::ULong, &GetField<&S::hxDrawFx>, &SetField<&S::hxDrawFx>),
        Int("Agro", PropType::SLong, &GetField<&S::Agro>, &SetField<&S::Agro>),
        Bool("Modal", &GetField<&S::Modal>, &SetField<&S::Modal>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        BaseScript<ScriptSlot::Show>("exShow"),
        TagProp(),
        Bool("AllwaysLoad", &GetField<&S::AllwaysLoad>, &SetField<&S::AllwaysLoad>),
        NotSaveProp(),
        BaseScript<ScriptSlot::Render>("exRender"),
        AutoInitProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> ExScreenProps() {
    using S = TKQExScreen;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Enum("PosHor", kPosHorNames, &GetField<&S::PosHor>, &SetField<&S::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&S::PosVert>, &SetField<&S::PosVert>),
        Int("obScreen", PropType::SLong, &GetVia<&S::GetObScreen>, &SetVia<&S::SetObScreen>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
        BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
        BaseScript<ScriptSlot::MouseMove>("exMouseMove"),
        BaseScript<ScriptSlot::MouseDown>("exMouseDown"),
        BaseScript<ScriptSlot::MouseUp>("exMouseUp"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        Bool("Modal", &GetField<&S::Modal>, &SetField<&S::Modal>),
        BaseScript<ScriptSlot::Show>("exShow"),
        TagProp(),
        NotSaveProp(),
        Bool("Processing", &GetField<&S::Processing>, &SetField<&S::Processing>),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
