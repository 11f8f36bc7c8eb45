// Script procedures and functions, includes and native calls.
#include "script_test_util.h"

namespace kq::script::test {
namespace {

TEST(Routines, FunctionResultAndNoLeftovers) {
    Calc c;
    ASSERT_TRUE(c.Run("FUNCTION TWICE(X); BEGIN RESULT := X * 2 END; Y := TWICE(4)"));
    ExpectInt(c.Var("Y"), 8);
    EXPECT_FALSE(c.Has("X"));
    EXPECT_FALSE(c.Has("RESULT"));
}

TEST(Routines, ParametersAreCopiedBackFromPlainVariables) {
    Calc c;
    ASSERT_TRUE(c.Run("PROCEDURE INC2(A); BEGIN A := A + 2 END; N := 1; INC2(N); M := 1;"
                      "INC2(M + 0)"));
    ExpectInt(c.Var("N"), 3);
    ExpectInt(c.Var("M"), 1);
}

TEST(Routines, ChangesToGlobalsAreUndoneButDynamicScopeReads) {
    Calc c;
    ASSERT_TRUE(c.Run("PROCEDURE P(); BEGIN G := G + 10; NEWVAR := 1; SEEN := G END;"
                      "G := 1; P(); P"));
    ExpectInt(c.Var("G"), 1);
    EXPECT_FALSE(c.Has("NEWVAR"));
    EXPECT_FALSE(c.Has("SEEN"));
}

TEST(Routines, RecursionAndExit) {
    Calc c;
    ASSERT_TRUE(c.Run("FUNCTION FACT(N); BEGIN IF N <= 1 THEN BEGIN RESULT := 1; EXIT END;"
                      " RESULT := N * FACT(N - 1) END; F := FACT(10)"));
    ExpectInt(c.Var("F"), 3628800);
}

TEST(Routines, RoutineErrors) {
    Calc c;
    EXPECT_FALSE(c.Run("FUNCTION F(); BEGIN X := 1 END; Y := F()"));
    EXPECT_EQ(c.Message(), "Function must return result : F");
    EXPECT_EQ(c.Code(), 26);
    EXPECT_FALSE(c.Run("PROCEDURE P(A); BEGIN END; P(1, 2)"));
    EXPECT_EQ(c.Message(), "Wrong parameters amount, procedure P");
    EXPECT_EQ(c.Code(), 7);
    EXPECT_FALSE(c.Run("PROCEDURE P(); BEGIN END; PROCEDURE P(); BEGIN END"));
    EXPECT_EQ(c.Message(), "Duplicate procedure name");
    EXPECT_EQ(c.Code(), 24);
    EXPECT_FALSE(c.Run("PROCEDURE 5(); BEGIN END"));
    EXPECT_EQ(c.Message(), "Invalid procedure name");
    EXPECT_FALSE(c.Run("PROCEDURE P; BEGIN END"));
    EXPECT_EQ(c.Message(), "( expected");
    EXPECT_EQ(c.Code(), 2);
    EXPECT_FALSE(c.Run("PROCEDURE P(A; B); BEGIN END"));
    EXPECT_EQ(c.Message(), "Invalid function call");
    EXPECT_FALSE(c.Run("PROCEDURE P(); BEGIN BREAK END; P()"));
    EXPECT_EQ(c.Message(), "BREAK outside loop");
    EXPECT_FALSE(c.Run("NOSUCH(1)"));
    EXPECT_EQ(c.Message(), "Unknown function: NOSUCH");
    EXPECT_EQ(c.Code(), 8);
}

TEST(Routines, RunawayRecursionIsStopped) {
    Calc c;
    EXPECT_FALSE(c.Run("PROCEDURE P(); BEGIN P() END; P()"));
    EXPECT_NE(c.Code(), 0);
}

TEST(Routines, RoutinesLiveOnlyUntilTheNextReset) {
    Calc c;
    PreparedScript p = c.calc.Prepare("PROCEDURE P(); BEGIN X := 1 END; P()");
    EXPECT_NE(c.calc.FindProcedure("P"), nullptr);
    EXPECT_FALSE(c.calc.RunPrepared(p));
    EXPECT_EQ(c.Message(), "Unknown function: P");
}

TEST(Routines, NativeArgumentsAreNamedVarOrValue) {
    Calc c(false);
    std::vector<std::string> names;
    c.calc.SetFunction("probe", [&](TPasCalc&, std::vector<TVar>& params, TVar& result) {
        for (TVar& p : params) {
            names.push_back(p.name);
            p.value = Value::Int(99);
        }
        result.value = Value::Int(static_cast<int32_t>(params.size()));
        return true;
    });
    ASSERT_TRUE(c.Run("A := 1; B[2] := 1; N := PROBE(A, 5, A + 1, B[2], UNKNOWNVAR)"));
    EXPECT_EQ(names, (std::vector<std::string>{"VAR", "VALUE", "VALUE", "VAR", "VALUE"}));
    ExpectInt(c.Var("A"), 99);
    ExpectInt(c.Var("B[2]"), 99);
    ExpectInt(c.Var("N"), 5);
    // Commas inside brackets split arguments, so a two-index element cannot be passed.
    names.clear();
    EXPECT_FALSE(c.Run("PROBE(C[1,2])"));
}

TEST(Routines, NativeFailuresCarryTheirMessage) {
    Calc c(false);
    c.calc.SetFunction("Boom", [](TPasCalc&, std::vector<TVar>&, TVar&) -> bool {
        throw std::runtime_error("kaput");
    });
    c.calc.SetFunction("No", [](TPasCalc&, std::vector<TVar>&, TVar&) { return false; });
    EXPECT_FALSE(c.Run("BOOM()"));
    EXPECT_EQ(c.Message(), "Invalid parameters, function BOOM : kaput");
    EXPECT_FALSE(c.Run("X := no(1)"));
    EXPECT_EQ(c.Message(), "Invalid parameters, function NO");
    EXPECT_EQ(c.Code(), 7);
    // Registration rules: invalid names refused, null removes.
    EXPECT_FALSE(
        c.calc.SetFunction("9x", [](TPasCalc&, std::vector<TVar>&, TVar&) { return true; }));
    EXPECT_TRUE(c.calc.SetFunction("no", nullptr));
    EXPECT_FALSE(c.calc.HasFunction("NO"));
}

TEST(Routines, UsesAndIncludeGoThroughTheReader) {
    Calc c;
    c.env.readFile = [](std::string_view name) -> std::optional<std::string> {
        if (name == "lib.pas") {
            return std::string("FUNCTION SQ(X); BEGIN RESULT := X * X END; LIBMAIN := 1");
        }
        if (name == "self.pas") {
            return std::string("INCLUDE 'self.pas'");
        }
        return std::nullopt;
    };
    ASSERT_TRUE(c.Run("USES 'lib.pas'; A := SQ(5)"));
    ExpectInt(c.Var("A"), 25);
    EXPECT_FALSE(c.Has("LIBMAIN"));
    // The file name is evaluated when the script is linked, before its statements run.
    c.calc.Variables().Put("N", Value::Str("lib"));
    ASSERT_TRUE(c.Run("N := 'other'; INCLUDE N + '.pas'; B := SQ(3)"));
    ExpectInt(c.Var("B"), 9);
    ExpectInt(c.Var("LIBMAIN"), 1);
    EXPECT_FALSE(c.Run("INCLUDE 'missing.pas'"));
    EXPECT_EQ(c.Message(), "Can't open file \"'missing.pas'\", error code 2");
    EXPECT_EQ(c.Code(), 25);
    EXPECT_FALSE(c.Run("USES 1 +"));
    EXPECT_EQ(c.Code(), 1);
    // A file that includes itself stops at the nesting bound instead of recursing forever.
    EXPECT_FALSE(c.Run("INCLUDE 'self.pas'"));
    EXPECT_EQ(c.Code(), 25);
}

} // namespace
} // namespace kq::script::test
