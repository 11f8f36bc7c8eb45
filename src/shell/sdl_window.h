// The SDL window front end: turns the window system's events into the player's input events
// (scene pixels, virtual-key codes, character message words, activation) and switches between
// the window and desktop full screen.
//
// The window itself belongs to the GL canvas (render/gl_canvas.h), which draws the 1024 x 768
// scene into the window scaled to fit and letterboxed; the mapping here is the inverse of that
// placement, so a click lands on the scene pixel under the pointer in any mode.
#pragma once

#include "shell/input_script.h"

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace kq::shell {

// Where the scene lies in a window of the given size (the placement GlCanvas::Present uses).
struct Letterbox {
    double scale = 1.0;
    int x0 = 0;
    int y0 = 0;
    int width = 0;
    int height = 0;
};
Letterbox ComputeLetterbox(int windowWidth, int windowHeight);
// A window point to the scene pixel under it, clamped to the scene.
void WindowToScene(const Letterbox& box, int wx, int wy, int32_t& sx, int32_t& sy);

// The Windows virtual-key code of an SDL key (the codes games compare KEYDOWNED with); 0 for
// keys without one.
int32_t VirtualKeyFromSdl(SDL_Keycode key);
// Character message words for typed UTF-8 text: one per UTF-16 unit; U+00FF is carried in the
// high word as the window system did.
std::vector<uint32_t> CharWordsFromUtf8(const char* utf8);

class SdlWindow {
public:
    // window: the canvas's window; scale: the windowed size factor.
    SdlWindow(SDL_Window* window, int scale);

    // Takes every pending event. Input becomes events (step left 0, the caller numbers them);
    // false once the window was asked to close.
    bool PumpEvents(std::vector<InputEvent>& out);

    bool Windowed() const;
    // Desktop full screen or the windowed client size; the display mode never changes.
    void SetWindowed(bool windowed);
    int DesktopWidth() const;
    bool Active() const { return active_; }
    bool Minimised() const { return minimised_; }
    void SetTitle(const std::string& utf8);
    void ShowSystemCursor(bool on);

private:
    SDL_Window* window_;
    int scale_;
    bool active_ = true;
    bool minimised_ = false;
};

} // namespace kq::shell
