// The built-in title pack: star procedures that follow the opaque parts of an image. Each
// launches at most one star per call; scripts call them every step for a steady sparkle.
//
// Arguments: StarsToUp, StarsTopToUp, StarsAll and StarsAll2 take (image [, threshold]);
// StarsAll3 takes (image, colour text [, threshold]). The threshold defaults to 100; a pixel
// counts as opaque when its alpha is above it. Other counts, a first argument that is not an
// image with a pixel copy, or an argument that does not convert: nothing, and success.
//
// Random draws, from the runtime's seeded generator, in this order: the column (StarsToUp,
// StarsTopToUp) and then the row within the opaque run (StarsToUp) or the opaque pixel
// (StarsAll*), then the angle, the size, the spin and (unless given) the colour.
#include "scriptlib/engine_internal.h"
#include "scriptlib/title_packs.h"

#include "elements/image.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/stars.h"

#include <optional>

namespace kq::script::library {

namespace {

constexpr int32_t kDefaultThreshold = 100;
constexpr int32_t kStarPattern = 2;

// The image of the first argument and the opaque threshold of argument `thresholdAt`.
struct StarSource {
    const elements::TKQImage* image = nullptr;
    const render::TextureImage* picture = nullptr;
    scene::TKQDB* root = nullptr;
    int32_t threshold = kDefaultThreshold;

    bool Opaque(int32_t x, int32_t y) const {
        const std::optional<render::Color> pixel = picture->Pixel(image->Anim, x, y);
        return pixel && static_cast<int32_t>(*pixel >> 24) > threshold;
    }
    int32_t Width() const { return picture->PatternWidth(); }
    int32_t Height() const { return picture->PatternHeight(); }
};

std::optional<StarSource> SourceOf(const EngineContext& ctx, const Params& p, size_t minCount,
                                   size_t thresholdAt) {
    if (p.size() < minCount || p.size() > thresholdAt + 1) {
        return std::nullopt;
    }
    StarSource source;
    source.image = dynamic_cast<const elements::TKQImage*>(ctx.ElementArg(p, 0));
    source.root = ctx.Root();
    if (!source.image || !source.root) {
        return std::nullopt;
    }
    source.picture = source.image->Picture();
    if (!source.picture || !source.picture->HasPixelCopy()) {
        return std::nullopt;
    }
    if (p.size() > thresholdAt && !ToInt32(p[thresholdAt].value, source.threshold)) {
        return std::nullopt;
    }
    return source;
}

// Launches the star at (column, row) of the image with the randomised angle, size and spin
// every star procedure shares.
void Launch(const EngineContext& ctx, const StarSource& source, int32_t column, int32_t row,
            double sizeSpeed, double ySpeed, std::optional<std::string> colorText) {
    scene::Star star;
    star.pattern = kStarPattern;
    star.layer = scene::kTopStarLayer;
    star.mode = scene::kStarBlend;
    star.x = source.image->GetAbsX() + column;
    star.y = source.image->GetAbsY() + row;
    star.angle = ctx.rt.RandomBelow(360);
    star.size = 0.5 + ctx.rt.RandomBelow(50) / 100.0;
    star.angleSpeed = ctx.rt.RandomBelow(10) - 5;
    star.sizeSpeed = sizeSpeed;
    star.ySpeed = ySpeed;
    star.color = scene::StarColor(colorText.value_or(""), ctx.rt.random);
    source.root->Stars().Add(star);
}

// A random column; the first opaque pixel from the top and the run of opaque pixels below it.
// topOnly: the star starts at the top of the run, else at a random row of it.
bool StarsRising(const EngineContext& ctx, Params& p, bool topOnly) {
    const std::optional<StarSource> source = SourceOf(ctx, p, 1, 1);
    if (!source || source->Width() <= 0 || source->Height() <= 0) {
        return true;
    }
    const int32_t column = ctx.rt.RandomBelow(source->Width());
    int32_t top = 0;
    while (top < source->Height() && !source->Opaque(column, top)) {
        ++top;
    }
    if (top == source->Height()) {
        return true; // nothing opaque in this column
    }
    int32_t end = top + 1;
    while (end < source->Height() && source->Opaque(column, end)) {
        ++end;
    }
    const int32_t row = topOnly ? top : top + ctx.rt.RandomBelow(end - top);
    Launch(ctx, *source, column, row, -0.02, -1, std::nullopt);
    return true;
}

// One star at a pixel chosen uniformly among the frame's opaque pixels; none: no star.
bool StarsEverywhere(const EngineContext& ctx, Params& p, double sizeSpeed,
                     std::optional<std::string> colorText, size_t thresholdAt) {
    const std::optional<StarSource> source = SourceOf(ctx, p, thresholdAt, thresholdAt);
    if (!source) {
        return true;
    }
    int32_t opaque = 0;
    for (int32_t y = 0; y < source->Height(); ++y) {
        for (int32_t x = 0; x < source->Width(); ++x) {
            opaque += source->Opaque(x, y) ? 1 : 0;
        }
    }
    if (opaque == 0) {
        return true;
    }
    int32_t chosen = ctx.rt.RandomBelow(opaque);
    for (int32_t y = 0; y < source->Height(); ++y) {
        for (int32_t x = 0; x < source->Width(); ++x) {
            if (source->Opaque(x, y) && chosen-- == 0) {
                Launch(ctx, *source, x, y, sizeSpeed, 0, std::move(colorText));
                return true;
            }
        }
    }
    return true;
}

bool StarsToUp(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return StarsRising(ctx, p, false);
}
bool StarsTopToUp(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return StarsRising(ctx, p, true);
}
bool StarsAll(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return StarsEverywhere(ctx, p, -0.015, std::nullopt, 1);
}
bool StarsAll3(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    std::string color;
    if (p.size() < 2 || !ToText(p[1].value, color)) {
        return true;
    }
    return StarsEverywhere(ctx, p, -0.03, std::move(color), 2);
}

} // namespace

std::span<const TitleProcedure> StarProcedures() {
    static constexpr TitleProcedure kProcedures[] = {
        {"StarsToUp", &StarsToUp, "a rising star at a random row of an image column's opaque run"},
        {"StarsTopToUp", &StarsTopToUp, "a rising star at the top of an image column's opaque run"},
        {"StarsAll", &StarsAll, "a twinkling star at a random opaque pixel of an image"},
        {"StarsAll2", &StarsAll, "the same as StarsAll"},
        {"StarsAll3", &StarsAll3, "StarsAll with a given colour text, shrinking twice as fast"},
    };
    return kProcedures;
}

} // namespace kq::script::library
