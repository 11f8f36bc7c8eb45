// Conversion between the game's 8-bit code page and UTF-8, and case folding of names.
//
// Engine strings are byte strings in the game's code page (windows-1251 unless the game is
// started with another). Conversion happens only at the edges: file names, fonts, the window
// title, JSON and logs. A byte that the code page cannot map is replaced, never an error.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace kq::media {

inline constexpr const char* kDefaultCodePage = "windows-1251";

// Not thread-safe: the conversions share iconv state, so each thread needs its own codec.
class TextCodec {
public:
    // codePage is an iconv name ("windows-1251", "CP1252", ...). An unknown name falls back
    // to the default code page with one log line; Valid() tells whether the name was known.
    explicit TextCodec(std::string codePage = kDefaultCodePage);
    ~TextCodec();
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;

    const std::string& CodePage() const { return codePage_; }
    bool Valid() const { return valid_; }

    // Game bytes to UTF-8. Unmappable bytes become U+FFFD.
    std::string ToUtf8(std::string_view bytes) const;
    // UTF-8 to game bytes. Characters the code page lacks (and invalid UTF-8) become '?'.
    std::string FromUtf8(std::string_view utf8) const;
    // Upper-cases the letters of a game string in its own code page (Latin and Cyrillic
    // letters alike), byte for byte; a byte without a single-byte upper case is kept.
    std::string UpperCase(std::string_view bytes) const;

private:
    struct Impl;
    std::string codePage_;
    bool valid_ = true;
    std::unique_ptr<Impl> impl_;
    std::array<unsigned char, 256> upper_{};
};

// Decodes one well-formed UTF-8 sequence at the start of text. Returns its length, or 0 when
// the bytes there are not well formed (overlong forms, surrogates and values past U+10FFFF
// count as malformed).
size_t DecodeUtf8(std::string_view text, char32_t& cp);
// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

// Upper-cases a UTF-8 string for comparisons without regard to case: ASCII, Latin-1, Greek
// and Cyrillic letters are folded; everything else is kept. Invalid UTF-8 is kept byte for byte.
std::string FoldCaseUtf8(std::string_view utf8);

// Upper-cases ASCII letters of a byte string (how member names and identifiers are compared).
std::string UpperAscii(std::string_view bytes);
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

} // namespace kq::media
