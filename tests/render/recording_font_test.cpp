// The recording back end's bookkeeping and the bitmap fonts measured and drawn through it.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "media/image_decode.h"
#include "media/store.h"
#include "media/text_encoding.h"
#include "render/font.h"
#include "render/recording_canvas.h"
#include "support/test_support.h"

namespace kq::render {
namespace {

std::vector<uint32_t> Solid(int w, int h, uint32_t c) {
    return std::vector<uint32_t>(static_cast<size_t>(w) * h, c);
}

TEST(RecordingCanvas, TexturesPatternsAndBadInput) {
    RecordingCanvas c;
    EXPECT_EQ(c.CreateTexture(0, 1, Solid(1, 1, 0)), kNoTexture);
    EXPECT_EQ(c.CreateTexture(3, 3, Solid(2, 2, 0)), kNoTexture);
    const TextureId t = c.CreateTexture(300, 200, Solid(300, 200, 0xFF112233));
    ASSERT_NE(t, kNoTexture);
    EXPECT_EQ(c.PatternCount(t), 1);
    ASSERT_TRUE(c.SetPatternLayout(t, 100, 100));
    EXPECT_EQ(c.PatternCount(t), 6);
    EXPECT_FALSE(c.SetPatternLayout(t, 301, 10));
    EXPECT_EQ(c.PatternSize(t), (SizeI{100, 100}));

    // Pattern 4 is row 1, column 1; a source rectangle is relative to it and clipped to it.
    QuadDraw q;
    q.texture = t;
    q.pattern = 4;
    q.source = {10, 20, 200, 30};
    q.points = Canvas::Box(0, 0, 10, 10);
    c.DrawQuad(q);
    ASSERT_EQ(c.Calls().size(), 1u);
    EXPECT_EQ(c.Calls()[0].texels, (TexelRect{110, 120, 200, 150}));
    EXPECT_FALSE(c.Calls()[0].modulate);
    q.pattern = 6; // out of range
    c.DrawQuad(q);
    q.pattern = 0;
    q.texture = 999; // unknown
    c.DrawQuad(q);
    EXPECT_EQ(c.Calls().size(), 1u);

    EXPECT_EQ(c.ReadPixel(t, 299, 199), 0xFF112233u);
    EXPECT_FALSE(c.ReadPixel(t, 300, 0).has_value());
    EXPECT_FALSE(c.ReadPixel(t, -1, 0).has_value());
    c.FreeTexture(t);
    EXPECT_EQ(c.TextureCount(), 0u);
    EXPECT_FALSE(c.ReadPixel(t, 0, 0).has_value());
}

TEST(RecordingCanvas, AbgrPixelsAreStoredAsArgb) {
    RecordingCanvas c;
    const std::vector<uint32_t> abgr = {0x80302010};
    const TextureId t = c.CreateTexture(1, 1, abgr, PixelFormat::kAbgr);
    EXPECT_EQ(c.ReadPixel(t, 0, 0), 0x80102030u);
}

TEST(RecordingCanvas, ClipAndTargetsNest) {
    RecordingCanvas c;
    c.SetClipRect({-50, 10, 2000, 500});
    EXPECT_EQ(c.ClipRect(), (RectI{0, 10, kSceneWidth, 500}));
    const TextureId rt = c.CreateRenderTarget(64, 32);
    const TextureId rt2 = c.CreateRenderTarget(16, 16);
    const TextureId plain = c.CreateTexture(1, 1, Solid(1, 1, 0));
    EXPECT_FALSE(c.BeginTarget(plain));
    ASSERT_TRUE(c.BeginTarget(rt));
    EXPECT_FALSE(c.BeginTarget(rt)); // already active
    EXPECT_EQ(c.ClipRect(), (RectI{0, 0, 64, 32}));
    c.SetClipRect({10, 10, 100, 100});
    EXPECT_EQ(c.ClipRect(), (RectI{10, 10, 64, 32}));
    c.Clear(0x80FF0000);
    c.FillRect(1, 2, 3, 4, 0xFF00FF00);
    ASSERT_TRUE(c.BeginTarget(rt2));
    c.FillRect(0, 0, 1, 1, 0xFF0000FF);
    c.EndTarget();
    EXPECT_EQ(c.ClipRect(), (RectI{10, 10, 64, 32}));
    c.EndTarget();
    EXPECT_EQ(c.ClipRect(), (RectI{0, 10, kSceneWidth, 500}));
    c.EndTarget(); // nothing to end: ignored

    ASSERT_EQ(c.Calls().size(), 3u);
    EXPECT_EQ(c.Calls()[0].kind, DrawCall::Kind::kClear);
    EXPECT_EQ(c.Calls()[1].target, rt);
    EXPECT_EQ(c.Calls()[1].clip, (RectI{10, 10, 64, 32}));
    EXPECT_EQ(c.Calls()[2].target, rt2);
    EXPECT_EQ(c.ReadPixel(rt, 63, 31), 0x80FF0000u); // Clear fills the target

    // Freeing the active target ends it.
    ASSERT_TRUE(c.BeginTarget(rt2));
    c.FreeTexture(rt2);
    EXPECT_EQ(c.CurrentTarget(), kNoTexture);
    EXPECT_TRUE(c.ResizeRenderTarget(rt, 8, 8));
    EXPECT_EQ(c.ReadPixel(rt, 7, 7), 0u);
    EXPECT_FALSE(c.ResizeRenderTarget(plain, 8, 8));
}

TEST(RecordingCanvas, ConvenienceFormsBuildTheRightQuads) {
    RecordingCanvas c;
    const TextureId t = c.CreateTexture(40, 20, Solid(40, 20, kWhite));
    c.DrawAt(t, 0, 5, 6);
    c.DrawScaled(t, 0, 5, 6, 2.0f, 0x80FFFFFF, 0x104);
    c.DrawRotated(t, 0, 100, 100, static_cast<float>(M_PI / 2), 1.0f);
    c.FrameRect(0, 0, 10, 5, 0xFF00FF00);
    ASSERT_EQ(c.Calls().size(), 7u);
    EXPECT_EQ(c.Calls()[0].points[2], (PointF{45, 26}));
    EXPECT_EQ(c.Calls()[1].points[2], (PointF{85, 46}));
    EXPECT_TRUE(c.Calls()[1].modulate);
    EXPECT_EQ(c.Calls()[1].blend, 0x104u);
    // A quarter turn about (100, 100): the top-left corner (-20, -10) goes to (110, 80).
    EXPECT_NEAR(c.Calls()[2].points[0].x, 110.0f, 1e-4);
    EXPECT_NEAR(c.Calls()[2].points[0].y, 80.0f, 1e-4);
    // The outline is four one-pixel bars inside the box.
    EXPECT_EQ(c.Calls()[3].points[2], (PointF{10, 1}));
    EXPECT_EQ(c.Calls()[4].points[0], (PointF{0, 4}));
}

// ---- Fonts ---------------------------------------------------------------------------------

// A 32 x 16 page: every pixel white with its x as alpha.
std::string PagePng() {
    media::Picture p;
    p.width = 32;
    p.height = 16;
    p.bitsPerPixel = 32;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            p.pixels.push_back((static_cast<uint32_t>(x * 8) << 24) | 0xFFFFFF);
        }
    }
    return media::EncodePng(p);
}

const char* kDescriptor =
    "info face=\"Test Face\" size=12 unicode=1\r\n"
    "common lineHeight=20 base=16 scaleW=32 scaleH=16 pages=1\r\n"
    "page id=0 file=\"test_0.png\"\r\n"
    "chars count=5\r\n"
    "char id=65 x=0 y=0 width=10 height=12 xoffset=1 yoffset=2 xadvance=11 page=0\r\n"
    "char id=66 x=10 y=0 width=8 height=12 xoffset=0 yoffset=2 xadvance=9 page=0\r\n"
    "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=5 page=0\r\n"
    "char id=1046 x=18 y=0 width=12 height=14 xoffset=0 yoffset=1 xadvance=13 page=0\r\n"
    "char id=8364 x=20 y=4 width=40 height=40 xoffset=0 yoffset=1 xadvance=7 page=0\r\n"
    "kerning first=65 second=66 amount=-2\r\n";

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        media::StoreWriter w;
        w.Add("FONTS\\TEST.FNT", kDescriptor);
        w.Add("FONTS\\TEST_0.PNG", PagePng());
        w.Add("FONTS\\BROKEN.FNT", "info face=x\ncommon base=3\n");
        w.Add("NOTES.TXT", "not a font");
        archive_ = dir_.Path() / "fonts.kst";
        ASSERT_TRUE(w.Write(archive_));
        ASSERT_EQ(fonts_.LoadArchive(archive_), 1);
        font_ = fonts_.Find("Test");
        ASSERT_NE(font_, nullptr);
    }
    test::TempDir dir_;
    std::filesystem::path archive_;
    media::TextCodec codec_;
    RecordingCanvas canvas_;
    FontCollection fonts_{canvas_, codec_};
    BitmapFont* font_ = nullptr;
};

TEST_F(FontTest, LookupIgnoresCase) {
    EXPECT_EQ(fonts_.Find("TEST"), font_);
    EXPECT_EQ(fonts_.Find("test"), font_);
    EXPECT_EQ(fonts_.Find("broken"), nullptr);
    EXPECT_EQ(fonts_.Find("tes"), nullptr);
    EXPECT_EQ(fonts_.Names(), std::vector<std::string>{"TEST"});
}

TEST_F(FontTest, MetricsFollowAdvancesKerningAndScale) {
    EXPECT_FLOAT_EQ(font_->TextWidth("A"), 11);
    EXPECT_FLOAT_EQ(font_->TextWidth("AB"), 11 + 9 - 2);
    EXPECT_FLOAT_EQ(font_->TextWidth("BA"), 9 + 11);
    EXPECT_FLOAT_EQ(font_->TextWidth("A A"), 27);
    EXPECT_FLOAT_EQ(font_->TextWidth("AZ"), 11); // missing glyph takes no room
    EXPECT_FLOAT_EQ(font_->TextWidth("A\0B"), 11);
    // Code-page byte 0xC6 is U+0416 in windows-1251; the escape carries U+20AC.
    EXPECT_FLOAT_EQ(font_->TextWidth("\xC6"), 13);
    EXPECT_FLOAT_EQ(font_->TextWidth("\x01\xAC\x20"
                                     "A"),
                    7 + 11);
    // An escape cut short ends the text.
    EXPECT_FLOAT_EQ(font_->TextWidth(std::string_view("A\x01\xAC", 3)), 11);
    EXPECT_FLOAT_EQ(font_->TextHeight("A"), 20);
    EXPECT_FLOAT_EQ(font_->TextHeight(""), 0);
    font_->SetScale(1.5f);
    EXPECT_FLOAT_EQ(font_->TextWidth("AB"), 18 * 1.5f);
    EXPECT_FLOAT_EQ(font_->TextHeight("A"), 30);
    font_->SetScale(-1);
    EXPECT_FLOAT_EQ(font_->Scale(), 1.5f);
}

TEST_F(FontTest, GradientQuadsPerGlyph) {
    canvas_.ClearCalls();
    font_->SetScale(2.0f);
    font_->TextOut(canvas_, "AB", 100, 50, 0xFFFF0000, 0xFF0000FF, 0x504);
    const auto& calls = canvas_.Calls();
    ASSERT_EQ(calls.size(), 2u);
    const DrawCall& a = calls[0];
    EXPECT_EQ(a.texture, font_->Page(0));
    EXPECT_EQ(a.texels, (TexelRect{0, 0, 10, 12}));
    EXPECT_EQ(a.points[0], (PointF{102, 54}));
    EXPECT_EQ(a.points[2], (PointF{122, 78}));
    EXPECT_EQ(a.colors, (std::array<Color, 4>{0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF}));
    EXPECT_EQ(a.blend, 0x504u);
    EXPECT_TRUE(a.modulate);
    // B follows after A's advance minus the kerning, both scaled.
    EXPECT_EQ(calls[1].points[0], (PointF{100 + (11 - 2) * 2, 54}));
    EXPECT_EQ(calls[1].texels, (TexelRect{10, 0, 18, 12}));
}

TEST_F(FontTest, ShadowAndEmbossDrawCopiesFirst) {
    canvas_.ClearCalls();
    font_->TextOut(canvas_, "A", 10, 10, 0x80FFFFFF, 0x40FFFFFF, 0x504, kFontShadow, 0x00102030);
    ASSERT_EQ(canvas_.Calls().size(), 2u);
    // The shadow colour has no alpha: it takes the text's.
    EXPECT_EQ(canvas_.Calls()[0].colors[0], 0x80102030u);
    EXPECT_EQ(canvas_.Calls()[0].colors[3], 0x40102030u);
    EXPECT_EQ(canvas_.Calls()[0].points[0], (PointF{12, 13}));
    EXPECT_EQ(canvas_.Calls()[1].points[0], (PointF{11, 12}));

    canvas_.ClearCalls();
    font_->TextOut(canvas_, "A", 10, 10, kWhite, kWhite, 0x504, kFontEmboss, 0xFF000080);
    ASSERT_EQ(canvas_.Calls().size(), 3u);
    EXPECT_EQ(canvas_.Calls()[0].points[0], (PointF{10, 11}));
    EXPECT_EQ(canvas_.Calls()[1].points[0], (PointF{12, 13}));
    EXPECT_EQ(canvas_.Calls()[0].colors[0], 0xFF000080u);
    EXPECT_EQ(canvas_.Calls()[2].colors[0], kWhite);
}

TEST_F(FontTest, GlyphOutsideItsPageKeepsAdvanceButDrawsNothing) {
    canvas_.ClearCalls();
    font_->TextOut(canvas_,
                   "\x01\xAC\x20"
                   "A",
                   0, 0, kWhite, kWhite);
    ASSERT_EQ(canvas_.Calls().size(), 1u);
    EXPECT_EQ(canvas_.Calls()[0].points[0], (PointF{7 + 1, 2}));
}

TEST_F(FontTest, ReloadingReplacesAndClearFreesTextures) {
    EXPECT_EQ(canvas_.TextureCount(), 1u);
    EXPECT_EQ(fonts_.LoadArchive(archive_), 1);
    EXPECT_EQ(fonts_.Count(), 1u);
    EXPECT_EQ(canvas_.TextureCount(), 1u);
    fonts_.Clear();
    EXPECT_EQ(canvas_.TextureCount(), 0u);
    EXPECT_EQ(fonts_.Find("test"), nullptr);
}

TEST(FontDescriptor, BadInputIsRejectedOrSkipped) {
    EXPECT_FALSE(ParseFontDescriptor("", "x").has_value());
    EXPECT_FALSE(ParseFontDescriptor("common lineHeight=0\npage id=0 file=\"a.png\"", "x"));
    EXPECT_FALSE(ParseFontDescriptor("common lineHeight=10\n", "x")); // no page
    const auto d = ParseFontDescriptor(
        "common lineHeight=10\npage id=99 file=\"far.png\"\npage id=0 file=\"a b.png\"\n"
        "char id=-4 x=0\nchar id=x\nchar id=65 width=999999 xadvance=3\nchar\n=\n",
        "x");
    ASSERT_TRUE(d.has_value());
    ASSERT_EQ(d->pages.size(), 1u);
    EXPECT_EQ(d->pages[0], "a b.png");
    ASSERT_EQ(d->glyphs.size(), 1u);
    EXPECT_EQ(d->glyphs.at(65).width, kMaxTextureSide);

    // Random bytes never crash the parser.
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        std::string text = "common lineHeight=9\npage id=0 file=p\n" + test::RandomBytes(rng, 300);
        ParseFontDescriptor(text, "random");
    }
}

TEST(FontCollection, MissingOrCorruptPagesSkipTheFont) {
    test::TempDir dir;
    media::StoreWriter w;
    w.Add("A.FNT", "common lineHeight=10\npage id=0 file=\"missing.png\"\n");
    w.Add("B.FNT", "common lineHeight=10\npage id=0 file=\"b.png\"\n");
    w.Add("B.PNG", "\x89PNG\r\n\x1a\n truncated");
    ASSERT_TRUE(w.Write(dir.Path() / "f.kst"));
    media::TextCodec codec;
    RecordingCanvas canvas;
    FontCollection fonts(canvas, codec);
    EXPECT_EQ(fonts.LoadArchive(dir.Path() / "f.kst"), 0);
    EXPECT_EQ(fonts.LoadArchive(dir.Path() / "absent.kst"), 0);
    EXPECT_EQ(canvas.TextureCount(), 0u);
}

} // namespace
} // namespace kq::render
