// GlCanvas: the OpenGL 3.3 core back end of the Canvas, over an SDL2 window and context
// (function loading through libepoxy).
//
// The scene is always drawn into an off-screen 1024 x 768 colour buffer; Present copies it to
// the window scaled to fit and letterboxed (so full screen never changes the display mode),
// and ReadScreen reads it back for screenshots. Headless mode uses SDL's "offscreen" video
// driver (EGL + Mesa), needs no display, and behaves the same except that Present only
// finishes the frame.
//
// Batching: quads and triangles accumulate in one client-side vertex array of fixed capacity
// and are submitted with one draw call when the texture, the blend state, the filtering, the
// clip rectangle or the target changes (or the batch is full, a read-back or Clear needs the
// pixels, or the frame ends). Untextured fills join any batch. Nothing is allocated per quad.
//
// All methods must be called on the thread that created the canvas.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render/canvas.h"

struct SDL_Window;

namespace kq::render {

struct GlCanvasOptions {
    bool headless = false;
    std::string title = "kqplayer";
    int windowScale = 1; // windowed client area = 1024*scale x 768*scale
    bool fullScreen = false;
    bool vsync = true;
};

struct GlCanvasStats {
    uint64_t flushes = 0;   // draw calls submitted
    uint64_t quads = 0;     // quads (and triangles) submitted
    uint64_t overflows = 0; // flushes forced by a full batch
};

class GlCanvas final : public Canvas {
public:
    // Initialises SDL video (headless: with the offscreen driver), opens the window and a GL
    // 3.3 core context and builds the GL objects. Nothing (with one log line saying why) when
    // any step fails; the caller then runs without drawing.
    static std::unique_ptr<GlCanvas> Create(const GlCanvasOptions& options);
    ~GlCanvas() override;
    GlCanvas(const GlCanvas&) = delete;
    GlCanvas& operator=(const GlCanvas&) = delete;

    // ---- Device ---------------------------------------------------------------------------
    // Starts a frame on the screen target: any open render targets are ended, the clip is
    // the whole scene. (Clearing is the caller's choice: Clear.)
    void BeginFrame();
    // Submits the frame's pending draws.
    void EndFrame();
    // Shows the scene in the window (scaled, letterboxed) and swaps buffers.
    void Present();
    // The scene as ARGB words, rows top to bottom, 1024*768 words.
    std::vector<uint32_t> ReadScreen();
    SDL_Window* Window() const;
    bool Headless() const;
    const std::string& RendererName() const;
    const GlCanvasStats& Stats() const;
    void ResetStats();

    // ---- Canvas ---------------------------------------------------------------------------
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
    RectI ClipRect() const override;
    void SetFiltering(bool on) override;
    bool Filtering() const override;
    void Flush() override;

    void DrawQuad(const QuadDraw& quad) override;
    void FillTriangle(PointF a, PointF b, PointF c, Color color, uint32_t blend = 0x504) override;
    void FillRect(float x, float y, float width, float height, Color color,
                  uint32_t blend = 0x504) override;

private:
    struct Impl;
    explicit GlCanvas(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace kq::render
