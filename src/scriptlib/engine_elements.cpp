// Engine functions on single elements: their event slots, position, drawing order, image
// lists and the pixels of their pictures.
#include "scriptlib/engine_internal.h"

#include "elements/image.h"
#include "render/image_service.h"
#include "scene/element.h"
#include "script/stdlib_internal.h"

#include <algorithm>
#include <memory>

namespace kq::script::library {

namespace {

using scene::ClassId;
using scene::TKQElement;

// Moves an element to the end of its parent's children: drawn last on its layer, hit first.
void BringToFront(TKQElement& element) {
    if (TKQElement* parent = element.Parent()) {
        parent->MoveChildToEnd(&element);
    }
}

// GetAlpha / GetPixel: the ARGB pixel (x, y) of the image's current frame, then `pick`.
bool PixelQuery(const EngineContext& ctx, Params& p, TVar& r, int32_t (*pick)(render::Color)) {
    r.value = Value::Byte(0);
    auto* image = dynamic_cast<elements::TKQImage*>(ctx.ElementArg(p, 0));
    if (!image) {
        return true;
    }
    const render::TextureImage* picture = image->Picture();
    if (!picture) {
        return true;
    }
    const int32_t x = lib::Integer32(p[1].value);
    const int32_t y = lib::Integer32(p[2].value);
    // A point outside the frame reads as nothing rather than a neighbour's pixel.
    if (std::optional<render::Color> pixel = picture->Pixel(image->Anim, x, y)) {
        r.value = Value::Int(pick(*pixel));
    }
    return true;
}

// Calls one event slot of the element given as first argument.
bool SlotCall(const EngineContext& ctx, const Params& p, void (TKQElement::*slot)()) {
    if (TKQElement* e = ctx.ElementArg(p, 0)) {
        (e->*slot)();
    }
    return true;
}

} // namespace

bool Update(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::Update);
}
bool Process(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::Process);
}
bool MsDown(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::MouseDown);
}
bool MsMove(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::MouseMove);
}
bool Init(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::InitPr);
}
bool Show(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    return SlotCall(ctx, p, &TKQElement::Show);
}

bool MoveTo(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    r.value = Value::Byte(0);
    if (TKQElement* e = ctx.ElementArg(p, 0)) {
        e->SetRealPos(lib::Integer32(p[1].value), lib::Integer32(p[2].value));
    }
    return true;
}

bool ToFront(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    if (TKQElement* e = ctx.ElementArg(p, 0)) {
        BringToFront(*e);
    }
    return true;
}

// The image lists take exactly a TKQImList and exactly a TKQImage.
bool ListAdd(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    TKQElement* list = ctx.ElementArg(p, 0);
    TKQElement* image = ctx.ElementArg(p, 1);
    if (list && image && list->Class() == ClassId::ImList && image->Class() == ClassId::Image) {
        static_cast<elements::TKQImList*>(list)->AddItem(*static_cast<elements::TKQImage*>(image));
    }
    return true;
}

bool ListDel(const EngineContext& ctx, TPasCalc&, Params& p, TVar&) {
    TKQElement* list = ctx.ElementArg(p, 0);
    if (!list || list->Class() != ClassId::ImList) {
        return true;
    }
    auto* imageList = static_cast<elements::TKQImList*>(list);
    if (p[1].value.IsString()) {
        imageList->RemoveItemById(p[1].value.RawStr());
    } else if (TKQElement* image = ctx.Element(p[1].value);
               image && image->Class() == ClassId::Image) {
        imageList->RemoveItem(*image);
    }
    return true;
}

bool GetAlpha(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    return PixelQuery(ctx, p, r, [](render::Color c) { return static_cast<int32_t>(c >> 24); });
}
bool GetPixel(const EngineContext& ctx, TPasCalc&, Params& p, TVar& r) {
    return PixelQuery(ctx, p, r,
                      [](render::Color c) { return static_cast<int32_t>(c & 0xFFFFFFu); });
}

} // namespace kq::script::library
