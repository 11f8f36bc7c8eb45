#include "scenejson/scene_json.h"

#include "elements/classes.h"
#include "elements/image.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <functional>
#include <random>
#include <set>
#include <sstream>

namespace kq::tools {
namespace {

using nlohmann::ordered_json;

// A scene holding every element class, with values of every kind.
ordered_json EveryClassScene() {
    return ordered_json::parse(R"({
      "class": "TKQDB",
      "props": {"Id": "Game", "InitScreen": "@menu", "LoadingScreen": 0, "hxTransLev": 200,
                "SaveErr": true, "Version": -7, "exInit": ["A := 1;", "B := 'две';"],
                "exKeyDown": {"file": "scripts/key.pas"}},
      "children": [
        {"class": "Screen", "props": {"Id": "Menu", "Key": 40, "hxDrawFx": 4294967295,
                                      "AutoInit": false, "Order": 3},
         "children": [
           {"class": "TKQImage", "props": {"Id": "Door", "imImage": "images\\дверь.png",
                                           "PosHor": "phCenter", "PosVert": 2,
                                           "Scale": 1.25, "Angle": -33.5, "hxColor": "0xA0B0C0",
                                           "hxTrans": 128, "rX": 10.5, "MsKeep": 1},
            "children": [{"class": "image"}, {"class": "Text", "props": {"Text": "Привет"}}]},
           {"class": "ExScreen", "props": {"obScreen": "@Inventory", "PosVert": "pvBottom"}},
           {"class": "ExAnim", "props": {"obAnim": "@Menu/Walk", "Rep": true}},
           {"class": "Anim", "props": {"Id": "Walk", "Angle": 90},
            "children": [{"class": "AnKey", "props": {"Count": 65535},
                          "children": [{"class": "Image"}]}]},
           {"class": "Effect", "props": {"EffectFN": "fx\\rain.fx", "DAnim": 0.001}},
           {"class": "ImList", "props": {"RowCount": 2, "Scale": 0.5}},
           {"class": "Shape", "props": {"Id": "Mask", "ShapeType": "stCircle", "Par1": 3.75}},
           {"class": "ShapeEff", "props": {"Filter": "flLens", "obPicture": "@Menu/Door",
                                           "obMask": "@menu/MASK"}},
           {"class": "Text", "props": {"Interval": 1.5, "hxColor1": 16777215},
            "children": [{"class": "Text", "props": {"Uni": true}}]}
         ]},
        {"class": "Screen", "props": {"Id": "Inventory", "Key": 7}},
        {"class": "Anim", "props": {"Id": "Global"}}
      ]})");
}

class SceneJsonTest : public ::testing::Test {
protected:
    void SetUp() override {
        spdlog::set_level(spdlog::level::off);
        dir_.Write("scripts/key.pas", "\xEF\xBB\xBFif Key = 27 then\n  Exit;\n");
    }
    void TearDown() override { spdlog::set_level(spdlog::level::info); }

    SceneBuildResult Build(const ordered_json& scene) {
        return BuildScene(scene, dir_.Path(), codec_);
    }
    std::string BuildOk(const ordered_json& scene) {
        SceneBuildResult result = Build(scene);
        EXPECT_TRUE(result.bytes.has_value()) << result.error;
        return result.bytes.value_or("");
    }
    // The error of a scene that must not build.
    std::string BuildError(const ordered_json& scene) {
        SceneBuildResult result = Build(scene);
        EXPECT_FALSE(result.bytes.has_value());
        return result.error;
    }
    ordered_json Dump(std::string_view bytes) {
        SceneDumpResult result = DumpScene(bytes, codec_);
        EXPECT_TRUE(result.scene.has_value()) << result.error;
        EXPECT_TRUE(result.warnings.empty());
        return result.scene.value_or(ordered_json());
    }

    test::TempDir dir_;
    media::TextCodec codec_;
};

TEST_F(SceneJsonTest, BuildDumpBuildGivesIdenticalBytes) {
    const std::string first = BuildOk(EveryClassScene());
    // Through the JSON text too, so number formatting takes part in the round trip.
    const std::string text = SceneJsonText(Dump(first));
    SceneBuildResult second = BuildSceneText(text, dir_.Path(), codec_);
    ASSERT_TRUE(second.bytes.has_value()) << second.error;
    EXPECT_EQ(first, *second.bytes);
    EXPECT_TRUE(second.warnings.empty());
    // And the dump of the rebuilt file is the same text.
    EXPECT_EQ(text, SceneJsonText(Dump(*second.bytes)));
}

TEST_F(SceneJsonTest, DumpWritesValuesAsTheAuthorWroteThem) {
    const ordered_json scene = Dump(BuildOk(EveryClassScene()));
    const ordered_json& menu = scene["children"][0];
    const ordered_json& door = menu["children"][0];
    EXPECT_EQ(scene["class"], "TKQDB");
    EXPECT_EQ(door["class"], "TKQImage");
    // Every published property, in registry order.
    const auto& entry = elements::ElementClasses().Of(scene::ClassId::Image);
    ASSERT_EQ(door["props"].size(), entry.props.size());
    size_t i = 0;
    for (const auto& [name, value] : door["props"].items()) {
        EXPECT_EQ(name, entry.props[i++].name);
    }

    EXPECT_EQ(door["props"]["PosHor"], "phCenter");
    EXPECT_EQ(door["props"]["PosVert"], "pvBottom");
    EXPECT_EQ(door["props"]["MsKeep"], true);
    EXPECT_TRUE(door["props"]["Interpol"].is_boolean());
    EXPECT_EQ(door["props"]["NoMsKQDB"], false);
    EXPECT_EQ(door["props"]["Scale"], 1.25);
    EXPECT_EQ(door["props"]["Angle"], -33.5);
    EXPECT_EQ(door["props"]["hxColor"], 0xA0B0C0u);
    EXPECT_EQ(door["props"]["imImage"], "images\\дверь.png");
    EXPECT_EQ(door["children"][1]["props"]["Text"], "Привет");
    EXPECT_TRUE(menu["props"]["hxDrawFx"].is_number_unsigned());
    EXPECT_EQ(menu["props"]["hxDrawFx"], 4294967295u);
    EXPECT_EQ(menu["children"][7]["props"]["Filter"], "flLens");
    EXPECT_EQ(menu["children"][6]["props"]["ShapeType"], "stCircle");
    EXPECT_EQ(menu["children"][3]["children"][0]["props"]["Count"], 65535);
    EXPECT_EQ(scene["props"]["Version"], -7);

    // Multi-line scripts come back as arrays of lines; files are read with Windows line ends.
    EXPECT_EQ(scene["props"]["exInit"], ordered_json::parse(R"(["A := 1;", "B := 'две';"])"));
    EXPECT_EQ(scene["props"]["exKeyDown"],
              ordered_json::parse(R"(["if Key = 27 then", "  Exit;", ""])"));
}

TEST_F(SceneJsonTest, GameFileHoldsCodePageBytesAndLoadsInThePlayer) {
    const std::string bytes = BuildOk(EveryClassScene());
    EXPECT_NE(bytes.find("\xCF\xF0\xE8\xE2\xE5\xF2"), std::string::npos); // "Привет", cp1251
    EXPECT_NE(bytes.find("A := 1;\r\nB := '\xE4\xE2\xE5';"), std::string::npos);
    EXPECT_NE(bytes.find("if Key = 27 then\r\n  Exit;\r\n"), std::string::npos);

    scene::Runtime rt(elements::ElementClasses());
    scene::TKQDB db(rt);
    ASSERT_TRUE(db.LoadSceneBlob(bytes));
    ASSERT_EQ(db.ChildCount(), 3u);
    scene::TKQElement* menu = db.Child(0);
    ASSERT_EQ(menu->ChildCount(), 9u);
    auto* door = dynamic_cast<elements::TKQImage*>(menu->Child(0));
    ASSERT_NE(door, nullptr);
    EXPECT_DOUBLE_EQ(door->GetScale(), 1.25);
    EXPECT_DOUBLE_EQ(door->rX, 10.5);
    EXPECT_EQ(door->GetHxTrans(), 128);
    EXPECT_TRUE(door->MsKeep);
    EXPECT_FALSE(menu->AutoInit);
    EXPECT_EQ(menu->Order, 3);
    EXPECT_EQ(menu->Child(3)->Child(0)->Child(0)->ClassName(), "TKQImage");
}

TEST_F(SceneJsonTest, KeysAreUniqueAboveTheExplicitOnesAndCurKeyCoversThem) {
    const ordered_json scene = Dump(BuildOk(EveryClassScene()));
    std::set<int> keys;
    int count = 0;
    int largest = 0;
    std::function<void(const ordered_json&, bool)> visit = [&](const ordered_json& e, bool root) {
        const int key = e["props"]["Key"].get<int>();
        if (!root) {
            keys.insert(key);
            ++count;
            largest = std::max(largest, key);
        }
        for (const ordered_json& child : e["children"]) {
            visit(child, false);
        }
    };
    visit(scene, true);
    EXPECT_EQ(static_cast<int>(keys.size()), count); // no two alike
    EXPECT_EQ(scene["props"]["Key"], 0);
    EXPECT_EQ(scene["children"][0]["props"]["Key"], 40);
    EXPECT_EQ(scene["children"][1]["props"]["Key"], 7);
    // Fresh keys go above the largest explicit one (40), in tree order.
    EXPECT_EQ(scene["children"][0]["children"][0]["props"]["Key"], 41);
    EXPECT_EQ(scene["children"][2]["props"]["Key"], largest);
    EXPECT_GE(scene["props"]["CurKey"].get<int>(), largest);

    // An explicit CurKey below the largest key is raised; one above it stays.
    ordered_json low = EveryClassScene();
    low["props"]["CurKey"] = 3;
    EXPECT_EQ(Dump(BuildOk(low))["props"]["CurKey"], largest);
    ordered_json high = EveryClassScene();
    high["props"]["CurKey"] = 1000;
    EXPECT_EQ(Dump(BuildOk(high))["props"]["CurKey"], 1000);
}

TEST_F(SceneJsonTest, IdPathsResolveToKeysWithoutRegardToCase) {
    const ordered_json scene = Dump(BuildOk(EveryClassScene()));
    const ordered_json& menu = scene["children"][0];
    EXPECT_EQ(scene["props"]["InitScreen"], 40);
    EXPECT_EQ(menu["children"][1]["props"]["obScreen"], 7);
    EXPECT_EQ(menu["children"][2]["props"]["obAnim"], menu["children"][3]["props"]["Key"]);
    EXPECT_EQ(menu["children"][7]["props"]["obPicture"], menu["children"][0]["props"]["Key"]);
    EXPECT_EQ(menu["children"][7]["props"]["obMask"], menu["children"][6]["props"]["Key"]);

    // Cyrillic Ids are matched in the code page, any case.
    ordered_json cyr = ordered_json::parse(R"({"class": "DB",
        "props": {"InitScreen": "@мЕНЮ"},
        "children": [{"class": "Screen", "props": {"Id": "Меню", "Key": 5}}]})");
    EXPECT_EQ(Dump(BuildOk(cyr))["props"]["InitScreen"], 5);
}

TEST_F(SceneJsonTest, ErrorsNameTheirPlace) {
    auto withChild = [](const char* screenChildren) {
        return ordered_json::parse(std::string(R"({"class": "TKQDB", "children": [
            {"class": "Screen", "children": [{"class": "Image"}, )") +
                                   screenChildren + "]}]}");
    };
    EXPECT_EQ(BuildError(withChild(R"({"class": "TKQPicture"})")),
              "/children/0/children/1/class: unknown class 'TKQPicture'");
    EXPECT_EQ(BuildError(withChild(R"({"class": "Image", "props": {"Bogus": 1}})")),
              "/children/0/children/1/props/Bogus: unknown property 'Bogus' of TKQImage");
    EXPECT_EQ(BuildError(withChild(R"({"class": "Image", "children": [{"class": "Screen"}]})")),
              "/children/0/children/1/children/0: a TKQScreen may not be a child of TKQImage");
    EXPECT_EQ(BuildError(withChild(R"({"class": "AnKey"})")),
              "/children/0/children/1: a TKQAnKey may not be a child of TKQScreen");

    const std::string badPath = BuildError(withChild(R"({"class": "ExScreen",
        "props": {"obScreen": "@Nowhere/Else"}})"));
    EXPECT_TRUE(badPath.starts_with("/children/0/children/1/props/obScreen: ")) << badPath;
    EXPECT_NE(badPath.find("no child 'Nowhere'"), std::string::npos) << badPath;

    // Wrong value types and ranges.
    for (const char* bad : {R"({"Scale": "big"})", R"({"hxTrans": 256})", R"({"X": 1.5})",
                            R"({"PosHor": "phMiddle"})", R"({"MsKeep": "yes"})", R"({"MsKeep": 2})",
                            R"({"imImage": 5})", R"({"exInit": [1]})"}) {
        const std::string error = BuildError(
            withChild((std::string(R"({"class": "Image", "props": )") + bad + "}").c_str()));
        EXPECT_TRUE(error.starts_with("/children/0/children/1/props/")) << bad << ": " << error;
    }
    // Script text from a missing file.
    EXPECT_TRUE(
        BuildError(withChild(R"({"class": "Image", "props": {"exInit": {"file": "no.pas"}}})"))
            .starts_with("/children/0/children/1/props/exInit/file: "));
    // Structure.
    EXPECT_EQ(BuildError(ordered_json::parse(R"({"class": "Screen"})")),
              "/class: the root's class must be TKQDB, not 'Screen'");
    EXPECT_EQ(BuildError(ordered_json::parse(R"({"class": "TKQDB", "child": []})")),
              "/child: unknown member 'child' (an element has class, props, children)");
    EXPECT_EQ(BuildError(ordered_json::parse(R"({"class": "TKQDB", "props": {"X": 1, "x": 2}})")),
              "/props/x: property 'X' given twice");
    // Invalid JSON text.
    SceneBuildResult syntax = BuildSceneText("{\"class\": \"TKQDB\",", dir_.Path(), codec_);
    EXPECT_FALSE(syntax.bytes);
    EXPECT_TRUE(syntax.error.starts_with("invalid JSON")) << syntax.error;
}

TEST_F(SceneJsonTest, ValuesAreAssignedInRegistryOrderWhateverTheJsonOrder) {
    // rX comes after X in the registry, so it wins even when written first.
    ordered_json scene = ordered_json::parse(R"({"class": "TKQDB", "children": [
        {"class": "Screen", "children": [{"class": "Image", "props": {"rX": 2.5, "X": 100}}]}]})");
    const ordered_json image = Dump(BuildOk(scene))["children"][0]["children"][0];
    EXPECT_EQ(image["props"]["rX"], 2.5);
    EXPECT_EQ(image["props"]["X"], 2); // rounded half to even
}

TEST_F(SceneJsonTest, TruncatedGameFileDumpsWhatWasKept) {
    const std::string bytes = BuildOk(EveryClassScene());
    // Cut inside the last top-level child (the Anim "Global"): everything before it stays.
    const size_t cut = bytes.rfind("Global") + 2;
    SceneDumpResult result = DumpScene(std::string_view(bytes).substr(0, cut), codec_);
    ASSERT_TRUE(result.scene.has_value()) << result.error;
    ASSERT_FALSE(result.warnings.empty());
    EXPECT_TRUE(
        result.warnings[0].starts_with("/ (TKQDB 'Game'): stopped at the record of child 2"))
        << result.warnings[0];
    EXPECT_EQ((*result.scene)["children"].size(), 2u);
    EXPECT_EQ((*result.scene)["children"][0]["children"].size(), 9u);

    // Cut inside the Door's own values: the Door keeps its first values and loses its children.
    const size_t inDoor = bytes.find("images\\") + 3;
    std::string patched = bytes;
    // Shrink the Door's record length so that its blob ends inside imImage.
    const std::string imageClass("\x08\0\0\0TKQImage", 12);
    const size_t doorRecord = bytes.rfind(imageClass, bytes.find("images\\")) - 4;
    const auto newLength = static_cast<uint32_t>(inDoor - (doorRecord + 4));
    for (int i = 0; i < 4; ++i) {
        patched[doorRecord + i] = static_cast<char>((newLength >> (8 * i)) & 0xFF);
    }
    SceneDumpResult door = DumpScene(patched, codec_);
    ASSERT_TRUE(door.scene.has_value());
    ASSERT_FALSE(door.warnings.empty());
    EXPECT_TRUE(door.warnings[0].starts_with("/children/0/children/0 (TKQImage 'Door'): stopped at "
                                             "property imImage"))
        << door.warnings[0];
    EXPECT_EQ((*door.scene)["children"][0]["children"][0]["props"]["Id"], "Door");
    EXPECT_TRUE((*door.scene)["children"][0]["children"][0]["children"].empty());
}

TEST_F(SceneJsonTest, AnyCutOrCorruptionNeverCrashes) {
    const std::string bytes = BuildOk(EveryClassScene());
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        SceneDumpResult result = DumpScene(std::string_view(bytes).substr(0, cut), codec_);
        if (cut < 9) { // the root's class name is cut short: not a game file
            EXPECT_FALSE(result.scene.has_value());
            continue;
        }
        ASSERT_TRUE(result.scene.has_value()) << cut;
        // Only a cut exactly between two records of the root goes unnoticed, and then
        // children are missing.
        if (result.warnings.empty()) {
            EXPECT_LT((*result.scene)["children"].size(), 3u) << cut;
        }
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string corrupt = bytes;
        for (int i = 0; i < 4; ++i) {
            corrupt[rng() % corrupt.size()] = static_cast<char>(rng());
        }
        SceneDumpResult result = DumpScene(corrupt, codec_);
        if (result.scene) {
            (void)SceneJsonText(*result.scene);
        }
    }
    SceneDumpResult garbage = DumpScene("not a game file", codec_);
    EXPECT_FALSE(garbage.scene.has_value());
    EXPECT_FALSE(garbage.error.empty());
}

TEST_F(SceneJsonTest, FileCommandsReportThroughExitCodes) {
    std::ostringstream out, err;
    const auto json = dir_.Write("scene.json", SceneJsonText(EveryClassScene()));
    const auto kqf = dir_.Path() / "game.kqf";
    ASSERT_EQ(BuildSceneFile(json, kqf, codec_, err), 0) << err.str();
    EXPECT_EQ(DumpSceneFile(kqf, {}, codec_, out, err), 0);
    EXPECT_TRUE(ordered_json::parse(out.str())["children"].is_array());

    EXPECT_EQ(BuildSceneFile(dir_.Path() / "missing.json", kqf, codec_, err), 1);
    const auto bad = dir_.Write("bad.json", R"({"class": "TKQDB", "props": {"Nope": 1}})");
    err.str("");
    EXPECT_EQ(BuildSceneFile(bad, kqf, codec_, err), 1);
    EXPECT_NE(err.str().find("/props/Nope: unknown property"), std::string::npos) << err.str();
    const auto junk = dir_.Write("junk.kqf", "\x01\x02");
    EXPECT_EQ(DumpSceneFile(junk, {}, codec_, out, err), 1);
}

} // namespace
} // namespace kq::tools
