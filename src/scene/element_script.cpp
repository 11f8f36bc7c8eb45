// GetProp and SetProp of every element: how scripts see the scene through names.
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/element.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "script/value.h"
#include "script/var_list.h"

#include <charconv>
#include <utility>

namespace kq::scene {

namespace {

using script::Value;

bool EqualsUpper(std::string_view id, std::string_view upperName) {
    if (id.size() != upperName.size()) {
        return false;
    }
    for (size_t i = 0; i < id.size(); ++i) {
        char c = id[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != upperName[i]) {
            return false;
        }
    }
    return true;
}

Value PropToValue(const TKQProp& prop, const PropValue& v) {
    switch (prop.kind) {
    case PropKind::Integer:
    case PropKind::Enumeration:
        return Value::Int(PropInt(v));
    case PropKind::Float:
        return Value::Double(PropFloat(v));
    case PropKind::String:
        return Value::Str(PropString(v));
    }
    return {};
}

// The value converted for a published property; false when a float cannot be read.
bool ValueToProp(const TKQProp& prop, const Value& value, PropValue& out) {
    switch (prop.kind) {
    case PropKind::Integer:
    case PropKind::Enumeration: {
        // A string that is not a number gives 0.
        int32_t i = 0;
        if (!script::ToInt32(value, i)) {
            int64_t wide = 0;
            i = script::ToInt64(value, wide) ? static_cast<int32_t>(wide) : 0;
        }
        out = i;
        return true;
    }
    case PropKind::Float: {
        double d = 0;
        if (!script::ToDouble(value, d)) {
            return false;
        }
        out = d;
        return true;
    }
    case PropKind::String: {
        std::string s;
        script::ToText(value, s);
        out = std::move(s);
        return true;
    }
    }
    return false;
}

// NOWVIS: the Vis of the element and its ancestors below the screen level.
bool NowVisible(const TKQElement& e) {
    bool visible = true;
    for (const TKQElement* p = &e;
         p->Parent() && p->Parent() != p->DB() && p->Class() != ClassId::Screen; p = p->Parent()) {
        visible = visible && p->Vis;
    }
    return visible;
}

Value HandleValue(TKQElement* e) {
    return Value::LongWord(e ? e->Handle() : 0);
}

// A string in double quotes is a language key; its text replaces it when there is one.
const Value& Translated(const TKQDB* db, const Value& input, Value& scratch) {
    if (!input.IsString() || !db) {
        return input;
    }
    const std::string& s = input.RawStr();
    if (s.size() < 2 || s.front() != '"') {
        return input;
    }
    std::string text = db->Translate(std::string_view(s).substr(1, s.size() - 2));
    if (text.empty()) {
        return input;
    }
    scratch = Value::Str(std::move(text));
    return scratch;
}

} // namespace

bool TKQElement::GetProp(std::string_view name, Value& out) {
    if (vars_) {
        if (const script::TVar* var = std::as_const(*vars_).Lookup(name)) {
            out = var->value;
            return true;
        }
    }
    if (const TKQProp* prop = ClassEntry().FindProp(name)) {
        out = PropToValue(*prop, prop->get(*this));
        return true;
    }
    for (const auto& child : children_) {
        if (EqualsUpper(child->Id, name)) {
            out = HandleValue(child.get());
            return true;
        }
    }
    Runtime& rt = Rt();
    if (name == "NIL") {
        out = Value::LongWord(0);
    } else if (name == "SELF") {
        out = HandleValue(this);
    } else if (name == "CLASS") {
        std::string upper(ClassName());
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        out = Value::Str(upper);
    } else if (name == "PARENT") {
        if (!parent_) {
            return false;
        }
        out = HandleValue(parent_);
    } else if (name == "CHILDCOUNT") {
        out = Value::Int(static_cast<int32_t>(children_.size()));
    } else if (name == "PARPOS") {
        if (!parent_) {
            return false;
        }
        out = Value::Int(parent_->IndexOfChild(this) + 1);
    } else if (name.starts_with("CHILD")) {
        // "CHILD[n]" (up to the last character) or "CHILDn".
        std::string_view digits = name.substr(5);
        if (name.starts_with("CHILD[") && !digits.empty()) {
            digits = name.substr(6, name.size() - 7);
        }
        int64_t n = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
            return false;
        }
        const bool inRange = n >= 1 && static_cast<uint64_t>(n) <= children_.size();
        out = HandleValue(inRange ? children_[static_cast<size_t>(n - 1)].get() : nullptr);
    } else if (name == "KQDB") {
        out = HandleValue(db_);
    } else if (name == "CURRENTSCREEN") {
        out = HandleValue(rt.currentScreen);
    } else if (name == "PREEXKQE") {
        out = Value::LongWord(rt.scripts ? rt.scripts->PreviousSelf() : 0);
    } else if (name == "CURSOR") {
        if (!rt.cursorElement) {
            return false;
        }
        out = HandleValue(rt.cursorElement);
    } else if (name == "CURSORAT") {
        out = HandleValue(rt.hoverElement);
    } else if (name == "CURSORATNIL") {
        out = Value::Byte(rt.hoverElement ? 0 : 1);
    } else if (name == "ABSX") {
        out = Value::Int(GetAbsX());
    } else if (name == "ABSY") {
        out = Value::Int(GetAbsY());
    } else if (name == "SZX") {
        out = Value::Int(GetSizeX());
    } else if (name == "SZY") {
        out = Value::Int(GetSizeY());
    } else if (name == "MOUSEIN") {
        out = Value::Bool(rt.hoverElement == this);
    } else if (name == "MSDX") {
        out = Value::Int(rt.mouseDX);
    } else if (name == "MSDY") {
        out = Value::Int(rt.mouseDY);
    } else if (name == "MSX") {
        out = Value::Int(rt.mouseX);
    } else if (name == "MSY") {
        out = Value::Int(rt.mouseY);
    } else if (name == "IMFORLOADCOUNT") {
        out = Value::Int(rt.images ? rt.images->ImagesToLoad() : 0);
    } else if (name == "IMFORLOADPOS") {
        out = Value::Int(rt.images ? rt.images->ImagesDone() : 0);
    } else if (name == "NOWVIS") {
        out = Value::Bool(NowVisible(*this));
    } else if (name == "KEYDOWNED") {
        out = Value::Int(rt.keyDowned);
    } else if (name == "MOUSEDOWN") {
        out = Value::Bool(rt.mouseIsDown);
    } else if (name == "MOUSEINDOWN") {
        out = Value::Bool(rt.mouseIsDown && rt.hoverElement == this);
    } else {
        return false;
    }
    return true;
}

bool TKQElement::RefusesValue(std::string_view name, const Value& input) {
    if (vars_ && std::as_const(*vars_).Lookup(name)) {
        return false;
    }
    const TKQProp* prop = ClassEntry().FindProp(name);
    if (!prop) {
        return false;
    }
    Value scratch;
    PropValue converted;
    return !ValueToProp(*prop, Translated(db_, input, scratch), converted);
}

bool TKQElement::SetProp(std::string_view name, const Value& input) {
    Value translated;
    const Value* value = &Translated(db_, input, translated);
    if (vars_) {
        if (script::TVar* var = vars_->Lookup(name)) {
            var->value = *value;
            return true;
        }
    }
    if (const TKQProp* prop = ClassEntry().FindProp(name)) {
        PropValue converted;
        if (!ValueToProp(*prop, *value, converted)) {
            return false;
        }
        prop->set(*this, converted);
        return true;
    }
    if (name == "CURSOR") {
        if (!value->IsHandle()) {
            return false;
        }
        Rt().cursorElement = Rt().handles.Resolve(value->AsHandle());
        return true;
    }
    if (name == "ABSX" || name == "ABSY") {
        int32_t v = 0;
        if (!script::ToInt32(*value, v)) {
            v = 0;
        }
        name == "ABSX" ? SetAbsX(v) : SetAbsY(v);
        return true;
    }
    return false;
}

} // namespace kq::scene
