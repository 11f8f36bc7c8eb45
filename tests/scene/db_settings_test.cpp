// The root's per-user folder, settings file, GetIni/SetIni and its own script names.
#include "db_test_util.h"

#include "scene/db_internal.h"
#include "scene/db_unicode.h"
#include "scene/script_runtime.h"
#include "script/stdlib.h"
#include "script/value.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kq::test {
namespace {

namespace fs = std::filesystem;
using script::Value;

struct SettingsFixture : DbFixture {
    std::vector<bool> cursorCalls;

    SettingsFixture() {
        rt.showSystemCursor = [this](bool visible) { cursorCalls.push_back(visible); };
    }
    fs::path SettingsPath() const { return UserPath() / "settings.ini"; }
    void WriteSettings(std::string_view text) const {
        fs::create_directories(UserPath());
        dir.Write("user/Kestwin/Quest/settings.ini", text);
    }
    // The stored value of section Def, parsed back from the file on disk.
    std::string Stored(const char* key) const {
        CSimpleIniA ini;
        const std::string text = ReadAll(SettingsPath());
        ini.LoadData(text.data(), text.size());
        const char* value = ini.GetValue("Def", key);
        return value ? value : "<absent>";
    }
    Value Read(std::string_view name) {
        Value v;
        EXPECT_TRUE(db->GetProp(name, v)) << name;
        return v;
    }
};

TEST(DbSettings, UserFolderIsBelowTheDataFolderAndNamedByTheId) {
    SettingsFixture f;
    EXPECT_EQ(f.db->UserFolder(), f.UserPath() / "");
    f.db->Id = "../evil/x";
    EXPECT_EQ(f.db->UserFolder(), f.dir.Path() / "user" / "Kestwin" / ".._evil_x" / "");
    f.db->Id = "..";
    EXPECT_EQ(f.db->UserFolder().parent_path().parent_path(), f.dir.Path() / "user" / "Kestwin");

    // Without --data-dir the XDG data folder is used.
    f.rt.dataDir.clear();
    f.db->Id = "Quest";
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", (f.dir.Path() / "xdg").c_str(), 1);
    EXPECT_EQ(f.db->UserFolder(), f.dir.Path() / "xdg" / "Kestwin" / "Quest" / "");
    old ? setenv("XDG_DATA_HOME", saved.c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

TEST(DbSettings, MissingFileAppliesTheDefaults) {
    SettingsFixture f;
    f.db->SetIniFile("settings.ini");
    EXPECT_TRUE(f.rt.wantFullScreen); // FS defaults to 1
    EXPECT_FALSE(f.rt.systemCursor);
    EXPECT_EQ(f.cursorCalls, std::vector<bool>{false});
    EXPECT_EQ(f.Read("VOLMUZ").RawInt(), 50);
    EXPECT_EQ(f.Read("VOLSND").RawInt(), 100);
    EXPECT_FALSE(fs::exists(f.SettingsPath())); // nothing written until something changes
}

TEST(DbSettings, FileValuesApplyAndTestModeWinsOverNarrowDesktop) {
    {
        SettingsFixture f;
        f.WriteSettings("[Def]\nSnd=30\nMuz=20\nFS=0\nSysCursor=1\n");
        f.db->SetIniFile("settings.ini");
        EXPECT_FALSE(f.rt.wantFullScreen);
        EXPECT_TRUE(f.rt.systemCursor);
        EXPECT_EQ(f.cursorCalls, std::vector<bool>{true});
    }
    {
        SettingsFixture f;
        f.WriteSettings("[def]\nfs=0\n"); // names ignore case
        f.rt.narrowDesktop = true;
        f.db->SetIniFile("settings.ini");
        EXPECT_TRUE(f.rt.wantFullScreen);
        Value v = f.Read("WINMODEENABLE");
        EXPECT_TRUE(v.SameAs(Value::Byte(0)));
    }
    {
        SettingsFixture f;
        f.rt.narrowDesktop = true;
        f.rt.testMode = true;
        f.db->SetIniFile("settings.ini");
        EXPECT_FALSE(f.rt.wantFullScreen);
    }
}

TEST(DbSettings, AValueThatIsNotANumberEndsTheStepsSilently) {
    SettingsFixture f;
    f.rt.wantFullScreen = false;
    f.rt.narrowDesktop = true;
    f.WriteSettings("[Def]\nFS=0\nSysCursor=yes\n");
    f.db->SetIniFile("settings.ini");
    EXPECT_FALSE(f.rt.wantFullScreen); // FS applied, the narrow desktop rule never reached
    EXPECT_FALSE(f.rt.systemCursor);
    EXPECT_TRUE(f.cursorCalls.empty());

    SettingsFixture g;
    g.rt.systemCursor = true;
    g.WriteSettings("[Def]\nSnd=\nFS=0\n"); // an empty value is not a number either
    g.db->SetIniFile("settings.ini");
    EXPECT_FALSE(g.rt.wantFullScreen);
    EXPECT_TRUE(g.rt.systemCursor);

    // The file stays open for writing all the same.
    EXPECT_TRUE(g.db->SetIni("Game", "Level", "3"));
    EXPECT_EQ(g.db->GetIni("Game", "Level", "0"), "3");
}

TEST(DbSettings, TheFileIsReopenedOnlyWhenTheNameChanges) {
    SettingsFixture f;
    f.WriteSettings("[Def]\nFS=0\n");
    f.db->SetIniFile("settings.ini");
    f.rt.wantFullScreen = true;
    f.db->SetIniFile("settings.ini");
    EXPECT_TRUE(f.rt.wantFullScreen);
    EXPECT_EQ(f.cursorCalls.size(), 1u);
}

TEST(DbSettings, RootNamesStoreTheirSettingsAndSaveSafely) {
    SettingsFixture f;
    f.db->SetIniFile("settings.ini");
    EXPECT_TRUE(f.db->SetProp("FULLSCREEN", Value::Byte(0)));
    EXPECT_FALSE(f.rt.wantFullScreen);
    EXPECT_EQ(f.Stored("FS"), "0");
    EXPECT_TRUE(f.Read("FULLSCREEN").SameAs(Value::Byte(0)));
    EXPECT_TRUE(f.db->SetProp("FULLSCREEN", Value::Int(5)));
    EXPECT_EQ(f.Stored("FS"), "1");
    EXPECT_TRUE(f.Read("FULLSCREEN").SameAs(Value::Byte(1)));

    f.cursorCalls.clear();
    EXPECT_TRUE(f.db->SetProp("SYSCURSOR", Value::Int(1)));
    EXPECT_TRUE(f.db->SetProp("SYSCURSOR", Value::Int(0)));
    EXPECT_EQ(f.cursorCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(f.Stored("SysCursor"), "0");
    EXPECT_TRUE(f.Read("SYSCURSOR").SameAs(Value::Byte(0)));

    EXPECT_TRUE(f.db->SetProp("VOLMUZ", Value::Int(35)));
    EXPECT_TRUE(f.db->SetProp("VOLSND", Value::Str("80")));
    EXPECT_FALSE(f.db->SetProp("VOLSND", Value::Str("loud")));
    EXPECT_EQ(f.Stored("Muz"), "35");
    EXPECT_EQ(f.Stored("Snd"), "80");
    EXPECT_NE(ReadAll(f.SettingsPath()).find("Muz=35\n"), std::string::npos);

    // Only the settings file is left in the folder: every save renamed its temporary file.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(f.UserPath())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"settings.ini"});

    // A new run reads what was stored.
    SettingsFixture g;
    fs::create_directories(g.UserPath());
    fs::copy_file(f.SettingsPath(), g.SettingsPath());
    g.db->SetIniFile("settings.ini");
    EXPECT_TRUE(g.rt.wantFullScreen);
    EXPECT_FALSE(g.rt.systemCursor);
}

TEST(DbSettings, AFailedSaveLeavesTheOldFileWhole) {
    SettingsFixture f;
    f.WriteSettings("[Def]\nMuz=40\n");
    f.db->SetIniFile("settings.ini");
    fs::create_directories(f.UserPath() / "settings.ini.tmp"); // the temporary file cannot be made
    EXPECT_FALSE(f.db->SetIni("Def", "Muz", "10"));
    EXPECT_EQ(ReadAll(f.SettingsPath()), "[Def]\nMuz=40\n");
}

TEST(DbSettings, GetIniAndSetIniOutsideTheUnicodeMode) {
    SettingsFixture f;
    EXPECT_EQ(f.db->GetIni("Game", "Level", "1"), std::nullopt); // no settings file
    EXPECT_FALSE(f.db->SetIni("Game", "Level", "2"));
    f.db->SetIniFile("settings.ini");
    EXPECT_EQ(f.db->GetIni("Game", "Level", "1"), "1");
    EXPECT_TRUE(f.db->SetIni("Game", "Level", "Ур\xE0"));
    EXPECT_EQ(f.db->GetIni("game", "LEVEL", "1"), "Ур\xE0");
    EXPECT_FALSE(f.db->SetIni("Game", "Evil", "x\n[Def]\nFS=0"));
    EXPECT_EQ(f.db->GetIni("Game", "Evil", "none"), "none");
    EXPECT_FALSE(f.db->SetIni("", "Key", "x"));
    EXPECT_EQ(f.db->GetIni("Game", "", "d"), std::nullopt);
}

TEST(DbSettings, UnicodeModeStoresUtf8AsHexAndReadsItBack) {
    SettingsFixture f;
    ASSERT_TRUE(f.LoadUnicodeScene());
    f.db->SetIniFile("settings.ini");
    const std::string name = scene::ToThreeByte(u"Вася A");
    ASSERT_EQ(name.size(), 14u);
    ASSERT_TRUE(f.db->SetIni("Save", "Name", name));
    EXPECT_NE(ReadAll(f.SettingsPath()).find("#$#$D092D0B0D181D18F2041"), std::string::npos);
    EXPECT_EQ(f.db->GetIni("Save", "Name", "ignored"), name);
    EXPECT_EQ(f.db->GetIni("Save", "Missing", "ignored"), ""); // the default is not used

    // Text stored without the prefix is read as UTF-8; a bad pair ends the hex bytes.
    f.WriteSettings("[Save]\nPlain=Ёж\nCut=#$#$D092ZZD0B0\n");
    f.db->SetIniFile("other.ini");
    f.db->SetIniFile("settings.ini");
    EXPECT_EQ(f.db->GetIni("Save", "Plain", ""), scene::ToThreeByte(u"Ёж"));
    EXPECT_EQ(f.db->GetIni("Save", "Cut", ""), scene::ToThreeByte(u"В"));
}

TEST(DbSettings, ScriptsReachTheSettingsThroughTheRoot) {
    SettingsFixture f;
    scene::ScriptRuntime scripts(f.rt,
                                 [](script::TPasCalc& calc) { script::RegisterLibrary(calc); });
    f.rt.scripts = &scripts;
    scripts.SetRoot(f.db.get());
    f.db->SetIniFile("settings.ini");
    f.db->SetScript(scene::ScriptSlot::Update,
                    "KQDB.VOLMUZ := 30; KQDB.FULLSCREEN := 0; "
                    "TAG := IntToStr(KQDB.VOLSND) + ',' + IntToStr(KQDB.FULLSCREEN);");
    f.db->Update();
    EXPECT_EQ(f.db->Tag, "100,0");
    EXPECT_EQ(f.Stored("Muz"), "30");
    EXPECT_EQ(f.Stored("FS"), "0");
    f.db.reset(); // before the script runtime goes
}

// Length and DelLastChar count a three-byte character once in the Unicode mode and every byte
// outside it; the scripts learn the mode from the root. (GetIni and SetIni ask the root
// directly: see the tests above.)
TEST(DbSettings, ScriptStringFunctionsFollowTheRootsUnicodeMode) {
    const std::string text = "A" + scene::ToThreeByte(u"В"); // "A", 0x01 0x12 0x04
    ASSERT_EQ(text.size(), 4u);
    for (const bool unicode : {false, true}) {
        SCOPED_TRACE(unicode ? "Unicode mode" : "byte mode");
        SettingsFixture f;
        ASSERT_TRUE(unicode ? f.LoadUnicodeScene() : f.LoadScene());
        ASSERT_EQ(f.db->UnicodeMode(), unicode);
        scene::ScriptRuntime scripts(f.rt,
                                     [](script::TPasCalc& calc) { script::RegisterLibrary(calc); });
        f.rt.scripts = &scripts;
        scripts.SetRoot(f.db.get());
        f.db->SetScript(scene::ScriptSlot::Update,
                        "S := '" + text +
                            "'; TAG := IntToStr(Length(S)) + '|' + DelLastChar(S) + '|' +"
                            "IntToStr(Length(DelLastChar(S)));");
        f.db->Update();
        EXPECT_EQ(f.db->Tag, unicode ? std::string("2|A|1") : std::string("4|A\x01\x12|3"));
        f.db.reset(); // before the script runtime goes
    }
}

TEST(DbSettings, OtherRootNames) {
    SettingsFixture f;
    f.rt.desktopWidth = 1920;
    EXPECT_EQ(f.Read("DESKTOPWIDTH").RawInt(), 1920);
    EXPECT_TRUE(f.Read("WINMODEENABLE").SameAs(Value::Byte(1)));
    EXPECT_TRUE(f.Read("UNICODE").SameAs(Value::Bool(false)));
    EXPECT_TRUE(f.Read("CHEAT").SameAs(Value::Str("")));
    for (const char* readOnly : {"CHEAT", "UNICODE", "WINMODEENABLE", "DESKTOPWIDTH"}) {
        EXPECT_FALSE(f.db->SetProp(readOnly, Value::Int(1))) << readOnly;
    }
    Value v;
    EXPECT_FALSE(f.db->GetProp("NOSUCHNAME", v));
    // Element names still come first, and setting a volume works without a settings file.
    f.db->Version = 7;
    EXPECT_EQ(f.Read("VERSION").RawInt(), 7);
    EXPECT_TRUE(f.db->SetProp("VOLMUZ", Value::Int(10)));
    EXPECT_FALSE(fs::exists(f.UserPath()));
}

TEST(DbSettings, HostileSettingsFilesAreSurvived) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        SettingsFixture f;
        f.WriteSettings(RandomBytes(rng, 1 + rng() % 2000));
        f.db->SetIniFile("settings.ini");
        f.db->GetIni("Def", "FS", "");
    }
    SettingsFixture g;
    g.WriteSettings("[Def]\nFS=0\n");
    fs::resize_file(g.SettingsPath(), scene::kMaxIniFileSize + 1);
    g.rt.wantFullScreen = true;
    g.db->SetIniFile("settings.ini");
    EXPECT_TRUE(g.rt.wantFullScreen);
    EXPECT_FALSE(g.db->SetIni("Def", "FS", "0")); // not opened: never overwritten
    EXPECT_FALSE(g.db->SetIni("A", "B", "C"));

    SettingsFixture h;
    h.db->SetIniFile("..\\..\\escape.ini");
    EXPECT_FALSE(h.db->SetIni("A", "B", "C"));
    EXPECT_FALSE(fs::exists(h.dir.Path() / "user" / "escape.ini"));
}

} // namespace
} // namespace kq::test
