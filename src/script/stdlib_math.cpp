// Mathematics functions of the library.
#include <cmath>
#include <random>

#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script::lib {

namespace {

using Params = std::vector<TVar>;

Value CheckedDouble(double d) {
    if (!std::isfinite(d)) {
        Fail("Invalid floating point operation");
    }
    return Value::Double(d);
}

NativeRoutine Unary(double (*f)(double)) {
    return [f](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 1) {
            return false;
        }
        r.value = CheckedDouble(f(Float(p[0].value)));
        return true;
    };
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

NativeRoutine Rounding(double (*f)(double)) {
    return [f](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 1) {
            return false;
        }
        r.value = Value::Int(ToInt32Checked(f(Float(p[0].value))));
        return true;
    };
}

NativeRoutine MinMax(bool max) {
    return [max](TPasCalc&, Params& p, TVar& r) {
        if (p.empty()) {
            return false;
        }
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
    };
}

NativeRoutine IncDec(BinaryOp op) {
    return [op](TPasCalc&, Params& p, TVar&) {
        if (p.empty() || p.size() > 2) {
            return false;
        }
        Value step = p.size() == 2 ? p[1].value : Value::Byte(1);
        Value out;
        if (!ApplyBinary(op, p[0].value, step, out)) {
            Fail("Invalid variant operation");
        }
        p[0].value = std::move(out);
        return true;
    };
}

} // namespace

void AddMathFunctions(Table& t) {
    t["ABS"] = Unary([](double x) { return std::fabs(x); });
    t["SQR"] = Unary([](double x) { return x * x; });
    t["SQRT"] = Unary([](double x) { return std::sqrt(x); });
    t["SIN"] = Unary([](double x) { return std::sin(x); });
    t["COS"] = Unary([](double x) { return std::cos(x); });
    t["TAN"] = Unary([](double x) { return std::tan(x); });
    t["ARCSIN"] = Unary([](double x) { return std::asin(x); });
    t["ARCCOS"] = Unary([](double x) { return std::acos(x); });
    t["ARCTAN"] = Unary([](double x) { return std::atan(x); });
    t["EXP"] = Unary([](double x) { return std::exp(x); });
    t["LN"] = Unary([](double x) { return std::log(x); });
    t["FRAC"] = Unary([](double x) { return x - std::trunc(x); });
    t["INT"] = [](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 1) {
            return false;
        }
        r.value = Value::Int64(Truncated(p[0].value));
        return true;
    };
    t["ROUND"] = Rounding(RoundHalfEven);
    t["TRUNC"] = Rounding([](double x) { return std::trunc(x); });
    t["CEIL"] = Rounding([](double x) { return std::ceil(x); });
    t["FLOOR"] = Rounding([](double x) { return std::floor(x); });
    t["SIGN"] = [](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 1) {
            return false;
        }
        int64_t n = Integer(p[0].value);
        r.value = Value::ShortInt(static_cast<int8_t>(n < 0 ? -1 : (n > 0 ? 1 : 0)));
        return true;
    };
    t["INTPOWER"] = [](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 2) {
            return false;
        }
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
    };
    t["RANDOM"] = [](TPasCalc& calc, Params& p, TVar& r) {
        if (p.size() != 1) {
            return false;
        }
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
    };
    t["MOD"] = [](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 2) {
            return false;
        }
        int64_t a = Integer(p[0].value);
        int64_t b = Integer(p[1].value);
        if (b == 0) {
            Fail("Division by zero");
        }
        r.value = Value::IntegerResult(b == -1 ? 0 : a % b, EitherInt64(p));
        return true;
    };
    t["DIV"] = [](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 2) {
            return false;
        }
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
    };
    t["MIN"] = MinMax(false);
    t["MAX"] = MinMax(true);
    t["INC"] = IncDec(BinaryOp::Add);
    t["DEC"] = IncDec(BinaryOp::Subtract);
}

} // namespace kq::script::lib
