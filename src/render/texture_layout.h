// Size and pattern layout of one texture, shared by the canvas back ends: validates sizes and
// turns (pattern, source rectangle) into a texel rectangle of the whole texture.
#pragma once

#include <optional>

#include "render/canvas.h"

namespace kq::render {

// Texel rectangle of the whole texture: left/top inclusive edges, right/bottom exclusive.
struct TexelRect {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    friend bool operator==(const TexelRect&, const TexelRect&) = default;
};

struct TextureLayout {
    int width = 0;
    int height = 0;
    int patternWidth = 0;
    int patternHeight = 0;

    static bool ValidSize(int w, int h) {
        return w >= 1 && h >= 1 && w <= kMaxTextureSide && h <= kMaxTextureSide;
    }
    // A layout with one pattern covering the whole texture.
    static TextureLayout Whole(int w, int h) { return {w, h, w, h}; }

    int Columns() const { return patternWidth > 0 ? width / patternWidth : 0; }
    int Rows() const { return patternHeight > 0 ? height / patternHeight : 0; }
    int Count() const { return Columns() * Rows(); }

    bool SetPattern(int pw, int ph) {
        if (pw < 1 || ph < 1 || pw > width || ph > height) {
            return false;
        }
        patternWidth = pw;
        patternHeight = ph;
        return true;
    }

    // The whole cell of a pattern; nothing when the pattern is out of range.
    std::optional<TexelRect> Cell(int pattern) const {
        const int columns = Columns();
        if (pattern < 0 || pattern >= Count() || columns <= 0) {
            return std::nullopt;
        }
        const float cellLeft = static_cast<float>((pattern % columns) * patternWidth);
        const float cellTop = static_cast<float>((pattern / columns) * patternHeight);
        return TexelRect{cellLeft, cellTop, cellLeft + patternWidth, cellTop + patternHeight};
    }

    // The texels a draw samples: the pattern's cell, narrowed to the source rectangle (which
    // is clipped to the cell). Nothing when the pattern is out of range or the clipped source
    // is empty.
    std::optional<TexelRect> Source(int pattern, const SourceRect& source) const {
        const std::optional<TexelRect> cell = Cell(pattern);
        if (!cell) {
            return std::nullopt;
        }
        TexelRect r = *cell;
        if (!source.Whole()) {
            TexelRect s{cell->left + source.left, cell->top + source.top,
                        cell->left + source.left + source.width,
                        cell->top + source.top + source.height};
            r.left = s.left > r.left ? s.left : r.left;
            r.top = s.top > r.top ? s.top : r.top;
            r.right = s.right < r.right ? s.right : r.right;
            r.bottom = s.bottom < r.bottom ? s.bottom : r.bottom;
            if (r.right <= r.left || r.bottom <= r.top) {
                return std::nullopt;
            }
        }
        return r;
    }
};

// Clip rectangle intersected with a target of the given size.
inline RectI IntersectWithTarget(const RectI& rect, SizeI target) {
    RectI r = rect;
    if (r.left < 0) {
        r.left = 0;
    }
    if (r.top < 0) {
        r.top = 0;
    }
    if (r.right > target.width) {
        r.right = target.width;
    }
    if (r.bottom > target.height) {
        r.bottom = target.height;
    }
    if (r.right < r.left) {
        r.right = r.left;
    }
    if (r.bottom < r.top) {
        r.bottom = r.top;
    }
    return r;
}

} // namespace kq::render
