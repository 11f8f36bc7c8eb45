// "Render" and "AddFilter" from scripts: which elements they act on, their argument rules and
// the one-time filter over a shape effect's composite.
#include "engine_test_util.h"

#include "elements/shape.h"

#include <gmock/gmock.h>

namespace kq::test {
namespace {

using ::testing::ElementsAre;

class EngineShapes : public EngineTest {
protected:
    EngineShapes() : menu(Screen("Menu")) {
        mask = &Add<elements::TKQShape>(menu, "TKQShape", "Mask");
        mask->Masked = true;
        mask->SizeX = 2;
        mask->SizeY = 1;
        rt.currentScreen = &menu;
        NewEffect();
    }
    // A new effect "Eff" (its composite starts transparent black) with the mask.
    void NewEffect() {
        if (eff) {
            eff->Destroy();
        }
        eff = &Add<elements::TKQShapeEff>(menu, "TKQShapeEff", "Eff");
        eff->Masked = true;
        eff->AutoRender = false;
        eff->SizeX = 4;
        eff->SizeY = 2;
        eff->SetHxColor(0x336699);
        eff->SetObMask(mask->Key);
    }
    std::vector<uint32_t> Composite() { return canvas.ReadPixels(eff->Composite()); }
    // A new effect composed: the 2 x 1 mask covers the first two pixels of the first row (the
    // recording canvas reads targets back as they were cleared: hxColor, alpha 0); the rest
    // keep the new composite's transparent black.
    void Recompose() {
        NewEffect();
        Run("RENDER(KQDB.MENU.MASK); RENDER(KQDB.MENU.EFF);");
        ASSERT_THAT(Composite(), ElementsAre(kC, kC, 0u, 0u, 0u, 0u, 0u, 0u));
    }
    static constexpr uint32_t kC = 0x00336699u;
    elements::TKQScreen& menu;
    elements::TKQShape* mask = nullptr;
    elements::TKQShapeEff* eff = nullptr;
};

TEST_F(EngineShapes, RenderComposesAnyShapeAndNothingElse) {
    auto& plain = Add<elements::TKQShape>(menu, "TKQShape", "Plain"); // not masked
    auto& picture = Image(menu, "Pic");
    EXPECT_TRUE(Call("Render", {H(picture)}).ok);
    EXPECT_TRUE(Call("Render", {script::Value::Str("Plain")}).ok);
    EXPECT_EQ(plain.TargetIndex(), -1);
    Run("RENDER(KQDB.MENU.PLAIN);");
    EXPECT_GE(plain.TargetIndex(), 0);
    // An effect the frame does not compose (AutoRender off) composes on demand.
    EXPECT_EQ(eff->TargetIndex(), -1);
    Run("RENDER(KQDB.MENU.EFF);");
    EXPECT_GE(eff->TargetIndex(), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(EngineShapes, AddFilterTakesMissingParametersAsZero) {
    Recompose();
    // Shift by (p1 columns, p2 rows), wrapping: no parameters is no shift.
    Run("ADDFILTER(KQDB.MENU.EFF, 4);");
    EXPECT_THAT(Composite(), ElementsAre(kC, kC, 0u, 0u, 0u, 0u, 0u, 0u));
    Run("ADDFILTER(KQDB.MENU.EFF, 4, 1);");
    const std::vector<uint32_t> oneColumn = Composite();
    EXPECT_NE(oneColumn, std::vector<uint32_t>({kC, kC, 0u, 0u, 0u, 0u, 0u, 0u}));
    EXPECT_EQ(std::count(oneColumn.begin(), oneColumn.begin() + 4, kC), 2);
    // The same with the rest given as 0 explicitly, from a fresh composite.
    Recompose();
    Run("ADDFILTER(KQDB.MENU.EFF, 4, 1, 0, 0);");
    EXPECT_EQ(Composite(), oneColumn);
    // The second parameter is the rows.
    Recompose();
    Run("ADDFILTER(KQDB.MENU.EFF, 4, 0, 1);");
    EXPECT_THAT(Composite(), ElementsAre(0u, 0u, 0u, 0u, kC, kC, 0u, 0u));
    EXPECT_TRUE(log.empty());
}

TEST_F(EngineShapes, AddFilterActsOnShapeEffectsWithAValidMaskOnly) {
    Recompose();
    // Too few arguments, a plain shape, a non-handle: nothing happens, the call succeeds.
    EXPECT_TRUE(Call("AddFilter", {H(*mask), script::Value::Int(4), script::Value::Int(1)}).ok);
    EXPECT_TRUE(Call("AddFilter", {script::Value::Int(7), script::Value::Int(4)}).ok);
    Run("ADDFILTER(KQDB.MENU.EFF);");
    EXPECT_THAT(Composite(), ElementsAre(kC, kC, 0u, 0u, 0u, 0u, 0u, 0u));
    EXPECT_FALSE(LoggedError("ADDFILTER"));
    // A kind or parameter that is not a number fails the call.
    Run("ADDFILTER(KQDB.MENU.EFF, 'wave');");
    EXPECT_TRUE(LoggedError("Invalid parameters, function ADDFILTER : Could not convert"));
    log.clear();
    Run("ADDFILTER(KQDB.MENU.EFF, 4, 1, 'x');");
    EXPECT_TRUE(LoggedError("Invalid parameters, function ADDFILTER : Could not convert"));
    EXPECT_THAT(Composite(), ElementsAre(kC, kC, 0u, 0u, 0u, 0u, 0u, 0u));
    // Without a valid mask the composite stays as it was.
    eff->SetObMask(0);
    Run("ADDFILTER(KQDB.MENU.EFF, 4, 1);");
    EXPECT_THAT(Composite(), ElementsAre(kC, kC, 0u, 0u, 0u, 0u, 0u, 0u));
}

} // namespace
} // namespace kq::test
