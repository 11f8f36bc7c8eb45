#include "render/particle_drawing.h"

namespace kq::render {

namespace {

class CanvasSink final : public media::ParticleQuadSink {
public:
    CanvasSink(Canvas& canvas, TextureId texture, SizeI pattern, uint32_t blend)
        : canvas_(canvas), pattern_(pattern) {
        quad_.texture = texture;
        quad_.blend = blend;
    }

    void Add(const media::ParticleQuad& q) override {
        quad_.pattern = q.frame;
        quad_.points = Canvas::RotatedBox(q.x, q.y, static_cast<float>(pattern_.width) * q.size,
                                          static_cast<float>(pattern_.height) * q.size, q.spin);
        quad_.colors = {q.color, q.color, q.color, q.color};
        canvas_.DrawQuad(quad_);
    }

private:
    Canvas& canvas_;
    SizeI pattern_;
    QuadDraw quad_;
};

} // namespace

void DrawParticles(Canvas& canvas, TextureId texture, const media::ParticleSystem& system,
                   float offsetX, float offsetY, Color mask) {
    const SizeI pattern = canvas.PatternSize(texture);
    if (pattern.width <= 0 || pattern.height <= 0 || system.LiveCount() == 0) {
        return;
    }
    media::ParticleArea area;
    area.patternWidth = static_cast<float>(pattern.width);
    area.patternHeight = static_cast<float>(pattern.height);
    area.offsetX = offsetX;
    area.offsetY = offsetY;
    area.colorMask = mask;
    area.width = static_cast<float>(kSceneWidth);
    area.height = static_cast<float>(kSceneHeight);
    CanvasSink sink(canvas, texture, pattern, system.Blend());
    system.Draw(area, sink);
}

} // namespace kq::render
