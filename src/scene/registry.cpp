#include "scene/registry.h"

#include <algorithm>

namespace kq::scene {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
               return up(x) == up(y);
           });
}

} // namespace

const TKQProp* TKQClass::FindProp(std::string_view name) const {
    int index = PropIndex(name);
    return index < 0 ? nullptr : &props[static_cast<size_t>(index)];
}

int TKQClass::PropIndex(std::string_view name) const {
    for (size_t i = 0; i < props.size(); ++i) {
        if (EqualNoCase(props[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool TKQClass::AllowsParent(std::string_view parentClassName) const {
    return std::find(allowedParents.begin(), allowedParents.end(), parentClassName) !=
           allowedParents.end();
}

TKQClass& ClassRegistry::RegisterClass(ClassId id, std::string className, ElementFactory create,
                                       std::vector<TKQProp> props) {
    TKQClass entry;
    entry.className = std::move(className);
    entry.shortName = entry.className;
    if (EqualNoCase(std::string_view(entry.shortName).substr(0, 3), "TKQ")) {
        entry.shortName.erase(0, 3);
    }
    entry.props = std::move(props);
    entry.id = id;
    entry.create = create;
    for (size_t i = 0; i < entry.props.size(); ++i) {
        const std::string& upper = entry.props[i].upperName;
        if (upper.starts_with("IM") || upper == "FONT") {
            entry.imageProps.push_back(static_cast<int>(i));
        }
    }
    classes_.push_back(std::move(entry));
    return classes_.back();
}

void ClassRegistry::AllowChild(ClassId parent, ClassId child) {
    classes_[static_cast<size_t>(child)].allowedParents.push_back(Of(parent).className);
}

const TKQClass* ClassRegistry::Find(std::string_view className) const {
    for (const TKQClass& entry : classes_) {
        if (entry.className == className) {
            return &entry;
        }
    }
    return nullptr;
}

const TKQClass* ClassRegistry::FindLoose(std::string_view name) const {
    for (const TKQClass& entry : classes_) {
        if (EqualNoCase(entry.className, name) || EqualNoCase(entry.shortName, name)) {
            return &entry;
        }
    }
    return nullptr;
}

TKQElement* ClassRegistry::CreateChild(TKQElement& parent, std::string_view className) const {
    const TKQClass* entry = Find(className);
    if (!entry || !entry->create || !entry->AllowsParent(parent.ClassName())) {
        return nullptr;
    }
    return entry->create(&parent);
}

} // namespace kq::scene
