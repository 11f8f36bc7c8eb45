// TKQDB: the root of the scene tree and the game's global object.
//
// Besides being an element it loads the scene file, holds the player's settings (volumes, full
// screen, cursor) in a per-user settings file, gives language texts and sound-table entries by
// key, handles typed characters and cheat codes, runs the game-wide events ("key_Down", "Cheat",
// "Exit", "LIProcess", "SetScreen"), saves and restores the game state, and completes screen
// changes. The code is split by concern: db.cpp (scene, properties, slot overrides),
// db_settings.cpp (per-user folder, settings file, root script names), db_language.cpp
// (languages, sound table, Unicode data), db_input.cpp (keys, characters, cheats),
// screen_change.cpp and state_file.cpp.
#pragma once

#include "scene/element.h"
#include "scene/runtime.h"
#include "scene/stars.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::render {
class FreeTypeText;
struct TKQIm;
} // namespace kq::render

namespace kq::scene {

// The picture every particle system and star draws from; requested kept when the scene is read.
inline constexpr std::string_view kParticleSheet = "particles.bmp";

class RenderTargetList;

class TKQDB : public TKQElement {
public:
    explicit TKQDB(Runtime& runtime);
    ~TKQDB() override;

    ClassId Class() const override { return ClassId::DB; }

    // ---- Scene (db.cpp) ----
    // Reads a scene file: destroys the children, opens the pack (same name, ".kst", any letter
    // case) in the game folder of the runtime's game files, loads the blob, then the Unicode data
    // when the game has "unicode\unicode.fnt". A missing file leaves an empty tree. Fails when the
    // file is missing, unreadable or corrupt, naming the file and where it went wrong.
    media::LoadResult LoadScene(const std::filesystem::path& sceneFile);
    // Destroys the root's children and loads a whole scene (the root's serialized blob) with
    // keepKeys true and the runtime's loading flag on. Before reading, the particle sheet
    // "particles.bmp" is requested (kept), so it is the image service's first entry. Fails when
    // the blob was cut short or corrupt (the error's offset counts from the blob's start):
    // whatever was read stays in the tree. Nothing is logged: the caller reports the error.
    media::LoadResult LoadSceneBlob(std::string_view blob);
    // The particle sheet's entry (kept); null without an image service. Effects build their
    // particle systems only once it exists.
    render::TKQIm* ParticleImage() const { return particleImage_; }
    // Requests the particle sheet (kept) and holds its entry: before the scene is read and
    // again after a display-mode switch. Nothing without an image service.
    void RequestParticleSheet();

    // ---- Star sprites (db_stars.cpp) ----
    StarTable& Stars() { return *stars_; }
    const StarTable& Stars() const { return *stars_; }
    // The main loop's star step, after the current screen's Process; nothing while a screen
    // change is loading.
    void ProcessStars();
    // Draws the stars of one layer from the particle sheet (the main loop calls it after each
    // layer of the current screen and once with kTopStarLayer); nothing while loading or
    // without a canvas or a drawable sheet.
    void RenderStars(int32_t layer);
    // Frees every star (screen changes do it).
    void ClearStars() { stars_->Clear(); }

    // ---- Off-screen layers of masked shapes (render_targets.h) ----
    RenderTargetList& RenderTargets() { return *renderTargets_; }

    // The first direct child whose Id equals name without regard to case, or null.
    TKQElement* FindChildById(std::string_view name) const;

    // Process runs only the root's own exProcess: the main loop processes the current screen.
    void Process() override;
    // InitPr clears Initialized on the whole tree, then runs Init on the root.
    void InitPr() override;
    // Adds the root's own names ("VOLMUZ", "VOLSND", "FULLSCREEN", "SYSCURSOR", "CHEAT",
    // "UNICODE", "WINMODEENABLE", "DESKTOPWIDTH") to the element names.
    bool GetProp(std::string_view name, script::Value& out) override;
    bool SetProp(std::string_view name, const script::Value& value) override;

    // ---- Languages, sound table, Unicode text mode (db_language.cpp) ----
    // The language text of a key "Section.Name" (no dot: section "Default"); "" when there is
    // none. In the Unicode mode characters above 127 come as 0x01, low byte, high byte.
    std::string Translate(std::string_view key) const;
    struct SoundRef {
        std::string file;   // "" when the key has no entry
        int32_t volume = 0; // percent
    };
    // The sound-table entry of a key "Section.Name": "70:door.wav" gives 70 and "door.wav",
    // a value without colon volume 100.
    SoundRef SoundEntry(std::string_view key) const;
    bool UnicodeMode() const;
    // What the text elements need of the Unicode mode (empty / null outside it).
    struct UnicodeGlyph {
        uint16_t glyph = 0; // position of the glyph in the glyph image
        uint8_t width = 0;  // pixels
    };
    // The glyph table, indexed by UTF-16 code; codes not listed hold zero entries.
    const std::vector<UnicodeGlyph>& UnicodeGlyphs() const;
    // The TrueType face name for texts the glyph image cannot show.
    const std::string& UnicodeFaceName() const;
    // The bytes of "unicode\unicode.ttf", registered for the run (empty when the game has none).
    const std::string& UnicodeFontBytes() const;
    // The glyph image "unicode\unicode.png" (kept); null without an image service.
    render::TKQIm* UnicodeGlyphImage() const;
    // The face of the texts rasterised in the Unicode mode: "unicode\unicode.ttf", or, when
    // the game has none (or it does not open), the system's DejaVu Sans, logged once. Opened at
    // the first call; null outside the Unicode mode or when no face opens.
    render::FreeTypeText* UnicodeRasterFace();

    // ---- Per-user folder and settings (db_settings.cpp) ----
    // The folder of settings and saved games: the data folder (--data-dir, else the user's
    // application-data folder) + "Kestwin/" + the root's Id + "/"; the game folder when none
    // can be found.
    std::filesystem::path UserFolder() const;
    // The settings file's string of section/key; nothing when no settings file is open or the
    // call fails (GetIni of scripts). SetIni writes and saves the file; false on failure.
    std::optional<std::string> GetIni(std::string_view section, std::string_view key,
                                      std::string_view defaultValue);
    bool SetIni(std::string_view section, std::string_view key, std::string_view value);
    // Settings changed by scripts or the player: applied at once and stored in section "Def"
    // when a settings file is open.
    void SetMusicVolumeSetting(int32_t percent);
    void SetSoundVolumeSetting(int32_t percent);
    void SetFullScreenSetting(bool on);
    void SetSystemCursorSetting(bool on);

    // ---- Keys and characters (db_input.cpp) ----
    // A typed character (16-bit in the Unicode mode, else an 8-bit code): edits the focused
    // text, or goes to the cheat buffer.
    void CharInput(uint16_t code);
    // "KEYDOWNED" := code, then exKeyDown runs as "key_Down".
    void KeyDown(int32_t code);
    // exExit runs as "Exit" (the window closes).
    void Exit();
    // exLoadImProcess runs as "LIProcess", then one frame is drawn and shown.
    void LIProcess();
    const std::string& LastCheat() const { return lastCheat_; }

    // ---- Screen changes (screen_change.cpp) ----
    // Completes a screen change begun by the script function "SetScreen".
    void FinishScreenChange();
    // Every direct child screen keeps its pictures when it is always loaded, and loads them.
    void MarkAlwaysLoaded();

    // ---- Saved game state (state_file.cpp) ----
    // SaveState replaces the state file with the whole tree in one rename: false (the old save
    // kept) when no state file is chosen or it cannot be written. LoadState applies the state
    // file (a missing file counts as empty); it fails, saying why, when none is chosen, the
    // file cannot be read or a record is bad (the records before it stay applied). LoadState
    // does not log its failure: the caller does.
    bool SaveState();
    media::LoadResult LoadState();
    // The state file's path; empty while none is chosen.
    const std::filesystem::path& StateFilePath() const { return stateFilePath_; }

    // ---- Property setters with effects ----
    void SetFileRS(const std::string& value);    // state_file.cpp
    void SetIniFile(const std::string& value);   // db_settings.cpp
    void SetLang(const std::string& value);      // db_language.cpp
    void SetSoundFile(const std::string& value); // db_language.cpp
    void SetMaxMem(int32_t bytes);               // db.cpp
    // Loads the fonts archive (a pack in the game folder) into the runtime's font collection,
    // replacing the fonts it held; a missing archive leaves the collection empty (logged).
    void SetFileFonts(const std::string& value); // db.cpp

    // Published properties (after Key, Id, X, Y, Vis).
    int32_t CurKey = 0;
    int32_t InitScreen = 0;
    std::string FileRS;
    std::string FileFonts;
    uint8_t hxTransLev = 0;
    std::string DefLang;
    std::string Lang;
    int32_t LoadingScreen = 0;
    ScriptText exLoadImProcess;
    std::string IniFile;
    std::string SoundFile;
    ScriptText exKeyDown;
    ScriptText exExit;
    int32_t MaxMem = 0;
    ScriptText exCheat;
    std::string Cheats;
    bool SaveErr = false;
    ScriptText exSetScreen;
    bool AlwaysLoadIm = false;
    int32_t Version = 0;

private:
    friend class TKQElement;
    struct Ini;         // an INI document (SimpleIni), defined in db_settings.cpp
    struct UnicodeData; // the Unicode text mode's tables, defined in db_language.cpp
    struct IniDeleter {
        void operator()(Ini* ini) const;
    };
    struct UnicodeDeleter {
        void operator()(UnicodeData* data) const;
    };

    // Unicode mode: opened after the scene when the game has "unicode\unicode.fnt".
    void PrepareUnicode();
    // The language file decoded for the Unicode mode (from UTF-16 or UTF-8 text).
    void LoadWideLanguage();
    // Applies section "Def" of a freshly opened settings file.
    void ApplySettings();
    // Writes the settings file (temporary file beside it, then renamed over); false on failure.
    bool SaveSettings();
    // Stores an integer of section "Def" and saves, when a settings file is open.
    void StoreSetting(const char* key, int32_t value);

    Runtime& runtime_;
    std::filesystem::path stateFilePath_;
    std::unique_ptr<Ini, IniDeleter> settings_;            // the per-user settings file
    std::unique_ptr<Ini, IniDeleter> language_;            // the language file, in memory
    std::unique_ptr<Ini, IniDeleter> soundTable_;          // the sound table, in memory
    std::unique_ptr<UnicodeData, UnicodeDeleter> unicode_; // none outside the Unicode mode
    std::string cheatBuffer_; // the last (at most) ten typed characters
    std::string lastCheat_;
    render::TKQIm* particleImage_ = nullptr;
    std::unique_ptr<StarTable> stars_ = std::make_unique<StarTable>();
    std::unique_ptr<RenderTargetList> renderTargets_;
};

// The registry entry of the root (registered first by the element modules).
std::vector<TKQProp> DbProps();

} // namespace kq::scene
