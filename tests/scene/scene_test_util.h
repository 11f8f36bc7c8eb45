// Shared pieces of the scene tests: the scene fixture over the stand-in element classes.
#pragma once

#include "support/scene_fixture.h"
#include "test_elements.h"

namespace kq::test {

using SceneFixture = SceneFixtureOf<&TestClasses>;

} // namespace kq::test
