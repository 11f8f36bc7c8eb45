// Runtime: the process-wide values of one running game, in one object.
//
// The player owns one; a test builds as many as it likes. Every element reaches it through its
// root database. Element references held here are cleared by the element's destructor, so they
// never dangle.
#pragma once

#include <cstdint>
#include <random>

namespace kq::scene {

class ClassRegistry;
class ScriptHost;
class TKQElement;

struct Runtime {
    explicit Runtime(const ClassRegistry& registry) : classes(registry) {}

    const ClassRegistry& classes;
    ScriptHost* scripts = nullptr; // none: texts are stored, nothing runs

    bool loading = false; // the scene file or a saved state is being applied
    TKQElement* currentScreen = nullptr;
    TKQElement* hoverElement = nullptr;
    TKQElement* pressedElement = nullptr;
    TKQElement* cursorElement = nullptr;
    int32_t mouseX = 0;
    int32_t mouseY = 0;
    bool mouseIsDown = false;
    uint32_t tickCount = 0;
    std::mt19937 random{0};

    // Clears every reference to an element that is going away.
    void Forget(const TKQElement* element) {
        for (TKQElement** ref : {&currentScreen, &hoverElement, &pressedElement, &cursorElement})
            if (*ref == element)
                *ref = nullptr;
    }
};

} // namespace kq::scene
