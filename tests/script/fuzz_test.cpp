// Random token strings and random bytes never crash or hang the interpreter.
#include <random>

#include "fake_scene.h"
#include "script_test_util.h"
#include "support/test_support.h"

namespace kq::script::test {
namespace {

void RunBounded(Calc& c, const std::string& source) {
    int steps = 0;
    c.calc.OnStep = [&] {
        if (++steps > 2000) {
            c.calc.RequestStop();
        }
    };
    c.calc.Run(source);
    steps = 0;
    // Random bytes may hold token markers: run them as a prepared text too.
    c.calc.RunPrepared(std::string_view(source));
    c.calc.OnStep = nullptr;
    // Whatever happened, the interpreter is usable afterwards.
    EXPECT_TRUE(c.calc.Run("ZZZ := 1"));
}

TEST(Fuzz, RandomTokenStrings) {
    static const char* const kWords[] = {
        "A",     "B",         "I",        "X.Y",   "KQDB",     "KQDB.MENU.X", "@2.",    ".X",
        "1",     "2.5",       "0",        "'s'",   "\"K.Y\"",  "'",           "TRUE",   "FALSE",
        "=",     "OR",        "AND",      "NOT",   "XOR",      ",",           ":",      "<>",
        ">",     "<",         ">=",       "<=",    "+",        "-",           "*",      "/",
        "^",     "(",         ")",        "[",     "]",        ";",           ":=",     "BEGIN",
        "END",   "IF",        "THEN",     "ELSE",  "FOR",      "TO",          "DOWNTO", "DO",
        "WHILE", "REPEAT",    "UNTIL",    "BREAK", "CONTINUE", "EXIT",        "GOTO",   "SHL",
        "SHR",   "PROCEDURE", "FUNCTION", "USES",  "INCLUDE",  "CASE",        "OF",     "..",
        "P",     "F",         "LENGTH",   "COPY",  "EXEC",     "GETVAR",      "FORMAT", "'%d'",
        "{",     "}",         "//",       "\n"};
    std::mt19937 rng(1234);
    Calc c;
    FakeScene scene;
    c.env.scene = &scene;
    Handle menu = scene.Add(1, "Menu", "TKQScreen");
    scene.Get(menu).props["X"] = Value::Int(1);
    c.env.self = menu;
    c.env.readFile = [](std::string_view) { return std::optional<std::string>("A := A + 1"); };
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    std::uniform_int_distribution<int> len(1, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string source = "A := 0; I := 0; ";
        int n = len(rng);
        for (int i = 0; i < n; ++i) {
            source += kWords[pick(rng)];
            source.push_back(' ');
        }
        c.lines.clear();
        RunBounded(c, source);
    }
}

TEST(Fuzz, RandomBytes) {
    std::mt19937 rng(99);
    Calc c;
    for (int round = 0; round < 500; ++round) {
        std::string source = kq::test::RandomBytes(rng, 1 + rng() % 200);
        RunBounded(c, source);
    }
}

TEST(Fuzz, DeepNestingIsRefusedNotOverflowed) {
    Calc c;
    std::string deep(20000, '(');
    EXPECT_FALSE(c.Run("A := " + deep + "1"));
    std::string blocks;
    for (int i = 0; i < 5000; ++i) {
        blocks += "BEGIN ";
    }
    EXPECT_FALSE(c.Run(blocks));
    std::string minus(20000, '-');
    EXPECT_FALSE(c.Run("A := " + minus + "1"));
    std::string ifs;
    for (int i = 0; i < 3000; ++i) {
        ifs += "IF TRUE THEN ";
    }
    EXPECT_FALSE(c.Run(ifs + "A := 1"));
}

} // namespace
} // namespace kq::script::test
