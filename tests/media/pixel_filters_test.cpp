// The pixel filters on small hand-computed buffers, their edges and their bad parameters.
#include "media/pixel_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using kq::media::ChannelTable;
using kq::media::TFastDIB;

// A 32-bit buffer from ARGB words, row by row.
TFastDIB Dib(int w, int h, const std::vector<uint32_t>& words) {
    TFastDIB dib(w, h, 32);
    for (size_t i = 0; i < words.size() && i < dib.PixelCount(); ++i) {
        dib.Words()[i] = words[i];
    }
    return dib;
}

std::vector<uint32_t> Words(const TFastDIB& dib) {
    return {dib.Words(), dib.Words() + dib.PixelCount()};
}

// A buffer whose blue channels are the given values (green, red 0; alpha 0x80).
TFastDIB Blues(int w, int h, const std::vector<uint32_t>& blues) {
    std::vector<uint32_t> words;
    for (uint32_t b : blues) {
        words.push_back(0x80000000u | b);
    }
    return Dib(w, h, words);
}

std::vector<uint32_t> BlueValues(const TFastDIB& dib) {
    std::vector<uint32_t> out;
    for (uint32_t word : Words(dib)) {
        out.push_back(word & 0xFF);
    }
    return out;
}

TFastDIB RandomDib(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    TFastDIB dib(w, h, 32);
    for (size_t i = 0; i < dib.PixelCount(); ++i) {
        dib.Words()[i] = rng();
    }
    return dib;
}

std::vector<uint32_t> Alphas(const TFastDIB& dib) {
    std::vector<uint32_t> out;
    for (uint32_t word : Words(dib)) {
        out.push_back(word >> 24);
    }
    return out;
}

using Blue = std::vector<uint32_t>;

TEST(PixelFilterBuffer, LayoutOfBothDepths) {
    TFastDIB dib(3, 2, 32);
    EXPECT_EQ(dib.Stride(), 12);
    dib.Row(1)[4 + kq::media::kRed] = 0x12; // pixel (1, 1)
    EXPECT_EQ(dib.Words()[4], 0x00120000u);
    TFastDIB grey(5, 2, 8);
    EXPECT_EQ(grey.Stride(), 8); // 8-bit rows are rounded up to 4 bytes
    EXPECT_EQ(grey.Row(1) - grey.Row(0), 8);
    // Keeping the size keeps the contents; a new size clears them.
    EXPECT_FALSE(dib.Resize(3, 2, 32));
    EXPECT_EQ(dib.Words()[4], 0x00120000u);
    EXPECT_TRUE(dib.Resize(2, 3, 32));
    EXPECT_EQ(dib.Words()[4], 0u);
    EXPECT_TRUE(dib.Resize(0, 5));
    EXPECT_TRUE(dib.Empty());
}

TEST(PixelFilterKernels, FlatPictureStaysFlatWhateverTheDistance) {
    for (int32_t distance : {0, 1, 2, 7, -3, 1000000, INT32_MIN, INT32_MAX}) {
        TFastDIB dib = Dib(5, 4, std::vector<uint32_t>(20, 0x40A0B0C0u));
        kq::media::Sharpen(dib, distance);
        kq::media::SharpenMore(dib, distance);
        kq::media::BlurEdges(dib, distance);
        kq::media::BleedEdges(dib, distance);
        kq::media::SplitBlur(dib, distance);
        EXPECT_EQ(Words(dib), std::vector<uint32_t>(20, 0x40A0B0C0u)) << distance;
    }
}

// On 3 x 1 blues 10, 20, 30 with distance 1 each pixel's corners are its left and right
// neighbours (clamped), twice each; the left one already holds its new value.
TEST(PixelFilterKernels, HandComputedRowReadsNewLeftNeighbours) {
    auto run = [](void (*filter)(TFastDIB&, int32_t), int w, int h, int32_t distance) {
        TFastDIB dib = Blues(w, h, {10, 20, 30});
        filter(dib, distance);
        EXPECT_EQ(Alphas(dib), Blue(3, 0x80));
        return BlueValues(dib);
    };
    // Sharpen: (-10c + corners) / -6. Reading the old left value would give 20 in the middle.
    EXPECT_EQ(run(kq::media::Sharpen, 3, 1, 1), (Blue{6, 21, 33}));
    // A column is the same picture turned: the up corners are new, the down ones old, and at
    // the bottom the down corners are the pixel itself.
    EXPECT_EQ(run(kq::media::Sharpen, 1, 3, 1), (Blue{6, 21, 33}));
    // A negative distance swaps the corners, clamped into the picture on both sides.
    EXPECT_EQ(run(kq::media::Sharpen, 3, 1, -1), (Blue{6, 21, 33}));
    EXPECT_EQ(run(kq::media::Sharpen, 1, 3, -1), (Blue{6, 21, 33}));
    EXPECT_EQ(run(kq::media::SharpenMore, 3, 1, 1), (Blue{3, 24, 34}));
    EXPECT_EQ(run(kq::media::BlurEdges, 3, 1, 1), (Blue{18, 26, 26}));
    EXPECT_EQ(run(kq::media::BleedEdges, 3, 1, 1), (Blue{20, 30, 30}));
    EXPECT_EQ(run(kq::media::SplitBlur, 3, 1, 1), (Blue{15, 22, 26}));
    EXPECT_EQ(run(kq::media::SplitBlur, 1, 3, 1), (Blue{15, 22, 26}));
}

TEST(PixelFilterKernels, SplitBlurSquareAndClamping) {
    // 2 x 2, distance 1: every pixel's corners are the four pixels, the earlier ones new.
    TFastDIB dib = Blues(2, 2, {0, 40, 80, 120});
    kq::media::SplitBlur(dib, 1);
    EXPECT_EQ(BlueValues(dib), (Blue{60, 75, 83, 84}));
    // Sharpen drives a lone bright pixel above 255 and its neighbours below 0: both clamp.
    TFastDIB spike = Blues(3, 1, {0, 255, 0});
    kq::media::Sharpen(spike, 1);
    EXPECT_EQ(BlueValues(spike), (Blue{0, 255, 0}));
}

TEST(PixelFilterKernels, ZeroDivisorCountsAsOneAndRuntimeWeightsMatch) {
    // Corners 1 and centre -4 sum to 0: divided by 1, a flat picture becomes black.
    TFastDIB flat = Dib(3, 3, std::vector<uint32_t>(9, 0xFF646464u));
    kq::media::CornerKernel(flat, 1, 1, -4);
    EXPECT_EQ(Words(flat), std::vector<uint32_t>(9, 0xFF000000u));
    // The fixed kernels take a faster path through the middle of the picture; the general
    // one must agree with it everywhere.
    struct Fixed {
        void (*filter)(TFastDIB&, int32_t);
        int32_t corner, centre;
    };
    const Fixed fixed[] = {{kq::media::Sharpen, 1, -10},
                           {kq::media::SharpenMore, 5, -35},
                           {kq::media::BlurEdges, 2, -3},
                           {kq::media::BleedEdges, 2, -4},
                           {kq::media::SplitBlur, 1, 0}};
    for (const Fixed& f : fixed) {
        for (int32_t distance : {1, 2, 5, -3, 40}) {
            TFastDIB a = RandomDib(37, 23, static_cast<uint32_t>(distance + 100));
            TFastDIB b = a;
            kq::media::CornerKernel(a, distance, f.corner, f.centre);
            f.filter(b, distance);
            EXPECT_EQ(Words(a), Words(b)) << f.corner << " " << f.centre << " " << distance;
        }
    }
}

TEST(PixelFilterSoften, RowsFromTheLeftWithEdges) {
    TFastDIB dib = Blues(4, 1, {10, 20, 31, 41});
    kq::media::SoftenRows(dib);
    EXPECT_EQ(BlueValues(dib), (Blue{15, 23, 32, 36}));
    TFastDIB two = Blues(2, 1, {10, 21});
    kq::media::SoftenRows(two);
    EXPECT_EQ(BlueValues(two), (Blue{15, 18})); // the last reads the new first
    TFastDIB column = Blues(1, 3, {10, 20, 30});
    kq::media::SoftenRows(column);
    EXPECT_EQ(BlueValues(column), (Blue{10, 20, 30}));
    // Every channel, and rows independently.
    TFastDIB rows = Dib(2, 2, {0x11204060u, 0x22000000u, 0x33FFFFFFu, 0x44010101u});
    kq::media::SoftenRows(rows);
    EXPECT_EQ(Words(rows),
              (std::vector<uint32_t>{0x11102030u, 0x22081018u, 0x33808080u, 0x44404040u}));
}

TEST(PixelFilterRotate, RowsThenColumnsWithNormalisedCounts) {
    const std::vector<uint32_t> picture = {1, 2, 3, 4, 5, 6}; // 3 x 2
    std::vector<uint32_t> scratch;
    auto rotated = [&](int w, int h, int32_t columns, int32_t rows) {
        TFastDIB dib = Dib(w, h, picture);
        kq::media::Rotate(dib, columns, rows, scratch);
        return Words(dib);
    };
    EXPECT_EQ(rotated(3, 2, -1, 0), (std::vector<uint32_t>{3, 1, 2, 6, 4, 5}));
    EXPECT_EQ(rotated(3, 2, 1, 0), (std::vector<uint32_t>{2, 3, 1, 5, 6, 4}));
    EXPECT_EQ(rotated(3, 2, 0, 1), (std::vector<uint32_t>{4, 5, 6, 1, 2, 3}));
    EXPECT_EQ(rotated(3, 2, 1, 1), (std::vector<uint32_t>{5, 6, 4, 2, 3, 1}));
    EXPECT_EQ(rotated(3, 2, 3, 2), picture); // whole turns
    EXPECT_EQ(rotated(3, 2, 7, -5), rotated(3, 2, 1, 1));
    EXPECT_EQ(rotated(3, 2, INT32_MIN, INT32_MAX), rotated(3, 2, 1, 1));
    EXPECT_EQ(rotated(1, 6, 5, -1), (std::vector<uint32_t>{6, 1, 2, 3, 4, 5}));
    EXPECT_EQ(rotated(6, 1, 2, 9), (std::vector<uint32_t>{3, 4, 5, 6, 1, 2}));
    // The colours move; every pixel keeps its alpha.
    TFastDIB alpha = Dib(2, 1, {0x10AAAAAAu, 0x20BBBBBBu});
    kq::media::Rotate(alpha, 1, 0, scratch);
    EXPECT_EQ(Words(alpha), (std::vector<uint32_t>{0x10BBBBBBu, 0x20AAAAAAu}));
}

std::vector<uint32_t> Numbered(int w, int h) {
    std::vector<uint32_t> words;
    for (int i = 0; i < w * h; ++i) {
        words.push_back(0xFF000000u | static_cast<uint32_t>(i));
    }
    return words;
}

TEST(PixelFilterMosaic, BlocksSampleTheOriginalPicture) {
    const int w = 7;
    const int h = 4;
    auto at = [&](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(y * w + x); };
    TFastDIB dib = Dib(w, h, Numbered(w, h));
    kq::media::Mosaic(dib, 3, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // 3 x 3 blocks sample offset (2, 2); the cut blocks at x 6 and y 3 are limited to
            // the last column and row.
            const int sx = x < 3 ? 2 : x < 6 ? 5 : 6;
            const int sy = y < 3 ? 2 : 3;
            EXPECT_EQ(dib.Words()[y * w + x], at(sx, sy)) << x << "," << y;
        }
    }
    // 1 x 1 blocks sample offset (1, 1), a pixel the filter writes later: it must be read as
    // it was before, which shifts the picture up and left.
    TFastDIB ones = Dib(3, 3, Numbered(3, 3));
    kq::media::Mosaic(ones, -1, 1);
    EXPECT_EQ(Words(ones), (std::vector<uint32_t>{0xFF000004u, 0xFF000005u, 0xFF000005u,
                                                  0xFF000007u, 0xFF000008u, 0xFF000008u,
                                                  0xFF000007u, 0xFF000008u, 0xFF000008u}));
    // 2 x 1: offset (1, 1); sizes of 0 do nothing; huge blocks sample the last pixel.
    TFastDIB wide = Dib(4, 2, Numbered(4, 2));
    kq::media::Mosaic(wide, 2, 0);
    EXPECT_EQ(Words(wide), Numbered(4, 2));
    kq::media::Mosaic(wide, 2, -1);
    EXPECT_EQ(Words(wide),
              (std::vector<uint32_t>{0xFF000005u, 0xFF000005u, 0xFF000007u, 0xFF000007u,
                                     0xFF000005u, 0xFF000005u, 0xFF000007u, 0xFF000007u}));
    TFastDIB huge = Dib(3, 2, Numbered(3, 2));
    kq::media::Mosaic(huge, INT32_MIN, INT32_MAX);
    EXPECT_EQ(Words(huge), std::vector<uint32_t>(6, 0xFF000005u));
    // Alpha stays with the pixel.
    TFastDIB alpha = Dib(2, 1, {0x10000001u, 0x20000002u});
    kq::media::Mosaic(alpha, 2, 1);
    EXPECT_EQ(Words(alpha), (std::vector<uint32_t>{0x10000002u, 0x20000002u}));
}

TEST(PixelFilterNoise, AmountsSeedsAndMono) {
    std::mt19937 random(7);
    const TFastDIB original = RandomDib(6, 5, 3);
    for (int32_t amount : {0, 1}) {
        TFastDIB dib = original;
        EXPECT_TRUE(kq::media::AddNoise(dib, amount, false, random));
        EXPECT_EQ(Words(dib), Words(original)) << amount;
    }
    for (int32_t amount : {-1, 256, INT32_MIN}) {
        TFastDIB dib = original;
        EXPECT_FALSE(kq::media::AddNoise(dib, amount, true, random));
        EXPECT_EQ(Words(dib), Words(original)) << amount;
    }
    // Same generator state, same picture; numbers are drawn as random() % amount.
    TFastDIB grey = Dib(8, 8, std::vector<uint32_t>(64, 0xFF808080u));
    TFastDIB a = grey, b = grey, c = grey;
    std::mt19937 r1(42), r2(42), r3(43), expected(42);
    ASSERT_TRUE(kq::media::AddNoise(a, 50, false, r1));
    ASSERT_TRUE(kq::media::AddNoise(b, 50, false, r2));
    ASSERT_TRUE(kq::media::AddNoise(c, 50, false, r3));
    EXPECT_EQ(Words(a), Words(b));
    EXPECT_NE(Words(a), Words(c));
    EXPECT_EQ(a.Row(0)[kq::media::kBlue], 128 + static_cast<int>(expected() % 50) - 25);
    EXPECT_EQ(a.Row(0)[kq::media::kGreen], 128 + static_cast<int>(expected() % 50) - 25);
    bool channelsDiffer = false;
    for (uint32_t word : Words(a)) {
        channelsDiffer |= (word & 0xFF) != ((word >> 8) & 0xFF);
        EXPECT_EQ(word >> 24, 0xFFu);
        for (int shift : {0, 8, 16}) {
            const int v = static_cast<int>((word >> shift) & 0xFF);
            EXPECT_TRUE(v >= 128 - 25 && v <= 128 + 24) << v;
        }
    }
    EXPECT_TRUE(channelsDiffer);
    // Mono: one number per pixel, so grey stays grey; results clamp at 0 and 255.
    TFastDIB mono = Dib(8, 8, std::vector<uint32_t>(64, 0xFF808080u));
    std::mt19937 r4(9);
    ASSERT_TRUE(kq::media::AddNoise(mono, 255, true, r4));
    for (uint32_t word : Words(mono)) {
        EXPECT_EQ(word & 0xFF, (word >> 8) & 0xFF);
        EXPECT_EQ(word & 0xFF, (word >> 16) & 0xFF);
    }
    TFastDIB white = Dib(4, 4, std::vector<uint32_t>(16, 0xFFFFFFFFu));
    ASSERT_TRUE(kq::media::AddNoise(white, 255, false, r4));
    for (uint32_t word : Words(white)) {
        EXPECT_TRUE((word & 0xFF) >= 128) << std::hex << word; // never wrapped round
    }
}

TEST(PixelFilterTables, Contrast) {
    ChannelTable identity{};
    for (int i = 0; i < 256; ++i) {
        identity[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(kq::media::ContrastTable(0), identity);
    const ChannelTable half = kq::media::ContrastTable(128);
    const ChannelTable full = kq::media::ContrastTable(255);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(half[i], i < 128 ? 0 : 255) << i;
        EXPECT_EQ(full[i], i == 0 ? 0 : 255) << i;
    }
    // 127: the one-step rise would write 256 at entry 128; it is limited to 255.
    const ChannelTable almost = kq::media::ContrastTable(127);
    EXPECT_EQ(almost[126], 0);
    EXPECT_EQ(almost[127], 0);
    EXPECT_EQ(almost[128], 255);
    const ChannelTable mid = kq::media::ContrastTable(64);
    EXPECT_EQ(mid[63], 0);
    EXPECT_EQ(mid[64], 0);
    EXPECT_EQ(mid[100], 72);
    EXPECT_EQ(mid[191], 255);
    EXPECT_EQ(mid[192], 255);
    const ChannelTable soft = kq::media::ContrastTable(-100);
    EXPECT_EQ(soft[0], 100);
    EXPECT_EQ(soft[128], 128);
    EXPECT_EQ(soft[255], 155);
    const ChannelTable flat = kq::media::ContrastTable(-255);
    EXPECT_EQ(flat[0], 255);
    EXPECT_EQ(flat[255], 1);
    // Values beyond -255..255 act as the limits.
    EXPECT_EQ(kq::media::ContrastTable(1000), full);
    EXPECT_EQ(kq::media::ContrastTable(INT32_MIN), flat);
}

TEST(PixelFilterTables, GammaGreyAndApplication) {
    ChannelTable identity{};
    for (int i = 0; i < 256; ++i) {
        identity[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(kq::media::GammaTable(1), identity);
    EXPECT_EQ(kq::media::GammaTable(0), identity);
    EXPECT_EQ(kq::media::GammaTable(-2), identity);
    EXPECT_EQ(kq::media::GammaTable(std::nan("")), identity);
    const ChannelTable two = kq::media::GammaTable(2);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 16);   // sqrt(1/255) * 255 = 15.97
    EXPECT_EQ(two[64], 128); // 127.75
    EXPECT_EQ(two[255], 255);

    ChannelTable third{};
    kq::media::LinearRise(third, 0, 255, 0, 85);
    EXPECT_EQ(third[2], 0);
    EXPECT_EQ(third[3], 1);
    EXPECT_EQ(third[255], 85);
    ChannelTable untouched{};
    untouched.fill(7);
    kq::media::LinearRise(untouched, 5, 5, 0, 255); // no rise when last <= first
    EXPECT_EQ(untouched[5], 7);

    TFastDIB dib = Dib(5, 2, {0x12C89664u, 0xFFFFFFFFu, 0x00000003u});
    TFastDIB grey;
    kq::media::ToGrey(dib, grey);
    ASSERT_EQ(grey.BitsPerPixel(), 8);
    EXPECT_EQ(grey.Row(0)[0], 33 + 50 + 67); // blue 100, green 150, red 200
    EXPECT_EQ(grey.Row(0)[1], 255);
    EXPECT_EQ(grey.Row(0)[2], 1);
    EXPECT_EQ(grey.Row(1)[4], 0);
    // Every channel value goes through the 0..85 rise.
    TFastDIB ramp(256, 1, 32);
    for (uint32_t i = 0; i < 256; ++i) {
        ramp.Words()[i] = i << 16 | i << 8 | i;
    }
    kq::media::ToGrey(ramp, grey);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(grey.Row(0)[i], 3 * third[i]) << i;
    }

    ChannelTable red = identity, green = identity, blue = identity;
    red[0x30] = 1;
    green[0x20] = 2;
    blue[0x10] = 3;
    TFastDIB tables = Dib(1, 1, {0x7F302010u});
    kq::media::ApplyTables(tables, red, green, blue);
    EXPECT_EQ(Words(tables)[0], 0x7F010203u);
}

// sin(x * pi / 2) for x = 0, 1, 2, 3 is 0, 1, 0, -1; a divisor of 1e9 gives offsets of 0.
constexpr double kQuarter = 2 / std::numbers::pi;
constexpr uint32_t kMarker = 0x01ABCDEFu;

TEST(PixelFilterWarps, WaveOffsetsRowsAndColumns) {
    const TFastDIB src = Dib(4, 4, Numbered(4, 4));
    auto at = [](int x, int y) { return 0x01000000u | static_cast<uint32_t>(y * 4 + x); };
    TFastDIB dst = Dib(4, 4, std::vector<uint32_t>(16, kMarker));
    // Columns read 0, 2, 0, -2 rows aside; what falls outside is not written.
    ASSERT_TRUE(kq::media::Wave(src, dst, 2, 1e9, kQuarter));
    const std::vector<uint32_t> byColumn = {
        at(0, 0), at(1, 2), at(2, 0), kMarker,  at(0, 1), at(1, 3), at(2, 1), kMarker,
        at(0, 2), kMarker,  at(2, 2), at(3, 0), at(0, 3), kMarker,  at(2, 3), at(3, 1)};
    EXPECT_EQ(Words(dst), byColumn);
    // Rows read 0, 2, 0, -2 columns aside.
    dst.Fill(kMarker);
    ASSERT_TRUE(kq::media::Wave(src, dst, 2, kQuarter, 1e9));
    EXPECT_EQ(dst.Words()[4], at(2, 1));
    EXPECT_EQ(dst.Words()[6], kMarker);
    EXPECT_EQ(dst.Words()[12], kMarker);
    EXPECT_EQ(dst.Words()[15], at(1, 3));
}

TEST(PixelFilterWarps, SquareWaveSkipsRowsAndPixels) {
    const TFastDIB src = Dib(4, 4, Numbered(4, 4));
    auto row = [&](const TFastDIB& d, int y) {
        return std::vector<uint32_t>(d.Words() + y * 4, d.Words() + y * 4 + 4);
    };
    const uint32_t mark = 0xFFABCDEFu; // opaque like the source, so whole words compare
    TFastDIB dst = Dib(4, 4, std::vector<uint32_t>(16, mark));
    // Rows read 0, 3, 0, -3 rows aside: row 1 would read row 4 and is skipped whole.
    ASSERT_TRUE(kq::media::SquareWave(src, dst, 3, 1e9, kQuarter));
    EXPECT_EQ(row(dst, 0), row(src, 0));
    EXPECT_EQ(row(dst, 1), std::vector<uint32_t>(4, mark));
    EXPECT_EQ(row(dst, 2), row(src, 2));
    EXPECT_EQ(row(dst, 3), row(src, 0));
    // Columns read 0, 3, 0, -3 columns aside: pixels of column 1 are skipped.
    dst.Fill(mark);
    ASSERT_TRUE(kq::media::SquareWave(src, dst, 3, kQuarter, 1e9));
    for (int y = 0; y < 4; ++y) {
        const uint32_t* s = src.Words() + y * 4;
        EXPECT_EQ(row(dst, y), (std::vector<uint32_t>{s[0], mark, s[2], s[0]})) << y;
    }
}

TEST(PixelFilterWarps, BadParametersWriteNothing) {
    const TFastDIB src = RandomDib(4, 3, 5);
    TFastDIB dst = Dib(4, 3, std::vector<uint32_t>(12, kMarker));
    EXPECT_FALSE(kq::media::Wave(src, dst, 2, 0, 1));
    EXPECT_FALSE(kq::media::Wave(src, dst, 2, 1, 0));
    EXPECT_FALSE(kq::media::SquareWave(src, dst, 2, 0, 1));
    EXPECT_FALSE(kq::media::SquareWave(src, dst, 2, 1, -0.0));
    EXPECT_FALSE(kq::media::Wave(src, dst, std::nan(""), 1, 1));
    EXPECT_FALSE(kq::media::Wave(src, dst, 1e300, 1, 1));
    EXPECT_FALSE(kq::media::SquareWave(src, dst, 1, INFINITY, 1));
    EXPECT_FALSE(kq::media::Lens(src, dst, std::nan("")));
    TFastDIB small(3, 3, 32);
    EXPECT_FALSE(kq::media::Lens(src, small, 2)); // sizes differ
    TFastDIB same = src;
    EXPECT_FALSE(kq::media::Wave(same, same, 1, 1, 1)); // needs two buffers
    EXPECT_EQ(Words(dst), std::vector<uint32_t>(12, kMarker));
    // Huge offsets inside the integer range read nothing, and do not overflow.
    ASSERT_TRUE(kq::media::Wave(src, dst, 2147483647.0, 1, 1));
    ASSERT_TRUE(kq::media::SquareWave(src, dst, -2147483647.0, 1, 1));
}

TEST(PixelFilterWarps, LensRefractsInsideTheEllipseOnly) {
    const TFastDIB src = RandomDib(8, 8, 11);
    auto colours = [](const TFastDIB& d) {
        std::vector<uint32_t> out;
        for (uint32_t word : Words(d)) {
            out.push_back(word & 0xFFFFFFu);
        }
        return out;
    };
    // An index of 1 (or less, taken as 1) bends nothing.
    for (double index : {1.0, 0.3, -5.0}) {
        TFastDIB dst(8, 8, 32);
        ASSERT_TRUE(kq::media::Lens(src, dst, index));
        EXPECT_EQ(colours(dst), colours(src)) << index;
        EXPECT_EQ(Alphas(dst), std::vector<uint32_t>(64, 0)); // dst keeps its own alpha
    }
    TFastDIB dst(8, 8, 32);
    ASSERT_TRUE(kq::media::Lens(src, dst, 2));
    auto pixel = [](const TFastDIB& d, int x, int y) { return d.Words()[y * 8 + x] & 0xFFFFFF; };
    // Worked by hand: (5, 4) looks at (4, 4), (7, 4) at (6, 4); the middle stays.
    EXPECT_EQ(pixel(dst, 5, 4), pixel(src, 4, 4));
    EXPECT_EQ(pixel(dst, 7, 4), pixel(src, 6, 4));
    EXPECT_EQ(pixel(dst, 4, 4), pixel(src, 4, 4));
    // Outside the inscribed ellipse (u^2/16 + v^2/16 >= 1, u = x - 3.5, v = 3.5 - y) nothing
    // moves.
    int outside = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const double u = x - 3.5;
            const double v = 3.5 - y;
            if (u * u / 16 + v * v / 16 >= 1) {
                ++outside;
                EXPECT_EQ(pixel(dst, x, y), pixel(src, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(outside, 12); // three pixels in each corner
    // A flat picture's 1-pixel-tall and 1-pixel-wide lens stays in bounds.
    for (auto [w, h] : {std::pair{1, 9}, std::pair{9, 1}, std::pair{1, 1}}) {
        TFastDIB thin = RandomDib(w, h, 2);
        TFastDIB out(w, h, 32);
        EXPECT_TRUE(kq::media::Lens(thin, out, 3));
    }
}

} // namespace
