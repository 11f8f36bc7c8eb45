// Lexical level of the script language: source preparation, tokenizing and the compiled form.
//
// Source text is prepared once (comments dropped, letters outside strings folded to upper case)
// and cut into tokens. The compiled form is a vector of tokens that also carries what execution
// needs without looking at characters again: the identifier hash, whether the text is a valid
// variable name and the value of a constant. The same tokens have a text form (marker 127, the
// character 64 + code, the token text) that prepared scripts can be stored and exchanged in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/value.h"

namespace kq::script {

// Token codes. 0 is the end of the text, 1 an identifier, 2 a constant, then the keywords
// and symbols in their fixed order.
enum Tok : uint8_t {
    kTokEnd = 0,
    kTokIdent,
    kTokConst,
    kTokTrue,
    kTokFalse,
    kTokEq,
    kTokOr,
    kTokAnd,
    kTokNot,
    kTokXor,
    kTokComma,
    kTokColon,
    kTokNe,
    kTokGt,
    kTokLt,
    kTokGe,
    kTokLe,
    kTokPlus,
    kTokMinus,
    kTokStar,
    kTokSlash,
    kTokCaret,
    kTokLParen,
    kTokRParen,
    kTokLBracket,
    kTokRBracket,
    kTokSemicolon,
    kTokSlashSlash,
    kTokLBrace,
    kTokRBrace,
    kTokAssign,
    kTokBegin,
    kTokEndKw,
    kTokIf,
    kTokThen,
    kTokElse,
    kTokFor,
    kTokTo,
    kTokDownto,
    kTokDo,
    kTokWhile,
    kTokRepeat,
    kTokUntil,
    kTokBreak,
    kTokContinue,
    kTokExit,
    kTokGoto,
    kTokShl,
    kTokShr,
    kTokProcedure,
    kTokFunction,
    kTokUses,
    kTokInclude,
    kTokCase,
    kTokOf,
    kTokRange,
    kTokCount
};

inline constexpr char kTokenMarker = 127;

// Keyword text of a code ("" for codes 0 to 2 and out-of-range codes).
std::string_view TokenName(uint8_t code);

bool IsIdentChar(unsigned char c);
bool IsQuoteChar(unsigned char c);

// Case-insensitive (ASCII) FNV-1a hash of a name, the hash every name table uses.
uint64_t HashName(std::string_view name);

// Identifier characters only, not starting with a digit, optionally closed by one index part
// "[...]" made of digits, "-" and ",".
bool IsValidVarName(std::string_view name);

enum class ConstState : uint8_t { Ok, InvalidNumber, Unterminated };

struct Token {
    uint8_t code = kTokEnd;
    bool validName = false;                 // identifiers: IsValidVarName(text)
    ConstState constState = ConstState::Ok; // constants: whether `constant` is usable
    uint64_t hash = 0;                      // identifiers: HashName(text)
    std::string text;
    Value constant; // constants: their value
};

// A compiled token string. Shared, immutable once built; statements are spans of it.
struct Code {
    std::vector<Token> tokens;
};
using CodePtr = std::shared_ptr<const Code>;

// Span of tokens: the fragments that statements and expressions are made of.
struct Span {
    const Token* b = nullptr;
    const Token* e = nullptr;
    size_t Size() const { return static_cast<size_t>(e - b); }
    bool Empty() const { return b == e; }
};
inline Span WholeSpan(const Code& code) {
    return {code.tokens.data(), code.tokens.data() + code.tokens.size()};
}

// Drops comments and folds letters outside strings to upper case.
std::string PrepareSource(std::string_view source);
// Cuts prepared text into tokens.
std::vector<Token> Tokenize(std::string_view prepared);
// PrepareSource + Tokenize.
Code CompileSource(std::string_view source);

// Builds a token from code and text, filling in the derived fields.
Token MakeToken(uint8_t code, std::string text);

// The text form: marker, 64 + code, text for each token.
std::string SerializeTokens(Span span);
// Reads the text form back. Bytes before the first marker and invalid codes are skipped.
Code DeserializeTokens(std::string_view text);

// Texts of the tokens each followed by a blank, plus one more blank (error messages).
std::string SpanText(Span span);
// Texts of the tokens joined without blanks (argument texts).
std::string JoinedText(Span span);

} // namespace kq::script
