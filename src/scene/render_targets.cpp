#include "scene/render_targets.h"

namespace kq::scene {

int32_t RenderTargetList::Create(render::Canvas& canvas, int width, int height) {
    const render::TextureId id = canvas.CreateRenderTarget(width, height);
    if (id == render::kNoTexture) {
        return -1;
    }
    entries_.push_back(Entry{id, {}, false});
    return static_cast<int32_t>(entries_.size() - 1);
}

RenderTargetList::Entry* RenderTargetList::Find(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size() ||
        entries_[static_cast<size_t>(index)].id == render::kNoTexture) {
        return nullptr;
    }
    return &entries_[static_cast<size_t>(index)];
}

const RenderTargetList::Entry* RenderTargetList::Find(int32_t index) const {
    return const_cast<RenderTargetList*>(this)->Find(index);
}

render::TextureId RenderTargetList::Id(int32_t index) const {
    const Entry* entry = Find(index);
    return entry ? entry->id : render::kNoTexture;
}

render::SizeI RenderTargetList::Size(const render::Canvas& canvas, int32_t index) const {
    const Entry* entry = Find(index);
    return entry ? canvas.TextureSize(entry->id) : render::SizeI{};
}

bool RenderTargetList::Resize(render::Canvas& canvas, int32_t index, int width, int height) {
    Entry* entry = Find(index);
    if (!entry || !canvas.ResizeRenderTarget(entry->id, width, height)) {
        return false;
    }
    entry->pixelsCurrent = false;
    return true;
}

bool RenderTargetList::Begin(render::Canvas& canvas, int32_t index) {
    Entry* entry = Find(index);
    if (!entry || !canvas.BeginTarget(entry->id)) {
        return false;
    }
    entry->pixelsCurrent = false;
    return true;
}

const std::vector<uint32_t>* RenderTargetList::Pixels(render::Canvas& canvas, int32_t index) {
    Entry* entry = Find(index);
    if (!entry) {
        return nullptr;
    }
    if (entry->pixelsCurrent) {
        return &entry->pixels;
    }
    const render::SizeI size = canvas.TextureSize(entry->id);
    ++readBacks_;
    entry->pixels = canvas.ReadPixels(entry->id);
    if (size.width <= 0 || entry->pixels.size() !=
                               static_cast<size_t>(size.width) * static_cast<size_t>(size.height)) {
        entry->pixels.clear();
        return nullptr;
    }
    entry->pixelsCurrent = true;
    return &entry->pixels;
}

void RenderTargetList::Free(render::Canvas& canvas, int32_t index) {
    Entry* entry = Find(index);
    if (!entry) {
        return;
    }
    canvas.FreeTexture(entry->id);
    *entry = Entry{};
}

} // namespace kq::scene
