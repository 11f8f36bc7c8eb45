// Named values: TVar and the ordered variable list TVarList.
//
// A TVarList keeps its records in insertion order (the order copies and dumps follow) and a
// hash index for lookups, so finding a variable costs one hash probe whatever the list's size.
// Names are compared without regard to ASCII case; the interpreter hands in upper-case names
// anyway. Lookups may pass a precomputed HashName() so that hot paths hash nothing.
//
// The list itself knows nothing of the scene: resolving a name that is not in the list
// through the running element is the interpreter's business (scene_binding.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/tokens.h"
#include "script/value.h"

namespace kq::script {

struct TVar {
    std::string name;
    Value value;
};

class TVarList {
public:
    TVarList() = default;

    size_t Count() const { return vars_.size(); }
    const TVar& At(size_t i) const { return vars_[i]; }
    TVar& At(size_t i) { return vars_[i]; }
    const std::vector<TVar>& Items() const { return vars_; }

    int IndexOf(std::string_view name) const { return IndexOf(name, HashName(name)); }
    int IndexOf(std::string_view name, uint64_t hash) const;
    bool Find(std::string_view name) const { return IndexOf(name) >= 0; }

    // Pointer to the record or nullptr. Valid until the list changes shape.
    TVar* Lookup(std::string_view name, uint64_t hash);
    TVar* Lookup(std::string_view name) { return Lookup(name, HashName(name)); }
    const TVar* Lookup(std::string_view name) const;

    // Sets the value of an existing record only.
    bool SetValue(std::string_view name, const Value& value);
    // Appends a record; an existing name is left alone. No name validation here.
    TVar& Append(std::string_view name, Value value);
    // Stores into the record of that name, appending one when there is none.
    void Put(std::string_view name, Value value);
    bool Remove(std::string_view name);
    void Clear();

    // True when some record is named base + "[" ... (an array of that base name exists).
    bool HasArray(uint64_t baseHash) const;
    bool HasArray(std::string_view base) const { return HasArray(HashName(base)); }
    // Number of records whose name contains a dot (copies of those write warnings).
    size_t DottedCount() const { return dotted_; }

private:
    void Rebuild();
    void IndexInsert(uint64_t hash, int32_t index);
    void Grow();

    std::vector<TVar> vars_;
    std::vector<uint64_t> hashes_;                 // HashName of each record's name
    std::vector<int32_t> slots_;                   // open addressing: index into vars_, -1 free
    std::unordered_map<uint64_t, int> arrayBases_; // HashName of array base names -> count
    size_t dotted_ = 0;
};

} // namespace kq::script
