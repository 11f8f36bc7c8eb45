// The scene's view of the script interpreter: preparing ex* texts and running them.
//
// Every event an element receives is the run of one of its script texts with the element as
// SELF. The scene only stores texts and asks a ScriptHost to prepare and run them; without a
// host (tools, tests of the tree alone) texts are stored and nothing runs.
#pragma once

#include "script/pascalc.h"

#include <string>
#include <string_view>

namespace kq::scene {

class TKQElement;

// One ex* property: the text as authored and the interpreter's prepared form of it.
struct ScriptText {
    std::string text;
    script::PreparedScript prepared;

    bool Empty() const { return text.empty(); }
};

class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // The prepared form of a text, made on the current interpreter instance.
    virtual script::PreparedScript Prepare(const std::string& text) = 0;
    // Runs a prepared text with self as SELF under the given event name. When vars is given,
    // the variables the run leaves are added to it. Nested runs are allowed up to the pool's
    // depth; a deeper run is refused by the host.
    virtual void RunScript(TKQElement& self, const ScriptText& script, std::string_view event,
                           script::TVarList* vars) = 0;
    // The handle of the element that was SELF before the running script started, or 0.
    virtual uint32_t PreviousSelf() const { return 0; }
};

} // namespace kq::scene
