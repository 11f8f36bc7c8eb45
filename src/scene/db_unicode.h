// Text forms of the Unicode text mode and the conversions between them.
//
// In the Unicode mode engine strings carry every character above 127 as three bytes: 0x01,
// then the low and the high byte of its UTF-16 code; characters below 128 stay single bytes.
// Files and the settings store use UTF-8 or UTF-16. None of these functions fails: invalid
// input is replaced (U+FFFD) and never read out of bounds.
#pragma once

#include <string>
#include <string_view>

namespace kq::scene {

inline constexpr char kUnicodeEscape = '\x01';

// UTF-16 text in the three-byte form.
std::string ToThreeByte(std::u16string_view text);
// The three-byte form back to UTF-16. A byte that does not start an escape is taken as the
// character of that code (Latin-1); an escape cut short at the end is dropped.
std::u16string FromThreeByte(std::string_view text);

// UTF-8 to UTF-16; invalid or overlong sequences give U+FFFD, characters above U+FFFF give
// surrogate pairs.
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates give U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view bytes);

// A text file's bytes as UTF-8 when they are UTF-16 (little or big endian, told by the byte
// order mark) or UTF-8 with a byte order mark; nothing for other bytes.
bool DecodeUnicodeFile(std::string_view bytes, std::string& utf8);

} // namespace kq::scene
