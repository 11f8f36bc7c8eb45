// TKQText: layout (breaks, wrapping, language texts), measuring, the hit box and drawing on the
// three paths, against a small bitmap font whose letters are 10 pixels wide.
#include "elements/text.h"

#include "elements_test_util.h"
#include "render/font.h"
#include "scene/db_unicode.h"
#include "scene/scene_test_util.h"
#include "script/value.h"

#include <chrono>
#include <string>

namespace kq::test {
namespace {

using elements::TKQPosHor;
using elements::TKQPosVert;
using elements::TKQText;
using render::DrawCall;

// Code-page ids: letters and digits advance 10 (8 x 12 drawn), space 5, line height 20.
std::string FontDescriptor() {
    std::string d = "info face=\"T\" size=12 unicode=0\n"
                    "common lineHeight=20 base=16 scaleW=16 scaleH=16 pages=1\n"
                    "page id=0 file=\"t_0.png\"\n"
                    "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=5 page=0\n";
    auto add = [&](int id) {
        d += "char id=" + std::to_string(id) +
             " x=0 y=0 width=8 height=12 xoffset=0 yoffset=0 xadvance=10 page=0\n";
    };
    for (int c = 'a'; c <= 'z'; ++c) {
        add(c);
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        add(c);
    }
    for (int c = '0'; c <= '9'; ++c) {
        add(c);
    }
    add('\\');
    add('!');
    return d;
}

class TextTest : public ElementsTest {
protected:
    TextTest() {
        rt.files = &files;
        rt.fonts = &fonts;
        const std::string page = MakePng(16, 16, [](int, int) { return 0xFFFFFFFFu; });
        EXPECT_TRUE(fonts.AddFont("Main", FontDescriptor(), [&](std::string_view) {
            return std::optional<std::string>(page);
        }));
        fontPage = fonts.Find("Main")->Page(0);
    }
    ~TextTest() override { rt.fonts = nullptr; }

    TKQText& Text(scene::TKQElement& parent, std::string id = "T") {
        auto& t = Add<TKQText>(parent, "TKQText", std::move(id));
        t.SetFont("main");
        t.SetEnEnter(true);
        t.SetHxTrans2(255);
        return t;
    }
    static std::vector<std::string> Lines(const TKQText& t) {
        std::vector<std::string> out;
        for (std::string_view line : t.LaidLines()) {
            out.emplace_back(line);
        }
        return out;
    }
    // The Unicode mode: a glyph sheet of four 20 x 40 glyphs (k = 20 / 40 = 0.5) whose table
    // widths give space 5, A 10, B 0 (never drawn) and U+0416 20 pixels.
    void LoadUnicodeScene() {
        dir.Write("unicode/unicode.fnt",
                  "4\r\n0020 17\r\n0041 34\r\n0042 0\r\n0416 68\r\nFace\r\n");
        SolidPng("unicode/unicode.png", 80, 40);
        dir.Write("unicode/unicode.an", "4\r\n1\r\n");
        const auto scene = dir.Write("u.kqf", ElementBlob("TKQDB", 0, ""));
        ASSERT_TRUE(db.LoadScene(scene));
        ASSERT_TRUE(db.UnicodeMode());
    }
    std::vector<DrawCall> FontQuads() const {
        std::vector<DrawCall> out;
        for (const DrawCall& c : Calls()) {
            if (c.kind == DrawCall::Kind::kQuad && c.texture == fontPage) {
                out.push_back(c);
            }
        }
        return out;
    }

    media::TextCodec codec;
    render::FontCollection fonts{canvas, codec};
    render::TextureId fontPage = render::kNoTexture;
};

const std::string kCutEscape("ab\x01\x41", 4);

TEST_F(TextTest, BothBreakFormsSplitLinesOnlyWithEnEnter) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    for (const std::string text : {"a\\nb", "a\r\nb"}) {
        t.SetEnEnter(true);
        t.SetText(text);
        EXPECT_EQ(Lines(t), (std::vector<std::string>{"a", "b"})) << text;
        t.SetEnEnter(false);
        EXPECT_EQ(t.Laid(), text);
        EXPECT_EQ(Lines(t), std::vector<std::string>{text});
    }
    // A lone CR, a lone backslash and a trailing break make no extra line.
    t.SetEnEnter(true);
    t.SetText("a\rb\\c\\n");
    EXPECT_EQ(Lines(t), std::vector<std::string>{"a\rb\\c"});
    EXPECT_EQ(t.Laid(), std::string("a\rb\\c\0", 6));
    t.SetText("\\n\\n");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"", ""}));
    t.SetText("");
    EXPECT_TRUE(Lines(t).empty());
}

TEST_F(TextTest, EscapeBytesAreNeverBreaksSpacesOrLineEnds) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    // U+0A0D is the bytes CR LF, U+6E5C backslash n, U+2000 a line end and a space.
    const std::string crlf("a\x01\x0D\x0A"
                           "b",
                           5);
    const std::string slashN("a\x01\x5C\x6E"
                             "b",
                             5);
    const std::string nul("a\x01\x00\x20"
                          "b",
                          5);
    for (const std::string& text : {crlf, slashN, nul}) {
        t.SetAutoEnter(false);
        t.SetText(text);
        EXPECT_EQ(Lines(t), std::vector<std::string>{text});
        t.SetSizeX(15); // "a" and "b" fit one by one, so only a real gap would break
        t.SetAutoEnter(true);
        EXPECT_EQ(Lines(t), std::vector<std::string>{text});
        t.SetSizeX(100);
    }
}

TEST_F(TextTest, WrappingPacksWordsAndTurnsBreaksIntoGaps) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetAutoEnter(true);
    // 40 + 45 fits 100; the next 45 starts a line.
    t.SetText("aaaa bbbb cccc dd");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"aaaa bbbb", "cccc dd"}));
    // Explicit breaks become word gaps.
    t.SetText("aa\\nbb\r\ncc");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"aa bb cc"}));
    // Exactly the box width fits (40, a gap of 5, then 55); every space is a word gap.
    t.SetText("aaaa  aaaaa");
    EXPECT_EQ(Lines(t), std::vector<std::string>{"aaaa  aaaaa"});
    // Writing SizeX lays out again; SizeY does not.
    t.SetSizeY(10);
    EXPECT_EQ(Lines(t), std::vector<std::string>{"aaaa  aaaaa"});
    t.SetSizeX(60);
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"aaaa ", "aaaaa"}));
    // Without EnEnter nothing is wrapped, whatever AutoEnter says.
    t.SetEnEnter(false);
    EXPECT_EQ(Lines(t), std::vector<std::string>{"aaaa  aaaaa"});
}

TEST_F(TextTest, AnOversizedWordStaysWholeOnTheFontPath) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetAutoEnter(true);
    t.SetText("bbbbbbbbbbbb cc");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"bbbbbbbbbbbb", "cc"}));
    t.SetText("aa bbbbbbbbbbbb cc");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"aa", "bbbbbbbbbbbb", "cc"}));
}

TEST_F(TextTest, AnOversizedWordBreaksBetweenCharactersInTheUnicodeMode) {
    LoadUnicodeScene();
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetAutoEnter(true);
    t.SetSizeX(25);
    t.SetText("AAAAA");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"AA", "AA", "A"}));
    const std::string zhe = scene::ToThreeByte(u"Ж");
    t.SetText(zhe + zhe + "A");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{zhe, zhe, "A"}));
    // Line widths come from the glyph table: A 10, Ж 20, B 0, characters outside it 0.
    EXPECT_DOUBLE_EQ(t.LineWidth("AB" + zhe + "z"), 30);
    EXPECT_DOUBLE_EQ(t.LineWidth(kCutEscape), 0); // "a", "b" are not in the table
    EXPECT_DOUBLE_EQ(t.LineWidth(std::string("A\x01\x16", 3)), 10);
}

TEST_F(TextTest, LanguageTextsMissingFontsAndMissingIds) {
    dir.Write("eng.lng", "[Menu]\r\nStart=Go on\\nnow\r\n");
    db.SetLang("eng.lng");
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetTextId("Menu.Start");
    EXPECT_EQ(t.Text, "Go on\\nnow");
    EXPECT_EQ(Lines(t), (std::vector<std::string>{"Go on", "now"}));
    // With an id set, every layout takes the language text, whatever is written.
    t.SetText("ignored");
    EXPECT_EQ(t.Text, "Go on\\nnow");
    t.SetTextId("Menu.Nothing");
    EXPECT_EQ(t.Text, "");
    EXPECT_TRUE(Lines(t).empty());
    t.SetTextId("");
    t.SetText("a\\nb");
    // A font the collection lacks: the raw text is the one line, nothing is drawn.
    t.SetFont("Absent");
    EXPECT_EQ(t.FindFont(), nullptr);
    EXPECT_EQ(Lines(t), std::vector<std::string>{"a\\nb"});
    RenderFrame(screen);
    EXPECT_TRUE(Calls().empty());
    EXPECT_DOUBLE_EQ(t.TextWidth(), 0);
}

TEST_F(TextTest, ACutEscapeEndsMeasuringAndDrawing) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetText(kCutEscape);
    EXPECT_EQ(Lines(t), std::vector<std::string>{kCutEscape});
    EXPECT_DOUBLE_EQ(t.LineWidth(kCutEscape), 20);
    t.SetAutoEnter(true);
    t.SetText(kCutEscape);
    EXPECT_EQ(Lines(t), std::vector<std::string>{kCutEscape});
    RenderFrame(screen);
    EXPECT_EQ(FontQuads().size(), 2u);
    t.SetText(std::string("\x01", 1)); // nothing but the start of an escape
    EXPECT_DOUBLE_EQ(t.TextWidth(), 0);
}

TEST_F(TextTest, AMegabyteLaysOutInLinearTime) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetAutoEnter(true);
    t.SetSizeX(300);
    const size_t size = 1 << 20;
    std::string words;
    while (words.size() < size) {
        words += "lorem ipsum\\ndolor ";
    }
    const std::string solid(size, 'x');
    std::string breaks;
    while (breaks.size() < size) {
        breaks += "\r\n";
    }
    const auto start = std::chrono::steady_clock::now();
    t.SetText(words);
    EXPECT_GT(t.LaidLines().size(), size / 300);
    t.SetText(solid);
    EXPECT_EQ(t.LaidLines().size(), 1u);
    t.SetAutoEnter(false);
    t.SetText(breaks);
    EXPECT_EQ(t.LaidLines().size(), size / 2);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Quadratic work on a megabyte would take hours; linear work takes well under a second
    // even with the sanitizers.
    EXPECT_LT(seconds, 20.0);
}

TEST_F(TextTest, HitBoxEdgesAreInclusiveAndChildrenAreNotAsked) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetX(10);
    t.SetY(20);
    t.SetSizeX(30);
    t.SetSizeY(5);
    TKQText& child = Text(t, "C");
    child.SetX(0);
    child.SetSizeX(1000);
    EXPECT_EQ(t.ElementAt(0, 10, 20, 0, 0), &t);
    EXPECT_EQ(t.ElementAt(0, 40, 25, 0, 0), &t);
    EXPECT_EQ(t.ElementAt(0, 41, 25, 0, 0), nullptr);
    EXPECT_EQ(t.ElementAt(0, 40, 26, 0, 0), nullptr);
    EXPECT_EQ(t.ElementAt(0, 9, 20, 0, 0), nullptr);
    EXPECT_EQ(t.ElementAt(1, 10, 20, 0, 0), nullptr); // another layer
    t.MousedVis = false;
    EXPECT_EQ(t.ElementAt(0, 10, 20, 0, 0), nullptr);
    t.SetVis(false);
    t.MousedNotVis = true;
    EXPECT_EQ(t.ElementAt(0, 10, 20, 0, 0), &t);
}

TEST_F(TextTest, TextszIsTheWidestLine) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetText("aa\\naaaa b\\n");
    script::Value v;
    ASSERT_TRUE(t.GetProp("TEXTSZ", v));
    EXPECT_EQ(v.Kind(), script::VarKind::Double);
    EXPECT_DOUBLE_EQ(v.RawDouble(), 55);
    t.SetScale(2);
    ASSERT_TRUE(t.GetProp("TEXTSZ", v));
    EXPECT_DOUBLE_EQ(v.RawDouble(), 110);
    auto& image = Image(screen, "I");
    EXPECT_FALSE(image.GetProp("TEXTSZ", v));
}

// ---- Drawing ----

TEST_F(TextTest, BlockAndLinesAreAnchoredInTheBox) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.PosVert = TKQPosVert::pvBottom;
    t.PosHor = TKQPosHor::phRight;
    t.Interval = 5;
    t.SetText("a\\nbb");
    RenderFrame(screen);
    const std::vector<DrawCall> quads = FontQuads();
    ASSERT_EQ(quads.size(), 3u);
    // Two lines of 20 with 5 between end at the bottom of the 100-pixel box: the block starts
    // at 55; each line ends at the right edge.
    EXPECT_FLOAT_EQ(quads[0].points[0].y, 55);
    EXPECT_FLOAT_EQ(quads[0].points[0].x, 90);
    EXPECT_FLOAT_EQ(quads[1].points[0].y, 80);
    EXPECT_FLOAT_EQ(quads[1].points[0].x, 80);
    canvas.ClearCalls();
    t.PosVert = TKQPosVert::pvCenter;
    t.PosHor = TKQPosHor::phCenter;
    t.SetRealPos(7, 3);
    RenderFrame(screen);
    ASSERT_EQ(FontQuads().size(), 3u);
    EXPECT_FLOAT_EQ(FontQuads()[0].points[0].y, 3 + 27.5f);
    EXPECT_FLOAT_EQ(FontQuads()[0].points[0].x, 7 + 45);
    EXPECT_TRUE(FontQuads()[0].filtering); // a half pixel turns antialiasing on
}

TEST_F(TextTest, GradientShadowAndTheAntialiasRule) {
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetHxColor1(0x112233);
    t.SetHxTrans1(200);
    t.SetHxColor2(0x445566);
    t.SetHxTrans2(100);
    t.hxDrawFx = 0x104;
    t.Shadow = true;
    t.hxShadColor = 0x80000000u;
    t.SetText("a");
    RenderFrame(screen);
    const std::vector<DrawCall> quads = FontQuads();
    ASSERT_EQ(quads.size(), 2u); // the shadow first, one pixel down and right
    EXPECT_FLOAT_EQ(quads[0].points[0].x, 1);
    EXPECT_FLOAT_EQ(quads[0].points[0].y, 1);
    EXPECT_EQ(quads[0].colors[0], 0x80000000u);
    EXPECT_EQ(quads[1].colors[0], 0xC8112233u); // top corners: colour word 1
    EXPECT_EQ(quads[1].colors[1], 0xC8112233u);
    EXPECT_EQ(quads[1].colors[2], 0x64445566u); // bottom corners: colour word 2
    EXPECT_EQ(quads[1].blend, 0x104u);
    EXPECT_FALSE(quads[1].filtering); // whole pixels at scale 1
    canvas.ClearCalls();
    t.Shadow = false;
    t.Emboss = true;
    RenderFrame(screen);
    ASSERT_EQ(FontQuads().size(), 3u); // above-left, below-right, then the text
    EXPECT_FLOAT_EQ(FontQuads()[0].points[0].x, -1);
    canvas.ClearCalls();
    t.Emboss = false;
    t.SetScale(1.5);
    RenderFrame(screen);
    ASSERT_EQ(FontQuads().size(), 1u);
    EXPECT_TRUE(FontQuads()[0].filtering);
}

TEST_F(TextTest, LowTransparencyDrawsNothingButTheChildren) {
    auto& screen = Screen("S");
    TKQText& t = Add<TKQText>(screen, "TKQText", "T"); // default hxTrans2 0
    t.SetFont("Main");
    t.SetText("a");
    TKQText& child = Text(t, "C");
    child.SetText("bb");
    RenderFrame(screen);
    EXPECT_EQ(FontQuads().size(), 2u); // the child's two letters only
    canvas.ClearCalls();
    t.SetHxTrans2(6);
    t.SetHxTrans1(5);
    RenderFrame(screen);
    EXPECT_EQ(FontQuads().size(), 2u);
    canvas.ClearCalls();
    t.SetHxTrans1(6);
    RenderFrame(screen);
    EXPECT_EQ(FontQuads().size(), 3u);
}

TEST_F(TextTest, UnicodeLinesDrawGlyphsFromTheSheet) {
    LoadUnicodeScene();
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.SetHxColor1(0x102030);
    const std::string zhe = scene::ToThreeByte(u"Ж");
    t.SetText("A B" + zhe + "z");
    RenderFrame(screen);
    const render::TKQIm* sheet = db.UnicodeGlyphImage();
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(sheet->image, nullptr);
    std::vector<DrawCall> glyphs;
    for (const DrawCall& c : Calls()) {
        if (c.texture == sheet->image->Texture()) {
            glyphs.push_back(c);
        }
    }
    // A, space, Ж: B has width 0 and z is outside the table; neither advances.
    ASSERT_EQ(glyphs.size(), 3u);
    EXPECT_EQ(glyphs[0].pattern, 1);
    EXPECT_EQ(glyphs[1].pattern, 0);
    EXPECT_EQ(glyphs[2].pattern, 3);
    EXPECT_FLOAT_EQ(glyphs[0].points[0].x, 0);
    EXPECT_FLOAT_EQ(glyphs[1].points[0].x, 10);
    EXPECT_FLOAT_EQ(glyphs[2].points[0].x, 15);
    EXPECT_FLOAT_EQ(glyphs[2].points[1].x - glyphs[2].points[0].x, 10); // 20 x k
    EXPECT_FLOAT_EQ(glyphs[2].points[2].y - glyphs[2].points[0].y, 20);
    EXPECT_EQ(glyphs[0].colors[3], 0xFF102030u);
    EXPECT_TRUE(glyphs[0].filtering);
    EXPECT_TRUE(FontQuads().empty());
    // Far off screen the guard band trims the glyph to whole source pixels.
    canvas.ClearCalls();
    t.SetRealPos(-1030, 0);
    RenderFrame(screen);
    bool trimmed = false;
    for (const DrawCall& c : Calls()) {
        if (c.texture == sheet->image->Texture() && c.pattern == 1) {
            EXPECT_GE(c.points[0].x, -1025.0f);
            trimmed = c.source.left > 0;
        }
    }
    EXPECT_TRUE(trimmed);
}

TEST_F(TextTest, RasterTextsAreRebuiltOnlyWhenTheTextChanges) {
    LoadUnicodeScene();
    if (!db.UnicodeRasterFace()) {
        GTEST_SKIP() << "no font face for the raster path on this system";
    }
    auto& screen = Screen("S");
    TKQText& t = Text(screen);
    t.Uni = true;
    t.PosHor = TKQPosHor::phCenter;
    t.SetText("Hi" + scene::ToThreeByte(u"Ж"));
    const size_t texturesBefore = canvas.TextureCount();
    RenderFrame(screen);
    ASSERT_EQ(canvas.TextureCount(), texturesBefore + 1);
    ASSERT_EQ(Calls().size(), 1u);
    const DrawCall first = Calls()[0];
    const render::SizeI size = canvas.TextureSize(first.texture);
    // Scaled by m = 20 / bitmap height x 1.5 about the anchor (50, 0).
    const float m = 20.0f / static_cast<float>(size.height) * 1.5f;
    EXPECT_NEAR(first.points[1].x - first.points[0].x, m * size.width, 0.01);
    EXPECT_NEAR((first.points[0].x + first.points[1].x) / 2, 50, 0.01);
    EXPECT_NEAR((first.points[0].y + first.points[3].y) / 2, 0, 0.01);
    // White text whose coverage is its alpha: no opaque box behind the letters.
    const std::vector<uint32_t> pixels = canvas.ReadPixels(first.texture);
    EXPECT_EQ(pixels[0] >> 24, 0u);
    EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) {
        return (p >> 24) == 0xFF && (p & 0xFFFFFF) == 0xFFFFFF;
    }));
    canvas.ClearCalls();
    RenderFrame(screen);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].texture, first.texture); // kept
    t.SetText("Hi!");
    canvas.ClearCalls();
    RenderFrame(screen);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_NE(Calls()[0].texture, first.texture);
    EXPECT_EQ(canvas.TextureCount(), texturesBefore + 1); // the old one was freed
    // Without Uni the focused text takes the raster path; others draw glyphs.
    t.Uni = false;
    canvas.ClearCalls();
    RenderFrame(screen);
    const render::TextureId sheet = db.UnicodeGlyphImage()->image->Texture();
    for (const DrawCall& c : Calls()) {
        EXPECT_EQ(c.texture, sheet);
    }
    rt.focusedText = &t;
    canvas.ClearCalls();
    RenderFrame(screen);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(canvas.TextureCount(), texturesBefore + 1);
}

} // namespace
} // namespace kq::test
