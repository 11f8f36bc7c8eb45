// Which element a saved-state record belongs to.
//
// Records come in the order a save writes them: depth first, each element's records together.
// So the element of a record is, in this order: the previous record's element while the key is
// unchanged; else the guess noted by the last whole-tree search, when its Key matches; else a
// whole-tree search, which finds the first element with the key in depth-first order and notes
// as the new guess the element that follows it (its next sibling, else its parent's, and so on
// upwards). Elements that share a Key are thus told apart whenever the guess reaches them.
//
// The whole-tree search is answered from an index built once, in one pass over the tree: a file
// full of unknown or shuffled keys costs one pass plus a constant per record, never records x
// elements. Elements are held by handle, so one freed by a setter during the load is never
// reached; elements created during the load are not in the index (they have new keys).
#pragma once

#include <cstdint>
#include <unordered_map>

namespace kq::scene {

class TKQElement;
class HandleTable;

class StateRecordLookup {
public:
    StateRecordLookup(TKQElement& root, const HandleTable& handles);

    // The element of the next record, whose key is given; null when no element has it.
    TKQElement* ElementOf(int32_t key);
    // The whole-tree search alone: the first element with the key in depth-first order.
    TKQElement* Search(int32_t key) const;

    // Elements visited plus lookups answered so far: the work done, for tests of the bound.
    uint64_t Work() const { return work_; }

private:
    struct Entry {
        uint32_t element = 0;  // the first element with the key, depth first
        uint32_t follower = 0; // the guess a search for it notes (0: none)
    };

    const HandleTable& handles_;
    std::unordered_map<int32_t, Entry> byKey_;
    bool havePrevious_ = false;
    int32_t previousKey_ = 0;
    uint32_t previous_ = 0;
    uint32_t guess_ = 0;
    mutable uint64_t work_ = 0;
};

} // namespace kq::scene
