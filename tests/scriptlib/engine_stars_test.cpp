// Star launchers: AddStar and ImStarsR of the library, the star procedures of the built-in
// title pack, the registry of title packs, and the screen changes clearing the stars.
#include "engine_test_util.h"

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <set>
#include <sstream>

namespace kq::test {
namespace {

using scene::Star;
using script::Value;

class EngineStars : public EngineTest {
protected:
    std::vector<Star> Live() const {
        std::vector<Star> live;
        for (const Star& s : db.Stars().Records()) {
            if (s.live) {
                live.push_back(s);
            }
        }
        return live;
    }
    // A picture whose pixels are opaque (alpha 255) where `opaque` says, else alpha 0.
    template <typename F>
    elements::TKQImage& Picture(const std::string& file, int w, int h, F opaque) {
        Png(file, w, h, [&](int x, int y) { return opaque(x, y) ? 0xFF808080u : 0x00808080u; });
        elements::TKQImage& img = Image(menu, file, file);
        EXPECT_NE(img.Picture(), nullptr);
        return img;
    }
    script::NativeRoutine Title(std::string_view name) {
        for (auto& [n, routine] : script::library::TitleProcedures(scripts, rt)) {
            if (n == name) {
                return routine;
            }
        }
        ADD_FAILURE() << name;
        return {};
    }
    bool CallTitle(std::string_view name, std::vector<Value> args) {
        std::vector<script::TVar> params;
        for (auto& a : args) {
            params.push_back({"VALUE", std::move(a)});
        }
        script::TVar result;
        return Title(name)(scripts.Pool().Instance(0), params, result);
    }
    elements::TKQScreen& menu = Screen("Menu");
};

TEST_F(EngineStars, AddStarTakesItsArgumentsInOrderWithDefaults) {
    std::vector<Value> eight = {Value::Double(45),  Value::Int(10),     Value::Int(20),
                                Value::Double(0.5), Value::Int(3),      Value::Double(-0.1),
                                Value::Int(2),      Value::Double(-1.5)};
    CallResult r = Call("AddStar", eight);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.value.Kind(), script::VarKind::Byte);
    std::vector<Value> twelve = eight;
    for (Value v : {Value::Int(4), Value::Str("$FF0000"), Value::Int(2), Value::Int(1284)}) {
        twelve.push_back(v);
    }
    EXPECT_TRUE(Call("AddStar", twelve).ok);
    const std::vector<Star> live = Live();
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0].angle, 45);
    EXPECT_EQ(live[0].x, 10);
    EXPECT_EQ(live[0].y, 20);
    EXPECT_EQ(live[0].size, 0.5);
    EXPECT_EQ(live[0].angleSpeed, 3);
    EXPECT_EQ(live[0].sizeSpeed, -0.1);
    EXPECT_EQ(live[0].xSpeed, 2);
    EXPECT_EQ(live[0].ySpeed, -1.5);
    EXPECT_EQ(live[0].pattern, 0);
    EXPECT_EQ(live[0].layer, 1000);
    EXPECT_EQ(live[0].mode, 260);
    EXPECT_LT(live[0].color, 0xFFFFFFu);
    EXPECT_EQ(live[1].pattern, 4);
    EXPECT_EQ(live[1].color, 0xFF0000u);
    EXPECT_EQ(live[1].layer, 2);
    EXPECT_EQ(live[1].mode, 1284);

    // Seven or thirteen arguments, or a number that does not convert, fail the call.
    Run("KQDB.TAG := 'a'; ADDSTAR(0, 1, 2, 3, 4, 5, 6);");
    EXPECT_TRUE(LoggedError("Invalid parameters, function ADDSTAR"));
    Run("ADDSTAR(0, 'left', 2, 3, 4, 5, 6, 7);");
    EXPECT_TRUE(LoggedError("Invalid parameters, function ADDSTAR : Could not convert"));
    EXPECT_EQ(Live().size(), 2u);
}

TEST_F(EngineStars, ImStarsRScattersOverPixelsAtLeastAsOpaqueAsTheThreshold) {
    // Only the right half is opaque.
    elements::TKQImage& img = Picture("half.png", 8, 4, [](int x, int) { return x >= 4; });
    img.SetRealPos(100, 50);
    std::vector<Value> args = {H(img),           Value::Int(200), Value::Int(255),
                               Value::Double(1), Value::Int(50),  Value::Double(-0.1),
                               Value::Int(0),    Value::Int(0),   Value::Int(0),
                               Value::Int(-1)};
    CallResult r = Call("ImStarsR", args);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.value.IsEmpty());
    const std::vector<Star> live = Live();
    // About half of 200 tries hit the opaque half; every star lies on it.
    EXPECT_GT(live.size(), 60u);
    EXPECT_LT(live.size(), 140u);
    for (const Star& s : live) {
        EXPECT_GE(s.x, 104);
        EXPECT_LT(s.x, 108);
        EXPECT_GE(s.y, 50);
        EXPECT_LT(s.y, 54);
        EXPECT_GE(s.size, 1.0);
        EXPECT_LT(s.size, 1.5);
        EXPECT_EQ(s.ySpeed, -1);
        EXPECT_EQ(s.layer, 1000);
    }
    db.ClearStars();
    // A transparent picture with a threshold above 0 launches nothing.
    args[2] = Value::Int(1);
    elements::TKQImage& clear = Picture("clear.png", 8, 4, [](int, int) { return false; });
    args[0] = H(clear);
    EXPECT_TRUE(Call("ImStarsR", args).ok);
    EXPECT_TRUE(Live().empty());
    // Not a handle: the call fails; a handle of something else does nothing.
    args[0] = Value::Str("Img");
    EXPECT_FALSE(Call("ImStarsR", args).ok);
    args[0] = H(menu);
    EXPECT_TRUE(Call("ImStarsR", args).ok);
    EXPECT_TRUE(Live().empty());
}

TEST_F(EngineStars, ScreenChangesClearTheStars) {
    elements::TKQScreen& other = Screen("Other");
    for (std::string_view change : {"SetScreen", "FastSetScreen", "FastSetScreenNS"}) {
        db.Stars().Add(Star{});
        ASSERT_EQ(db.Stars().LiveCount(), 1);
        EXPECT_TRUE(Call(change, {H(other)}).ok);
        EXPECT_EQ(db.Stars().LiveCount(), 0) << change;
    }
}

TEST_F(EngineStars, RisingStarsStartInTheOpaqueRunOfTheirColumn) {
    // Every column is opaque from row 3 to row 6 only.
    elements::TKQImage& img =
        Picture("band.png", 5, 10, [](int, int y) { return y >= 3 && y <= 6; });
    for (int i = 0; i < 40; ++i) {
        EXPECT_TRUE(CallTitle("StarsToUp", {H(img)}));
        EXPECT_TRUE(CallTitle("StarsTopToUp", {H(img), Value::Int(100)}));
    }
    const std::vector<Star> live = Live();
    ASSERT_EQ(live.size(), 80u);
    std::set<double> toUpRows;
    for (size_t i = 0; i < live.size(); ++i) {
        const Star& s = live[i];
        const bool top = i % 2 == 1;
        EXPECT_GE(s.y, 3);
        EXPECT_LE(s.y, 6);
        if (top) {
            EXPECT_EQ(s.y, 3);
        } else {
            toUpRows.insert(s.y);
        }
        EXPECT_EQ(s.pattern, 2);
        EXPECT_EQ(s.mode, 260);
        EXPECT_EQ(s.sizeSpeed, -0.02);
        EXPECT_EQ(s.ySpeed, -1);
        EXPECT_GE(s.size, 0.5);
        EXPECT_LT(s.size, 1.0);
        EXPECT_GE(s.angleSpeed, -5);
        EXPECT_LE(s.angleSpeed, 4);
        EXPECT_EQ(s.angle, std::floor(s.angle));
        EXPECT_LT(s.angle, 360);
    }
    EXPECT_GT(toUpRows.size(), 1u); // a random row of the run, not always its top
}

TEST_F(EngineStars, TwinklingStarsSitOnOpaquePixelsOnly) {
    // One opaque pixel at (2, 1) with alpha 255; a half-transparent one (alpha 0x80) at (0, 0)
    // is opaque for the threshold 100 but not for 200.
    Png("p.png", 4, 3, [](int x, int y) {
        if (x == 2 && y == 1) {
            return 0xFF00FF00u;
        }
        return x == 0 && y == 0 ? 0x80000000u : 0u;
    });
    elements::TKQImage& img = Image(menu, "Img", "p.png");
    for (int i = 0; i < 10; ++i) {
        CallTitle("StarsAll", {H(img), Value::Int(200)});
        CallTitle("StarsAll2", {H(img), Value::Int(200)});
        CallTitle("StarsAll3", {H(img), Value::Str("$0000FF"), Value::Int(200)});
    }
    std::vector<Star> live = Live();
    ASSERT_EQ(live.size(), 30u);
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(live[i].x, 2);
        EXPECT_EQ(live[i].y, 1);
        EXPECT_EQ(live[i].ySpeed, 0);
        EXPECT_EQ(live[i].sizeSpeed, i % 3 == 2 ? -0.03 : -0.015);
        if (i % 3 == 2) {
            EXPECT_EQ(live[i].color, 0x0000FFu);
        }
    }
    db.ClearStars();
    bool sawHalf = false;
    for (int i = 0; i < 30; ++i) {
        CallTitle("StarsAll", {H(img)}); // threshold 100
    }
    for (const Star& s : Live()) {
        sawHalf = sawHalf || (s.x == 0 && s.y == 0);
    }
    EXPECT_TRUE(sawHalf);

    // Wrong counts, a non-image, a bare image: nothing, and success.
    db.ClearStars();
    elements::TKQImage& bare = Image(menu, "Bare");
    EXPECT_TRUE(CallTitle("StarsAll", {}));
    EXPECT_TRUE(CallTitle("StarsAll", {H(img), Value::Int(1), Value::Int(2)}));
    EXPECT_TRUE(CallTitle("StarsAll3", {H(img)}));
    EXPECT_TRUE(CallTitle("StarsToUp", {H(menu)}));
    EXPECT_TRUE(CallTitle("StarsTopToUp", {H(bare)}));
    EXPECT_TRUE(CallTitle("StarsAll", {H(img), Value::Str("much")}));
    EXPECT_TRUE(Live().empty());
    // Through a script, on an element that is not an image, the script carries on.
    Run("STARSALL(KQDB.MENU); KQDB.TAG := 'on';");
    EXPECT_EQ(db.Tag, "on");
}

TEST(TitlePacks, NamesAreUniqueAcrossPacksAndTheLibrary) {
    std::set<std::string> names;
    for (std::string_view name : script::library::LibraryOrder()) {
        ASSERT_TRUE(names.insert(media::UpperAscii(name)).second) << name;
    }
    size_t procedures = 0;
    for (const script::library::TitlePack& pack : script::library::TitlePacks()) {
        for (const script::library::TitleProcedure& p : pack.procedures()) {
            EXPECT_TRUE(names.insert(media::UpperAscii(p.name)).second)
                << p.name << " of pack " << pack.title << " is taken";
            EXPECT_NE(p.routine, nullptr) << p.name;
            EXPECT_FALSE(p.description.empty()) << p.name;
            ++procedures;
        }
    }
    EXPECT_GE(procedures, 5u);
}

TEST_F(EngineStars, TitleProceduresFollowTheLibraryAndUnknownNamesAreLoggedOnce) {
    std::vector<std::string> names = scripts.Pool().Instance(0).FunctionNames();
    ASSERT_GE(names.size(), 6u);
    const size_t last = names.size() - 1;
    EXPECT_EQ(names[last - 5], "IMSTARSR"); // the library's last name
    EXPECT_EQ(names[last - 4], "STARSTOUP");
    EXPECT_EQ(names[last], "STARSALL3");

    std::ostringstream captured;
    auto logger = std::make_shared<spdlog::logger>(
        "capture", std::make_shared<spdlog::sinks::ostream_sink_mt>(captured));
    auto previous = spdlog::default_logger();
    spdlog::set_default_logger(logger);
    Run("LEVELSTEP(1);");
    Run("LEVELSTEP(2);");
    Run("OTHERLEVEL(3);");
    spdlog::set_default_logger(previous);
    EXPECT_TRUE(LoggedError("Unknown function: LEVELSTEP"));
    const std::string text = captured.str();
    size_t count = 0;
    for (size_t at = text.find("no native routine LEVELSTEP"); at != std::string::npos;
         at = text.find("no native routine LEVELSTEP", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 1u) << text;
    EXPECT_NE(text.find("no native routine OTHERLEVEL"), std::string::npos) << text;
}

} // namespace
} // namespace kq::test
