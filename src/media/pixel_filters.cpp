// The in-place pixel filters: kernels, blurs, shifts, mosaic, noise, colour tables and grey.
#include "media/pixel_filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kq::media {

// Pixels are handled as words where whole colours move; the masks below name the bytes of a
// little-endian word (blue lowest, alpha highest).
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kAlphaMask = 0xFF000000u;
constexpr uint32_t kColourMask = 0x00FFFFFFu;

uint8_t Clamp255(int64_t v) {
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

bool Usable(const TFastDIB& dib) {
    return !dib.Empty() && dib.BitsPerPixel() == 32;
}

int64_t ClampIndex(int64_t v, int64_t last) {
    return std::clamp<int64_t>(v, 0, last);
}

// Weights known at compile time let the division by the kernel sum become a multiplication.
template <int32_t K, int32_t M> struct FixedWeights {
    static constexpr int64_t corner = K;
    static constexpr int64_t centre = M;
    static constexpr int64_t divisor = (4 * K + M) == 0 ? 1 : (4 * K + M);
};

struct RuntimeWeights {
    int64_t corner;
    int64_t centre;
    int64_t divisor;
};

// Rows walk from the top and pixels from the left, reading and writing the same buffer: the
// corners above (and, at the bottom edge, those to the left in the same row) already hold their
// new values, which is what the filter is defined to read.
template <class Weights> void RunCornerKernel(TFastDIB& dib, int32_t distance, const Weights& w) {
    const int64_t lastX = dib.Width() - 1;
    const int64_t lastY = dib.Height() - 1;
    for (int64_t y = 0; y <= lastY; ++y) {
        uint8_t* row = dib.Row(static_cast<int>(y));
        const uint8_t* up = dib.Row(static_cast<int>(ClampIndex(y - distance, lastY)));
        const uint8_t* down = dib.Row(static_cast<int>(ClampIndex(y + distance, lastY)));
        for (int64_t x = 0; x <= lastX; ++x) {
            const size_t left = static_cast<size_t>(ClampIndex(x - distance, lastX)) * 4;
            const size_t right = static_cast<size_t>(ClampIndex(x + distance, lastX)) * 4;
            uint8_t* p = row + x * 4;
            for (int c = 0; c < 3; ++c) {
                const int64_t corners =
                    int64_t{up[left + c]} + up[right + c] + down[left + c] + down[right + c];
                p[c] = Clamp255((w.centre * p[c] + w.corner * corners) / w.divisor);
            }
        }
    }
}

} // namespace

bool TFastDIB::Resize(int width, int height, int bitsPerPixel) {
    if (width <= 0 || height <= 0)
        width = height = 0;
    if (bitsPerPixel != 8)
        bitsPerPixel = 32;
    if (width == width_ && height == height_ && bitsPerPixel == bitsPerPixel_)
        return false;
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    stride_ = bitsPerPixel == 32 ? width * 4 : (width + 3) / 4 * 4;
    words_.assign(static_cast<size_t>(stride_ / 4) * height, 0);
    return true;
}

void TFastDIB::Fill(uint32_t word) {
    std::fill(words_.begin(), words_.end(), word);
}

void CornerKernel(TFastDIB& dib, int32_t distance, int32_t corner, int32_t centre) {
    if (!Usable(dib))
        return;
    const int64_t divisor = 4 * int64_t{corner} + centre;
    RunCornerKernel(dib, distance, RuntimeWeights{corner, centre, divisor == 0 ? 1 : divisor});
}

void Sharpen(TFastDIB& dib, int32_t distance) {
    if (Usable(dib))
        RunCornerKernel(dib, distance, FixedWeights<1, -10>{});
}

void SharpenMore(TFastDIB& dib, int32_t distance) {
    if (Usable(dib))
        RunCornerKernel(dib, distance, FixedWeights<5, -35>{});
}

void BlurEdges(TFastDIB& dib, int32_t distance) {
    if (Usable(dib))
        RunCornerKernel(dib, distance, FixedWeights<2, -3>{});
}

void BleedEdges(TFastDIB& dib, int32_t distance) {
    if (Usable(dib))
        RunCornerKernel(dib, distance, FixedWeights<2, -4>{});
}

void SplitBlur(TFastDIB& dib, int32_t distance) {
    // The mean of the four corners is the corner kernel with no centre weight.
    if (Usable(dib))
        RunCornerKernel(dib, distance, FixedWeights<1, 0>{});
}

void SoftenRows(TFastDIB& dib) {
    if (!Usable(dib) || dib.Width() < 2)
        return;
    const int last = dib.Width() - 1;
    for (int y = 0; y < dib.Height(); ++y) {
        uint8_t* row = dib.Row(y);
        for (int c = 0; c < 3; ++c) {
            row[c] = static_cast<uint8_t>((row[c] + row[4 + c]) / 2);
            for (int x = 1; x < last; ++x) {
                uint8_t* p = row + x * 4 + c;
                *p = static_cast<uint8_t>((p[-4] + p[4]) / 2);
            }
            uint8_t* p = row + last * 4 + c;
            *p = static_cast<uint8_t>((p[0] + p[-4]) / 2);
        }
    }
}

namespace {

// A rotation count normalised to 0..size - 1 (counts of size or its multiples do nothing).
size_t NormaliseShift(int32_t count, int size) {
    const int64_t m = int64_t{count} % size;
    return static_cast<size_t>(m < 0 ? m + size : m);
}

} // namespace

void Rotate(TFastDIB& dib, int32_t columns, int32_t rows, std::vector<uint32_t>& scratch) {
    if (!Usable(dib))
        return;
    const size_t w = static_cast<size_t>(dib.Width());
    const size_t h = static_cast<size_t>(dib.Height());
    const size_t dx = NormaliseShift(columns, dib.Width());
    const size_t dy = NormaliseShift(rows, dib.Height());
    if (dx == 0 && dy == 0)
        return;
    uint32_t* words = dib.Words();
    scratch.assign(words, words + w * h);
    // Destination pixel (x, y) takes the colour of source pixel ((x + dx) mod w, (y + dy) mod h);
    // each row is two straight runs, so no pixel needs a modulo.
    for (size_t y = 0; y < h; ++y) {
        const uint32_t* src = scratch.data() + ((y + dy) % h) * w;
        uint32_t* dst = words + y * w;
        for (size_t x = 0; x < w - dx; ++x)
            dst[x] = (dst[x] & kAlphaMask) | (src[x + dx] & kColourMask);
        for (size_t x = w - dx; x < w; ++x)
            dst[x] = (dst[x] & kAlphaMask) | (src[x + dx - w] & kColourMask);
    }
}

void Mosaic(TFastDIB& dib, int32_t width, int32_t height) {
    if (!Usable(dib) || width == 0 || height == 0)
        return;
    const int64_t w = std::abs(int64_t{width});
    const int64_t h = std::abs(int64_t{height});
    const int64_t picW = dib.Width();
    const int64_t picH = dib.Height();
    uint32_t* words = dib.Words();
    // Each block row first fills its top row, block by block, reading each sample just before
    // its block is written; then copies that row down. A sample lies at or right of its block's
    // left column and at or below its top row, so it is never a pixel written before it: every
    // block reads the picture as it was before the filter.
    for (int64_t top = 0; top < picH; top += h) {
        const int64_t sampleY = std::min(top + h / 2 + h % 2, picH - 1);
        uint32_t* topRow = words + top * picW;
        const uint32_t* sampleRow = words + sampleY * picW;
        for (int64_t left = 0; left < picW; left += w) {
            const int64_t sampleX = std::min(left + w / 2 + w % 2, picW - 1);
            const uint32_t colour = sampleRow[sampleX] & kColourMask;
            const int64_t end = std::min(left + w, picW);
            for (int64_t x = left; x < end; ++x)
                topRow[x] = (topRow[x] & kAlphaMask) | colour;
        }
        const int64_t bottom = std::min(top + h, picH);
        for (int64_t y = top + 1; y < bottom; ++y) {
            uint32_t* row = words + y * picW;
            for (int64_t x = 0; x < picW; ++x)
                row[x] = (row[x] & kAlphaMask) | (topRow[x] & kColourMask);
        }
    }
}

bool AddNoise(TFastDIB& dib, int32_t amount, bool mono, std::mt19937& random) {
    if (amount < 0 || amount > 255)
        return false;
    if (!Usable(dib) || amount == 0)
        return true;
    const uint32_t range = static_cast<uint32_t>(amount);
    const int half = amount / 2;
    auto draw = [&] { return static_cast<int>(random() % range) - half; };
    for (int y = 0; y < dib.Height(); ++y) {
        uint8_t* p = dib.Row(y);
        for (int x = 0; x < dib.Width(); ++x, p += 4) {
            if (mono) {
                const int r = draw();
                for (int c = 0; c < 3; ++c)
                    p[c] = Clamp255(p[c] + r);
            } else {
                for (int c = 0; c < 3; ++c)
                    p[c] = Clamp255(p[c] + draw());
            }
        }
    }
    return true;
}

void LinearRise(ChannelTable& table, int first, int last, int from, int to) {
    if (last <= first)
        return;
    const int64_t step = (int64_t{to - from + 1} * 65536) / (last - first);
    for (int64_t i = 0; i <= last - first; ++i) {
        const int64_t entry = first + i;
        if (entry >= 0 && entry < 256)
            table[static_cast<size_t>(entry)] =
                Clamp255((int64_t{from} * 65536 + i * step) / 65536);
    }
}

ChannelTable ContrastTable(int32_t value) {
    const int n = std::clamp<int32_t>(value, -255, 255);
    ChannelTable table{};
    if (n < 0) {
        LinearRise(table, 0, 255, -n, 255 + n);
        return table;
    }
    // Zeros first, then the 255s: for n above 128 the two ranges overlap and the 255s win
    // (contrast 255 keeps only entry 0 at 0).
    std::fill(table.begin(), table.begin() + n, uint8_t{0});
    std::fill(table.begin() + (256 - n), table.end(), uint8_t{255});
    LinearRise(table, n, 255 - n, 0, 255);
    return table;
}

ChannelTable GammaTable(double gamma) {
    ChannelTable table{};
    if (!(gamma > 0)) {
        for (int i = 0; i < 256; ++i)
            table[i] = static_cast<uint8_t>(i);
        return table;
    }
    for (int i = 1; i < 256; ++i) {
        const double v = std::nearbyint(std::pow(i / 255.0, 1.0 / gamma) * 255.0);
        table[i] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
    }
    return table;
}

void ApplyTables(TFastDIB& dib, const ChannelTable& red, const ChannelTable& green,
                 const ChannelTable& blue) {
    if (!Usable(dib))
        return;
    for (int y = 0; y < dib.Height(); ++y) {
        uint8_t* p = dib.Row(y);
        for (int x = 0; x < dib.Width(); ++x, p += 4) {
            p[kBlue] = blue[p[kBlue]];
            p[kGreen] = green[p[kGreen]];
            p[kRed] = red[p[kRed]];
        }
    }
}

void ToGrey(const TFastDIB& dib, TFastDIB& grey) {
    if (!Usable(dib))
        return;
    grey.Resize(dib.Width(), dib.Height(), 8);
    ChannelTable third{};
    LinearRise(third, 0, 255, 0, 85);
    for (int y = 0; y < dib.Height(); ++y) {
        const uint8_t* p = dib.Row(y);
        uint8_t* g = grey.Row(y);
        for (int x = 0; x < dib.Width(); ++x, p += 4)
            g[x] = static_cast<uint8_t>(third[p[kBlue]] + third[p[kGreen]] + third[p[kRed]]);
    }
}

} // namespace kq::media
