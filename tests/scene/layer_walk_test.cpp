// Walking a screen layer by layer: narrow ranges layer by layer, wide ones through the layers
// used, including those used only inside screens shown through placeholders.
#include "scene/layer_walk.h"
#include "scene_test_util.h"

#include <gmock/gmock.h>

namespace kq::test {
namespace {

using scene::TKQElement;
using ::testing::ElementsAre;

struct LayerWalk : SceneFixture, ::testing::Test {
    // Two screens whose placeholders show each other, and a third shown by both.
    TKQElement* a = Add(db, "TKQScreen", "A");
    TKQElement* b = Add(db, "TKQScreen", "B");
    TKQElement* c = Add(db, "TKQScreen", "C");

    LayerWalk() {
        a->Key = 1;
        b->Key = 2;
        c->Key = 3;
        Set(*Add(*a, "TKQImage", "InA"), "Order", 4);
        Set(*Add(*b, "TKQImage", "InB"), "Order", -6);
        Set(*Add(*c, "TKQImage", "InC"), "Order", 900'000);
        Show(*a, 2);
        Show(*a, 3);
        Show(*b, 1);
        Show(*b, 3);
    }
    void Show(TKQElement& parent, int32_t key) {
        auto* place = static_cast<TestPlaceholder*>(Add(parent, "TKQExScreen", "P"));
        place->obScreen = key;
    }
    std::vector<int32_t> Walk(int32_t lo, int32_t hi, bool descending) {
        std::vector<int32_t> seen;
        scene::WalkLayers(*a, lo, hi, descending, nullptr, [&](int32_t layer) {
            seen.push_back(layer);
            return false;
        });
        return seen;
    }
};

TEST_F(LayerWalk, UsedLayersReachShownScreensAndEndOnPlaceholdersShowingEachOther) {
    EXPECT_THAT(scene::UsedLayers(*a), ElementsAre(-6, 0, 4, 900'000));
    EXPECT_THAT(scene::UsedLayers(*c), ElementsAre(0, 900'000));
}

TEST_F(LayerWalk, NarrowRangesVisitEveryLayerWideOnesOnlyTheUsedOnes) {
    EXPECT_THAT(Walk(-1, 2, false), ElementsAre(-1, 0, 1, 2));
    EXPECT_THAT(Walk(-1, 2, true), ElementsAre(2, 1, 0, -1));
    EXPECT_TRUE(Walk(3, 2, false).empty());
    EXPECT_THAT(Walk(-10, 1'000'000, true), ElementsAre(900'000, 4, 0, -6));
    EXPECT_THAT(Walk(-5, 1'000'000, false), ElementsAre(0, 4, 900'000));
    EXPECT_THAT(Walk(INT32_MIN, INT32_MAX, false), ElementsAre(-6, 0, 4, 900'000));

    // The walk stops at the first layer the visitor answers true for.
    std::vector<int32_t> seen;
    scene::WalkLayers(*a, -10, 1'000'000, true, nullptr, [&](int32_t layer) {
        seen.push_back(layer);
        return layer == 4;
    });
    EXPECT_THAT(seen, ElementsAre(900'000, 4));

    bool warned = false;
    scene::WalkLayers(*a, 0, 1'000'000, false, &warned, [](int32_t) { return false; });
    EXPECT_TRUE(warned);
}

TEST_F(LayerWalk, WideRangesAlsoVisitTheLayersGivenBesideTheTree) {
    // Layers holding star sprites but no element: visited once, in order, within the range.
    const std::vector<int32_t> stars = {-20, 4, 1000, 2'000'000};
    std::vector<int32_t> seen;
    auto visit = [&](int32_t layer) {
        seen.push_back(layer);
        return false;
    };
    scene::WalkLayers(*a, -10, 1'000'000, false, nullptr, visit, stars);
    EXPECT_THAT(seen, ElementsAre(-6, 0, 4, 1000, 900'000));
    seen.clear();
    scene::WalkLayers(*a, -10, 1'000'000, true, nullptr, visit, stars);
    EXPECT_THAT(seen, ElementsAre(900'000, 1000, 4, 0, -6));
    // A narrow range visits every layer anyway.
    seen.clear();
    scene::WalkLayers(*a, 0, 2, false, nullptr, visit, stars);
    EXPECT_THAT(seen, ElementsAre(0, 1, 2));
}

} // namespace
} // namespace kq::test
