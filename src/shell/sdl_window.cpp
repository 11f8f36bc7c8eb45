#include "shell/sdl_window.h"

#include "render/canvas.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kq::shell {

Letterbox ComputeLetterbox(int windowWidth, int windowHeight) {
    Letterbox box;
    if (windowWidth <= 0 || windowHeight <= 0) {
        return box;
    }
    box.scale = std::min(static_cast<double>(windowWidth) / render::kSceneWidth,
                         static_cast<double>(windowHeight) / render::kSceneHeight);
    box.width = static_cast<int>(render::kSceneWidth * box.scale);
    box.height = static_cast<int>(render::kSceneHeight * box.scale);
    box.x0 = (windowWidth - box.width) / 2;
    box.y0 = (windowHeight - box.height) / 2;
    return box;
}

void WindowToScene(const Letterbox& box, int wx, int wy, int32_t& sx, int32_t& sy) {
    if (box.width <= 0 || box.height <= 0) {
        sx = std::clamp(wx, 0, render::kSceneWidth - 1);
        sy = std::clamp(wy, 0, render::kSceneHeight - 1);
        return;
    }
    const double fx = (wx - box.x0) * static_cast<double>(render::kSceneWidth) / box.width;
    const double fy = (wy - box.y0) * static_cast<double>(render::kSceneHeight) / box.height;
    sx = std::clamp(static_cast<int32_t>(std::floor(fx)), 0, render::kSceneWidth - 1);
    sy = std::clamp(static_cast<int32_t>(std::floor(fy)), 0, render::kSceneHeight - 1);
}

int32_t VirtualKeyFromSdl(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + (key - SDLK_F1);
    }
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
        return 0x61 + (key - SDLK_KP_1);
    }
    switch (key) {
    case SDLK_BACKSPACE:
        return 0x08;
    case SDLK_TAB:
        return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 0x0D;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 0x11;
    case SDLK_LALT:
    case SDLK_RALT:
        return 0x12;
    case SDLK_PAUSE:
        return 0x13;
    case SDLK_CAPSLOCK:
        return 0x14;
    case SDLK_ESCAPE:
        return 0x1B;
    case SDLK_SPACE:
        return 0x20;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_LEFT:
        return 0x25;
    case SDLK_UP:
        return 0x26;
    case SDLK_RIGHT:
        return 0x27;
    case SDLK_DOWN:
        return 0x28;
    case SDLK_PRINTSCREEN:
        return 0x2C;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    case SDLK_KP_0:
        return 0x60;
    case SDLK_KP_MULTIPLY:
        return 0x6A;
    case SDLK_KP_PLUS:
        return 0x6B;
    case SDLK_KP_MINUS:
        return 0x6D;
    case SDLK_KP_PERIOD:
        return 0x6E;
    case SDLK_KP_DIVIDE:
        return 0x6F;
    case SDLK_NUMLOCKCLEAR:
        return 0x90;
    case SDLK_SCROLLLOCK:
        return 0x91;
    case SDLK_SEMICOLON:
        return 0xBA;
    case SDLK_EQUALS:
        return 0xBB;
    case SDLK_COMMA:
        return 0xBC;
    case SDLK_MINUS:
        return 0xBD;
    case SDLK_PERIOD:
        return 0xBE;
    case SDLK_SLASH:
        return 0xBF;
    case SDLK_BACKQUOTE:
        return 0xC0;
    case SDLK_LEFTBRACKET:
        return 0xDB;
    case SDLK_BACKSLASH:
        return 0xDC;
    case SDLK_RIGHTBRACKET:
        return 0xDD;
    case SDLK_QUOTE:
        return 0xDE;
    default:
        return 0;
    }
}

std::vector<uint32_t> CharWordsFromUtf8(const char* utf8) {
    std::vector<uint32_t> words;
    if (!utf8) {
        return words;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        uint32_t cp = 0;
        int extra = 0;
        if (*p < 0x80) {
            cp = *p;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            cp = *p & 0x07;
            extra = 3;
        } else {
            ++p; // stray continuation byte
            continue;
        }
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        if (!ok || cp > 0x10FFFF) {
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            words.push_back(0xD800 + (cp >> 10));
            words.push_back(0xDC00 + (cp & 0x3FF));
        } else if (cp == 0xFF) {
            words.push_back(0x00FF00FFu);
        } else {
            words.push_back(cp);
        }
    }
    return words;
}

SdlWindow::SdlWindow(SDL_Window* window, int scale) : window_(window), scale_(std::max(1, scale)) {
    // The game draws its own cursor (its cursor element) unless it asks for the system one.
    SDL_ShowCursor(SDL_DISABLE);
    SDL_StartTextInput();
}

bool SdlWindow::PumpEvents(std::vector<InputEvent>& out) {
    bool open = true;
    SDL_Event ev;
    int ww = 0;
    int wh = 0;
    SDL_GetWindowSize(window_, &ww, &wh);
    const Letterbox box = ComputeLetterbox(ww, wh);
    auto mouse = [&](InputKind kind, int x, int y) {
        InputEvent e;
        e.kind = kind;
        WindowToScene(box, x, y, e.x, e.y);
        out.push_back(e);
    };
    while (SDL_PollEvent(&ev)) {
        switch (ev.type) {
        case SDL_QUIT:
            open = false;
            break;
        case SDL_MOUSEMOTION:
            mouse(InputKind::Move, ev.motion.x, ev.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN: // every button acts alike
            mouse(InputKind::Down, ev.button.x, ev.button.y);
            break;
        case SDL_MOUSEBUTTONUP:
            mouse(InputKind::Up, ev.button.x, ev.button.y);
            break;
        case SDL_KEYDOWN: {
            const int32_t vk = VirtualKeyFromSdl(ev.key.keysym.sym);
            if (vk == 0) {
                break;
            }
            const Uint16 mod = ev.key.keysym.mod;
            InputEvent e;
            e.kind = InputKind::Key;
            e.code = static_cast<uint32_t>(vk);
            e.alt = (mod & KMOD_ALT) && !(mod & (KMOD_CTRL | KMOD_SHIFT | KMOD_GUI));
            out.push_back(e);
            // Keys that the window system turned into control characters.
            if (vk == 0x08 || vk == 0x09 || vk == 0x0D || vk == 0x1B) {
                if (!(vk == 0x0D && e.alt)) {
                    InputEvent c;
                    c.kind = InputKind::Char;
                    c.code = static_cast<uint32_t>(vk);
                    out.push_back(c);
                }
            }
            break;
        }
        case SDL_TEXTINPUT:
            for (uint32_t word : CharWordsFromUtf8(ev.text.text)) {
                InputEvent c;
                c.kind = InputKind::Char;
                c.code = word;
                out.push_back(c);
            }
            break;
        case SDL_WINDOWEVENT: {
            InputEvent a;
            a.kind = InputKind::Activate;
            switch (ev.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                open = false;
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                active_ = true;
                if (!minimised_) {
                    a.code = 1;
                    out.push_back(a);
                }
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                active_ = false;
                a.code = 0;
                out.push_back(a);
                break;
            case SDL_WINDOWEVENT_MINIMIZED:
                minimised_ = true;
                a.code = 0;
                out.push_back(a);
                break;
            case SDL_WINDOWEVENT_RESTORED:
                minimised_ = false;
                if (active_) {
                    a.code = 1;
                    out.push_back(a);
                }
                break;
            default:
                break;
            }
            break;
        }
        default:
            break;
        }
    }
    return open;
}

bool SdlWindow::Windowed() const {
    return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) == 0;
}

void SdlWindow::SetWindowed(bool windowed) {
    if (windowed) {
        SDL_SetWindowFullscreen(window_, 0);
        SDL_SetWindowBordered(window_, SDL_TRUE);
        SDL_SetWindowSize(window_, render::kSceneWidth * scale_, render::kSceneHeight * scale_);
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    } else {
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    SDL_ShowWindow(window_);
    SDL_RaiseWindow(window_);
}

int SdlWindow::DesktopWidth() const {
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window_);
    if (display < 0 || SDL_GetDesktopDisplayMode(display, &mode) != 0) {
        return 0;
    }
    return mode.w;
}

void SdlWindow::SetTitle(const std::string& utf8) {
    SDL_SetWindowTitle(window_, utf8.c_str());
}

void SdlWindow::ShowSystemCursor(bool on) {
    SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
}

} // namespace kq::shell
