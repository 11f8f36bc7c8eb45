// Expressions and value kinds, checked through small scripts.
#include "script_test_util.h"

namespace kq::script::test {
namespace {

TEST(Expressions, ArithmeticKinds) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 7 / 2; B := 7 * 2; C := 2 ^ 10; D := 3.0; E := 3; F := 3000000000;"
                      "G := 2147483646; H := 2147483647; I := 1 - 5"));
    ExpectDouble(c.Var("A"), 3.5);
    ExpectInt(c.Var("B"), 14);
    ExpectDouble(c.Var("C"), 1024);
    ExpectDouble(c.Var("D"), 3.0);
    ExpectInt(c.Var("E"), 3);
    ExpectDouble(c.Var("F"), 3000000000.0);
    ExpectInt(c.Var("G"), 2147483646);
    ExpectDouble(c.Var("H"), 2147483647.0);
    ExpectInt(c.Var("I"), -4);
}

TEST(Expressions, PrecedenceAndUnaryOperators) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 1; B := 5; D := 3;"
                      "R1 := A = 1 OR B = 2 AND D = 3;"
                      "R2 := (A = 2 OR B = 5) AND D = 4;"
                      "R3 := -2 ^ 2; R4 := NOT 5; R5 := NOT 0; R6 := 2 + 3 * 4;"
                      "R7 := 1 SHL 4 + 1; R8 := 256 SHR 2; R9 := 6 AND 3; R10 := 6 XOR 3;"
                      "R11 := NOT A = B; R12 := +4; R13 := 10 - 2 - 3"));
    ExpectBool(c.Var("R1"), true);
    ExpectBool(c.Var("R2"), false);
    ExpectDouble(c.Var("R3"), 4);
    ExpectInt(c.Var("R4"), 0, VarKind::Byte);
    ExpectInt(c.Var("R5"), 1, VarKind::Byte);
    ExpectInt(c.Var("R6"), 14);
    ExpectInt(c.Var("R7"), 17);
    ExpectInt(c.Var("R8"), 64);
    ExpectInt(c.Var("R9"), 2);
    ExpectInt(c.Var("R10"), 5);
    // NOT binds to its primary: (NOT 1) = 5 is Byte 0 = 5.
    ExpectBool(c.Var("R11"), false);
    ExpectInt(c.Var("R12"), 4);
    ExpectInt(c.Var("R13"), 5);
}

TEST(Expressions, StringsAndMixedOperands) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 'ab' + 'cd'; B := '12' + 3; C := 'abc' < 'abd'; D := '1.5' * 2;"
                      "E := 'x' = 'x'; F := 2.5 > 2; G := TRUE AND FALSE; H := TRUE XOR FALSE"));
    ExpectStr(c.Var("A"), "abcd");
    ExpectInt(c.Var("B"), 15);
    ExpectBool(c.Var("C"), true);
    ExpectDouble(c.Var("D"), 3.0);
    ExpectBool(c.Var("E"), true);
    ExpectBool(c.Var("F"), true);
    ExpectBool(c.Var("G"), false);
    ExpectBool(c.Var("H"), true);
}

TEST(Expressions, FailedOperandsReportTheOperator) {
    Calc c;
    EXPECT_FALSE(c.Run("A := 'ab' + 3"));
    EXPECT_EQ(c.Code(), 5);
    EXPECT_EQ(c.Message(), "Invalid operand types for \"+\"");
    EXPECT_FALSE(c.Run("A := 1 / 0"));
    EXPECT_EQ(c.Message(), "Invalid operand types for \"/\"");
    EXPECT_FALSE(c.Run("A := 'x' SHL 1"));
    EXPECT_EQ(c.Message(), "Invalid operand types for \"SHL\"");
    EXPECT_FALSE(c.Run("A := -'x'"));
    EXPECT_EQ(c.Message(), "Invalid operand types for \"-\"");
    EXPECT_FALSE(c.Run("A := NOT 'x'"));
    EXPECT_EQ(c.Message(), "Invalid operand types for \"NOT\"");
}

TEST(Expressions, UnaryPlusLeavesAnyOperandAsItIs) {
    Calc c;
    ASSERT_TRUE(c.Run("A := +'x'; B := +'12'; C := +2.5; D := + + TRUE; E := +''"));
    ExpectStr(c.Var("A"), "x");
    ExpectStr(c.Var("B"), "12"); // not converted to a number
    ExpectDouble(c.Var("C"), 2.5);
    ExpectBool(c.Var("D"), true);
    ExpectStr(c.Var("E"), "");
    EXPECT_FALSE(c.Run("A := -+'x'")); // the minus still converts
    EXPECT_EQ(c.Message(), "Invalid operand types for \"-\"");
}

TEST(Expressions, IntegerOverflowWidens) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 2000000000 + 2000000000; B := 2000000000 * 2000000000 * 10;"));
    ExpectInt(c.Var("A"), 4000000000LL, VarKind::Int64);
    ExpectDouble(c.Var("B"), 4e19);
}

// One scheme for every integer result: an Int64 operand (what Int gives) makes it Int64.
TEST(Expressions, AnInt64OperandGivesAnInt64Result) {
    Calc c;
    ASSERT_TRUE(c.Run("I := Int(5); A := I + 1; B := 1 + I; C := I * 2; D := 10 - I; E := -I;"
                      "F := I AND 3; G := 1 SHL I; H := I SHR 1; J := Mod(I, 3); K := Div(11, I);"
                      "L := I; Inc(L); M := I; Dec(M, 2); N := '7' + I; O := +I; P := I XOR I;"
                      "Q := 2.5 + I; R := I = 5; S := I / 5; T := 5 + 1; U := Mod(7, 3)"));
    const VarKind w = VarKind::Int64;
    ExpectInt(c.Var("A"), 6, w);
    ExpectInt(c.Var("B"), 6, w);
    ExpectInt(c.Var("C"), 10, w);
    ExpectInt(c.Var("D"), 5, w);
    ExpectInt(c.Var("E"), -5, w);
    ExpectInt(c.Var("F"), 1, w);
    ExpectInt(c.Var("G"), 32, w);
    ExpectInt(c.Var("H"), 2, w);
    ExpectInt(c.Var("J"), 2, w);
    ExpectInt(c.Var("K"), 2, w);
    ExpectInt(c.Var("L"), 6, w);
    ExpectInt(c.Var("M"), 3, w);
    ExpectInt(c.Var("N"), 12, w);
    ExpectInt(c.Var("O"), 5, w);
    ExpectInt(c.Var("P"), 0, w);
    // Floating and comparison results keep their own kinds; plain integers stay Integer.
    ExpectDouble(c.Var("Q"), 7.5);
    ExpectBool(c.Var("R"), true);
    ExpectDouble(c.Var("S"), 1);
    ExpectInt(c.Var("T"), 6);
    ExpectInt(c.Var("U"), 1);
}

// A scene that only translates language keys.
struct Translator : SceneBinding {
    Handle Root() const override { return 0; }
    Handle Parent(Handle) const override { return 0; }
    bool IsElement(Handle) const override { return false; }
    bool GetProp(Handle, std::string_view, Value&) override { return false; }
    bool SetProp(Handle, std::string_view, const Value&) override { return false; }
    std::string Describe(Handle) const override { return {}; }
    bool SaveErr() const override { return false; }
    std::string Translate(std::string_view key) override {
        return key == "Menu.Start" ? "Begin game" : "";
    }
};

TEST(Expressions, DoubleQuotedOperandsAreLanguageKeys) {
    Calc c;
    Translator scene;
    c.env.scene = &scene;
    // The literal keeps its double quotes until an infix operator meets it.
    ASSERT_TRUE(c.Run("A := \"Menu.Start\"; B := '' + \"Menu.Start\"; C := '' + \"Menu.None\";"
                      "D := \"Menu.Start\" = 'Begin game'"));
    ExpectStr(c.Var("A"), "\"Menu.Start\"");
    ExpectStr(c.Var("B"), "Begin game");
    ExpectStr(c.Var("C"), "\"Menu.None\"");
    ExpectBool(c.Var("D"), true);
}

TEST(Expressions, StringIndexing) {
    Calc c;
    ASSERT_TRUE(c.Run("S := 'hello'; A := S[2]; B := S[1+1+3]; T[1] := 'xyz'; C := T[1][3];"
                      "S[1] := 'J'; S[5] := 33"));
    ExpectStr(c.Var("A"), "e");
    ExpectStr(c.Var("B"), "o");
    ExpectStr(c.Var("C"), "z");
    ExpectStr(c.Var("S"), "Jell!");
    ExpectStr(c.Var("T[1]"), "xyz");
}

TEST(Expressions, ArraysAreNamedVariables) {
    Calc c;
    ASSERT_TRUE(c.Run("A[1+1, 3] := 5; I := 2; B := A[I, 3] + 1; A[2.5, 1] := 'r'"));
    ExpectInt(c.Var("A[2,3]"), 5);
    ExpectInt(c.Var("B"), 6);
    // Index values round halves to even.
    ExpectStr(c.Var("A[2,1]"), "r");
}

TEST(Expressions, ValueHelpers) {
    EXPECT_EQ(FloatToText(2.5), "2.5");
    EXPECT_EQ(FloatToText(3), "3");
    EXPECT_EQ(FloatToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToText(-0.0), "0");
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    int32_t i = 0;
    EXPECT_FALSE(ToInt32(Value::Double(3e10), i));
    EXPECT_TRUE(ToInt32(Value::Str(" 42 "), i));
    EXPECT_EQ(i, 42);
    bool b = false;
    EXPECT_TRUE(ToBoolean(Value::Str("true"), b));
    EXPECT_TRUE(b);
    EXPECT_FALSE(ToBoolean(Value::Str("maybe"), b));
}

} // namespace
} // namespace kq::script::test
