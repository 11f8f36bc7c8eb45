#include "scene/prop.h"

#include "scene/element.h"
#include "scene/prop_builder.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kq::scene {

int32_t PropInt(const PropValue& v) {
    if (auto i = std::get_if<int32_t>(&v)) {
        return *i;
    }
    if (auto d = std::get_if<double>(&v)) {
        return RoundHalfEven(*d);
    }
    const std::string& s = std::get<std::string>(v);
    int64_t parsed = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), parsed);
    if (ec != std::errc() || end != s.data() + s.size()) {
        return 0;
    }
    return static_cast<int32_t>(parsed);
}

double PropFloat(const PropValue& v) {
    if (auto d = std::get_if<double>(&v)) {
        return *d;
    }
    if (auto i = std::get_if<int32_t>(&v)) {
        return *i;
    }
    const std::string& s = std::get<std::string>(v);
    char* end = nullptr;
    double parsed = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() ? parsed : 0.0;
}

std::string PropString(const PropValue& v) {
    if (auto s = std::get_if<std::string>(&v)) {
        return *s;
    }
    if (auto i = std::get_if<int32_t>(&v)) {
        return std::to_string(*i);
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", std::get<double>(v));
    return buffer;
}

namespace props {

const std::vector<std::string> kBoolNames = {"False", "True"};
const std::vector<std::string> kPosHorNames = {"phLeft", "phCenter", "phRight"};
const std::vector<std::string> kPosVertNames = {"pvTop", "pvCenter", "pvBottom"};

TKQProp Make(std::string name, PropKind kind, PropType type, PropGetter get, PropSetter set,
             std::vector<std::string> enumNames) {
    TKQProp prop;
    prop.upperName = name;
    for (char& c : prop.upperName) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    prop.name = std::move(name);
    prop.kind = kind;
    prop.type = type;
    prop.enumNames = std::move(enumNames);
    prop.get = get;
    prop.set = set;
    return prop;
}

namespace {

PropValue GetX(const TKQElement& e) {
    return e.X();
}
bool SetX(TKQElement& e, const PropValue& v) {
    e.SetX(PropInt(v));
    return true;
}
PropValue GetY(const TKQElement& e) {
    return e.Y();
}
bool SetY(TKQElement& e, const PropValue& v) {
    e.SetY(PropInt(v));
    return true;
}
PropValue GetVis(const TKQElement& e) {
    return static_cast<int32_t>(e.Vis);
}
bool SetVis(TKQElement& e, const PropValue& v) {
    e.SetVis(PropInt(v) != 0);
    return true;
}
PropValue GetOrder(const TKQElement& e) {
    return e.Order;
}
bool SetOrder(TKQElement& e, const PropValue& v) {
    e.SetOrder(PropInt(v));
    return true;
}

} // namespace

std::vector<TKQProp> BaseProps() {
    return {
        Int("Key", PropType::SLong, &GetField<&TKQElement::Key>, &SetField<&TKQElement::Key>),
        Str("Id", &GetField<&TKQElement::Id>, &SetField<&TKQElement::Id>),
        Int("X", PropType::SLong, &GetX, &SetX),
        Int("Y", PropType::SLong, &GetY, &SetY),
        Bool("Vis", &GetVis, &SetVis),
    };
}

TKQProp MousedNotVisProp() {
    return Bool("MousedNotVis", &GetField<&TKQElement::MousedNotVis>,
                &SetField<&TKQElement::MousedNotVis>);
}
TKQProp MousedVisProp() {
    return Bool("MousedVis", &GetField<&TKQElement::MousedVis>, &SetField<&TKQElement::MousedVis>);
}
TKQProp NoMsKQDBProp() {
    return Bool("NoMsKQDB", &GetField<&TKQElement::NoMsKQDB>, &SetField<&TKQElement::NoMsKQDB>);
}
TKQProp OrderProp() {
    return Int("Order", PropType::SLong, &GetOrder, &SetOrder);
}
TKQProp MsKeepProp() {
    return Bool("MsKeep", &GetField<&TKQElement::MsKeep>, &SetField<&TKQElement::MsKeep>);
}
TKQProp NotSaveProp() {
    return Bool("NotSave", &GetField<&TKQElement::NotSave>, &SetField<&TKQElement::NotSave>);
}
TKQProp AutoInitProp() {
    return Bool("AutoInit", &GetField<&TKQElement::AutoInit>, &SetField<&TKQElement::AutoInit>);
}
TKQProp TagProp() {
    return Str("Tag", &GetField<&TKQElement::Tag>, &SetField<&TKQElement::Tag>);
}
TKQProp RXProp() {
    return Float("rX", PropType::Double, &GetField<&TKQElement::rX>, &SetField<&TKQElement::rX>);
}
TKQProp RYProp() {
    return Float("rY", PropType::Double, &GetField<&TKQElement::rY>, &SetField<&TKQElement::rY>);
}

std::vector<TKQProp> MouseScriptProps() {
    return {
        MousedNotVisProp(),
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
        MousedVisProp(),
    };
}

void Append(std::vector<TKQProp>& list, std::vector<TKQProp> props) {
    list.insert(list.end(), std::make_move_iterator(props.begin()),
                std::make_move_iterator(props.end()));
}

} // namespace props
} // namespace kq::scene
