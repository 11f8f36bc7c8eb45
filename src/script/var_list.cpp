#include "script/var_list.h"

#include <algorithm>

namespace kq::script {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            if (x >= 'a' && x <= 'z') {
                x = static_cast<unsigned char>(x - 32);
            }
            if (y >= 'a' && y <= 'z') {
                y = static_cast<unsigned char>(y - 32);
            }
            if (x != y) {
                return false;
            }
        }
    }
    return true;
}

std::string_view ArrayBase(std::string_view name) {
    size_t open = name.find('[');
    return open == std::string_view::npos ? std::string_view() : name.substr(0, open);
}

} // namespace

int TVarList::IndexOf(std::string_view name, uint64_t hash) const {
    if (slots_.empty()) {
        return -1;
    }
    const size_t mask = slots_.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        int32_t idx = slots_[s];
        if (idx < 0) {
            return -1;
        }
        if (hashes_[static_cast<size_t>(idx)] == hash &&
            SameName(vars_[static_cast<size_t>(idx)].name, name)) {
            return idx;
        }
    }
}

TVar* TVarList::Lookup(std::string_view name, uint64_t hash) {
    int idx = IndexOf(name, hash);
    return idx < 0 ? nullptr : &vars_[static_cast<size_t>(idx)];
}

const TVar* TVarList::Lookup(std::string_view name) const {
    int idx = IndexOf(name);
    return idx < 0 ? nullptr : &vars_[static_cast<size_t>(idx)];
}

bool TVarList::SetValue(std::string_view name, const Value& value) {
    TVar* v = Lookup(name);
    if (!v) {
        return false;
    }
    v->value = value;
    return true;
}

void TVarList::IndexInsert(uint64_t hash, int32_t index) {
    const size_t mask = slots_.size() - 1;
    size_t s = hash & mask;
    while (slots_[s] >= 0) {
        s = (s + 1) & mask;
    }
    slots_[s] = index;
}

void TVarList::Grow() {
    size_t want = 16;
    while (want < (vars_.size() + 1) * 2) {
        want *= 2;
    }
    if (want <= slots_.size()) {
        return;
    }
    slots_.assign(want, -1);
    for (size_t i = 0; i < vars_.size(); ++i) {
        IndexInsert(hashes_[i], static_cast<int32_t>(i));
    }
}

TVar& TVarList::Append(std::string_view name, Value value) {
    uint64_t hash = HashName(name);
    int existing = IndexOf(name, hash);
    if (existing >= 0) {
        return vars_[static_cast<size_t>(existing)];
    }
    Grow();
    vars_.push_back(TVar{std::string(name), std::move(value)});
    hashes_.push_back(hash);
    IndexInsert(hash, static_cast<int32_t>(vars_.size() - 1));
    std::string_view base = ArrayBase(name);
    if (!base.empty()) {
        ++arrayBases_[HashName(base)];
    }
    if (name.find('.') != std::string_view::npos) {
        ++dotted_;
    }
    return vars_.back();
}

void TVarList::Put(std::string_view name, Value value) {
    TVar* v = Lookup(name);
    if (v) {
        v->value = std::move(value);
    } else {
        Append(name, std::move(value));
    }
}

bool TVarList::Remove(std::string_view name) {
    int idx = IndexOf(name);
    if (idx < 0) {
        return false;
    }
    vars_.erase(vars_.begin() + idx);
    hashes_.erase(hashes_.begin() + idx);
    Rebuild();
    return true;
}

void TVarList::Clear() {
    vars_.clear();
    hashes_.clear();
    std::fill(slots_.begin(), slots_.end(), -1);
    arrayBases_.clear();
    dotted_ = 0;
}

void TVarList::Rebuild() {
    std::fill(slots_.begin(), slots_.end(), -1);
    arrayBases_.clear();
    dotted_ = 0;
    for (size_t i = 0; i < vars_.size(); ++i) {
        IndexInsert(hashes_[i], static_cast<int32_t>(i));
        std::string_view base = ArrayBase(vars_[i].name);
        if (!base.empty()) {
            ++arrayBases_[HashName(base)];
        }
        if (vars_[i].name.find('.') != std::string::npos) {
            ++dotted_;
        }
    }
}

bool TVarList::HasArray(uint64_t baseHash) const {
    return !arrayBases_.empty() && arrayBases_.count(baseHash) > 0;
}

} // namespace kq::script
