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

// A routine that calls one slot of the element given as first argument.
NativeRoutine SlotCall(const EngineContext& ctx, void (TKQElement::*slot)()) {
    return [ctx, slot](TPasCalc&, Params& p, TVar&) {
        if (TKQElement* e = ctx.ElementArg(p, 0)) {
            (e->*slot)();
        }
        return true;
    };
}

// Moves an element to the end of its parent's children: drawn last on its layer, hit first.
void BringToFront(TKQElement& element) {
    if (TKQElement* parent = element.Parent()) {
        parent->MoveChildToEnd(&element);
    }
}

// GetAlpha / GetPixel: the ARGB pixel (x, y) of the image's current frame, then `pick`.
NativeRoutine PixelQuery(const EngineContext& ctx, int32_t (*pick)(render::Color)) {
    return [ctx, pick](TPasCalc&, Params& p, TVar& r) {
        if (p.size() != 3) {
            return true;
        }
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
    };
}

} // namespace

void AddElementFunctions(EngineTable& t, const EngineContext& ctx) {
    t["UPDATE"] = SlotCall(ctx, &TKQElement::Update);
    t["PROCESS"] = SlotCall(ctx, &TKQElement::Process);
    t["MSDOWN"] = SlotCall(ctx, &TKQElement::MouseDown);
    t["MSMOVE"] = SlotCall(ctx, &TKQElement::MouseMove);
    t["INIT"] = SlotCall(ctx, &TKQElement::InitPr);
    t["SHOW"] = SlotCall(ctx, &TKQElement::Show);

    t["MOVETO"] = [ctx](TPasCalc&, Params& p, TVar& r) {
        r.value = Value::Byte(0);
        if (p.size() != 3) {
            return true;
        }
        if (TKQElement* e = ctx.ElementArg(p, 0)) {
            e->SetRealPos(lib::Integer32(p[1].value), lib::Integer32(p[2].value));
        }
        return true;
    };
    t["TOFRONT"] = [ctx](TPasCalc&, Params& p, TVar&) {
        if (TKQElement* e = ctx.ElementArg(p, 0)) {
            BringToFront(*e);
        }
        return true;
    };

    // The image lists take exactly a TKQImList and exactly a TKQImage.
    t["LISTADD"] = [ctx](TPasCalc&, Params& p, TVar&) {
        TKQElement* list = ctx.ElementArg(p, 0);
        TKQElement* image = ctx.ElementArg(p, 1);
        if (list && image && list->Class() == ClassId::ImList && image->Class() == ClassId::Image) {
            static_cast<elements::TKQImList*>(list)->AddItem(
                *static_cast<elements::TKQImage*>(image));
        }
        return true;
    };
    t["LISTDEL"] = [ctx](TPasCalc&, Params& p, TVar&) {
        TKQElement* list = ctx.ElementArg(p, 0);
        if (!list || list->Class() != ClassId::ImList || p.size() < 2) {
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
    };

    t["GETALPHA"] = PixelQuery(ctx, [](render::Color c) { return static_cast<int32_t>(c >> 24); });
    t["GETPIXEL"] =
        PixelQuery(ctx, [](render::Color c) { return static_cast<int32_t>(c & 0xFFFFFFu); });
}

} // namespace kq::script::library
