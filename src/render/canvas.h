// Canvas: the 2D drawing interface the scene, the image service and the fonts draw through.
//
// Two implementations exist: the OpenGL back end (window and headless screenshots) and the
// recording back end (keeps the list of draw calls for tests). Everything the scene needs
// from a renderer is here; window and device handling belong to the back ends themselves.
//
// Conventions for every method:
// - Coordinates are scene pixels of the current target: the screen is 1024 x 768, a render
//   target has its own size. x grows to the right, y grows downwards, (0, 0) is the top-left
//   corner of the top-left pixel. A quad from (0, 0) to (w, h) covers exactly the pixels
//   0..w-1 x 0..h-1 and maps texel i to pixel i (the source's half-pixel convention is
//   handled inside the back end, see blend.h).
// - Colours are 32-bit ARGB words (alpha in the top byte), 0xFFFFFFFF is opaque white.
// - Blend values are the 32-bit codes decoded by DecodeBlend (blend.h): 1 opaque copy,
//   0x504 normal alpha blending, 0x104 additive.
// - Draws are batched and appear in call order; the back end may defer them until Flush,
//   a state change, a read-back or the end of the frame.
// - Textures are owned by the canvas and named by a TextureId; the caller owns the id and
//   must FreeTexture it. Id 0 (kNoTexture) is never a valid texture. Any call with an unknown
//   or freed id, a negative size or too few pixels does nothing (and answers "none" / 0 /
//   false); none of them crash.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kq::render {

using Color = uint32_t; // ARGB
inline constexpr Color kWhite = 0xFFFFFFFFu;

inline constexpr int kSceneWidth = 1024;
inline constexpr int kSceneHeight = 768;
// Largest texture or render-target side any back end accepts.
inline constexpr int kMaxTextureSide = 8192;

using TextureId = uint32_t;
inline constexpr TextureId kNoTexture = 0;

struct PointF {
    float x = 0;
    float y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

struct SizeI {
    int width = 0;
    int height = 0;
    friend bool operator==(const SizeI&, const SizeI&) = default;
};

// Integer rectangle: left/top inclusive, right/bottom exclusive (width = right - left).
struct RectI {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const RectI&, const RectI&) = default;
};

// Source rectangle in texels, relative to the top-left corner of the chosen pattern.
// A rectangle with width or height <= 0 means "the whole pattern". Fractions are allowed
// (the guard-band trimming of scaled images produces whole texels, fonts use whole texels).
struct SourceRect {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
    bool Whole() const { return width <= 0 || height <= 0; }
    friend bool operator==(const SourceRect&, const SourceRect&) = default;
};

// Layout of the pixels handed to CreateTexture / UpdateTexture, one 32-bit word per pixel,
// rows top to bottom, stride = width.
enum class PixelFormat {
    kArgb, // words 0xAARRGGBB (the engine's colour words)
    kAbgr, // words 0xAABBGGRR, i.e. bytes R, G, B, A in memory on little-endian machines
};

// One textured quad. Points and colours go clockwise from the top-left corner of the
// source: [0] top-left, [1] top-right, [2] bottom-right, [3] bottom-left. The points may
// form any convex quadrilateral (rotation, scaling, skew).
struct QuadDraw {
    TextureId texture = kNoTexture;
    std::array<PointF, 4> points{};
    std::array<Color, 4> colors{kWhite, kWhite, kWhite, kWhite};
    // Pattern number (row by row from 0, see SetPatternLayout); out of range draws nothing.
    int pattern = 0;
    SourceRect source{}; // within the pattern; Whole() = the whole pattern
    uint32_t blend = 0x504;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    // ---- Textures -------------------------------------------------------------------------
    // Creates a texture of width x height from pixels (at least width*height words, extra
    // words ignored). The pixels are copied; the caller keeps its buffer. The texture starts
    // with one pattern covering the whole texture. Answers kNoTexture when width or height is
    // not in 1..kMaxTextureSide, when pixels are too few, or when the device refuses.
    virtual TextureId CreateTexture(int width, int height, std::span<const uint32_t> pixels,
                                    PixelFormat format = PixelFormat::kArgb) = 0;
    // Replaces the whole content (and, when the size differs, the size) of a texture or a
    // render target. The pattern layout is kept when it still fits, else reset to one pattern.
    // False on an unknown id or bad size/pixels (the texture is then left unchanged).
    virtual bool UpdateTexture(TextureId id, int width, int height,
                               std::span<const uint32_t> pixels,
                               PixelFormat format = PixelFormat::kArgb) = 0;
    // Frees a texture or render target. Unknown ids and kNoTexture are ignored. Freeing the
    // render target currently drawn into ends that target first.
    virtual void FreeTexture(TextureId id) = 0;
    // Size in texels; {0, 0} for an unknown id.
    virtual SizeI TextureSize(TextureId id) const = 0;
    bool IsTexture(TextureId id) const { return TextureSize(id).width > 0; }

    // Cuts the texture into equal patterns of patternWidth x patternHeight texels, numbered
    // row by row from 0; count = (width / patternWidth) * (height / patternHeight). False
    // (layout unchanged) for an unknown id or a pattern size outside 1..texture size.
    virtual bool SetPatternLayout(TextureId id, int patternWidth, int patternHeight) = 0;
    // Pattern size in texels ({0, 0} for an unknown id) and the number of patterns (0).
    virtual SizeI PatternSize(TextureId id) const = 0;
    virtual int PatternCount(TextureId id) const = 0;

    // Reads one texel of a texture or render target as ARGB, (x, y) in texels of the whole
    // texture from its top-left. Nothing for an unknown id or a point outside the texture.
    // Pending draws into a render target are flushed first. Slow: not for per-frame use.
    virtual std::optional<Color> ReadPixel(TextureId id, int x, int y) = 0;
    // All texels of a texture or render target, ARGB, rows top to bottom (width*height
    // words); empty for an unknown id.
    virtual std::vector<uint32_t> ReadPixels(TextureId id) = 0;

    // ---- Render targets -------------------------------------------------------------------
    // A render target is a texture that can be drawn into; it is drawn like any texture (its
    // id works with DrawQuad and every texture query). Created cleared to transparent black.
    // kNoTexture on a bad size or when the device refuses.
    virtual TextureId CreateRenderTarget(int width, int height) = 0;
    // Resizes a render target; its content becomes transparent black. False for an id that
    // is not a render target or a bad size.
    virtual bool ResizeRenderTarget(TextureId id, int width, int height) = 0;
    // Directs the following draws into the target: the current target (screen or another
    // render target) and its clip rectangle are saved, the clip becomes the whole target and
    // coordinates become the target's pixels. Targets nest. False (nothing changes) for an
    // id that is not a render target or the target already being drawn into.
    virtual bool BeginTarget(TextureId id) = 0;
    // Ends the innermost BeginTarget and restores the saved target and clip. Ignored when no
    // target is active.
    virtual void EndTarget() = 0;

    // ---- Frame state ----------------------------------------------------------------------
    // Fills the whole current target (ignoring the clip rectangle) with a colour, alpha
    // included. Blending plays no part.
    virtual void Clear(Color color) = 0;
    // Clip rectangle in pixels of the current target. It is intersected with the target's
    // bounds; an empty result draws nothing until the next SetClipRect. Reads answer the
    // stored (intersected) rectangle.
    virtual void SetClipRect(const RectI& rect) = 0;
    virtual RectI ClipRect() const = 0;
    // Texture filtering for the following draws: off = nearest texel, on = bilinear.
    // Either way a draw samples only its own pattern's cell, whose edge texels repeat outward,
    // so scaled or rotated frames of a sheet never show their neighbours. Starts off.
    virtual void SetFiltering(bool on) = 0;
    virtual bool Filtering() const = 0;
    // Submits every pending draw. The GL back end also does this before read-backs, target
    // changes and at the end of the frame.
    virtual void Flush() = 0;

    // ---- Drawing --------------------------------------------------------------------------
    // The textured quad: every other textured draw ends here. An unknown texture or a pattern
    // out of range draws nothing. Modulate (texture times vertex colour) is used when the
    // blend value asks for it or any corner colour is not opaque white.
    virtual void DrawQuad(const QuadDraw& quad) = 0;
    // Filled triangle in one colour (untextured, the colour always applies).
    virtual void FillTriangle(PointF a, PointF b, PointF c, Color color,
                              uint32_t blend = 0x504) = 0;
    // Filled axis-aligned rectangle with its top-left at (x, y); width/height <= 0 draws
    // nothing.
    virtual void FillRect(float x, float y, float width, float height, Color color,
                          uint32_t blend = 0x504) = 0;

    // Outline of a rectangle: a one-pixel line just inside each edge of the box.
    void FrameRect(float x, float y, float width, float height, Color color,
                   uint32_t blend = 0x504);
    // Fill and outline together.
    void FillFramedRect(float x, float y, float width, float height, Color fill, Color frame,
                        uint32_t blend = 0x504);

    // Convenience forms of DrawQuad; each draws the whole pattern with one colour on all four
    // corners.
    // Top-left of the pattern at (x, y), pattern size.
    void DrawAt(TextureId texture, int pattern, float x, float y, Color color = kWhite,
                uint32_t blend = 0x504);
    // Top-left at (x, y), pattern size times scale.
    void DrawScaled(TextureId texture, int pattern, float x, float y, float scale,
                    Color color = kWhite, uint32_t blend = 0x504);
    // The pattern scaled by scale and rotated by angle (radians, clockwise on screen since y
    // grows downwards) about its centre, which lands on (cx, cy).
    void DrawRotated(TextureId texture, int pattern, float cx, float cy, float angle, float scale,
                     Color color = kWhite, uint32_t blend = 0x504);
    // Stretches the pattern (or a source rectangle of it) onto an axis-aligned box.
    void DrawStretched(TextureId texture, int pattern, float x, float y, float width, float height,
                       Color color = kWhite, uint32_t blend = 0x504, SourceRect source = {});

    // Corner points of a width x height box rotated by angle (radians) about its middle and
    // moved so that the middle is at (cx, cy); order as in QuadDraw.
    static std::array<PointF, 4> RotatedBox(float cx, float cy, float width, float height,
                                            float angle);
    static std::array<PointF, 4> Box(float x, float y, float width, float height);
};

} // namespace kq::render
