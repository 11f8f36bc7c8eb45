// The class registry: which element classes exist, their published properties in file order,
// and which class may contain which.
//
// The registry is built once (by the element modules, see elements/classes.h) and is then
// read-only; every runtime refers to the same one. Class names in scene files must match a
// registry entry exactly ("TKQImage"); property names are compared without regard to case.
#pragma once

#include "scene/element.h"
#include "scene/prop.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kq::scene {

using ElementFactory = TKQElement* (*)(TKQElement* parent);

struct TKQClass {
    std::vector<std::string> allowedParents; // class names of the classes that may contain it
    std::string shortName;                   // "Image" for "TKQImage"
    std::string className;                   // "TKQImage"
    std::vector<TKQProp> props;              // published properties in file order
    ClassId id = ClassId::DB;
    ElementFactory create = nullptr; // none for TKQDB, which is never created as a child
    std::vector<int> imageProps;     // indexes of the properties named "IM..." or "FONT"

    // The property with this name (any letter case), or null.
    const TKQProp* FindProp(std::string_view name) const;
    int PropIndex(std::string_view name) const;
    bool AllowsParent(std::string_view parentClassName) const;
};

class ClassRegistry {
public:
    // RegisterClass: appends an entry; classes must be registered in ClassId order.
    TKQClass& RegisterClass(ClassId id, std::string className, ElementFactory create,
                            std::vector<TKQProp> props);
    // AllowChild: appends the parent's class name to the child entry's allowed parents.
    void AllowChild(ClassId parent, ClassId child);

    const std::vector<TKQClass>& Classes() const { return classes_; }
    const TKQClass& Of(ClassId id) const { return classes_[static_cast<size_t>(id)]; }
    // Exact class-name match, or null.
    const TKQClass* Find(std::string_view className) const;
    // Exact match of the short name or the class name without regard to case, or null
    // (for authoring tools that accept "Image" as well as "TKQImage").
    const TKQClass* FindLoose(std::string_view name) const;

    // CreateChild: a new element of the named class appended to parent, or null when the
    // name is not registered exactly, is TKQDB, or may not be contained by parent's class.
    TKQElement* CreateChild(TKQElement& parent, std::string_view className) const;

private:
    std::vector<TKQClass> classes_;
};

} // namespace kq::scene
