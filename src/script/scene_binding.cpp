#include "script/scene_binding.h"

#include <cstdio>
#include <fstream>

#include <spdlog/spdlog.h>

namespace kq::script {

std::optional<std::string> ReadScriptFileFromDisk(std::string_view name) {
    std::ifstream in{std::string(name), std::ios::binary};
    if (!in) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxScriptFileSize) {
        spdlog::warn("script file {} is not readable or too large", name);
        return std::nullopt;
    }
    in.seekg(0, std::ios::beg);
    std::string data(static_cast<size_t>(size), '\0');
    in.read(data.data(), size);
    if (!in && !in.eof()) {
        return std::nullopt;
    }
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

std::string ScriptEnv::ElementDescription() const {
    if (!scene || self == 0) {
        return {};
    }
    return scene->Describe(self);
}

void ScriptEnv::WriteLine(std::string_view line) {
    if (onLogLine) {
        onLogLine(line);
    }
    if (!scene || !scene->SaveErr()) {
        return;
    }
    std::FILE* f = std::fopen(errorLogPath.c_str(), "ab");
    if (!f) {
        if (!logFailureReported) {
            spdlog::warn("cannot write the script error log {}", errorLogPath);
            logFailureReported = true;
        }
        return;
    }
    std::fwrite(line.data(), 1, line.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    std::fclose(f);
}

void ScriptEnv::NoteMissingNative(std::string_view name) {
    constexpr size_t kMaxNamesNoted = 1000; // a script generating names cannot grow this
    if (missingNatives.size() >= kMaxNamesNoted || missingNatives.contains(name)) {
        return;
    }
    missingNatives.emplace(name);
    spdlog::warn("no native routine {}", name);
}

void ScriptEnv::Warn(std::string_view prefix, std::string_view name) {
    std::string line;
    std::string desc = ElementDescription();
    line.reserve(prefix.size() + name.size() + desc.size() + eventName.size() + 6);
    line += prefix;
    line += name;
    line += " (in ";
    line += desc;
    line += ' ';
    line += eventName;
    WriteLine(line);
}

namespace {

// Steps 1 to 3 shared by reading and writing: leading dots, "@<handle>." and the inner path
// steps. On success `element` is the element reached and `last` the final name. `handleOnly`
// is set when the name was "@<handle>." and nothing more.
bool WalkPath(ScriptEnv& env, Handle start, std::string_view name, const TVarList& vars,
              bool allowHandleOnly, Handle& element, std::string_view& last, bool& handleOnly) {
    SceneBinding* scene = env.scene;
    Handle e = start;
    handleOnly = false;
    while (!name.empty() && name[0] == '.') {
        name.remove_prefix(1);
        if (e == 0 || !scene) {
            return false;
        }
        e = scene->Parent(e);
    }
    if (!name.empty() && name[0] == '@') {
        size_t dot = name.find('.');
        if (dot != std::string_view::npos) {
            uint64_t h = 0;
            bool ok = dot > 1;
            for (size_t i = 1; i < dot && ok; ++i) {
                char c = name[i];
                ok = c >= '0' && c <= '9';
                h = h * 10 + static_cast<uint64_t>(c - '0');
                ok = ok && h <= 0xFFFFFFFFull;
            }
            e = (ok && scene && scene->IsElement(static_cast<Handle>(h))) ? static_cast<Handle>(h)
                                                                          : 0;
            name.remove_prefix(dot + 1);
            if (name.empty() && allowHandleOnly) {
                element = e;
                handleOnly = true;
                return true;
            }
        }
    }
    Value v;
    for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.')) {
        std::string_view step = name.substr(0, dot);
        name.remove_prefix(dot + 1);
        if (step.empty() || e == 0 || !scene) {
            return false;
        }
        if (scene->GetProp(e, step, v)) {
            if (!v.IsHandle()) {
                return false;
            }
            e = v.AsHandle();
            continue;
        }
        if (const TVar* var = vars.Lookup(step)) {
            if (!var->value.IsHandle()) {
                return false;
            }
            e = var->value.AsHandle();
            continue;
        }
        if (step == "KQDB") {
            e = scene->Root();
            continue;
        }
        return false;
    }
    element = e;
    last = name;
    return true;
}

} // namespace

bool ReadPath(ScriptEnv& env, Handle start, std::string_view name, const TVarList& vars,
              Value& out) {
    Handle e = 0;
    std::string_view last;
    bool handleOnly = false;
    if (!WalkPath(env, start, name, vars, true, e, last, handleOnly)) {
        return false;
    }
    if (handleOnly) {
        out = Value::LongWord(e);
        return true;
    }
    if (e != 0 && env.scene && env.scene->GetProp(e, last, out)) {
        return true;
    }
    if (env.quietLookup) {
        return false;
    }
    out = Value::Byte(0);
    env.Warn(e != 0 ? "Not var " : "Not var NIL ", name);
    return true;
}

PathWrite WritePath(ScriptEnv& env, Handle start, std::string_view name, const Value& value,
                    const TVarList& vars) {
    Handle e = 0;
    std::string_view last;
    bool handleOnly = false;
    if (!WalkPath(env, start, name, vars, false, e, last, handleOnly) || e == 0 || !env.scene) {
        return PathWrite::NotBound;
    }
    if (env.scene->SetProp(e, last, value)) {
        return PathWrite::Stored;
    }
    return env.scene->RefusesValue(e, last, value) ? PathWrite::Refused : PathWrite::NotBound;
}

} // namespace kq::script
