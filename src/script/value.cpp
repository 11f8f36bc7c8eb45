#include "script/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kq::script {

std::string_view KindName(VarKind kind) {
    switch (kind) {
    case VarKind::Empty:
        return "Empty";
    case VarKind::Boolean:
        return "Boolean";
    case VarKind::Integer:
        return "Integer";
    case VarKind::Byte:
        return "Byte";
    case VarKind::Word:
        return "Word";
    case VarKind::ShortInt:
        return "ShortInt";
    case VarKind::LongWord:
        return "LongWord";
    case VarKind::Int64:
        return "Int64";
    case VarKind::Double:
        return "Double";
    case VarKind::String:
        return "String";
    }
    return "Empty";
}

Value Value::IntegerOrInt64(int64_t v) {
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
        return Int(static_cast<int32_t>(v));
    }
    return Int64(v);
}

bool Value::SameAs(const Value& other) const {
    if (kind_ != other.kind_) {
        return false;
    }
    switch (kind_) {
    case VarKind::Empty:
        return true;
    case VarKind::Double:
        return d_ == other.d_;
    case VarKind::String:
        return s_ == other.s_;
    default:
        return i_ == other.i_;
    }
}

double RoundHalfEven(double x) {
    if (!std::isfinite(x)) {
        return x;
    }
    double r = std::floor(x);
    double diff = x - r;
    if (diff > 0.5) {
        return r + 1.0;
    }
    if (diff < 0.5) {
        return r;
    }
    return std::fmod(r, 2.0) == 0.0 ? r : r + 1.0;
}

bool ParseNumberText(std::string_view text, Number& out) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) {
        ++b;
    }
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) {
        --e;
    }
    std::string_view t = text.substr(b, e - b);
    if (t.empty()) {
        return false;
    }
    bool negative = false;
    size_t p = 0;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        p = 1;
    }
    size_t digits = 0;
    bool dot = false;
    bool exponent = false;
    size_t q = p;
    while (q < t.size() && std::isdigit(static_cast<unsigned char>(t[q]))) {
        ++q;
        ++digits;
    }
    if (q < t.size() && t[q] == '.') {
        dot = true;
        ++q;
        while (q < t.size() && std::isdigit(static_cast<unsigned char>(t[q]))) {
            ++q;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (q < t.size() && (t[q] == 'e' || t[q] == 'E')) {
        exponent = true;
        ++q;
        if (q < t.size() && (t[q] == '+' || t[q] == '-')) {
            ++q;
        }
        size_t expDigits = 0;
        while (q < t.size() && std::isdigit(static_cast<unsigned char>(t[q]))) {
            ++q;
            ++expDigits;
        }
        if (expDigits == 0) {
            return false;
        }
    }
    if (q != t.size()) {
        return false;
    }
    std::string_view body = t.substr(p);
    if (!dot && !exponent) {
        uint64_t mag = 0;
        auto res = std::from_chars(body.data(), body.data() + body.size(), mag);
        if (res.ec == std::errc() && mag <= static_cast<uint64_t>(INT64_MAX)) {
            out.isFloat = false;
            out.i = negative ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
            return true;
        }
    }
    // from_chars does not accept "1." nor ".5" in every library; normalise the text.
    std::string norm(body);
    if (!norm.empty() && norm[0] == '.') {
        norm.insert(norm.begin(), '0');
    }
    double d = 0.0;
    auto res = std::from_chars(norm.data(), norm.data() + norm.size(), d);
    if (res.ec != std::errc() && res.ec != std::errc::result_out_of_range) {
        return false;
    }
    out.isFloat = true;
    out.d = negative ? -d : d;
    return true;
}

bool ToNumber(const Value& v, Number& out) {
    switch (v.Kind()) {
    case VarKind::Empty:
        out = Number{};
        return true;
    case VarKind::Double:
        out.isFloat = true;
        out.wide = false;
        out.d = v.RawDouble();
        return true;
    case VarKind::String:
        out.wide = false;
        return ParseNumberText(v.RawStr(), out);
    default:
        out.isFloat = false;
        out.wide = v.Kind() == VarKind::Int64;
        out.i = v.RawInt();
        return true;
    }
}

bool ToDouble(const Value& v, double& out) {
    Number n;
    if (!ToNumber(v, n)) {
        return false;
    }
    out = n.AsDouble();
    return true;
}

bool ToInt64(const Value& v, int64_t& out) {
    Number n;
    if (!ToNumber(v, n)) {
        return false;
    }
    if (!n.isFloat) {
        out = n.i;
        return true;
    }
    double r = RoundHalfEven(n.d);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
        return false;
    }
    out = static_cast<int64_t>(r);
    return true;
}

bool ToInt32(const Value& v, int32_t& out) {
    int64_t i = 0;
    if (!ToInt64(v, i) || i < std::numeric_limits<int32_t>::min() ||
        i > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    out = static_cast<int32_t>(i);
    return true;
}

std::string FloatToText(double x) {
    if (std::isnan(x)) {
        return "NAN";
    }
    if (std::isinf(x)) {
        return x > 0 ? "INF" : "-INF";
    }
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.15f", x);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) {
        return "0";
    }
    std::string s(buf, static_cast<size_t>(n));
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') {
            s.pop_back();
        }
        if (!s.empty() && s.back() == '.') {
            s.pop_back();
        }
    }
    if (s == "-0") {
        s = "0";
    }
    return s;
}

bool ToText(const Value& v, std::string& out) {
    switch (v.Kind()) {
    case VarKind::Empty:
        out.clear();
        return true;
    case VarKind::Boolean:
        out = v.RawInt() ? "True" : "False";
        return true;
    case VarKind::Double:
        out = FloatToText(v.RawDouble());
        return true;
    case VarKind::String:
        out = v.RawStr();
        return true;
    default:
        out = std::to_string(v.RawInt());
        return true;
    }
}

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Integer operand of the bitwise operators.
bool ToBits(const Value& v, int64_t& out) {
    return ToInt64(v, out);
}

bool Arith(BinaryOp op, const Number& x, const Number& y, Value& out) {
    if (!x.isFloat && !y.isFloat) {
        int64_t r = 0;
        bool overflow = false;
        switch (op) {
        case BinaryOp::Add:
            overflow = __builtin_add_overflow(x.i, y.i, &r);
            break;
        case BinaryOp::Subtract:
            overflow = __builtin_sub_overflow(x.i, y.i, &r);
            break;
        case BinaryOp::Multiply:
            overflow = __builtin_mul_overflow(x.i, y.i, &r);
            break;
        default:
            return false;
        }
        if (!overflow) {
            out = Value::IntegerResult(r, x.wide || y.wide);
            return true;
        }
    }
    double a = x.AsDouble();
    double b = y.AsDouble();
    switch (op) {
    case BinaryOp::Add:
        out = Value::Double(a + b);
        return true;
    case BinaryOp::Subtract:
        out = Value::Double(a - b);
        return true;
    case BinaryOp::Multiply:
        out = Value::Double(a * b);
        return true;
    default:
        return false;
    }
}

// -1, 0, 1 comparison; false when the operands cannot be compared.
bool Compare(const Value& a, const Value& b, int& cmp) {
    const bool as = a.IsString() || (a.IsEmpty() && b.IsString());
    const bool bs = b.IsString() || (b.IsEmpty() && a.IsString());
    if (as && bs) {
        std::string_view x = a.IsString() ? std::string_view(a.RawStr()) : std::string_view();
        std::string_view y = b.IsString() ? std::string_view(b.RawStr()) : std::string_view();
        int c = x.compare(y);
        cmp = c < 0 ? -1 : (c > 0 ? 1 : 0);
        return true;
    }
    Number x;
    Number y;
    if (!ToNumber(a, x) || !ToNumber(b, y)) {
        return false;
    }
    if (!x.isFloat && !y.isFloat) {
        cmp = x.i < y.i ? -1 : (x.i > y.i ? 1 : 0);
        return true;
    }
    double p = x.AsDouble();
    double q = y.AsDouble();
    if (std::isnan(p) || std::isnan(q)) {
        return false;
    }
    cmp = p < q ? -1 : (p > q ? 1 : 0);
    return true;
}

} // namespace

bool ToBoolean(const Value& v, bool& out) {
    switch (v.Kind()) {
    case VarKind::Empty:
        out = false;
        return true;
    case VarKind::Double:
        out = v.RawDouble() != 0.0;
        return true;
    case VarKind::String: {
        if (EqualsNoCase(v.RawStr(), "TRUE")) {
            out = true;
            return true;
        }
        if (EqualsNoCase(v.RawStr(), "FALSE")) {
            out = false;
            return true;
        }
        Number n;
        if (!ParseNumberText(v.RawStr(), n)) {
            return false;
        }
        out = n.isFloat ? n.d != 0.0 : n.i != 0;
        return true;
    }
    default:
        out = v.RawInt() != 0;
        return true;
    }
}

bool ApplyBinary(BinaryOp op, const Value& a, const Value& b, Value& out) {
    switch (op) {
    case BinaryOp::Add:
        if ((a.IsString() || a.IsEmpty()) && (b.IsString() || b.IsEmpty()) &&
            (a.IsString() || b.IsString())) {
            std::string s;
            s.reserve((a.IsString() ? a.RawStr().size() : 0) +
                      (b.IsString() ? b.RawStr().size() : 0));
            if (a.IsString()) {
                s += a.RawStr();
            }
            if (b.IsString()) {
                s += b.RawStr();
            }
            out = Value::Str(std::move(s));
            return true;
        }
        [[fallthrough]];
    case BinaryOp::Subtract:
    case BinaryOp::Multiply: {
        Number x;
        Number y;
        if (!ToNumber(a, x) || !ToNumber(b, y)) {
            return false;
        }
        return Arith(op, x, y, out);
    }
    case BinaryOp::Divide: {
        double x = 0;
        double y = 0;
        if (!ToDouble(a, x) || !ToDouble(b, y) || y == 0.0) {
            return false;
        }
        out = Value::Double(x / y);
        return true;
    }
    case BinaryOp::Power: {
        double x = 0;
        double y = 0;
        if (!ToDouble(a, x) || !ToDouble(b, y)) {
            return false;
        }
        out = Value::Double(
            static_cast<double>(std::pow(static_cast<float>(x), static_cast<float>(y))));
        return true;
    }
    case BinaryOp::And:
    case BinaryOp::Or:
    case BinaryOp::Xor: {
        if (a.Kind() == VarKind::Boolean && b.Kind() == VarKind::Boolean) {
            bool x = a.RawInt() != 0;
            bool y = b.RawInt() != 0;
            out = Value::Bool(op == BinaryOp::And  ? (x && y)
                              : op == BinaryOp::Or ? (x || y)
                                                   : (x != y));
            return true;
        }
        int64_t x = 0;
        int64_t y = 0;
        if (!ToBits(a, x) || !ToBits(b, y)) {
            return false;
        }
        int64_t r = op == BinaryOp::And ? (x & y) : op == BinaryOp::Or ? (x | y) : (x ^ y);
        out = Value::IntegerResult(r, a.Kind() == VarKind::Int64 || b.Kind() == VarKind::Int64);
        return true;
    }
    case BinaryOp::Shl:
    case BinaryOp::Shr: {
        int64_t x = 0;
        int64_t y = 0;
        if (!ToBits(a, x) || !ToBits(b, y)) {
            return false;
        }
        if (a.Kind() == VarKind::Int64 || b.Kind() == VarKind::Int64 || x < INT32_MIN ||
            x > UINT32_MAX) {
            uint64_t ux = static_cast<uint64_t>(x);
            unsigned n = static_cast<unsigned>(y & 63);
            out = Value::Int64(static_cast<int64_t>(op == BinaryOp::Shl ? ux << n : ux >> n));
            return true;
        }
        uint32_t ux = static_cast<uint32_t>(x);
        unsigned n = static_cast<unsigned>(y & 31);
        if (op == BinaryOp::Shl) {
            out = Value::Int(static_cast<int32_t>(ux << n));
        } else {
            out = Value::IntegerOrInt64(static_cast<int64_t>(ux >> n));
        }
        return true;
    }
    case BinaryOp::Equal:
    case BinaryOp::NotEqual:
    case BinaryOp::Greater:
    case BinaryOp::Less:
    case BinaryOp::GreaterEqual:
    case BinaryOp::LessEqual: {
        int c = 0;
        if (!Compare(a, b, c)) {
            return false;
        }
        bool r = false;
        switch (op) {
        case BinaryOp::Equal:
            r = c == 0;
            break;
        case BinaryOp::NotEqual:
            r = c != 0;
            break;
        case BinaryOp::Greater:
            r = c > 0;
            break;
        case BinaryOp::Less:
            r = c < 0;
            break;
        case BinaryOp::GreaterEqual:
            r = c >= 0;
            break;
        default:
            r = c <= 0;
            break;
        }
        out = Value::Bool(r);
        return true;
    }
    default:
        return false;
    }
}

bool ApplyNegate(const Value& a, Value& out) {
    Number x;
    if (!ToNumber(a, x)) {
        return false;
    }
    if (x.isFloat) {
        out = Value::Double(-x.d);
        return true;
    }
    if (x.i == INT64_MIN) {
        out = Value::Double(-static_cast<double>(x.i));
        return true;
    }
    out = Value::IntegerResult(-x.i, x.wide);
    return true;
}

bool ApplyNot(const Value& a, Value& out) {
    Number x;
    if (!ToNumber(a, x)) {
        return false;
    }
    bool zero = x.isFloat ? x.d == 0.0 : x.i == 0;
    out = Value::Byte(zero ? 1 : 0);
    return true;
}

} // namespace kq::script
