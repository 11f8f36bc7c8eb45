// The class registry of the element classes, built once in registry order with the
// containment rules, and shared (read-only) by every runtime.
#pragma once

#include "scene/registry.h"

namespace kq::elements {

const scene::ClassRegistry& ElementClasses();

} // namespace kq::elements
