// The root's scene loading, language texts, sound table and Unicode data.
#include "db_test_util.h"

#include "media/store.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db_internal.h"
#include "scene/db_unicode.h"
#include "script/value.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kq::test {
namespace {

namespace fs = std::filesystem;
using scene::TKQDB;

std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

TEST(DbScene, LoadSceneOpensThePackBesideItAndReportsDamage) {
    DbFixture f;
    f.db->Id = "";
    EXPECT_FALSE(f.db->LoadScene(f.GamePath() / "missing.kqf"));
    EXPECT_EQ(f.db->ChildCount(), 0u);

    media::StoreWriter pack;
    pack.Add("eng.lng", "[Default]\nTitle=Packed\n");
    ASSERT_TRUE(pack.Write(f.GamePath() / "quest.kst"));
    const std::string screen = ElementBlob("TKQScreen", 0, "");
    ASSERT_TRUE(f.LoadScene({screen, screen}));
    EXPECT_EQ(f.db->ChildCount(), 2u);
    EXPECT_TRUE(f.files->Pack().IsOpen());
    f.db->SetLang("eng.lng");
    EXPECT_EQ(f.db->Translate("Title"), "Packed"); // read from the pack
    EXPECT_FALSE(f.db->UnicodeMode());

    // A cut scene file keeps what was read and answers false; a second load starts afresh.
    const std::string whole = ElementBlob("TKQDB", 0, "", {screen});
    f.GameFile("quest.kqf", whole.substr(0, whole.size() - 3));
    EXPECT_FALSE(f.db->LoadScene(f.GamePath() / "quest.kqf"));
    EXPECT_LE(f.db->ChildCount(), 1u);
}

TEST(DbLanguage, TranslateSplitsTrimsAndRefusesEmptyParts) {
    DbFixture f;
    f.GameFile("eng.lng", "[Default]\r\nTitle=The Quest\r\n[Menu]\r\nStart = Go on \r\n"
                          "Sub.Key=Deep\r\nQuoted=\"  spaced  \"\r\n");
    f.db->SetLang("eng.lng");
    EXPECT_EQ(f.db->Lang, "eng.lng");
    EXPECT_EQ(f.db->Translate("Title"), "The Quest");
    EXPECT_EQ(f.db->Translate("  Title\t"), "The Quest");
    EXPECT_EQ(f.db->Translate(" menu .  START "), "Go on"); // names ignore case
    EXPECT_EQ(f.db->Translate("Menu.Sub.Key"), "Deep");     // split at the first dot only
    EXPECT_EQ(f.db->Translate("Menu.Quoted"), "  spaced  ");
    EXPECT_EQ(f.db->Translate(".Start"), "");
    EXPECT_EQ(f.db->Translate("Menu. "), "");
    EXPECT_EQ(f.db->Translate("   "), "");
    EXPECT_EQ(f.db->Translate("Menu.Missing"), "");

    // Scripts see it through quoted strings assigned to properties.
    ASSERT_TRUE(f.db->SetProp("TAG", script::Value::Str("\"Menu.Start\"")));
    EXPECT_EQ(f.db->Tag, "Go on");
}

TEST(DbLanguage, LangFallsBackToTheFirstExistingLanguage) {
    DbFixture f;
    EXPECT_EQ(f.db->Translate("Title"), ""); // no language at all
    f.db->SetLang("fra.lng");
    EXPECT_EQ(f.db->Lang, "fra.lng"); // nothing exists: the name stays
    EXPECT_EQ(f.db->Translate("Title"), "");

    f.GameFile("RUS.LNG", "[Default]\nTitle=Russian\n");
    f.GameFile("deu.lng", "[Default]\nTitle=German\n");
    f.db->SetLang("ita.lng");
    EXPECT_EQ(f.db->Lang, "rus.lng");
    EXPECT_EQ(f.db->Translate("Title"), "Russian");
    f.db->SetLang("deu.lng");
    EXPECT_EQ(f.db->Translate("Title"), "German");

    // Setting the current name again does not reread the file.
    f.GameFile("deu.lng", "[Default]\nTitle=Changed\n");
    f.db->SetLang("deu.lng");
    EXPECT_EQ(f.db->Translate("Title"), "German");
}

TEST(DbLanguage, SoundEntriesGiveVolumeAndFile) {
    DbFixture f;
    EXPECT_EQ(f.db->SoundEntry("Sfx.Door").volume, 0); // no table
    f.GameFile("sounds.ini", "[Sfx]\nDoor=70:door.wav\nBell=bell.wav\nOdd=loud:odd.wav\n"
                             "Url=50:a:b.wav\n[Default]\nMusic=theme.ogg\n");
    f.db->SetSoundFile("sounds.ini");
    TKQDB::SoundRef door = f.db->SoundEntry(" Sfx . Door ");
    EXPECT_EQ(door.file, "door.wav");
    EXPECT_EQ(door.volume, 70);
    EXPECT_EQ(f.db->SoundEntry("Sfx.Bell").volume, 100);
    EXPECT_EQ(f.db->SoundEntry("Sfx.Bell").file, "bell.wav");
    EXPECT_EQ(f.db->SoundEntry("Sfx.Url").file, "a:b.wav");
    EXPECT_EQ(f.db->SoundEntry("Sfx.Odd").file, "odd.wav");
    EXPECT_EQ(f.db->SoundEntry("Music").file, "theme.ogg");
    EXPECT_EQ(f.db->SoundEntry("Sfx.").volume, 0);
    EXPECT_EQ(f.db->SoundEntry("Sfx.Missing").file, "");

    f.db->SetSoundFile("gone.ini"); // a missing table gives no entries
    EXPECT_EQ(f.db->SoundEntry("Sfx.Door").file, "");
}

TEST(DbUnicode, TranslateReadsUtf16LanguageFilesInTheThreeByteForm) {
    DbFixture f;
    f.GameFile("eng.lng", Utf16Le(u"[Default]\r\nTitle=Привет A\r\n[Menu]\r\nStart=Старт\r\n"));
    f.db->SetLang("eng.lng");
    ASSERT_TRUE(f.LoadUnicodeScene());
    ASSERT_TRUE(f.db->UnicodeMode());
    EXPECT_EQ(f.db->Translate("Title"), scene::ToThreeByte(u"Привет A"));
    EXPECT_EQ(f.db->Translate("Title").substr(0, 3), std::string("\x01\x1F\x04", 3));
    EXPECT_EQ(f.db->Translate("menu.start"), scene::ToThreeByte(u"Старт"));

    // A UTF-8 language file chosen later is read as UTF-8.
    f.GameFile("rus.lng", "[Default]\nTitle=Ёлка\n");
    f.db->SetLang("rus.lng");
    EXPECT_EQ(f.db->Translate("Title"), scene::ToThreeByte(u"Ёлка"));
}

TEST(DbUnicode, StoredUnicodeTextsWinOverTheLanguageFile) {
    DbFixture f;
    f.GameFile("eng.lng", "[Default]\nTitle=From language\nOther=Second\n");
    f.GameFile("unicode/unicode.lng", "[Default]\nTitle=\x01\x16\x04 stored\n");
    f.db->SetLang("eng.lng");
    ASSERT_TRUE(f.LoadUnicodeScene());
    EXPECT_EQ(f.db->Translate("Title"), "\x01\x16\x04 stored");
    EXPECT_EQ(f.db->Translate("Other"), "Second");
    script::Value v;
    ASSERT_TRUE(f.db->GetProp("UNICODE", v));
    EXPECT_TRUE(v.SameAs(script::Value::Bool(true)));

    // Loading a scene without the glyph table leaves the Unicode mode.
    fs::remove(f.GamePath() / "unicode" / "unicode.fnt");
    ASSERT_TRUE(f.LoadScene());
    EXPECT_FALSE(f.db->UnicodeMode());
    EXPECT_EQ(f.db->Translate("Title"), "From language");
}

TEST(DbUnicode, GlyphTableFaceAndFontComeWithTheScene) {
    DbFixture f;
    f.GameFile("unicode/unicode.fnt", "3\r\n0041 17\r\n0416 34\r\n00e9 9\r\nUnicode Sans\r\n");
    f.GameFile("unicode/unicode.ttf", "FONTBYTES");
    ASSERT_TRUE(f.LoadScene());
    const auto& glyphs = f.db->UnicodeGlyphs();
    ASSERT_EQ(glyphs.size(), 0x417u);
    EXPECT_EQ(glyphs[0x41].glyph, 0);
    EXPECT_EQ(glyphs[0x41].width, 10);
    EXPECT_EQ(glyphs[0x416].glyph, 1);
    EXPECT_EQ(glyphs[0x416].width, 20);
    EXPECT_EQ(glyphs[0xE9].glyph, 2);
    EXPECT_EQ(glyphs[0xE9].width, 5); // 9 / 1.7 = 5.29
    EXPECT_EQ(glyphs[0x42].width, 0); // not listed
    EXPECT_EQ(f.db->UnicodeFaceName(), "Unicode Sans");
    EXPECT_EQ(f.db->UnicodeFontBytes(), "FONTBYTES");
    EXPECT_EQ(f.db->UnicodeGlyphImage(), nullptr); // no image service here
}

TEST(DbUnicode, TheGlyphImageIsRequestedAndKept) {
    DbFixture f;
    render::RecordingCanvas canvas;
    render::ImageService images(*f.files, canvas, [] { return 0u; });
    f.rt.images = &images;
    ASSERT_TRUE(f.LoadUnicodeScene());
    render::TKQIm* glyphImage = f.db->UnicodeGlyphImage();
    ASSERT_NE(glyphImage, nullptr);
    EXPECT_EQ(glyphImage, images.Find("unicode\\unicode.png"));
    EXPECT_TRUE(glyphImage->kept);
    f.db.reset(); // the root goes before the image service it used
}

TEST(DbUnicode, GlyphTableSurvivesCorruptAndOversizedEntries) {
    std::vector<TKQDB::UnicodeGlyph> glyphs;
    std::string face;
    scene::ParseGlyphTable("5\nzz 10\n10000 5\n0041 -3\n0043 8.5\n0044 1000\nFace\n", glyphs, face);
    ASSERT_EQ(glyphs.size(), 0x45u);
    EXPECT_EQ(glyphs[0x41].glyph, 2); // line numbers count the refused lines too
    EXPECT_EQ(glyphs[0x41].width, 0); // negative widths clamp to 0
    EXPECT_EQ(glyphs[0x43].glyph, 3);
    EXPECT_EQ(glyphs[0x43].width, 5);
    EXPECT_EQ(glyphs[0x44].width, 255); // too wide: clamped
    EXPECT_EQ(face, "Face");

    scene::ParseGlyphTable("many\n0041 17\n", glyphs, face);
    EXPECT_TRUE(glyphs.empty());
    scene::ParseGlyphTable("", glyphs, face);
    EXPECT_TRUE(glyphs.empty());
    // A count far beyond the lines present reads what is there, without a face name.
    scene::ParseGlyphTable("99999999999\n0041 17\n", glyphs, face);
    EXPECT_EQ(glyphs.size(), 0x42u);
    EXPECT_EQ(face, "");

    // Glyph numbers stop at 65535: later lines cannot overwrite with a truncated number.
    std::string big = "65540\n";
    for (int i = 0; i < 65540; ++i) {
        big += "0041 17\n";
    }
    big += "Face\n";
    scene::ParseGlyphTable(big, glyphs, face);
    EXPECT_EQ(glyphs[0x41].glyph, 65535);
    EXPECT_EQ(face, "Face");
}

TEST(DbUnicode, ThreeByteAndUtfConversionsRoundTrip) {
    const std::u16string text = u"Aж€\U0001F600";
    EXPECT_EQ(scene::FromThreeByte(scene::ToThreeByte(text)), text);
    EXPECT_EQ(scene::Utf8ToUtf16(scene::Utf16ToUtf8(text)), text);
    EXPECT_EQ(scene::Utf16ToUtf8(u"ж"), "\xD0\xB6");
    EXPECT_EQ(scene::Utf8ToUtf16("a\xC0\xAF"
                                 "b"),
              u"a\uFFFD\uFFFDb");                               // overlong form
    EXPECT_EQ(scene::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD"); // cut short
    EXPECT_EQ(scene::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(scene::FromThreeByte(std::string("a\x01\x16", 3)), u"a"); // cut escape dropped
}

TEST(DbLanguage, HostileFilesNeitherCrashNorLoadUnbounded) {
    DbFixture f;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const std::string junk = RandomBytes(rng, 1 + rng() % 3000);
        f.GameFile("eng.lng", junk);
        f.GameFile("snd.ini", junk);
        f.GameFile("unicode/unicode.fnt", junk);
        f.GameFile("unicode/unicode.lng", junk);
        f.db->Lang.clear();
        f.db->SetLang("eng.lng");
        f.db->SoundFile.clear();
        f.db->SetSoundFile("snd.ini");
        f.LoadScene();
        f.db->Translate("Default.Title");
        f.db->SoundEntry("A.B");
        EXPECT_LE(f.db->UnicodeGlyphs().size(), 0x10000u);
    }
    // A language file far larger than any real one is refused before it is read.
    const fs::path huge = f.GameFile("big.lng", "[Default]\nTitle=x\n");
    fs::resize_file(huge, scene::kMaxIniFileSize + 1);
    f.db->SetLang("big.lng");
    EXPECT_EQ(f.db->Lang, "big.lng");
    EXPECT_EQ(f.db->Translate("Title"), "");
}

} // namespace
} // namespace kq::test
