// Walking a screen layer by layer, as the main loop draws it and the mouse code hit-tests it.
//
// A layer range is walked layer by layer while it is narrow. A wider range (a corrupt or
// careless Order far from the others) is walked through the layers really used, so that one
// frame or one hit test never turns into billions of empty calls. The layers used are those of
// the subtree's elements and of the screens its placeholders show in place: a layer used only
// inside a shown screen must be reached as well.
#pragma once

#include <cstdint>
#include <vector>

namespace kq::scene {

class TKQElement;

// Ranges with more layers than this are walked through the layers used.
inline constexpr int64_t kMaxDenseLayers = 4096;

// The layers used in a subtree, ascending, each once: the Order of every element in it and,
// through every element that shows a screen in its place, of that screen's subtree (each shown
// screen once, so placeholders that show each other end).
std::vector<int32_t> UsedLayers(TKQElement& subtree);

// The layers of lo..hi a walk over the subtree visits when the range is wide, in walking
// order; logs once (when warnedOnce is given and false, which it then sets) that the range is
// wide.
std::vector<int32_t> UsedLayersWithin(TKQElement& subtree, int32_t lo, int32_t hi, bool descending,
                                      bool* warnedOnce);

// Adds the layers of `more` (ascending) that lie in lo..hi to `layers` (in walking order), each
// once.
void MergeLayers(std::vector<int32_t>& layers, const std::vector<int32_t>& more, int32_t lo,
                 int32_t hi, bool descending);

// Calls visit(layer) for every layer from lo to hi (ascending, or descending), stopping when it
// answers true; nothing when lo > hi. A wide range visits only the layers used in the subtree
// and those of `alsoUsed` (ascending; e.g. the layers that hold star sprites).
template <typename Visit>
void WalkLayers(TKQElement& subtree, int32_t lo, int32_t hi, bool descending, bool* warnedOnce,
                Visit&& visit, const std::vector<int32_t>& alsoUsed = {}) {
    if (lo > hi) {
        return;
    }
    if (int64_t{hi} - lo < kMaxDenseLayers) {
        if (descending) {
            for (int64_t layer = hi; layer >= lo; --layer) {
                if (visit(static_cast<int32_t>(layer))) {
                    return;
                }
            }
        } else {
            for (int64_t layer = lo; layer <= hi; ++layer) {
                if (visit(static_cast<int32_t>(layer))) {
                    return;
                }
            }
        }
        return;
    }
    std::vector<int32_t> layers = UsedLayersWithin(subtree, lo, hi, descending, warnedOnce);
    if (!alsoUsed.empty()) {
        MergeLayers(layers, alsoUsed, lo, hi, descending);
    }
    for (int32_t layer : layers) {
        if (visit(layer)) {
            return;
        }
    }
}

// The element under (x, y) on a screen: the screen is asked for every layer from hi down to
// lo (margin 0, the given alpha threshold) and the first answer wins; null when none answers.
TKQElement* ElementUnder(TKQElement& screen, int32_t lo, int32_t hi, int32_t x, int32_t y,
                         uint8_t threshold, bool* warnedOnce = nullptr);

} // namespace kq::scene
