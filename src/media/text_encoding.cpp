#include "media/text_encoding.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace kq::media {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD"; // U+FFFD

// Upper case of one character for the scripts games are written in: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic. Characters without a single upper-case partner are kept.
char32_t UpperChar(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    }
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
            return c - 0x20;
        }
        return c == 0xFF ? 0x178 : c;
    }
    if (c < 0x180) {
        // Latin Extended-A: pairs with the capital on the even code, then (from U+0139) on
        // the odd code, then even again, then odd again.
        if (c <= 0x137 || (c >= 0x14A && c <= 0x177)) {
            return c & ~char32_t{1};
        }
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            return (c & 1) ? c : c - 1;
        }
        return c;
    }
    if (c >= 0x370 && c < 0x400) {
        if (c == 0x3C2) { // final sigma
            return 0x3A3;
        }
        if (c >= 0x3B1 && c <= 0x3CB) {
            return c - 0x20;
        }
        if (c == 0x3AC) {
            return 0x386;
        }
        if (c >= 0x3AD && c <= 0x3AF) {
            return c - 0x25;
        }
        if (c == 0x3CC) {
            return 0x38C;
        }
        if (c == 0x3CD || c == 0x3CE) {
            return c - 0x3F;
        }
        return c;
    }
    if (c >= 0x400 && c < 0x530) {
        if (c >= 0x430 && c <= 0x44F) {
            return c - 0x20;
        }
        if (c >= 0x450 && c <= 0x45F) {
            return c - 0x50;
        }
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) {
            return c & ~char32_t{1};
        }
        if (c >= 0x4C1 && c <= 0x4CE) {
            return (c & 1) ? c : c - 1;
        }
        if (c == 0x4CF) {
            return 0x4C0;
        }
        return c;
    }
    return c;
}

char UpperAsciiChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}

} // namespace

size_t DecodeUtf8(std::string_view text, char32_t& cp) {
    if (text.empty()) {
        return 0;
    }
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        value = b0 & 0x1F;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        value = b0 & 0x0F;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        value = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    cp = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

struct TextCodec::Impl {
    iconv_t toUtf8 = kNoConverter;
    iconv_t fromUtf8 = kNoConverter;

    ~Impl() {
        if (toUtf8 != kNoConverter) {
            iconv_close(toUtf8);
        }
        if (fromUtf8 != kNoConverter) {
            iconv_close(fromUtf8);
        }
    }

    bool Open(const std::string& codePage) {
        toUtf8 = iconv_open("UTF-8", codePage.c_str());
        fromUtf8 = iconv_open(codePage.c_str(), "UTF-8");
        if (toUtf8 != kNoConverter && fromUtf8 != kNoConverter) {
            return true;
        }
        if (toUtf8 != kNoConverter) {
            iconv_close(toUtf8);
        }
        if (fromUtf8 != kNoConverter) {
            iconv_close(fromUtf8);
        }
        toUtf8 = fromUtf8 = kNoConverter;
        return false;
    }

    // Runs iconv over the whole input. A sequence it refuses is replaced and skipped: one
    // byte of game text, or one character (one byte when malformed) of UTF-8.
    static std::string Convert(iconv_t cd, std::string_view in, bool inputIsUtf8,
                               std::string_view replacement) {
        std::string out;
        out.reserve(in.size() * (inputIsUtf8 ? 1 : 2));
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char buffer[512];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (result != static_cast<size_t>(-1) || error == E2BIG) {
                continue;
            }
            out.append(replacement);
            size_t skip = 1;
            if (inputIsUtf8) {
                char32_t cp = 0;
                skip = std::max<size_t>(1, DecodeUtf8(std::string_view(inPtr, inLeft), cp));
            }
            skip = std::min(skip, inLeft);
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }
};

TextCodec::TextCodec(std::string codePage)
    : codePage_(std::move(codePage)), impl_(std::make_unique<Impl>()) {
    if (!impl_->Open(codePage_)) {
        valid_ = false;
        spdlog::warn("text encoding: unknown code page '{}', using {}", codePage_,
                     kDefaultCodePage);
        codePage_ = kDefaultCodePage;
        if (!impl_->Open(codePage_)) {
            spdlog::error("text encoding: {} is not available either; treating game text "
                          "as Latin-1",
                          codePage_);
        }
    }
    for (size_t b = 0; b < upper_.size(); ++b) {
        upper_[b] = static_cast<unsigned char>(b);
        const std::string single(1, static_cast<char>(b));
        const std::string utf8 = ToUtf8(single);
        const std::string folded = FoldCaseUtf8(utf8);
        if (folded == utf8) {
            continue;
        }
        const std::string back = FromUtf8(folded);
        if (back.size() == 1 && ToUtf8(back) == folded) {
            upper_[b] = static_cast<unsigned char>(back[0]);
        }
    }
}

TextCodec::~TextCodec() = default;

std::string TextCodec::ToUtf8(std::string_view bytes) const {
    if (impl_->toUtf8 == kNoConverter) {
        std::string out;
        out.reserve(bytes.size() * 2);
        for (char c : bytes) {
            AppendUtf8(out, static_cast<unsigned char>(c));
        }
        return out;
    }
    return Impl::Convert(impl_->toUtf8, bytes, false, kReplacementUtf8);
}

std::string TextCodec::FromUtf8(std::string_view utf8) const {
    if (impl_->fromUtf8 == kNoConverter) {
        std::string out;
        out.reserve(utf8.size());
        size_t pos = 0;
        while (pos < utf8.size()) {
            char32_t cp = 0;
            const size_t length = DecodeUtf8(utf8.substr(pos), cp);
            out.push_back(length != 0 && cp < 0x100 ? static_cast<char>(cp) : '?');
            pos += std::max<size_t>(1, length);
        }
        return out;
    }
    return Impl::Convert(impl_->fromUtf8, utf8, true, "?");
}

std::string TextCodec::UpperCase(std::string_view bytes) const {
    std::string out(bytes);
    for (char& c : out) {
        c = static_cast<char>(upper_[static_cast<unsigned char>(c)]);
    }
    return out;
}

std::string FoldCaseUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        const size_t length = DecodeUtf8(utf8.substr(pos), cp);
        if (length == 0) {
            out.push_back(utf8[pos]);
            ++pos;
            continue;
        }
        AppendUtf8(out, UpperChar(cp));
        pos += length;
    }
    return out;
}

std::string UpperAscii(std::string_view bytes) {
    std::string out(bytes);
    for (char& c : out) {
        c = UpperAsciiChar(c);
    }
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace kq::media
