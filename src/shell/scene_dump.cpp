#include "shell/scene_dump.h"

#include "scenejson/scene_json.h"

#include "elements/animation.h"
#include "elements/effect.h"
#include "elements/shape.h"
#include "elements/text.h"
#include "render/font.h"
#include "scene/db.h"
#include "scene/db_unicode.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/stars.h"
#include "script/var_list.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <system_error>

namespace kq::shell {

using nlohmann::ordered_json;

namespace {

ordered_json ValueJson(const script::Value& v, const media::TextCodec& codec) {
    switch (v.Kind()) {
    case script::VarKind::Empty:
        return nullptr;
    case script::VarKind::Boolean:
        return v.RawInt() != 0;
    case script::VarKind::Double:
        return tools::FloatJson(v.RawDouble());
    case script::VarKind::String:
        return codec.ToUtf8(v.RawStr());
    default:
        return v.RawInt();
    }
}

ordered_json KeysOf(const scene::TKQElement* e) {
    return e ? ordered_json(e->Key) : ordered_json(nullptr);
}

// The live star records in index order, every field.
ordered_json StarsJson(const scene::StarTable& stars) {
    ordered_json out = ordered_json::array();
    int index = 0;
    for (const scene::Star& s : stars.Records()) {
        if (s.live) {
            out.push_back({{"index", index},
                           {"pattern", s.pattern},
                           {"layer", s.layer},
                           {"mode", s.mode},
                           {"color", s.color},
                           {"angle", tools::FloatJson(s.angle)},
                           {"x", tools::FloatJson(s.x)},
                           {"y", tools::FloatJson(s.y)},
                           {"size", tools::FloatJson(s.size)},
                           {"angle_speed", tools::FloatJson(s.angleSpeed)},
                           {"size_speed", tools::FloatJson(s.sizeSpeed)},
                           {"x_speed", tools::FloatJson(s.xSpeed)},
                           {"y_speed", tools::FloatJson(s.ySpeed)}});
        }
        ++index;
    }
    return out;
}

// An engine string as UTF-8: code-page bytes through the codec, each 0x01 escape as its
// character (an escape cut short is dropped).
std::string EngineTextUtf8(std::string_view s, const media::TextCodec& codec) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == scene::kUnicodeEscape) {
            const size_t n = std::min<size_t>(3, s.size() - i);
            out += scene::Utf16ToUtf8(scene::FromThreeByte(s.substr(i, n)));
            i += n;
            continue;
        }
        const size_t end = std::min(s.find(scene::kUnicodeEscape, i), s.size());
        out += codec.ToUtf8(s.substr(i, end - i));
        i = end;
    }
    return out;
}

// A text's laid-out lines and the font it found.
ordered_json TextStateJson(const elements::TKQText& text, const media::TextCodec& codec) {
    ordered_json layout = ordered_json::array();
    for (std::string_view line : text.LaidLines()) {
        layout.push_back(EngineTextUtf8(line, codec));
    }
    ordered_json out = ordered_json::object();
    out["layout"] = std::move(layout);
    const render::BitmapFont* font = text.FindFont();
    out["font"] = font ? ordered_json(font->Name()) : ordered_json(nullptr);
    return out;
}

// An effect's particle system: emission state and every live particle in array order
// (null without a system).
ordered_json ParticlesJson(const elements::TKQEffect& effect) {
    const media::ParticleSystem* system = effect.System();
    if (!system) {
        return nullptr;
    }
    ordered_json items = ordered_json::array();
    for (const media::Particle& p : system->Particles()) {
        const std::optional<uint32_t> color = media::PackedColor(p);
        items.push_back({{"x", tools::FloatJson(p.x)},
                         {"y", tools::FloatJson(p.y)},
                         {"size", tools::FloatJson(p.size)},
                         {"spin", tools::FloatJson(p.spin)},
                         {"frame", tools::FloatJson(p.frame)},
                         {"color", color ? ordered_json(*color) : ordered_json(nullptr)}});
    }
    ordered_json out = ordered_json::object();
    out["live"] = system->LiveCount();
    out["emitting"] = system->Emitting();
    out["timer"] = tools::FloatJson(system->Timer());
    out["remainder"] = tools::FloatJson(system->Remainder());
    out["items"] = std::move(items);
    return out;
}

} // namespace

ordered_json ElementStateJson(const scene::TKQElement& element, const media::TextCodec& codec) {
    // The element as kqpack dumps it, with each element's script variables added.
    return tools::ElementJson(
        element, codec, [&codec](const scene::TKQElement& e, ordered_json& out) {
            ordered_json vars = ordered_json::object();
            if (const script::TVarList* list = e.Vars()) {
                for (const script::TVar& var : list->Items()) {
                    vars[codec.ToUtf8(var.name)] =
                        ordered_json::array({std::string(script::KindName(var.value.Kind())),
                                             ValueJson(var.value, codec)});
                }
            }
            out["vars"] = std::move(vars);
            if (e.Class() == scene::ClassId::Anim) {
                const auto& anim = static_cast<const elements::TKQAnim&>(e);
                out["state"] = {{"frames", anim.FrameCount()}};
            } else if (const auto* effect = dynamic_cast<const elements::TKQEffect*>(&e)) {
                out["state"] = {{"particles", ParticlesJson(*effect)}};
            } else if (const auto* text = dynamic_cast<const elements::TKQText*>(&e)) {
                out["state"] = TextStateJson(*text, codec);
            } else if (const auto* shape = dynamic_cast<const elements::TKQShape*>(&e);
                       shape && shape->Masked) {
                // The layer's render target; null until the first Compose made one.
                const render::SizeI size = shape->TargetSize();
                out["state"] = {{"target", size.width > 0
                                               ? ordered_json::array({size.width, size.height})
                                               : ordered_json(nullptr)}};
            }
        });
}

ordered_json RuntimeJson(const scene::Runtime& rt, const media::TextCodec&) {
    ordered_json out = ordered_json::object();
    out["current_screen"] = KeysOf(rt.currentScreen);
    out["hover"] = KeysOf(rt.hoverElement);
    out["cursor"] = KeysOf(rt.cursorElement);
    out["tick_count"] = rt.tickCount;
    out["logo_index"] = rt.logoIndex;
    out["loading_active"] = rt.loadingActive;
    out["mouse"] = ordered_json::array({rt.mouseX, rt.mouseY});
    out["focus"] = KeysOf(rt.focusedText);
    return out;
}

ordered_json GameStateJson(const scene::TKQDB& db, const scene::Runtime& rt,
                           const media::TextCodec& codec) {
    ordered_json out = ElementStateJson(db, codec);
    out["runtime"] = RuntimeJson(rt, codec);
    out["runtime"]["stars"] = StarsJson(db.Stars());
    return out;
}

std::string JsonText(const ordered_json& json) {
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

bool WriteTextFile(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        if (!out) {
            spdlog::error("shell: cannot write {}", temp.string());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        spdlog::error("shell: cannot rename {} to {}: {}", temp.string(), file.string(),
                      ec.message());
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace kq::shell
