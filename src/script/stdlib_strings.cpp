// Conversions and string functions of the library.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "script/stdlib.h"
#include "script/stdlib_internal.h"

namespace kq::script::lib {

namespace {

bool UnicodeMode(TPasCalc& calc) {
    return calc.Env().scene && calc.Env().scene->UnicodeMode();
}

// Byte offsets of the characters of a Unicode-mode string (a 0x01 byte starts a three-byte
// character).
size_t NextChar(std::string_view s, size_t i, bool unicode) {
    if (unicode && static_cast<unsigned char>(s[i]) == 1 && i + 2 < s.size()) {
        return i + 3;
    }
    return i + 1;
}

// Windows-1251 is the default code page; its Cyrillic letters fold like the system locale of
// the games' authors did. ASCII folds everywhere.
char Upper(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 32);
    }
    if (c >= 0xE0) {
        return static_cast<char>(c - 32);
    }
    if (c == 0xB8) {
        return static_cast<char>(0xA8);
    }
    return ch;
}
char Lower(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c + 32);
    }
    if (c >= 0xC0 && c <= 0xDF) {
        return static_cast<char>(c + 32);
    }
    if (c == 0xA8) {
        return static_cast<char>(0xB8);
    }
    return ch;
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// One Format specifier ("%-8.3f" without the percent) applied to a value.
bool FormatOne(std::string_view directive, const Value& arg, std::string& out) {
    char type = static_cast<char>(std::tolower(static_cast<unsigned char>(directive.back())));
    std::string_view flags = directive.substr(0, directive.size() - 1);
    // Argument index "n:" is accepted and ignored: arguments are taken in order.
    if (size_t colon = flags.find(':'); colon != std::string_view::npos) {
        flags.remove_prefix(colon + 1);
    }
    bool left = false;
    if (!flags.empty() && flags[0] == '-') {
        left = true;
        flags.remove_prefix(1);
    }
    int width = -1;
    int precision = -1;
    size_t dot = flags.find('.');
    std::string_view w = flags.substr(0, dot);
    for (char c : w) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    if (!w.empty()) {
        width = std::min(std::atoi(std::string(w).c_str()), 1000);
    }
    if (dot != std::string_view::npos) {
        std::string_view p = flags.substr(dot + 1);
        for (char c : p) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                return false;
            }
        }
        precision = p.empty() ? 0 : std::min(std::atoi(std::string(p).c_str()), 100);
    }
    std::string body;
    char buf[512];
    switch (type) {
    case 'd':
    case 'u':
    case 'x':
    case 'p': {
        if (arg.IsString()) {
            return false;
        }
        int64_t i = 0;
        if (arg.IsDouble()) {
            double d = arg.RawDouble();
            if (!(d > -9.2e18 && d < 9.2e18)) {
                return false;
            }
            i = static_cast<int64_t>(d); // truncated to a 64-bit integer on the retry
        } else if (!ToInt64(arg, i)) {
            return false;
        }
        if (type == 'x' || type == 'p') {
            uint64_t u = static_cast<uint64_t>(i);
            if (arg.Kind() != VarKind::Int64 && i >= INT32_MIN && i <= UINT32_MAX) {
                u &= 0xFFFFFFFFull;
            }
            std::snprintf(buf, sizeof buf, "%" PRIX64, u);
        } else if (type == 'u' && i < 0) {
            std::snprintf(
                buf, sizeof buf, "%" PRIu64,
                static_cast<uint64_t>(i) &
                    (arg.Kind() == VarKind::Int64 ? ~uint64_t{0} : uint64_t{0xFFFFFFFFu}));
        } else {
            std::snprintf(buf, sizeof buf, "%" PRIu64,
                          i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i));
        }
        body = buf;
        if (precision > 0 && static_cast<int>(body.size()) < precision) {
            body.insert(0, static_cast<size_t>(precision) - body.size(), '0');
        }
        if (type == 'd' && i < 0) {
            body.insert(0, 1, '-');
        }
        if (type == 'p' && body.size() < 8) {
            body.insert(0, 8 - body.size(), '0');
        }
        break;
    }
    case 'f':
    case 'e':
    case 'g':
    case 'n':
    case 'm': {
        double d = 0;
        if (arg.IsString() || !ToDouble(arg, d)) {
            return false;
        }
        if (type == 'e') {
            int digits = precision < 0 ? 15 : std::clamp(precision, 1, 18);
            std::snprintf(buf, sizeof buf, "%.*E", digits - 1, d);
            // Three exponent digits, as the platform writes them.
            std::string s = buf;
            size_t epos = s.find('E');
            if (epos != std::string::npos && s.size() - epos - 2 < 3) {
                s.insert(epos + 2, 3 - (s.size() - epos - 2), '0');
            }
            body = s;
        } else if (type == 'g') {
            int digits = precision < 0 ? 15 : std::clamp(precision, 1, 18);
            std::snprintf(buf, sizeof buf, "%.*G", digits, d);
            body = buf;
        } else {
            int decimals = precision < 0 ? 2 : precision;
            if (std::fabs(d) >= 1e300) {
                return false;
            }
            std::snprintf(buf, sizeof buf, "%.*f", decimals, d);
            body = buf;
            if (type == 'n' || type == 'm') {
                size_t start = body[0] == '-' ? 1 : 0;
                size_t dp = body.find('.');
                size_t intEnd = dp == std::string::npos ? body.size() : dp;
                for (size_t k = intEnd; k > start + 3; k -= 3) {
                    body.insert(k - 3, 1, ',');
                }
            }
        }
        break;
    }
    case 's': {
        body = Text(arg);
        if (precision >= 0 && static_cast<size_t>(precision) < body.size()) {
            body.resize(static_cast<size_t>(precision));
        }
        break;
    }
    default:
        return false;
    }
    if (width > 0 && static_cast<int>(body.size()) < width) {
        size_t pad = static_cast<size_t>(width) - body.size();
        if (left) {
            body.append(pad, ' ');
        } else {
            body.insert(0, pad, ' ');
        }
    }
    out += body;
    return true;
}

// A whole specifier ("%" up to its letter) formatted with one argument the way the platform's
// format function treats such a text: "%%" pairs are literal percent signs, other characters
// before the directive are copied, and the directive itself formats the argument.
bool FormatSpecifier(std::string_view specifier, const Value& arg, std::string& out) {
    size_t k = 0;
    while (k < specifier.size()) {
        if (specifier[k] != '%') {
            out.push_back(specifier[k++]);
        } else if (k + 1 < specifier.size() && specifier[k + 1] == '%') {
            out.push_back('%');
            k += 2;
        } else {
            return FormatOne(specifier.substr(k + 1), arg, out);
        }
    }
    return true;
}

bool Val(TPasCalc&, Params& p, TVar&) {
    if (!IsVar(p[1]) || !IsVar(p[2])) {
        return false;
    }
    std::string s = Text(p[0].value);
    Number n;
    int code = 0;
    if (ParseNumberText(s, n) && (s.empty() || !IsBlank(s.back()))) {
        p[1].value = Value::Double(n.AsDouble());
    } else {
        // Position of the first character that does not continue a number.
        size_t i = 0;
        while (i < s.size() && s[i] == ' ') {
            ++i;
        }
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        bool dot = false;
        while (i < s.size() &&
               (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && !dot))) {
            dot = dot || s[i] == '.';
            ++i;
        }
        code = static_cast<int>(std::min(i, s.size())) + 1;
        p[1].value = Value::Double(0.0);
    }
    p[2].value = Value::Int(code);
    return true;
}

bool Char(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Str(std::string(1, static_cast<char>(Integer(p[0].value) & 0xFF)));
    return true;
}

bool IntToStr(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Str(std::to_string(Integer(p[0].value)));
    return true;
}

bool StrToInt(TPasCalc&, Params& p, TVar& r) {
    Number n;
    bool ok =
        ParseNumberText(Text(p[0].value), n) && !n.isFloat && n.i >= INT32_MIN && n.i <= INT32_MAX;
    r.value = Value::Int(ok ? static_cast<int32_t>(n.i) : 0);
    return true;
}

bool FloatToStr(TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Str(FloatToText(Float(p[0].value)));
    return true;
}

bool StrToFloat(TPasCalc&, Params& p, TVar& r) {
    Number n;
    if (!ParseNumberText(Text(p[0].value), n)) {
        return false;
    }
    r.value = Value::Double(n.AsDouble());
    return true;
}

bool Copy(TPasCalc&, Params& p, TVar& r) {
    std::string s = Text(p[0].value);
    int64_t index = std::max<int64_t>(Truncated(p[1].value), 1);
    int64_t count = Truncated(p[2].value);
    if (count <= 0 || static_cast<uint64_t>(index) > s.size()) {
        r.value = Value::Str("");
    } else {
        r.value = Value::Str(s.substr(
            static_cast<size_t>(index - 1),
            static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(s.size())))));
    }
    return true;
}

bool Poss(TPasCalc&, Params& p, TVar& r) {
    std::string sub = Text(p[0].value);
    std::string s = Text(p[1].value);
    size_t at = sub.empty() ? std::string::npos : s.find(sub);
    r.value = Value::Int(at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
    return true;
}

bool Length(TPasCalc& calc, Params& p, TVar& r) {
    std::string s = Text(p[0].value);
    bool unicode = UnicodeMode(calc);
    int32_t count = 0;
    for (size_t i = 0; i < s.size(); i = NextChar(s, i, unicode)) {
        ++count;
    }
    r.value = Value::Int(count);
    return true;
}

bool DelLastChar(TPasCalc& calc, Params& p, TVar& r) {
    std::string s = Text(p[0].value);
    bool unicode = UnicodeMode(calc);
    size_t last = 0;
    for (size_t i = 0; i < s.size(); i = NextChar(s, i, unicode)) {
        last = i;
    }
    s.resize(s.empty() ? 0 : last);
    r.value = Value::Str(std::move(s));
    return true;
}

bool Insert(TPasCalc&, Params& p, TVar& r) {
    if (!IsVar(p[1])) {
        return false;
    }
    std::string sub = Text(p[0].value);
    std::string s = Text(p[1].value);
    int64_t index = Truncated(p[2].value);
    size_t at = index < 1 ? 0 : std::min<size_t>(static_cast<size_t>(index - 1), s.size());
    s.insert(at, sub);
    p[1].value = Value::Str(s);
    r.value = Value::Str(std::move(s));
    return true;
}

bool Delete(TPasCalc&, Params& p, TVar& r) {
    if (!IsVar(p[0])) {
        return false;
    }
    std::string s = Text(p[0].value);
    int64_t index = Truncated(p[1].value);
    int64_t count = Truncated(p[2].value);
    if (index >= 1 && static_cast<uint64_t>(index) <= s.size() && count > 0) {
        s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
    }
    p[0].value = Value::Str(s);
    r.value = Value::Str(std::move(s));
    return true;
}

// s without leading and/or trailing blanks and control characters.
bool Trimmed(Params& p, TVar& r, bool leftSide, bool rightSide) {
    std::string s = Text(p[0].value);
    size_t b = 0;
    size_t e = s.size();
    while (leftSide && b < e && IsBlank(s[b])) {
        ++b;
    }
    while (rightSide && e > b && IsBlank(s[e - 1])) {
        --e;
    }
    r.value = Value::Str(s.substr(b, e - b));
    return true;
}

bool Trim(TPasCalc&, Params& p, TVar& r) {
    return Trimmed(p, r, true, true);
}
bool TrimLeft(TPasCalc&, Params& p, TVar& r) {
    return Trimmed(p, r, true, false);
}
bool TrimRight(TPasCalc&, Params& p, TVar& r) {
    return Trimmed(p, r, false, true);
}

bool UpperCase(TPasCalc&, Params& p, TVar& r) {
    std::string s = Text(p[0].value);
    std::transform(s.begin(), s.end(), s.begin(), Upper);
    r.value = Value::Str(std::move(s));
    return true;
}

bool LowerCase(TPasCalc&, Params& p, TVar& r) {
    std::string s = Text(p[0].value);
    std::transform(s.begin(), s.end(), s.begin(), Lower);
    r.value = Value::Str(std::move(s));
    return true;
}

bool Format(TPasCalc&, Params& p, TVar& r) {
    std::string fmt = Text(p[0].value);
    std::string out;
    size_t next = 1;
    for (size_t i = 0; i < fmt.size();) {
        if (fmt[i] != '%') {
            out.push_back(fmt[i++]);
            continue;
        }
        // A specifier runs from its "%" to the next letter, whatever lies between (a
        // second "%" included); it takes the next argument or, with none left, is dropped.
        size_t j = i + 1;
        while (j < fmt.size() && !std::isalpha(static_cast<unsigned char>(fmt[j]))) {
            ++j;
        }
        if (j >= fmt.size()) {
            out.append(fmt, i, std::string::npos);
            break;
        }
        std::string_view specifier(fmt.data() + i, j - i + 1);
        if (next < p.size()) {
            if (!FormatSpecifier(specifier, p[next].value, out)) {
                Fail("Format '" + fmt + "' invalid or incompatible with argument");
            }
            ++next;
        }
        i = j + 1;
    }
    r.value = Value::Str(std::move(out));
    return true;
}

} // namespace

std::span<const NativeRow> StringRows() {
    using enum WrongCount;
    static constexpr NativeRow kRows[] = {
        {"Val", 1, 3, 3, Fail, &Val},
        {"Char", 2, 1, 1, Fail, &Char},
        {"IntToStr", 3, 1, 1, Fail, &IntToStr},
        {"StrToInt", 4, 1, 1, Fail, &StrToInt},
        {"FloatToStr", 5, 1, 1, Fail, &FloatToStr},
        {"StrToFloat", 6, 1, 1, Fail, &StrToFloat},
        {"Copy", 7, 3, 3, Fail, &Copy},
        {"Poss", 8, 2, 2, Fail, &Poss},
        {"Length", 9, 1, 1, Fail, &Length},
        {"DelLastChar", 10, 1, 1, Fail, &DelLastChar},
        {"Insert", 11, 3, 3, Fail, &Insert},
        {"Delete", 12, 3, 3, Fail, &Delete},
        {"Trim", 13, 1, 1, Fail, &Trim},
        {"TrimLeft", 14, 1, 1, Fail, &TrimLeft},
        {"TrimRight", 15, 1, 1, Fail, &TrimRight},
        {"UpperCase", 16, 1, 1, Fail, &UpperCase},
        {"LowerCase", 17, 1, 1, Fail, &LowerCase},
        {"Format", 18, 2, kUnbounded, Fail, &Format},
    };
    return kRows;
}

} // namespace kq::script::lib
