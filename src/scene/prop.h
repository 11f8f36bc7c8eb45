// Published properties: the records of the class registry that describe one property of an
// element class (name, kind, enumeration names, storage type) and how to read and write it.
//
// The property list of a class is at the same time the scene-file schema, the saved-state
// schema and the script-visible property set, so its order and kinds never change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kq::scene {

class TKQElement;

// The type kind of a published property, as the scene file distinguishes them.
enum class PropKind : uint8_t {
    Integer,     // stored as a 32-bit integer
    Enumeration, // stored as a 32-bit integer (its position); booleans are False/True
    Float,       // stored as an 8-byte double
    String,      // stored as a 32-bit length and the bytes
};

// The storage type behind the kind, for conversions that care (saved state, dumps).
enum class PropType : uint8_t {
    SLong,    // 32-bit signed
    ULong,    // 32-bit unsigned (colour words, blend values)
    UByte,    // 8-bit unsigned
    UWord,    // 16-bit unsigned
    Bool,     // boolean enumeration
    Enum,     // other enumeration
    Double,   // 64-bit float
    Extended, // extended-precision float (stored as a double in scene files)
    String,
};

// A property value as the property system passes it: ordinals (integers, booleans,
// enumerations, unsigned values bit-cast) as int32_t, floats as double, strings as bytes.
using PropValue = std::variant<int32_t, double, std::string>;

using PropGetter = PropValue (*)(const TKQElement&);
// Returns false when the setter failed (the loader then stops reading the element).
using PropSetter = bool (*)(TKQElement&, const PropValue&);

struct TKQProp {
    std::string name;
    PropKind kind = PropKind::Integer;
    std::vector<std::string> enumNames; // for enumerations, in order
    PropType type = PropType::SLong;
    std::string upperName; // name in upper case, for lookups
    PropGetter get = nullptr;
    PropSetter set = nullptr;

    bool IsOrdinal() const { return kind == PropKind::Integer || kind == PropKind::Enumeration; }
};

// Value accessors that tolerate a value of another alternative (converting as scripts would).
int32_t PropInt(const PropValue& v);
double PropFloat(const PropValue& v);
std::string PropString(const PropValue& v);

} // namespace kq::scene
