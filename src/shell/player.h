// Player: the spine of a running game, without any window system in it.
//
// It owns the order of things: the logo phase that overlaps the game's initialisation, the
// processing step (30 per second), the drawing order of a frame, the routing of mouse, key,
// character and activation input to the scene, the windowed/full-screen wish, and shutdown.
// The window front end (sdl_window.h) and the headless driver feed it events and ask it for
// frames; tests drive it directly with a stepped clock and a recording canvas.
//
// Mouse positions are scene pixels (0..1023, 0..767). The scene tree, the runtime, the timer
// and the hooks belong to the caller and must outlive the player.
#pragma once

#include "render/canvas.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "shell/game_timer.h"
#include "shell/input_script.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kq::render {
class ImageService;
struct TKQIm;
} // namespace kq::render

namespace kq::elements {
class TKQShape;
}

namespace kq::shell {

// What a logo needs for drawing: the texture of its first pattern, the texture size the logo is
// centred by (pattern size plus 2, rounded up to even) and the colour the screen is filled with
// (the picture's top-left pixel).
struct LogoPicture {
    render::TextureId texture = render::kNoTexture;
    int textureWidth = 0;
    int textureHeight = 0;
    render::Color background = 0xFF000000u;
};

// Finds start-up logos by number ("logos\logoN.jpg").
class LogoSource {
public:
    virtual ~LogoSource() = default;
    // Requests logo `number`; true when it has a drawable picture.
    virtual bool Load(int number) = 0;
    // The picture of the logo last loaded, fetched again for every frame; nothing when it
    // has none (any more).
    virtual std::optional<LogoPicture> Picture() = 0;
};

// Logos through the image service (not kept: they are released like any unused picture).
class ImageLogoSource final : public LogoSource {
public:
    explicit ImageLogoSource(render::ImageService& images) : images_(images) {}
    bool Load(int number) override;
    std::optional<LogoPicture> Picture() override;

private:
    render::ImageService& images_;
    render::TKQIm* entry_ = nullptr;
};

// Services the player calls that live outside the scene tree or are still to come. Every
// method has a harmless default, so a front end overrides only what it has.
class PlayerHooks {
public:
    virtual ~PlayerHooks() = default;

    // ---- Scene services ----
    // Draws the mask of a masked shape into its render target (before the frame begins).
    virtual void ComposeShapeMask(elements::TKQShape&) {}
    // Star sprites: the per-step update and the drawing of one layer (1000 is the top).
    virtual void ProcessStarsHook() {}
    virtual void RenderStarsHook(int32_t) {}
    // Completes a pending screen change when there is no loading screen. The player clears
    // loadingActive afterwards itself.
    virtual void FinishScreenChange() {}
    // The root's key-down event (exKeyDown as "key_Down" with the key code).
    virtual void RootKeyDown(int32_t) {}
    // The root's character input (8-bit code, or 16-bit in the Unicode text mode).
    virtual void RootCharInput(uint16_t) {}
    virtual bool UnicodeMode() const { return false; }
    // Converts a character (UTF-16 code) to the game's code page; nothing when it has none.
    virtual std::optional<uint8_t> CharToCodePage(uint16_t code) const {
        if (code < 128) {
            return static_cast<uint8_t>(code);
        }
        return std::nullopt;
    }
    // Stores the full-screen wish in the settings ("FS" in section "Def") when a settings
    // file is open.
    virtual void StoreFullScreen(bool) {}

    // ---- Audio ----
    virtual void PlaySoundHook(std::string_view, int) {}
    virtual void MusicFadeStepHook() {}
    virtual void PauseAudio(bool) {}

    // ---- Display ----
    // Whether the display is windowed now, and the switch (desktop full screen, never a
    // display-mode change).
    virtual bool DisplayWindowed() const { return true; }
    virtual void SetDisplayWindowed(bool) {}
    // Desktop width in pixels, 0 when unknown (then windowed mode is never refused).
    virtual int DesktopWidth() const { return 0; }
    // While paused, a mouse move draws and presents one frame without clearing.
    virtual void RepaintWhilePaused() {}
};

class Player {
public:
    Player(scene::Runtime& rt, scene::TKQDB& db, GameTimer& timer, PlayerHooks& hooks,
           LogoSource* logos, render::Canvas* canvas);

    // After the scene was read: makes the InitScreen element current, resets and enables
    // the timer. The logo phase starts with the first processing step.
    void Start();
    // Ends the logo phase as its normal end does (Init, LoadImages, Show as still due).
    void SkipLogos();

    // One processing step.
    void TimerProcess();
    // Frame step 1: masks of masked shapes of the current screen (before the scene begins).
    void ComposeMasks();
    // Draws the frame onto the canvas (already cleared by the caller); nothing without one.
    void DeviceRender();
    // Window closing: timer off, the root's exExit as "Exit", CurrentScreen and hover cleared.
    void Shutdown();

    // ---- Input (scene pixels) ----
    void MouseMove(int32_t x, int32_t y);
    void MouseDown(int32_t x, int32_t y);
    void MouseUp(int32_t x, int32_t y);
    // A key press: Alt+Enter (altOnly: Alt and no other modifier) toggles full screen first;
    // every key then goes to the root as a virtual-key code.
    void KeyDown(int32_t code, bool altOnly);
    // A character message word: the low 16 bits, or the high 16 bits when the low are 255.
    void CharMessage(uint32_t word);
    // Window activation (active and not minimised) or deactivation/minimising.
    void Activate(bool active);
    // The once-a-second check: resumes a paused game whose window is active after all.
    void OneSecondCheck(bool windowActive, bool minimised);
    // One recorded or live input event through the handlers above (its step is not looked at).
    void Deliver(const InputEvent& event);
    // The windowed/full-screen switch following WantFullScreen.
    void FlWin();
    // forceWindowed keeps the display windowed like the test mode does (command line).
    void SetForceWindowed(bool on) { forceWindowed_ = on; }

    bool Paused() const { return !timer_.Enabled(); }
    bool GameInitDone() const { return gameInitDone_; }
    bool FirstShowDone() const { return firstShowDone_; }
    // Logo on screen (LogoIndex) and steps since it appeared (LogoCounter).
    int32_t LogoIndex() const { return rt_.logoIndex; }
    int32_t LogoCounter() const { return rt_.logoCounter; }

private:
    void LogoStep();
    void EndLogoPhase();
    void NextLogo();
    void LoadingStep();
    void GameStep();
    void DrawLogo();
    void RenderElementLayers(scene::TKQElement& e, double offsetX, double offsetY);
    // The mouse-move routine with its events; used by the other mouse handlers too.
    void MoveTo(int32_t x, int32_t y);
    scene::TKQElement* HitTest(int32_t x, int32_t y);
    scene::TKQElement* LoadingScreenElement();

    scene::Runtime& rt_;
    scene::TKQDB& db_;
    GameTimer& timer_;
    std::vector<int32_t> starLayers_; // reused by every frame
    PlayerHooks& hooks_;
    LogoSource* logos_;
    render::Canvas* canvas_;
    bool gameInitDone_ = false;
    bool firstShowDone_ = false;
    bool logoDrawable_ = false;
    bool forceWindowed_ = false;
    bool shutDown_ = false;
    bool wideLayersWarned_ = false;
};

} // namespace kq::shell
