#include "shell/player.h"

#include "elements/shape.h"
#include "render/image_service.h"
#include "scene/layer_walk.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace kq::shell {

using scene::TKQElement;

namespace {

constexpr int32_t kLogoFullCounter = 18;    // the logo is fully visible: a start-up action runs
constexpr int32_t kLogoFadeOutCounter = 83; // the logo starts fading out
constexpr int32_t kLogoEndCounter = 100;
constexpr int32_t kLastLogoNumber = 10;
constexpr uint32_t kNoTint = 0xFFFFFFFFu;
} // namespace

// ---- Logos through the image service ----

bool ImageLogoSource::Load(int number) {
    entry_ = &images_.LoadImage("logos\\logo" + std::to_string(number) + ".jpg", false);
    return images_.GetImage(*entry_) != nullptr;
}

std::optional<LogoPicture> ImageLogoSource::Picture() {
    if (!entry_) {
        return std::nullopt;
    }
    const render::TextureImage* image = images_.GetImage(*entry_);
    if (!image) {
        return std::nullopt;
    }
    LogoPicture p;
    p.texture = image->Texture();
    p.textureWidth = image->TextureWidth();
    p.textureHeight = image->TextureHeight();
    p.background = image->Pixel(0, 0, 0).value_or(0xFF000000u);
    return p;
}

// ---- Player ----

Player::Player(scene::Runtime& rt, scene::TKQDB& db, GameTimer& timer, PlayerHooks& hooks,
               LogoSource* logos, render::Canvas* canvas)
    : rt_(rt), db_(db), timer_(timer), hooks_(hooks), logos_(logos), canvas_(canvas) {}

void Player::Start() {
    TKQElement* first = db_.InitScreen != 0 ? db_.FindByKey(db_.InitScreen) : nullptr;
    if (first == &db_) {
        first = nullptr;
    }
    if (!first) {
        spdlog::warn("shell: InitScreen {} names no element; nothing will be shown",
                     db_.InitScreen);
    }
    rt_.currentScreen = first;
    timer_.Reset();
    timer_.SetEnabled(true);
}

void Player::SkipLogos() {
    if (rt_.logoIndex >= 0) {
        EndLogoPhase();
    }
}

void Player::TimerProcess() {
    ++rt_.tickCount;
    if (rt_.logoIndex >= 0) {
        LogoStep();
    } else if (rt_.loadingActive) {
        LoadingStep();
    } else {
        GameStep();
    }
}

void Player::LogoStep() {
    if (rt_.logoCounter < kLogoEndCounter && rt_.logoIndex > 0) {
        ++rt_.logoCounter;
        if (rt_.logoCounter != kLogoFullCounter) {
            return;
        }
        // The first logo's full-visibility moment initialises the game, the second shows it.
        if (!gameInitDone_) {
            db_.Init();
            if (rt_.currentScreen) {
                rt_.currentScreen->LoadImages();
            }
            gameInitDone_ = true;
        } else if (!firstShowDone_) {
            if (rt_.currentScreen) {
                rt_.currentScreen->Show();
            }
            firstShowDone_ = true;
        }
    } else if (rt_.logoIndex >= kLastLogoNumber) {
        EndLogoPhase();
    } else {
        NextLogo();
    }
}

void Player::EndLogoPhase() {
    if (!gameInitDone_) {
        db_.Init();
        gameInitDone_ = true;
    }
    if (!firstShowDone_) {
        if (rt_.currentScreen) {
            rt_.currentScreen->LoadImages();
        }
        if (rt_.currentScreen) {
            rt_.currentScreen->Show();
        }
        firstShowDone_ = true;
    }
    timer_.Reset();
    rt_.logoIndex = -1;
}

void Player::NextLogo() {
    // Missing numbers are skipped within this one step; the sound is tried for every number.
    do {
        ++rt_.logoIndex;
        logoDrawable_ = logos_ && logos_->Load(rt_.logoIndex);
        hooks_.PlaySoundHook("logo" + std::to_string(rt_.logoIndex) + ".mp3", 100);
    } while (!logoDrawable_ && rt_.logoIndex < kLastLogoNumber);
    rt_.logoCounter = 0;
    timer_.Reset();
}

TKQElement* Player::LoadingScreenElement() {
    if (db_.LoadingScreen == 0) {
        return nullptr;
    }
    TKQElement* e = db_.FindByKey(db_.LoadingScreen);
    return e == &db_ ? nullptr : e;
}

void Player::LoadingStep() {
    if (TKQElement* loading = LoadingScreenElement()) {
        loading->Process();
    } else {
        hooks_.FinishScreenChange();
        rt_.loadingActive = false;
    }
    hooks_.MusicFadeStepHook();
}

void Player::GameStep() {
    // Each reference is read again: a script may change the screen or the cursor in between.
    if (rt_.currentScreen) {
        rt_.currentScreen->Process();
    }
    hooks_.ProcessStarsHook();
    if (rt_.cursorElement) {
        rt_.cursorElement->Process();
    }
    db_.Process();
    hooks_.MusicFadeStepHook();
    if (rt_.wantFullScreen == hooks_.DisplayWindowed()) {
        FlWin();
    }
    // rt_.exitRequested is acted on by the loop that owns the window.
}

// ---- Drawing ----

void Player::ComposeMasks() {
    TKQElement* screen = rt_.currentScreen;
    if (!screen) {
        return;
    }
    for (size_t i = 0; i < screen->ChildCount(); ++i) {
        TKQElement* child = screen->Child(i);
        const scene::ClassId cls = child->Class();
        if (cls != scene::ClassId::Shape && cls != scene::ClassId::ShapeEff) {
            continue;
        }
        auto& shape = static_cast<elements::TKQShape&>(*child);
        if (!shape.Masked) {
            continue;
        }
        if (cls == scene::ClassId::ShapeEff &&
            !static_cast<elements::TKQShapeEff&>(shape).AutoRender) {
            continue;
        }
        hooks_.ComposeShapeMask(shape);
    }
}

void Player::RenderElementLayers(TKQElement& e, double offsetX, double offsetY) {
    scene::WalkLayers(e, e.MinOrder, e.MaxOrder, false, &wideLayersWarned_, [&](int32_t layer) {
        e.Render(layer, kNoTint, offsetX, offsetY, false);
        return false;
    });
}

void Player::DeviceRender() {
    if (!canvas_) {
        return;
    }
    if (rt_.logoIndex >= 0) {
        DrawLogo();
        return;
    }
    if (rt_.loadingActive) {
        if (rt_.currentScreen) {
            RenderElementLayers(*rt_.currentScreen, 0, 0);
        }
        if (TKQElement* loading = LoadingScreenElement()) {
            RenderElementLayers(*loading, 0, 0);
        }
        return;
    }
    if (TKQElement* screen = rt_.currentScreen) {
        // A wide layer range is walked through the layers used; those holding stars count too.
        starLayers_.clear();
        if (int64_t{db_.MaxOrder} - db_.MinOrder >= scene::kMaxDenseLayers) {
            db_.Stars().AppendLiveLayers(starLayers_);
        }
        scene::WalkLayers(
            *screen, db_.MinOrder, db_.MaxOrder, false, &wideLayersWarned_,
            [&](int32_t layer) {
                if (rt_.currentScreen) {
                    rt_.currentScreen->Render(layer, kNoTint, 0, 0, false);
                }
                hooks_.RenderStarsHook(layer);
                return false;
            },
            starLayers_);
    }
    hooks_.RenderStarsHook(scene::kTopStarLayer);
    if (TKQElement* cursor = rt_.cursorElement) {
        RenderElementLayers(*cursor, rt_.mouseX, rt_.mouseY);
    }
}

void Player::DrawLogo() {
    if (!logos_ || !logoDrawable_) {
        return;
    }
    std::optional<LogoPicture> picture = logos_->Picture();
    if (!picture) {
        return;
    }
    const int32_t counter = rt_.logoCounter;
    int32_t alpha = 255;
    if (counter < kLogoFullCounter) {
        alpha = counter * 15;
    } else if (counter >= kLogoFadeOutCounter && counter <= kLogoEndCounter) {
        alpha = (kLogoEndCounter - counter) * 15;
    }
    alpha = std::clamp(alpha, 0, 255);
    canvas_->FillRect(0, 0, render::kSceneWidth, render::kSceneHeight,
                      picture->background | 0xFF000000u, 1);
    const int x = (render::kSceneWidth - picture->textureWidth) / 2;
    const int y = (render::kSceneHeight - picture->textureHeight) / 2;
    canvas_->DrawAt(picture->texture, 0, static_cast<float>(x), static_cast<float>(y),
                    (static_cast<uint32_t>(alpha) << 24) | 0xFFFFFFu, 0x504);
}

// ---- Shutdown ----

void Player::Shutdown() {
    timer_.SetEnabled(false);
    shutDown_ = true;
    db_.Exit();
    rt_.currentScreen = nullptr;
    rt_.hoverElement = nullptr;
}

// ---- Input ----

TKQElement* Player::HitTest(int32_t x, int32_t y) {
    return scene::ElementUnder(*rt_.currentScreen, db_.MinOrder, db_.MaxOrder, x, y, 0,
                               &wideLayersWarned_);
}

void Player::MoveTo(int32_t x, int32_t y) {
    if (rt_.loadingActive) {
        return;
    }
    rt_.mouseDX = x - rt_.mouseX;
    rt_.mouseDY = y - rt_.mouseY;
    rt_.mouseX = x;
    rt_.mouseY = y;
    if (Paused()) {
        hooks_.RepaintWhilePaused();
        return;
    }
    if (!rt_.currentScreen) {
        return;
    }
    TKQElement* found = HitTest(x, y);
    TKQElement* hover = rt_.hoverElement;
    const bool kept = rt_.mouseIsDown && hover && hover->MsKeep;
    if (!kept && found != hover) {
        if (hover) {
            hover->MouseOut();
        }
        rt_.hoverElement = found;
        if (found) {
            found->MouseIn();
        }
    }
    if (rt_.hoverElement) {
        rt_.hoverElement->MouseMove();
    }
    db_.MouseMove();
}

void Player::MouseMove(int32_t x, int32_t y) {
    MoveTo(x, y);
}

void Player::MouseDown(int32_t x, int32_t y) {
    if (rt_.logoIndex >= 0) {
        // A click only shortens the logo: it starts fading out at once.
        if (rt_.logoCounter > kLogoFullCounter && rt_.logoCounter < kLogoFadeOutCounter) {
            rt_.logoCounter = kLogoFadeOutCounter;
        }
        return;
    }
    if (rt_.loadingActive) {
        return;
    }
    rt_.mouseX = x;
    rt_.mouseY = y;
    // A click a little beside a small button still presses it: probe around the point until
    // an element with a mouse-down script is under the pointer.
    static constexpr int32_t kProbes[9][2] = {{0, 0}, {-2, -2}, {-2, 0}, {-2, 2}, {0, -2},
                                              {0, 2}, {2, -2},  {2, 0},  {2, 2}};
    for (const auto& probe : kProbes) {
        MoveTo(x + probe[0], y + probe[1]);
        TKQElement* hover = rt_.hoverElement;
        if (hover && !hover->Script(scene::ScriptSlot::MouseDown).Empty()) {
            break;
        }
    }
    if (rt_.hoverElement) {
        rt_.hoverElement->MouseDown();
    }
    rt_.pressedElement = rt_.hoverElement;
    rt_.mouseIsDown = true;
    if (!(rt_.hoverElement && rt_.hoverElement->NoMsKQDB)) {
        db_.MouseDown();
    }
    MoveTo(x, y);
}

void Player::MouseUp(int32_t x, int32_t y) {
    if (rt_.loadingActive) {
        return;
    }
    rt_.mouseX = x;
    rt_.mouseY = y;
    MoveTo(x, y);
    if (rt_.hoverElement && rt_.hoverElement == rt_.pressedElement) {
        rt_.hoverElement->MouseUp();
    }
    if (!(rt_.hoverElement && rt_.hoverElement->NoMsKQDB)) {
        db_.MouseUp();
    }
    if (!(rt_.mouseIsDown && rt_.hoverElement && rt_.hoverElement->MsKeep)) {
        rt_.mouseIsDown = false;
        MoveTo(x, y); // the hover may change now
    }
    rt_.mouseIsDown = false;
}

void Player::KeyDown(int32_t code, bool altOnly) {
    if (code == 13 && altOnly) {
        rt_.wantFullScreen = !rt_.wantFullScreen;
        FlWin();
    }
    hooks_.RootKeyDown(code);
}

void Player::CharMessage(uint32_t word) {
    uint16_t code = static_cast<uint16_t>(word & 0xFFFFu);
    if (code == 255) {
        code = static_cast<uint16_t>(word >> 16);
    }
    if (hooks_.UnicodeMode()) {
        hooks_.RootCharInput(code);
        return;
    }
    if (std::optional<uint8_t> byte = hooks_.CharToCodePage(code)) {
        hooks_.RootCharInput(*byte);
    }
}

void Player::Activate(bool active) {
    if (shutDown_) {
        return;
    }
    if (!active) {
        timer_.SetEnabled(false);
        hooks_.PauseAudio(true);
        return;
    }
    timer_.SetEnabled(true);
    timer_.Reset(); // the inactive time must not come back as catch-up steps
    hooks_.PauseAudio(false);
}

void Player::OneSecondCheck(bool windowActive, bool minimised) {
    if (shutDown_ || timer_.Enabled() || !windowActive || minimised) {
        return;
    }
    timer_.SetEnabled(true);
    timer_.Reset();
    hooks_.PauseAudio(false);
}

void Player::Deliver(const InputEvent& event) {
    switch (event.kind) {
    case InputKind::Move:
        MouseMove(event.x, event.y);
        break;
    case InputKind::Down:
        MouseDown(event.x, event.y);
        break;
    case InputKind::Up:
        MouseUp(event.x, event.y);
        break;
    case InputKind::Key:
        KeyDown(static_cast<int32_t>(event.code), event.alt);
        break;
    case InputKind::Char:
        CharMessage(event.code);
        break;
    case InputKind::Activate:
        Activate(event.code != 0);
        break;
    }
}

void Player::FlWin() {
    if (rt_.narrowDesktop) {
        rt_.wantFullScreen = true;
    }
    hooks_.StoreFullScreen(rt_.wantFullScreen);
    if (rt_.testMode || forceWindowed_) {
        rt_.wantFullScreen = false; // the stored choice stays; test runs are always windowed
    }
    if (hooks_.DisplayWindowed() == !rt_.wantFullScreen) {
        return;
    }
    const bool wasEnabled = !shutDown_;
    timer_.SetEnabled(false);
    hooks_.SetDisplayWindowed(!rt_.wantFullScreen);
    const int desktop = hooks_.DesktopWidth();
    if (hooks_.DisplayWindowed() && desktop > 0 && desktop <= render::kSceneWidth) {
        rt_.narrowDesktop = true;
        rt_.wantFullScreen = true;
        hooks_.SetDisplayWindowed(false);
    }
    // The GL context survives the switch (the scene is scaled, the display mode never
    // changes), so textures need no reloading; only the time of the switch is dropped. The
    // particle sheet is requested again all the same, so effects and stars always draw from
    // the entry the image service holds now.
    db_.RequestParticleSheet();
    timer_.Reset();
    timer_.SetEnabled(wasEnabled);
}

} // namespace kq::shell
