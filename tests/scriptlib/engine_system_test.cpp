// Engine functions beyond the scene: files in the per-user folder, web addresses, sounds,
// settings, the timer and ending the game.
#include "engine_test_util.h"

#include "media/audio_recording.h"
#include "media/sound_system.h"
#include "media/text_encoding.h"

#include <filesystem>
#include <fstream>

namespace kq::test {
namespace {

namespace fs = std::filesystem;
using script::Value;
using script::library::IsOpenableUrl;
using script::library::UserFilePath;

class EngineSystem : public EngineTest {};

TEST(UserFiles, NamesStayInsideThePerUserFolder) {
    const fs::path base = "/data/Kestwin/Game";
    EXPECT_EQ(UserFilePath(base, "save.dat"), base / "save.dat");
    EXPECT_EQ(UserFilePath(base, "slots\\one.dat"), base / "slots" / "one.dat");
    EXPECT_EQ(UserFilePath(base, "./slots//one.dat"), base / "slots" / "one.dat");
    for (std::string_view bad :
         {"", "/etc/passwd", "\\windows\\win.ini", "C:\\boot.ini", "c:save.dat", "..\\other.ini",
          "slots/../../x", "slots\\..", "..", ".", "./", "file.txt:stream"}) {
        EXPECT_FALSE(UserFilePath(base, bad)) << bad;
    }
    EXPECT_FALSE(UserFilePath(base, std::string_view("a\0b", 3)));
    EXPECT_FALSE(UserFilePath({}, "save.dat")); // no folder: never the current directory
}

TEST(WebAddresses, OnlyWebAndMailAddressesOpen) {
    for (std::string_view good : {"http://example.com", "HTTPS://example.com/a?b=c",
                                  "mailto:someone@example.com", "Http://x"}) {
        EXPECT_TRUE(IsOpenableUrl(good)) << good;
    }
    for (std::string_view bad :
         {"", "http://", "https:/x", "file:///etc/passwd", "javascript:alert(1)", "calc.exe",
          "C:\\windows\\notepad.exe", " http://example.com", "ftp://example.com",
          "http://example.com\nrm -rf /", "mailto"}) {
        EXPECT_FALSE(IsOpenableUrl(bad)) << bad;
    }
}

TEST_F(EngineSystem, DelFileDeletesOnlyInsideThePerUserFolder) {
    TempDir data;
    rt.dataDir = data.Path().string();
    db.Id = "Game";
    const fs::path folder = db.UserFolder();
    const fs::path outside = data.Write("outside.txt", "keep");
    const fs::path inGame = dir.Write("game.txt", "keep");
    Run("DELFILE('..\\..\\outside.txt'); DELFILE('" + outside.string() + "');");
    EXPECT_TRUE(fs::exists(outside));
    Run("DELFILE('..\\game.txt'); DELFILE('');");
    EXPECT_TRUE(fs::exists(inGame));
    EXPECT_FALSE(LoggedError("Invalid parameters"));

    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(folder.string().rfind(data.Path().string(), 0), 0u) << folder;
    fs::create_directories(folder / "Slots");
    const fs::path save = folder / "Slots" / "Save1.dat";
    { std::ofstream(save) << "x"; }
    Run("KQDB.TAG := DELFILE('slots\\save1.dat');");
    EXPECT_FALSE(fs::exists(save));
    EXPECT_EQ(db.Tag, "0");
    Run("DELFILE('Slots');"); // folders are not deleted
    EXPECT_TRUE(fs::exists(folder / "Slots"));
    // Nor does a linked folder lead the deletion out of the per-user folder.
    TempDir elsewhere;
    const fs::path victim = elsewhere.Write("victim.txt", "keep");
    fs::create_directory_symlink(elsewhere.Path(), folder / "Link");
    Run("DELFILE('link\\victim.txt');");
    EXPECT_TRUE(fs::exists(victim));
}

TEST_F(EngineSystem, GoToUrlHandsOnlyCheckedAddressesToTheDesktop) {
    Run("GOTOURL('HTTPS://example.com/help'); GOTOURL('mailto:a@example.com');"
        "GOTOURL('file:///etc/passwd'); GOTOURL('notepad.exe'); GOTOURL(5); GOTOURL;"
        "KQDB.TAG := GOTOURL('cmd /c del *');");
    EXPECT_EQ(openedUrls,
              (std::vector<std::string>{"HTTPS://example.com/help", "mailto:a@example.com"}));
    EXPECT_EQ(db.Tag, "0");
    rt.openUrl = nullptr; // no desktop: nothing happens
    Run("GOTOURL('http://example.com');");
    EXPECT_EQ(openedUrls.size(), 2u);
    EXPECT_FALSE(LoggedError("Invalid parameters"));
}

TEST_F(EngineSystem, SoundsWithoutASoundSystemDoNothing) {
    ASSERT_EQ(rt.sound, nullptr);
    Run("PLAYSND('Sounds.Door'); PLAYMUZ('Music.Theme'); STOPMUZ(0); PLAYSND; STOPMUZ;"
        "KQDB.TAG := 'after';");
    EXPECT_EQ(db.Tag, "after");
    EXPECT_FALSE(LoggedError("Invalid parameters"));
    CallResult r = Call("PlaySnd", {Value::Str("Sounds.Door")});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.value.IsEmpty());
}

TEST_F(EngineSystem, SoundsPlayTheSoundTablesFileAtItsVolume) {
    dir.Write("sounds.ini", "[Sfx]\r\nDoor=70:door.wav\r\n[Music]\r\nTheme=theme.ogg\r\n");
    dir.Write("sounds/door.wav", "RIFF");
    dir.Write("sounds/theme.ogg", "OggS");
    db.SetSoundFile("sounds.ini");
    media::RecordingAudioBackend backend;
    media::SoundSystem sound(backend, &files);
    rt.sound = &sound;

    Run("PLAYSND('Sfx.Door'); PLAYSND('Sfx.Missing'); PLAYMUZ('Music.Theme');");
    std::vector<std::string> playing;
    for (uint32_t channel : backend.PlayingChannels()) {
        playing.push_back(media::UpperAscii(backend.NameOf(channel)));
    }
    ASSERT_EQ(playing.size(), 2u);
    EXPECT_NE(playing[0].find("DOOR.WAV"), std::string::npos);
    EXPECT_NE(playing[1].find("THEME.OGG"), std::string::npos);
    EXPECT_EQ(backend.Volume(backend.PlayingChannels()[0]), 70); // 100 % sounds x 70 %
    ASSERT_EQ(sound.MusicStreams().size(), 1u);
    EXPECT_GT(sound.MusicStreams()[0].target, 0.0);

    Run("STOPMUZ(0);");
    EXPECT_EQ(sound.MusicStreams()[0].target, 0.0); // fading out
    EXPECT_FALSE(LoggedError("Invalid parameters"));
}

TEST_F(EngineSystem, TimerExitLoadingFlagAndStateCalls) {
    Run("TIMERRESET; TIMERRESET(1);");
    EXPECT_EQ(timerResets, 2);
    rt.loadingActive = true;
    Run("ENDLOADIM;");
    EXPECT_FALSE(rt.loadingActive);
    EXPECT_FALSE(rt.exitRequested);
    // Without a state file the calls change nothing and the script carries on.
    Run("SAVESTATE; LOADSTATE; EXITGAME(1, 2); KQDB.TAG := 'after';");
    EXPECT_TRUE(rt.exitRequested);
    EXPECT_EQ(db.Tag, "after");
}

TEST_F(EngineSystem, GetIniAndSetIniFailWithoutSettingsOrArguments) {
    Run("X := GETINI('Def', 'Snd');");
    EXPECT_TRUE(LoggedError("Invalid parameters, function GETINI"));
    log.clear();
    Run("SETINI('Def', 'Snd');");
    EXPECT_TRUE(LoggedError("Invalid parameters, function SETINI"));
    // No settings file is open: the calls fail too.
    EXPECT_FALSE(Call("GetIni", {Value::Str("Def"), Value::Str("Snd"), Value::Str("100")}).ok);
    EXPECT_FALSE(Call("SetIni", {Value::Str("Def"), Value::Str("Snd"), Value::Str("1")}).ok);
}

} // namespace
} // namespace kq::test
