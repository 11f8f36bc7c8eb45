// Statements and control flow.
#include "script_test_util.h"

namespace kq::script::test {
namespace {

TEST(Statements, IfElse) {
    Calc c;
    ASSERT_TRUE(c.Run("X := 0; IF X > 0 THEN Y := 1 ELSE Y := 2;"
                      "IF X = 0 THEN BEGIN Z := 1; W := 2 END ELSE Z := 3;"
                      "IF X = 1 THEN BEGIN Q := 1 END ELSE Q := 9;"));
    ExpectInt(c.Var("Y"), 2);
    ExpectInt(c.Var("Z"), 1);
    ExpectInt(c.Var("W"), 2);
    ExpectInt(c.Var("Q"), 9);
}

TEST(Statements, ElseBelongsToTheFirstIf) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 0; B := 1; R := 0; IF A = 1 THEN IF B = 1 THEN R := 1 ELSE R := 2"));
    ExpectInt(c.Var("R"), 2);
    ASSERT_TRUE(c.Run("A := 1; B := 0; R := 0;"
                      "IF A = 1 THEN BEGIN IF B = 1 THEN R := 1 ELSE R := 3 END"));
    ExpectInt(c.Var("R"), 3);
}

TEST(Statements, ForLoops) {
    Calc c;
    ASSERT_TRUE(c.Run("I := 0; S := 0; FOR I := 1 TO 3 DO S := S + I"));
    ExpectInt(c.Var("S"), 6);
    ExpectInt(c.Var("I"), 3);
    ASSERT_TRUE(c.Run("I := 7; N := 0; FOR I := 3 TO 1 DO N := N + 1"));
    ExpectInt(c.Var("N"), 0);
    ExpectInt(c.Var("I"), 7);
    ASSERT_TRUE(c.Run("N := 0; FOR I := 3 DOWNTO 1 DO N := N * 10 + I"));
    ExpectInt(c.Var("N"), 321);
    // Changing the control variable does not change the iteration count.
    ASSERT_TRUE(c.Run("N := 0; FOR I := 1 TO 5 DO BEGIN I := 100; N := N + 1 END"));
    ExpectInt(c.Var("N"), 5);
}

TEST(Statements, ForNeedsAnExistingControlVariable) {
    Calc c;
    EXPECT_FALSE(c.Run("S := 0; FOR I := 1 TO 3 DO S := S + I"));
    EXPECT_EQ(c.Message(), "Invalid variable name: I");
    EXPECT_EQ(c.Code(), 1);
}

TEST(Statements, WhileRepeatBreakContinue) {
    Calc c;
    ASSERT_TRUE(c.Run("I := 0; S := 0; WHILE I < 10 DO BEGIN I := I + 1;"
                      " IF I = 3 THEN CONTINUE; IF I = 6 THEN BEGIN BREAK END; S := S + I END"));
    ExpectInt(c.Var("S"), 1 + 2 + 4 + 5);
    ExpectInt(c.Var("I"), 6);
    ASSERT_TRUE(c.Run("I := 0; REPEAT I := I + 2 UNTIL I >= 7"));
    ExpectInt(c.Var("I"), 8);
    // BREAK in a REPEAT whose condition is true stays pending for the enclosing loop.
    ASSERT_TRUE(c.Run("N := 0; J := 0; FOR J := 1 TO 5 DO BEGIN N := N + 1;"
                      " REPEAT BREAK UNTIL TRUE END"));
    ExpectInt(c.Var("N"), 1);
}

TEST(Statements, CaseWithRangesAndElse) {
    Calc c;
    const char* script = "CASE X OF 1, 3 .. 5: A := 1; 7: A := 7; ELSE A := 2; END";
    ASSERT_TRUE(c.Run(std::string("X := 4;") + script));
    ExpectInt(c.Var("A"), 1);
    ASSERT_TRUE(c.Run(std::string("X := 7;") + script));
    ExpectInt(c.Var("A"), 7);
    ASSERT_TRUE(c.Run(std::string("X := 'abc';") + script));
    ExpectInt(c.Var("A"), 2);
    ASSERT_TRUE(c.Run("X := 'b'; CASE X OF 'a' .. 'c': A := 'in'; END"));
    ExpectStr(c.Var("A"), "in");
    // Reversed bounds are swapped.
    ASSERT_TRUE(c.Run("X := 2; A := 0; CASE X OF 5 .. 1: A := 1; END"));
    ExpectInt(c.Var("A"), 1);
}

TEST(Statements, ExitEndsTheRun) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 1; EXIT; A := 2"));
    ExpectInt(c.Var("A"), 1);
}

TEST(Statements, GotoLabels) {
    Calc c;
    ASSERT_TRUE(c.Run("N := 0; AGAIN: N := N + 1; IF N < 5 THEN GOTO AGAIN; DONE := 1"));
    ExpectInt(c.Var("N"), 5);
    ExpectInt(c.Var("DONE"), 1);
    ASSERT_TRUE(c.Run("A := 1; GOTO SKIP; A := 2; SKIP: B := 3"));
    ExpectInt(c.Var("A"), 1);
    ExpectInt(c.Var("B"), 3);
    // A jump out of a nested block resumes in the enclosing sequence.
    ASSERT_TRUE(c.Run("A := 0; BEGIN A := 1; GOTO OUT; A := 2 END; A := 3; OUT: B := A"));
    ExpectInt(c.Var("B"), 1);
    EXPECT_FALSE(c.Run("GOTO INNER; BEGIN INNER: A := 1 END"));
    EXPECT_EQ(c.Message(), "Label INNER not exist or unreacheble");
    EXPECT_EQ(c.Code(), 18);
}

TEST(Statements, CommentsAndCase) {
    Calc c;
    ASSERT_TRUE(c.Run("a := 1; { comment without end\n b := A + 1; // x := 5\n"
                      "If B = 2 then c := 'Mixed' { inline } ;"));
    ExpectInt(c.Var("B"), 2);
    ExpectStr(c.Var("C"), "Mixed");
    EXPECT_FALSE(c.Has("X"));
}

TEST(Statements, StopRequestBoundsARun) {
    Calc c;
    int steps = 0;
    c.calc.OnStep = [&] {
        if (++steps == 100) {
            c.calc.RequestStop();
        }
    };
    ASSERT_TRUE(c.Run("N := 0; WHILE TRUE DO N := N + 1"));
    EXPECT_GE(steps, 100);
    EXPECT_LT(steps, 110);
    // The flag is reset by every run.
    steps = -1000000;
    ASSERT_TRUE(c.Run("N := 0; FOR N := 1 TO 10 DO M := N"));
    ExpectInt(c.Var("M"), 10);
}

TEST(Statements, PreparedScriptsRunAgain) {
    Calc c;
    PreparedScript p = c.calc.Prepare("X := X + 1");
    EXPECT_EQ(c.Code(), 0);
    c.calc.Variables().Put("X", Value::Int(1));
    ASSERT_TRUE(c.calc.RunPrepared(p));
    ASSERT_TRUE(c.calc.RunPrepared(std::string_view(p.text)));
    ExpectInt(c.Var("X"), 3);
    // Preparing text that is already in token form keeps it.
    PreparedScript again = c.calc.Prepare(p.text);
    EXPECT_EQ(again.text, p.text);
}

} // namespace
} // namespace kq::script::test
