// Scripts against a real element tree: names, object paths, handles and the computed values.
#include "scene/script_runtime.h"
#include "scene_test_util.h"

#include "script/stdlib.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

using scene::ScriptSlot;
using scene::TKQElement;
using script::Value;

struct ScriptedScene : SceneFixture {
    scene::ScriptRuntime scripts{rt, [](script::TPasCalc& calc) { script::RegisterLibrary(calc); }};
    TKQElement* menu = nullptr;
    TKQElement* start = nullptr;
    TKQElement* quit = nullptr;
    std::vector<std::string> log;

    ScriptedScene() {
        rt.scripts = &scripts;
        scripts.SetRoot(&db);
        scripts.Env().onLogLine = [this](std::string_view line) { log.emplace_back(line); };
        menu = Add(db, "TKQScreen", "Menu");
        start = Add(*menu, "TKQImage", "Start");
        quit = Add(*menu, "TKQImage", "Quit");
    }

    // Runs a text with `self` as SELF (as its Update event) and gives back self's Tag.
    std::string Run(TKQElement& self, const std::string& text) {
        self.SetScript(ScriptSlot::Update, text);
        self.Update();
        return self.Tag;
    }
    Value Read(TKQElement& e, std::string_view name) {
        Value v;
        EXPECT_TRUE(e.GetProp(name, v)) << name;
        return v;
    }
};

TEST(ScriptBinding, ObjectPathsFromTheRootSelfAndParents) {
    ScriptedScene s;
    s.Run(*s.quit, "KQDB.MENU.START.X := 42; .START.Y := 7; SELF.TAG := 'done';");
    EXPECT_EQ(s.start->X(), 42);
    EXPECT_EQ(s.start->Y(), 7);
    EXPECT_EQ(s.quit->Tag, "done");
    EXPECT_EQ(s.Run(*s.quit, "TAG := KQDB.MENU.CHILDCOUNT;"), "2");
    EXPECT_EQ(s.Run(*s.quit, "H := KQDB.MENU.START; TAG := H.X;"), "42");
    EXPECT_EQ(s.Run(*s.quit, "TAG := CLASS + ':' + PARENT.CLASS;"), "TKQIMAGE:TKQSCREEN");
}

TEST(ScriptBinding, HandlesOfFreedElementsNeverResolve) {
    ScriptedScene s;
    const uint32_t handle = s.start->Handle();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(s.scripts.Resolve(handle), s.start);
    s.start->Destroy();
    EXPECT_EQ(s.scripts.Resolve(handle), nullptr);
    // A new element may reuse the slot but not the handle.
    TKQElement* fresh = s.Add(*s.menu, "TKQImage", "Fresh");
    EXPECT_NE(fresh->Handle(), handle);
    EXPECT_EQ(s.scripts.Resolve(handle), nullptr);
    EXPECT_FALSE(s.scripts.IsElement(0));
}

TEST(ScriptBinding, LookupOrderVarsPropertiesChildrenComputed) {
    ScriptedScene s;
    s.start->SetX(3);
    TKQElement* childX = s.Add(*s.start, "TKQImage", "X");
    TKQElement* nil = s.Add(*s.start, "TKQImage", "Nil");
    EXPECT_EQ(s.Read(*s.start, "X").RawInt(), 3); // the property wins over the child named X
    EXPECT_EQ(s.Read(*s.start, "NIL").AsHandle(), nil->Handle()); // a child shadows NIL
    EXPECT_EQ(s.Read(*s.quit, "NIL").AsHandle(), 0u);
    EXPECT_EQ(s.Read(*s.start, "CHILD[1]").AsHandle(), childX->Handle());
    EXPECT_EQ(s.Read(*s.start, "CHILD2").AsHandle(), nil->Handle());
    EXPECT_EQ(s.Read(*s.start, "CHILD[0]").AsHandle(), 0u);
    EXPECT_EQ(s.Read(*s.start, "CHILD[99]").AsHandle(), 0u);
    Value v;
    EXPECT_FALSE(s.start->GetProp("CHILD[A]", v));
    EXPECT_EQ(s.Read(*s.quit, "PARPOS").RawInt(), 2);
    EXPECT_FALSE(s.db.GetProp("PARENT", v));
    EXPECT_FALSE(s.db.GetProp("PARPOS", v));
    EXPECT_FALSE(s.quit->GetProp("CURSOR", v)); // no cursor element yet
    EXPECT_EQ(s.Read(*s.quit, "CURSORATNIL").RawInt(), 1);
    EXPECT_EQ(s.Read(*s.quit, "CURSORATNIL").Kind(), script::VarKind::Byte);
    EXPECT_FALSE(s.quit->GetProp("NOSUCHNAME", v));

    // Variables made by Init become the element's Vars, readable by name from elsewhere.
    s.quit->SetScript(ScriptSlot::Init, "MYVAR := 'mine';");
    s.quit->InitPr();
    EXPECT_EQ(s.Read(*s.quit, "MYVAR").RawStr(), "mine");
    EXPECT_EQ(s.Run(*s.start, "TAG := KQDB.MENU.QUIT.MYVAR;"), "mine");
}

TEST(ScriptBinding, NowVisIgnoresTheScreenAndTopLevel) {
    ScriptedScene s;
    TKQElement* inner = s.Add(*s.start, "TKQImage", "Inner");
    s.menu->SetVis(false);
    EXPECT_TRUE(s.Read(*inner, "NOWVIS").RawInt());
    s.start->SetVis(false);
    EXPECT_FALSE(s.Read(*inner, "NOWVIS").RawInt());
    EXPECT_TRUE(s.Read(*s.menu, "NOWVIS").RawInt());
}

TEST(ScriptBinding, SetPropConversionsAndSpecialNames) {
    ScriptedScene s;
    EXPECT_TRUE(s.start->SetProp("X", Value::Str("abc"))); // not a number: 0
    EXPECT_EQ(s.start->X(), 0);
    EXPECT_TRUE(s.start->SetProp("X", Value::Str("12")));
    EXPECT_EQ(s.start->X(), 12);
    EXPECT_TRUE(s.start->SetProp("SCALE", Value::Int(2)));
    EXPECT_DOUBLE_EQ(scene::PropFloat(s.Get(*s.start, "Scale")), 2.0);
    EXPECT_TRUE(s.start->SetProp("TAG", Value::Double(1.5)));
    EXPECT_EQ(s.start->Tag, "1.5");
    s.menu->SetX(100);
    EXPECT_TRUE(s.start->SetProp("ABSX", Value::Int(150)));
    EXPECT_EQ(s.start->X(), 50);
    EXPECT_TRUE(s.quit->SetProp("CURSOR", Value::LongWord(s.start->Handle())));
    EXPECT_EQ(s.rt.cursorElement, s.start);
    EXPECT_FALSE(s.quit->SetProp("CURSOR", Value::Int(1))); // not a handle
    // A quoted language key with no text stays as it is, quotes included.
    EXPECT_TRUE(s.start->SetProp("TAG", Value::Str("\"Menu.Start\"")));
    EXPECT_EQ(s.start->Tag, "\"Menu.Start\"");
    EXPECT_FALSE(s.start->SetProp("NOSUCHNAME", Value::Int(1)));
}

TEST(ScriptBinding, LogLinesDescribeTheElementByIdAndClass) {
    ScriptedScene s;
    s.Run(*s.start, "A := NOSUCHNAME; B := 1 +;");
    ASSERT_EQ(s.log.size(), 2u);
    EXPECT_EQ(s.log[0], "Not var NOSUCHNAME (in Start <TKQImage> Update");
    EXPECT_EQ(s.log[1].substr(s.log[1].rfind(" in ")), " in Start <TKQImage>) Update");
    EXPECT_EQ(s.scripts.Describe(s.menu->Handle()), "Menu <TKQScreen>");
    EXPECT_EQ(s.scripts.Describe(0), "");
}

TEST(ScriptBinding, ANonNumberForAFloatPropertyStopsTheScriptAndCreatesNoVariable) {
    ScriptedScene s;
    ASSERT_TRUE(s.start->SetProp("SCALE", Value::Double(2)));
    s.start->Tag = "before";
    s.Run(*s.start, "SCALE := 'big'; TAG := 'went on';");
    ASSERT_EQ(s.log.size(), 1u);
    EXPECT_EQ(s.log[0].substr(0, s.log[0].find(" (")), "Invalid variable type: SCALE");
    EXPECT_EQ(s.start->Tag, "before"); // the run stopped at the failed write
    EXPECT_DOUBLE_EQ(scene::PropFloat(s.Get(*s.start, "Scale")), 2.0);

    s.Run(*s.start, "SCALE := SCALE + 1; TAG := SCALE;");
    EXPECT_EQ(s.start->Tag, "3");
    s.log.clear();
    s.Run(*s.quit, "KQDB.MENU.START.SCALE := 'x'; TAG := 'went on';");
    ASSERT_EQ(s.log.size(), 1u);
    EXPECT_EQ(s.log[0].substr(0, s.log[0].find(" (")),
              "Invalid variable type: KQDB.MENU.START.SCALE");
    EXPECT_NE(s.quit->Tag, "went on");
    EXPECT_DOUBLE_EQ(scene::PropFloat(s.Get(*s.start, "Scale")), 3.0);

    // Integer properties take a text that is no number as 0, without an error.
    s.log.clear();
    EXPECT_EQ(s.Run(*s.start, "X := 'abc'; TAG := X;"), "0");
    EXPECT_TRUE(s.log.empty());
    // A language key whose text is a number converts like that text would.
    EXPECT_FALSE(s.start->RefusesValue("SCALE", Value::Str("1.5")));
    EXPECT_TRUE(s.start->RefusesValue("SCALE", Value::Str("\"Menu.None\"")));
    EXPECT_FALSE(s.start->RefusesValue("NOSUCHNAME", Value::Str("x")));
}

TEST(ScriptBinding, SelfAndPreviousSelfAroundARun) {
    ScriptedScene s;
    EXPECT_EQ(s.Run(*s.quit, "TAG := PREEXKQE;"), "0"); // nothing ran before at rest
    EXPECT_EQ(s.Run(*s.quit, "TAG := SELF = KQDB.MENU.QUIT;"), "True");
    EXPECT_EQ(s.scripts.Pool().Depth(), 1);
    EXPECT_EQ(s.scripts.Env().self, 0u); // restored after the run
}

} // namespace
} // namespace kq::test
