#include "script/tokens.h"

#include <array>
#include <cmath>

namespace kq::script {

namespace {

constexpr std::array<std::string_view, kTokCount> kTokenNames = {
    "",      "",          "",         "TRUE",  "FALSE",    "=",    "OR",     "AND",
    "NOT",   "XOR",       ",",        ":",     "<>",       ">",    "<",      ">=",
    "<=",    "+",         "-",        "*",     "/",        "^",    "(",      ")",
    "[",     "]",         ";",        "//",    "{",        "}",    ":=",     "BEGIN",
    "END",   "IF",        "THEN",     "ELSE",  "FOR",      "TO",   "DOWNTO", "DO",
    "WHILE", "REPEAT",    "UNTIL",    "BREAK", "CONTINUE", "EXIT", "GOTO",   "SHL",
    "SHR",   "PROCEDURE", "FUNCTION", "USES",  "INCLUDE",  "CASE", "OF",     "..",
};

struct CharTables {
    std::array<bool, 256> ident{};
    CharTables() {
        ident['.'] = true;
        ident['@'] = true;
        ident['_'] = true;
        for (int c = '0'; c <= '9'; ++c) {
            ident[c] = true;
        }
        for (int c = 'A'; c <= 'Z'; ++c) {
            ident[c] = true;
            ident[c + 32] = true;
        }
        ident[168] = true;
        ident[184] = true;
        for (int c = 192; c <= 255; ++c) {
            ident[c] = true;
        }
    }
};
const CharTables kChars;

bool IsWhite(unsigned char c) {
    return c == 9 || c == 10 || c == 13 || c == 32;
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Keywords made only of identifier characters must not be followed by one.
struct KeywordInfo {
    std::array<bool, kTokCount> identOnly{};
    KeywordInfo() {
        for (size_t i = 3; i < kTokCount; ++i) {
            bool all = true;
            for (char c : kTokenNames[i]) {
                all = all && IsIdentChar(static_cast<unsigned char>(c));
            }
            identOnly[i] = all;
        }
    }
};
const KeywordInfo kKeywords;

void FillConstant(Token& t) {
    const std::string& s = t.text;
    if (s.empty()) {
        t.constState = ConstState::InvalidNumber;
        return;
    }
    unsigned char first = static_cast<unsigned char>(s[0]);
    if (IsQuoteChar(first)) {
        if (s.size() < 2 || !IsQuoteChar(static_cast<unsigned char>(s.back()))) {
            t.constState = ConstState::Unterminated;
            return;
        }
        if (first == '"') {
            t.constant = Value::Str(s);
        } else {
            t.constant = Value::Str(s.substr(1, s.size() - 2));
        }
        t.constState = ConstState::Ok;
        return;
    }
    bool dot = false;
    for (char c : s) {
        if (c == '.') {
            dot = true;
        } else if (!IsDigit(static_cast<unsigned char>(c))) {
            t.constState = ConstState::InvalidNumber;
            return;
        }
    }
    Number n;
    if (!ParseNumberText(s, n)) {
        t.constState = ConstState::InvalidNumber;
        return;
    }
    double d = n.AsDouble();
    if (dot) {
        t.constant = Value::Double(d);
    } else if (d > -2147483647.0 && d < 2147483647.0) {
        double mag = std::trunc(std::fabs(d) + 1e-9);
        t.constant = Value::Int(static_cast<int32_t>(d < 0 ? -mag : mag));
    } else {
        t.constant = Value::Double(d);
    }
    t.constState = ConstState::Ok;
}

} // namespace

std::string_view TokenName(uint8_t code) {
    return code < kTokCount ? kTokenNames[code] : std::string_view();
}

bool IsIdentChar(unsigned char c) {
    return kChars.ident[c];
}

bool IsQuoteChar(unsigned char c) {
    return c == '"' || c == '\'';
}

uint64_t HashName(std::string_view name) {
    uint64_t h = 1469598103934665603ull;
    for (char ch : name) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 32);
        }
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool IsValidVarName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    size_t end = name.size();
    size_t open = name.find('[');
    if (open != std::string_view::npos) {
        if (name.back() != ']' || open == 0) {
            return false;
        }
        for (size_t i = open + 1; i + 1 < name.size(); ++i) {
            char c = name[i];
            if (!IsDigit(static_cast<unsigned char>(c)) && c != '-' && c != ',') {
                return false;
            }
        }
        end = open;
    }
    if (IsDigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (size_t i = 0; i < end; ++i) {
        if (!IsIdentChar(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

Token MakeToken(uint8_t code, std::string text) {
    Token t;
    t.code = code;
    t.text = std::move(text);
    if (code == kTokIdent) {
        t.hash = HashName(t.text);
        t.validName = IsValidVarName(t.text);
    } else if (code == kTokConst) {
        FillConstant(t);
    }
    return t;
}

std::string PrepareSource(std::string_view source) {
    std::string out;
    out.reserve(source.size());
    bool inString = false;
    bool inComment = false;
    for (size_t i = 0; i < source.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(source[i]);
        if (inComment) {
            if (c == 10 || c == 13) {
                inComment = false;
                out.push_back(static_cast<char>(c));
            } else if (c == '}') {
                inComment = false;
            }
            continue;
        }
        if (IsQuoteChar(c)) {
            inString = !inString;
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (inString) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (c == '{' || (c == '/' && i + 1 < source.size() && source[i + 1] == '/')) {
            inComment = true;
            continue;
        }
        if (c == '}') {
            continue;
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 32);
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> tokens;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        while (i < n && IsWhite(static_cast<unsigned char>(s[i]))) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        // Longest keyword wins; of equal length the first in list order.
        size_t bestLen = 0;
        uint8_t best = 0;
        for (uint8_t k = 3; k < kTokCount; ++k) {
            std::string_view kw = kTokenNames[k];
            if (kw.size() <= bestLen || s.compare(i, kw.size(), kw) != 0) {
                continue;
            }
            if (kKeywords.identOnly[k] && i + kw.size() < n &&
                IsIdentChar(static_cast<unsigned char>(s[i + kw.size()]))) {
                continue;
            }
            bestLen = kw.size();
            best = k;
        }
        if (bestLen > 0) {
            tokens.push_back(MakeToken(best, std::string(s.substr(i, bestLen))));
            i += bestLen;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsQuoteChar(c)) {
            size_t j = i + 1;
            while (j < n && !IsQuoteChar(static_cast<unsigned char>(s[j]))) {
                ++j;
            }
            size_t end = j < n ? j + 1 : n;
            tokens.push_back(MakeToken(kTokConst, std::string(s.substr(i, end - i))));
            i = end;
            continue;
        }
        size_t j = i + 1;
        while (j < n && IsIdentChar(static_cast<unsigned char>(s[j]))) {
            ++j;
        }
        std::string_view text = s.substr(i, j - i);
        if (IsDigit(c)) {
            size_t range = text.find("..");
            if (range != std::string_view::npos) {
                text = text.substr(0, range);
                j = i + range;
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.remove_suffix(1);
        }
        tokens.push_back(MakeToken(IsDigit(c) ? kTokConst : kTokIdent, std::string(text)));
        i = j;
    }
    return tokens;
}

Code CompileSource(std::string_view source) {
    Code code;
    code.tokens = Tokenize(PrepareSource(source));
    return code;
}

std::string SerializeTokens(Span span) {
    std::string out;
    size_t total = 0;
    for (const Token* t = span.b; t != span.e; ++t) {
        total += 2 + t->text.size();
    }
    out.reserve(total);
    for (const Token* t = span.b; t != span.e; ++t) {
        out.push_back(kTokenMarker);
        out.push_back(static_cast<char>(64 + t->code));
        out += t->text;
    }
    return out;
}

Code DeserializeTokens(std::string_view text) {
    Code code;
    size_t i = text.find(kTokenMarker);
    while (i != std::string_view::npos && i + 1 < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i + 1]);
        size_t next = text.find(kTokenMarker, i + 2);
        size_t end = next == std::string_view::npos ? text.size() : next;
        if (c >= 64 + 1 && c < 64 + kTokCount) {
            code.tokens.push_back(MakeToken(static_cast<uint8_t>(c - 64),
                                            std::string(text.substr(i + 2, end - i - 2))));
        }
        i = next;
    }
    return code;
}

std::string SpanText(Span span) {
    std::string out;
    for (const Token* t = span.b; t != span.e; ++t) {
        out += t->text;
        out.push_back(' ');
    }
    out.push_back(' ');
    return out;
}

std::string JoinedText(Span span) {
    std::string out;
    for (const Token* t = span.b; t != span.e; ++t) {
        out += t->text;
    }
    return out;
}

} // namespace kq::script
