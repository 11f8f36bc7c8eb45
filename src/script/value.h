// Script values: the ten variant kinds of the script language and the operations on them.
//
// A Value is a small tagged record. Integer kinds are kept in a 64-bit field, Double in a
// double field and String as a byte string in the game's code page. Operations never throw:
// they answer false when an operand cannot be converted, and the interpreter turns that into
// its "Invalid operand types" error.
//
// Promotion scheme of the arithmetic (the language leaves it open, this is ours):
// - Empty reads as 0 (and as '' next to a String), Boolean as 0/1;
// - a String takes part in arithmetic as the number it reads as (an integer text as an
//   integer, a decimal text as a Double); a text that is not a number is a failure;
// - any Double operand makes the result Double;
// - an integer result is Int64 when an operand is Int64 (the kind Int gives), otherwise Integer
//   while it fits in 32 bits and Int64 beyond; a result past 64 bits becomes a Double. This
//   holds for + - * AND OR XOR SHL SHR, unary minus and the library's Mod, Div, Inc and Dec.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kq::script {

enum class VarKind : uint8_t {
    Empty,
    Boolean,
    Integer,
    Byte,
    Word,
    ShortInt,
    LongWord,
    Int64,
    Double,
    String,
};

// "Empty", "Boolean", "Integer", ... as printed by the tools.
std::string_view KindName(VarKind kind);

// Element handle carried by LongWord values; 0 is none.
using Handle = uint32_t;

class Value {
public:
    Value() = default;

    static Value Bool(bool b) { return Value(VarKind::Boolean, b ? 1 : 0); }
    static Value Int(int32_t v) { return Value(VarKind::Integer, v); }
    static Value Byte(uint8_t v) { return Value(VarKind::Byte, v); }
    static Value Word(uint16_t v) { return Value(VarKind::Word, v); }
    static Value ShortInt(int8_t v) { return Value(VarKind::ShortInt, v); }
    static Value LongWord(uint32_t v) { return Value(VarKind::LongWord, v); }
    static Value Int64(int64_t v) { return Value(VarKind::Int64, v); }
    static Value Double(double v) {
        Value r;
        r.kind_ = VarKind::Double;
        r.d_ = v;
        return r;
    }
    static Value Str(std::string s) {
        Value r;
        r.kind_ = VarKind::String;
        r.s_ = std::move(s);
        return r;
    }
    // An integer result: Integer when it fits in 32 bits, else Int64.
    static Value IntegerOrInt64(int64_t v);
    // An integer result of operands of which one was Int64 when `wide`: Int64 then, else as
    // IntegerOrInt64.
    static Value IntegerResult(int64_t v, bool wide) { return wide ? Int64(v) : IntegerOrInt64(v); }

    VarKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == VarKind::Empty; }
    bool IsString() const { return kind_ == VarKind::String; }
    bool IsDouble() const { return kind_ == VarKind::Double; }
    // Boolean and the six integer kinds.
    bool IsOrdinal() const { return kind_ != VarKind::Empty && kind_ < VarKind::Double; }
    bool IsIntegerKind() const { return kind_ >= VarKind::Integer && kind_ <= VarKind::Int64; }
    bool IsHandle() const { return kind_ == VarKind::LongWord; }

    // Raw access; only meaningful for the matching kinds.
    int64_t RawInt() const { return i_; }
    double RawDouble() const { return d_; }
    const std::string& RawStr() const { return s_; }
    std::string& MutableStr() { return s_; }
    Handle AsHandle() const { return kind_ == VarKind::LongWord ? static_cast<Handle>(i_) : 0; }

    // Equality of kind and content (used by tests and Decode/Min/Max).
    bool SameAs(const Value& other) const;

private:
    Value(VarKind kind, int64_t v) : kind_(kind), i_(v) {}

    VarKind kind_ = VarKind::Empty;
    int64_t i_ = 0;
    double d_ = 0.0;
    std::string s_;
};

// A number read from a value: either an integer or a floating value.
struct Number {
    bool isFloat = false;
    bool wide = false; // read from an Int64 value
    int64_t i = 0;
    double d = 0.0;
    double AsDouble() const { return isFloat ? d : static_cast<double>(i); }
};

// Reads a decimal text: optional blanks, optional sign, digits with at most one ".", an
// optional exponent. Integer texts that fit in 64 bits give an integer Number.
bool ParseNumberText(std::string_view text, Number& out);

bool ToNumber(const Value& v, Number& out);
bool ToDouble(const Value& v, double& out);
// Rounds a floating value to the nearest integer, halves to even; fails outside 32 bits.
bool ToInt32(const Value& v, int32_t& out);
bool ToInt64(const Value& v, int64_t& out);
// Text of a value: Booleans as True/False, numbers in decimal, Double as FloatToText.
bool ToText(const Value& v, std::string& out);
// Condition value: Boolean, a number (not 0 is true), or the texts TRUE/FALSE or a number.
bool ToBoolean(const Value& v, bool& out);

// The writing of the library's FloatToStr: 15 decimals, trailing zeros and dot removed.
std::string FloatToText(double x);
// Rounds half to even (round() of the language).
double RoundHalfEven(double x);

// The binary operators of the language, whatever the parser's spelling of them.
enum class BinaryOp : uint8_t {
    Add,
    Subtract,
    Multiply,
    Divide,
    Power,
    And,
    Or,
    Xor,
    Shl,
    Shr,
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterEqual,
    LessEqual,
};

// Applies a binary operator. Returns false when the operands do not fit the operator.
bool ApplyBinary(BinaryOp op, const Value& a, const Value& b, Value& out);
bool ApplyNegate(const Value& a, Value& out);
bool ApplyNot(const Value& a, Value& out);

} // namespace kq::script
