// Engine functions that change screens: through the loading screen (SetScreen, completed by
// LoadIm), at once with the screen's events (FastSetScreen) or at once without them
// (FastSetScreenNS).
#include "scriptlib/engine_internal.h"

#include "elements/screen.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/layer_walk.h"
#include "scene/script_runtime.h"

#include <spdlog/spdlog.h>

namespace kq::script::library {

namespace {

using scene::TKQElement;

// The screen of the first argument (a TKQScreen or a subclass), or null.
TKQElement* ScreenArg(const EngineContext& ctx, const Params& p) {
    return dynamic_cast<elements::TKQScreen*>(ctx.ElementArg(p, 0));
}

// LoadImages on every further argument that is a handle; keep: they also keep their pictures
// across the coming screen change.
void LoadFurther(const EngineContext& ctx, const Params& p, bool keep) {
    for (size_t i = 1; i < p.size(); ++i) {
        if (TKQElement* e = ctx.ElementArg(p, i)) {
            if (keep) {
                e->KeepLoaded = true;
            }
            e->LoadImages();
        }
    }
}

void SetDatabaseReady(scene::Runtime& rt, bool ready) {
    rt.loadImagesNow = ready;
    if (rt.images) {
        rt.images->SetLoadImagesNow(ready);
    }
}

void ResetTimer(scene::Runtime& rt) {
    if (rt.resetTimer) {
        rt.resetTimer();
    }
}

bool BeginScreenChange(const EngineContext& ctx, const Params& p) {
    TKQElement* screen = ScreenArg(ctx, p);
    scene::TKQDB* root = ctx.Root();
    if (!screen || !root) {
        return true;
    }
    scene::Runtime& rt = ctx.rt;
    // Scripts run below (InitPr of the loading screen) may free the screen: keep its handle.
    const uint32_t screenHandle = screen->Handle();

    root->ClearStars();
    rt.focusedText = nullptr;
    if (rt.images) {
        rt.images->SetImagesToLoad(0);
        rt.images->SetImagesDone(0);
    }
    rt.loadingActive = true;
    if (rt.images) {
        rt.images->ClearImageMarks();
    }
    root->ResetImagesLoaded();
    root->MarkAlwaysLoaded();

    // While the change is prepared, picture requests only register (and count) their names;
    // the pictures load when the change completes.
    SetDatabaseReady(rt, false);
    screen = rt.handles.Resolve(screenHandle);
    rt.pendingScreen = screen;
    if (screen) {
        screen->KeepLoaded = true;
        screen->LoadImages();
    }
    if (root->LoadingScreen != 0) {
        TKQElement* loading = root->FindByKey(root->LoadingScreen);
        if (loading && loading != root) {
            loading->InitPr();
        }
    }
    LoadFurther(ctx, p, true);
    SetDatabaseReady(rt, true);
    ResetTimer(rt);
    return true;
}

bool SwitchScreen(const EngineContext& ctx, const Params& p, bool withEvents) {
    TKQElement* screen = ScreenArg(ctx, p);
    scene::TKQDB* root = ctx.Root();
    if (!screen || !root) {
        return true;
    }
    scene::Runtime& rt = ctx.rt;
    const uint32_t screenHandle = screen->Handle();

    if (withEvents) {
        if (TKQElement* hover = rt.hoverElement) {
            hover->MouseOut();
        }
        rt.hoverElement = nullptr;
        // The MouseOut scripts may have freed the screen.
        screen = rt.handles.Resolve(screenHandle);
        if (!screen) {
            return true;
        }
    }
    rt.currentScreen = screen;
    root->ClearStars();
    screen->LoadImages();
    LoadFurther(ctx, p, false);
    rt.focusedText = nullptr;

    if (withEvents) {
        root->RunScript(root->exSetScreen, "SetScreen", root->Vars());
        if ((screen = rt.handles.Resolve(screenHandle))) {
            screen->Show();
        }
        // The element now under the pointer, found as the mouse code finds it (with the
        // root's threshold); the SetScreen script may have switched the screen once more, so
        // the current one is asked.
        TKQElement* found = nullptr;
        if (rt.currentScreen) {
            found = scene::ElementUnder(*rt.currentScreen, root->MinOrder, root->MaxOrder,
                                        rt.mouseX, rt.mouseY, root->hxTransLev);
        }
        rt.hoverElement = found;
        if (found) {
            found->MouseIn();
        }
    }
    ResetTimer(rt);
    return true;
}

} // namespace

bool SetScreen(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return BeginScreenChange(ctx, p);
}
bool FastSetScreen(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SwitchScreen(ctx, p, true);
}
bool FastSetScreenNS(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SwitchScreen(ctx, p, false);
}

bool LoadIm(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    if (scene::TKQDB* root = ctx.Root()) {
        root->FinishScreenChange();
    }
    return true;
}

bool EndLoadIm(const EngineContext& ctx, TPasCalc&, Params&, TVar&) {
    ctx.rt.loadingActive = false;
    return true;
}

} // namespace kq::script::library
