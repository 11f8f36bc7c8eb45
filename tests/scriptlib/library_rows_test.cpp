// The library as table rows: the order derived from the rows of both tables, and every row's
// argument bounds and wrong-count rule checked against what a call with a wrong count does.
#include "engine_test_util.h"

#include <set>

namespace kq::test {
namespace {

using script::LibraryEntry;
using script::TPasCalc;
using script::TVar;
using script::Value;
using script::WrongCount;

TEST(LibraryRows, OrderIsDerivedFromThePlacesOfBothTables) {
    const std::vector<std::string_view> order = script::library::LibraryOrder();
    ASSERT_EQ(order.size(), 104u);
    EXPECT_EQ(order[0], "Val");
    EXPECT_EQ(order[63], "ListAdd");
    EXPECT_EQ(order[65], "AnimStart");
    EXPECT_EQ(order[81], "Random");
    EXPECT_EQ(order[103], "ImStarsR");

    // Every place from 1 to 104 is taken exactly once, and no name twice in any letter case.
    std::vector<int> places;
    std::set<std::string> names;
    for (const script::NativeRow& row : script::GeneralRows()) {
        places.push_back(row.place);
        names.insert(media::UpperAscii(row.name));
    }
    for (const script::library::EngineRow& row : script::library::EngineRows()) {
        places.push_back(row.place);
        names.insert(media::UpperAscii(row.name));
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 0; i < places.size(); ++i) {
        ASSERT_EQ(places[i], static_cast<int>(i) + 1);
    }
    EXPECT_EQ(names.size(), 104u);
}

TEST(LibraryRows, EngineEntriesTakeTheirPlacesAndTitleProceduresFollow) {
    script::ScriptEnv env;
    TPasCalc full(&env);
    std::vector<LibraryEntry> engine;
    for (const script::library::EngineRow& row : script::library::EngineRows()) {
        engine.push_back({row.name, row.place,
                          [n = std::string(row.name)](TPasCalc&, std::vector<TVar>&, TVar& r) {
                              r.value = Value::Str(n);
                              return true;
                          }});
    }
    auto title = [](TPasCalc&, std::vector<TVar>&, TVar&) { return true; };
    script::RegisterLibrary(full, engine, {{"StarsToUp", title}});
    std::vector<std::string> all = full.FunctionNames();
    ASSERT_EQ(all.size(), 105u);
    EXPECT_EQ(all[63], "LISTADD");
    EXPECT_EQ(all[81], "RANDOM");
    EXPECT_EQ(all[103], "IMSTARSR");
    EXPECT_EQ(all[104], "STARSTOUP");
    ASSERT_TRUE(full.Run("A := SetScreen(1)"));
    EXPECT_EQ(full.Variables().Lookup("A")->value.RawStr(), "SetScreen");
}

class LibraryRowCounts : public EngineTest {
protected:
    // Calls `routine` with `count` Integer arguments (never handles) and checks the outcome
    // against the row's rule.
    template <class Row>
    void ExpectRuleAt(const Row& row, const script::NativeRoutine& routine, size_t count) {
        std::vector<TVar> params(count, TVar{"VALUE", Value::Int(1)});
        TVar result;
        const bool ok = routine(scripts.Pool().Instance(0), params, result);
        const std::string what = std::string(row.name) + " with " + std::to_string(count);
        switch (row.wrongCount) {
        case WrongCount::Fail:
            EXPECT_FALSE(ok) << what;
            break;
        case WrongCount::ByteZero:
            EXPECT_TRUE(ok) << what;
            EXPECT_EQ(result.value.Kind(), script::VarKind::Byte) << what;
            EXPECT_EQ(result.value.RawInt(), 0) << what;
            break;
        case WrongCount::EmptyResult:
            EXPECT_TRUE(ok) << what;
            EXPECT_TRUE(result.value.IsEmpty()) << what;
            break;
        }
        ++checked;
    }
    template <class Row>
    void ExpectRuleOutsideBounds(const Row& row, const script::NativeRoutine& routine) {
        ASSERT_TRUE(routine) << row.name;
        if (row.minArgs > 0) {
            ExpectRuleAt(row, routine, static_cast<size_t>(row.minArgs) - 1);
        }
        if (row.maxArgs != script::kUnbounded) {
            ExpectRuleAt(row, routine, static_cast<size_t>(row.maxArgs) + 1);
            ExpectRuleAt(row, routine, static_cast<size_t>(row.maxArgs) + 5);
        }
    }
    int checked = 0;
};

TEST_F(LibraryRowCounts, EveryRowAppliesItsOwnWrongCountRule) {
    // The library's rules: a general function fails on a wrong count; an engine function does
    // nothing and succeeds, except the settings calls and the star launchers, which fail.
    const std::set<std::string_view> failingEngineNames = {"GetIni", "SetIni", "AddStar",
                                                           "ImStarsR"};
    for (const script::NativeRow& row : script::GeneralRows()) {
        EXPECT_EQ(row.wrongCount, WrongCount::Fail) << row.name;
        ExpectRuleOutsideBounds(row, script::GeneralEntry(row).routine);
    }
    for (const script::library::EngineRow& row : script::library::EngineRows()) {
        EXPECT_EQ(row.wrongCount == WrongCount::Fail, failingEngineNames.count(row.name) == 1)
            << row.name;
        if (row.routine) {
            ExpectRuleOutsideBounds(row, EngineRoutine(row.name));
        }
    }
    EXPECT_GT(checked, 100);
    // Nothing was done by a rejected call: no screen change, no timer reset, no exit.
    EXPECT_EQ(rt.currentScreen, nullptr);
    EXPECT_EQ(timerResets, 0);
    EXPECT_FALSE(rt.exitRequested);
}

TEST_F(LibraryRowCounts, TheRulesReachScripts) {
    // Too few arguments: a general function fails with the interpreter's message, an engine
    // procedure does nothing and the script carries on with its Byte 0 or empty result.
    Run("KQDB.TAG := 'a'; X := Copy('abc', 1); KQDB.TAG := 'b';");
    EXPECT_EQ(db.Tag, "a");
    EXPECT_TRUE(LoggedError("Invalid parameters, function COPY"));
    log.clear();
    Run("X := MoveTo(1); Y := GetAlpha(1, 2); KQDB.TAG := IntToStr(X) + '|done';");
    EXPECT_FALSE(LoggedError("Invalid parameters"));
    EXPECT_EQ(db.Tag, "0|done") << ::testing::PrintToString(log);
}

} // namespace
} // namespace kq::test
