// The FreeType rasteriser: measuring and drawing UTF-16 text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "render/freetype_text.h"
#include "support/test_support.h"

namespace kq::render {
namespace {

const std::filesystem::path kFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

TEST(FreeTypeText, MeasuresAndDrawsWhiteOnBlack) {
    if (!std::filesystem::exists(kFace)) {
        KQ_SKIP_MISSING() << "DejaVuSans.ttf is not installed";
    }
    auto ft = FreeTypeText::OpenFile(kFace);
    ASSERT_NE(ft, nullptr);
    ASSERT_TRUE(ft->SetPixelSize(30));
    EXPECT_FALSE(ft->SetPixelSize(0));
    EXPECT_EQ(ft->PixelSize(), 30);

    const SizeI one = ft->Measure(u"W");
    const SizeI two = ft->Measure(u"WW");
    EXPECT_GT(one.width, 15);
    EXPECT_EQ(two.width, 2 * one.width);
    EXPECT_EQ(one.height, ft->LineHeight());
    EXPECT_GE(one.height, 30);
    EXPECT_EQ(ft->Measure(u""), (SizeI{}));

    const TextBitmap bm = ft->Draw(u"\u0416x"); // Cyrillic Zhe
    ASSERT_EQ(bm.width, ft->Measure(u"\u0416x").width);
    ASSERT_EQ(bm.coverage.size(), static_cast<size_t>(bm.width) * bm.height);
    EXPECT_EQ(*std::max_element(bm.coverage.begin(), bm.coverage.end()), 255);
    EXPECT_EQ(bm.coverage[0], 0); // the corner is background
    const auto opaque = bm.Argb(false);
    const auto alpha = bm.Argb(true);
    EXPECT_EQ(opaque[0], 0xFF000000u);
    EXPECT_EQ(alpha[0], 0x00000000u);

    // An unpaired surrogate is drawn as the replacement character, never read past the end.
    const std::u16string broken = {u'a', static_cast<char16_t>(0xD800)};
    EXPECT_GT(ft->Measure(broken).width, ft->Measure(u"a").width);
}

TEST(FreeTypeText, BadFacesGiveNothing) {
    EXPECT_EQ(FreeTypeText::OpenFile("/nonexistent/face.ttf"), nullptr);
    EXPECT_EQ(FreeTypeText::OpenMemory(""), nullptr);
    EXPECT_EQ(FreeTypeText::OpenMemory(std::string(1000, 'x')), nullptr);
}

} // namespace
} // namespace kq::render
