// The database's render-target list: the off-screen layers of masked shapes, by index.
//
// A masked shape takes the next index on its first composition and keeps it; the index names
// the target for as long as the shape lives. Other shapes reach a target through its owner's
// index when they use the owner as their mask or picture, so the list also keeps the target's
// pixels as last read back: a target is read back at most once after each drawing into it,
// however many shapes use it, and never when nobody needs its pixels.
//
// The list also holds the buffers the pixel filters of every shape effect share.
#pragma once

#include "media/shape_filter.h"
#include "render/canvas.h"

#include <cstdint>
#include <vector>

namespace kq::scene {

class RenderTargetList {
public:
    // Creates a width x height target at the next index and answers the index, or -1 (nothing
    // added) when the canvas refuses.
    int32_t Create(render::Canvas& canvas, int width, int height);
    // The target of an index; kNoTexture for an index that names none (never taken or freed).
    render::TextureId Id(int32_t index) const;
    // The target's size, or {0, 0}.
    render::SizeI Size(const render::Canvas& canvas, int32_t index) const;
    // Resizes the target (its content becomes transparent black); false when the canvas
    // refuses, leaving it as it was.
    bool Resize(render::Canvas& canvas, int32_t index, int width, int height);
    // Directs the following draws into the target, as Canvas::BeginTarget; the pixels kept of
    // it are forgotten, since they are about to change. End with canvas.EndTarget().
    bool Begin(render::Canvas& canvas, int32_t index);
    // The target's pixels (ARGB, rows top to bottom): read back from the canvas only when it
    // was drawn into (or resized) since the last read. Null when there is no such target or
    // the read-back fails; the pointer is valid until the list is next changed.
    const std::vector<uint32_t>* Pixels(render::Canvas& canvas, int32_t index);
    // Frees the target; the index is not given out again.
    void Free(render::Canvas& canvas, int32_t index);

    // Read-backs made since the list was created (for measurements and tests).
    uint64_t ReadBacks() const { return readBacks_; }
    size_t Count() const { return entries_.size(); }

    media::ShapeFilterBuffers& Filters() { return filters_; }

private:
    struct Entry {
        render::TextureId id = render::kNoTexture;
        std::vector<uint32_t> pixels; // as last read back
        bool pixelsCurrent = false;   // nothing was drawn since that read
    };
    Entry* Find(int32_t index);
    const Entry* Find(int32_t index) const;

    std::vector<Entry> entries_;
    uint64_t readBacks_ = 0;
    media::ShapeFilterBuffers filters_;
};

} // namespace kq::scene
