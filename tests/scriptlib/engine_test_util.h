// Shared pieces of the engine-function tests: a scene with real scripts, pictures in a
// temporary game folder, and helpers that run script text or call one routine directly.
#pragma once

#include "elements/classes.h"
#include "elements/image.h"
#include "elements/screen.h"
#include "media/game_files.h"
#include "media/image_decode.h"
#include "media/image_test_util.h"
#include "media/text_encoding.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/script_runtime.h"
#include "script/stdlib.h"
#include "scriptlib/engine_functions.h"
#include "scriptlib/title_packs.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kq::test {

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        rt.canvas = &canvas;
        rt.images = &images;
        rt.files = &files;
        rt.scripts = &scripts;
        rt.logoIndex = -1;
        rt.loadImagesNow = true;
        images.SetLoadImagesNow(true);
        rt.resetTimer = [this] { ++timerResets; };
        rt.renderFrame = [this](bool present) { frames.push_back(present); };
        rt.openUrl = [this](std::string_view url) { openedUrls.emplace_back(url); };
        scripts.SetRoot(&db);
        scripts.Env().onLogLine = [this](std::string_view line) { log.emplace_back(line); };
    }

    // Runs script text with the root as SELF.
    void Run(const std::string& text) {
        db.SetScript(scene::ScriptSlot::Update, text);
        db.Update();
    }
    // Calls one engine routine directly with "VALUE" arguments.
    struct CallResult {
        bool ok = false;
        script::Value value;
    };
    CallResult Call(std::string_view name, std::vector<script::Value> args) {
        script::NativeRoutine routine = EngineRoutine(name);
        EXPECT_TRUE(routine) << name;
        CallResult out;
        if (!routine) {
            return out;
        }
        std::vector<script::TVar> params;
        for (auto& a : args) {
            params.push_back({"VALUE", std::move(a)});
        }
        script::TVar result;
        out.ok = routine(scripts.Pool().Instance(0), params, result);
        out.value = result.value;
        return out;
    }
    static script::Value H(scene::TKQElement& e) { return script::Value::LongWord(e.Handle()); }

    // ---- Scene building ----
    template <typename F> void Png(const std::string& name, int w, int h, F f) {
        dir.Write(name, MakePng(w, h, f));
    }
    void SolidPng(const std::string& name, int w, int h, uint32_t colour = 0xFF336699u) {
        Png(name, w, h, [&](int, int) { return colour; });
    }
    elements::TKQScreen& Screen(std::string id) {
        return Add<elements::TKQScreen>(db, "TKQScreen", std::move(id));
    }
    elements::TKQImage& Image(scene::TKQElement& parent, std::string id,
                              const std::string& picture = {}) {
        auto& e = Add<elements::TKQImage>(parent, "TKQImage", std::move(id));
        if (!picture.empty()) {
            e.SetImImage(picture);
        }
        return e;
    }
    template <class T> T& Add(scene::TKQElement& parent, std::string_view cls, std::string id) {
        auto* e = static_cast<T*>(rt.classes.CreateChild(parent, cls));
        EXPECT_NE(e, nullptr) << cls;
        e->Id = std::move(id);
        e->AssignNewKey();
        return *e;
    }
    void Set(scene::TKQElement& e, std::string_view prop, scene::PropValue v) {
        const scene::TKQProp* p = e.ClassEntry().FindProp(prop);
        ASSERT_NE(p, nullptr) << prop;
        p->set(e, v);
    }
    // An element script that appends `word;` to the root's Tag (the event log of a test).
    void LogOn(scene::TKQElement& e, scene::ScriptSlot slot, const std::string& word) {
        e.SetScript(slot, "KQDB.TAG := KQDB.TAG + '" + word + ";';");
    }
    bool LoggedError(std::string_view part) const {
        for (const std::string& line : log) {
            if (line.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    TempDir dir;
    media::GameFiles files{dir.Path()};
    render::RecordingCanvas canvas;
    uint32_t tick = 1;
    render::ImageService images{files, canvas, [this] { return tick; }};
    scene::Runtime rt{elements::ElementClasses()};
    scene::ScriptRuntime scripts{rt, [this](script::TPasCalc& calc) {
                                     script::library::RegisterGameLibrary(calc, scripts, rt);
                                 }};
    std::vector<script::LibraryEntry> engine = script::library::EngineFunctions(scripts, rt);

    // The registered engine routine of `name` (any letter case); empty when there is none.
    script::NativeRoutine EngineRoutine(std::string_view name) const {
        for (const script::LibraryEntry& entry : engine) {
            if (media::EqualsNoCaseAscii(entry.name, name)) {
                return entry.routine;
            }
        }
        return {};
    }
    scene::TKQDB db{rt};

    int timerResets = 0;
    std::vector<bool> frames; // renderFrame calls: present or not
    std::vector<std::string> openedUrls;
    std::vector<std::string> log;
};

} // namespace kq::test
