// The element registry as the scene sees it: the scene fixture over the real element classes.
#pragma once

#include "elements/classes.h"
#include "support/scene_fixture.h"

namespace kq::test {

using SceneFixture = SceneFixtureOf<&elements::ElementClasses>;

} // namespace kq::test
