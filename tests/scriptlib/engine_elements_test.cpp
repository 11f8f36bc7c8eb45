// Engine functions on single elements: argument rules, slots, position, order, image lists,
// pixels, and the registration of the engine names.
#include "engine_test_util.h"

namespace kq::test {
namespace {

using scene::ClassId;
using scene::ScriptSlot;
using scene::TKQElement;
using script::Value;
using script::VarKind;

class EngineElements : public EngineTest {};

TEST_F(EngineElements, EveryEngineNameIsRegisteredInItsPlace) {
    script::TPasCalc& calc = scripts.Pool().Instance(1);
    for (std::string_view name :
         {"Update",    "Process",       "MsDown",          "MsMove",  "Init",      "Show",
          "MoveTo",    "ToFront",       "ListAdd",         "ListDel", "GetAlpha",  "GetPixel",
          "SetScreen", "FastSetScreen", "FastSetScreenNS", "LoadIm",  "EndLoadIm", "SaveState",
          "LoadState", "TimerReset",    "GetIni",          "SetIni",  "DelFile",   "PlaySnd",
          "PlayMuz",   "StopMuz",       "ExitGame",        "GoToURL", "Random",    "Print"}) {
        EXPECT_TRUE(calc.HasFunction(name)) << name;
    }
    EXPECT_TRUE(EngineRoutine("setscreen")); // any letter case
    EXPECT_TRUE(EngineRoutine("AnimStart")); // built in the animation family
    EXPECT_FALSE(EngineRoutine("Random"));   // the script side has it
}

TEST_F(EngineElements, MissingWrongOrDeadHandlesDoNothingAndSucceed) {
    elements::TKQScreen& menu = Screen("Menu");
    elements::TKQImage& img = Image(menu, "Img");
    TKQElement& gone = Image(menu, "Gone");
    const Value dead = H(gone);
    gone.Destroy();
    rt.currentScreen = &menu;

    const std::vector<std::vector<Value>> badArgs = {
        {}, {Value::Int(5)}, {dead}, {Value::Str("Menu")}, {Value::LongWord(0)}};
    for (std::string_view name :
         {"Update", "Process", "MsDown", "MsMove", "Init", "Show", "ToFront", "ListAdd", "ListDel",
          "SetScreen", "FastSetScreen", "FastSetScreenNS"}) {
        for (const auto& args : badArgs) {
            CallResult r = Call(name, args);
            EXPECT_TRUE(r.ok) << name << " with " << args.size() << " arguments";
            EXPECT_TRUE(r.value.IsEmpty()) << name;
        }
    }
    EXPECT_EQ(rt.currentScreen, &menu);
    EXPECT_FALSE(rt.loadingActive);
    EXPECT_EQ(rt.pendingScreen, nullptr);
    EXPECT_EQ(timerResets, 0);

    // A script addressing a missing element carries on.
    Run("UPDATE(KQDB.NOSUCH); SETSCREEN(KQDB.MENU.IMG); TOFRONT(0); KQDB.TAG := 'after';");
    EXPECT_EQ(db.Tag, "after");
    EXPECT_FALSE(LoggedError("Invalid parameters"));

    // The screen changes want a screen: an image handle changes nothing.
    Run("SETSCREEN(KQDB.MENU.IMG); FASTSETSCREEN(KQDB.MENU.IMG); FASTSETSCREENNS(KQDB.MENU.IMG);");
    EXPECT_EQ(rt.currentScreen, &menu);
    EXPECT_FALSE(rt.loadingActive);
    EXPECT_FALSE(img.KeepLoaded);
}

TEST_F(EngineElements, SlotFunctionsRunTheElementsEvents) {
    elements::TKQScreen& menu = Screen("Menu");
    elements::TKQImage& img = Image(menu, "Img");
    LogOn(img, ScriptSlot::Update, "update");
    LogOn(img, ScriptSlot::Process, "process");
    LogOn(img, ScriptSlot::MouseDown, "down");
    LogOn(img, ScriptSlot::MouseMove, "move");
    LogOn(img, ScriptSlot::Show, "show");
    img.SetScript(ScriptSlot::Init, "KQDB.TAG := KQDB.TAG + 'init;'; MINE := 7;");
    Run("H := KQDB.MENU.IMG; UPDATE(H); PROCESS(H); MSDOWN(H); MSMOVE(H); INIT(H); SHOW(H);");
    EXPECT_EQ(db.Tag, "update;process;down;move;init;show;");
    Value mine;
    ASSERT_TRUE(img.GetProp("MINE", mine)); // Init runs exInit into the element's Vars
    EXPECT_EQ(mine.RawInt(), 7);
}

TEST_F(EngineElements, MoveToNeedsExactlyThreeArguments) {
    elements::TKQScreen& menu = Screen("Menu");
    elements::TKQImage& img = Image(menu, "Img");
    img.SetRealPos(1, 2);
    CallResult r = Call("MoveTo", {H(img), Value::Int(30)});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.value.Kind(), VarKind::Byte);
    EXPECT_EQ(img.X(), 1);
    EXPECT_TRUE(Call("MoveTo", {H(img), Value::Int(30), Value::Int(40), Value::Int(0)}).ok);
    EXPECT_EQ(img.X(), 1);

    r = Call("MoveTo", {H(img), Value::Double(30.4), Value::Str("40")});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.value.Kind(), VarKind::Byte);
    EXPECT_EQ(img.X(), 30);
    EXPECT_EQ(img.Y(), 40);

    // A coordinate that is no number fails the call.
    Run("MOVETO(KQDB.MENU.IMG, 'abc', 1);");
    EXPECT_TRUE(LoggedError("Invalid parameters, function MOVETO"));
    EXPECT_EQ(img.X(), 30);
}

TEST_F(EngineElements, ToFrontMovesToTheEndOfTheParent) {
    elements::TKQScreen& menu = Screen("Menu");
    TKQElement& a = Image(menu, "A");
    TKQElement& b = Image(menu, "B");
    TKQElement& c = Image(menu, "C");
    Screen("Other");
    Run("TOFRONT(KQDB.MENU.A);");
    ASSERT_EQ(menu.ChildCount(), 3u);
    EXPECT_EQ(menu.Child(0), &b);
    EXPECT_EQ(menu.Child(1), &c);
    EXPECT_EQ(menu.Child(2), &a);
    EXPECT_EQ(a.Parent(), &menu);
    Run("TOFRONT(KQDB.MENU.A); TOFRONT(KQDB.MENU); TOFRONT(KQDB);");
    EXPECT_EQ(menu.Child(2), &a); // already last
    EXPECT_EQ(db.Child(db.ChildCount() - 1), &menu);
    // Drawn last means hit first: the front one answers where they overlap.
    SolidPng("sq.png", 10, 10);
    elements::TKQImage& under = Image(menu, "Under", "sq.png");
    elements::TKQImage& over = Image(menu, "Over", "sq.png");
    EXPECT_EQ(menu.ElementAt(0, 5, 5, 0, 0), &over);
    Run("TOFRONT(KQDB.MENU.UNDER);");
    EXPECT_EQ(menu.ElementAt(0, 5, 5, 0, 0), &under);
}

TEST_F(EngineElements, ListAddAndListDelTakeExactClasses) {
    elements::TKQScreen& menu = Screen("Menu");
    auto& list = Add<elements::TKQImList>(menu, "TKQImList", "List");
    elements::TKQImage& one = Image(menu, "One");
    elements::TKQImage& two = Image(menu, "Two");
    Run("L := KQDB.MENU.LIST; LISTADD(L, KQDB.MENU.ONE); LISTADD(L, KQDB.MENU.TWO);"
        "LISTADD(L, KQDB.MENU); LISTADD(KQDB.MENU, KQDB.MENU.ONE); LISTADD(L, L); LISTADD(L);");
    ASSERT_EQ(list.ItemCount(), 2u);
    EXPECT_EQ(list.ItemImage(0), &one);
    EXPECT_EQ(list.ItemImage(1), &two);

    Run("LISTDEL(KQDB.MENU.LIST, 'one');"); // by Id, letter case counts
    EXPECT_EQ(list.ItemCount(), 2u);
    Run("LISTDEL(KQDB.MENU.LIST, 'One');");
    ASSERT_EQ(list.ItemCount(), 1u);
    EXPECT_EQ(list.ItemImage(0), &two);
    Run("LISTDEL(KQDB.MENU, KQDB.MENU.TWO); LISTDEL(KQDB.MENU.LIST, KQDB.MENU);"
        "LISTDEL(KQDB.MENU.LIST);");
    EXPECT_EQ(list.ItemCount(), 1u);
    Run("LISTDEL(KQDB.MENU.LIST, KQDB.MENU.TWO);");
    EXPECT_EQ(list.ItemCount(), 0u);
    EXPECT_FALSE(LoggedError("Invalid parameters"));
}

TEST_F(EngineElements, GetAlphaAndGetPixelReadTheCurrentFrame) {
    // A 4 x 2 picture cut into two 2 x 2 frames; every pixel distinct.
    Png("pix.png", 4, 2, [](int x, int y) {
        return static_cast<uint32_t>((0x10 + x * 0x20 + y * 0x08) << 24) |
               static_cast<uint32_t>(0x010203 * (1 + x + 4 * y));
    });
    dir.Write("pix.an", "2\r\n1\r\n");
    elements::TKQScreen& menu = Screen("Menu");
    elements::TKQImage& img = Image(menu, "Img", "pix.png");
    ASSERT_NE(img.Picture(), nullptr);
    ASSERT_EQ(img.Picture()->PatternCount(), 2);

    CallResult a = Call("GetAlpha", {H(img), Value::Int(1), Value::Int(1)});
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.value.Kind(), VarKind::Integer);
    EXPECT_EQ(a.value.RawInt(), 0x10 + 0x20 + 0x08);
    CallResult p = Call("GetPixel", {H(img), Value::Int(1), Value::Int(1)});
    EXPECT_EQ(p.value.Kind(), VarKind::Integer);
    EXPECT_EQ(p.value.RawInt(), 0x010203 * 6);

    img.Anim = 1; // the second frame: its (1, 0) is the picture's (3, 0)
    EXPECT_EQ(Call("GetAlpha", {H(img), Value::Int(1), Value::Int(0)}).value.RawInt(),
              0x10 + 3 * 0x20);
    EXPECT_EQ(Call("GetPixel", {H(img), Value::Int(1), Value::Int(0)}).value.RawInt(),
              0x010203 * 4);

    // Outside the frame, without a picture, or not an image: Byte 0.
    CallResult out = Call("GetAlpha", {H(img), Value::Int(2), Value::Int(0)});
    EXPECT_EQ(out.value.Kind(), VarKind::Byte);
    EXPECT_EQ(out.value.RawInt(), 0);
    elements::TKQImage& bare = Image(menu, "Bare");
    EXPECT_EQ(Call("GetPixel", {H(bare), Value::Int(0), Value::Int(0)}).value.Kind(),
              VarKind::Byte);
    EXPECT_EQ(Call("GetPixel", {H(menu), Value::Int(0), Value::Int(0)}).value.Kind(),
              VarKind::Byte);
    // Not exactly three arguments: the result stays empty.
    CallResult two = Call("GetAlpha", {H(img), Value::Int(0)});
    EXPECT_TRUE(two.ok);
    EXPECT_TRUE(two.value.IsEmpty());
    EXPECT_TRUE(
        Call("GetPixel", {H(img), Value::Int(0), Value::Int(0), Value::Int(0)}).value.IsEmpty());

    // Through a script.
    Run("KQDB.TAG := GETALPHA(KQDB.MENU.IMG, 0, 0);");
    EXPECT_EQ(db.Tag, std::to_string(0x10 + 2 * 0x20));
}

} // namespace
} // namespace kq::test
