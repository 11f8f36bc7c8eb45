// The root's keys, typed characters, cheat codes and game-wide events.
#include "db_test_util.h"

#include "scene/db_unicode.h"
#include "script/value.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

using script::Value;

void Type(scene::TKQDB& db, std::string_view text) {
    for (char c : text) {
        db.CharInput(static_cast<unsigned char>(c));
    }
}

TEST(DbInput, ACheatRunsOnceOnItsLastLetter) {
    DbFixture f;
    f.db->Cheats = "iddqd;idkfa";
    f.db->PrepareScript(f.db->exCheat, "CheatScript");
    const std::string typed = "xxidkfa";
    for (size_t i = 0; i < typed.size(); ++i) {
        f.db->CharInput(static_cast<unsigned char>(typed[i]));
        EXPECT_EQ(f.RunsOf("Cheat"), i + 1 == typed.size() ? 1u : 0u) << i;
    }
    EXPECT_EQ(f.db->LastCheat(), "idkfa");
    Value v;
    ASSERT_TRUE(f.db->GetProp("CHEAT", v));
    EXPECT_TRUE(v.SameAs(Value::Str("idkfa")));
    EXPECT_EQ(f.host.runs.back().text, "CheatScript");
    Type(*f.db, "iddq");
    EXPECT_EQ(f.RunsOf("Cheat"), 1u);
    Type(*f.db, "d");
    EXPECT_EQ(f.RunsOf("Cheat"), 2u);
    EXPECT_EQ(f.db->LastCheat(), "iddqd");
}

TEST(DbInput, TheBufferKeepsTheLastTenCharacters) {
    DbFixture f;
    f.db->Cheats = "abcdefghijk;bcdefghijk";
    f.db->PrepareScript(f.db->exCheat, "C");
    Type(*f.db, "abcdefghijk");
    EXPECT_EQ(f.RunsOf("Cheat"), 1u); // the eleven-letter code can never be in the buffer
    EXPECT_EQ(f.db->LastCheat(), "bcdefghijk");

    // Every tail that is a code runs the script: "god" also ends in the code "od".
    DbFixture g;
    g.db->Cheats = "od;god";
    g.db->PrepareScript(g.db->exCheat, "C");
    Type(*g.db, "god");
    EXPECT_EQ(g.RunsOf("Cheat"), 2u);
    EXPECT_EQ(g.db->LastCheat(), "od"); // the shorter tail is tried last

    DbFixture h; // no codes: nothing runs, whatever is typed
    h.db->PrepareScript(h.db->exCheat, "C");
    Type(*h.db, ";;");
    EXPECT_EQ(h.RunsOf("Cheat"), 0u);
}

struct FocusFixture : DbFixture {
    TestText* text = nullptr;
    FocusFixture() {
        scene::TKQElement* screen = rt.classes.CreateChild(*db, "TKQScreen");
        text = static_cast<TestText*>(rt.classes.CreateChild(*screen, "TKQText"));
        rt.focusedText = text;
    }
};

TEST(DbInput, FocusedTextIsEditedWithoutTheUnicodeMode) {
    FocusFixture f;
    f.db->Cheats = "a";
    f.db->PrepareScript(f.db->exCheat, "C");
    Type(*f.db, "ab#$ c!");
    EXPECT_EQ(f.text->Text, "ab c!");
    f.db->CharInput(8);
    f.db->CharInput(5);     // control characters leave the text as it is
    f.db->CharInput(0x416); // not an 8-bit code
    EXPECT_EQ(f.text->Text, "ab c");
    f.db->CharInput(0xE9);
    EXPECT_EQ(f.text->Text, "ab c\xE9");
    for (int i = 0; i < 8; ++i) {
        f.db->CharInput(8);
    }
    EXPECT_EQ(f.text->Text, "");
    EXPECT_EQ(f.RunsOf("Cheat"), 0u); // characters never reach the cheat buffer while focused
}

TEST(DbInput, FocusedTextIsEditedInTheUnicodeMode) {
    FocusFixture f;
    ASSERT_TRUE(f.LoadUnicodeScene()); // the scene reload destroyed the fixture's elements
    scene::TKQElement* screen = f.rt.classes.CreateChild(*f.db, "TKQScreen");
    f.text = static_cast<TestText*>(f.rt.classes.CreateChild(*screen, "TKQText"));
    f.rt.focusedText = f.text;

    f.db->CharInput('A');
    f.db->CharInput(0x416);
    f.db->CharInput('x'); // 120..127 are ignored
    f.db->CharInput(127);
    f.db->CharInput(13);
    f.db->CharInput(0xE9);
    EXPECT_EQ(f.text->Text, "A" + scene::ToThreeByte(u"Жé"));
    f.db->CharInput(8);
    f.db->CharInput(8);
    EXPECT_EQ(f.text->Text, "A");
    f.db->CharInput(8);
    f.db->CharInput(8);
    EXPECT_EQ(f.text->Text, "");
    // A single byte whose third-last neighbour is not an escape goes alone.
    f.text->Text = std::string("\x01\x16\x04"
                               "b",
                               4);
    f.db->CharInput(8);
    EXPECT_EQ(f.text->Text, std::string("\x01\x16\x04", 3));
}

TEST(DbInput, GameWideEventsRunTheirScripts) {
    DbFixture f;
    f.db->PrepareScript(f.db->exKeyDown, "K");
    f.db->PrepareScript(f.db->exExit, "E");
    f.db->PrepareScript(f.db->exLoadImProcess, "L");
    f.db->KeyDown(27);
    EXPECT_EQ(f.rt.keyDowned, 27);
    Value v;
    ASSERT_TRUE(f.db->GetProp("KEYDOWNED", v));
    EXPECT_EQ(v.RawInt(), 27);
    f.db->Exit();
    std::vector<size_t> runsAtFrame;
    f.rt.renderFrame = [&](bool present) {
        EXPECT_TRUE(present);
        runsAtFrame.push_back(f.host.runs.size());
    };
    f.db->LIProcess();
    ASSERT_EQ(f.host.runs.size(), 3u);
    EXPECT_EQ(f.host.runs[0].event, "key_Down");
    EXPECT_EQ(f.host.runs[0].text, "K");
    EXPECT_EQ(f.host.runs[1].event, "Exit");
    EXPECT_EQ(f.host.runs[2].event, "LIProcess");
    EXPECT_EQ(runsAtFrame, std::vector<size_t>{3}); // the frame follows the script
}

} // namespace
} // namespace kq::test
