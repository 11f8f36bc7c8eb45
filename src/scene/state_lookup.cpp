#include "scene/state_lookup.h"

#include "scene/element.h"
#include "scene/handles.h"

#include <utility>
#include <vector>

namespace kq::scene {

StateRecordLookup::StateRecordLookup(TKQElement& root, const HandleTable& handles)
    : handles_(handles) {
    // Depth first in child order, without recursion (a deep tree must not exhaust the stack);
    // each element travels with the element that follows its subtree.
    std::vector<std::pair<TKQElement*, uint32_t>> pending = {{&root, 0}};
    while (!pending.empty()) {
        const auto [e, follower] = pending.back();
        pending.pop_back();
        ++work_;
        byKey_.try_emplace(e->Key, Entry{e->Handle(), follower}); // the first one found wins
        const auto& children = e->Children();
        uint32_t after = follower;
        for (size_t i = children.size(); i-- > 0;) {
            pending.emplace_back(children[i].get(), after);
            after = children[i]->Handle();
        }
    }
}

TKQElement* StateRecordLookup::Search(int32_t key) const {
    ++work_;
    const auto it = byKey_.find(key);
    return it == byKey_.end() ? nullptr : handles_.Resolve(it->second.element);
}

TKQElement* StateRecordLookup::ElementOf(int32_t key) {
    ++work_;
    if (havePrevious_ && key == previousKey_) {
        return handles_.Resolve(previous_);
    }
    havePrevious_ = true;
    previousKey_ = key;
    if (TKQElement* guess = handles_.Resolve(guess_); guess && guess->Key == key) {
        previous_ = guess_; // the guess stays: only a search notes a new one
        return guess;
    }
    const auto it = byKey_.find(key);
    if (it == byKey_.end()) {
        previous_ = 0;
        guess_ = 0;
        return nullptr;
    }
    previous_ = it->second.element;
    guess_ = it->second.follower;
    return handles_.Resolve(previous_);
}

} // namespace kq::scene
