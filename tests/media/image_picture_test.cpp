#include "media/image_picture.h"
#include "media/image_sheet.h"

#include <gtest/gtest.h>

namespace kq::media {
namespace {

Picture Make(int w, int h, int bits, std::vector<uint32_t> pixels) {
    Picture p;
    p.width = w;
    p.height = h;
    p.bitsPerPixel = bits;
    p.pixels = std::move(pixels);
    return p;
}

TEST(ImageBounds, SmallestRectangleOfNonZeroAlpha) {
    // 4x3 with alpha at (1,0) and (2,2) only.
    Picture p = Make(4, 3, 32, std::vector<uint32_t>(12, 0x00FFFFFFu));
    p.pixels[1] = 0x01000000u;
    p.pixels[2 * 4 + 2] = 0xFF000000u;
    EXPECT_EQ(OpaqueBounds(p), (PixelBounds{1, 0, 2, 2}));

    p.pixels.assign(12, 0);
    p.pixels[4 + 3] = 0x80000000u;
    EXPECT_EQ(OpaqueBounds(p), (PixelBounds{3, 1, 3, 1}));
}

TEST(ImageBounds, WholeImageWhenTransparentOrWithoutAlpha) {
    Picture clear = Make(5, 2, 32, std::vector<uint32_t>(10, 0x00123456u));
    EXPECT_EQ(OpaqueBounds(clear), (PixelBounds{0, 0, 4, 1}));
    // A 24-bit picture is not scanned even when its words carry no alpha.
    Picture rgb = Make(3, 3, 24, std::vector<uint32_t>(9, 0));
    EXPECT_EQ(OpaqueBounds(rgb), (PixelBounds{0, 0, 2, 2}));
}

TEST(ImageConvert, SilhouetteAndGrey) {
    Picture p = Make(3, 1, 32, {0x80102030u, 0x00FFFFFFu, 0xFF010202u});
    Picture s = p;
    MakeSilhouette(s);
    EXPECT_EQ(s.pixels, (std::vector<uint32_t>{0x80808080u, 0x00000000u, 0xFFFFFFFFu}));

    Picture g = p;
    MakeGrey(g);
    // (0x10 + 0x20 + 0x30) / 3 = 0x20; (1 + 2 + 2) / 3 = 1.67 rounds to 2; alpha kept.
    EXPECT_EQ(g.pixels, (std::vector<uint32_t>{0x80202020u, 0x00FFFFFFu, 0xFF020202u}));

    // Pictures without alpha become opaque 32-bit ones first.
    Picture rgb = Make(1, 1, 24, {0xFF336699u});
    rgb.indices = {7};
    MakeSilhouette(rgb);
    EXPECT_EQ(rgb.bitsPerPixel, 32);
    EXPECT_EQ(rgb.pixels[0], 0xFFFFFFFFu);
    EXPECT_TRUE(rgb.indices.empty());
}

TEST(ImageMask, AppliesValuesAsAlphaKeepingColour) {
    Picture colour = Make(2, 2, 24, {0xFF112233u, 0xFF445566u, 0xFF778899u, 0xFFAABBCCu});
    std::vector<uint8_t> mask = {0, 255, 128, 7};
    ApplyMask(colour, mask, 2, 2);
    EXPECT_EQ(colour.bitsPerPixel, 32);
    EXPECT_EQ(colour.pixels,
              (std::vector<uint32_t>{0x00112233u, 0xFF445566u, 0x80778899u, 0x07AABBCCu}));

    // A smaller mask leaves the uncovered pixels opaque; too few values count as no mask.
    Picture wide = Make(3, 1, 24, {0xFF000001u, 0xFF000002u, 0xFF000003u});
    ApplyMask(wide, std::vector<uint8_t>{5, 6}, 2, 1);
    EXPECT_EQ(wide.pixels, (std::vector<uint32_t>{0x05000001u, 0x06000002u, 0xFF000003u}));
    Picture bad = Make(1, 1, 24, {0xFF000001u});
    ApplyMask(bad, std::vector<uint8_t>{}, 4, 4);
    EXPECT_EQ(bad.pixels[0], 0xFF000001u);
}

TEST(ImageMask, ValuesOfTrueColourMasksAreTheirGreyLevel) {
    Picture m = Make(2, 1, 24, {0xFF808080u, 0xFF0000FFu});
    EXPECT_EQ(MaskValues(m), (std::vector<uint8_t>{128, 85}));
    m.indices = {3, 4};
    EXPECT_EQ(MaskValues(m), (std::vector<uint8_t>{3, 4}));
}

TEST(ImageSheet, ParsesTwoCountsWithDefaults) {
    EXPECT_EQ(ParseSheet("3\r\n2\r\n"), (SheetCounts{3, 2}));
    EXPECT_EQ(ParseSheet("4\n"), (SheetCounts{4, 1}));
    EXPECT_EQ(ParseSheet(""), (SheetCounts{1, 1}));
    EXPECT_EQ(ParseSheet("0\n0"), (SheetCounts{1, 1}));
    EXPECT_EQ(ParseSheet(" 5 \n 6 \nextra"), (SheetCounts{5, 6}));
    EXPECT_FALSE(ParseSheet("three\n2"));
    EXPECT_FALSE(ParseSheet("3\n-2"));
    EXPECT_FALSE(ParseSheet("99999999999\n1"));
}

TEST(ImageSheet, LayoutPatternAndTextureSizes) {
    PatternLayout a = MakePatternLayout(300, 200, {3, 2});
    EXPECT_EQ(a.patternWidth, 100);
    EXPECT_EQ(a.patternHeight, 100);
    EXPECT_EQ(a.textureWidth, 102);
    EXPECT_EQ(a.textureHeight, 102);
    EXPECT_EQ(a.PatternCount(), 6);

    PatternLayout b = MakePatternLayout(303, 202, {3, 2});
    EXPECT_EQ(b.patternWidth, 101);
    EXPECT_EQ(b.textureWidth, 104);
    EXPECT_EQ(b.textureHeight, 104);

    PatternLayout c = MakePatternLayout(7, 5, {0, -1});
    EXPECT_EQ(c.columns, 1);
    EXPECT_EQ(c.rows, 1);
    EXPECT_EQ(c.textureWidth, 10);
    EXPECT_EQ(c.textureHeight, 8);
}

TEST(ImageLimits, DimensionsAreBounded) {
    EXPECT_TRUE(DimensionsAcceptable(1, 1));
    EXPECT_TRUE(DimensionsAcceptable(kMaxImageSide, 1024));
    EXPECT_FALSE(DimensionsAcceptable(0, 5));
    EXPECT_FALSE(DimensionsAcceptable(kMaxImageSide + 1, 1));
    EXPECT_FALSE(DimensionsAcceptable(kMaxImageSide, kMaxImageSide));
}

} // namespace
} // namespace kq::media
