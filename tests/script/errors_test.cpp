// Error messages and codes, byte for byte.
#include "script_test_util.h"

namespace kq::script::test {
namespace {

struct ErrorCase {
    const char* script;
    const char* message;
    int code;
};

class Errors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Errors, MessageAndCode) {
    Calc c;
    const ErrorCase& e = GetParam();
    EXPECT_FALSE(c.Run(e.script));
    EXPECT_EQ(c.Message(), e.message) << e.script;
    EXPECT_EQ(c.Code(), e.code) << e.script;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Errors,
    ::testing::Values(
        ErrorCase{"A := 12AB", "Invalid number: 12AB", 1},
        ErrorCase{"A := 1.2.3", "Invalid number: 1.2.3", 1},
        ErrorCase{"A := * 2", "Unknown or invalid operator in expression: *", 1},
        ErrorCase{"A := 1 2", "Error in expression", 1},
        ErrorCase{"A :=", "Empty string - not expression", 1},
        ErrorCase{"A := (1 + 2", "')' expected", 2},
        ErrorCase{"A := 'abc", "Unterminated string: 'abc", 6},
        ErrorCase{"A := KQDB.NOSUCH.X", "Variable not found: KQDB.NOSUCH.X", 3},
        ErrorCase{"A 5", "Found 5, expected :=, (, [ or ;", 1},
        ErrorCase{"5 := 1", "Invalid operator: 5", 9},
        ErrorCase{"ELSE A := 1", "ELSE without IF", 9},
        ErrorCase{"BEGIN A := 1", "END expected", 10}, ErrorCase{"A := 1; END", "Too many END", 11},
        ErrorCase{"REPEAT A := 1", "UNTIL expected", 16},
        ErrorCase{"A := 1 UNTIL", "Too many UNTIL", 17},
        ErrorCase{"FOR I := 1 DO A := 1", "TO or DOWNTO expected", 12},
        ErrorCase{"FOR 1 TO 2 DO A := 1", "FOR control variable expected", 13},
        ErrorCase{"I := 0; FOR I = 1 TO 2 DO A := 1",
                  "Invalid \xEE\xF0"
                  "erator: = ('FOR' expected ",
                  9},
        ErrorCase{"I := 0; FOR I := 'x' TO 2 DO A := 1", "Invalid loop variable value 'x'", 5},
        ErrorCase{"I := 0; FOR I := 1 TO 2 A := 1", "DO expected", 14},
        ErrorCase{"WHILE 1 A := 1", "DO expected", 14},
        ErrorCase{"IF 'maybe' THEN A := 1", "Invalid condition type", 5},
        ErrorCase{"CASE 1 A: B := 1; END", "OF expected", 14},
        ErrorCase{"CASE 1 OF 1: A := 1 END", "Too many END", 11},
        ErrorCase{"CASE 1 OF 1 A := 1; END", ": expected", 29},
        ErrorCase{"CASE 1 OF : A := 1; END", "Range defininition expected", 29},
        ErrorCase{"CASE 1 OF ELSE A := 1; ELSE B := 1; END", "Too many ELSEin CASE statement", 28},
        ErrorCase{"CASE 1 OF 1..5: A := 1; END", "Error in expression", 1},
        ErrorCase{"CASE 1 OF 1 .. 'x': A := 1; END", "Invalid typecast in CASE range", 1},
        ErrorCase{"BREAK", "BREAK outside loop", 15},
        ErrorCase{"IF TRUE THEN CONTINUE", "CONTINUE outside loop", 15},
        ErrorCase{"BREAK 1", "Invalid BREAK operator", 1},
        ErrorCase{"EXIT NOW", "Invalid EXIT operator", 1},
        ErrorCase{"GOTO", "Invalid label in GOTO", 1},
        ErrorCase{"GOTO 'x'", "Invalid label in GOTO", 1},
        ErrorCase{"GOTO A B", "Error in GOTO statement", 1},
        ErrorCase{"GOTO NOWHERE", "Label NOWHERE not exist or unreacheble", 18},
        ErrorCase{"A[1 := 2", "] expected", 21},
        ErrorCase{"A[1] := 1; A := 2", "Array with same name exist : A", 24},
        ErrorCase{"A[1] := 1; B := A", "Array with same name exist : A", 24},
        ErrorCase{"A := 'x'; B := A[1][1]", "Variable with same name exist : A", 24},
        ErrorCase{"A := 5; B := A[1]", "Invalid variable type: A", 5},
        ErrorCase{"S := 'abc'; B := S[0]", "String index out of range: 0", 19},
        ErrorCase{"S := 'abc'; B := S[1,2]", "Invalid string index", 19},
        ErrorCase{"S := 'abc'; B := S[]", "Empty string index", 19},
        ErrorCase{"S := 'abc'; B := S['x']", "Invalid index: 'x'", 5},
        ErrorCase{"S := 'abc'; B := S[1 +]", "Error in expression", 1},
        ErrorCase{"S := 'abc'; S[1] := 'xy'", "Character expected: 'xy'", 20},
        ErrorCase{"S := 'abc'; S[1] := 300", "Character value out of range: 300", 20},
        ErrorCase{"S := 'abc'; S[9] := 'x'", "String index out of range: 9", 19},
        ErrorCase{"#A := 1", "Invalid variable name: #A", 4},
        ErrorCase{"X := F(1", "Invalid function params: 1", 1},
        ErrorCase{"X := TRIM('a', )", "Empty string - not expression", 1},
        ErrorCase{"X := STRTOFLOAT('12a')", "Invalid parameters, function STRTOFLOAT", 7},
        ErrorCase{"X := DIV(7, 0)", "Invalid parameters, function DIV : Division by zero", 7}));

TEST(ErrorLines, FirstErrorIsKeptAndLoggedOnce) {
    Calc c;
    EXPECT_FALSE(c.Run("A := 'x' + 1 + (2"));
    EXPECT_EQ(c.Message(), "Invalid operand types for \"+\"");
    ASSERT_EQ(c.lines.size(), 1u);
    // message (tokens each followed by a blank, one more blank, " in ", element) event
    EXPECT_EQ(c.lines[0], "Invalid operand types for \"+\" ('x' + 1 + ( 2   in ) ");
    EXPECT_EQ(c.calc.ErrorLine(), c.lines[0]);
    EXPECT_EQ(c.calc.ErrorText(), "'x' + 1 + ( 2  ");
}

TEST(ErrorLines, VariablesKeepTheirValuesAfterAnError) {
    Calc c;
    EXPECT_FALSE(c.Run("A := 1; B := 'x' - 1; A := 2"));
    ExpectInt(c.Var("A"), 1);
    EXPECT_FALSE(c.Has("B"));
}

} // namespace
} // namespace kq::script::test
