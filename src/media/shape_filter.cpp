#include "media/shape_filter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kq::media {

namespace {

constexpr std::array<std::string_view, kFilterCount> kFilterNames = {
    "flNone",        "flWave",      "flSharpen",    "flSoft",       "flShift",     "flMosaic",
    "flSharpenMore", "flSplitBlur", "flBlurEdges",  "flBleedEdges", "flGrayscale", "flAddNoise",
    "flContrast",    "flGamma",     "flSquareWave", "flLens"};

enum Filter : int32_t {
    kNone,
    kWave,
    kSharpen,
    kSoft,
    kShift,
    kMosaic,
    kSharpenMore,
    kSplitBlur,
    kBlurEdges,
    kBleedEdges,
    kGrayscale,
    kAddNoise,
    kContrast,
    kGamma,
    kSquareWave,
    kLens,
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::string_view FilterName(int32_t value) {
    if (value < 0 || value >= kFilterCount) {
        return {};
    }
    return kFilterNames[static_cast<size_t>(value)];
}

std::optional<int32_t> FilterValueFromName(std::string_view name) {
    for (size_t i = 0; i < kFilterNames.size(); ++i) {
        if (SameIgnoringCase(name, kFilterNames[i])) {
            return static_cast<int32_t>(i);
        }
    }
    return std::nullopt;
}

std::optional<int32_t> RoundParameter(double p) {
    // nearbyint rounds halves to even in the default rounding mode.
    const double r = std::nearbyint(p);
    if (!std::isfinite(r) || r < -2147483648.0 || r > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(r);
}

TFastDIB& ShapeFilterBuffers::Work(int width, int height) {
    work_.Resize(width, height, 32);
    return work_;
}

void ShapeFilterBuffers::PrepareSecond() {
    // Zero-filled when created or resized (Resize clears on a change): the warps leave some
    // pixels unwritten and those show the second buffer's old contents, so a fresh buffer must
    // hold something defined, the same on every run, rather than whatever memory it got.
    second_.Resize(work_.Width(), work_.Height(), 32);
}

void ShapeFilterBuffers::TakeSecondColours() {
    constexpr uint32_t kAlphaMask = 0xFF000000u;
    uint32_t* out = work_.Words();
    const uint32_t* in = second_.Words();
    for (size_t i = 0; i < work_.PixelCount(); ++i) {
        out[i] = (out[i] & kAlphaMask) | (in[i] & ~kAlphaMask);
    }
}

bool ShapeFilterBuffers::Apply(int32_t filter, double par1, double par2, double par3,
                               std::mt19937& random) {
    if (work_.Empty() || filter <= kNone || filter >= kFilterCount) {
        return false;
    }
    const std::optional<int32_t> n1 = RoundParameter(par1);
    const std::optional<int32_t> n2 = RoundParameter(par2);
    const std::optional<int32_t> n3 = RoundParameter(par3);
    switch (static_cast<Filter>(filter)) {
    case kNone:
        return false;
    case kWave:
    case kSquareWave:
    case kLens: {
        PrepareSecond();
        bool ran = false;
        if (filter == kWave) {
            ran = Wave(work_, second_, par3, par1, par2);
        } else if (filter == kSquareWave) {
            ran = SquareWave(work_, second_, par3, par1, par2);
        } else {
            ran = Lens(work_, second_, par1);
        }
        if (ran) {
            TakeSecondColours();
        }
        return ran;
    }
    case kSharpen:
    case kSharpenMore:
    case kSplitBlur:
    case kBlurEdges:
    case kBleedEdges:
        if (!n1) {
            return false;
        }
        if (filter == kSharpen) {
            Sharpen(work_, *n1);
        } else if (filter == kSharpenMore) {
            SharpenMore(work_, *n1);
        } else if (filter == kSplitBlur) {
            SplitBlur(work_, *n1);
        } else if (filter == kBlurEdges) {
            BlurEdges(work_, *n1);
        } else {
            BleedEdges(work_, *n1);
        }
        return true;
    case kSoft:
        SoftenRows(work_);
        return true;
    case kShift:
        if (!n1 || !n2) {
            return false;
        }
        Rotate(work_, *n1, *n2, scratch_);
        return true;
    case kMosaic:
        if (!n1 || !n2) {
            return false;
        }
        Mosaic(work_, *n1, *n2);
        return true;
    case kGrayscale: {
        ToGrey(work_, grey_);
        // Each pixel's colour becomes grey x $010101 under its own alpha.
        for (int y = 0; y < work_.Height(); ++y) {
            uint32_t* p = work_.Words() + static_cast<size_t>(y) * work_.Width();
            const uint8_t* g = grey_.Row(y);
            for (int x = 0; x < work_.Width(); ++x) {
                p[x] = (p[x] & 0xFF000000u) | (g[x] * 0x010101u);
            }
        }
        return true;
    }
    case kAddNoise:
        // The mono flag is the real parameter itself: 0.3 is not 0, so it counts.
        return n1 && AddNoise(work_, *n1, par2 != 0, random);
    case kContrast:
        if (!n1 || !n2 || !n3) {
            return false;
        }
        ApplyTables(work_, ContrastTable(*n1), ContrastTable(*n2), ContrastTable(*n3));
        return true;
    case kGamma:
        if (!n1 || !n2 || !n3) {
            return false;
        }
        ApplyTables(work_, GammaTable(*n1), GammaTable(*n2), GammaTable(*n3));
        return true;
    }
    return false;
}

} // namespace kq::media
