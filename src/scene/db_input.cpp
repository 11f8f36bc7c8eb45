// Keys, typed characters and cheat codes of the root database.
#include "scene/db.h"

#include "scene/db_unicode.h"
#include "scene/registry.h"

#include <string>

namespace kq::scene {

namespace {

constexpr size_t kCheatBufferSize = 10;
constexpr uint16_t kBackspace = 8;

// The new text of a focused text element after a typed character; false when the character
// is ignored (the text is not assigned at all).
bool EditText(std::string& text, uint16_t code, bool unicode) {
    if (code == kBackspace) {
        size_t remove = text.empty() ? 0 : 1;
        if (unicode && text.size() >= 3 && text[text.size() - 3] == kUnicodeEscape) {
            remove = 3;
        }
        text.resize(text.size() - remove);
        return true;
    }
    if (unicode) {
        if (code >= 32 && code <= 119) {
            text.push_back(static_cast<char>(code));
        } else if (code >= 128) {
            text.push_back(kUnicodeEscape);
            text.push_back(static_cast<char>(code & 0xFF));
            text.push_back(static_cast<char>(code >> 8));
        } else {
            return false;
        }
        return true;
    }
    if (code > 255 || code == '#' || code == '$') {
        return false;
    }
    // Other control characters assign the text unchanged, so its setter still runs.
    if (code >= 32) {
        text.push_back(static_cast<char>(code));
    }
    return true;
}

} // namespace

void TKQDB::CharInput(uint16_t code) {
    if (TKQElement* focused = runtime_.focusedText) {
        // The text's own setter runs (it re-measures and redraws the text).
        const TKQProp* prop = focused->ClassEntry().FindProp("Text");
        if (!prop || prop->kind != PropKind::String) {
            return;
        }
        std::string text = PropString(prop->get(*focused));
        if (EditText(text, code, UnicodeMode())) {
            prop->set(*focused, PropValue(std::move(text)));
        }
        return;
    }
    cheatBuffer_.push_back(static_cast<char>(code & 0xFF));
    if (cheatBuffer_.size() > kCheatBufferSize) {
        cheatBuffer_.erase(0, cheatBuffer_.size() - kCheatBufferSize);
    }
    if (Cheats.empty()) {
        return;
    }
    const std::string codes = ";" + Cheats + ";";
    std::string probe;
    for (size_t p = 0; p < cheatBuffer_.size(); ++p) {
        probe.assign(";").append(cheatBuffer_, p).push_back(';');
        if (codes.find(probe) == std::string::npos) {
            continue;
        }
        lastCheat_ = cheatBuffer_.substr(p);
        RunScript(exCheat, "Cheat");
    }
}

void TKQDB::KeyDown(int32_t code) {
    runtime_.keyDowned = code;
    RunScript(exKeyDown, "key_Down");
}

void TKQDB::Exit() {
    RunScript(exExit, "Exit");
}

void TKQDB::LIProcess() {
    RunScript(exLoadImProcess, "LIProcess");
    if (runtime_.renderFrame) {
        runtime_.renderFrame(true);
    }
}

} // namespace kq::scene
