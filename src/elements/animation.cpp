#include "elements/animation.h"

#include "render/image_service.h"
#include "scene/db.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"
#include "script/value.h"

#include <algorithm>
#include <charconv>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

namespace {

// Pos after a write of v for an animation of frameCount frames.
int32_t WrappedPos(int32_t v, int32_t frameCount, bool rep) {
    if (v >= frameCount) {
        return rep ? 0 : frameCount - 1;
    }
    return v;
}

// Sets a flag for the lifetime of the guard.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = was_; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
    bool was_;
};

} // namespace

// ---- TKQAnim ----

const std::string& TKQAnim::GetImBack() const {
    return back_.Name();
}

void TKQAnim::SetImBack(std::string name) {
    back_.Set(std::move(name), DB() ? Rt().images : nullptr, SizeX, SizeY);
}

void TKQAnim::SetPos(int32_t v) {
    Pos = readingProps_ ? v : WrappedPos(v, FrameCount(), Rep);
}

void TKQAnim::SetMorph(bool v) {
    Morph = v;
    Rebuild();
}

media::LoadResult TKQAnim::LoadTree(std::string_view blob, uint64_t base, bool keepKeys) {
    FlagGuard reading(readingProps_);
    return TKQElement::LoadTree(blob, base, keepKeys);
}

void TKQAnim::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    if (ShowAn) {
        if (layer == Order) {
            DrawFrame(Pos, tint, offsetX + rX, offsetY + rY);
        }
        return;
    }
    // The editing view: the background, then the keys themselves, the first key on top.
    if (layer == Order && DB()) {
        back_.Draw(Rt().canvas, Rt().images, offsetX, offsetY, tint, hxDrawFx);
    }
    for (size_t i = ChildCount(); i-- > 0;) {
        TKQElement* key = Child(i);
        if (key->Vis) {
            key->Render(layer, tint, offsetX + rX, offsetY + rY, flag);
        }
    }
}

void TKQAnim::Process() {
    if (!Vis) {
        return;
    }
    if (Active) {
        if (Pos < FrameCount() - 1 || Rep) {
            SetPos(Pos + 1);
            RunScript(exAnim, "anAnim");
        } else {
            Active = false;
            RunScript(exStop, "anStop");
        }
    }
    TKQElement::Process();
}

void TKQAnim::Update() {
    TKQElement::Update();
    Rebuild();
}

void TKQAnim::Init() {
    if (Initialized) {
        return;
    }
    Rebuild();
    TKQElement::Init();
}

void TKQAnim::InitPr() {
    Rebuild();
    TKQElement::InitPr();
}

void TKQAnim::LoadImages() {
    if (ImagesLoaded) {
        return;
    }
    TKQElement::LoadImages();
    Rebuild();
}

void TKQAnim::FreeImages() {
    TKQElement::FreeImages();
    Rebuild();
}

bool TKQAnim::GetProp(std::string_view name, script::Value& out) {
    if (TKQElement::GetProp(name, out)) {
        return true;
    }
    enum class What { X, Y, Angle, Scale, Pattern, Count };
    What what;
    size_t index = 1; // 1-based record number
    if (name == "KEYX") {
        what = What::X;
    } else if (name == "KEYY") {
        what = What::Y;
    } else if (name == "KEYANG") {
        what = What::Angle;
    } else if (name == "KEYSCALE") {
        what = What::Scale;
    } else if (name == "KEYAN") {
        what = What::Pattern;
    } else if (name == "COUNT") {
        what = What::Count;
    } else if ((name.starts_with("KEYX[") || name.starts_with("KEYY[")) && name.size() > 6 &&
               name.back() == ']') {
        // The number sits between the five-character prefix and the last character.
        const std::string_view digits = name.substr(5, name.size() - 6);
        int64_t n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || end != digits.data() + digits.size()) {
            return false;
        }
        what = name[3] == 'X' ? What::X : What::Y;
        index = n < 1 ? 0 : static_cast<size_t>(std::min<int64_t>(n, INT32_MAX));
    } else {
        return false;
    }
    size_t count = 0;
    const TKQAnKeyIm* records = FrameRecords(Pos, count);
    if (index == 0 || count < index) {
        out = script::Value::Byte(0);
        return true;
    }
    const TKQAnKeyIm& r = records[index - 1];
    switch (what) {
    case What::X:
        out = script::Value::Double(GetAbsX() + r.x);
        break;
    case What::Y:
        out = script::Value::Double(GetAbsY() + r.y);
        break;
    case What::Angle:
        out = script::Value::Double(r.angle);
        break;
    case What::Scale:
        out = script::Value::Double(r.scale);
        break;
    case What::Pattern:
        out = script::Value::Int(r.pattern);
        break;
    case What::Count:
        out = script::Value::Int(FrameCount());
        break;
    }
    return true;
}

// ---- TKQAnKey ----

TKQAnKey::TKQAnKey(TKQElement* parent) : TKQElement(parent) {}

void TKQAnKey::RebuildParent() {
    if (Parent() && Parent()->Class() == ClassId::Anim) {
        static_cast<TKQAnim*>(Parent())->Rebuild();
    }
}

void TKQAnKey::SetCount(uint16_t v) {
    Count = v;
    RebuildParent();
}

media::LoadResult TKQAnKey::LoadTree(std::string_view blob, uint64_t base, bool keepKeys) {
    media::LoadResult loaded = TKQElement::LoadTree(blob, base, keepKeys);
    RebuildParent();
    return loaded;
}

// ---- TKQExAnim ----

TKQExAnim::TKQExAnim(TKQElement* parent) : TKQElement(parent) {}

TKQAnim* TKQExAnim::Shown() const {
    if (!DB()) {
        return nullptr;
    }
    if (shownHandle_ != 0) {
        if (TKQElement* held = Rt().handles.Resolve(shownHandle_)) {
            return static_cast<TKQAnim*>(held);
        }
        shownHandle_ = 0; // the animation was freed: look again
    }
    for (const auto& child : DB()->Children()) {
        if (child->Key == obAnim && child->Class() == ClassId::Anim) {
            shownHandle_ = child->Handle();
            return static_cast<TKQAnim*>(child.get());
        }
    }
    return nullptr;
}

void TKQExAnim::SetPos(int32_t v) {
    if (readingProps_) {
        Pos = v;
        return;
    }
    const TKQAnim* shown = Shown();
    Pos = WrappedPos(v, shown ? shown->FrameCount() : 0, Rep);
}

media::LoadResult TKQExAnim::LoadTree(std::string_view blob, uint64_t base, bool keepKeys) {
    FlagGuard reading(readingProps_);
    return TKQElement::LoadTree(blob, base, keepKeys);
}

int32_t TKQExAnim::GetSizeX() const {
    const TKQAnim* shown = Shown();
    return shown ? shown->GetSizeX() : 0;
}

int32_t TKQExAnim::GetSizeY() const {
    const TKQAnim* shown = Shown();
    return shown ? shown->GetSizeY() : 0;
}

int32_t TKQExAnim::AnchorLeft() const {
    return Anchored(X(), GetSizeX(), static_cast<int>(PosHor));
}

int32_t TKQExAnim::AnchorTop() const {
    return Anchored(Y(), GetSizeY(), static_cast<int>(PosVert));
}

int32_t TKQExAnim::GetAbsX() const {
    return Clamp32(int64_t{AnchorLeft()} + (Parent() ? Parent()->GetAbsX() : 0));
}

int32_t TKQExAnim::GetAbsY() const {
    return Clamp32(int64_t{AnchorTop()} + (Parent() ? Parent()->GetAbsY() : 0));
}

void TKQExAnim::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    TKQAnim* shown = Shown();
    if (!shown || layer != Order) {
        return; // the placeholder's own children are not drawn
    }
    shown->DrawFrame(Pos, tint, offsetX + AnchorLeft(), offsetY + AnchorTop());
}

void TKQExAnim::Process() {
    Shown();
    if (Active && Pos >= 0) {
        SetPos(Pos + 1);
    }
    TKQElement::Process();
}

std::vector<TKQProp> AnimProps() {
    using A = TKQAnim;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("ImBack", &GetVia<&A::GetImBack>, &SetVia<&A::SetImBack>),
        Int("SizeX", PropType::SLong, &GetVia<&A::GetSizeX>, &SetVia<&A::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&A::GetSizeY>, &SetVia<&A::SetSizeY>),
        Int("hxDrawFx", PropType::ULong, &GetField<&A::hxDrawFx>, &SetField<&A::hxDrawFx>),
        Int("Agro", PropType::SLong, &GetField<&A::Agro>, &SetField<&A::Agro>),
        Bool("Modal", &GetField<&A::Modal>, &SetField<&A::Modal>),
        Int("Pos", PropType::SLong, &GetVia<&A::GetPos>, &SetVia<&A::SetPos>),
        Bool("Morph", &GetVia<&A::GetMorph>, &SetVia<&A::SetMorph>),
        Bool("Rep", &GetField<&A::Rep>, &SetField<&A::Rep>),
        Bool("ShowAn", &GetField<&A::ShowAn>, &SetField<&A::ShowAn>),
        Bool("Active", &GetField<&A::Active>, &SetField<&A::Active>),
        Script<&A::exStop>("exStop"),
        Script<&A::exStart>("exStart"),
        Script<&A::exAnim>("exAnim"),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        OrderProp(),
        Float("Angle", PropType::Extended, &GetField<&A::Angle>, &SetField<&A::Angle>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        Bool("Interpol", &GetField<&A::Interpol>, &SetField<&A::Interpol>),
        TagProp(),
        NotSaveProp(),
        BaseScript<ScriptSlot::Process>("exProcess"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> AnKeyProps() {
    using K = TKQAnKey;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Int("Count", PropType::UWord, &GetVia<&K::GetCount>, &SetVia<&K::SetCount>),
        Bool("Morph", &GetField<&K::Morph>, &SetField<&K::Morph>),
        NotSaveProp(),
        TagProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

std::vector<TKQProp> ExAnimProps() {
    using E = TKQExAnim;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Enum("PosHor", kPosHorNames, &GetField<&E::PosHor>, &SetField<&E::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&E::PosVert>, &SetField<&E::PosVert>),
        Int("obAnim", PropType::SLong, &GetVia<&E::GetObAnim>, &SetVia<&E::SetObAnim>),
        Int("Pos", PropType::SLong, &GetVia<&E::GetPos>, &SetVia<&E::SetPos>),
        Bool("Rep", &GetField<&E::Rep>, &SetField<&E::Rep>),
        Bool("Active", &GetField<&E::Active>, &SetField<&E::Active>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
