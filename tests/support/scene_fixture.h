// Shared pieces of the scene and element tests: a runtime with a given class table, a script
// host that records what runs, and a builder of serialized elements.
#pragma once

#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/script_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kq::test {

struct RecordingHost : scene::ScriptHost {
    struct Run {
        std::string element;
        std::string event;
        std::string text;
    };
    std::vector<Run> runs;

    script::PreparedScript Prepare(const std::string& text) override {
        return {"prepared:" + text, nullptr};
    }
    void RunScript(scene::TKQElement& self, const scene::ScriptText& script, std::string_view event,
                   script::TVarList*) override {
        runs.push_back({self.Id, std::string(event), script.text});
    }
};

// A root database over the class table Classes() returns (the real element classes, or the
// scene tests' stand-ins).
template <const scene::ClassRegistry& (*Classes)()> struct SceneFixtureOf {
    scene::Runtime rt{Classes()};
    scene::TKQDB db{rt};

    scene::TKQElement* Add(scene::TKQElement& parent, std::string_view cls, std::string id) {
        scene::TKQElement* e = rt.classes.CreateChild(parent, cls);
        if (e) {
            e->Id = std::move(id);
        }
        return e;
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
};

// Serialized element: class name, count, raw value bytes, then children blobs.
inline std::string ElementBlob(std::string_view cls, int32_t count, std::string_view values,
                               const std::vector<std::string>& children = {}) {
    Bytes b;
    b.Str(cls).I32(count).Raw(values);
    for (const auto& child : children) {
        b.Str(child);
    }
    return b.Data();
}

} // namespace kq::test
