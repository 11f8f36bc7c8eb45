#include "elements/screen.h"

#include "render/canvas.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"

#include <algorithm>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

// ---- TKQScreen ----

TKQScreen::TKQScreen(TKQElement* parent) : TKQElement(parent) {
    hxDrawFx = 1;
    MousedNotVis = true; // a screen takes the mouse and runs Process even while hidden
}

const std::string& TKQScreen::GetImBack() const {
    return back_.Name();
}

void TKQScreen::SetImBack(std::string name) {
    back_.Set(std::move(name), DB() ? Rt().images : nullptr, SizeX, SizeY);
}

void TKQScreen::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    if (layer == Order) {
        // The background ignores the screen's own position: it fills the page.
        back_.Draw(Rt().canvas, Rt().images, offsetX, offsetY, tint, hxDrawFx);
        RunScript(Script(ScriptSlot::Render), "Render");
    }
    TKQElement::Render(layer, tint, offsetX, offsetY, flag);
}

TKQElement* TKQScreen::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t, uint8_t threshold) {
    if (TKQElement* hit = TKQElement::ElementAt(layer, x, y, Agro, threshold)) {
        return hit;
    }
    if (layer == Order && (Vis || MousedNotVis) && Modal) {
        return this;
    }
    return nullptr;
}

// ---- TKQExScreen ----

class TKQExScreen::Forwarding {
public:
    explicit Forwarding(TKQExScreen& owner) : owner_(owner), entered_(!owner.forwarding_) {
        owner_.forwarding_ = true;
    }
    ~Forwarding() {
        if (entered_) {
            owner_.forwarding_ = false;
        }
    }
    Forwarding(const Forwarding&) = delete;
    Forwarding& operator=(const Forwarding&) = delete;
    // The shown screen, unless this placeholder is already forwarding further up the stack.
    TKQScreen* Target() { return entered_ ? owner_.Shown() : nullptr; }

private:
    TKQExScreen& owner_;
    bool entered_;
};

TKQExScreen::TKQExScreen(TKQElement* parent) : TKQElement(parent) {
    Processing = true;
}

TKQScreen* TKQExScreen::Shown() {
    if (!DB()) {
        return nullptr;
    }
    if (shownHandle_ != 0) {
        if (TKQElement* held = Rt().handles.Resolve(shownHandle_)) {
            return static_cast<TKQScreen*>(held);
        }
        shownHandle_ = 0; // the screen was freed: look again
    }
    TKQScreen* found = nullptr;
    for (const auto& child : DB()->Children()) {
        if (child->Key == obScreen && child->Class() == ClassId::Screen) {
            found = static_cast<TKQScreen*>(child.get());
            break;
        }
    }
    if (!found) {
        return nullptr;
    }
    shownHandle_ = found->Handle();
    // Layers of the shown screen are drawn and hit-tested through this element, so its range
    // (and its ancestors') must cover them; its own Order stays what it was.
    const int32_t own = Order;
    SetOrder(found->MinOrder);
    SetOrder(found->MaxOrder);
    Order = own;
    return found;
}

int32_t TKQExScreen::AnchorLeft() {
    TKQScreen* shown = Shown();
    return Anchored(X(), shown ? shown->GetSizeX() : 0, static_cast<int>(PosHor));
}

int32_t TKQExScreen::AnchorTop() {
    TKQScreen* shown = Shown();
    return Anchored(Y(), shown ? shown->GetSizeY() : 0, static_cast<int>(PosVert));
}

void TKQExScreen::SetVis(bool b) {
    if (b == Vis) {
        return;
    }
    TKQElement::SetVis(b);
    if (Shown() && Vis) {
        Show(); // finds the screen again and shows it with this placeholder
        if (TKQScreen* shown = Shown()) {
            shown->Show();
        }
    }
}

// The lookup is cached state, not part of the element's value: sizes and positions may
// resolve it from const queries.
int32_t TKQExScreen::GetSizeX() const {
    TKQScreen* shown = const_cast<TKQExScreen*>(this)->Shown();
    return shown ? shown->GetSizeX() : 0;
}

int32_t TKQExScreen::GetSizeY() const {
    TKQScreen* shown = const_cast<TKQExScreen*>(this)->Shown();
    return shown ? shown->GetSizeY() : 0;
}

int32_t TKQExScreen::GetAbsX() const {
    const int32_t left = const_cast<TKQExScreen*>(this)->AnchorLeft();
    return Parent() ? Clamp32(int64_t{left} + Parent()->GetAbsX()) : left;
}

int32_t TKQExScreen::GetAbsY() const {
    const int32_t top = const_cast<TKQExScreen*>(this)->AnchorTop();
    return Parent() ? Clamp32(int64_t{top} + Parent()->GetAbsY()) : top;
}

TKQElement* TKQExScreen::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                   uint8_t threshold) {
    if (!Vis && !MousedNotVis) {
        return nullptr;
    }
    Forwarding guard(*this);
    TKQElement* hit = nullptr;
    if (TKQScreen* shown = guard.Target()) {
        hit = shown->ElementAt(layer, x - AnchorLeft(), y - AnchorTop(), margin, threshold);
    }
    if (!hit && layer == Order && Modal) {
        return this;
    }
    return hit; // the placeholder's own children are drawn but never hit
}

void TKQExScreen::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    {
        Forwarding guard(*this);
        if (TKQScreen* shown = guard.Target()) {
            shown->Render(layer, tint, offsetX + AnchorLeft(), offsetY + AnchorTop(), false);
        }
    }
    TKQElement::Render(layer, tint, offsetX, offsetY, flag);
}

void TKQExScreen::Process() {
    if (!Vis && !MousedNotVis) {
        return;
    }
    {
        Forwarding guard(*this);
        TKQScreen* shown = guard.Target();
        if (shown && Processing) {
            shown->Process();
        }
    }
    TKQElement::Process();
}

void TKQExScreen::Show() {
    shownHandle_ = 0;
    {
        Forwarding guard(*this);
        if (TKQScreen* shown = guard.Target()) {
            shown->Show();
        }
    }
    TKQElement::Show();
}

void TKQExScreen::Update() {
    {
        Forwarding guard(*this);
        if (TKQScreen* shown = guard.Target()) {
            shown->Update();
        }
    }
    TKQElement::Update();
}

void TKQExScreen::Init() {
    if (Initialized) {
        return;
    }
    {
        Forwarding guard(*this);
        if (TKQScreen* shown = guard.Target()) {
            shown->Init();
        }
    }
    TKQElement::Init();
}

void TKQExScreen::InitPr() {
    {
        Forwarding guard(*this);
        if (TKQScreen* shown = guard.Target()) {
            shown->InitPr();
        }
    }
    TKQElement::InitPr();
}

void TKQExScreen::LoadImages() {
    if (ImagesLoaded) {
        return;
    }
    TKQElement::LoadImages();
    Forwarding guard(*this);
    if (TKQScreen* shown = guard.Target()) {
        shown->LoadImages();
    }
}

void TKQExScreen::FreeImages() {
    TKQElement::FreeImages();
    Forwarding guard(*this);
    if (TKQScreen* shown = guard.Target()) {
        shown->FreeImages();
    }
}

std::vector<TKQProp> ScreenProps() {
    using S = TKQScreen;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("ImBack", &GetVia<&S::GetImBack>, &SetVia<&S::SetImBack>),
        Int("SizeX", PropType::SLong, &GetVia<&S::GetSizeX>, &SetVia<&S::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&S::GetSizeY>, &SetVia<&S::SetSizeY>),
        Int("hxDrawFx", PropType::ULong, &GetField<&S::hxDrawFx>, &SetField<&S::hxDrawFx>),
        Int("Agro", PropType::SLong, &GetField<&S::Agro>, &SetField<&S::Agro>),
        Bool("Modal", &GetField<&S::Modal>, &SetField<&S::Modal>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        BaseScript<ScriptSlot::Show>("exShow"),
        TagProp(),
        Bool("AllwaysLoad", &GetField<&S::AllwaysLoad>, &SetField<&S::AllwaysLoad>),
        NotSaveProp(),
        BaseScript<ScriptSlot::Render>("exRender"),
        AutoInitProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> ExScreenProps() {
    using S = TKQExScreen;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Enum("PosHor", kPosHorNames, &GetField<&S::PosHor>, &SetField<&S::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&S::PosVert>, &SetField<&S::PosVert>),
        Int("obScreen", PropType::SLong, &GetVia<&S::GetObScreen>, &SetVia<&S::SetObScreen>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
        BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
        BaseScript<ScriptSlot::MouseMove>("exMouseMove"),
        BaseScript<ScriptSlot::MouseDown>("exMouseDown"),
        BaseScript<ScriptSlot::MouseUp>("exMouseUp"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        Bool("Modal", &GetField<&S::Modal>, &SetField<&S::Modal>),
        BaseScript<ScriptSlot::Show>("exShow"),
        TagProp(),
        NotSaveProp(),
        Bool("Processing", &GetField<&S::Processing>, &SetField<&S::Processing>),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
