// Shared pieces of the element tests: a runtime with a recording canvas, an image service over a
// temporary game folder and a script host that records which events ran.
#pragma once

#include "elements/classes.h"
#include "elements/image.h"
#include "elements/screen.h"
#include "media/game_files.h"
#include "media/image_decode.h"
#include "media/image_test_util.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/script_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kq::test {

struct EventLog : scene::ScriptHost {
    struct Run {
        std::string element;
        std::string event;
    };
    std::vector<Run> runs;

    script::PreparedScript Prepare(const std::string& text) override { return {text, nullptr}; }
    void RunScript(scene::TKQElement& self, const scene::ScriptText&, std::string_view event,
                   script::TVarList*) override {
        runs.push_back({self.Id, std::string(event)});
    }
    // "id:event" of every run, in order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        for (const Run& r : runs) {
            out.push_back(r.element + ":" + r.event);
        }
        return out;
    }
};

class ElementsTest : public ::testing::Test {
protected:
    ElementsTest() {
        rt.canvas = &canvas;
        rt.images = &images;
        rt.scripts = &host;
        images.SetLoadImagesNow(true);
    }

    // A 32-bit PNG of w x h in the game folder, pixels from f(x, y) as ARGB.
    template <typename F> void Png(const std::string& name, int w, int h, F f) {
        dir.Write(name, MakePng(w, h, f));
    }
    void SolidPng(const std::string& name, int w, int h, uint32_t colour = 0xFF336699u) {
        Png(name, w, h, [&](int, int) { return colour; });
    }

    elements::TKQScreen& Screen(std::string id) {
        auto* s = static_cast<elements::TKQScreen*>(rt.classes.CreateChild(db, "TKQScreen"));
        s->Id = std::move(id);
        s->AssignNewKey();
        return *s;
    }
    elements::TKQImage& Image(scene::TKQElement& parent, std::string id,
                              const std::string& picture = {}) {
        auto* e = static_cast<elements::TKQImage*>(rt.classes.CreateChild(parent, "TKQImage"));
        e->Id = std::move(id);
        e->AssignNewKey();
        if (!picture.empty()) {
            e->SetImImage(picture);
        }
        return *e;
    }
    template <class T> T& Add(scene::TKQElement& parent, std::string_view cls, std::string id) {
        auto* e = static_cast<T*>(rt.classes.CreateChild(parent, cls));
        e->Id = std::move(id);
        e->AssignNewKey();
        return *e;
    }
    void Set(scene::TKQElement& e, std::string_view prop, scene::PropValue v) {
        const scene::TKQProp* p = e.ClassEntry().FindProp(prop);
        ASSERT_NE(p, nullptr) << prop;
        p->set(e, v);
    }
    scene::PropValue Get(const scene::TKQElement& e, std::string_view prop) {
        const scene::TKQProp* p = e.ClassEntry().FindProp(prop);
        return p ? p->get(e) : scene::PropValue{};
    }
    // Renders a screen as the main loop does: every layer of the root, tint opaque white.
    void RenderFrame(scene::TKQElement& screen) {
        for (int32_t layer = db.MinOrder; layer <= db.MaxOrder; ++layer) {
            screen.Render(layer, 0xFFFFFFFFu, 0, 0, false);
        }
    }
    // The mouse code's question: layers from the top down, margin and threshold 0.
    scene::TKQElement* HitAt(scene::TKQElement& screen, int32_t x, int32_t y) {
        for (int32_t layer = db.MaxOrder; layer >= db.MinOrder; --layer) {
            if (scene::TKQElement* hit = screen.ElementAt(layer, x, y, 0, 0)) {
                return hit;
            }
        }
        return nullptr;
    }
    render::TextureId TextureOf(const elements::TKQImage& image) {
        const render::TextureImage* picture = image.Picture();
        return picture ? picture->Texture() : render::kNoTexture;
    }
    const std::vector<render::DrawCall>& Calls() const { return canvas.Calls(); }

    TempDir dir;
    media::GameFiles files{dir.Path()};
    render::RecordingCanvas canvas;
    uint32_t tick = 1;
    render::ImageService images{files, canvas, [this] { return tick; }};
    EventLog host;
    scene::Runtime rt{elements::ElementClasses()};
    scene::TKQDB db{rt};
};

} // namespace kq::test
