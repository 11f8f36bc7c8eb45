#include <gtest/gtest.h>

#include "script/tokens.h"

namespace kq::script {
namespace {

std::vector<std::pair<int, std::string>> Toks(std::string_view source) {
    std::vector<std::pair<int, std::string>> out;
    for (const Token& t : CompileSource(source).tokens) {
        out.emplace_back(t.code, t.text);
    }
    return out;
}

TEST(Tokens, KeywordCodesFollowTheFixedList) {
    EXPECT_EQ(TokenName(3), "TRUE");
    EXPECT_EQ(TokenName(5), "=");
    EXPECT_EQ(TokenName(22), "(");
    EXPECT_EQ(TokenName(26), ";");
    EXPECT_EQ(TokenName(30), ":=");
    EXPECT_EQ(TokenName(31), "BEGIN");
    EXPECT_EQ(TokenName(46), "GOTO");
    EXPECT_EQ(TokenName(53), "CASE");
    EXPECT_EQ(TokenName(55), "..");
    EXPECT_EQ(TokenName(0), "");
    EXPECT_EQ(TokenName(99), "");
}

TEST(Tokens, PreparationFoldsCaseOutsideStringsAndDropsComments) {
    EXPECT_EQ(PrepareSource("x := 'aB' + \"cD\" // tail\ny"), "X := 'aB' + \"cD\" \nY");
    // A brace comment ends at the closing brace or at the end of its line.
    EXPECT_EQ(PrepareSource("a {note} b"), "A  B");
    EXPECT_EQ(PrepareSource("a {open\nb"), "A \nB");
    // Either quote closes a string; quotes inside comments do not count.
    EXPECT_EQ(PrepareSource("'a\" b"), "'a\" B");
    EXPECT_EQ(PrepareSource("{ ' } c"), " C");
    // A stray closing brace is removed.
    EXPECT_EQ(PrepareSource("a } b"), "A  B");
}

TEST(Tokens, LongestKeywordWinsAndWordKeywordsNeedABoundary) {
    auto t = Toks("X:=Y>=Z<>W TOTAL TO ORDER OR");
    ASSERT_EQ(t.size(), 11u);
    EXPECT_EQ(t[1], std::make_pair(int(kTokAssign), std::string(":=")));
    EXPECT_EQ(t[3].first, kTokGe);
    EXPECT_EQ(t[5].first, kTokNe);
    EXPECT_EQ(t[7], std::make_pair(int(kTokIdent), std::string("TOTAL")));
    EXPECT_EQ(t[8].first, kTokTo);
    EXPECT_EQ(t[9], std::make_pair(int(kTokIdent), std::string("ORDER")));
    EXPECT_EQ(t[10].first, kTokOr);
}

TEST(Tokens, IdentifiersCarryDotsAtSignsAndCyrillicLetters) {
    auto t = Toks("KQDB.MENU.X @12.Y \xE0\xE1\xE2 .X");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].second, "KQDB.MENU.X");
    EXPECT_EQ(t[1].second, "@12.Y");
    EXPECT_EQ(t[2].second, "\xE0\xE1\xE2");
    EXPECT_EQ(t[3].second, ".X");
    for (auto& tok : t) {
        EXPECT_EQ(tok.first, kTokIdent);
    }
}

TEST(Tokens, RangeSymbolNeedsABlankAfterIt) {
    auto spaced = Toks("1 .. 5");
    ASSERT_EQ(spaced.size(), 3u);
    EXPECT_EQ(spaced[1].first, kTokRange);
    auto glued = Toks("1.. 5");
    ASSERT_EQ(glued.size(), 3u);
    EXPECT_EQ(glued[0], std::make_pair(int(kTokConst), std::string("1")));
    EXPECT_EQ(glued[1].first, kTokRange);
    auto tight = Toks("1..5");
    ASSERT_EQ(tight.size(), 2u);
    EXPECT_EQ(tight[1], std::make_pair(int(kTokIdent), std::string("..5")));
    auto left = Toks("1 ..5");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].second, "..5");
}

TEST(Tokens, StringsRunToTheNextQuoteOfEitherKind) {
    auto t = Toks("'it\"s' 'open");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], std::make_pair(int(kTokConst), std::string("'it\"")));
    EXPECT_EQ(t[1], std::make_pair(int(kTokIdent), std::string("S")));
    EXPECT_EQ(t[2], std::make_pair(int(kTokConst), std::string("' '")));
    EXPECT_EQ(t[3], std::make_pair(int(kTokIdent), std::string("OPEN")));
}

TEST(Tokens, ConstantsAreParsedAtCompileTime) {
    Code c = CompileSource("3 3.0 3000000000 12AB 'x' \"K.Y\" '");
    ASSERT_EQ(c.tokens.size(), 7u);
    EXPECT_EQ(c.tokens[0].constant.Kind(), VarKind::Integer);
    EXPECT_EQ(c.tokens[1].constant.Kind(), VarKind::Double);
    EXPECT_EQ(c.tokens[2].constant.Kind(), VarKind::Double);
    EXPECT_EQ(c.tokens[3].constState, ConstState::InvalidNumber);
    EXPECT_EQ(c.tokens[4].constant.RawStr(), "x");
    EXPECT_EQ(c.tokens[5].constant.RawStr(), "\"K.Y\"");
    EXPECT_EQ(c.tokens[6].constState, ConstState::Unterminated);
}

TEST(Tokens, TextFormRoundTrips) {
    Code c = CompileSource("IF A[1] = 'x y' THEN B := 2.5;");
    std::string text = SerializeTokens(WholeSpan(c));
    EXPECT_EQ(text[0], kTokenMarker);
    EXPECT_EQ(text[1], static_cast<char>(64 + kTokIf));
    Code back = DeserializeTokens(text);
    ASSERT_EQ(back.tokens.size(), c.tokens.size());
    for (size_t i = 0; i < c.tokens.size(); ++i) {
        EXPECT_EQ(back.tokens[i].code, c.tokens[i].code);
        EXPECT_EQ(back.tokens[i].text, c.tokens[i].text);
    }
    // Garbage codes are skipped rather than trusted.
    EXPECT_TRUE(DeserializeTokens("\x7f\x01zz\x7f\xF0x\x7f").tokens.empty());
}

TEST(Tokens, ValidVariableNames) {
    EXPECT_TRUE(IsValidVarName("A"));
    EXPECT_TRUE(IsValidVarName("KQDB.X"));
    EXPECT_TRUE(IsValidVarName("A[1,-2]"));
    EXPECT_FALSE(IsValidVarName("1A"));
    EXPECT_FALSE(IsValidVarName("A[X]"));
    EXPECT_FALSE(IsValidVarName("#A"));
    EXPECT_FALSE(IsValidVarName(""));
}

} // namespace
} // namespace kq::script
