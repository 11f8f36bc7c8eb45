#include "render/recording_canvas.h"

#include <algorithm>

#include "render/blend.h"

namespace kq::render {

void ConvertToArgb(std::span<const uint32_t> in, PixelFormat format, std::vector<uint32_t>& out) {
    out.assign(in.begin(), in.end());
    if (format == PixelFormat::kAbgr) {
        for (uint32_t& p : out) {
            p = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
        }
    }
}

RecordingCanvas::RecordingCanvas() {
    calls_.reserve(1024);
}

const RecordingCanvas::Texture* RecordingCanvas::Find(TextureId id) const {
    auto it = textures_.find(id);
    return it == textures_.end() ? nullptr : &it->second;
}

RecordingCanvas::Texture* RecordingCanvas::Find(TextureId id) {
    auto it = textures_.find(id);
    return it == textures_.end() ? nullptr : &it->second;
}

TextureId RecordingCanvas::CreateTexture(int width, int height, std::span<const uint32_t> pixels,
                                         PixelFormat format) {
    if (!TextureLayout::ValidSize(width, height) ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return kNoTexture;
    }
    Texture t;
    t.layout = TextureLayout::Whole(width, height);
    ConvertToArgb(pixels.first(static_cast<size_t>(width) * height), format, t.pixels);
    const TextureId id = nextId_++;
    textures_.emplace(id, std::move(t));
    return id;
}

bool RecordingCanvas::UpdateTexture(TextureId id, int width, int height,
                                    std::span<const uint32_t> pixels, PixelFormat format) {
    Texture* t = Find(id);
    if (t == nullptr || !TextureLayout::ValidSize(width, height) ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    ConvertToArgb(pixels.first(static_cast<size_t>(width) * height), format, t->pixels);
    TextureLayout next = TextureLayout::Whole(width, height);
    if (!next.SetPattern(t->layout.patternWidth, t->layout.patternHeight)) {
        next = TextureLayout::Whole(width, height);
    }
    t->layout = next;
    return true;
}

void RecordingCanvas::FreeTexture(TextureId id) {
    auto it = textures_.find(id);
    if (it == textures_.end()) {
        return;
    }
    // Freeing an active target ends it (and everything drawn into targets above it).
    for (size_t i = 0; i < targets_.size(); ++i) {
        if (targets_[i].id == id) {
            while (targets_.size() > i) {
                EndTarget();
            }
            break;
        }
    }
    textures_.erase(it);
}

SizeI RecordingCanvas::TextureSize(TextureId id) const {
    const Texture* t = Find(id);
    return t == nullptr ? SizeI{} : SizeI{t->layout.width, t->layout.height};
}

bool RecordingCanvas::SetPatternLayout(TextureId id, int patternWidth, int patternHeight) {
    Texture* t = Find(id);
    return t != nullptr && t->layout.SetPattern(patternWidth, patternHeight);
}

SizeI RecordingCanvas::PatternSize(TextureId id) const {
    const Texture* t = Find(id);
    return t == nullptr ? SizeI{} : SizeI{t->layout.patternWidth, t->layout.patternHeight};
}

int RecordingCanvas::PatternCount(TextureId id) const {
    const Texture* t = Find(id);
    return t == nullptr ? 0 : t->layout.Count();
}

std::optional<Color> RecordingCanvas::ReadPixel(TextureId id, int x, int y) {
    const Texture* t = Find(id);
    if (t == nullptr || x < 0 || y < 0 || x >= t->layout.width || y >= t->layout.height) {
        return std::nullopt;
    }
    return t->pixels[static_cast<size_t>(y) * t->layout.width + x];
}

std::vector<uint32_t> RecordingCanvas::ReadPixels(TextureId id) {
    const Texture* t = Find(id);
    return t == nullptr ? std::vector<uint32_t>{} : t->pixels;
}

TextureId RecordingCanvas::CreateRenderTarget(int width, int height) {
    if (!TextureLayout::ValidSize(width, height)) {
        return kNoTexture;
    }
    Texture t;
    t.layout = TextureLayout::Whole(width, height);
    t.pixels.assign(static_cast<size_t>(width) * height, 0);
    t.renderTarget = true;
    const TextureId id = nextId_++;
    textures_.emplace(id, std::move(t));
    return id;
}

bool RecordingCanvas::ResizeRenderTarget(TextureId id, int width, int height) {
    Texture* t = Find(id);
    if (t == nullptr || !t->renderTarget || !TextureLayout::ValidSize(width, height)) {
        return false;
    }
    t->layout = TextureLayout::Whole(width, height);
    t->pixels.assign(static_cast<size_t>(width) * height, 0);
    return true;
}

bool RecordingCanvas::BeginTarget(TextureId id) {
    const Texture* t = Find(id);
    if (t == nullptr || !t->renderTarget) {
        return false;
    }
    for (const SavedTarget& s : targets_) {
        if (s.id == id) {
            return false;
        }
    }
    targets_.push_back({id, clip_});
    clip_ = RectI{0, 0, t->layout.width, t->layout.height};
    return true;
}

void RecordingCanvas::EndTarget() {
    if (targets_.empty()) {
        return;
    }
    clip_ = targets_.back().savedClip;
    targets_.pop_back();
}

SizeI RecordingCanvas::CurrentTargetSize() const {
    if (targets_.empty()) {
        return {kSceneWidth, kSceneHeight};
    }
    return TextureSize(targets_.back().id);
}

DrawCall& RecordingCanvas::PushCall(DrawCall::Kind kind) {
    // Filled in place: a frame of particles records tens of thousands of calls.
    DrawCall& call = calls_.emplace_back();
    call.kind = kind;
    call.clip = clip_;
    call.filtering = filtering_;
    call.target = CurrentTarget();
    return call;
}

void RecordingCanvas::Clear(Color color) {
    DrawCall& call = PushCall(DrawCall::Kind::kClear);
    call.colors = {color, color, color, color};
    if (Texture* t = Find(CurrentTarget())) {
        std::fill(t->pixels.begin(), t->pixels.end(), color);
    }
}

void RecordingCanvas::SetClipRect(const RectI& rect) {
    clip_ = IntersectWithTarget(rect, CurrentTargetSize());
}

void RecordingCanvas::DrawQuad(const QuadDraw& quad) {
    const Texture* t = Find(quad.texture);
    if (t == nullptr) {
        return;
    }
    const std::optional<TexelRect> texels = t->layout.Source(quad.pattern, quad.source);
    if (!texels) {
        return;
    }
    DrawCall& call = PushCall(DrawCall::Kind::kQuad);
    call.texture = quad.texture;
    call.pattern = quad.pattern;
    call.points = quad.points;
    call.source = quad.source;
    call.texels = *texels;
    call.colors = quad.colors;
    call.blend = quad.blend;
    call.modulate = NeedsModulate(quad.blend, quad.colors);
}

void RecordingCanvas::FillTriangle(PointF a, PointF b, PointF c, Color color, uint32_t blend) {
    DrawCall& call = PushCall(DrawCall::Kind::kTriangle);
    call.points = {a, b, c, c};
    call.colors = {color, color, color, color};
    call.blend = blend;
}

void RecordingCanvas::FillRect(float x, float y, float width, float height, Color color,
                               uint32_t blend) {
    if (width <= 0 || height <= 0) {
        return;
    }
    DrawCall& call = PushCall(DrawCall::Kind::kRect);
    call.points = Box(x, y, width, height);
    call.colors = {color, color, color, color};
    call.blend = blend;
}

} // namespace kq::render
