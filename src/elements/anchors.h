// Anchors: which point of an element's box its X and Y name.
#pragma once

#include <cstdint>

namespace kq::elements {

enum class TKQPosHor : int32_t { phLeft, phCenter, phRight };
enum class TKQPosVert : int32_t { pvTop, pvCenter, pvBottom };

} // namespace kq::elements
