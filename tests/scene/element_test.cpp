// The element base: positions, traversals, hit testing, layer ranges, keys and the tree.
#include "scene_test_util.h"

#include "script/var_list.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

using scene::ScriptSlot;
using scene::TKQElement;

std::vector<std::string> Events(const RecordingHost& host) {
    std::vector<std::string> out;
    for (const auto& run : host.runs) {
        out.push_back(run.element + ":" + run.event);
    }
    return out;
}

TEST(Element, PositionsRoundHalfToEvenAndAddUp) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* image = f.Add(*screen, "TKQImage", "I");
    image->rX = 2.5;
    EXPECT_EQ(image->X(), 2);
    image->rX = 3.5;
    EXPECT_EQ(image->X(), 4);
    image->rX = -2.5;
    EXPECT_EQ(image->X(), -2);
    screen->SetX(100);
    image->SetX(10);
    EXPECT_EQ(image->GetAbsX(), 110);
    image->SetAbsX(150);
    EXPECT_EQ(image->X(), 50);
    image->SetAbsY(-20);
    EXPECT_EQ(image->GetAbsY(), -20);
    f.db.SetX(7);
    screen->SetAbsX(7);
    EXPECT_EQ(screen->X(), 0);
}

TEST(Element, ProcessSkipsHiddenSubtreesUnlessMousedNotVis) {
    SceneFixture f;
    RecordingHost host;
    f.rt.scripts = &host;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* image = f.Add(*screen, "TKQImage", "I");
    auto* child = f.Add(*image, "TKQImage", "C");
    image->SetScript(ScriptSlot::Process, "A := 1;");
    child->SetScript(ScriptSlot::Process, "B := 1;");
    EXPECT_EQ(child->Script(ScriptSlot::Process).prepared.text, "prepared:B := 1;");

    image->SetVis(false);
    screen->Process();
    EXPECT_TRUE(host.runs.empty());

    image->MousedNotVis = true;
    screen->Process();
    EXPECT_EQ(Events(host), (std::vector<std::string>{"I:Process", "C:Process"}));

    // The root's Process runs only its own text, not its children.
    host.runs.clear();
    f.db.SetScript(ScriptSlot::Process, "R := 1;");
    f.db.Process();
    EXPECT_EQ(Events(host), (std::vector<std::string>{":Process"}));
}

TEST(Element, InitRunsOnceInitPrEveryTime) {
    SceneFixture f;
    RecordingHost host;
    f.rt.scripts = &host;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* image = f.Add(*screen, "TKQImage", "I");
    image->SetScript(ScriptSlot::Init, "X := 1;");
    screen->SetScript(ScriptSlot::Init, "Y := 1;");
    screen->Init();
    screen->Init();
    EXPECT_EQ(Events(host), (std::vector<std::string>{"S:Init", "I:Init"}));
    ASSERT_NE(image->Vars(), nullptr);
    image->InitPr();
    image->InitPr();
    EXPECT_EQ(host.runs.size(), 4u);
    EXPECT_EQ(host.runs.back().event, "InitPr");

    // A screen with AutoInit off is marked but runs nothing, nor do its children.
    host.runs.clear();
    auto* manual = f.Add(f.db, "TKQScreen", "M");
    f.Add(*manual, "TKQImage", "MI")->SetScript(ScriptSlot::Init, "Z := 1;");
    manual->AutoInit = false;
    manual->Init();
    EXPECT_TRUE(manual->Initialized);
    EXPECT_TRUE(host.runs.empty());

    // The root's InitPr clears Initialized everywhere and initialises the tree again.
    f.db.InitPr();
    EXPECT_EQ(Events(host), (std::vector<std::string>{"S:Init", "I:Init"}));
    EXPECT_TRUE(manual->Initialized);
}

TEST(Element, MouseEventsRunTheRootTextAfterTheirOwn) {
    SceneFixture f;
    RecordingHost host;
    f.rt.scripts = &host;
    auto* image = f.Add(*f.Add(f.db, "TKQScreen", "S"), "TKQImage", "I");
    image->SetScript(ScriptSlot::MouseIn, "own");
    f.db.SetScript(ScriptSlot::MouseIn, "root");
    f.db.SetScript(ScriptSlot::MouseOut, "rootOut");
    image->MouseIn();
    image->MouseOut();
    image->MouseDown(); // empty text: nothing runs
    ASSERT_EQ(host.runs.size(), 3u);
    EXPECT_EQ(host.runs[0].text, "own");
    EXPECT_EQ(host.runs[1].text, "root");
    EXPECT_EQ(host.runs[1].element, "I"); // still with the element as SELF
    EXPECT_EQ(host.runs[2].event, "ms_Out");
}

TEST(Element, ElementAtAsksChildrenFromTheTop) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), nullptr); // no children

    // The base never answers with itself, so use containers that answer through a subclass.
    struct Probe : TKQElement {
        using TKQElement::TKQElement;
        scene::ClassId Class() const override { return scene::ClassId::Image; }
        TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t, uint8_t) override {
            lastX = x;
            return layer == Order && x >= 0 && x < 10 && y >= 0 && y < 10 ? this : nullptr;
        }
        int32_t lastX = 0;
    };
    auto* first = new Probe(screen);
    auto* second = new Probe(screen);
    screen->SetX(100);
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), second); // the later child is on top
    EXPECT_EQ(second->lastX, 5); // children get coordinates relative to the parent
    second->SetOrder(3);
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), first);
    EXPECT_EQ(screen->ElementAt(3, 105, 5, 0, 0), second);
    EXPECT_EQ(screen->ElementAt(4, 105, 5, 0, 0), nullptr); // outside the layer range

    screen->MousedVis = false; // visible but not taking the mouse
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), nullptr);
    screen->MousedVis = true;
    screen->SetVis(false);
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), first);
    screen->MousedNotVis = false;
    EXPECT_EQ(screen->ElementAt(0, 105, 5, 0, 0), nullptr); // screens take the mouse when hidden
}

TEST(Element, OrderWidensRangesUpTheChainAndNeverNarrows) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* image = f.Add(*screen, "TKQImage", "I");
    auto* grandchild = f.Add(*image, "TKQImage", "G");
    grandchild->SetOrder(5);
    EXPECT_EQ(image->MaxOrder, 5);
    EXPECT_EQ(screen->MaxOrder, 5);
    EXPECT_EQ(f.db.MaxOrder, 5);
    EXPECT_EQ(f.db.MinOrder, 0);
    grandchild->SetOrder(0);
    EXPECT_EQ(f.db.MaxOrder, 5);
    EXPECT_EQ(grandchild->MaxOrder, 5);
    image->SetOrder(-2);
    EXPECT_EQ(screen->MinOrder, -2);
    EXPECT_EQ(f.db.MinOrder, -2);
    EXPECT_EQ(grandchild->MinOrder, 0);
}

TEST(Element, DestroyKeepsSiblingOrderAndClearsRuntimeReferences) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* a = f.Add(*screen, "TKQImage", "A");
    auto* b = f.Add(*screen, "TKQImage", "B");
    auto* c = f.Add(*screen, "TKQImage", "C");
    f.Add(*b, "TKQImage", "B1");
    f.rt.hoverElement = b;
    b->Destroy();
    ASSERT_EQ(screen->ChildCount(), 2u);
    EXPECT_EQ(screen->Child(0), a);
    EXPECT_EQ(screen->Child(1), c);
    EXPECT_EQ(f.rt.hoverElement, nullptr);
}

TEST(Element, KeysAndTheNextRecordGuess) {
    SceneFixture f;
    auto* s1 = f.Add(f.db, "TKQScreen", "S1");
    auto* i1 = f.Add(*s1, "TKQImage", "I1");
    auto* i2 = f.Add(*s1, "TKQImage", "I2");
    auto* s2 = f.Add(f.db, "TKQScreen", "S2");
    for (TKQElement* e : {static_cast<TKQElement*>(s1), i1, i2, s2}) {
        e->AssignNewKey();
    }
    EXPECT_EQ(f.db.CurKey, 4);
    EXPECT_EQ(s2->Key, 4);
    TKQElement* guess = nullptr;
    EXPECT_EQ(f.db.FindByKey(2, guess), i1);
    EXPECT_EQ(guess, i2);
    EXPECT_EQ(f.db.FindByKey(3, guess), i2);
    EXPECT_EQ(guess, s2); // last child: the sibling after its parent
    EXPECT_EQ(f.db.FindByKey(4, guess), s2);
    EXPECT_EQ(guess, nullptr);
    EXPECT_EQ(f.db.FindByKey(99, guess), nullptr);
    EXPECT_EQ(f.db.FindChildById("s2"), s2);
    EXPECT_EQ(f.db.FindChildById("I1"), nullptr); // direct children only
}

TEST(Element, ImagesLoadedFlagsAndImagePropertiesAreReassigned) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    auto* image = f.Add(*screen, "TKQImage", "I");
    f.Set(*image, "imImage", std::string("door.png"));
    screen->Render(0, 0xFFFFFFFF, 0, 0, false); // renders load images first
    EXPECT_TRUE(screen->ImagesLoaded);
    EXPECT_TRUE(image->ImagesLoaded);
    EXPECT_EQ(scene::PropString(f.Get(*image, "imImage")), "door.png");
    f.db.ResetImagesLoaded();
    EXPECT_FALSE(image->ImagesLoaded);
    const auto& imageProps = image->ClassEntry().imageProps;
    ASSERT_EQ(imageProps.size(), 1u);
    EXPECT_EQ(image->ClassEntry().props[imageProps[0]].name, "imImage");
    const auto& textEntry = f.rt.classes.Of(scene::ClassId::Text);
    ASSERT_EQ(textEntry.imageProps.size(), 1u);
    EXPECT_EQ(textEntry.props[textEntry.imageProps[0]].name, "Font");
}

} // namespace
} // namespace kq::test
