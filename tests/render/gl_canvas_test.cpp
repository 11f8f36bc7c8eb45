// Picture tests of the OpenGL back end (headless Mesa), plus read-back and batching checks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "media/text_encoding.h"
#include "render/blend.h"
#include "render/font.h"
#include "render/gl_fixture.h"

namespace kq::render {
namespace {

using test::MatchesReference;

// 64 x 64: red grows to the right, green downwards; the left half is opaque, the right half
// fades from opaque to transparent, and the last 8 columns are fully transparent.
std::vector<uint32_t> TestPixels() {
    std::vector<uint32_t> px(64 * 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            uint32_t alpha = x < 32 ? 255 : (x >= 56 ? 0 : 255 - (x - 32) * 10);
            px[y * 64 + x] = (alpha << 24) | ((x * 4) << 16) | ((y * 4) << 8) | 0x80;
        }
    }
    return px;
}

// A grey checkerboard of 32-pixel squares behind every picture, so blending shows.
void Checker(Canvas& c) {
    c.Clear(0xFF303030);
    for (int y = 0; y < kSceneHeight; y += 32) {
        for (int x = (y / 32) % 2 * 32; x < kSceneWidth; x += 64) {
            c.FillRect(static_cast<float>(x), static_cast<float>(y), 32, 32, 0xFF606060, 1);
        }
    }
}

class GlPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        canvas_ = test::SharedGlCanvas();
        if (canvas_ == nullptr) {
            KQ_SKIP_MISSING() << "no OpenGL 3.3 context (SDL offscreen/EGL) available";
        }
        canvas_->BeginFrame();
        canvas_->SetFiltering(false);
        texture_ = canvas_->CreateTexture(64, 64, TestPixels());
        ASSERT_NE(texture_, kNoTexture);
        Checker(*canvas_);
    }
    void TearDown() override {
        if (canvas_ != nullptr) {
            canvas_->FreeTexture(texture_);
            canvas_->SetClipRect({0, 0, kSceneWidth, kSceneHeight});
            canvas_->SetFiltering(false);
        }
    }
    std::vector<uint32_t> Finish() {
        canvas_->EndFrame();
        return canvas_->ReadScreen();
    }
    GlCanvas* canvas_ = nullptr;
    TextureId texture_ = kNoTexture;
};

uint32_t At(const std::vector<uint32_t>& px, int x, int y) {
    return px[static_cast<size_t>(y) * kSceneWidth + x];
}

TEST_F(GlPictureTest, OpaqueCopyIgnoresAlpha) {
    canvas_->DrawScaled(texture_, 0, 64, 64, 4.0f, kWhite, kBlendOpaque);
    const auto px = Finish();
    // Texel (60, 10) is fully transparent, but the opaque copy shows its colour.
    EXPECT_EQ(At(px, 64 + 60 * 4, 64 + 10 * 4) & 0x00FFFFFF, (60u * 4 << 16) | (40u << 8) | 0x80);
    // Texel mapping is exact: pixel 64..67 is texel 0, 68 texel 1.
    EXPECT_EQ(At(px, 67, 64) & 0x00FFFFFF, 0x000080u);
    EXPECT_EQ(At(px, 68, 64) & 0x00FFFFFF, 0x040080u);
    EXPECT_TRUE(MatchesReference("blend_opaque", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, AlphaBlendingDiscardsTransparentTexels) {
    canvas_->DrawScaled(texture_, 0, 64, 64, 4.0f, kWhite, kBlendAlpha);
    // Tinted half-transparent copy: modulate switches on by itself.
    canvas_->DrawScaled(texture_, 0, 400, 64, 4.0f, 0x80FF8040, kBlendAlpha);
    const auto px = Finish();
    // A transparent texel leaves the checkerboard behind it.
    const uint32_t behind = At(px, 64 + 60 * 4, 64 + 10 * 4);
    EXPECT_TRUE(behind == 0xFF303030u || behind == 0xFF606060u) << std::hex << behind;
    EXPECT_TRUE(MatchesReference("blend_alpha", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, AdditiveBlending) {
    canvas_->FillRect(64, 64, 256, 256, 0xFF202020, kBlendOpaque);
    canvas_->DrawScaled(texture_, 0, 64, 64, 4.0f, kWhite, kBlendAdditive);
    const auto px = Finish();
    // Opaque texel (0, 0) = 0x000080 added to 0x202020.
    EXPECT_EQ(At(px, 65, 65) & 0x00FFFFFF, 0x2020A0u);
    EXPECT_TRUE(MatchesReference("blend_additive", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, RotatedFilteredQuad) {
    canvas_->SetFiltering(true);
    canvas_->DrawRotated(texture_, 0, 300, 300, 0.5f, 3.0f, kWhite, kBlendAlpha);
    canvas_->FillTriangle({600, 100}, {900, 300}, {650, 400}, 0xC000C0FF, kBlendAlpha);
    const auto px = Finish();
    EXPECT_TRUE(MatchesReference("rotated_quad", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, ClippedQuad) {
    canvas_->SetClipRect({100, 150, 300, 250});
    EXPECT_EQ(canvas_->ClipRect(), (RectI{100, 150, 300, 250}));
    canvas_->DrawScaled(texture_, 0, 50, 50, 6.0f, kWhite, kBlendOpaque);
    canvas_->SetClipRect({0, 0, kSceneWidth, kSceneHeight});
    canvas_->FrameRect(99, 149, 202, 102, 0xFFFFFF00, kBlendOpaque);
    const auto px = Finish();
    EXPECT_NE(At(px, 150, 200), At(px, 90, 200)); // inside drawn, outside not
    EXPECT_TRUE(At(px, 90, 200) == 0xFF303030u || At(px, 90, 200) == 0xFF606060u);
    EXPECT_TRUE(MatchesReference("clipped_quad", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, RenderTargetDrawnBack) {
    const TextureId target = canvas_->CreateRenderTarget(128, 96);
    ASSERT_NE(target, kNoTexture);
    ASSERT_TRUE(canvas_->BeginTarget(target));
    EXPECT_EQ(canvas_->ClipRect(), (RectI{0, 0, 128, 96}));
    canvas_->Clear(0x800000FF);
    canvas_->DrawAt(texture_, 0, 8, 8, kWhite, kBlendAlpha);
    canvas_->FillRect(80, 60, 40, 30, 0xFFFF0000, kBlendOpaque);
    canvas_->EndTarget();
    EXPECT_EQ(canvas_->ClipRect(), (RectI{0, 0, kSceneWidth, kSceneHeight}));

    // Read back: rows come top-down in target coordinates.
    EXPECT_EQ(canvas_->ReadPixel(target, 85, 65), 0xFFFF0000u);
    EXPECT_EQ(canvas_->ReadPixel(target, 2, 2), 0x800000FFu);
    EXPECT_EQ(canvas_->ReadPixel(target, 8, 8).value_or(0) & 0x00FFFFFF, 0x000080u);
    EXPECT_FALSE(canvas_->ReadPixel(target, 128, 0).has_value());

    canvas_->DrawAt(target, 0, 100, 100, kWhite, kBlendAlpha);
    canvas_->DrawScaled(target, 0, 300, 100, 2.0f, kWhite, kBlendOpaque);
    const auto px = Finish();
    EXPECT_EQ(At(px, 185, 165), 0xFFFF0000u);
    canvas_->FreeTexture(target);
    EXPECT_TRUE(MatchesReference("render_target", kSceneWidth, kSceneHeight, px));
}

TEST_F(GlPictureTest, GradientText) {
    media::TextCodec codec;
    FontCollection fonts(*canvas_, codec);
    ASSERT_EQ(fonts.LoadArchive(std::filesystem::path(KQ_FIXTURES_DIR) / "render" / "fonts.kst"),
              1);
    BitmapFont* font = fonts.Find("dejavu");
    ASSERT_NE(font, nullptr);
    font->TextOut(*canvas_, "Gradient text", 40, 40, 0xFFFFFF00, 0xFFFF0000, kBlendAlpha);
    font->TextOut(*canvas_, "Shadow", 40, 100, 0xFFFFFFFF, 0xFF8080FF, kBlendAlpha, kFontShadow,
                  0xFF000000);
    font->TextOut(*canvas_, "Emboss", 40, 160, 0xFFC0C0C0, 0xFFC0C0C0, kBlendAlpha, kFontEmboss,
                  0xFF000080);
    font->SetScale(2.0f);
    canvas_->SetFiltering(true);
    // Cyrillic in windows-1251 plus a 16-bit escape for the euro sign.
    font->TextOut(*canvas_, "\xCF\xF0\xE8\xE2\xE5\xF2 \x01\xAC\x20", 40, 220, 0xFF00FF00,
                  0xFF0000FF, kBlendAlpha);
    const auto px = Finish();
    EXPECT_TRUE(MatchesReference("gradient_text", kSceneWidth, kSceneHeight, px));
}

// An 8 x 8 sheet of four 4 x 4 patterns: red, green / blue, white.
std::vector<uint32_t> SheetPixels() {
    const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    std::vector<uint32_t> px(64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            px[static_cast<size_t>(y) * 8 + x] = colours[(y / 4) * 2 + x / 4];
        }
    }
    return px;
}

TEST(GlCanvas, FilteredPatternsNeverShowTheirNeighbours) {
    KQ_REQUIRE_GL(canvas);
    const TextureId sheet = canvas->CreateTexture(8, 8, SheetPixels());
    ASSERT_NE(sheet, kNoTexture);
    ASSERT_TRUE(canvas->SetPatternLayout(sheet, 4, 4));
    canvas->BeginFrame();
    canvas->Clear(0xFF000000u);
    canvas->SetFiltering(true);
    // The red pattern scaled, placed between pixels, rotated and shrunk: filtered samples at
    // its edges would reach the green and blue cells beside it.
    canvas->DrawScaled(sheet, 0, 100.5f, 100.25f, 2.0f);
    canvas->DrawScaled(sheet, 0, 200.0f, 100.0f, 5.0f, kWhite, kBlendOpaque);
    canvas->DrawRotated(sheet, 0, 300.0f, 300.0f, 0.4f, 3.0f);
    canvas->DrawScaled(sheet, 0, 400.3f, 100.6f, 0.7f);
    // The white pattern has green above it and blue on its left.
    canvas->DrawScaled(sheet, 3, 600.5f, 100.5f, 4.0f);
    canvas->EndFrame();
    canvas->SetFiltering(false);
    const auto px = canvas->ReadScreen();
    canvas->FreeTexture(sheet);

    int red = 0;
    for (int y = 0; y < 500; ++y) {
        for (int x = 0; x < 590; ++x) {
            const uint32_t p = At(px, x, y);
            ASSERT_EQ(p & 0xFFFF, 0u)
                << "green or blue at " << x << "," << y << std::hex << " 0x" << p;
            red += (p & 0xFF0000) != 0;
        }
    }
    EXPECT_GT(red, 500); // the red frames were drawn (about 600 pixels)
    // Every pixel the white pattern covers is white (16 x 16 pixels from 600.5).
    for (int y = 101; y < 116; ++y) {
        for (int x = 601; x < 616; ++x) {
            ASSERT_EQ(At(px, x, y), 0xFFFFFFFFu) << x << "," << y;
        }
    }
}

TEST(GlCanvas, SaturatedAlphaAsDestinationFactorOnTheScreenIsZero) {
    KQ_REQUIRE_GL(canvas);
    canvas->BeginFrame();
    canvas->Clear(0xFF000000u);
    canvas->FillRect(10, 10, 20, 20, 0xFF202020u, kBlendOpaque);
    canvas->FillRect(40, 10, 20, 20, 0xFF202020u, kBlendOpaque);
    // Source factor one, destination factor saturated alpha: min(As, 1 - 1) = 0 on the screen,
    // so the destination drops out whatever the source alpha.
    canvas->FillRect(10, 10, 20, 20, 0xFF404040u, 0x0A01);
    canvas->FillRect(40, 10, 20, 20, 0x80404040u, 0x0A01);
    // As a source factor it is zero on the screen too: (0, one) keeps the destination.
    canvas->FillRect(40, 40, 20, 20, 0xFF202020u, kBlendOpaque);
    canvas->FillRect(40, 40, 20, 20, 0xFF404040u, 0x010A);
    canvas->EndFrame();
    const auto px = canvas->ReadScreen();
    EXPECT_EQ(At(px, 20, 20), 0xFF404040u);
    EXPECT_EQ(At(px, 50, 20), 0xFF404040u);
    EXPECT_EQ(At(px, 50, 50), 0xFF202020u);
}

TEST(GlCanvas, SaturatedAlphaAsDestinationFactorFollowsTargetAlpha) {
    KQ_REQUIRE_GL(canvas);
    const TextureId target = canvas->CreateRenderTarget(16, 8);
    ASSERT_NE(target, kNoTexture);
    canvas->BeginFrame();
    ASSERT_TRUE(canvas->BeginTarget(target));
    canvas->Clear(0x00202020u);                              // left half: alpha 0
    canvas->FillRect(8, 0, 8, 8, 0xFF202020u, kBlendOpaque); // right half: alpha 1
    canvas->FillRect(0, 0, 16, 8, 0x80404040u, 0x0A01);
    canvas->EndTarget();
    const uint32_t transparent = canvas->ReadPixel(target, 2, 2).value_or(0);
    const uint32_t opaque = canvas->ReadPixel(target, 12, 2).value_or(0);
    canvas->FreeTexture(target);
    // Alpha: As + Ad (the factor's alpha is one).
    EXPECT_EQ(transparent >> 24, 0x80u);
    EXPECT_EQ(opaque >> 24, 0xFFu);
    // Colour: 0x40 + 0x20 * min(0.5, 1 - Ad).
    EXPECT_NEAR(static_cast<int>(transparent & 0xFF), 0x50, 1);
    EXPECT_EQ(opaque & 0xFFFFFF, 0x404040u);
}

TEST(GlCanvas, BatchesUntilStateChanges) {
    KQ_REQUIRE_GL(canvas);
    const auto pixels = TestPixels();
    const TextureId a = canvas->CreateTexture(64, 64, pixels);
    const TextureId b = canvas->CreateTexture(64, 64, pixels);
    canvas->BeginFrame();
    canvas->ResetStats();
    for (int i = 0; i < 100; ++i) {
        canvas->DrawAt(a, 0, static_cast<float>(i), 0);
        canvas->FillRect(0, 0, 4, 4, 0xFF00FF00); // fills join the textured batch
    }
    canvas->Flush();
    EXPECT_EQ(canvas->Stats().flushes, 1u);
    EXPECT_EQ(canvas->Stats().quads, 200u);

    canvas->ResetStats();
    canvas->DrawAt(a, 0, 0, 0);
    canvas->DrawAt(b, 0, 0, 0);                         // texture change
    canvas->DrawAt(b, 0, 0, 0, kWhite, kBlendAdditive); // blend change
    canvas->SetFiltering(true);
    canvas->DrawAt(b, 0, 0, 0, kWhite, kBlendAdditive); // filtering change
    canvas->SetClipRect({0, 0, 10, 10});
    canvas->DrawAt(b, 0, 0, 0, kWhite, kBlendAdditive); // clip change
    canvas->SetClipRect({0, 0, kSceneWidth, kSceneHeight});
    canvas->SetFiltering(false);
    canvas->SetClipRect({0, 0, 10, 10}); // changed and back without drawing: no flush
    canvas->SetClipRect({0, 0, kSceneWidth, kSceneHeight});
    canvas->DrawAt(b, 0, 0, 0, kWhite, kBlendAdditive); // filtering and clip differ again
    canvas->DrawAt(b, 0, 0, 0, kWhite, kBlendAdditive); // joins
    canvas->EndFrame();
    EXPECT_EQ(canvas->Stats().flushes, 6u);
    EXPECT_EQ(canvas->Stats().quads, 7u);

    canvas->ResetStats();
    for (int i = 0; i < 5000; ++i) {
        canvas->DrawAt(a, 0, 0, 0);
    }
    canvas->EndFrame();
    EXPECT_EQ(canvas->Stats().flushes, 2u);
    EXPECT_EQ(canvas->Stats().overflows, 1u);
    canvas->FreeTexture(a);
    canvas->FreeTexture(b);
}

TEST(GlCanvas, TexturesRejectBadInputAndReadBack) {
    KQ_REQUIRE_GL(canvas);
    const std::vector<uint32_t> few(10, 0);
    EXPECT_EQ(canvas->CreateTexture(0, 4, few), kNoTexture);
    EXPECT_EQ(canvas->CreateTexture(4, 4, few), kNoTexture); // needs 16 pixels
    EXPECT_EQ(canvas->CreateTexture(kMaxTextureSide + 1, 1, few), kNoTexture);
    EXPECT_EQ(canvas->CreateRenderTarget(-1, 5), kNoTexture);
    EXPECT_FALSE(canvas->BeginTarget(12345));
    EXPECT_FALSE(canvas->ReadPixel(12345, 0, 0).has_value());
    EXPECT_TRUE(canvas->ReadPixels(12345).empty());
    canvas->FreeTexture(12345); // ignored

    // Byte-order variants: ABGR words give the same texels as ARGB words.
    const std::vector<uint32_t> argb = {0xFF102030, 0x80405060, 0x00000000, 0xFFFFFFFF};
    const std::vector<uint32_t> abgr = {0xFF302010, 0x80605040, 0x00000000, 0xFFFFFFFF};
    const TextureId t1 = canvas->CreateTexture(2, 2, argb);
    const TextureId t2 = canvas->CreateTexture(2, 2, abgr, PixelFormat::kAbgr);
    EXPECT_EQ(canvas->ReadPixels(t1), argb);
    EXPECT_EQ(canvas->ReadPixels(t2), argb);
    EXPECT_EQ(canvas->ReadPixel(t1, 1, 0), 0x80405060u);
    // Update changes size and content; a pattern layout that no longer fits is reset.
    ASSERT_TRUE(canvas->SetPatternLayout(t1, 1, 2));
    EXPECT_EQ(canvas->PatternCount(t1), 2);
    const std::vector<uint32_t> one = {0xFFABCDEF};
    EXPECT_TRUE(canvas->UpdateTexture(t1, 1, 1, one));
    EXPECT_EQ(canvas->TextureSize(t1), (SizeI{1, 1}));
    EXPECT_EQ(canvas->PatternCount(t1), 1);
    EXPECT_EQ(canvas->ReadPixel(t1, 0, 0), 0xFFABCDEFu);
    canvas->FreeTexture(t1);
    canvas->FreeTexture(t2);
    EXPECT_EQ(canvas->TextureSize(t1), (SizeI{}));
}

} // namespace
} // namespace kq::render
