#include "media/text_encoding.h"

#include <gtest/gtest.h>

namespace kq::media {
namespace {

// "Привет, мир" in windows-1251.
const std::string kHelloCp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";
const std::string kHelloUtf8 = "Привет, мир";

TEST(TextCodec, Cp1251RoundTripsCyrillicText) {
    TextCodec codec;
    ASSERT_TRUE(codec.Valid());
    EXPECT_EQ(codec.ToUtf8(kHelloCp1251), kHelloUtf8);
    EXPECT_EQ(codec.FromUtf8(kHelloUtf8), kHelloCp1251);
    EXPECT_EQ(codec.ToUtf8("\xA8\xB8"), "Ёё");
    EXPECT_EQ(codec.FromUtf8("Ёё№"), "\xA8\xB8\xB9");
}

TEST(TextCodec, EveryMappedByteSurvivesARoundTrip) {
    TextCodec codec;
    std::string all;
    for (int b = 1; b < 256; ++b) {
        if (b != 0x98) { // the one byte windows-1251 leaves undefined
            all.push_back(static_cast<char>(b));
        }
    }
    const std::string utf8 = codec.ToUtf8(all);
    EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(codec.FromUtf8(utf8), all);
}

TEST(TextCodec, UnmappableInputIsReplacedNotDropped) {
    TextCodec codec;
    EXPECT_EQ(codec.ToUtf8("a\x98z"), "a\xEF\xBF\xBDz");
    // A character the code page lacks, a stray byte and a sequence cut at the end.
    EXPECT_EQ(codec.FromUtf8("a中b"), "a?b");
    EXPECT_EQ(codec.FromUtf8("a\xFF"
                             "b"),
              "a?b");
    EXPECT_EQ(codec.FromUtf8("ab\xD0"), "ab?");
    EXPECT_EQ(codec.ToUtf8(""), "");
    EXPECT_EQ(codec.FromUtf8(""), "");
}

TEST(TextCodec, LongTextIsConvertedWhole) {
    TextCodec codec;
    std::string game;
    std::string utf8;
    for (int i = 0; i < 1000; ++i) {
        game += kHelloCp1251;
        utf8 += kHelloUtf8;
    }
    EXPECT_EQ(codec.ToUtf8(game), utf8);
    EXPECT_EQ(codec.FromUtf8(utf8), game);
}

TEST(TextCodec, OtherCodePagesAndUnknownNames) {
    TextCodec latin("CP1252");
    EXPECT_TRUE(latin.Valid());
    EXPECT_EQ(latin.CodePage(), "CP1252");
    EXPECT_EQ(latin.ToUtf8("caf\xE9 \x80"), "café €");

    TextCodec unknown("no-such-code-page");
    EXPECT_FALSE(unknown.Valid());
    EXPECT_EQ(unknown.CodePage(), kDefaultCodePage);
    EXPECT_EQ(unknown.ToUtf8(kHelloCp1251), kHelloUtf8);
}

TEST(TextCodec, UpperCaseFollowsTheCodePage) {
    TextCodec cyrillic;
    // а..я, ё, ї, і, ў, є and ASCII; digits and punctuation stay.
    EXPECT_EQ(cyrillic.UpperCase("\xE0\xFF\xB8\xBF\xB3\xA2\xBA"
                                 "abc1\\."),
              "\xC0\xDF\xA8\xAF\xB2\xA1\xAA"
              "ABC1\\.");
    EXPECT_EQ(cyrillic.UpperCase("\xC0\xDF\xA8"), "\xC0\xDF\xA8");

    TextCodec latin("CP1252");
    EXPECT_EQ(latin.UpperCase("\xE9\xFF\xDF"), "\xC9\x9F\xDF"); // é, ÿ; ß has no capital
}

TEST(FoldCaseUtf8, FoldsLatinGreekAndCyrillic) {
    EXPECT_EQ(FoldCaseUtf8("ёлка, Straße 7"), "ЁЛКА, STRAßE 7");
    EXPECT_EQ(FoldCaseUtf8("їжак ґанок ў"), "ЇЖАК ҐАНОК Ў");
    EXPECT_EQ(FoldCaseUtf8("àéÿ čłž"), "ÀÉŸ ČŁŽ");
    EXPECT_EQ(FoldCaseUtf8("αβγ ς ά"), "ΑΒΓ Σ Ά");
    EXPECT_EQ(FoldCaseUtf8("中文 ÷"), "中文 ÷");
    EXPECT_EQ(FoldCaseUtf8(FoldCaseUtf8("Фон.jpg")), FoldCaseUtf8("фОН.JPG"));
}

TEST(FoldCaseUtf8, KeepsInvalidBytes) {
    EXPECT_EQ(FoldCaseUtf8("\xFF"
                           "ab\xD0"),
              "\xFF"
              "AB\xD0");
    EXPECT_EQ(FoldCaseUtf8("\xC0\xAF"
                           "x"),
              "\xC0\xAF"
              "X");                                          // overlong '/'
    EXPECT_EQ(FoldCaseUtf8("\xED\xA0\x80"), "\xED\xA0\x80"); // surrogate
}

TEST(UpperAscii, TouchesOnlyAsciiLetters) {
    EXPECT_EQ(UpperAscii("sounds\\Theme.ogg \xE0"), "SOUNDS\\THEME.OGG \xE0");
    EXPECT_TRUE(EqualsNoCaseAscii("Hero.AN", "hero.an"));
    EXPECT_FALSE(EqualsNoCaseAscii("hero.an", "hero.a"));
    EXPECT_FALSE(EqualsNoCaseAscii("\xE0", "\xC0"));
}

} // namespace
} // namespace kq::media
