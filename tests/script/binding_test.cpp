// Names resolved through the scene: SELF, object paths, warnings and the error log.
#include <filesystem>

#include "fake_scene.h"
#include "script/interpreter_pool.h"
#include "script_test_util.h"
#include "support/test_support.h"

namespace kq::script::test {
namespace {

// KQDB > MENU (X=100) > START (X=10), KQDB > DOOR (image, X=5, ABSX=50)
struct SceneCalc : Calc {
    FakeScene scene;
    Handle menu, start, door;
    SceneCalc() {
        env.scene = &scene;
        menu = scene.Add(1, "Menu", "TKQScreen");
        start = scene.Add(menu, "Start", "TKQImage");
        door = scene.Add(1, "Door", "TKQImage");
        scene.Get(menu).props["X"] = Value::Int(100);
        scene.Get(start).props["X"] = Value::Int(10);
        scene.Get(start).props["VIS"] = Value::Bool(true);
        scene.Get(door).props["X"] = Value::Int(5);
        scene.Get(door).props["ABSX"] = Value::Int(50);
        env.self = door;
        env.eventName = "ms_Down";
    }
};

TEST(Binding, PlainNamesReadAndWriteSelf) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("X := X + 10; A := ABSX"));
    ExpectInt(c.scene.Get(c.door).props["X"], 15);
    ExpectInt(c.Var("A"), 50);
    EXPECT_FALSE(c.Has("X"));
}

TEST(Binding, UnresolvedNamesReadZeroWithAWarning) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("A := NOSUCHNAME"));
    ExpectInt(c.Var("A"), 0, VarKind::Byte);
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0], "Not var NOSUCHNAME (in Door <TKQImage> ms_Down");
    c.lines.clear();
    c.env.self = 0;
    ASSERT_TRUE(c.Run("A := NOSUCHNAME"));
    EXPECT_EQ(c.lines.at(0), "Not var NIL NOSUCHNAME (in  ms_Down");
}

TEST(Binding, ObjectPaths) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("A := KQDB.MENU.START.X; KQDB.MENU.START.VIS := FALSE; B := KQDB.MENU;"
                      "B.X := 0; C := @2.X; D := @3."));
    ExpectInt(c.Var("A"), 10);
    ExpectBool(c.scene.Get(c.start).props["VIS"], false);
    ExpectInt(c.scene.Get(c.menu).props["X"], 0);
    ExpectInt(c.Var("B"), c.menu, VarKind::LongWord);
    ExpectInt(c.Var("C"), 0);
    ExpectInt(c.Var("D"), c.start, VarKind::LongWord);
}

TEST(Binding, LeadingDotsClimbToParents) {
    SceneCalc c;
    c.env.self = c.start;
    ASSERT_TRUE(c.Run("A := .X; B := ..SELF"));
    ExpectInt(c.Var("A"), 100);
    ExpectInt(c.Var("B"), 1, VarKind::LongWord);
}

TEST(Binding, FailedPathsAndDottedNewVariables) {
    SceneCalc c;
    EXPECT_FALSE(c.Run("A := KQDB.NOSUCH.X"));
    EXPECT_EQ(c.Message(), "Variable not found: KQDB.NOSUCH.X");
    EXPECT_EQ(c.lines.back(),
              "Variable not found: KQDB.NOSUCH.X (KQDB.NOSUCH.X   in Door <TKQImage>) ms_Down");
    c.lines.clear();
    ASSERT_TRUE(c.Run("KQDB.NOSUCH := 1"));
    ExpectInt(c.Var("KQDB.NOSUCH"), 1);
    EXPECT_EQ(c.lines.at(0), "Add var KQDB.NOSUCH (in Door <TKQImage> ms_Down");
    // Only a handle can start a path.
    EXPECT_FALSE(c.Run("B := 5; C := B.X"));
    EXPECT_EQ(c.Message(), "Variable not found: B.X");
}

TEST(Binding, QuietLookupMakesUnresolvedNamesFail) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("A := GETVAR('NOSUCH'); B := GETVAR('kqdb.menu.x')"));
    ExpectInt(c.Var("A"), 0, VarKind::LongWord);
    ExpectInt(c.Var("B"), 100);
    EXPECT_FALSE(c.env.quietLookup);
    EXPECT_TRUE(c.lines.empty());
    // Exec leaves the flag on.
    ASSERT_TRUE(c.Run("EXEC('Q := 1')"));
    EXPECT_TRUE(c.env.quietLookup);
    EXPECT_FALSE(c.Run("A := NOSUCH"));
    EXPECT_EQ(c.Message(), "Variable not found: NOSUCH");
}

TEST(Binding, RoutineCallsKeepSceneWritesAndWarnOnDottedCopies) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("KQDB.ODD := 1; PROCEDURE P(); BEGIN KQDB.MENU.X := 7 END; P()"));
    ExpectInt(c.scene.Get(c.menu).props["X"], 7);
    // One warning for creating the dotted variable, then one per copy of the list (3).
    EXPECT_EQ(
        std::count(c.lines.begin(), c.lines.end(), "Add var KQDB.ODD (in Door <TKQImage> ms_Down"),
        4);
}

TEST(Binding, LanguageKeysTranslateThroughTheScene) {
    SceneCalc c;
    ASSERT_TRUE(c.Run("A := '' + \"Menu.Start\"; B := GETTEXT('Menu.Start')"));
    ExpectStr(c.Var("A"), "Start!");
    ExpectStr(c.Var("B"), "Start!");
}

TEST(ErrorLog, WrittenOnlyWithSaveErr) {
    kq::test::TempDir dir;
    SceneCalc c;
    c.env.errorLogPath = (dir.Path() / "kestwin.err").string();
    ASSERT_TRUE(c.Run("A := NOSUCH"));
    EXPECT_FALSE(std::filesystem::exists(c.env.errorLogPath));
    c.scene.SetSaveErr(true);
    ASSERT_TRUE(c.Run("A := NOSUCH"));
    EXPECT_FALSE(c.Run("B := 'x' * 2"));
    EXPECT_EQ(kq::test::ReadAll(c.env.errorLogPath),
              "Not var NOSUCH (in Door <TKQImage> ms_Down\r\n"
              "Invalid operand types for \"*\" ('x' * 2   in Door <TKQImage>) ms_Down\r\n");
}

TEST(ErrorLog, AnUnwritableLogDoesNotStopTheScript) {
    SceneCalc c;
    c.scene.SetSaveErr(true);
    c.env.errorLogPath = "/nonexistent-folder/kestwin.err";
    ASSERT_TRUE(c.Run("A := NOSUCH; B := 2"));
    ExpectInt(c.Var("B"), 2);
}

TEST(Pool, RunScriptUsesOneInstancePerDepth) {
    FakeScene scene;
    Handle a = scene.Add(1, "A", "TKQImage");
    ScriptEnv env;
    env.scene = &scene;
    std::vector<std::string> lines;
    env.onLogLine = [&](std::string_view l) { lines.emplace_back(l); };
    std::vector<int> depths;
    std::vector<Handle> selves;
    std::vector<Handle> pres;
    InterpreterPool* poolPtr = nullptr;
    PreparedScript nested;
    InterpreterPool pool(env, [&](TPasCalc& calc) {
        RegisterLibrary(calc);
        calc.SetFunction("Nest", [&](TPasCalc&, std::vector<TVar>&, TVar&) {
            depths.push_back(poolPtr->Depth());
            selves.push_back(poolPtr->Env().self);
            pres.push_back(poolPtr->Env().preExKqe);
            poolPtr->RunScript(a, nested, "Inner");
            return true;
        });
    });
    poolPtr = &pool;
    nested = pool.Prepare("NEST()");
    EXPECT_EQ(pool.Depth(), 1);
    TVarList vars;
    PreparedScript outer = pool.Prepare("LOCAL := 1; NEST()");
    EXPECT_EQ(pool.RunScript(1, outer, "Outer", &vars), InterpreterPool::RunResult::Ok);
    // Depths 2..10 are open inside NEST; the eleventh run is refused and logged.
    ASSERT_EQ(depths.size(), 9u);
    EXPECT_EQ(depths.front(), 2);
    EXPECT_EQ(depths.back(), 10);
    EXPECT_EQ(selves.front(), 1u);
    EXPECT_EQ(selves.back(), a);
    EXPECT_EQ(pres[1], 1u);
    EXPECT_EQ(pool.Depth(), 1);
    EXPECT_EQ(env.self, 0u);
    EXPECT_EQ(env.eventName, "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Too many nested scripts: 11 (in A <TKQImage> Inner");
    ExpectInt(vars.Lookup("LOCAL")->value, 1);
    EXPECT_EQ(&pool.Current(), &pool.Instance(0));
}

TEST(Pool, EventVariablesAreClearedBeforeEachRun) {
    ScriptEnv env;
    InterpreterPool pool(env, [](TPasCalc& calc) { RegisterLibrary(calc); });
    PreparedScript script = pool.Prepare("N := N + 1");
    TVarList vars;
    pool.RunScript(0, script, "Init", &vars);
    pool.RunScript(0, script, "Init", &vars);
    ExpectInt(pool.Instance(1).Variables().Lookup("N")->value, 1);
    EXPECT_EQ(pool.RunScript(0, PreparedScript{}, "Init"), InterpreterPool::RunResult::Empty);
    // The scene may keep only the prepared text.
    PreparedScript byText{pool.Prepare("M := 41 + 1").text, nullptr};
    EXPECT_EQ(pool.RunScript(0, byText, "Init", &vars), InterpreterPool::RunResult::Ok);
    ExpectInt(vars.Lookup("M")->value, 42);
}

} // namespace
} // namespace kq::script::test
