// The real screen, image and other tables read from and written to serialized elements: values
// land in the published property order, and a scene of every kind of class reads back to the
// same bytes.
#include "elements/image.h"
#include "registry_fixture.h"
#include "scene/blob.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

using scene::TKQElement;

// Values for the first five properties: Key, Id, X, Y, Vis.
std::string BaseValues(int32_t key, std::string_view id, int32_t x = 0, int32_t y = 0,
                       int32_t vis = 1) {
    return Bytes().I32(key).Str(id).I32(x).I32(y).I32(vis).Data();
}

TEST(ElementTables, ScreenAndImageValuesAreAssignedInTheirOrder) {
    SceneFixture f;
    RecordingHost host;
    f.rt.scripts = &host;
    // imImage, hxDrawFx, PosHor, PosVert, Scale (an extended property read as 8 bytes).
    std::string values = BaseValues(7, "Door", 10, 20, 0) +
                         Bytes().Str("door.png").I32(260).I32(1).I32(2).F64(1.5).Data();
    std::string image = ElementBlob("TKQImage", 10, values);
    std::string screen =
        ElementBlob("TKQScreen", 18,
                    BaseValues(3, "Menu") + Bytes()
                                                .Str("")
                                                .I32(640)
                                                .I32(480)
                                                .I32(1)
                                                .I32(0)
                                                .I32(0)
                                                .Str("INIT;")
                                                .Str("")
                                                .Str("")
                                                .Str("")
                                                .I32(4) // Order goes through its setter
                                                .Str("")
                                                .Str("")
                                                .Data(),
                    {image});
    ASSERT_TRUE(f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {screen})));
    TKQElement* menu = f.db.Child(0);
    EXPECT_EQ(menu->Id, "Menu");
    EXPECT_EQ(menu->Key, 3);
    EXPECT_EQ(menu->GetSizeX(), 640);
    EXPECT_EQ(menu->Order, 4);
    EXPECT_EQ(f.db.MaxOrder, 4);
    EXPECT_EQ(menu->Script(scene::ScriptSlot::Init).prepared.text, "prepared:INIT;");
    auto* door = static_cast<elements::TKQImage*>(menu->Child(0));
    EXPECT_EQ(door->Key, 7);
    EXPECT_EQ(door->X(), 10);
    EXPECT_FALSE(door->Vis);
    EXPECT_EQ(door->GetImImage(), "door.png");
    EXPECT_EQ(door->hxDrawFx, 260u);
    EXPECT_EQ(door->PosHor, elements::TKQPosHor::phCenter);
    EXPECT_EQ(door->PosVert, elements::TKQPosVert::pvBottom);
    EXPECT_DOUBLE_EQ(door->GetScale(), 1.5);
    EXPECT_FALSE(f.rt.loading); // the loading flag is only on while loading
}

TEST(ElementTables, SceneOfEveryKindRoundTripsToIdenticalBytes) {
    SceneFixture f;
    auto* menu = f.Add(f.db, "TKQScreen", "Menu");
    f.Set(*menu, "exInit", std::string("A := 1;"));
    f.Set(*menu, "Order", 2);
    auto* door = f.Add(*menu, "TKQImage", "Door");
    f.Set(*door, "rX", 12.25);
    f.Set(*door, "hxColor", 0x123456);
    f.Set(*door, "PosHor", 2);
    f.Add(*door, "TKQText", "Label");
    auto* anim = f.Add(f.db, "TKQAnim", "Walk");
    f.Add(*f.Add(*anim, "TKQAnKey", "K1"), "TKQImage", "Frame");
    auto* eff = f.Add(*menu, "TKQShapeEff", "Wave");
    f.Set(*eff, "Filter", 15);
    f.db.Id = "Game";
    f.db.InitScreen = 1;

    std::string bytes = scene::SaveElementBlob(f.db);
    SceneFixture g;
    ASSERT_TRUE(g.db.LoadSceneBlob(bytes));
    EXPECT_EQ(scene::SaveElementBlob(g.db), bytes);
    EXPECT_EQ(g.db.Id, "Game");
    EXPECT_EQ(g.db.Child(0)->Child(0)->rX, 12.25);
    EXPECT_EQ(g.db.Child(1)->Child(0)->Child(0)->Id, "Frame");
    EXPECT_EQ(g.db.MaxOrder, 2);
}

} // namespace
} // namespace kq::test
