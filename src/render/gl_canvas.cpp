#include "render/gl_canvas.h"

#include <SDL.h>
#include <epoxy/gl.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <unordered_map>

#include "render/blend.h"
#include "render/quad_batch.h"
#include "render/recording_canvas.h"
#include "render/texture_layout.h"

namespace kq::render {

namespace {

constexpr size_t kMaxBatchQuads = 4096; // 16384 vertices: 16-bit indices suffice

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aUv;
layout(location = 2) in vec4 aColor;
layout(location = 3) in float aMode;
layout(location = 4) in vec4 aClamp;
uniform vec2 uTargetSize;
out vec2 vUv;
out vec4 vColor;
flat out int vMode;
flat out vec4 vClamp;
void main() {
    // Target row 0 is scene row 0 (top): read-backs and render-target textures come out
    // top-down without flipping; Present flips once when copying to the window.
    gl_Position = vec4(aPos.x * 2.0 / uTargetSize.x - 1.0, aPos.y * 2.0 / uTargetSize.y - 1.0,
                       0.0, 1.0);
    vUv = aUv;
    vColor = aColor;
    vMode = int(aMode + 0.5);
    vClamp = aClamp;
}
)";

const char* kFragmentShader = R"(#version 330 core
in vec2 vUv;
in vec4 vColor;
flat in int vMode;
flat in vec4 vClamp;
uniform sampler2D uTexture;
uniform bool uAlphaTest;
out vec4 fragColor;
void main() {
    vec4 c;
    // Patterns of a sheet share one texture: a filtered sample stays inside its own cell.
    vec2 uv = clamp(vUv, vClamp.xy, vClamp.zw);
    if (vMode == 0) {
        c = vColor;
    } else if (vMode == 1) {
        c = texture(uTexture, uv);
    } else {
        c = texture(uTexture, uv) * vColor;
    }
    if (uAlphaTest && c.a < 0.5 / 255.0) {
        discard;
    }
    fragColor = c;
}
)";

// What the saturated source alpha, min(As, 1 - Ad) for colour and 1 for alpha, becomes as a
// destination factor. The screen has no alpha channel: Ad is 1 there and the factor exactly 0.
// Render targets keep alpha per pixel, which only GL's own factor follows; where the context
// refuses it as a destination factor, one is the nearest constant.
enum class SaturatedDest { kZero, kExact, kOne };

GLenum GlFactor(BlendFactor f, bool dest, SaturatedDest saturatedDest = SaturatedDest::kOne) {
    switch (f) {
    case BlendFactor::kZero:
        return GL_ZERO;
    case BlendFactor::kOne:
        return GL_ONE;
    case BlendFactor::kSrcColor:
        return GL_SRC_COLOR;
    case BlendFactor::kInvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case BlendFactor::kSrcAlpha:
        return GL_SRC_ALPHA;
    case BlendFactor::kInvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case BlendFactor::kDestAlpha:
        return GL_DST_ALPHA;
    case BlendFactor::kInvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case BlendFactor::kDestColor:
        return GL_DST_COLOR;
    case BlendFactor::kInvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case BlendFactor::kSrcAlphaSat:
        if (!dest || saturatedDest == SaturatedDest::kExact) {
            return GL_SRC_ALPHA_SATURATE;
        }
        return saturatedDest == SaturatedDest::kZero ? GL_ZERO : GL_ONE;
    }
    return dest ? GL_ZERO : GL_ONE;
}

GLenum GlEquation(BlendOp op) {
    switch (op) {
    case BlendOp::kAdd:
        return GL_FUNC_ADD;
    case BlendOp::kRevSubtract:
        return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOp::kSubtract:
        return GL_FUNC_SUBTRACT;
    case BlendOp::kMin:
        return GL_MIN;
    case BlendOp::kMax:
        return GL_MAX;
    }
    return GL_FUNC_ADD;
}

GLuint CompileShader(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        spdlog::error("render: shader compilation failed: {}", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

struct GlCanvas::Impl {
    struct Texture {
        GLuint texture = 0;
        GLuint fbo = 0; // render targets only
        TextureLayout layout;
        bool linear = false; // current GL filter of the texture object
    };
    struct SavedTarget {
        TextureId id;
        RectI clip;
    };

    GlCanvasOptions options;
    bool ownsVideo = false;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::string rendererName;

    GLuint program = 0;
    GLint uTargetSize = -1;
    GLint uAlphaTest = -1;
    GLint uTexture = -1;
    GLuint vao = 0;
    GLuint vbo = 0;
    GLuint ibo = 0;
    GLuint screenTexture = 0;
    GLuint screenFbo = 0;
    GLuint readFbo = 0;

    std::unordered_map<TextureId, Texture> textures;
    TextureId nextId = 1;
    std::vector<SavedTarget> targets;
    RectI clip{0, 0, kSceneWidth, kSceneHeight};
    bool filtering = false;
    bool saturateAsDest = false; // the context takes GL_SRC_ALPHA_SATURATE as a destination
    QuadBatch batch{kMaxBatchQuads};
    GlCanvasStats stats;
    std::vector<uint32_t> convertScratch;

    ~Impl() {
        if (context != nullptr) {
            for (auto& [id, t] : textures) {
                glDeleteTextures(1, &t.texture);
                if (t.fbo != 0) {
                    glDeleteFramebuffers(1, &t.fbo);
                }
            }
            glDeleteFramebuffers(1, &screenFbo);
            glDeleteFramebuffers(1, &readFbo);
            glDeleteTextures(1, &screenTexture);
            glDeleteBuffers(1, &vbo);
            glDeleteBuffers(1, &ibo);
            glDeleteVertexArrays(1, &vao);
            glDeleteProgram(program);
            SDL_GL_DeleteContext(context);
        }
        if (window != nullptr) {
            SDL_DestroyWindow(window);
        }
        if (ownsVideo) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
    }

    Texture* Find(TextureId id) {
        auto it = textures.find(id);
        return it == textures.end() ? nullptr : &it->second;
    }
    const Texture* Find(TextureId id) const {
        auto it = textures.find(id);
        return it == textures.end() ? nullptr : &it->second;
    }

    SizeI TargetSize() const {
        if (targets.empty()) {
            return {kSceneWidth, kSceneHeight};
        }
        const Texture* t = Find(targets.back().id);
        return t == nullptr ? SizeI{kSceneWidth, kSceneHeight}
                            : SizeI{t->layout.width, t->layout.height};
    }

    void BindCurrentTarget() {
        GLuint fbo = screenFbo;
        if (!targets.empty()) {
            if (const Texture* t = Find(targets.back().id)) {
                fbo = t->fbo;
            }
        }
        const SizeI size = TargetSize();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glViewport(0, 0, size.width, size.height);
        glUseProgram(program);
        glUniform2f(uTargetSize, static_cast<float>(size.width), static_cast<float>(size.height));
    }

    bool Init() {
        if (epoxy_gl_version() < 33) {
            spdlog::error("render: OpenGL 3.3 is required, the context offers {}.{}",
                          epoxy_gl_version() / 10, epoxy_gl_version() % 10);
            return false;
        }
        const GLubyte* renderer = glGetString(GL_RENDERER);
        rendererName = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "?";

        GLuint vs = CompileShader(GL_VERTEX_SHADER, kVertexShader);
        GLuint fs = CompileShader(GL_FRAGMENT_SHADER, kFragmentShader);
        if (vs == 0 || fs == 0) {
            return false;
        }
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            spdlog::error("render: shader program did not link");
            return false;
        }
        uTargetSize = glGetUniformLocation(program, "uTargetSize");
        uAlphaTest = glGetUniformLocation(program, "uAlphaTest");
        uTexture = glGetUniformLocation(program, "uTexture");
        glUseProgram(program);
        glUniform1i(uTexture, 0);

        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, kMaxBatchQuads * 4 * sizeof(BatchVertex), nullptr,
                     GL_STREAM_DRAW);
        const GLsizei stride = sizeof(BatchVertex);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<void*>(offsetof(BatchVertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<void*>(offsetof(BatchVertex, u)));
        glEnableVertexAttribArray(2);
        // ARGB words are the bytes B, G, R, A in memory: exactly what GL_BGRA size expects.
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              reinterpret_cast<void*>(offsetof(BatchVertex, color)));
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<void*>(offsetof(BatchVertex, mode)));
        glEnableVertexAttribArray(4);
        glVertexAttribPointer(4, 4, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<void*>(offsetof(BatchVertex, uMin)));

        std::vector<uint16_t> indices(kMaxBatchQuads * 6);
        for (size_t q = 0; q < kMaxBatchQuads; ++q) {
            const auto base = static_cast<uint16_t>(q * 4);
            const uint16_t quad[6] = {
                base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3)};
            std::copy(quad, quad + 6, indices.begin() + static_cast<ptrdiff_t>(q * 6));
        }
        glGenBuffers(1, &ibo);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, indices.size() * sizeof(uint16_t), indices.data(),
                     GL_STATIC_DRAW);

        // The scene buffer has no alpha channel, like the original back buffer: destination
        // alpha reads as 1 and screenshots come out opaque.
        glGenTextures(1, &screenTexture);
        glBindTexture(GL_TEXTURE_2D, screenTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kSceneWidth, kSceneHeight, 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glGenFramebuffers(1, &screenFbo);
        glBindFramebuffer(GL_FRAMEBUFFER, screenFbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, screenTexture,
                               0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            spdlog::error("render: the scene framebuffer is incomplete");
            return false;
        }
        glGenFramebuffers(1, &readFbo);
        // Older contexts accept the saturated factor for the source only.
        while (glGetError() != GL_NO_ERROR) {
        }
        glBlendFunc(GL_ONE, GL_SRC_ALPHA_SATURATE);
        saturateAsDest = glGetError() == GL_NO_ERROR;
        glBlendFunc(GL_ONE, GL_ZERO);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        BindCurrentTarget();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (GLenum err = glGetError(); err != GL_NO_ERROR) {
            spdlog::error("render: OpenGL error {:#x} while setting up", err);
            return false;
        }
        return true;
    }

    void Flush() {
        if (batch.Empty()) {
            return;
        }
        const BatchState& s = batch.State();
        glEnable(GL_SCISSOR_TEST);
        glScissor(s.clip.left, s.clip.top, s.clip.Width(), s.clip.Height());
        if (s.blend.blending) {
            glEnable(GL_BLEND);
            // The screen has no alpha; render targets have it per pixel.
            const SaturatedDest saturated = targets.empty()  ? SaturatedDest::kZero
                                            : saturateAsDest ? SaturatedDest::kExact
                                                             : SaturatedDest::kOne;
            glBlendFunc(GlFactor(s.blend.source, false), GlFactor(s.blend.dest, true, saturated));
            glBlendEquation(GlEquation(s.blend.op));
        } else {
            glDisable(GL_BLEND);
        }
        glUniform1i(uAlphaTest, s.blend.alphaTest ? 1 : 0);
        glActiveTexture(GL_TEXTURE0);
        Texture* t = s.texture != kNoTexture ? Find(s.texture) : nullptr;
        glBindTexture(GL_TEXTURE_2D, t != nullptr ? t->texture : 0);
        if (t != nullptr && t->linear != s.filtering) {
            const GLint filter = s.filtering ? GL_LINEAR : GL_NEAREST;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
            t->linear = s.filtering;
        }
        const std::span<const BatchVertex> v = batch.Vertices();
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        // Fresh storage of just the batch's size: the driver need not wait for the previous
        // batch, and small batches (one per state change) stay cheap.
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size_bytes()), v.data(),
                     GL_STREAM_DRAW);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(batch.QuadCount() * 6), GL_UNSIGNED_SHORT,
                       nullptr);
        ++stats.flushes;
        stats.quads += batch.QuadCount();
        batch.Clear();
    }

    void Submit(const BatchState& state, bool textured, const BatchVertex* vertices) {
        if (batch.NeedsFlush(state, textured)) {
            if (batch.Full()) {
                ++stats.overflows;
            }
            Flush();
        }
        batch.Add(state, textured, vertices);
    }

    BatchState CurrentState(TextureId texture, uint32_t blend) const {
        return BatchState{texture, DecodeBlend(blend), filtering, clip};
    }

    bool Upload(Texture& t, int width, int height, std::span<const uint32_t> pixels,
                PixelFormat format) {
        glBindTexture(GL_TEXTURE_2D, t.texture);
        const GLenum glFormat = format == PixelFormat::kArgb ? GL_BGRA : GL_RGBA;
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, glFormat,
                     GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
        if (GLenum err = glGetError(); err != GL_NO_ERROR) {
            spdlog::error("render: texture upload of {}x{} failed (GL error {:#x})", width, height,
                          err);
            return false;
        }
        return true;
    }

    std::vector<uint32_t> ReadFramebuffer(GLuint fbo, int x, int y, int width, int height) {
        Flush();
        std::vector<uint32_t> out(static_cast<size_t>(width) * height);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        glReadPixels(x, y, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out.data());
        BindCurrentTarget();
        return out;
    }

    // A framebuffer that reads the texture: its own for render targets, the shared read
    // framebuffer with the texture attached otherwise.
    GLuint ReadableFbo(const Texture& t) {
        if (t.fbo != 0) {
            return t.fbo;
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.texture,
                               0);
        return readFbo;
    }
};

GlCanvas::GlCanvas(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GlCanvas::~GlCanvas() = default;

std::unique_ptr<GlCanvas> GlCanvas::Create(const GlCanvasOptions& options) {
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    if (options.headless) {
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
            // Without an explicit driver SDL tries Wayland and X11 first.
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        } else if (const char* driver = SDL_GetCurrentVideoDriver();
                   driver != nullptr && std::string_view(driver) != "offscreen") {
            spdlog::info("render: headless canvas on the already running video driver {}", driver);
        }
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        spdlog::error("render: SDL video initialisation failed: {}", SDL_GetError());
        return nullptr;
    }
    impl->ownsVideo = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);

    const int scale = std::clamp(options.windowScale, 1, 8);
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (options.headless) {
        flags |= SDL_WINDOW_HIDDEN;
    } else {
        flags |= SDL_WINDOW_ALLOW_HIGHDPI;
        if (options.fullScreen) {
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        }
    }
    impl->window =
        SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         kSceneWidth * scale, kSceneHeight * scale, flags);
    if (impl->window == nullptr) {
        spdlog::error("render: cannot create the window: {}", SDL_GetError());
        return nullptr;
    }
    impl->context = SDL_GL_CreateContext(impl->window);
    if (impl->context == nullptr) {
        spdlog::error("render: cannot create an OpenGL 3.3 core context: {}", SDL_GetError());
        return nullptr;
    }
    SDL_GL_MakeCurrent(impl->window, impl->context);
    if (!options.headless) {
        SDL_GL_SetSwapInterval(options.vsync ? 1 : 0);
    }
    if (!impl->Init()) {
        return nullptr;
    }
    spdlog::info("render: OpenGL {}.{} on {}{}", epoxy_gl_version() / 10, epoxy_gl_version() % 10,
                 impl->rendererName, options.headless ? " (headless)" : "");
    return std::unique_ptr<GlCanvas>(new GlCanvas(std::move(impl)));
}

void GlCanvas::BeginFrame() {
    impl_->Flush();
    impl_->targets.clear();
    impl_->clip = RectI{0, 0, kSceneWidth, kSceneHeight};
    impl_->BindCurrentTarget();
}

void GlCanvas::EndFrame() {
    impl_->Flush();
}

void GlCanvas::Present() {
    Impl& m = *impl_;
    m.Flush();
    if (!m.options.headless) {
        int dw = 0;
        int dh = 0;
        SDL_GL_GetDrawableSize(m.window, &dw, &dh);
        if (dw > 0 && dh > 0) {
            const double scale = std::min(static_cast<double>(dw) / kSceneWidth,
                                          static_cast<double>(dh) / kSceneHeight);
            const int w = static_cast<int>(kSceneWidth * scale);
            const int h = static_cast<int>(kSceneHeight * scale);
            const int x0 = (dw - w) / 2;
            const int y0 = (dh - h) / 2;
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m.screenFbo);
            glDisable(GL_SCISSOR_TEST);
            glViewport(0, 0, dw, dh);
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            const bool exact = w % kSceneWidth == 0 && h % kSceneHeight == 0;
            // The window's row 0 is its bottom; scene row 0 is the top: flip while copying.
            glBlitFramebuffer(0, 0, kSceneWidth, kSceneHeight, x0, y0 + h, x0 + w, y0,
                              GL_COLOR_BUFFER_BIT, exact ? GL_NEAREST : GL_LINEAR);
        }
        SDL_GL_SwapWindow(m.window);
    } else {
        glFlush();
    }
    m.BindCurrentTarget();
}

std::vector<uint32_t> GlCanvas::ReadScreen() {
    return impl_->ReadFramebuffer(impl_->screenFbo, 0, 0, kSceneWidth, kSceneHeight);
}

SDL_Window* GlCanvas::Window() const {
    return impl_->window;
}
bool GlCanvas::Headless() const {
    return impl_->options.headless;
}
const std::string& GlCanvas::RendererName() const {
    return impl_->rendererName;
}
const GlCanvasStats& GlCanvas::Stats() const {
    return impl_->stats;
}
void GlCanvas::ResetStats() {
    impl_->stats = GlCanvasStats{};
}

TextureId GlCanvas::CreateTexture(int width, int height, std::span<const uint32_t> pixels,
                                  PixelFormat format) {
    if (!TextureLayout::ValidSize(width, height) ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return kNoTexture;
    }
    Impl& m = *impl_;
    Impl::Texture t;
    t.layout = TextureLayout::Whole(width, height);
    glGenTextures(1, &t.texture);
    glBindTexture(GL_TEXTURE_2D, t.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (!m.Upload(t, width, height, pixels, format)) {
        glDeleteTextures(1, &t.texture);
        return kNoTexture;
    }
    const TextureId id = m.nextId++;
    m.textures.emplace(id, t);
    return id;
}

bool GlCanvas::UpdateTexture(TextureId id, int width, int height, std::span<const uint32_t> pixels,
                             PixelFormat format) {
    Impl& m = *impl_;
    Impl::Texture* t = m.Find(id);
    if (t == nullptr || !TextureLayout::ValidSize(width, height) ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    m.Flush(); // pending draws sample the old content
    if (!m.Upload(*t, width, height, pixels, format)) {
        return false;
    }
    TextureLayout next = TextureLayout::Whole(width, height);
    if (!next.SetPattern(t->layout.patternWidth, t->layout.patternHeight)) {
        next = TextureLayout::Whole(width, height);
    }
    t->layout = next;
    return true;
}

void GlCanvas::FreeTexture(TextureId id) {
    Impl& m = *impl_;
    Impl::Texture* t = m.Find(id);
    if (t == nullptr) {
        return;
    }
    m.Flush();
    for (size_t i = 0; i < m.targets.size(); ++i) {
        if (m.targets[i].id == id) {
            while (m.targets.size() > i) {
                EndTarget();
            }
            break;
        }
    }
    glDeleteTextures(1, &t->texture);
    if (t->fbo != 0) {
        glDeleteFramebuffers(1, &t->fbo);
    }
    m.textures.erase(id);
}

SizeI GlCanvas::TextureSize(TextureId id) const {
    const Impl::Texture* t = impl_->Find(id);
    return t == nullptr ? SizeI{} : SizeI{t->layout.width, t->layout.height};
}

bool GlCanvas::SetPatternLayout(TextureId id, int patternWidth, int patternHeight) {
    Impl::Texture* t = impl_->Find(id);
    return t != nullptr && t->layout.SetPattern(patternWidth, patternHeight);
}

SizeI GlCanvas::PatternSize(TextureId id) const {
    const Impl::Texture* t = impl_->Find(id);
    return t == nullptr ? SizeI{} : SizeI{t->layout.patternWidth, t->layout.patternHeight};
}

int GlCanvas::PatternCount(TextureId id) const {
    const Impl::Texture* t = impl_->Find(id);
    return t == nullptr ? 0 : t->layout.Count();
}

std::optional<Color> GlCanvas::ReadPixel(TextureId id, int x, int y) {
    Impl& m = *impl_;
    Impl::Texture* t = m.Find(id);
    if (t == nullptr || x < 0 || y < 0 || x >= t->layout.width || y >= t->layout.height) {
        return std::nullopt;
    }
    m.Flush();
    const GLuint fbo = m.ReadableFbo(*t);
    return m.ReadFramebuffer(fbo, x, y, 1, 1)[0];
}

std::vector<uint32_t> GlCanvas::ReadPixels(TextureId id) {
    Impl& m = *impl_;
    Impl::Texture* t = m.Find(id);
    if (t == nullptr) {
        return {};
    }
    m.Flush();
    const GLuint fbo = m.ReadableFbo(*t);
    return m.ReadFramebuffer(fbo, 0, 0, t->layout.width, t->layout.height);
}

TextureId GlCanvas::CreateRenderTarget(int width, int height) {
    if (!TextureLayout::ValidSize(width, height)) {
        return kNoTexture;
    }
    Impl& m = *impl_;
    m.Flush();
    std::vector<uint32_t> zero(static_cast<size_t>(width) * height, 0);
    const TextureId id = CreateTexture(width, height, zero);
    Impl::Texture* t = m.Find(id);
    if (t == nullptr) {
        return kNoTexture;
    }
    glGenFramebuffers(1, &t->fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, t->fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t->texture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    m.BindCurrentTarget();
    if (!complete) {
        spdlog::error("render: render target {}x{} is incomplete", width, height);
        FreeTexture(id);
        return kNoTexture;
    }
    return id;
}

bool GlCanvas::ResizeRenderTarget(TextureId id, int width, int height) {
    Impl& m = *impl_;
    Impl::Texture* t = m.Find(id);
    if (t == nullptr || t->fbo == 0 || !TextureLayout::ValidSize(width, height)) {
        return false;
    }
    m.Flush();
    std::vector<uint32_t> zero(static_cast<size_t>(width) * height, 0);
    if (!m.Upload(*t, width, height, zero, PixelFormat::kArgb)) {
        return false;
    }
    t->layout = TextureLayout::Whole(width, height);
    m.BindCurrentTarget(); // the viewport follows when this target is the current one
    return true;
}

bool GlCanvas::BeginTarget(TextureId id) {
    Impl& m = *impl_;
    const Impl::Texture* t = m.Find(id);
    if (t == nullptr || t->fbo == 0) {
        return false;
    }
    for (const Impl::SavedTarget& s : m.targets) {
        if (s.id == id) {
            return false;
        }
    }
    m.Flush();
    m.targets.push_back({id, m.clip});
    m.clip = RectI{0, 0, t->layout.width, t->layout.height};
    m.BindCurrentTarget();
    return true;
}

void GlCanvas::EndTarget() {
    Impl& m = *impl_;
    if (m.targets.empty()) {
        return;
    }
    m.Flush();
    m.clip = m.targets.back().clip;
    m.targets.pop_back();
    m.BindCurrentTarget();
}

void GlCanvas::Clear(Color color) {
    Impl& m = *impl_;
    m.Flush();
    glDisable(GL_SCISSOR_TEST);
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                 (color & 0xFF) / 255.0f, ((color >> 24) & 0xFF) / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GlCanvas::SetClipRect(const RectI& rect) {
    impl_->clip = IntersectWithTarget(rect, impl_->TargetSize());
}

RectI GlCanvas::ClipRect() const {
    return impl_->clip;
}
void GlCanvas::SetFiltering(bool on) {
    impl_->filtering = on;
}
bool GlCanvas::Filtering() const {
    return impl_->filtering;
}
void GlCanvas::Flush() {
    impl_->Flush();
}

void GlCanvas::DrawQuad(const QuadDraw& quad) {
    Impl& m = *impl_;
    if (m.clip.Empty()) {
        return;
    }
    const Impl::Texture* t = m.Find(quad.texture);
    if (t == nullptr) {
        return;
    }
    const std::optional<TexelRect> r = t->layout.Source(quad.pattern, quad.source);
    if (!r) {
        return;
    }
    const TexelRect cell = *t->layout.Cell(quad.pattern); // the source lies inside it
    const float iw = 1.0f / t->layout.width;
    const float ih = 1.0f / t->layout.height;
    const float u0 = r->left * iw;
    const float v0 = r->top * ih;
    const float u1 = r->right * iw;
    const float v1 = r->bottom * ih;
    const float cu0 = (cell.left + 0.5f) * iw;
    const float cv0 = (cell.top + 0.5f) * ih;
    const float cu1 = (cell.right - 0.5f) * iw;
    const float cv1 = (cell.bottom - 0.5f) * ih;
    const float mode = static_cast<float>(
        NeedsModulate(quad.blend, quad.colors) ? VertexMode::kModulate : VertexMode::kTexture);
    const BatchVertex v[4] = {
        {quad.points[0].x, quad.points[0].y, u0, v0, quad.colors[0], mode, cu0, cv0, cu1, cv1},
        {quad.points[1].x, quad.points[1].y, u1, v0, quad.colors[1], mode, cu0, cv0, cu1, cv1},
        {quad.points[2].x, quad.points[2].y, u1, v1, quad.colors[2], mode, cu0, cv0, cu1, cv1},
        {quad.points[3].x, quad.points[3].y, u0, v1, quad.colors[3], mode, cu0, cv0, cu1, cv1},
    };
    m.Submit(m.CurrentState(quad.texture, quad.blend), true, v);
}

void GlCanvas::FillTriangle(PointF a, PointF b, PointF c, Color color, uint32_t blend) {
    Impl& m = *impl_;
    if (m.clip.Empty()) {
        return;
    }
    // A triangle is a quad whose last corner repeats the third: the second half degenerates.
    const BatchVertex v[4] = {{a.x, a.y, 0, 0, color, 0, 0, 0, 0, 0},
                              {b.x, b.y, 0, 0, color, 0, 0, 0, 0, 0},
                              {c.x, c.y, 0, 0, color, 0, 0, 0, 0, 0},
                              {c.x, c.y, 0, 0, color, 0, 0, 0, 0, 0}};
    m.Submit(m.CurrentState(kNoTexture, blend), false, v);
}

void GlCanvas::FillRect(float x, float y, float width, float height, Color color, uint32_t blend) {
    Impl& m = *impl_;
    if (m.clip.Empty() || width <= 0 || height <= 0) {
        return;
    }
    const BatchVertex v[4] = {{x, y, 0, 0, color, 0, 0, 0, 0, 0},
                              {x + width, y, 0, 0, color, 0, 0, 0, 0, 0},
                              {x + width, y + height, 0, 0, color, 0, 0, 0, 0, 0},
                              {x, y + height, 0, 0, color, 0, 0, 0, 0, 0}};
    m.Submit(m.CurrentState(kNoTexture, blend), false, v);
}

} // namespace kq::render
