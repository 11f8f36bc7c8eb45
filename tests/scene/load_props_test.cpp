// The serialized element format: reading (with every kind of damage) and writing it back.
#include "scene/blob.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

namespace kq::test {
namespace {

using scene::TKQElement;

// Values for the first five properties: Key, Id, X, Y, Vis.
std::string BaseValues(int32_t key, std::string_view id, int32_t x = 0, int32_t y = 0,
                       int32_t vis = 1) {
    return Bytes().I32(key).Str(id).I32(x).I32(y).I32(vis).Data();
}

struct QuietLogs {
    QuietLogs() { spdlog::set_level(spdlog::level::off); }
    ~QuietLogs() { spdlog::set_level(spdlog::level::info); }
};

TEST(LoadProps, CountZeroGivesConstructorDefaults) {
    SceneFixture f;
    std::string screen = ElementBlob("TKQScreen", 0, "");
    ASSERT_TRUE(f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {screen})));
    ASSERT_EQ(f.db.ChildCount(), 1u);
    TKQElement* s = f.db.Child(0);
    EXPECT_TRUE(s->Vis);
    EXPECT_TRUE(s->MousedVis);
    EXPECT_TRUE(s->AutoInit);
    EXPECT_EQ(s->Key, 0);
}

TEST(LoadProps, ValuesAreAssignedThroughSettersInOrder) {
    SceneFixture f;
    RecordingHost host;
    f.rt.scripts = &host;
    // imImage, then Scale: an extended property read as 8 bytes.
    std::string values = BaseValues(7, "Door", 10, 20, 0) + Bytes().Str("door.png").F64(1.5).Data();
    std::string image = ElementBlob("TKQImage", 7, values);
    std::string screen = ElementBlob("TKQScreen", 8,
                                     BaseValues(3, "Menu") + Bytes()
                                                                 .Str("INIT;")
                                                                 .Str("")
                                                                 .I32(4) // Order: its setter
                                                                 .Data(),
                                     {image});
    ASSERT_TRUE(f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {screen})));
    TKQElement* menu = f.db.Child(0);
    EXPECT_EQ(menu->Id, "Menu");
    EXPECT_EQ(menu->Key, 3);
    EXPECT_EQ(menu->Order, 4);
    EXPECT_EQ(f.db.MaxOrder, 4);
    EXPECT_EQ(menu->Script(scene::ScriptSlot::Init).prepared.text, "prepared:INIT;");
    auto* door = static_cast<TestImage*>(menu->Child(0));
    EXPECT_EQ(door->Key, 7);
    EXPECT_EQ(door->X(), 10);
    EXPECT_FALSE(door->Vis);
    EXPECT_EQ(door->imImage, "door.png");
    EXPECT_DOUBLE_EQ(door->Scale, 1.5);
    EXPECT_FALSE(f.rt.loading); // the loading flag is only on while loading
}

TEST(LoadProps, UnknownAndDisallowedChildrenAreSkippedWithTheirSubtrees) {
    SceneFixture f;
    std::string key = ElementBlob("TKQAnKey", 0, "");       // not allowed under a screen
    std::string unknown = ElementBlob("TKQButton", 0, "");  // not registered
    std::string wrongCase = ElementBlob("TKQIMAGE", 0, ""); // names must match exactly
    std::string nested = ElementBlob("TKQImage", 0, "", {ElementBlob("TKQScreen", 0, "")});
    std::string textInText = ElementBlob("TKQText", 0, "", {ElementBlob("TKQText", 0, "")});
    std::string screen =
        ElementBlob("TKQScreen", 0, "", {key, unknown, wrongCase, nested, textInText});
    ASSERT_TRUE(f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {screen})));
    TKQElement* s = f.db.Child(0);
    ASSERT_EQ(s->ChildCount(), 2u);
    EXPECT_EQ(s->Child(0)->ClassName(), "TKQImage");
    EXPECT_EQ(s->Child(0)->ChildCount(), 0u); // a screen inside an image is not created
    EXPECT_EQ(s->Child(1)->ClassName(), "TKQText");
    EXPECT_EQ(s->Child(1)->ChildCount(), 1u); // a text inside a text is
}

TEST(LoadProps, CountLargerThanTheClassReadsOnlyTheClassProperties) {
    SceneFixture f;
    // An AnKey has 7 properties; a count of 1000 must not read beyond them.
    std::string values = BaseValues(5, "K") + Bytes().I32(3).Str("tag").Data();
    std::string anim = ElementBlob("TKQAnim", 0, "", {ElementBlob("TKQAnKey", 1000, values)});
    ASSERT_TRUE(f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {anim})));
    TKQElement* key = f.db.Child(0)->Child(0);
    EXPECT_EQ(key->Tag, "tag");
    EXPECT_EQ(key->Order, 3);
}

TEST(LoadProps, KeepKeysOffNumbersChildrenBeforeTheirParent) {
    SceneFixture f;
    std::string image = ElementBlob("TKQImage", 1, Bytes().I32(50).Data());
    std::string screen = ElementBlob("TKQScreen", 1, Bytes().I32(40).Data(), {image, image});
    f.db.CurKey = 100;
    auto* s = f.rt.classes.CreateChild(f.db, "TKQScreen");
    ASSERT_TRUE(s->LoadProps(screen, false));
    EXPECT_EQ(s->Child(0)->Key, 101);
    EXPECT_EQ(s->Child(1)->Key, 102);
    EXPECT_EQ(s->Key, 103);
    EXPECT_EQ(f.db.CurKey, 103);

    auto* kept = f.rt.classes.CreateChild(f.db, "TKQScreen");
    ASSERT_TRUE(kept->LoadProps(screen, true));
    EXPECT_EQ(kept->Key, 40);
    EXPECT_EQ(kept->Child(1)->Key, 50);
    EXPECT_EQ(f.db.CurKey, 103);
}

TEST(LoadProps, TruncationStopsOnlyTheBrokenElement) {
    SceneFixture f;
    std::string good = ElementBlob("TKQImage", 2, Bytes().I32(11).Str("Good").Data());
    // Declares a string of 50 bytes but holds 3: the element keeps its Key and stops.
    std::string broken = ElementBlob("TKQImage", 2, Bytes().I32(12).I32(50).Raw("abc").Data());
    std::string screen = ElementBlob("TKQScreen", 0, "", {good, broken, good});
    const std::string file = ElementBlob("TKQDB", 0, "", {screen});
    {
        LogCapture log;
        ASSERT_TRUE(f.db.LoadSceneBlob(file));
        // The broken child is reported once, at the file offset of its Id value.
        const size_t idAt = file.find(broken) + std::string("TKQImage").size() + 4 + 4 + 4;
        EXPECT_EQ(log.Lines(), 1u) << log.Text();
        EXPECT_NE(log.Text().find("is truncated at byte " + std::to_string(idAt) +
                                  ": the value of Id of '' (TKQImage);"),
                  std::string::npos)
            << log.Text();
    }
    TKQElement* s = f.db.Child(0);
    ASSERT_EQ(s->ChildCount(), 3u);
    EXPECT_EQ(s->Child(1)->Key, 12);
    EXPECT_EQ(s->Child(1)->Id, "");
    EXPECT_EQ(s->Child(2)->Id, "Good");

    // The whole file cut in the middle of the second screen: the first stays.
    std::string s1 = ElementBlob("TKQScreen", 2, Bytes().I32(1).Str("One").Data());
    std::string s2 = ElementBlob("TKQScreen", 2, Bytes().I32(2).Str("Two").Data(), {good});
    std::string cut = ElementBlob("TKQDB", 1, Bytes().I32(0).Data(), {s1, s2});
    f.db.CurKey = 0;
    LogCapture log;
    const media::LoadResult loaded = f.db.LoadSceneBlob(cut.substr(0, cut.size() - 5));
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.Error().problem, media::LoadError::Problem::Truncated);
    EXPECT_EQ(loaded.Error().offset, cut.size() - 4 - s2.size()); // where the record of s2 starts
    EXPECT_NE(loaded.Error().what.find("child 1"), std::string::npos) << loaded.Error().what;
    EXPECT_EQ(log.Lines(), 0u) << log.Text(); // the caller reports it
    ASSERT_EQ(f.db.ChildCount(), 1u);         // the cut child string cannot even be read
    EXPECT_EQ(f.db.Child(0)->Id, "One");
    EXPECT_EQ(f.db.CurKey, 0);
}

TEST(SceneWriter, RoundTripGivesIdenticalBytes) {
    SceneFixture f;
    auto* menu = f.Add(f.db, "TKQScreen", "Menu");
    f.Set(*menu, "exInit", std::string("A := 1;"));
    f.Set(*menu, "Order", 2);
    auto* door = f.Add(*menu, "TKQImage", "Door");
    f.Set(*door, "rX", 12.25);
    f.Set(*door, "imImage", std::string("door.png"));
    f.Set(*door, "Scale", 0.5);
    f.Add(*door, "TKQText", "Label");
    auto* anim = f.Add(f.db, "TKQAnim", "Walk");
    f.Add(*f.Add(*anim, "TKQAnKey", "K1"), "TKQImage", "Frame");
    auto* eff = f.Add(*menu, "TKQShapeEff", "Wave");
    f.Set(*eff, "Tag", std::string("wavy"));
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

TEST(SceneReader, SurvivesRandomAndMutatedInput) {
    QuietLogs quiet;
    SceneFixture f;
    auto* menu = f.Add(f.db, "TKQScreen", "Menu");
    for (int i = 0; i < 5; ++i) {
        f.Add(*f.Add(*menu, "TKQImage", "I" + std::to_string(i)), "TKQText", "T");
    }
    const std::string valid = scene::SaveElementBlob(f.db);

    std::mt19937 rng(1234);
    size_t loadedSome = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string input;
        if (round % 3 == 0) {
            input = RandomBytes(rng, rng() % 200);
        } else {
            input = valid;
            const int edits = 1 + static_cast<int>(rng() % 6);
            for (int e = 0; e < edits; ++e) {
                input[rng() % input.size()] = static_cast<char>(rng());
            }
            if (round % 3 == 2) {
                input.resize(rng() % input.size());
            }
        }
        SceneFixture g;
        const media::LoadResult loaded = g.db.LoadSceneBlob(input);
        if (!loaded) {
            ASSERT_LE(loaded.Error().offset, input.size()); // a place inside the input
        }
        loadedSome += g.db.ChildCount() > 0;
        // Whatever was kept must serialise and read back to the same thing.
        std::string again = scene::SaveElementBlob(g.db);
        SceneFixture h;
        ASSERT_TRUE(h.db.LoadSceneBlob(again));
        ASSERT_EQ(scene::SaveElementBlob(h.db), again);
    }
    EXPECT_GT(loadedSome, 100u); // the mutations did not all stop at the first byte
}

TEST(SceneReader, RefusesNestingDeeperThanTheLimit) {
    QuietLogs quiet;
    SceneFixture f;
    std::string blob = ElementBlob("TKQImage", 0, "");
    for (int i = 0; i < 400; ++i) {
        blob = ElementBlob("TKQImage", 0, "", {blob});
    }
    ASSERT_TRUE(
        f.db.LoadSceneBlob(ElementBlob("TKQDB", 0, "", {ElementBlob("TKQScreen", 0, "", {blob})})));
    int depth = 0;
    for (TKQElement* e = &f.db; e->ChildCount() > 0; e = e->Child(0)) {
        ++depth;
    }
    EXPECT_EQ(depth, 256);
}

} // namespace
} // namespace kq::test
