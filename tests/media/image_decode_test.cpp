#include "media/image_decode.h"
#include "media/image_test_util.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

namespace kq::media {
namespace {

using test::ImageFixture;
using test::MakeBmp;
using test::MakeMaskBmp;

constexpr uint32_t kRed = 0xFFFF0000u, kLime = 0xFF00FF00u, kBlue = 0xFF0000FFu,
                   kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u, kGrey = 0xFF808080u;

int Channel(uint32_t argb, int shift) {
    return static_cast<int>((argb >> shift) & 0xFF);
}

// Each channel within tolerance (JPEG colours are not exact).
void ExpectNear(uint32_t actual, uint32_t expected, int tolerance) {
    for (int shift : {0, 8, 16, 24}) {
        EXPECT_NEAR(Channel(actual, shift), Channel(expected, shift), tolerance)
            << std::hex << "actual 0x" << actual << " expected 0x" << expected;
    }
}

// The 4x2 reference picture of the fixtures, with alpha.
void ExpectReferenceWithAlpha(const Picture& p) {
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 2);
    ASSERT_EQ(p.pixels.size(), 8u);
    EXPECT_EQ(p.bitsPerPixel, 32);
    EXPECT_EQ(p.At(0, 0), kRed);
    EXPECT_EQ(p.At(1, 0), kLime);
    EXPECT_EQ(p.At(2, 0), kBlue);
    EXPECT_EQ(p.At(3, 0), kWhite);
    EXPECT_EQ(p.At(0, 1), kBlack);
    EXPECT_EQ(p.At(1, 1), kGrey);
    EXPECT_EQ(p.At(2, 1) >> 24, 0u);
    EXPECT_NEAR(Channel(p.At(3, 1), 24), 128, 1);
    EXPECT_EQ(p.At(3, 1) & 0xFFFFFF, 0xFF0000u);
}

// The reference flattened on white, without alpha.
void ExpectReferenceOnWhite(const Picture& p) {
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.bitsPerPixel == 32, false);
    EXPECT_EQ(p.At(0, 0), kRed);
    EXPECT_EQ(p.At(1, 0), kLime);
    EXPECT_EQ(p.At(2, 0), kBlue);
    EXPECT_EQ(p.At(3, 0), kWhite);
    EXPECT_EQ(p.At(0, 1), kBlack);
    EXPECT_EQ(p.At(1, 1), kGrey);
    EXPECT_EQ(p.At(2, 1), kWhite);
    ExpectNear(p.At(3, 1), 0xFFFF7F7Fu, 1);
}

TEST(ImagePng, DecodesRgbaAndRgbExactly) {
    auto rgba = DecodePng(ImageFixture("rgba.png"));
    ASSERT_TRUE(rgba);
    ExpectReferenceWithAlpha(*rgba);
    EXPECT_TRUE(rgba->indices.empty());

    auto rgb = DecodePng(ImageFixture("rgb.png"));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->bitsPerPixel, 24);
    ExpectReferenceOnWhite(*rgb);
}

TEST(ImagePng, InterlacedSixteenBitAndPaletteVariantsMatchReference) {
    for (const char* name : {"interlaced.png", "rgba16.png", "palette.png"}) {
        SCOPED_TRACE(name);
        auto p = DecodePng(ImageFixture(name));
        ASSERT_TRUE(p);
        ASSERT_EQ(p->bitsPerPixel, 32); // tRNS of the palette file counts as alpha
        EXPECT_EQ(p->At(0, 0), kRed);
        EXPECT_EQ(p->At(1, 1), kGrey);
        EXPECT_EQ(p->At(2, 1) >> 24, 0u);
    }
    auto grey = DecodePng(ImageFixture("grey.png"));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->bitsPerPixel, 24);
    for (uint32_t p : grey->pixels) {
        EXPECT_EQ(Channel(p, 0), Channel(p, 8));
        EXPECT_EQ(Channel(p, 8), Channel(p, 16));
    }
    EXPECT_EQ(grey->At(3, 0), kWhite);
    EXPECT_EQ(grey->At(0, 1), kBlack);
}

TEST(ImagePng, EncodeDecodeRoundTripKeepsEveryChannel) {
    Picture p;
    p.width = 3;
    p.height = 2;
    p.bitsPerPixel = 32;
    p.pixels = {0x00000000u, 0x80FF0000u, 0xFF00FF00u, 0x120000FFu, 0xFFFFFFFFu, 0x7F102030u};
    std::string png = EncodePng(p);
    ASSERT_FALSE(png.empty());
    auto back = DecodePng(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, p.pixels);
    EXPECT_EQ(back->bitsPerPixel, 32);
    EXPECT_TRUE(EncodePng(Picture{}).empty());
}

TEST(ImageJpeg, DecodesBaselineProgressiveGreyAndCmyk) {
    for (const char* name : {"photo.jpg", "progressive.jpg", "cmyk.jpg"}) {
        SCOPED_TRACE(name);
        auto p = DecodeJpeg(ImageFixture(name));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->width, 32);
        EXPECT_EQ(p->height, 16);
        EXPECT_EQ(p->bitsPerPixel, 24);
        ExpectNear(p->At(4, 8), kRed, 12);
        ExpectNear(p->At(27, 8), kBlue, 12);
    }
    auto grey = DecodeJpeg(ImageFixture("grey.jpg"));
    ASSERT_TRUE(grey);
    ExpectNear(grey->At(4, 8), kBlack, 4);
    ExpectNear(grey->At(27, 8), kWhite, 4);
}

TEST(ImageBmp, DecodesTrueColourFixtures) {
    auto rgb = DecodeBmp(ImageFixture("rgb24.bmp"));
    ASSERT_TRUE(rgb);
    ExpectReferenceOnWhite(*rgb);
    EXPECT_TRUE(rgb->indices.empty());

    auto rgba = DecodeBmp(ImageFixture("rgba32.bmp"));
    ASSERT_TRUE(rgba);
    ExpectReferenceWithAlpha(*rgba);
}

TEST(ImageBmp, PaletteFixturesKeepIndicesBesideColours) {
    auto pal4 = DecodeBmp(ImageFixture("pal4.bmp"));
    ASSERT_TRUE(pal4);
    EXPECT_EQ(pal4->bitsPerPixel, 4);
    ASSERT_EQ(pal4->indices.size(), 8u);
    ExpectReferenceOnWhite(*pal4);
    // Equal colours share an index, different colours do not.
    EXPECT_EQ(pal4->indices[3], pal4->indices[6]); // white, white
    EXPECT_NE(pal4->indices[0], pal4->indices[1]);

    auto mono = DecodeBmp(ImageFixture("mono1.bmp"));
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->bitsPerPixel, 1);
    EXPECT_EQ(mono->At(0, 0), kWhite); // opaque pixel of the alpha channel
    EXPECT_EQ(mono->At(2, 1), kBlack); // transparent pixel
    EXPECT_NE(mono->indices[0], mono->indices[6]);

    // RLE8 mask from the alpha channel: white / white, white, black, grey.
    auto rle = DecodeBmp(ImageFixture("mask8rle.bmp"));
    ASSERT_TRUE(rle);
    EXPECT_EQ(rle->bitsPerPixel, 8);
    EXPECT_EQ(rle->At(0, 0), kWhite);
    EXPECT_EQ(rle->At(2, 1), kBlack);
    EXPECT_NEAR(Channel(rle->At(3, 1), 0), 128, 1);
    EXPECT_EQ(rle->indices, (std::vector<uint8_t>{2, 2, 2, 2, 2, 2, 0, 1}));
}

TEST(ImageBmp, EightBitMaskKeepsRawIndicesNotColours) {
    auto p = DecodeBmp(MakeMaskBmp(3, 2, {0, 10, 255, 128, 7, 1}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->indices, (std::vector<uint8_t>{0, 10, 255, 128, 7, 1}));
    EXPECT_EQ(p->At(0, 0), kWhite); // index 0 is grey 255
    EXPECT_EQ(p->At(2, 0), kBlack); // index 255 is grey 0
    EXPECT_EQ(MaskValues(*p), p->indices);
}

TEST(ImageBmp, TopDownAndPaddedRows) {
    std::vector<uint32_t> px = {kRed, kLime, kBlue, kWhite, kBlack, kGrey, kRed, kBlue, kLime};
    for (bool topDown : {false, true}) {
        auto p = DecodeBmp(MakeBmp(3, 3, 24, {}, px, topDown));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->pixels, px);
    }
}

TEST(ImageBmp, ThirtyTwoBitsWithoutAlphaIsOpaque) {
    std::vector<uint32_t> px = {0x00FF0000u, 0x0000FF00u};
    auto p = DecodeBmp(MakeBmp(2, 1, 32, {}, px));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bitsPerPixel, 24);
    EXPECT_EQ(p->pixels, (std::vector<uint32_t>{kRed, kLime}));

    std::vector<uint32_t> alpha = {0x00FF0000u, 0x4000FF00u};
    auto q = DecodeBmp(MakeBmp(2, 1, 32, {}, alpha));
    ASSERT_TRUE(q);
    EXPECT_EQ(q->bitsPerPixel, 32);
    EXPECT_EQ(q->pixels, alpha);
}

TEST(ImageBmp, CoreHeaderAndBitfields) {
    // 12-byte header, 8 bits, 3-byte palette entries.
    test::Bytes core;
    core.Raw("BM").I32(0).I32(0).I32(14 + 12 + 2 * 3);
    core.I32(12).U16(2).U16(1).U16(1).U16(8);
    core.U8(0).U8(0).U8(255).U8(255).U8(0).U8(0); // index 0 red, 1 blue
    core.U8(1).U8(0).U8(0).U8(0);                 // one row, padded to 4
    auto p = DecodeBmp(core.Data());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixels, (std::vector<uint32_t>{kBlue, kRed}));

    // 40-byte header + BI_BITFIELDS masks in R8 G8 B8 order at the low bits (x B G R).
    test::Bytes bf;
    bf.Raw("BM").I32(0).I32(0).I32(14 + 40 + 12);
    bf.I32(40).I32(1).I32(1).U16(1).U16(32).I32(3).I32(4).I32(0).I32(0).I32(0).I32(0);
    bf.I32(0x000000FF).I32(0x0000FF00).I32(0x00FF0000);
    bf.I32(0x00332211); // red 0x11, green 0x22, blue 0x33
    auto q = DecodeBmp(bf.Data());
    ASSERT_TRUE(q);
    EXPECT_EQ(q->pixels, (std::vector<uint32_t>{0xFF112233u}));
}

TEST(ImageBmp, Rle8EscapesDeltaAndAbsoluteRuns) {
    // 5x3. Bottom row: run of 2 x index 1, absolute run 3 4 5 (padded); end of line; delta
    // (1, 1) skips the middle row and one pixel; run of 3 x index 9; end of bitmap.
    const std::string data("\x02\x01\x00\x03\x03\x04\x05\x00\x00\x00"
                           "\x00\x02\x01\x01\x03\x09\x00\x01",
                           18);
    test::Bytes b;
    b.Raw("BM").I32(0).I32(0).I32(14 + 40 + 64);
    b.I32(40).I32(5).I32(3).U16(1).U16(8).I32(1).I32(18).I32(0).I32(0).I32(16).I32(0);
    for (int i = 0; i < 16; ++i) {
        b.U8(static_cast<uint8_t>(i)).U8(0).U8(0).U8(0);
    }
    b.Raw(data);
    auto p = DecodeBmp(b.Data());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->indices, (std::vector<uint8_t>{0, 9, 9, 9, 0, //
                                                0, 0, 0, 0, 0, //
                                                1, 1, 3, 4, 5}));
    EXPECT_EQ(p->At(1, 0), 0xFF000009u);

    // The same data cut inside the delta escape fails where the delta's bytes are missing.
    const size_t pixelsAt = 14 + 40 + 64;
    auto cutDelta = DecodeBmp(b.Data().substr(0, b.Size() - 5));
    ASSERT_FALSE(cutDelta);
    EXPECT_EQ(cutDelta.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(cutDelta.Error().offset, pixelsAt + 13);
    // Cut before the end marker with rows left over fails too, at the end of the data.
    auto cutRows = DecodeBmp(b.Data().substr(0, b.Size() - 8));
    ASSERT_FALSE(cutRows);
    EXPECT_EQ(cutRows.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(cutRows.Error().offset, pixelsAt + 10);
}

// A 40-byte-header BMP of width x height with 16-bit pixels, rows bottom-up, each padded to
// four bytes; masks follow the header when given (bit fields).
std::string SixteenBitBmp(int width, int height, const std::vector<uint16_t>& topDownPixels,
                          const std::vector<uint32_t>& masks = {}) {
    const int stride = (width * 2 + 3) / 4 * 4;
    const int offset = 14 + 40 + static_cast<int>(masks.size()) * 4;
    test::Bytes b;
    b.Raw("BM").I32(offset + stride * height).I32(0).I32(offset);
    b.I32(40).I32(width).I32(height).U16(1).U16(16).I32(masks.empty() ? 0 : 3);
    b.I32(stride * height).I32(0).I32(0).I32(0).I32(0);
    for (uint32_t m : masks) {
        b.I32(static_cast<int32_t>(m));
    }
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x) {
            b.U16(topDownPixels[static_cast<size_t>(row) * width + x]);
        }
        for (int pad = width * 2; pad < stride; ++pad) {
            b.U8(0);
        }
    }
    return b.Data();
}

TEST(ImageBmp, SixteenBitPlainAndBitfieldPixels) {
    // No compression: 5-5-5, the top bit ignored; an odd width pads every row.
    auto plain = DecodeBmp(SixteenBitBmp(3, 2,
                                         {0x7C00, 0x03E0, 0x001F, //
                                          0x0000, 0x4210, 0xFC00}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->bitsPerPixel, 24);
    EXPECT_TRUE(plain->indices.empty());
    EXPECT_EQ(plain->pixels, (std::vector<uint32_t>{kRed, kLime, kBlue, //
                                                    kBlack, 0xFF848484u, kRed}));

    // 5-6-5 bit fields: six green bits scale differently from five red and blue ones.
    auto rgb565 =
        DecodeBmp(SixteenBitBmp(2, 2, {0xF800, 0x07E0, 0x001F, 0x8410}, {0xF800, 0x07E0, 0x001F}));
    ASSERT_TRUE(rgb565);
    EXPECT_EQ(rgb565->bitsPerPixel, 24);
    EXPECT_EQ(rgb565->pixels, (std::vector<uint32_t>{kRed, kLime, kBlue, 0xFF848284u}));

    // Uncommon masks (2-3-1) still give full-range channels.
    auto odd = DecodeBmp(SixteenBitBmp(2, 1, {0x0030, 0x000E}, {0x0030, 0x000E, 0x0001}));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u}));

    // Data shorter than the rows refuses the picture, naming the row that does not fit: the
    // second, eight bytes (one padded row) after the first.
    const std::string whole = SixteenBitBmp(3, 2, std::vector<uint16_t>(6, 0x7FFF));
    auto cut = DecodeBmp(whole.substr(0, whole.size() - 1));
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(cut.Error().offset, whole.size() - 8);
}

TEST(ImageBmp, SixteenBitAlphaMaskFixtures) {
    // ARGB 1-5-5-5: one alpha bit, so the half-transparent red is fully transparent.
    auto a1 = DecodeBmp(ImageFixture("argb1555.bmp"));
    ASSERT_TRUE(a1);
    EXPECT_EQ(a1->bitsPerPixel, 32);
    EXPECT_EQ(a1->At(0, 0), kRed);
    EXPECT_EQ(a1->At(1, 0), kLime);
    EXPECT_EQ(a1->At(2, 0), kBlue);
    EXPECT_EQ(a1->At(3, 0), kWhite);
    EXPECT_EQ(a1->At(0, 1), kBlack);
    EXPECT_EQ(a1->At(1, 1), 0xFF7B7B7Bu); // 128 stored in five bits
    EXPECT_EQ(a1->At(2, 1) >> 24, 0u);
    EXPECT_EQ(a1->At(3, 1), 0x00FF0000u);

    // ARGB 4-4-4-4: four alpha bits.
    auto a4 = DecodeBmp(ImageFixture("argb4444.bmp"));
    ASSERT_TRUE(a4);
    EXPECT_EQ(a4->bitsPerPixel, 32);
    EXPECT_EQ(a4->At(0, 0), kRed);
    EXPECT_EQ(a4->At(3, 0), kWhite);
    EXPECT_EQ(a4->At(1, 1), 0xFF777777u);
    EXPECT_EQ(a4->At(2, 1) >> 24, 0u);
    EXPECT_EQ(a4->At(3, 1), 0x77FF0000u);

    // An alpha mask whose bits are all zero means an opaque picture, as for 32 bits.
    auto zero = DecodeBmp(SixteenBitBmp(1, 1, {0x0F00}, {0x0F00, 0x00F0, 0x000F}));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->At(0, 0), kRed);
}

TEST(ImageBmp, Rle4RunsAbsoluteNibblesDeltaAndCutRuns) {
    // 5x3. Bottom row: run of 3 alternating nibbles 1, 2; absolute run of 3 nibbles 5 6 7
    // (two bytes, no padding) of which 7 falls past the row and is cut; end of line; delta
    // (1, 1) skips the middle row; a run of 7 nibbles 9, 10 cut at the row end; absolute run of
    // 1 nibble (one byte padded to two) on nothing left of the row; end of bitmap.
    const std::string data("\x03\x12"
                           "\x00\x03\x56\x70"
                           "\x00\x00"
                           "\x00\x02\x01\x01"
                           "\x07\x9A"
                           "\x00\x01",
                           16);
    test::Bytes b;
    b.Raw("BM").I32(0).I32(0).I32(14 + 40 + 64);
    b.I32(40).I32(5).I32(3).U16(1).U16(4).I32(2).I32(16).I32(0).I32(0).I32(16).I32(0);
    for (int i = 0; i < 16; ++i) {
        b.U8(static_cast<uint8_t>(i)).U8(0).U8(0).U8(0);
    }
    b.Raw(data);
    auto p = DecodeBmp(b.Data());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bitsPerPixel, 4);
    EXPECT_EQ(p->indices, (std::vector<uint8_t>{0, 9, 10, 9, 10, //
                                                0, 0, 0, 0, 0,   //
                                                1, 2, 1, 5, 6}));
    EXPECT_EQ(p->At(2, 0), 0xFF00000Au);
    // The values serve as mask values, like those of 8-bit masks.
    EXPECT_EQ(MaskValues(*p), p->indices);

    // Cut inside the absolute run, or with rows left over: refused, never read past the end.
    for (size_t cut = 14 + 40 + 64; cut < b.Size() - 2; ++cut) {
        auto q = DecodeBmp(b.Data().substr(0, cut));
        if (q) {
            ASSERT_EQ(q->indices.size(), 15u);
        }
    }
    for (size_t cut : {size_t{14 + 40 + 64 + 4}, b.Size() - 8}) {
        auto q = DecodeBmp(b.Data().substr(0, cut));
        ASSERT_FALSE(q);
        EXPECT_EQ(q.Error().problem, LoadError::Problem::Truncated);
        EXPECT_LE(q.Error().offset, cut);
        EXPECT_GE(q.Error().offset, size_t{14 + 40 + 64});
    }
}

TEST(ImageBmp, RunLengthDataNeverWritesOutsideThePicture) {
    // Hostile runs: long runs and absolute runs far past a 2x2 picture, deltas past its end,
    // in both depths. Each must decode within bounds (AddressSanitizer watches the writes).
    const std::string runs[] = {
        std::string("\xFF\x11\xFF\x22\x00\x00\xFF\x33\x00\x01", 10),
        std::string("\x00\xFE", 2) + std::string(254, '\x44') + std::string("\x00\x01", 2),
        std::string("\x00\x02\xFF\x00\x05\x11\x00\x01", 8),
        std::string("\x00\x02\x00\xFF\x05\x11", 6),
        std::string("\x00\x00\x00\x00\x00\x00\x00\x00\x03\x11", 10),
    };
    for (int bits : {4, 8}) {
        for (const std::string& run : runs) {
            test::Bytes b;
            b.Raw("BM").I32(0).I32(0).I32(14 + 40 + 64);
            b.I32(40).I32(2).I32(2).U16(1).U16(static_cast<uint16_t>(bits));
            b.I32(bits == 4 ? 2 : 1).I32(0).I32(0).I32(0).I32(16).I32(0);
            for (int i = 0; i < 16; ++i) {
                b.U8(static_cast<uint8_t>(i * 16)).U8(0).U8(0).U8(0);
            }
            b.Raw(run);
            auto p = DecodeBmp(b.Data());
            if (p) {
                ASSERT_EQ(p->indices.size(), 4u);
                ASSERT_EQ(p->pixels.size(), 4u);
            }
        }
    }
}

TEST(ImageBmp, RefusesUnsupportedAndOversized) {
    // Run-length encoding belongs to 4 and 8 bits only; 16-bit pixels cannot use it.
    test::Bytes b16;
    b16.Raw("BM").I32(0).I32(0).I32(54);
    b16.I32(40).I32(1).I32(1).U16(1).U16(16).I32(1).I32(4).I32(0).I32(0).I32(0).I32(0).I32(0);
    b16.I32(0);
    auto rle16 = DecodeBmp(b16.Data(), "rle16.bmp");
    ASSERT_FALSE(rle16);
    EXPECT_EQ(rle16.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(rle16.Error().what, "unsupported BMP (16 bits, compression 1)");
    EXPECT_EQ(rle16.Error().file, "rle16.bmp");
    EXPECT_EQ(rle16.Error().offset, 28u);
    // JPEG-compressed BMP data is not read.
    test::Bytes jpeg;
    jpeg.Raw("BM").I32(0).I32(0).I32(54);
    jpeg.I32(40).I32(1).I32(1).U16(1).U16(24).I32(4).I32(4).I32(0).I32(0).I32(0).I32(0).I32(0);
    jpeg.I32(0);
    auto jpegBmp = DecodeBmp(jpeg.Data());
    ASSERT_FALSE(jpegBmp);
    EXPECT_EQ(jpegBmp.Error().what, "unsupported BMP (24 bits, compression 4)");

    // A header asking for 16384 x 16384 with four bytes of data.
    test::Bytes huge;
    huge.Raw("BM").I32(0).I32(0).I32(54);
    huge.I32(40).I32(16384).I32(16384).U16(1).U16(8).I32(1).I32(0).I32(0).I32(0).I32(0).I32(0);
    huge.I32(0x00010000);
    auto hugeBmp = DecodeBmp(huge.Data());
    ASSERT_FALSE(hugeBmp);
    // Within the side limits but over the pixel count: refused before any allocation.
    EXPECT_EQ(hugeBmp.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(hugeBmp.Error().what, "BMP size 16384x16384 refused");

    // 20000 pixels wide is over the side limit whatever the data.
    test::Bytes wide;
    wide.Raw("BM").I32(0).I32(0).I32(54);
    wide.I32(40).I32(20000).I32(1).U16(1).U16(24).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0);
    wide.Raw(std::string(60000, '\0'));
    auto wideBmp = DecodeBmp(wide.Data());
    ASSERT_FALSE(wideBmp);
    EXPECT_EQ(wideBmp.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(wideBmp.Error().what, "BMP size 20000x1 refused");
}

TEST(ImageBmp, TruncationNamesTheOffsetWhereTheDataRanOut) {
    // 3x3 at 24 bits: pixel rows of 12 bytes (9 and 3 of padding) from byte 54.
    const std::vector<uint32_t> px(9, kRed);
    const std::string whole = MakeBmp(3, 3, 24, {}, px);
    ASSERT_EQ(whole.size(), 54u + 3 * 12);
    ASSERT_TRUE(DecodeBmp(whole));

    // One row and five bytes: the second row, at 54 + 12, is the one that is missing.
    auto rows = DecodeBmp(whole.substr(0, 54 + 12 + 5), "cut.bmp");
    ASSERT_FALSE(rows);
    EXPECT_EQ(rows.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(rows.Error().offset, 66u);
    EXPECT_EQ(rows.Error().Message("image"),
              "image file cut.bmp is truncated at byte 66: BMP pixel data, row 1 of 3");

    // Cut inside the info header: the header that starts at byte 14 does not fit.
    auto header = DecodeBmp(whole.substr(0, 30));
    ASSERT_FALSE(header);
    EXPECT_EQ(header.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(header.Error().offset, 14u);

    // Cut inside the file header: the field read at byte 10 is the one that ran out.
    auto file = DecodeBmp(whole.substr(0, 12));
    ASSERT_FALSE(file);
    EXPECT_EQ(file.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(file.Error().offset, 10u);

    // Not a BMP at all is corrupt data, not a short file.
    auto other = DecodeBmp("GIF89a" + whole.substr(6));
    ASSERT_FALSE(other);
    EXPECT_EQ(other.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(other.Error().what, "not a BMP file");
}

TEST(ImageTga, DecodesUncompressedAndRle) {
    auto rgb = DecodeTga(ImageFixture("rgb24.tga"));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->bitsPerPixel, 24);
    ExpectReferenceOnWhite(*rgb);

    auto rgba = DecodeTga(ImageFixture("rgba32rle.tga"));
    ASSERT_TRUE(rgba);
    ExpectReferenceWithAlpha(*rgba);
}

TEST(ImageTga, RefusesColourMappedAndOversizedHeaders) {
    std::string mapped = ImageFixture("rgb24.tga");
    mapped[2] = 1; // colour-mapped image type
    auto colourMapped = DecodeTga(mapped);
    ASSERT_FALSE(colourMapped);
    EXPECT_EQ(colourMapped.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(colourMapped.Error().what, "unsupported TGA (type 1, 24 bits)");

    test::Bytes huge;
    huge.U8(0).U8(0).U8(10).U16(0).U16(0).U8(0).U16(0).U16(0).U16(16000).U16(16000).U8(32).U8(8);
    huge.Raw(std::string(100, '\0'));
    auto hugeTga = DecodeTga(huge.Data());
    ASSERT_FALSE(hugeTga);
    EXPECT_EQ(hugeTga.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(hugeTga.Error().what, "TGA size 16000x16000 refused");
}

TEST(ImageTga, TruncationNamesTheOffset) {
    // 4x2 at 24 bits from byte 18 (no image ID): cut inside the sixth pixel.
    const std::string whole = ImageFixture("rgb24.tga");
    ASSERT_EQ(static_cast<unsigned char>(whole[0]), 0u);
    auto pixels = DecodeTga(whole.substr(0, 18 + 5 * 3 + 2));
    ASSERT_FALSE(pixels);
    EXPECT_EQ(pixels.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(pixels.Error().offset, 18u + 5 * 3);

    auto header = DecodeTga(whole.substr(0, 10));
    ASSERT_FALSE(header);
    EXPECT_EQ(header.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(header.Error().offset, 0u);

    // Run-length data: a packet header whose pixels are missing names that packet.
    test::Bytes rle;
    rle.U8(0).U8(0).U8(10).U16(0).U16(0).U8(0).U16(0).U16(0).U16(4).U16(1).U8(24).U8(0);
    rle.U8(0x81).Raw("abc"); // two pixels of one colour
    rle.U8(0x01).Raw("abc"); // two raw pixels, only one there
    auto packets = DecodeTga(rle.Data());
    ASSERT_FALSE(packets);
    EXPECT_EQ(packets.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(packets.Error().offset, 22u);
}

std::string PngChunk(const char* type, const std::string& data) {
    test::Bytes b;
    auto be32 = [&](uint32_t v) {
        b.U8(v >> 24).U8((v >> 16) & 0xFF).U8((v >> 8) & 0xFF).U8(v & 0xFF);
    };
    be32(static_cast<uint32_t>(data.size()));
    std::string body = std::string(type) + data;
    b.Raw(body);
    be32(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    return b.Data();
}

TEST(ImagePng, RefusesHeaderLargerThanDataCanHold) {
    // 10000 x 10000 RGBA passes the side limits but cannot come from a few bytes.
    std::string ihdr = std::string("\x00\x00\x27\x10\x00\x00\x27\x10\x08\x06\x00\x00\x00", 13);
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) +
                      PngChunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
                      PngChunk("IEND", "");
    auto p = DecodePng(png, "big.png");
    ASSERT_FALSE(p);
    EXPECT_EQ(p.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(p.Error().Message("image"),
              "image file big.png is corrupt at byte 16: PNG size 10000x10000 refused");
}

TEST(ImagePng, CutFileIsTruncatedWithinWhatLibpngRead) {
    const std::string whole = ImageFixture("rgba.png");
    // Cut inside the checksum of the header chunk (bytes 29 to 32).
    auto p = DecodePng(whole.substr(0, 30));
    ASSERT_FALSE(p);
    EXPECT_EQ(p.Error().problem, LoadError::Problem::Truncated);
    EXPECT_EQ(p.Error().offset, 29u);
    EXPECT_NE(p.Error().what.find("end of data"), std::string::npos) << p.Error().what;
}

TEST(ImagePng, HighlyCompressedLowDepthPictureStillLoads) {
    // 2048x2048 at one bit per pixel in 737 bytes: the size check works on stored row bytes.
    auto p = DecodePng(ImageFixture("bilevel2048.png"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 2048);
    EXPECT_EQ(p->At(2047, 2047), kBlack);
}

TEST(ImageJpeg, RefusesHugeFrameFromTinyFile) {
    std::string jpg = ImageFixture("photo.jpg");
    size_t sof = jpg.find("\xFF\xC0", 2);
    ASSERT_NE(sof, std::string::npos);
    // Height and width of the frame header: 60000 x 60000.
    jpg[sof + 5] = static_cast<char>(0xEA);
    jpg[sof + 6] = static_cast<char>(0x60);
    jpg[sof + 7] = static_cast<char>(0xEA);
    jpg[sof + 8] = static_cast<char>(0x60);
    auto p = DecodeJpeg(jpg);
    ASSERT_FALSE(p);
    EXPECT_EQ(p.Error().problem, LoadError::Problem::Corrupt);
    EXPECT_EQ(p.Error().what, "JPEG size 60000x60000 refused");
}

TEST(ImageDecode, PicksDecoderByExtensionIgnoringCase) {
    EXPECT_EQ(FormatFromName("a.JPG"), ImageFormat::Jpeg);
    EXPECT_EQ(FormatFromName("dir\\a.jpeg"), ImageFormat::Jpeg);
    EXPECT_EQ(FormatFromName("a.Png"), ImageFormat::Png);
    EXPECT_EQ(FormatFromName("a.tga"), ImageFormat::Tga);
    EXPECT_EQ(FormatFromName("a.bmp"), ImageFormat::Bmp);
    EXPECT_EQ(FormatFromName("a.gif"), ImageFormat::Bmp);
    EXPECT_EQ(FormatFromName("jpg"), ImageFormat::Bmp);
    // A PNG named .bmp goes to the BMP reader and fails cleanly.
    auto wrong = DecodeImage(ImageFixture("rgba.png"), "x.bmp");
    ASSERT_FALSE(wrong);
    EXPECT_EQ(wrong.Error().what, "not a BMP file");
    EXPECT_EQ(wrong.Error().file, "x.bmp");
    EXPECT_TRUE(DecodeImage(ImageFixture("rgba.png"), "X.PNG"));
}

// ---- Corrupt and truncated input -------------------------------------------------------------

using Decoder = DecodedPicture (*)(std::string_view, std::string_view);

struct DecoderCase {
    const char* fixture;
    Decoder decode;
};

const DecoderCase kCases[] = {
    {"rgba.png", DecodePng},     {"interlaced.png", DecodePng},   {"palette.png", DecodePng},
    {"photo.jpg", DecodeJpeg},   {"progressive.jpg", DecodeJpeg}, {"cmyk.jpg", DecodeJpeg},
    {"rgb24.bmp", DecodeBmp},    {"mask8rle.bmp", DecodeBmp},     {"pal4.bmp", DecodeBmp},
    {"rgba32.bmp", DecodeBmp},   {"rgb24.tga", DecodeTga},        {"rgba32rle.tga", DecodeTga},
    {"argb1555.bmp", DecodeBmp}, {"argb4444.bmp", DecodeBmp},
};

// A picture of consistent sizes, or a reason within the data.
void ExpectConsistent(const DecodedPicture& p, std::string_view data, std::string_view name) {
    if (!p) {
        EXPECT_FALSE(p.Error().what.empty());
        EXPECT_EQ(p.Error().file, name);
        EXPECT_LE(p.Error().offset, data.size()) << p.Error().Message("image");
        return;
    }
    ASSERT_GT(p->width, 0);
    ASSERT_GT(p->height, 0);
    ASSERT_EQ(p->pixels.size(), static_cast<size_t>(p->width) * p->height);
    ASSERT_TRUE(p->indices.empty() || p->indices.size() == p->pixels.size());
}

TEST(ImageCorrupt, EveryTruncationIsHandled) {
    for (const DecoderCase& c : kCases) {
        SCOPED_TRACE(c.fixture);
        const std::string whole = ImageFixture(c.fixture);
        ASSERT_TRUE(c.decode(whole, c.fixture));
        for (size_t n = 0; n < whole.size(); ++n) {
            const std::string cut = whole.substr(0, n);
            ExpectConsistent(c.decode(cut, c.fixture), cut, c.fixture);
        }
        // Cut in the middle of the pixel data: never a success.
        auto half = c.decode(whole.substr(0, whole.size() / 2), c.fixture);
        ASSERT_FALSE(half);
        EXPECT_FALSE(half.Error().what.empty());
        EXPECT_FALSE(c.decode({}, c.fixture));
    }
}

TEST(ImageCorrupt, MutationFuzzNeverCrashes) {
    std::mt19937 rng(1234);
    for (const DecoderCase& c : kCases) {
        SCOPED_TRACE(c.fixture);
        const std::string whole = ImageFixture(c.fixture);
        std::uniform_int_distribution<size_t> pos(0, whole.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        std::uniform_int_distribution<int> flips(1, 8);
        for (int round = 0; round < 400; ++round) {
            std::string mutated = whole;
            for (int i = flips(rng); i > 0; --i) {
                mutated[pos(rng)] = static_cast<char>(byte(rng));
            }
            if (round % 4 == 0) {
                mutated.resize(pos(rng));
            }
            ExpectConsistent(c.decode(mutated, c.fixture), mutated, c.fixture);
        }
    }
}

TEST(ImageCorrupt, RandomBytesBehindValidSignatures) {
    std::mt19937 rng(99);
    const std::string signatures[] = {std::string("\x89PNG\r\n\x1a\n", 8), "\xFF\xD8\xFF\xE0", "BM",
                                      std::string("\0\0\x02", 3), std::string("\0\0\x0A", 3)};
    const Decoder decoders[] = {DecodePng, DecodeJpeg, DecodeBmp, DecodeTga, DecodeTga};
    for (int i = 0; i < 5; ++i) {
        for (int round = 0; round < 300; ++round) {
            std::string data = signatures[i] + test::RandomBytes(rng, 16 + round * 3);
            ExpectConsistent(decoders[i](data, "random"), data, "random");
        }
    }
}

} // namespace
} // namespace kq::media
