// The off-screen layers of masked shapes: composing (children into the render target, the
// mask's alpha, the shape effect's picture and filter) and drawing the composed layer.
#include "elements/shape.h"

#include "media/shape_filter.h"
#include "scene/db.h"
#include "scene/layer_walk.h"
#include "scene/render_targets.h"
#include "scene/runtime.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kq::elements {

using scene::TKQElement;

namespace {

constexpr uint32_t kAlphaBits = 0xFF000000u;
constexpr uint32_t kColourBits = 0x00FFFFFFu;

render::Canvas* CanvasOf(const TKQElement& e) {
    return e.DB() ? e.Rt().canvas : nullptr;
}

bool IsShape(const TKQElement& e) {
    return e.Class() == scene::ClassId::Shape || e.Class() == scene::ClassId::ShapeEff;
}

size_t Area(render::SizeI size) {
    return static_cast<size_t>(std::max(size.width, 0)) *
           static_cast<size_t>(std::max(size.height, 0));
}

// Clears the flag when the composing ends, however it ends.
class ComposingScope {
public:
    explicit ComposingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~ComposingScope() { flag_ = false; }
    ComposingScope(const ComposingScope&) = delete;
    ComposingScope& operator=(const ComposingScope&) = delete;

private:
    bool& flag_;
};

} // namespace

// ---- TKQShape ----

TKQShape::~TKQShape() {
    FreePie();
    render::Canvas* canvas = CanvasOf(*this);
    if (!canvas) {
        return;
    }
    DB()->RenderTargets().Free(*canvas, targetIndex_);
    canvas->FreeTexture(composite_);
}

render::TextureId TKQShape::Target() const {
    return DB() ? DB()->RenderTargets().Id(targetIndex_) : render::kNoTexture;
}

render::SizeI TKQShape::TargetSize() const {
    const render::Canvas* canvas = CanvasOf(*this);
    return canvas ? DB()->RenderTargets().Size(*canvas, targetIndex_) : render::SizeI{};
}

TKQShape* TKQShape::ResolveLayer(int32_t key, uint32_t& handle) {
    if (key == 0 || !DB()) {
        return nullptr;
    }
    TKQElement* found = handle != 0 ? Rt().handles.Resolve(handle) : nullptr;
    if (!found) {
        // Not resolved yet, or the element it found was freed since: look again.
        found = DB()->FindByKey(key);
        handle = found ? found->Handle() : 0;
    }
    if (!found || !IsShape(*found)) {
        return nullptr;
    }
    auto* shape = static_cast<TKQShape*>(found);
    if (!shape->Masked || shape->Target() == render::kNoTexture) {
        return nullptr;
    }
    return shape;
}

TKQShape* TKQShape::ValidMask() {
    return ResolveLayer(obMask, resolvedMask_);
}

bool TKQShape::PrepareTarget(render::Canvas& canvas) {
    scene::RenderTargetList& targets = DB()->RenderTargets();
    if (targets.Id(targetIndex_) == render::kNoTexture) {
        targetIndex_ = targets.Create(canvas, SizeX, SizeY);
        if (targetIndex_ < 0) {
            if (!targetFailureLogged_) {
                spdlog::warn("shape {} (key {}): no render target of {}x{}; the layer is not drawn",
                             Id, Key, SizeX, SizeY);
                targetFailureLogged_ = true;
            }
            return false;
        }
        compositePixels_.assign(Area({SizeX, SizeY}), 0);
        composite_ = canvas.CreateTexture(SizeX, SizeY, compositePixels_);
        return true;
    }
    const render::SizeI size = targets.Size(canvas, targetIndex_);
    if (size.width != SizeX || size.height != SizeY) {
        // A box the canvas refuses keeps the target at its old size.
        if (targets.Resize(canvas, targetIndex_, SizeX, SizeY)) {
            compositePixels_.assign(Area({SizeX, SizeY}), 0);
            if (!canvas.UpdateTexture(composite_, SizeX, SizeY, compositePixels_)) {
                canvas.FreeTexture(composite_);
                composite_ = canvas.CreateTexture(SizeX, SizeY, compositePixels_);
            }
        }
    }
    return true;
}

void TKQShape::DrawChildrenIntoTarget(render::Canvas& canvas) {
    if (!DB()->RenderTargets().Begin(canvas, targetIndex_)) {
        return;
    }
    canvas.Clear(GetHxColor());
    // The base drawing adds the shape's own position, which the layer must not have.
    scene::WalkLayers(*this, MinOrder, MaxOrder, false, nullptr, [&](int32_t layer) {
        TKQElement::Render(layer, 0xFFFFFFFFu, -rX, -rY, false);
        return false;
    });
    canvas.EndTarget();
}

void TKQShape::UploadComposite(render::Canvas& canvas) {
    const render::SizeI size = TargetSize();
    if (composite_ == render::kNoTexture || compositePixels_.size() != Area(size)) {
        return;
    }
    canvas.UpdateTexture(composite_, size.width, size.height, compositePixels_);
}

void TKQShape::Compose() {
    render::Canvas* canvas = CanvasOf(*this);
    if (!canvas || composing_ || !PrepareTarget(*canvas)) {
        return;
    }
    ComposingScope scope{composing_};
    DrawChildrenIntoTarget(*canvas);
    TKQShape* mask = ValidMask();
    if (!mask) {
        return;
    }
    scene::RenderTargetList& targets = DB()->RenderTargets();
    const std::vector<uint32_t>* maskPixels = targets.Pixels(*canvas, mask->targetIndex_);
    if (!maskPixels) {
        return;
    }
    // Both read-backs must be held at once: the mask's pointer stays valid while the list is
    // not changed, and reading the own target does not change it.
    const std::vector<uint32_t>* own = targets.Pixels(*canvas, targetIndex_);
    if (!own || own->size() != compositePixels_.size()) {
        return;
    }
    // Row order of each surface: a mask of another width shifts rows, as authored games show.
    const size_t n = std::min(maskPixels->size(), own->size());
    for (size_t i = 0; i < n; ++i) {
        compositePixels_[i] = ((*maskPixels)[i] & kAlphaBits) | ((*own)[i] & kColourBits);
    }
    UploadComposite(*canvas);
}

void TKQShape::RenderLayer(double offsetX, double offsetY) {
    render::Canvas* canvas = CanvasOf(*this);
    if (!canvas) {
        return;
    }
    render::TextureId texture = Target();
    if (composite_ != render::kNoTexture && ValidMask()) {
        texture = composite_;
    }
    if (texture == render::kNoTexture) {
        return;
    }
    const uint32_t colour = ColorWord() | kColourBits;
    render::QuadDraw quad;
    quad.texture = texture;
    quad.points =
        render::Canvas::Box(static_cast<float>(offsetX + rX), static_cast<float>(offsetY + rY),
                            static_cast<float>(SizeX), static_cast<float>(SizeY));
    quad.colors = {colour, colour, colour, colour};
    quad.blend = hxDrawFx;
    canvas->SetFiltering(false);
    canvas->DrawQuad(quad);
}

// ---- TKQShapeEff ----

TKQShape* TKQShapeEff::ValidPicture() {
    return ResolveLayer(obPicture, resolvedPicture_);
}

void TKQShapeEff::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (!Masked) {
        TKQShape::Render(layer, tint, offsetX, offsetY, flag);
        return;
    }
    render::Canvas* canvas = CanvasOf(*this);
    if (layer != Order || !canvas) {
        return;
    }
    render::TextureId texture = Target();
    if (Composite() != render::kNoTexture && ValidMask()) {
        texture = Composite();
    }
    if (texture == render::kNoTexture) {
        return;
    }
    const double halfW = SizeX / 2.0 * Scale;
    const double halfH = SizeY / 2.0 * Scale;
    const uint32_t colour = ColorWord() | kColourBits;
    render::QuadDraw quad;
    quad.texture = texture;
    quad.points = render::Canvas::RotatedBox(
        static_cast<float>(offsetX + rX + halfW), static_cast<float>(offsetY + rY + halfH),
        static_cast<float>(SizeX * Scale), static_cast<float>(SizeY * Scale),
        static_cast<float>(Angle * std::numbers::pi / 180.0));
    quad.colors = {colour, colour, colour, colour};
    quad.blend = hxDrawFx;
    // A turned or scaled layer is sampled smoothly, as turned or scaled pictures are.
    canvas->SetFiltering(Scale != 1 || std::fmod(Angle, 360.0) != 0);
    canvas->DrawQuad(quad);
}

bool TKQShapeEff::CombineEffect(render::Canvas& canvas, TKQShape& mask, TKQShape* picture) {
    scene::RenderTargetList& targets = DB()->RenderTargets();
    const std::vector<uint32_t>* maskPixels = targets.Pixels(canvas, mask.TargetIndex());
    if (!maskPixels) {
        return false;
    }
    const TKQShape& source = picture ? *picture : *this;
    const std::vector<uint32_t>* colours = targets.Pixels(canvas, source.TargetIndex());
    if (!colours) {
        return false;
    }
    const render::SizeI own = TargetSize();
    std::vector<uint32_t>& out = CompositePixels();
    if (out.size() != Area(own)) {
        return false;
    }
    const size_t n = std::min(maskPixels->size(), out.size());
    if (!picture) {
        for (size_t i = 0; i < n; ++i) {
            out[i] = ((*maskPixels)[i] & kAlphaBits) | ((*colours)[i] & kColourBits);
        }
        return true;
    }
    // The rectangle at (PictX, PictY) of the picture's layer; what lies outside it is
    // transparent black.
    const render::SizeI from = picture->TargetSize();
    const auto width = static_cast<size_t>(own.width);
    for (size_t i = 0; i < n; ++i) {
        const int64_t x = int64_t{PictX} + static_cast<int64_t>(i % width);
        const int64_t y = int64_t{PictY} + static_cast<int64_t>(i / width);
        uint32_t colour = 0;
        if (x >= 0 && y >= 0 && x < from.width && y < from.height) {
            colour = (*colours)[static_cast<size_t>(y) * static_cast<size_t>(from.width) +
                                static_cast<size_t>(x)];
        }
        out[i] = ((*maskPixels)[i] & kAlphaBits) | (colour & kColourBits);
    }
    return true;
}

void TKQShapeEff::Compose() {
    render::Canvas* canvas = CanvasOf(*this);
    if (!canvas || composing_ || !PrepareTarget(*canvas)) {
        return;
    }
    ComposingScope scope{composing_};
    TKQShape* picture = ValidPicture();
    if (!picture) {
        DrawChildrenIntoTarget(*canvas);
    }
    TKQShape* mask = ValidMask();
    if (!mask) {
        // Drawn from the render target, unfiltered.
        return;
    }
    if (!CombineEffect(*canvas, *mask, picture)) {
        return;
    }
    FilterComposite(static_cast<int32_t>(Filter), Par1, Par2, Par3);
    UploadComposite(*canvas);
}

bool TKQShapeEff::FilterComposite(int32_t filter, double p1, double p2, double p3) {
    const render::SizeI size = TargetSize();
    std::vector<uint32_t>& pixels = CompositePixels();
    if (filter <= 0 || filter >= media::kFilterCount || pixels.size() != Area(size) ||
        pixels.empty()) {
        return false;
    }
    media::ShapeFilterBuffers& buffers = DB()->RenderTargets().Filters();
    media::TFastDIB& work = buffers.Work(size.width, size.height);
    std::copy(pixels.begin(), pixels.end(), work.Words());
    if (!buffers.Apply(filter, p1, p2, p3, Rt().random)) {
        return false;
    }
    std::copy(work.Words(), work.Words() + pixels.size(), pixels.begin());
    return true;
}

void TKQShapeEff::ApplyFilter(int32_t filter, double p1, double p2, double p3) {
    render::Canvas* canvas = CanvasOf(*this);
    if (!canvas || Composite() == render::kNoTexture || !ValidMask()) {
        return;
    }
    if (FilterComposite(filter, p1, p2, p3)) {
        UploadComposite(*canvas);
    }
}

} // namespace kq::elements
