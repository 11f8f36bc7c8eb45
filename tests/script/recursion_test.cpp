// Deep recursion of script routines: the call bound, the native stack it needs and the refusal
// past either.
#include "script/native_stack.h"
#include "script_test_util.h"

#include <pthread.h>

#include <algorithm>
#include <iostream>

namespace kq::script::test {
namespace {

// A recursive fill of a 30x30 board held in the string S (passed by value-result, so each
// call's marks come back to its caller). From the corner it walks the board as one snake, so
// the calls nest about 900 deep.
constexpr std::string_view kFloodFill =
    "PROCEDURE FILL(S, X, Y);"
    "BEGIN"
    "  IF (X >= 1) AND (X <= 30) AND (Y >= 1) AND (Y <= 30) THEN"
    "    IF S[(Y - 1) * 30 + X] = '.' THEN BEGIN"
    "      S[(Y - 1) * 30 + X] := '#'; DEPTH := DEPTH + 1; NOTE(DEPTH);"
    "      FILL(S, X + 1, Y); FILL(S, X - 1, Y); FILL(S, X, Y + 1); FILL(S, X, Y - 1);"
    "      DEPTH := DEPTH - 1;"
    "    END;"
    "END;";

// Counts down N levels; DOWN(N) nests N + 1 calls.
constexpr std::string_view kDown =
    "FUNCTION DOWN(N); BEGIN IF N = 0 THEN RESULT := 0 ELSE RESULT := DOWN(N - 1) + 1 END;";

// Runs body on a thread with the given stack size (what a host without a big stack gives).
void RunOnStack(size_t bytes, const std::function<void()>& body) {
    struct Work {
        const std::function<void()>* body;
    } work{&body};
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<Work*>(arg)->body)();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &work), 0);
    pthread_attr_destroy(&attr);
    pthread_join(thread, nullptr);
}

TEST(Recursion, FloodFillOverAWholeBoardOnTheScriptStack) {
    int result = RunWithScriptStack([] {
        Calc c;
        // DEPTH changes inside the calls, where changes are undone on return; a native keeps
        // the deepest value seen.
        int64_t deepest = 0;
        c.calc.SetFunction("NOTE", [&](TPasCalc&, std::vector<TVar>& p, TVar&) {
            deepest = std::max<int64_t>(deepest, p.empty() ? 0 : p[0].value.RawInt());
            return true;
        });
        const bool ok = c.Run(std::string(kFloodFill) + "S := '" + std::string(900, '.') +
                              "'; DEPTH := 0; FILL(S, 1, 1)");
        EXPECT_TRUE(ok) << c.Message();
        ExpectStr(c.Var("S"), std::string(900, '#'));
        EXPECT_EQ(deepest, 900);
        return 0;
    });
    EXPECT_EQ(result, 0);
}

TEST(Recursion, CallsNestToTheirBoundAndFailClearlyPastIt) {
    RunWithScriptStack([] {
        Calc c;
        const int bound = TPasCalc::kMaxCallDepth;
        EXPECT_GE(bound, 1000);
        EXPECT_TRUE(c.Run(std::string(kDown) + "D := DOWN(" + std::to_string(bound - 1) + ")"))
            << c.Message();
        ExpectInt(c.Var("D"), bound - 1);

        EXPECT_FALSE(c.Run(std::string(kDown) + "E := DOWN(" + std::to_string(bound) + ")"));
        EXPECT_EQ(c.Message(), "Too many nested calls, procedure DOWN");
        EXPECT_EQ(c.Code(), 7);
        EXPECT_FALSE(c.Has("E"));
        EXPECT_EQ(c.lines.size(), 1u); // one error line, no crash
        return 0;
    });
}

TEST(Recursion, EachCallHasItsOwnExpressionNestingBudget) {
    RunWithScriptStack([] {
        Calc c;
        // 250 parentheses inside the thousandth call.
        const std::string deep = std::string(250, '(') + "N" + std::string(250, ')');
        EXPECT_TRUE(c.Run("FUNCTION F(N); BEGIN IF N = 1000 THEN RESULT := " + deep +
                          " ELSE RESULT := F(N + 1) END; D := F(1)"))
            << c.Message();
        ExpectInt(c.Var("D"), 1000);
        // Within one body the bound still holds.
        EXPECT_FALSE(c.Run("FUNCTION G(N); BEGIN RESULT := " + std::string(400, '(') + "N" +
                           std::string(400, ')') + " END; D := G(1)"));
        return 0;
    });
}

// A host thread with a small stack: the native stack check stops the recursion first.
TEST(Recursion, ASmallNativeStackEndsTheRunWithAnErrorNotACrash) {
    bool ok = true;
    std::string message;
    RunOnStack(kScriptStackReserve + (size_t{1} << 20), [&] {
        Calc c;
        ok = c.Run(std::string(kDown) + "D := DOWN(1999)");
        message = c.Message();
    });
    EXPECT_FALSE(ok);
    // The check that finds the stack short may be a call's or an expression's.
    EXPECT_TRUE(message == "Too many nested calls, procedure DOWN" ||
                message == "Error in expression")
        << message;
    // Index lists nest evaluations directly.
    std::string nested = "A[";
    for (int i = 0; i < 20000; ++i) {
        nested += "A[";
    }
    nested += "1" + std::string(20001, ']');
    ok = true;
    RunOnStack(kScriptStackReserve + (size_t{1} << 20), [&] {
        Calc c;
        ok = c.Run("X := " + nested);
    });
    EXPECT_FALSE(ok);
}

// How much native stack one level of a routine like FILL takes, and that the script stack
// holds the call bound with room to spare (sanitizer builds have the largest frames).
TEST(Recursion, TheScriptStackHoldsTheCallBound) {
    RunWithScriptStack([] {
        Calc c;
        std::vector<uintptr_t> frames;
        c.calc.SetFunction("PROBE", [&](TPasCalc&, std::vector<TVar>&, TVar&) {
            frames.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
            return true;
        });
        const std::string body = "PROCEDURE R(N); BEGIN IF N >= 0 THEN BEGIN IF N = 0 THEN "
                                 "PROBE() ELSE BEGIN X := 1; R(N - 1); END; END; END;";
        EXPECT_TRUE(c.Run(body + "R(0); R(100)")) << c.Message();
        EXPECT_EQ(frames.size(), 2u);
        if (frames.size() != 2) {
            return 0;
        }
        const size_t perLevel = (frames[0] - frames[1]) / 100;
        std::cout << "native stack per script call level: " << perLevel << " bytes\n";
        EXPECT_GT(perLevel, 0u);
        EXPECT_LT(perLevel * TPasCalc::kMaxCallDepth * 4, kScriptStackBytes - kScriptStackReserve);
        return 0;
    });
}

} // namespace
} // namespace kq::script::test
