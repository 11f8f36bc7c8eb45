// Screen changes of the root database: the end of a change that went through the loading
// screen, and the screens that keep their pictures across changes.
#include "scene/db.h"

#include "media/game_files.h"
#include "media/sound_system.h"
#include "render/image_service.h"
#include "scene/registry.h"

namespace kq::scene {

namespace {

// The glyph picture of the Unicode text mode; the mode is on when the glyph table exists.
constexpr std::string_view kUnicodeTable = "unicode\\unicode.fnt";
constexpr std::string_view kUnicodeGlyphs = "unicode\\unicode.png";

// AllwaysLoad of a screen. The field belongs to the screen class of the element modules, which
// build on this folder, so it is read through the class's registered property.
bool ScreenAlwaysLoads(const TKQElement& screen) {
    const TKQProp* prop = screen.ClassEntry().FindProp("AllwaysLoad");
    return prop && PropInt(prop->get(screen)) != 0;
}

} // namespace

void TKQDB::FinishScreenChange() {
    // One frame is drawn (not shown) first, so the back buffer never holds a half-built scene.
    if (runtime_.renderFrame) {
        runtime_.renderFrame(false);
    }
    if (!runtime_.loadingActive) {
        return;
    }

    if (TKQElement* hover = runtime_.hoverElement) {
        hover->MouseOut();
    }
    runtime_.hoverElement = nullptr;
    runtime_.mouseIsDown = false;

    render::ImageService* images = runtime_.images;
    if (images) {
        images->ClearImageMarks();
    }
    ResetImagesLoaded();
    // The pictures that outlive every screen are requested again so that they count as used
    // and FreeUnusedImages below keeps them.
    if (images) {
        images->LoadImage(kParticleSheet, false);
    }
    if (images && runtime_.files && runtime_.files->Exists(kUnicodeTable)) {
        images->LoadImage(kUnicodeGlyphs, true);
    }

    if (images) {
        images->SetImagesToLoad(images->ImagesToLoad() + 1);
        images->SetImagesDone(0);
    }
    runtime_.currentScreen = nullptr;
    // Children may be freed by scripts run from LoadImages: walk by index and re-read the size.
    for (size_t i = 0; i < ChildCount(); ++i) {
        TKQElement* child = Child(i);
        if (child->KeepLoaded) {
            child->LoadImages();
        }
    }

    runtime_.currentScreen = runtime_.pendingScreen;
    if (runtime_.sound) {
        runtime_.sound->FadeOutForScreenChange();
    }
    if (!vars_) {
        ResetVars();
    }
    RunScript(exSetScreen, "SetScreen", vars_.get());
    // Read again: the SetScreen script may have switched the screen once more.
    if (TKQElement* screen = runtime_.currentScreen) {
        screen->Show();
    }
    if (images) {
        images->FreeUnusedImages();
    }
    if (runtime_.resetTimer) {
        runtime_.resetTimer();
    }
}

void TKQDB::MarkAlwaysLoaded() {
    for (size_t i = 0; i < ChildCount(); ++i) {
        TKQElement* child = Child(i);
        if (child->Class() != ClassId::Screen) {
            continue;
        }
        child->KeepLoaded = ScreenAlwaysLoads(*child);
        if (child->KeepLoaded) {
            child->LoadImages();
        }
    }
}

} // namespace kq::scene
