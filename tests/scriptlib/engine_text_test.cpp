// The keyboard focus from scripts: "SetFocus", the screen changes that clear it, and typed
// characters editing the focused text.
#include "engine_test_util.h"

#include "elements/text.h"

namespace kq::test {
namespace {

class EngineText : public EngineTest {
protected:
    EngineText() : menu(Screen("Menu")), game(Screen("Game")) {
        name = &Add<elements::TKQText>(menu, "TKQText", "Name");
        other = &Add<elements::TKQText>(menu, "TKQText", "Other");
        picture = &Image(menu, "Pic");
        rt.currentScreen = &menu;
    }
    elements::TKQScreen& menu;
    elements::TKQScreen& game;
    elements::TKQText* name = nullptr;
    elements::TKQText* other = nullptr;
    elements::TKQImage* picture = nullptr;
};

TEST_F(EngineText, SetFocusMovesTheFocusBetweenTextsOnly) {
    Run("SETFOCUS(KQDB.MENU.NAME);");
    EXPECT_EQ(rt.focusedText, name);
    Run("SETFOCUS(KQDB.MENU.OTHER);");
    EXPECT_EQ(rt.focusedText, other); // at most one focused text
    // Not a text, not a handle, a freed element: the focus stays, the call succeeds.
    EXPECT_TRUE(Call("SetFocus", {H(*picture)}).ok);
    EXPECT_TRUE(Call("SetFocus", {script::Value::Str("Name")}).ok);
    const script::Value gone = H(*name);
    name->Destroy();
    name = nullptr;
    EXPECT_TRUE(Call("SetFocus", {gone}).ok);
    EXPECT_EQ(rt.focusedText, other);
    // A focused text that goes away takes the focus with it.
    other->Destroy();
    EXPECT_EQ(rt.focusedText, nullptr);
}

TEST_F(EngineText, EveryScreenChangeClearsTheFocus) {
    for (const std::string change : {"SETSCREEN", "FASTSETSCREEN", "FASTSETSCREENNS"}) {
        rt.currentScreen = &menu;
        Run("SETFOCUS(KQDB.MENU.NAME);");
        ASSERT_EQ(rt.focusedText, name);
        Run(change + "(KQDB.GAME);");
        EXPECT_EQ(rt.focusedText, nullptr) << change;
    }
}

TEST_F(EngineText, TypedCharactersEditTheFocusedTextAndItsLayout) {
    name->EnEnter = true;
    Run("SETFOCUS(KQDB.MENU.NAME);");
    for (char c : std::string("Ann\\n")) {
        db.CharInput(static_cast<uint8_t>(c));
    }
    EXPECT_EQ(name->Text, "Ann\\n");
    // Without a font the layout keeps the raw text as its one line.
    EXPECT_EQ(name->Laid(), "Ann\\n");
    db.CharInput(8);
    EXPECT_EQ(name->Laid(), "Ann\\");
    EXPECT_EQ(other->Text, "");
}

} // namespace
} // namespace kq::test
