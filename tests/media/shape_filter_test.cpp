// The shape-effect filter step: the filter table, parameter rounding and range checks, and the
// shared buffers that live from one application to the next.
#include "media/shape_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using kq::media::ShapeFilterBuffers;
using kq::media::TFastDIB;

std::vector<uint32_t> Words(const TFastDIB& dib) {
    return {dib.Words(), dib.Words() + dib.PixelCount()};
}

// Fills the work buffer with the words and returns the words.
std::vector<uint32_t> Load(ShapeFilterBuffers& buffers, int w, int h,
                           const std::vector<uint32_t>& words) {
    TFastDIB& work = buffers.Work(w, h);
    std::copy(words.begin(), words.end(), work.Words());
    return words;
}

std::vector<uint32_t> RandomWords(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> out(count);
    for (uint32_t& word : out) {
        word = rng();
    }
    return out;
}

std::vector<uint32_t> Numbered(int count) {
    std::vector<uint32_t> words;
    for (int i = 0; i < count; ++i) {
        words.push_back(0xFF000000u | static_cast<uint32_t>(i * 0x010101));
    }
    return words;
}

constexpr double kQuarter = 2 / std::numbers::pi; // sin(x / kQuarter): 0, 1, 0, -1, ...

TEST(ShapeFilterNames, ValuesAndNamesAnyCase) {
    EXPECT_EQ(kq::media::FilterName(0), "flNone");
    EXPECT_EQ(kq::media::FilterName(15), "flLens");
    EXPECT_EQ(kq::media::FilterName(16), "");
    EXPECT_EQ(kq::media::FilterName(-1), "");
    EXPECT_EQ(kq::media::FilterValueFromName("FLWAVE"), 1);
    EXPECT_EQ(kq::media::FilterValueFromName("flsquarewave"), 14);
    EXPECT_EQ(kq::media::FilterValueFromName("flGrayscale"), 10);
    EXPECT_EQ(kq::media::FilterValueFromName("Wave"), std::nullopt);
    EXPECT_EQ(kq::media::FilterValueFromName(""), std::nullopt);
}

TEST(ShapeFilterNames, ParametersRoundHalvesToEven) {
    EXPECT_EQ(kq::media::RoundParameter(2.5), 2);
    EXPECT_EQ(kq::media::RoundParameter(3.5), 4);
    EXPECT_EQ(kq::media::RoundParameter(-2.5), -2);
    EXPECT_EQ(kq::media::RoundParameter(1.4), 1);
    EXPECT_EQ(kq::media::RoundParameter(2147483647.4), 2147483647);
    EXPECT_EQ(kq::media::RoundParameter(-2147483648.0), INT32_MIN);
    EXPECT_EQ(kq::media::RoundParameter(2147483647.5), std::nullopt);
    EXPECT_EQ(kq::media::RoundParameter(-3e9), std::nullopt);
    EXPECT_EQ(kq::media::RoundParameter(NAN), std::nullopt);
    EXPECT_EQ(kq::media::RoundParameter(INFINITY), std::nullopt);
}

TEST(ShapeFilterApply, NoFilteringForNoneHighValuesAndBadParameters) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(1);
    const std::vector<uint32_t> picture = Load(buffers, 6, 5, RandomWords(30, 4));
    struct Case {
        int32_t filter;
        double p1, p2, p3;
    };
    const Case cases[] = {
        {0, 3, 3, 3},      {16, 3, 3, 3},        {255, 3, 3, 3},
        {-1, 3, 3, 3},     {2, 3e9, 0, 0},       {6, NAN, 0, 0},
        {4, 1, 1e10, 0},   {5, -INFINITY, 2, 0}, {11, 256, 0, 0},
        {11, -1, 0, 0},    {11, 1e12, 0, 0},     {12, 10, 10, NAN},
        {13, 2, 3e9, 1},   {1, 0, 2, 3},         {1, 2, 0, 3},
        {14, 0, 2, 3},     {14, 2, 0, 3},        {1, 2, 2, NAN},
        {14, 2, 2, 1e300}, {15, NAN, 0, 0},      {7, 2147483648.0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(buffers.Apply(c.filter, c.p1, c.p2, c.p3, random)) << c.filter;
        EXPECT_EQ(Words(buffers.Work()), picture) << c.filter;
    }
    // Values that round into range do run.
    EXPECT_TRUE(buffers.Apply(11, 255.4, 0, 0, random));
    EXPECT_TRUE(buffers.Apply(11, -0.4, 0, 0, random));
}

TEST(ShapeFilterApply, ParametersGoWhereTheTableSays) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(1);
    // Shift: Par1 columns, Par2 rows, rounded halves to even (0.5 -> 0, 1.5 -> 2).
    Load(buffers, 3, 2, Numbered(6));
    ASSERT_TRUE(buffers.Apply(4, 0.5, 1.5, 7, random));
    EXPECT_EQ(Words(buffers.Work()), Numbered(6)); // 2 rows of 2: whole turn, 0 columns
    ASSERT_TRUE(buffers.Apply(4, -1, 1, 0, random));
    const std::vector<uint32_t> n = Numbered(6);
    EXPECT_EQ(Words(buffers.Work()), (std::vector<uint32_t>{n[5], n[3], n[4], n[2], n[0], n[1]}));
    // Mosaic: Par1 wide, Par2 high; 2.5 rounds to 2, so the block samples offset (1, 1).
    Load(buffers, 4, 4, Numbered(16));
    ASSERT_TRUE(buffers.Apply(5, 2.5, 4, 0, random));
    const std::vector<uint32_t> m = Numbered(16);
    const std::vector<uint32_t> work = Words(buffers.Work());
    EXPECT_EQ(work[0], m[2 * 4 + 1]); // block 2 x 4: offset (1, 2)
    EXPECT_EQ(work[15], m[2 * 4 + 3]);
    // Contrast: red Par1, green Par2, blue Par3.
    Load(buffers, 1, 1, {0x80406080u});
    ASSERT_TRUE(buffers.Apply(12, 128, 0, 255, random));
    EXPECT_EQ(Words(buffers.Work())[0], 0x800060FFu);
    // Gamma: 1.4 acts as 1; values of 0 or less leave their channel unchanged.
    Load(buffers, 1, 1, {0x11406080u});
    ASSERT_TRUE(buffers.Apply(13, 1.4, 0, -3, random));
    EXPECT_EQ(Words(buffers.Work())[0], 0x11406080u);
    ASSERT_TRUE(buffers.Apply(13, 2, 0.4, -0.6, random));
    EXPECT_EQ(Words(buffers.Work())[0], 0x11806080u); // red 64 -> round(sqrt(64/255) * 255) = 128
    // Grey: every channel becomes the grey value; alpha stays.
    Load(buffers, 2, 1, {0x12C89664u, 0x34FFFFFFu});
    ASSERT_TRUE(buffers.Apply(10, 9, 9, 9, random));
    EXPECT_EQ(Words(buffers.Work()), (std::vector<uint32_t>{0x12969696u, 0x34FFFFFFu}));
    // Noise: mono is Par2 as a real, so 0.3 counts; grey stays grey.
    Load(buffers, 8, 8, std::vector<uint32_t>(64, 0xFF808080u));
    ASSERT_TRUE(buffers.Apply(11, 100, 0.3, 0, random));
    bool changed = false;
    for (uint32_t word : Words(buffers.Work())) {
        EXPECT_EQ(word & 0xFF, (word >> 16) & 0xFF);
        changed |= word != 0xFF808080u;
    }
    EXPECT_TRUE(changed);
}

TEST(ShapeFilterApply, SeededNoiseRepeats) {
    auto run = [](uint32_t seed) {
        ShapeFilterBuffers buffers;
        std::mt19937 random(seed);
        Load(buffers, 5, 5, RandomWords(25, 2));
        EXPECT_TRUE(buffers.Apply(11, 40, 0, 0, random));
        return Words(buffers.Work());
    };
    EXPECT_EQ(run(3), run(3));
    EXPECT_NE(run(3), run(4));
}

TEST(ShapeFilterApply, EveryFilterKeepsAlpha) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(2);
    for (int32_t filter = 1; filter < kq::media::kFilterCount; ++filter) {
        const std::vector<uint32_t> picture = Load(buffers, 9, 7, RandomWords(63, filter));
        const bool ran = buffers.Apply(filter, 2, 3, 1.5, random);
        EXPECT_TRUE(ran) << filter;
        const std::vector<uint32_t> after = Words(buffers.Work());
        bool coloursChanged = false;
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i] >> 24, picture[i] >> 24) << filter << " at " << i;
            coloursChanged |= (after[i] & 0xFFFFFF) != (picture[i] & 0xFFFFFF);
        }
        EXPECT_TRUE(coloursChanged) << filter;
    }
}

TEST(ShapeFilterApply, SecondBufferStartsZeroAndKeepsTheLastResult) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(0);
    // Square wave with rows reading 0, 3, 0, -3 rows aside: row 1 is never written.
    const std::vector<uint32_t> first = Load(buffers, 4, 4, RandomWords(16, 8));
    ASSERT_TRUE(buffers.Apply(14, 1e9, kQuarter, 3, random));
    std::vector<uint32_t> work = Words(buffers.Work());
    for (int x = 0; x < 4; ++x) { // a fresh second buffer is zero: black, alpha kept
        EXPECT_EQ(work[4 + x], first[4 + x] & 0xFF000000u) << x;
    }
    EXPECT_EQ(work[12], (first[12] & 0xFF000000u) | (first[0] & 0xFFFFFFu));

    // A wave that writes everything (amplitude 0) leaves the first picture in the buffer...
    Load(buffers, 4, 4, first);
    ASSERT_TRUE(buffers.Apply(1, 1, 1, 0, random));
    const std::vector<uint32_t> kept = Words(buffers.Work());
    // ...so the next square wave, on another picture, shows it in the skipped row.
    const std::vector<uint32_t> second = Load(buffers, 4, 4, RandomWords(16, 9));
    ASSERT_TRUE(buffers.Apply(14, 1e9, kQuarter, 3, random));
    work = Words(buffers.Work());
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(work[4 + x], (second[4 + x] & 0xFF000000u) | (kept[4 + x] & 0xFFFFFFu)) << x;
    }
    EXPECT_EQ(work[0], (second[0] & 0xFF000000u) | (second[0] & 0xFFFFFFu));

    // Failed parameters leave the second buffer alone too.
    ASSERT_FALSE(buffers.Apply(1, 0, 0, 5, random));
    EXPECT_EQ(buffers.Second().Words()[5] & 0xFFFFFFu, kept[5] & 0xFFFFFFu);

    // A new size starts from zero again (5 x 4: row 1 is still skipped).
    const std::vector<uint32_t> other = Load(buffers, 5, 4, RandomWords(20, 10));
    ASSERT_TRUE(buffers.Apply(14, 1e9, kQuarter, 3, random));
    work = Words(buffers.Work());
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(work[5 + x], other[5 + x] & 0xFF000000u) << x;
    }
}

TEST(ShapeFilterApply, LensUsesTheUnroundedIndex) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(0);
    const std::vector<uint32_t> picture = RandomWords(64 * 64, 12);
    Load(buffers, 64, 64, picture);
    ASSERT_TRUE(buffers.Apply(15, 1.4, 0, 0, random));
    const std::vector<uint32_t> unrounded = Words(buffers.Work());
    Load(buffers, 64, 64, picture);
    ASSERT_TRUE(buffers.Apply(15, 1, 0, 0, random));
    EXPECT_EQ(Words(buffers.Work()), picture); // index 1 bends nothing
    EXPECT_NE(unrounded, picture);             // 1.4 is not rounded down to 1
    Load(buffers, 64, 64, picture);
    ASSERT_TRUE(buffers.Apply(15, 0.2, 0, 0, random)); // below 1 counts as 1
    EXPECT_EQ(Words(buffers.Work()), picture);
}

TEST(ShapeFilterApply, EmptyWorkBufferDoesNothing) {
    ShapeFilterBuffers buffers;
    std::mt19937 random(0);
    buffers.Work(0, 0);
    for (int32_t filter = 0; filter < kq::media::kFilterCount; ++filter) {
        EXPECT_FALSE(buffers.Apply(filter, 1, 1, 1, random)) << filter;
    }
}

} // namespace
