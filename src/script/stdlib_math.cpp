// Mathematics functions of the library.
#include <cmath>
#include <random>

#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script::lib {

namespace {

Value CheckedDouble(double d) {
    if (!std::isfinite(d)) {
        Fail("Invalid floating point operation");
    }
    return Value::Double(d);
}

// A Double computed from the one argument as float.
bool Unary(double (*f)(double), Params& p, TVar& r) {
    r.value = CheckedDouble(f(Float(p[0].value)));
    return true;
}

// Integer results of Int64 arguments stay Int64, as with the operators.
bool EitherInt64(const Params& p) {
    return p[0].value.Kind() == VarKind::Int64 || p[1].value.Kind() == VarKind::Int64;
}

int32_t ToInt32Checked(double d) {
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) {
        Fail("Invalid floating point operation");
    }
    return static_cast<int32_t>(d);
}

// An Integer rounded from the one argument by `f`.
bool Rounding(double (*f)(double), Params& p, TVar& r) {
    r.value = Value::Int(ToInt32Checked(f(Float(p[0].value))));
    return true;
}

// The smallest or largest argument; all must be of the first one's kind.
bool MinMax(bool max, Params& p, TVar& r) {
    const Value* best = &p[0].value;
    for (const TVar& v : p) {
        if (v.value.Kind() != best->Kind()) {
            return false;
        }
    }
    for (size_t i = 1; i < p.size(); ++i) {
        Value better;
        if (!ApplyBinary(max ? BinaryOp::Greater : BinaryOp::Less, p[i].value, *best, better)) {
            return false;
        }
        if (better.RawInt() != 0) {
            best = &p[i].value;
        }
    }
    r.value = *best;
    return true;
}

// x plus or minus 1 or n, written back into the argument.
bool IncDec(BinaryOp op, Params& p) {
    Value step = p.size() == 2 ? p[1].value : Value::Byte(1);
    Value out;
    if (!ApplyBinary(op, p[0].value, step, out)) {
        Fail("Invalid variant operation");
    }
    p[0].value = std::move(out);
    return true;
}

bool Abs(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::fabs(x); }, p, r);
}
bool Sqr(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return x * x; }, p, r);
}
bool Sqrt(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::sqrt(x); }, p, r);
}
bool Sin(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::sin(x); }, p, r);
}
bool Cos(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::cos(x); }, p, r);
}
bool Tan(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::tan(x); }, p, r);
}
bool ArcSin(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::asin(x); }, p, r);
}
bool ArcCos(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::acos(x); }, p, r);
}
bool ArcTan(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::atan(x); }, p, r);
}
bool Exp(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::exp(x); }, p, r);
}
bool Ln(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return std::log(x); }, p, r);
}
bool Frac(TPasCalc&, Params& p, TVar& r) {
    return Unary([](double x) { return x - std::trunc(x); }, p, r);
}
bool Int(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Int64(Truncated(p[0].value));
    return true;
}

bool Round(TPasCalc&, Params& p, TVar& r) {
    return Rounding(RoundHalfEven, p, r);
}
bool Trunc(TPasCalc&, Params& p, TVar& r) {
    return Rounding([](double x) { return std::trunc(x); }, p, r);
}
bool Ceil(TPasCalc&, Params& p, TVar& r) {
    return Rounding([](double x) { return std::ceil(x); }, p, r);
}
bool Floor(TPasCalc&, Params& p, TVar& r) {
    return Rounding([](double x) { return std::floor(x); }, p, r);
}
bool Sign(TPasCalc&, Params& p, TVar& r) {
    int64_t n = Integer(p[0].value);
    r.value = Value::ShortInt(static_cast<int8_t>(n < 0 ? -1 : (n > 0 ? 1 : 0)));
    return true;
}

bool IntPower(TPasCalc&, Params& p, TVar& r) {
    double x = Float(p[0].value);
    int64_t n = Truncated(p[1].value);
    if (n < -100000 || n > 100000) {
        r.value = CheckedDouble(std::pow(x, static_cast<double>(n)));
        return true;
    }
    double result = 1.0;
    double base = n < 0 ? 1.0 / x : x;
    for (int64_t k = n < 0 ? -n : n; k > 0; k >>= 1) {
        if (k & 1) {
            result *= base;
        }
        base *= base;
    }
    r.value = CheckedDouble(result);
    return true;
}

bool Random(TPasCalc& calc, Params& p, TVar& r) {
    int32_t n = Integer32(p[0].value);
    ScriptEnv& env = calc.Env();
    int32_t value = 0;
    if (env.random) {
        value = env.random(n);
    } else if (n > 0) {
        value = std::uniform_int_distribution<int32_t>(0, n - 1)(env.rng);
    }
    r.value = Value::Int(value);
    return true;
}

bool Mod(TPasCalc&, Params& p, TVar& r) {
    int64_t a = Integer(p[0].value);
    int64_t b = Integer(p[1].value);
    if (b == 0) {
        Fail("Division by zero");
    }
    r.value = Value::IntegerResult(b == -1 ? 0 : a % b, EitherInt64(p));
    return true;
}

bool Div(TPasCalc&, Params& p, TVar& r) {
    int64_t a = Integer(p[0].value);
    int64_t b = Integer(p[1].value);
    if (b == 0) {
        Fail("Division by zero");
    }
    if (b == -1 && a == INT64_MIN) {
        Fail("Integer overflow");
    }
    r.value = Value::IntegerResult(a / b, EitherInt64(p));
    return true;
}

bool Min(TPasCalc&, Params& p, TVar& r) {
    return MinMax(false, p, r);
}
bool Max(TPasCalc&, Params& p, TVar& r) {
    return MinMax(true, p, r);
}
bool Inc(TPasCalc&, Params& p, TVar&) {
    return IncDec(BinaryOp::Add, p);
}
bool Dec(TPasCalc&, Params& p, TVar&) {
    return IncDec(BinaryOp::Subtract, p);
}

} // namespace

std::span<const NativeRow> MathRows() {
    using enum WrongCount;
    static constexpr NativeRow kRows[] = {
        {"Abs", 33, 1, 1, Fail, &Abs},           {"Int", 34, 1, 1, Fail, &Int},
        {"Frac", 35, 1, 1, Fail, &Frac},         {"Round", 36, 1, 1, Fail, &Round},
        {"Ceil", 37, 1, 1, Fail, &Ceil},         {"Floor", 38, 1, 1, Fail, &Floor},
        {"Trunc", 39, 1, 1, Fail, &Trunc},       {"Sin", 40, 1, 1, Fail, &Sin},
        {"Sign", 41, 1, 1, Fail, &Sign},         {"Cos", 42, 1, 1, Fail, &Cos},
        {"Tan", 43, 1, 1, Fail, &Tan},           {"ArcSin", 44, 1, 1, Fail, &ArcSin},
        {"ArcCos", 45, 1, 1, Fail, &ArcCos},     {"ArcTan", 46, 1, 1, Fail, &ArcTan},
        {"Exp", 47, 1, 1, Fail, &Exp},           {"Ln", 48, 1, 1, Fail, &Ln},
        {"IntPower", 49, 2, 2, Fail, &IntPower}, {"Sqr", 50, 1, 1, Fail, &Sqr},
        {"Sqrt", 51, 1, 1, Fail, &Sqrt},         {"Inc", 52, 1, 2, Fail, &Inc},
        {"Dec", 53, 1, 2, Fail, &Dec},           {"Min", 54, 1, kUnbounded, Fail, &Min},
        {"Max", 55, 1, kUnbounded, Fail, &Max},  {"Mod", 62, 2, 2, Fail, &Mod},
        {"Div", 63, 2, 2, Fail, &Div},           {"Random", 82, 1, 1, Fail, &Random},
    };
    return kRows;
}

} // namespace kq::script::lib
