#include "render/blend.h"

namespace kq::render {

namespace {

BlendFactor FactorOr(uint32_t code, BlendFactor fallback) {
    if (code > static_cast<uint32_t>(BlendFactor::kSrcAlphaSat)) {
        return fallback;
    }
    return static_cast<BlendFactor>(code);
}

} // namespace

BlendState DecodeBlend(uint32_t value) {
    BlendState state;
    state.source = FactorOr(value & 0xFF, BlendFactor::kOne);
    state.dest = FactorOr((value >> 8) & 0xFF, BlendFactor::kZero);
    const uint32_t op = (value >> 16) & 0xFF;
    state.op = op > static_cast<uint32_t>(BlendOp::kMax) ? BlendOp::kAdd : static_cast<BlendOp>(op);
    state.modulate = (value & kBlendModulateBit) != 0;
    // Blending is off when the three code bytes say (one, zero, add); the modulate bit and the
    // unused bits do not matter. An invalid code that merely falls back to (one, zero, add)
    // still blends.
    state.blending = (value & 0xFFFFFF) != kBlendOpaque;
    state.alphaTest = state.blending;
    return state;
}

bool NeedsModulate(uint32_t blend, const std::array<uint32_t, 4>& colors) {
    if ((blend & kBlendModulateBit) != 0) {
        return true;
    }
    for (uint32_t c : colors) {
        if (c != 0xFFFFFFFFu) {
            return true;
        }
    }
    return false;
}

} // namespace kq::render
