// The font builder: a TrueType face becomes a bitmap font that the font collection loads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "media/store.h"
#include "media/text_encoding.h"
#include "render/font.h"
#include "render/recording_canvas.h"
#include "support/test_support.h"
#include "tools/font_builder.h"

namespace kq::tools {
namespace {

const std::filesystem::path kFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class FontBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kFace)) {
            KQ_SKIP_MISSING() << "DejaVuSans.ttf (fonts-dejavu-core) is not installed";
        }
    }
    test::TempDir dir_;
};

TEST_F(FontBuilderTest, BuildsAFontTheCollectionLoads) {
    FontBuildOptions options{kFace, 24, "DejaVu"};
    const auto archive = dir_.Path() / "fonts.kst";
    ASSERT_TRUE(WriteFontToArchive(options, archive, false));

    media::TKQStore store;
    ASSERT_TRUE(store.OpenPack(archive));
    ASSERT_EQ(store.Directory().size(), 2u);
    EXPECT_GE(store.IndexOf("DEJAVU.FNT"), 0);
    EXPECT_GE(store.IndexOf("DEJAVU_0.PNG"), 0);

    media::TextCodec codec;
    render::RecordingCanvas canvas;
    render::FontCollection fonts(canvas, codec);
    ASSERT_EQ(fonts.LoadStore(store), 1);
    render::BitmapFont* font = fonts.Find("dejavu");
    ASSERT_NE(font, nullptr);
    // Cyrillic letters of the code page are present: their width is not zero, and an "W" is
    // wider than an "i".
    EXPECT_GT(font->TextWidth("\xC6"), 10.0f);
    EXPECT_GT(font->TextWidth("W"), font->TextWidth("i"));
    EXPECT_GT(font->LineHeight(), 24.0f);
    EXPECT_LT(font->LineHeight(), 36.0f);
    // Every code-page byte 32..255 that windows-1251 maps and the face covers is drawable.
    EXPECT_NE(font->Glyph(0x0416), nullptr); // Zhe
    EXPECT_NE(font->Glyph(0x20AC), nullptr); // euro sign (byte 0x88)

    const char* update = std::getenv("KQ_UPDATE_FIXTURES");
    if (update != nullptr && std::string(update) == "1") {
        ASSERT_TRUE(WriteFontToArchive(
            options, std::filesystem::path(KQ_FIXTURES_DIR) / "render" / "fonts.kst", false));
    }
}

TEST_F(FontBuilderTest, AddKeepsOtherMembersAndReplacesTheFont) {
    const auto archive = dir_.Path() / "fonts.kst";
    media::StoreWriter writer;
    writer.Add("README.TXT", "hello");
    writer.Add("DEJAVU.FNT", "stale");
    ASSERT_TRUE(writer.Write(archive));

    ASSERT_TRUE(WriteFontToArchive({kFace, 12, "DejaVu"}, archive, true));
    ASSERT_TRUE(WriteFontToArchive({kFace, 16, "Small"}, archive, true));
    media::TKQStore store;
    ASSERT_TRUE(store.OpenPack(archive));
    EXPECT_EQ(store.Directory().size(), 5u);
    EXPECT_EQ(store.ReadMember("README.TXT"), "hello");
    const auto fnt = store.ReadMember("DEJAVU.FNT");
    ASSERT_TRUE(fnt.has_value());
    EXPECT_NE(fnt->find("size=12"), std::string::npos);

    // Without add the archive is replaced.
    ASSERT_TRUE(WriteFontToArchive({kFace, 16, "Small"}, archive, false));
    ASSERT_TRUE(store.OpenPack(archive));
    EXPECT_EQ(store.Directory().size(), 2u);
}

TEST_F(FontBuilderTest, RefusesBadInput) {
    const auto archive = dir_.Path() / "fonts.kst";
    EXPECT_FALSE(WriteFontToArchive({kFace, 2, "X"}, archive, false));
    EXPECT_FALSE(WriteFontToArchive({kFace, 20, ""}, archive, false));
    EXPECT_FALSE(WriteFontToArchive({kFace, 20, "a/b"}, archive, false));
    EXPECT_FALSE(WriteFontToArchive({dir_.Path() / "missing.ttf", 20, "X"}, archive, false));
    const auto junk = dir_.Write("junk.ttf", "not a font at all");
    EXPECT_FALSE(WriteFontToArchive({junk, 20, "X"}, archive, false));
    EXPECT_FALSE(std::filesystem::exists(archive));
    // add=true on a file that is not a pack leaves it untouched.
    const auto notPack = dir_.Write("bad.kst", "garbage");
    EXPECT_FALSE(WriteFontToArchive({kFace, 20, "X"}, notPack, true));
    EXPECT_EQ(test::ReadAll(notPack), "garbage");
}

} // namespace
} // namespace kq::tools
