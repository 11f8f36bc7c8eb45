// The library functions: conversions, strings, dates, mathematics, variables.
#include "script/stdlib.h"
#include "script_test_util.h"

namespace kq::script::test {
namespace {

TEST(Library, RegistrationFollowsTheOrderAndLeavesEngineSlots) {
    Calc c;
    std::vector<std::string> names = c.calc.FunctionNames();
    ASSERT_EQ(names.size(), 66u); // the script-side functions; engine ones come as entries
    EXPECT_EQ(names.front(), "VAL");
    EXPECT_EQ(names[17], "FORMAT");
    EXPECT_EQ(names.back(), "PRINT");

    // Engine entries take their places among the general rows, whatever order they come in;
    // title procedures follow the whole library.
    ScriptEnv env;
    TPasCalc full(&env);
    auto answer = [](TPasCalc&, std::vector<TVar>&, TVar& r) {
        r.value = Value::Str("engine");
        return true;
    };
    auto title = [](TPasCalc&, std::vector<TVar>&, TVar&) { return true; };
    RegisterLibrary(full, {{"SetScreen", 79, answer}, {"ListAdd", 64, answer}},
                    {{"StarsToUp", title}});
    std::vector<std::string> all = full.FunctionNames();
    ASSERT_EQ(all.size(), 69u);
    EXPECT_EQ(all[62], "DIV");
    EXPECT_EQ(all[63], "LISTADD");
    EXPECT_EQ(all[64], "SETSCREEN");
    EXPECT_EQ(all[65], "RANDOM");
    EXPECT_EQ(all[68], "STARSTOUP");
    ASSERT_TRUE(full.Run("A := SetScreen(1)"));
    ExpectStr(full.Variables().Lookup("A")->value, "engine");
}

TEST(Library, Conversions) {
    Calc c;
    ASSERT_TRUE(c.Run("A := IntToStr(42); B := StrToInt('12a'); C := StrToInt(' 17');"
                      "D := FloatToStr(0.1 + 0.2); E := FloatToStr(4); F := StrToFloat(' 2.5 ');"
                      "G := Char(65); H := Char(321); X := 0; CODE := 0; VAL('3.25', X, CODE);"
                      "Y := 0; CODE2 := 0; VAL('12z', Y, CODE2); I := IntToStr(2.5)"));
    ExpectStr(c.Var("A"), "42");
    ExpectInt(c.Var("B"), 0);
    ExpectInt(c.Var("C"), 17);
    ExpectStr(c.Var("D"), "0.3");
    ExpectStr(c.Var("E"), "4");
    ExpectDouble(c.Var("F"), 2.5);
    ExpectStr(c.Var("G"), "A");
    ExpectStr(c.Var("H"), "A");
    ExpectDouble(c.Var("X"), 3.25);
    ExpectInt(c.Var("CODE"), 0);
    ExpectInt(c.Var("CODE2"), 3);
    ExpectStr(c.Var("I"), "2");
    EXPECT_FALSE(c.Run("VAL('1', 2, 3)"));
    EXPECT_EQ(c.Message(), "Invalid parameters, function VAL");
}

TEST(Library, Strings) {
    Calc c;
    ASSERT_TRUE(c.Run("A := Copy('abcdef', 2, 3); B := Poss('cd', 'abcdef'); C := Poss('x', 'abc');"
                      "D := Copy('abc', 5, 1); E := Copy('abc', 2, 99); F := Length('hello');"
                      "G := DelLastChar('abc'); S := 'held'; H := Insert('lo wor', S, 4);"
                      "T := 'abcdef'; I := Delete(T, 2, 3); J := Trim('  x y  ');"
                      "K := TrimLeft('  x '); L := TrimRight('  x '); M := UpperCase('ab\xE0');"
                      "N := LowerCase('AB\xC0')"));
    ExpectStr(c.Var("A"), "bcd");
    ExpectInt(c.Var("B"), 3);
    ExpectInt(c.Var("C"), 0);
    ExpectStr(c.Var("D"), "");
    ExpectStr(c.Var("E"), "bc");
    ExpectInt(c.Var("F"), 5);
    ExpectStr(c.Var("G"), "ab");
    ExpectStr(c.Var("S"), "hello word");
    ExpectStr(c.Var("H"), "hello word");
    ExpectStr(c.Var("T"), "aef");
    ExpectStr(c.Var("I"), "aef");
    ExpectStr(c.Var("J"), "x y");
    ExpectStr(c.Var("K"), "x ");
    ExpectStr(c.Var("L"), "  x");
    ExpectStr(c.Var("M"), "AB\xC0");
    ExpectStr(c.Var("N"), "ab\xE0");
    EXPECT_FALSE(c.Run("X := Insert('a', 'b', 1)"));
    EXPECT_EQ(c.Code(), 7);
}

TEST(Library, FormatPercentPairsBelongToTheSpecifierTheyStart) {
    Calc c;
    // "%%" is not an escape of its own: it starts a specifier running to the next letter,
    // which takes an argument (its "%%" printing one "%") or is dropped when none is left.
    ASSERT_TRUE(c.Run("A := Format('%% done, %d', 1, 2); B := Format('%d: 100%% sure', 5);"
                      "C := Format('%d%%', 5); D := Format('%%%d', 7)"));
    ExpectStr(c.Var("A"), "% done, 2");
    ExpectStr(c.Var("B"), "5: 100ure");
    ExpectStr(c.Var("C"), "5%%");
    ExpectStr(c.Var("D"), "%7");
}

TEST(Library, Format) {
    Calc c;
    ASSERT_TRUE(
        c.Run("A := Format('%d items, %s', 3, 'ok'); B := Format('%5.2f|%-4d|', 3.14159, 7);"
              "C := Format('%x %d %', 255, 2.9); D := Format('%s and %s', 'one');"
              "E := Format('%.3d', 7); F := Format('100%% %n', 1234567.5)"));
    ExpectStr(c.Var("A"), "3 items, ok");
    ExpectStr(c.Var("B"), " 3.14|7   |");
    ExpectStr(c.Var("C"), "FF 2 %");
    ExpectStr(c.Var("D"), "one and ");
    ExpectStr(c.Var("E"), "007");
    ExpectStr(c.Var("F"), "100% 1,234,567.50");
    EXPECT_FALSE(c.Run("A := Format('%d')"));
    EXPECT_FALSE(c.Run("A := Format('%5%d', 1)"));
    EXPECT_FALSE(c.Run("A := Format('%d', 'x')"));
}

// A scene in Unicode mode, where characters above 127 are three bytes starting with 0x01.
struct UnicodeScene : SceneBinding {
    Handle Root() const override { return 0; }
    Handle Parent(Handle) const override { return 0; }
    bool IsElement(Handle) const override { return false; }
    bool GetProp(Handle, std::string_view, Value&) override { return false; }
    bool SetProp(Handle, std::string_view, const Value&) override { return false; }
    std::string Describe(Handle) const override { return {}; }
    bool SaveErr() const override { return false; }
    bool UnicodeMode() const override { return true; }
};

TEST(Library, UnicodeModeCountsThreeByteCharactersOnce) {
    Calc c;
    UnicodeScene scene;
    c.env.scene = &scene;
    c.calc.Variables().Put("S", Value::Str(std::string("\x01\x10\x04"
                                                       "A\x01\x11\x04",
                                                       7)));
    ASSERT_TRUE(c.Run("N := Length(S); T := DelLastChar(S)"));
    ExpectInt(c.Var("N"), 3);
    ExpectStr(c.Var("T"), std::string("\x01\x10\x04"
                                      "A",
                                      4));
}

TEST(Library, Mathematics) {
    Calc c;
    ASSERT_TRUE(c.Run("A := Abs(-2); B := Int(7.9); C := Frac(7.25); D := Round(2.5);"
                      "E := Round(3.5); F := Trunc(-2.7); G := Ceil(2.1); H := Floor(-2.1);"
                      "I := Sign(-9); J := IntPower(2, 10); K := Sqr(3); L := Sqrt(16);"
                      "M := Mod(7, 3); N := Div(-7, 2); O := Max(1, 7, 3); P := Min('b', 'a');"
                      "Q := 5; Inc(Q); R := 5; Dec(R, 2.5); Inc(5); S := Exp(0) + Ln(1);"
                      "T := Random(1); U := ArcTan(0) + Sin(0) + Cos(0)"));
    ExpectDouble(c.Var("A"), 2);
    ExpectInt(c.Var("B"), 7, VarKind::Int64);
    ExpectDouble(c.Var("C"), 0.25);
    ExpectInt(c.Var("D"), 2);
    ExpectInt(c.Var("E"), 4);
    ExpectInt(c.Var("F"), -2);
    ExpectInt(c.Var("G"), 3);
    ExpectInt(c.Var("H"), -3);
    ExpectInt(c.Var("I"), -1, VarKind::ShortInt);
    ExpectDouble(c.Var("J"), 1024);
    ExpectDouble(c.Var("K"), 9);
    ExpectDouble(c.Var("L"), 4);
    ExpectInt(c.Var("M"), 1);
    ExpectInt(c.Var("N"), -3);
    ExpectInt(c.Var("O"), 7);
    ExpectStr(c.Var("P"), "a");
    ExpectInt(c.Var("Q"), 6);
    ExpectDouble(c.Var("R"), 2.5);
    ExpectDouble(c.Var("S"), 1);
    ExpectInt(c.Var("T"), 0);
    ExpectDouble(c.Var("U"), 1);
    EXPECT_FALSE(c.Run("X := Max(1, 2.5)"));
    EXPECT_EQ(c.Message(), "Invalid parameters, function MAX");
    EXPECT_FALSE(c.Run("X := Sqrt(-1)"));
    EXPECT_FALSE(c.Run("X := Inc(1, 2, 3)"));
}

TEST(Library, RandomUsesTheEnvironmentGenerator) {
    Calc c;
    c.env.random = [](int32_t n) { return n - 1; };
    ASSERT_TRUE(c.Run("A := Random(10)"));
    ExpectInt(c.Var("A"), 9);
}

TEST(Library, Dates) {
    Calc c;
    ASSERT_TRUE(c.Run("D := EncodeDate(2024, 2, 29); T := EncodeTime(12, 30, 15, 500);"
                      "W := DayOfWeek(D); M := IncMonth(D, 12); Y := 0; MO := 0; DA := 0;"
                      "DecodeDate(M, Y, MO, DA); H := 0; MI := 0; S := 0; MS := 0;"
                      "DecodeTime(T, H, MI, S, MS); YD := YearDays(D); F := FormatDateTime("
                      "'yyyy-mm-dd hh:nn:ss.zzz dddd mmm', D + T); Z := EncodeDate(1899, 12, 30);"
                      "YF := YearFrac(EncodeDate(2023, 7, 2), EncodeDate(2024, 7, 2))"));
    ExpectDouble(c.Var("D"), 45351);
    ExpectDouble(c.Var("T"), (12 * 3600 + 30 * 60 + 15.5) / 86400.0);
    ExpectInt(c.Var("W"), 5, VarKind::Word); // Thursday
    ExpectInt(c.Var("Y"), 2025, VarKind::Word);
    ExpectInt(c.Var("MO"), 2, VarKind::Word);
    ExpectInt(c.Var("DA"), 28, VarKind::Word);
    ExpectInt(c.Var("H"), 12, VarKind::Word);
    ExpectInt(c.Var("MS"), 500, VarKind::Word);
    ExpectInt(c.Var("YD"), 366, VarKind::Word);
    ExpectStr(c.Var("F"), "2024-02-29 12:30:15.500 Thursday Feb");
    ExpectDouble(c.Var("Z"), 0);
    // 183 days of 2023 (365) and 183 days of 2024 (366).
    ExpectDouble(c.Var("YF"), 183.0 / 365.0 + 183.0 / 366.0);
    EXPECT_FALSE(c.Run("X := EncodeDate(2023, 2, 29)"));
    EXPECT_FALSE(c.Run("X := EncodeTime(24, 0, 0, 0)"));
    EXPECT_FALSE(c.Run("X := Now(1)"));
}

TEST(Library, DateTextRoundTripsThroughTheSystemFormats) {
    Calc c;
    ASSERT_TRUE(c.Run("D := EncodeDate(2021, 3, 4); S := DateToStr(D); E := StrToDate(S);"
                      "T := EncodeTime(7, 8, 9, 0); TS := TimeToStr(T); T2 := StrToTime(TS);"
                      "N := Now(); DT := Date(); OK := (N >= DT) AND (N < DT + 1)"));
    ExpectDouble(c.Var("E"), c.Var("D").RawDouble());
    ExpectDouble(c.Var("T2"), c.Var("T").RawDouble());
    ExpectBool(c.Var("OK"), true);
    EXPECT_FALSE(c.Run("X := StrToDate('not a date')"));
    EXPECT_EQ(DecodeDateTime(-1.25).hour, 6);
    EXPECT_EQ(DecodeDateTime(-1.25).day, 29);
}

TEST(Library, VariablesAndScripts) {
    Calc c;
    ASSERT_TRUE(c.Run("A := 1; SetVar('a', 5); B := GetVar(' a '); C := Decode(2, 1, 'a', 2, 'b');"
                      "D := Decode(3, 1, 'a', 2, 'b', 'z'); Exec('E := A + 1'); P := Print('x')"));
    ExpectInt(c.Var("A"), 5);
    ExpectInt(c.Var("B"), 5);
    ExpectStr(c.Var("C"), "b");
    ExpectStr(c.Var("D"), "z");
    ExpectInt(c.Var("E"), 6);
    ExpectInt(c.Var("P"), 0, VarKind::Byte);
    EXPECT_FALSE(c.Run("SetVar('NOPE', 1)"));
    EXPECT_FALSE(c.Run("X := Decode(3, 1, 'a', 2, 'b')"));
}

TEST(Library, DecodeFailsOnAKeyItCannotCompare) {
    Calc c;
    ASSERT_TRUE(c.Run("A := Decode('2', 1, 'a', 2, 'b'); B := Decode('x', 'x', 1, 'z')"));
    ExpectStr(c.Var("A"), "b"); // a numeric text compares as its number
    ExpectInt(c.Var("B"), 1);
    // 'x' against the key 1 is no comparison at all, even when a later key would match.
    EXPECT_FALSE(c.Run("X := Decode('x', 1, 'a', 'x', 'b', 'z')"));
    EXPECT_EQ(c.Code(), 7);
    EXPECT_EQ(c.Message(), "Invalid parameters, function DECODE : Invalid operand types for \"=\"");
    EXPECT_FALSE(c.Has("X"));
    EXPECT_FALSE(c.Run("X := Decode(1, 'y', 'a')"));
}

TEST(Library, ExecInsideALoopKeepsTheLoopGoing) {
    Calc c;
    ASSERT_TRUE(c.Run("N := 0; I := 0; FOR I := 1 TO 3 DO BEGIN Exec('N := N + 1'); END"));
    ExpectInt(c.Var("N"), 3);
    EXPECT_FALSE(c.Run("Exec('X := 1 +')"));
    EXPECT_EQ(c.Code(), 1);
}

} // namespace
} // namespace kq::script::test
