#include "scene/layer_walk.h"

#include "scene/element.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <unordered_set>

namespace kq::scene {

namespace {

// Adds the Orders of a subtree and of the screens shown inside it. Without recursion: a deep
// tree must not exhaust the stack.
void CollectLayers(TKQElement& subtree, std::vector<int32_t>& out) {
    std::unordered_set<const TKQElement*> shownScreens;
    std::vector<TKQElement*> pending = {&subtree};
    while (!pending.empty()) {
        TKQElement* e = pending.back();
        pending.pop_back();
        out.push_back(e->Order);
        for (const auto& child : e->Children()) {
            pending.push_back(child.get());
        }
        if (TKQElement* shown = e->ShownInPlace()) {
            if (shownScreens.insert(shown).second) {
                pending.push_back(shown);
            }
        }
    }
}

} // namespace

std::vector<int32_t> UsedLayers(TKQElement& subtree) {
    std::vector<int32_t> layers;
    CollectLayers(subtree, layers);
    std::sort(layers.begin(), layers.end());
    layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
    return layers;
}

std::vector<int32_t> UsedLayersWithin(TKQElement& subtree, int32_t lo, int32_t hi, bool descending,
                                      bool* warnedOnce) {
    if (warnedOnce && !*warnedOnce) {
        *warnedOnce = true;
        spdlog::warn("scene: layer range {}..{} is very wide; only used layers are visited", lo,
                     hi);
    }
    std::vector<int32_t> layers = UsedLayers(subtree);
    std::erase_if(layers, [&](int32_t layer) { return layer < lo || layer > hi; });
    if (descending) {
        std::reverse(layers.begin(), layers.end());
    }
    return layers;
}

TKQElement* ElementUnder(TKQElement& screen, int32_t lo, int32_t hi, int32_t x, int32_t y,
                         uint8_t threshold, bool* warnedOnce) {
    TKQElement* found = nullptr;
    WalkLayers(screen, lo, hi, true, warnedOnce, [&](int32_t layer) {
        found = screen.ElementAt(layer, x, y, 0, threshold);
        return found != nullptr;
    });
    return found;
}

void MergeLayers(std::vector<int32_t>& layers, const std::vector<int32_t>& more, int32_t lo,
                 int32_t hi, bool descending) {
    for (int32_t layer : more) {
        if (layer >= lo && layer <= hi) {
            layers.push_back(layer);
        }
    }
    std::sort(layers.begin(), layers.end());
    layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
    if (descending) {
        std::reverse(layers.begin(), layers.end());
    }
}

} // namespace kq::scene
