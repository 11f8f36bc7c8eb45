#include "test_elements.h"

#include "scene/db.h"
#include "scene/prop_builder.h"

#include <charconv>
#include <string>
#include <system_error>
#include <vector>

namespace kq::test {

using scene::ClassId;
using scene::PropType;
using scene::ScriptSlot;
using scene::TKQElement;
using scene::TKQProp;
using namespace scene::props;

TKQElement* TestPlaceholder::ShownInPlace() {
    TKQElement* root = DB();
    if (!root || obScreen == 0) {
        return nullptr;
    }
    for (size_t i = 0; i < root->ChildCount(); ++i) {
        TKQElement* child = root->Child(i);
        if (child->Class() == ClassId::Screen && child->Key == obScreen) {
            return child;
        }
    }
    return nullptr;
}

bool TestImList::GetProp(std::string_view name, script::Value& out) {
    if (TKQElement::GetProp(name, out)) {
        return true;
    }
    if (name != "ELEMENTS") {
        return false;
    }
    std::string text;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (const TKQElement* image = ItemImage(i)) {
            text += std::to_string(image->Key) + ";";
        }
    }
    out = script::Value::Str(std::move(text));
    return true;
}

bool TestImList::SetProp(std::string_view name, const script::Value& value) {
    if (TKQElement::SetProp(name, value)) {
        return true;
    }
    if (name != "ELEMENTS" || !DB()) {
        return false;
    }
    items_.clear();
    std::string text;
    script::ToText(value, text);
    size_t start = 0;
    for (size_t cut = text.find(';'); cut != std::string::npos; cut = text.find(';', start)) {
        int32_t key = 0;
        const auto [end, ec] = std::from_chars(text.data() + start, text.data() + cut, key);
        TKQElement* image =
            ec == std::errc() && end == text.data() + cut ? DB()->FindByKey(key) : nullptr;
        if (image && image->Class() == ClassId::Image) {
            AddItem(*image);
        }
        start = cut + 1;
    }
    return true;
}

namespace {

template <class T> TKQElement* Create(TKQElement* parent) {
    return new T(parent);
}

std::vector<TKQProp> Table(std::vector<TKQProp> own) {
    std::vector<TKQProp> list = BaseProps();
    Append(list, std::move(own));
    return list;
}

std::vector<TKQProp> Plain() {
    return Table({OrderProp(), TagProp()});
}

// The classes that keep fractional positions.
std::vector<TKQProp> Placed() {
    return Table({RXProp(), RYProp(), OrderProp(), TagProp()});
}

scene::ClassRegistry Build() {
    scene::ClassRegistry r;
    r.RegisterClass(ClassId::DB, "TKQDB", nullptr, scene::DbProps());
    r.RegisterClass(
        ClassId::Screen, "TKQScreen", &Create<TestScreen>,
        Table({BaseScript<ScriptSlot::Init>("exInit"), BaseScript<ScriptSlot::Process>("exProcess"),
               OrderProp(), TagProp(), NotSaveProp(), AutoInitProp()}));
    r.RegisterClass(
        ClassId::Image, "TKQImage", &Create<TestImage>,
        Table({Str("imImage", &GetField<&TestImage::imImage>, &SetField<&TestImage::imImage>),
               Float("Scale", PropType::Extended, &GetField<&TestImage::Scale>,
                     &SetField<&TestImage::Scale>),
               RXProp(), RYProp(), MousedNotVisProp(), BaseScript<ScriptSlot::Init>("exInit"),
               BaseScript<ScriptSlot::Process>("exProcess"),
               BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
               BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
               BaseScript<ScriptSlot::MouseDown>("exMouseDown"), OrderProp(), TagProp(),
               NotSaveProp(), MsKeepProp(),
               Int("Interpol", PropType::SLong, &GetField<&TestImage::Interpol>,
                   &SetField<&TestImage::Interpol>),
               Int("InterpolSc", PropType::SLong, &GetField<&TestImage::InterpolSc>,
                   &SetField<&TestImage::InterpolSc>)}));
    r.RegisterClass(ClassId::ExScreen, "TKQExScreen", &Create<TestPlaceholder>,
                    Table({Int("obScreen", PropType::SLong, &GetField<&TestPlaceholder::obScreen>,
                               &SetField<&TestPlaceholder::obScreen>),
                           OrderProp(), TagProp()}));
    r.RegisterClass(ClassId::Anim, "TKQAnim", &Create<TestElement<ClassId::Anim>>, Plain());
    r.RegisterClass(ClassId::AnKey, "TKQAnKey", &Create<TestElement<ClassId::AnKey>>, Plain());
    r.RegisterClass(ClassId::ExAnim, "TKQExAnim", &Create<TestElement<ClassId::ExAnim>>, Plain());
    r.RegisterClass(ClassId::Effect, "TKQEffect", &Create<TestElement<ClassId::Effect>>, Plain());
    r.RegisterClass(ClassId::ImList, "TKQImList", &Create<TestImList>, Plain());
    r.RegisterClass(ClassId::Shape, "TKQShape", &Create<TestElement<ClassId::Shape>>, Placed());
    r.RegisterClass(ClassId::Text, "TKQText", &Create<TestText>,
                    Table({Str("Font", &GetField<&TestText::Font>, &SetField<&TestText::Font>),
                           Str("Text", &GetField<&TestText::Text>, &SetField<&TestText::Text>),
                           RXProp(), RYProp(), OrderProp(), TagProp()}));
    r.RegisterClass(ClassId::ShapeEff, "TKQShapeEff", &Create<TestElement<ClassId::ShapeEff>>,
                    Placed());

    r.AllowChild(ClassId::DB, ClassId::Screen);
    r.AllowChild(ClassId::DB, ClassId::Anim);
    for (ClassId child :
         {ClassId::Image, ClassId::ExScreen, ClassId::ExAnim, ClassId::Anim, ClassId::Effect,
          ClassId::ImList, ClassId::Shape, ClassId::ShapeEff, ClassId::Text}) {
        r.AllowChild(ClassId::Screen, child);
    }
    for (ClassId child : {ClassId::Image, ClassId::ExScreen, ClassId::ExAnim, ClassId::Anim,
                          ClassId::Effect, ClassId::ImList, ClassId::Shape, ClassId::Text}) {
        r.AllowChild(ClassId::Image, child);
    }
    r.AllowChild(ClassId::Anim, ClassId::AnKey);
    r.AllowChild(ClassId::AnKey, ClassId::Image);
    r.AllowChild(ClassId::Text, ClassId::Text);
    return r;
}

} // namespace

const scene::ClassRegistry& TestClasses() {
    static const scene::ClassRegistry registry = Build();
    return registry;
}

} // namespace kq::test
