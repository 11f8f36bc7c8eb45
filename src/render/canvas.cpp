#include "render/canvas.h"

#include <cmath>

namespace kq::render {

void Canvas::FrameRect(float x, float y, float width, float height, Color color, uint32_t blend) {
    if (width <= 0 || height <= 0) {
        return;
    }
    FillRect(x, y, width, 1, color, blend);
    if (height > 1) {
        FillRect(x, y + height - 1, width, 1, color, blend);
    }
    if (height > 2) {
        FillRect(x, y + 1, 1, height - 2, color, blend);
        if (width > 1) {
            FillRect(x + width - 1, y + 1, 1, height - 2, color, blend);
        }
    }
}

void Canvas::FillFramedRect(float x, float y, float width, float height, Color fill, Color frame,
                            uint32_t blend) {
    if (width > 2 && height > 2) {
        FillRect(x + 1, y + 1, width - 2, height - 2, fill, blend);
    }
    FrameRect(x, y, width, height, frame, blend);
}

std::array<PointF, 4> Canvas::Box(float x, float y, float width, float height) {
    return {PointF{x, y}, PointF{x + width, y}, PointF{x + width, y + height},
            PointF{x, y + height}};
}

std::array<PointF, 4> Canvas::RotatedBox(float cx, float cy, float width, float height,
                                         float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float hw = width / 2;
    const float hh = height / 2;
    const float corners[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
    std::array<PointF, 4> out;
    for (int i = 0; i < 4; ++i) {
        const float px = corners[i][0];
        const float py = corners[i][1];
        out[i] = PointF{cx + px * c - py * s, cy + px * s + py * c};
    }
    return out;
}

void Canvas::DrawAt(TextureId texture, int pattern, float x, float y, Color color, uint32_t blend) {
    DrawScaled(texture, pattern, x, y, 1.0f, color, blend);
}

void Canvas::DrawScaled(TextureId texture, int pattern, float x, float y, float scale, Color color,
                        uint32_t blend) {
    const SizeI size = PatternSize(texture);
    if (size.width <= 0) {
        return;
    }
    DrawStretched(texture, pattern, x, y, size.width * scale, size.height * scale, color, blend);
}

void Canvas::DrawRotated(TextureId texture, int pattern, float cx, float cy, float angle,
                         float scale, Color color, uint32_t blend) {
    const SizeI size = PatternSize(texture);
    if (size.width <= 0) {
        return;
    }
    QuadDraw quad;
    quad.texture = texture;
    quad.pattern = pattern;
    quad.points = RotatedBox(cx, cy, size.width * scale, size.height * scale, angle);
    quad.colors = {color, color, color, color};
    quad.blend = blend;
    DrawQuad(quad);
}

void Canvas::DrawStretched(TextureId texture, int pattern, float x, float y, float width,
                           float height, Color color, uint32_t blend, SourceRect source) {
    QuadDraw quad;
    quad.texture = texture;
    quad.pattern = pattern;
    quad.points = Box(x, y, width, height);
    quad.colors = {color, color, color, color};
    quad.source = source;
    quad.blend = blend;
    DrawQuad(quad);
}

} // namespace kq::render
