// Element handles: the 32-bit numbers scripts keep for elements.
//
// Scripts store handles in variables and may use them long after the element is gone, so a
// handle must never resolve to a freed element, nor to a new element that reuses the memory.
// A handle is a slot index (low 20 bits, plus one so that 0 stays "none") and the slot's
// generation (high 12 bits); freeing an element bumps its slot's generation, which makes every
// old handle to it dead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kq::scene {

class TKQElement;

class HandleTable {
public:
    static constexpr uint32_t kIndexBits = 20;
    static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;

    // The element's handle, giving it a slot on first use. 0 when the table is full.
    uint32_t HandleOf(TKQElement* element, int32_t& slot);
    // The live element of a handle, or null for 0, an unknown or a dead handle.
    TKQElement* Resolve(uint32_t handle) const;
    // Called when the element of a slot goes away.
    void Release(int32_t slot);

    size_t SlotCount() const { return slots_.size(); }

private:
    struct Slot {
        TKQElement* element = nullptr;
        uint32_t generation = 1;
    };
    std::vector<Slot> slots_;
    std::vector<int32_t> freeSlots_;
};

} // namespace kq::scene
