#include "scene/handles.h"

namespace kq::scene {

namespace {
constexpr uint32_t kGenerationMask = (1u << (32 - HandleTable::kIndexBits)) - 1;
}

uint32_t HandleTable::HandleOf(TKQElement* element, int32_t& slot) {
    if (!element) {
        return 0;
    }
    if (slot < 0) {
        if (!freeSlots_.empty()) {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        } else {
            if (slots_.size() >= kIndexMask) {
                return 0;
            }
            slot = static_cast<int32_t>(slots_.size());
            slots_.push_back({});
        }
        slots_[static_cast<size_t>(slot)].element = element;
    }
    const Slot& s = slots_[static_cast<size_t>(slot)];
    return (s.generation << kIndexBits) | (static_cast<uint32_t>(slot) + 1);
}

TKQElement* HandleTable::Resolve(uint32_t handle) const {
    const uint32_t index = handle & kIndexMask;
    if (index == 0 || index > slots_.size()) {
        return nullptr;
    }
    const Slot& s = slots_[index - 1];
    return s.generation == (handle >> kIndexBits) ? s.element : nullptr;
}

void HandleTable::Release(int32_t slot) {
    if (slot < 0 || static_cast<size_t>(slot) >= slots_.size()) {
        return;
    }
    Slot& s = slots_[static_cast<size_t>(slot)];
    s.element = nullptr;
    // Generation 0 is never used, so a handle is never 0 and wraps skip it.
    s.generation = (s.generation % kGenerationMask) + 1;
    freeSlots_.push_back(slot);
}

} // namespace kq::scene
