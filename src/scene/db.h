// TKQDB: the root of the scene tree and the game's global object.
//
// This module holds the root's published properties and the loading of a scene file into the
// tree. Settings, languages, the sound table and screen changes join as the player grows; their
// setters store the values for now.
#pragma once

#include "scene/element.h"
#include "scene/runtime.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kq::scene {

class TKQDB : public TKQElement {
public:
    explicit TKQDB(Runtime& runtime);
    ~TKQDB() override;

    ClassId Class() const override { return ClassId::DB; }

    // Destroys the root's children and loads a whole scene (the root's serialized blob) with
    // keepKeys true and the runtime's loading flag on. False when the blob was cut short or
    // corrupt: whatever was read stays in the tree.
    bool LoadSceneBlob(std::string_view blob);

    // The first direct child whose Id equals name without regard to case, or null.
    TKQElement* FindChildById(std::string_view name) const;

    // The language text of a key "Section.Name"; "" when there is none. (Languages are not
    // loaded yet: every key answers "".)
    std::string Translate(std::string_view key) const;

    // Process runs only the root's own exProcess: the main loop processes the current screen.
    void Process() override;
    // InitPr clears Initialized on the whole tree, then runs Init on the root.
    void InitPr() override;

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
    Runtime& runtime_;
};

// The registry entry of the root (registered first by the element modules).
std::vector<TKQProp> DbProps();

} // namespace kq::scene
