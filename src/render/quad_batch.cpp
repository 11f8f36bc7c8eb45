#include "render/quad_batch.h"

#include <algorithm>

namespace kq::render {

QuadBatch::QuadBatch(size_t maxQuads) : maxQuads_(maxQuads), vertices_(maxQuads * 4) {}

bool QuadBatch::NeedsFlush(const BatchState& state, bool textured) const {
    if (quads_ == 0) {
        return false;
    }
    if (quads_ == maxQuads_) {
        return true;
    }
    if (!(state.blend == state_.blend) || !(state.clip == state_.clip)) {
        return true;
    }
    if (textured && state_.texture != kNoTexture &&
        (state.texture != state_.texture || state.filtering != state_.filtering)) {
        return true;
    }
    return false;
}

void QuadBatch::Add(const BatchState& state, bool textured, const BatchVertex* vertices) {
    if (quads_ == maxQuads_) {
        return;
    }
    if (quads_ == 0) {
        state_ = state;
        if (!textured) {
            state_.texture = kNoTexture;
        }
    } else if (textured && state_.texture == kNoTexture) {
        // The first textured quad after fills decides the batch's texture.
        state_.texture = state.texture;
        state_.filtering = state.filtering;
    }
    std::copy(vertices, vertices + 4, vertices_.begin() + static_cast<ptrdiff_t>(quads_ * 4));
    ++quads_;
}

void QuadBatch::Clear() {
    quads_ = 0;
    state_ = BatchState{};
}

} // namespace kq::render
