// The in-place pixel filters: kernels, blurs, shifts, mosaic, noise, colour tables and grey.
#include "media/pixel_filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
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

// Weights known at compile time let the division by the kernel sum become a multiplication,
// and their small values let the sums stay 32-bit.
template <int32_t K, int32_t M> struct FixedWeights {
    using Int = int32_t;
    static constexpr bool fixed = true;
    static constexpr Int corner = K;
    static constexpr Int centre = M;
    static constexpr Int divisor = (4 * K + M) == 0 ? 1 : (4 * K + M);
};

struct RuntimeWeights {
    using Int = int64_t;
    static constexpr bool fixed = false;
    Int corner;
    Int centre;
    Int divisor;
};

// The new colour of pixel p from the corner pixels at byte offsets left and right of the rows
// up and down (which may be p's own row).
template <class W>
inline void KernelPixel(uint8_t* p, const uint8_t* up, const uint8_t* down, ptrdiff_t left,
                        ptrdiff_t right, const W& w) {
    using Int = typename W::Int;
    for (int c = 0; c < 3; ++c) {
        const Int corners = Int{up[left + c]} + up[right + c] + down[left + c] + down[right + c];
        const Int v = (w.centre * p[c] + w.corner * corners) / w.divisor;
        p[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// Pixels [begin, end) of a row whose corner rows are other rows and whose corner columns need
// no clamping: nothing read there is written there, so the pixels are independent of each
// other.
template <class W>
void KernelSpan(uint8_t* row, const uint8_t* up, const uint8_t* down, size_t begin, size_t end,
                ptrdiff_t offset, const W& w) {
    for (size_t x = begin; x < end; ++x) {
        KernelPixel(row + x * 4, up + x * 4, down + x * 4, -offset, offset, w);
    }
}

// The same for the fixed kernels, as one stretch of bytes (alpha included) into out: with the
// channels side by side and every sum within 16 bits, the compiler runs 8 bytes at a time and
// turns the division into a multiplication. Every byte of the stretch is written.
template <int32_t K, int32_t M>
void FixedKernelBytes(uint8_t* __restrict out, const uint8_t* __restrict centre,
                      const uint8_t* __restrict up, const uint8_t* __restrict down, size_t count,
                      ptrdiff_t offset) {
    constexpr int16_t kDivisor = FixedWeights<K, M>::divisor;
    static_assert(255 * (4 * (K < 0 ? -K : K) + (M < 0 ? -M : M)) < 32768, "16-bit sums");
    for (size_t i = 0; i < count; ++i) {
        const auto corners = static_cast<int16_t>(up[i - offset] + up[i + offset] +
                                                  down[i - offset] + down[i + offset]);
        const auto sum = static_cast<int16_t>(M * static_cast<int16_t>(centre[i]) + K * corners);
        const auto v = static_cast<int16_t>(sum / kDivisor);
        out[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

template <class W>
void MiddleSpan(uint8_t* row, const uint8_t* up, const uint8_t* down, size_t begin, size_t end,
                ptrdiff_t offset, const W& w, std::vector<uint8_t>& colours) {
    if constexpr (W::fixed) {
        // The new colours go to a row buffer first and are then merged into the row under its
        // alpha, so the alpha bytes computed along with them are dropped.
        const size_t count = (end - begin) * 4;
        if (colours.size() < count) {
            colours.resize(count);
        }
        FixedKernelBytes<static_cast<int32_t>(W::corner), static_cast<int32_t>(W::centre)>(
            colours.data(), row + begin * 4, up + begin * 4, down + begin * 4, count, offset);
        for (size_t x = 0; x < end - begin; ++x) {
            uint32_t pixel, colour;
            std::memcpy(&pixel, row + (begin + x) * 4, 4);
            std::memcpy(&colour, colours.data() + x * 4, 4);
            pixel = (pixel & kAlphaMask) | (colour & kColourMask);
            std::memcpy(row + (begin + x) * 4, &pixel, 4);
        }
    } else {
        KernelSpan(row, up, down, begin, end, offset, w);
    }
}

// Rows walk from the top and pixels from the left, reading and writing the same buffer: the
// corners above (and, in the first and last row, those to the left in the same row) already
// hold their new values, which is what the filter is defined to read. The corners of a pixel
// are the same four pixels for a distance and its negative, so only |distance| matters.
template <class W> void RunCornerKernel(TFastDIB& dib, int32_t distance, const W& w) {
    const int64_t lastX = dib.Width() - 1;
    const int64_t lastY = dib.Height() - 1;
    const int64_t a = std::min<int64_t>(std::abs(int64_t{distance}), std::max(lastX, lastY) + 1);
    // Distance 0: every corner is the pixel itself, and (m + 4k) c / (4k + m) = c.
    if (a == 0 && 4 * w.corner + w.centre != 0) {
        return;
    }
    std::vector<uint8_t> colours; // one row of new colours, for the fixed kernels
    for (int64_t y = 0; y <= lastY; ++y) {
        uint8_t* row = dib.Row(static_cast<int>(y));
        const int64_t upY = std::max<int64_t>(0, y - a);
        const int64_t downY = std::min(lastY, y + a);
        const uint8_t* up = dib.Row(static_cast<int>(upY));
        const uint8_t* down = dib.Row(static_cast<int>(downY));
        auto clamped = [&](int64_t x) {
            const ptrdiff_t left = static_cast<ptrdiff_t>(std::max<int64_t>(0, x - a)) * 4;
            const ptrdiff_t right = static_cast<ptrdiff_t>(std::min(lastX, x + a)) * 4;
            KernelPixel(row + x * 4, up, down, left, right, w);
        };
        if (upY == y || downY == y) {
            for (int64_t x = 0; x <= lastX; ++x) {
                clamped(x);
            }
            continue;
        }
        // Columns a .. lastX - a need no clamping; the rest do.
        const int64_t spanBegin = std::min(a, lastX + 1);
        const int64_t spanEnd = std::max(spanBegin, lastX + 1 - a);
        for (int64_t x = 0; x < spanBegin; ++x) {
            clamped(x);
        }
        MiddleSpan(row, up, down, static_cast<size_t>(spanBegin), static_cast<size_t>(spanEnd),
                   static_cast<ptrdiff_t>(a) * 4, w, colours);
        for (int64_t x = spanEnd; x <= lastX; ++x) {
            clamped(x);
        }
    }
}

} // namespace

bool TFastDIB::Resize(int width, int height, int bitsPerPixel) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    if (bitsPerPixel != 8) {
        bitsPerPixel = 32;
    }
    if (width == width_ && height == height_ && bitsPerPixel == bitsPerPixel_) {
        return false;
    }
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
    if (!Usable(dib)) {
        return;
    }
    const int64_t divisor = 4 * int64_t{corner} + centre;
    RunCornerKernel(dib, distance, RuntimeWeights{corner, centre, divisor == 0 ? 1 : divisor});
}

void Sharpen(TFastDIB& dib, int32_t distance) {
    if (Usable(dib)) {
        RunCornerKernel(dib, distance, FixedWeights<1, -10>{});
    }
}

void SharpenMore(TFastDIB& dib, int32_t distance) {
    if (Usable(dib)) {
        RunCornerKernel(dib, distance, FixedWeights<5, -35>{});
    }
}

void BlurEdges(TFastDIB& dib, int32_t distance) {
    if (Usable(dib)) {
        RunCornerKernel(dib, distance, FixedWeights<2, -3>{});
    }
}

void BleedEdges(TFastDIB& dib, int32_t distance) {
    if (Usable(dib)) {
        RunCornerKernel(dib, distance, FixedWeights<2, -4>{});
    }
}

void SplitBlur(TFastDIB& dib, int32_t distance) {
    // The mean of the four corners is the corner kernel with no centre weight.
    if (Usable(dib)) {
        RunCornerKernel(dib, distance, FixedWeights<1, 0>{});
    }
}

void SoftenRows(TFastDIB& dib) {
    if (!Usable(dib) || dib.Width() < 2) {
        return;
    }
    const int last = dib.Width() - 1;
    for (int y = 0; y < dib.Height(); ++y) {
        uint8_t* row = dib.Row(y);
        // The new left neighbour of each channel is carried in a register: the three channels
        // form three independent chains along the row.
        unsigned b = (row[kBlue] + row[4 + kBlue]) / 2u;
        unsigned g = (row[kGreen] + row[4 + kGreen]) / 2u;
        unsigned r = (row[kRed] + row[4 + kRed]) / 2u;
        row[kBlue] = static_cast<uint8_t>(b);
        row[kGreen] = static_cast<uint8_t>(g);
        row[kRed] = static_cast<uint8_t>(r);
        for (int x = 1; x < last; ++x) {
            uint8_t* p = row + x * 4;
            b = (b + p[4 + kBlue]) / 2u;
            g = (g + p[4 + kGreen]) / 2u;
            r = (r + p[4 + kRed]) / 2u;
            p[kBlue] = static_cast<uint8_t>(b);
            p[kGreen] = static_cast<uint8_t>(g);
            p[kRed] = static_cast<uint8_t>(r);
        }
        uint8_t* p = row + last * 4;
        p[kBlue] = static_cast<uint8_t>((p[kBlue] + b) / 2u);
        p[kGreen] = static_cast<uint8_t>((p[kGreen] + g) / 2u);
        p[kRed] = static_cast<uint8_t>((p[kRed] + r) / 2u);
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
    if (!Usable(dib)) {
        return;
    }
    const size_t w = static_cast<size_t>(dib.Width());
    const size_t h = static_cast<size_t>(dib.Height());
    const size_t dx = NormaliseShift(columns, dib.Width());
    const size_t dy = NormaliseShift(rows, dib.Height());
    if (dx == 0 && dy == 0) {
        return;
    }
    uint32_t* words = dib.Words();
    scratch.assign(words, words + w * h);
    // Destination pixel (x, y) takes the colour of source pixel ((x + dx) mod w, (y + dy) mod h);
    // each row is two straight runs, so no pixel needs a modulo.
    for (size_t y = 0; y < h; ++y) {
        const uint32_t* src = scratch.data() + ((y + dy) % h) * w;
        uint32_t* dst = words + y * w;
        for (size_t x = 0; x < w - dx; ++x) {
            dst[x] = (dst[x] & kAlphaMask) | (src[x + dx] & kColourMask);
        }
        for (size_t x = w - dx; x < w; ++x) {
            dst[x] = (dst[x] & kAlphaMask) | (src[x + dx - w] & kColourMask);
        }
    }
}

void Mosaic(TFastDIB& dib, int32_t width, int32_t height) {
    if (!Usable(dib) || width == 0 || height == 0) {
        return;
    }
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
            for (int64_t x = left; x < end; ++x) {
                topRow[x] = (topRow[x] & kAlphaMask) | colour;
            }
        }
        const int64_t bottom = std::min(top + h, picH);
        for (int64_t y = top + 1; y < bottom; ++y) {
            uint32_t* row = words + y * picW;
            for (int64_t x = 0; x < picW; ++x) {
                row[x] = (row[x] & kAlphaMask) | (topRow[x] & kColourMask);
            }
        }
    }
}

bool AddNoise(TFastDIB& dib, int32_t amount, bool mono, std::mt19937& random) {
    if (amount < 0 || amount > 255) {
        return false;
    }
    if (!Usable(dib) || amount == 0) {
        return true;
    }
    const uint32_t range = static_cast<uint32_t>(amount);
    const int half = amount / 2;
    auto draw = [&] { return static_cast<int>(random() % range) - half; };
    for (int y = 0; y < dib.Height(); ++y) {
        uint8_t* p = dib.Row(y);
        for (int x = 0; x < dib.Width(); ++x, p += 4) {
            if (mono) {
                const int r = draw();
                for (int c = 0; c < 3; ++c) {
                    p[c] = Clamp255(p[c] + r);
                }
            } else {
                for (int c = 0; c < 3; ++c) {
                    p[c] = Clamp255(p[c] + draw());
                }
            }
        }
    }
    return true;
}

void LinearRise(ChannelTable& table, int first, int last, int from, int to) {
    if (last <= first) {
        return;
    }
    const int64_t step = (int64_t{to - from + 1} * 65536) / (last - first);
    for (int64_t i = 0; i <= last - first; ++i) {
        const int64_t entry = first + i;
        if (entry >= 0 && entry < 256) {
            table[static_cast<size_t>(entry)] =
                Clamp255((int64_t{from} * 65536 + i * step) / 65536);
        }
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
        for (int i = 0; i < 256; ++i) {
            table[i] = static_cast<uint8_t>(i);
        }
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
    if (!Usable(dib)) {
        return;
    }
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
    if (!Usable(dib)) {
        return;
    }
    grey.Resize(dib.Width(), dib.Height(), 8);
    // The table rising from 0 to 85 over 0..255 has entry i = i * step / 65536 with step =
    // (86 * 65536) / 255; computing the entries instead of looking them up lets the compiler
    // run several pixels at once (the tests compare with LinearRise).
    constexpr uint32_t kStep = (86u * 65536u) / 255u;
    for (int y = 0; y < dib.Height(); ++y) {
        const uint8_t* p = dib.Row(y);
        uint8_t* g = grey.Row(y);
        for (int x = 0; x < dib.Width(); ++x) {
            const uint32_t sum = ((p[x * 4 + kBlue] * kStep) >> 16) +
                                 ((p[x * 4 + kGreen] * kStep) >> 16) +
                                 ((p[x * 4 + kRed] * kStep) >> 16);
            g[x] = static_cast<uint8_t>(sum);
        }
    }
}

} // namespace kq::media
