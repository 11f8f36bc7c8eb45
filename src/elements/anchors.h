// Anchors: which point of an element's box its X and Y name.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kq::elements {

enum class TKQPosHor : int32_t { phLeft, phCenter, phRight };
enum class TKQPosVert : int32_t { pvTop, pvCenter, pvBottom };

// Positions are 32-bit in the scene; sums of a position and a size saturate instead of wrapping.
inline int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Left (or top) edge of a box of the given size whose anchor point (0 left/top, 1 centre,
// 2 right/bottom) is at pos.
inline int32_t Anchored(int32_t pos, int32_t size, int anchor) {
    switch (anchor) {
    case 1:
        return Clamp32(int64_t{pos} - size / 2); // truncates toward zero, like the game's div
    case 2:
        return Clamp32(int64_t{pos} - size);
    default:
        return pos;
    }
}

} // namespace kq::elements
