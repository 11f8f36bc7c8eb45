#include "scene/db_unicode.h"

#include "media/text_encoding.h"

#include <cstdint>

namespace kq::scene {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at pos; false (pos moved past one byte) when it is invalid.
bool NextUtf8(std::string_view s, size_t& pos, uint32_t& cp) {
    char32_t c = 0;
    const size_t length = media::DecodeUtf8(s.substr(pos), c);
    pos += length != 0 ? length : 1;
    cp = c;
    return length != 0;
}

std::u16string Utf16Bytes(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    return out;
}

} // namespace

std::string ToThreeByte(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 128) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(kUnicodeEscape);
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
    }
    return out;
}

std::u16string FromThreeByte(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b != 0x01) {
            out.push_back(b);
            continue;
        }
        if (text.size() - i < 3) {
            break;
        }
        const auto low = static_cast<unsigned char>(text[i + 1]);
        const auto high = static_cast<unsigned char>(text[i + 2]);
        out.push_back(static_cast<char16_t>(high << 8 | low));
        i += 2;
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        uint32_t cp = 0;
        if (!NextUtf8(utf8, pos, cp)) {
            out.push_back(kReplacement);
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        media::AppendUtf8(out, c);
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t pos = 0;
    uint32_t cp = 0;
    while (pos < bytes.size()) {
        if (!NextUtf8(bytes, pos, cp)) {
            return false;
        }
    }
    return true;
}

bool DecodeUnicodeFile(std::string_view bytes, std::string& utf8) {
    if (bytes.starts_with("\xFF\xFE")) {
        utf8 = Utf16ToUtf8(Utf16Bytes(bytes.substr(2), false));
        return true;
    }
    if (bytes.starts_with("\xFE\xFF")) {
        utf8 = Utf16ToUtf8(Utf16Bytes(bytes.substr(2), true));
        return true;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        utf8 = std::string(bytes.substr(3));
        return true;
    }
    return false;
}

} // namespace kq::scene
