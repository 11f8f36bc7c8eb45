// Runtime: the process-wide values of one running game, in one object.
//
// The player owns one; a test builds as many as it likes. Every element reaches it through its
// root database. Element references held here are cleared by the element's destructor, so they
// never dangle.
#pragma once

#include "scene/handles.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>

namespace kq::media {
class GameFiles;
class SoundSystem;
} // namespace kq::media

namespace kq::render {
class Canvas;
class FontCollection;
class ImageService;
} // namespace kq::render

namespace kq::scene {

class ClassRegistry;
class ScriptHost;
class TKQElement;

struct Runtime {
    explicit Runtime(const ClassRegistry& registry) : classes(registry) {}

    const ClassRegistry& classes;
    ScriptHost* scripts = nullptr; // none: texts are stored, nothing runs

    bool loading = false; // the scene file or a saved state is being applied
    TKQElement* currentScreen = nullptr;
    TKQElement* hoverElement = nullptr;
    TKQElement* pressedElement = nullptr;
    TKQElement* cursorElement = nullptr;
    int32_t mouseX = 0;
    int32_t mouseY = 0;
    int32_t mouseDX = 0; // movement of the last mouse-move event
    int32_t mouseDY = 0;
    bool mouseIsDown = false;
    int32_t keyDowned = 0; // key code of the last key_Down event
    uint32_t tickCount = 0;

    // Application state shared by the main loop, the input routing and the script library.
    bool loadingActive = false;  // a screen change with loading is pending
    bool exitRequested = false;  // the game asked to end (script "ExitGame")
    bool wantFullScreen = false; // the user's full-screen choice ("FS", Alt+Enter, script)
    bool testMode = false;       // started with "/TESTMODE": always windowed
    bool narrowDesktop = false;  // windowed mode is impossible on this desktop
    bool loadImagesNow = false;  // image requests load their pixels at once
    int32_t logoIndex = 0;       // logo on screen; -1 once the logo phase is over
    int32_t logoCounter = 0;     // processing steps since the current logo appeared
    // --data-dir: replaces the user's application-data folder (settings, saved games);
    // empty: the platform's own.
    std::string dataDir;
    std::mt19937 random{0};
    // A draw from 0 to n - 1 of the seeded generator (0 when n <= 0), as the scripts' Random
    // draws, so a run with a given seed is reproducible.
    int32_t RandomBelow(int32_t n) {
        return n <= 0 ? 0 : static_cast<int32_t>(random() % static_cast<uint32_t>(n));
    }
    HandleTable handles;
    render::Canvas* canvas = nullptr; // where elements draw; none: nothing is drawn
    // Picture requests; none: names are only stored. Elements keep entries of this service, so
    // it must outlive the scene.
    render::ImageService* images = nullptr;
    // The game's bitmap fonts (the root's FileFonts archive); none: texts find no font. Texts
    // look fonts up by name at each use, so the collection may be reloaded at any time.
    render::FontCollection* fonts = nullptr;
    // The game folder and its pack; none: nothing is read from the game.
    media::GameFiles* files = nullptr;
    // Sound samples, music streams and the two volumes; none: silent, volumes not tracked.
    media::SoundSystem* sound = nullptr;

    TKQElement* pendingScreen = nullptr; // the screen a pending screen change leads to
    TKQElement* focusedText = nullptr;   // the text element that has the keyboard focus
    bool systemCursor = false;           // the system's arrow is shown instead of none
    int32_t desktopWidth = 0;            // in pixels; 0 when unknown

    // Services of the front end. Each may be empty (tests, tools): then the call does nothing.
    std::function<void()> resetTimer; // drop accumulated time: no catch-up steps after a pause
    // Draws one frame cleared to black; present: also shows it (loading progress).
    std::function<void(bool present)> renderFrame;
    std::function<void(bool visible)> showSystemCursor;
    // Opens a checked http, https or mailto address with the desktop's handler.
    std::function<void(std::string_view url)> openUrl;

    // Clears every reference to an element that is going away.
    void Forget(const TKQElement* element, int32_t handleSlot) {
        for (TKQElement** ref : {&currentScreen, &hoverElement, &pressedElement, &cursorElement,
                                 &pendingScreen, &focusedText}) {
            if (*ref == element) {
                *ref = nullptr;
            }
        }
        handles.Release(handleSlot);
    }
};

} // namespace kq::scene
