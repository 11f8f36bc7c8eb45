// Engine functions that launch star sprites: one at a time (AddStar) or scattered over the
// opaque pixels of an image (ImStarsR).
#include "scriptlib/engine_internal.h"

#include "elements/image.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/stars.h"
#include "script/stdlib_internal.h"

namespace kq::script::library {

namespace {

// The optional trailing arguments both functions share: pattern, colour text, layer and
// drawing mode, starting at params[first]. Answers the colour text ("" when not given: each
// star then draws a random colour).
std::string TakeStyle(const Params& p, size_t first, scene::Star& star) {
    star.pattern = p.size() > first ? lib::Integer32(p[first].value) : 0;
    std::string color = p.size() > first + 1 ? lib::Text(p[first + 1].value) : "";
    star.layer = p.size() > first + 2 ? lib::Integer32(p[first + 2].value) : scene::kTopStarLayer;
    star.mode = p.size() > first + 3 ? lib::Integer32(p[first + 3].value) : scene::kStarBlend;
    return color;
}

} // namespace

// AddStar(angle, x, y, size, angle speed, size speed, x speed, y speed [, pattern [, colour
// [, layer [, mode]]]]).
bool AddStar(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    scene::Star star;
    star.angle = lib::Float(p[0].value);
    star.x = lib::Float(p[1].value);
    star.y = lib::Float(p[2].value);
    star.size = lib::Float(p[3].value);
    star.angleSpeed = lib::Float(p[4].value);
    star.sizeSpeed = lib::Float(p[5].value);
    star.xSpeed = lib::Float(p[6].value);
    star.ySpeed = lib::Float(p[7].value);
    star.color = scene::StarColor(TakeStyle(p, 8, star), ctx.rt.random);
    if (scene::TKQDB* root = ctx.Root()) {
        root->Stars().Add(star);
    }
    r.value = Value::Byte(0);
    return true;
}

// ImStarsR(image, count, alpha threshold, size base, size spread, size speed, angle, angle
// speed, x speed, y speed [, pattern [, colour [, layer [, mode]]]]): count random pixels of
// the image's frame are tried; each at least as opaque as the threshold launches a star there.
bool ImStarsR(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (!p[0].value.IsHandle()) {
        return false;
    }
    const int32_t count = lib::Integer32(p[1].value);
    const int32_t threshold = lib::Integer32(p[2].value);
    const double sizeBase = lib::Float(p[3].value);
    const int32_t sizeSpread = lib::Integer32(p[4].value);
    scene::Star star;
    star.sizeSpeed = lib::Float(p[5].value);
    star.angle = lib::Float(p[6].value);
    star.angleSpeed = lib::Float(p[7].value);
    star.xSpeed = lib::Float(p[8].value);
    star.ySpeed = lib::Float(p[9].value);
    const std::string color = TakeStyle(p, 10, star);

    auto* image = dynamic_cast<elements::TKQImage*>(ctx.Element(p[0].value));
    scene::TKQDB* root = ctx.Root();
    const render::TextureImage* picture = image ? image->Picture() : nullptr;
    if (!picture || !root || !picture->HasPixelCopy()) {
        return true;
    }
    const int32_t width = picture->PatternWidth();
    const int32_t height = picture->PatternHeight();
    const int32_t left = image->GetAbsX();
    const int32_t top = image->GetAbsY();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t column = ctx.rt.RandomBelow(width);
        const int32_t row = ctx.rt.RandomBelow(height);
        const std::optional<render::Color> pixel = picture->Pixel(image->Anim, column, row);
        if (!pixel || static_cast<int32_t>(*pixel >> 24) < threshold) {
            continue;
        }
        star.x = left + column;
        star.y = top + row;
        star.size = sizeBase + ctx.rt.RandomBelow(sizeSpread) / 100.0;
        star.color = scene::StarColor(color, ctx.rt.random);
        root->Stars().Add(star);
    }
    return true;
}

} // namespace kq::script::library
