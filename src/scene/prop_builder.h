// Helpers that build the published-property lists of the element classes from member
// pointers, so each class states its list as a plain table in file order.
//
// Ordinals pass as int32_t (unsigned 32-bit values bit-cast), floats as double, strings as
// bytes. A value of another alternative is converted as the property system converts it.
#pragma once

#include "scene/element.h"
#include "scene/prop.h"

#include <cmath>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kq::scene::props {

template <class T> struct MemberOf;
template <class C, class F> struct MemberOf<F C::*> {
    using Class = C;
    using Field = F;
};

template <class T> struct SetterOf;
template <class C, class A> struct SetterOf<void (C::*)(A)> {
    using Class = C;
    using Arg = std::remove_cvref_t<A>;
};

template <class T> struct GetterOf;
template <class C, class R> struct GetterOf<R (C::*)() const> {
    using Class = C;
    using Result = R;
};

template <class F> PropValue ToValue(const F& v) {
    if constexpr (std::is_same_v<F, std::string>) {
        return v;
    } else if constexpr (std::is_floating_point_v<F>) {
        return static_cast<double>(v);
    } else if constexpr (std::is_enum_v<F>) {
        return static_cast<int32_t>(v);
    } else {
        return static_cast<int32_t>(v);
    }
}

template <class F> F FromValue(const PropValue& v) {
    if constexpr (std::is_same_v<F, std::string>) {
        return PropString(v);
    } else if constexpr (std::is_floating_point_v<F>) {
        return static_cast<F>(PropFloat(v));
    } else if constexpr (std::is_same_v<F, bool>) {
        return PropInt(v) != 0;
    } else if constexpr (std::is_enum_v<F>) {
        return static_cast<F>(PropInt(v));
    } else {
        return static_cast<F>(static_cast<uint32_t>(PropInt(v)));
    }
}

// A plain stored field.
template <auto M> PropValue GetField(const TKQElement& e) {
    using C = typename MemberOf<decltype(M)>::Class;
    return ToValue(static_cast<const C&>(e).*M);
}
template <auto M> bool SetField(TKQElement& e, const PropValue& v) {
    using T = MemberOf<decltype(M)>;
    static_cast<typename T::Class&>(e).*M = FromValue<typename T::Field>(v);
    return true;
}

// A value read and written through member functions (setters with effects).
template <auto G> PropValue GetVia(const TKQElement& e) {
    using C = typename GetterOf<decltype(G)>::Class;
    return ToValue((static_cast<const C&>(e).*G)());
}
template <auto S> bool SetVia(TKQElement& e, const PropValue& v) {
    using T = SetterOf<decltype(S)>;
    (static_cast<typename T::Class&>(e).*S)(FromValue<typename T::Arg>(v));
    return true;
}

// An ex* text: a ScriptText field whose setter prepares the text.
template <auto M> PropValue GetScriptField(const TKQElement& e) {
    using C = typename MemberOf<decltype(M)>::Class;
    return (static_cast<const C&>(e).*M).text;
}
template <auto M> bool SetScriptField(TKQElement& e, const PropValue& v) {
    using C = typename MemberOf<decltype(M)>::Class;
    auto& self = static_cast<C&>(e);
    self.PrepareScript(self.*M, PropString(v));
    return true;
}
// One of the twelve base script texts.
template <ScriptSlot S> PropValue GetBaseScript(const TKQElement& e) {
    return e.Script(S).text;
}
template <ScriptSlot S> bool SetBaseScript(TKQElement& e, const PropValue& v) {
    e.SetScript(S, PropString(v));
    return true;
}

extern const std::vector<std::string> kBoolNames;
extern const std::vector<std::string> kPosHorNames;
extern const std::vector<std::string> kPosVertNames;

TKQProp Make(std::string name, PropKind kind, PropType type, PropGetter get, PropSetter set,
             std::vector<std::string> enumNames = {});

// Shorthands for the property tables.
inline TKQProp Int(std::string name, PropType type, PropGetter g, PropSetter s) {
    return Make(std::move(name), PropKind::Integer, type, g, s);
}
inline TKQProp Bool(std::string name, PropGetter g, PropSetter s) {
    return Make(std::move(name), PropKind::Enumeration, PropType::Bool, g, s, kBoolNames);
}
inline TKQProp Enum(std::string name, const std::vector<std::string>& names, PropGetter g,
                    PropSetter s) {
    return Make(std::move(name), PropKind::Enumeration, PropType::Enum, g, s, names);
}
inline TKQProp Float(std::string name, PropType type, PropGetter g, PropSetter s) {
    return Make(std::move(name), PropKind::Float, type, g, s);
}
inline TKQProp Str(std::string name, PropGetter g, PropSetter s) {
    return Make(std::move(name), PropKind::String, PropType::String, g, s);
}
template <ScriptSlot S> TKQProp BaseScript(std::string name) {
    return Str(std::move(name), &GetBaseScript<S>, &SetBaseScript<S>);
}
template <auto M> TKQProp Script(std::string name) {
    return Str(std::move(name), &GetScriptField<M>, &SetScriptField<M>);
}

// The five properties every class starts with: Key, Id, X, Y, Vis.
std::vector<TKQProp> BaseProps();

// Common base-declared properties that subclasses publish.
TKQProp MousedNotVisProp();
TKQProp MousedVisProp();
TKQProp NoMsKQDBProp();
TKQProp OrderProp();
TKQProp MsKeepProp();
TKQProp NotSaveProp();
TKQProp AutoInitProp();
TKQProp TagProp();
TKQProp RXProp();
TKQProp RYProp();

// The run shared by the classes that take the mouse: MousedNotVis, exVarRS, exInit, exAfterLoad,
// exMouseIn, exMouseOut, exMouseMove, exMouseDown, exMouseUp, exUpdate, exProcess, MousedVis.
std::vector<TKQProp> MouseScriptProps();

// Appends props to list (property tables are built from runs like the one above).
void Append(std::vector<TKQProp>& list, std::vector<TKQProp> props);

} // namespace kq::scene::props
