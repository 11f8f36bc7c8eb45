// QuadBatch: the pending draws of a hardware back end: a fixed-capacity vertex array plus the
// state all of them share. It decides when a new quad can join and when the batch must be
// submitted first; it never allocates after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "render/blend.h"
#include "render/canvas.h"

namespace kq::render {

// How the fragment colour is formed, carried per vertex so that it never splits a batch.
enum class VertexMode : uint8_t {
    kColor = 0,    // vertex colour only (fills)
    kTexture = 1,  // texture alone
    kModulate = 2, // texture times vertex colour
};

struct BatchVertex {
    float x, y;     // target pixels
    float u, v;     // normalised texture coordinates
    uint32_t color; // ARGB
    float mode;     // VertexMode as a number
    // Normalised bounds the texture coordinates are clamped to: half a texel inside the
    // pattern's cell, so filtered sampling never reaches a neighbouring pattern.
    float uMin, vMin, uMax, vMax;
};
static_assert(sizeof(BatchVertex) == 40);

// The state a batch shares. texture and filtering only matter for textured quads.
struct BatchState {
    TextureId texture = kNoTexture;
    BlendState blend{};
    bool filtering = false;
    RectI clip{};
};

class QuadBatch {
public:
    explicit QuadBatch(size_t maxQuads);

    // True when the pending quads must be submitted before a quad with this state (textured
    // or not) can be added: some shared state differs or the batch is full. Always false for
    // an empty batch.
    bool NeedsFlush(const BatchState& state, bool textured) const;
    bool Full() const { return quads_ == maxQuads_; }
    // Adds one quad (four vertices, TL TR BR BL). Callers check NeedsFlush first; a quad that
    // does not fit is dropped.
    void Add(const BatchState& state, bool textured, const BatchVertex* vertices);
    void Clear();

    bool Empty() const { return quads_ == 0; }
    size_t QuadCount() const { return quads_; }
    size_t MaxQuads() const { return maxQuads_; }
    // The shared state; texture is kNoTexture while only fills are pending.
    const BatchState& State() const { return state_; }
    std::span<const BatchVertex> Vertices() const { return {vertices_.data(), quads_ * 4}; }

private:
    size_t maxQuads_;
    size_t quads_ = 0;
    BatchState state_{};
    std::vector<BatchVertex> vertices_;
};

} // namespace kq::render
