// RecordingCanvas: a Canvas that draws nothing and keeps every draw call with the state it
// was made in (target, clip, filtering), for tests of the scene and the fonts.
//
// Textures keep a copy of their pixels, so ReadPixel/ReadPixels answer what was uploaded;
// render targets hold what Clear last filled them with (draws are recorded, not rasterised).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "render/canvas.h"
#include "render/texture_layout.h"

namespace kq::render {

struct DrawCall {
    enum class Kind { kQuad, kTriangle, kRect, kClear };
    Kind kind = Kind::kQuad;
    TextureId texture = kNoTexture; // quads only
    int pattern = 0;                // quads only
    // Quads: the four points as given (TL, TR, BR, BL). Rects: the box's corners.
    // Triangles: the three points in [0..2], [3] repeats [2].
    std::array<PointF, 4> points{};
    SourceRect source{}; // as given
    TexelRect texels{};  // quads: the sampled texels of the whole texture
    std::array<Color, 4> colors{};
    uint32_t blend = 0;
    bool modulate = false; // quads: texture multiplied by the corner colours
    RectI clip{};
    bool filtering = false;
    TextureId target = kNoTexture; // render target drawn into, kNoTexture = the screen
};

class RecordingCanvas final : public Canvas {
public:
    RecordingCanvas();

    TextureId CreateTexture(int width, int height, std::span<const uint32_t> pixels,
                            PixelFormat format = PixelFormat::kArgb) override;
    bool UpdateTexture(TextureId id, int width, int height, std::span<const uint32_t> pixels,
                       PixelFormat format = PixelFormat::kArgb) override;
    void FreeTexture(TextureId id) override;
    SizeI TextureSize(TextureId id) const override;
    bool SetPatternLayout(TextureId id, int patternWidth, int patternHeight) override;
    SizeI PatternSize(TextureId id) const override;
    int PatternCount(TextureId id) const override;
    std::optional<Color> ReadPixel(TextureId id, int x, int y) override;
    std::vector<uint32_t> ReadPixels(TextureId id) override;

    TextureId CreateRenderTarget(int width, int height) override;
    bool ResizeRenderTarget(TextureId id, int width, int height) override;
    bool BeginTarget(TextureId id) override;
    void EndTarget() override;

    void Clear(Color color) override;
    void SetClipRect(const RectI& rect) override;
    RectI ClipRect() const override { return clip_; }
    void SetFiltering(bool on) override { filtering_ = on; }
    bool Filtering() const override { return filtering_; }
    void Flush() override {}

    void DrawQuad(const QuadDraw& quad) override;
    void FillTriangle(PointF a, PointF b, PointF c, Color color, uint32_t blend = 0x504) override;
    void FillRect(float x, float y, float width, float height, Color color,
                  uint32_t blend = 0x504) override;

    const std::vector<DrawCall>& Calls() const { return calls_; }
    // Forgets the recorded calls (textures and state stay).
    void ClearCalls() { calls_.clear(); }
    size_t TextureCount() const { return textures_.size(); }
    TextureId CurrentTarget() const { return targets_.empty() ? kNoTexture : targets_.back().id; }

private:
    struct Texture {
        TextureLayout layout;
        std::vector<uint32_t> pixels; // ARGB
        bool renderTarget = false;
    };
    struct SavedTarget {
        TextureId id;
        RectI savedClip;
    };
    const Texture* Find(TextureId id) const;
    Texture* Find(TextureId id);
    SizeI CurrentTargetSize() const;
    DrawCall& PushCall(DrawCall::Kind kind);

    std::unordered_map<TextureId, Texture> textures_;
    TextureId nextId_ = 1;
    std::vector<SavedTarget> targets_;
    RectI clip_{0, 0, kSceneWidth, kSceneHeight};
    bool filtering_ = false;
    std::vector<DrawCall> calls_;
};

// Converts pixels in the given layout to ARGB words (shared by the back ends).
void ConvertToArgb(std::span<const uint32_t> in, PixelFormat format, std::vector<uint32_t>& out);

} // namespace kq::render
