#include "scene/element.h"

#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "script/var_list.h"

#include <algorithm>
#include <cmath>
#include <spdlog/spdlog.h>

namespace kq::scene {

namespace {

// Deeper trees than this are refused while loading: real scenes nest a handful of levels, and
// a hostile file must not be able to exhaust the stack with nested children.
constexpr int kMaxTreeDepth = 256;

int DepthOf(const TKQElement* e) {
    int depth = 0;
    for (; e->Parent(); e = e->Parent()) {
        ++depth;
    }
    return depth;
}

} // namespace

int32_t RoundHalfEven(double v) {
    if (!std::isfinite(v)) {
        return 0;
    }
    double r = std::nearbyint(v); // default rounding mode: to nearest, ties to even
    if (r >= 2147483647.0) {
        return INT32_MAX;
    }
    if (r <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(r);
}

TKQElement::TKQElement(TKQElement* parent) {
    AutoInit = true;
    if (!parent) {
        return;
    }
    db_ = parent->db_;
    parent_ = parent;
    parent->children_.emplace_back(this);
    SetVis(true);
    MousedVis = true;
}

TKQElement::TKQElement(RootTag) {
    AutoInit = true;
} // the root then points DB at itself

TKQElement::~TKQElement() {
    // Children go first so that they can still reach the root while they are freed.
    children_.clear();
    // The root is no longer a TKQDB here; it forgets itself in its own destructor.
    if (db_ && static_cast<const void*>(db_) != static_cast<const void*>(this)) {
        db_->runtime_.Forget(this, handleSlot_);
    }
}

uint32_t TKQElement::Handle() {
    return Rt().handles.HandleOf(this, handleSlot_);
}

const TKQClass& TKQElement::ClassEntry() const {
    return Rt().classes.Of(Class());
}

std::string_view TKQElement::ClassName() const {
    return ClassEntry().className;
}

Runtime& TKQElement::Rt() const {
    return db_->runtime_;
}

// ---- Slots ----

void TKQElement::SetVis(bool b) {
    Vis = b;
}
void TKQElement::SetX(int32_t v) {
    rX = v;
}
void TKQElement::SetY(int32_t v) {
    rY = v;
}
void TKQElement::SetSizeX(int32_t) {}
void TKQElement::SetSizeY(int32_t) {}
int32_t TKQElement::GetSizeX() const {
    return 0;
}
int32_t TKQElement::GetSizeY() const {
    return 0;
}

int32_t TKQElement::GetAbsX() const {
    return parent_ ? X() + parent_->GetAbsX() : X();
}
int32_t TKQElement::GetAbsY() const {
    return parent_ ? Y() + parent_->GetAbsY() : Y();
}

TKQElement* TKQElement::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                  uint8_t threshold) {
    if (Vis && !MousedVis) {
        return nullptr;
    }
    if (!Vis && !MousedNotVis) {
        return nullptr;
    }
    if (layer < MinOrder || layer > MaxOrder) {
        return nullptr;
    }
    // The last child is drawn on top, so it is asked first.
    for (size_t i = children_.size(); i-- > 0;) {
        if (TKQElement* hit = children_[i]->ElementAt(layer, x - X(), y - Y(), margin, threshold)) {
            return hit;
        }
    }
    return nullptr;
}

void TKQElement::SetRealPos(int32_t x, int32_t y) {
    rX = x;
    rY = y;
}

namespace {

// The error of a failed blob read that began at byte at of the blob.
media::LoadError BlobError(const media::ByteReader& in, uint64_t base, size_t at,
                           std::string what) {
    media::LoadError error;
    error.problem =
        in.Truncated() ? media::LoadError::Problem::Truncated : media::LoadError::Problem::Corrupt;
    error.what = std::move(what);
    error.offset = base + at;
    return error;
}

} // namespace

media::LoadResult TKQElement::LoadProps(std::string_view blob, bool keepKeys) {
    return LoadTree(blob, 0, keepKeys);
}

media::LoadResult TKQElement::LoadTree(std::string_view blob, uint64_t base, bool keepKeys) {
    media::ByteReader in(blob);
    std::string_view className;
    if (!ReadBlobString(in, className)) { // the caller already chose the class
        return BlobError(in, base, 0, fmt::format("the class name of a {}", ClassName()));
    }
    if (media::LoadResult own = LoadOwnProps(in, base); !own) {
        return own;
    }
    if (media::LoadResult children = LoadChildren(in, base, keepKeys); !children) {
        return children;
    }
    if (!keepKeys) {
        AssignNewKey();
    }
    return {};
}

media::LoadResult TKQElement::LoadOwnProps(media::ByteReader& in, uint64_t base) {
    const size_t countAt = in.Offset();
    int32_t count = 0;
    if (!ReadBlobI32(in, count)) {
        return BlobError(in, base, countAt,
                         fmt::format("the property count of '{}' ({})", Id, ClassName()));
    }
    const auto& props = ClassEntry().props;
    const size_t n = count <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(count), props.size());
    for (size_t i = 0; i < n; ++i) {
        const TKQProp& prop = props[i];
        const size_t at = in.Offset();
        PropValue value;
        if (!ReadBlobValue(in, prop.kind, value)) {
            return BlobError(
                in, base, at,
                fmt::format("the value of {} of '{}' ({})", prop.name, Id, ClassName()));
        }
        if (!prop.set(*this, value)) {
            media::LoadError error;
            error.what =
                fmt::format("the value of {} of '{}' ({}) is refused", prop.name, Id, ClassName());
            error.offset = base + at;
            return error;
        }
    }
    return {};
}

media::LoadResult TKQElement::LoadChildren(media::ByteReader& in, uint64_t base, bool keepKeys) {
    const bool tooDeep = DepthOf(this) >= kMaxTreeDepth;
    size_t index = 0;
    while (in.Remaining() > 0) {
        const size_t recordAt = in.Offset();
        std::string_view childBlob;
        if (!ReadBlobString(in, childBlob)) {
            return BlobError(
                in, base, recordAt,
                fmt::format("the record of child {} of '{}' ({})", index, Id, ClassName()));
        }
        ++index;
        if (tooDeep) {
            spdlog::warn("scene: children below '{}' skipped: nesting deeper than {} levels", Id,
                         kMaxTreeDepth);
            continue;
        }
        media::ByteReader childIn(childBlob);
        std::string_view childClass;
        if (!ReadBlobString(childIn, childClass)) {
            continue;
        }
        TKQElement* child = Rt().classes.CreateChild(*this, childClass);
        if (!child) {
            continue; // unknown or disallowed class: skipped with its whole subtree
        }
        // The record is its 4-byte length, then the child's blob.
        const media::LoadResult loaded = child->LoadTree(childBlob, base + recordAt + 4, keepKeys);
        if (!loaded) {
            spdlog::warn("scene: a child of '{}' ({}) {}; it keeps what was read", Id, ClassName(),
                         loaded.Error().Where());
        }
    }
    return {};
}

void TKQElement::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    if (layer < MinOrder || layer > MaxOrder) {
        return;
    }
    for (size_t i = 0; i < children_.size(); ++i) {
        TKQElement* child = children_[i].get();
        if (child->Vis) {
            child->Render(layer, tint, offsetX + rX, offsetY + rY, false);
        }
    }
}

void TKQElement::Process() {
    if (!Vis && !MousedNotVis) {
        return;
    }
    RunScript(Script(ScriptSlot::Process), "Process");
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->Process();
    }
}

void TKQElement::Show() {
    RunScript(Script(ScriptSlot::Show), "Show");
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->Show();
    }
}

void TKQElement::MouseIn() {
    RunScript(Script(ScriptSlot::MouseIn), "ms_In");
    // The root's text runs after every element's own, still with this element as SELF.
    if (db_) {
        RunScript(db_->Script(ScriptSlot::MouseIn), "ms_In");
    }
}

void TKQElement::MouseOut() {
    RunScript(Script(ScriptSlot::MouseOut), "ms_Out");
    if (db_) {
        RunScript(db_->Script(ScriptSlot::MouseOut), "ms_Out");
    }
}

void TKQElement::MouseDown() {
    RunScript(Script(ScriptSlot::MouseDown), "ms_Down");
}
void TKQElement::MouseUp() {
    RunScript(Script(ScriptSlot::MouseUp), "ms_Up");
}
void TKQElement::MouseMove() {
    RunScript(Script(ScriptSlot::MouseMove), "ms_Move");
}
void TKQElement::Update() {
    RunScript(Script(ScriptSlot::Update), "Update");
}

void TKQElement::Init() {
    if (Initialized) {
        return;
    }
    Initialized = true;
    if (Class() == ClassId::Screen && !AutoInit) {
        return;
    }
    RunInitScript("Init");
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->Init();
    }
}

void TKQElement::InitPr() {
    RunInitScript("InitPr");
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->InitPr();
    }
}

void TKQElement::RunInitScript(std::string_view event) {
    ResetVars();
    RunScript(Script(ScriptSlot::Init), event, vars_.get());
}

void TKQElement::ResetVars() {
    vars_ = std::make_unique<script::TVarList>();
}

void TKQElement::Load() {
    RunScript(Script(ScriptSlot::AfterLoad), "Load");
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->Load();
    }
}

void TKQElement::LoadImages() {
    if (ImagesLoaded) {
        return;
    }
    ReassignImageProps();
    ImagesLoaded = true;
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->LoadImages();
    }
}

void TKQElement::FreeImages() {
    if (ImagesLoaded) {
        ReassignImageProps();
    }
    for (size_t i = 0; i < children_.size(); ++i) {
        children_[i]->FreeImages();
    }
}

void TKQElement::ReassignImageProps() {
    const TKQClass& entry = ClassEntry();
    for (int index : entry.imageProps) {
        const TKQProp& prop = entry.props[static_cast<size_t>(index)];
        prop.set(*this, prop.get(*this));
    }
}

// ---- Tree ----

void TKQElement::MoveChildToEnd(const TKQElement* child) {
    auto it = std::find_if(children_.begin(), children_.end(),
                           [child](const auto& c) { return c.get() == child; });
    if (it != children_.end()) {
        std::rotate(it, it + 1, children_.end());
    }
}

int TKQElement::IndexOfChild(const TKQElement* child) const {
    for (size_t i = 0; i < children_.size(); ++i) {
        if (children_[i].get() == child) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TKQElement::Destroy() {
    if (!parent_) {
        return;
    }
    auto& siblings = parent_->children_;
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [this](const auto& p) { return p.get() == this; });
    if (it != siblings.end()) {
        siblings.erase(it); // frees this element: nothing may touch it afterwards
    }
}

void TKQElement::DestroyChildren() {
    children_.clear();
}

void TKQElement::AssignNewKey() {
    if (!db_) {
        return;
    }
    db_->CurKey += 1;
    Key = db_->CurKey;
}

TKQElement* TKQElement::FindByKey(int32_t key) {
    if (Key == key) {
        return this;
    }
    for (auto& child : children_) {
        if (TKQElement* found = child->FindByKey(key)) {
            return found;
        }
    }
    return nullptr;
}

TKQElement* TKQElement::FindByKey(int32_t key, TKQElement*& nextGuess) {
    nextGuess = nullptr;
    TKQElement* found = FindByKey(key);
    if (!found) {
        return nullptr;
    }
    for (const TKQElement* e = found; e->parent_; e = e->parent_) {
        const auto& siblings = e->parent_->children_;
        int index = e->parent_->IndexOfChild(e);
        if (index >= 0 && static_cast<size_t>(index) + 1 < siblings.size()) {
            nextGuess = siblings[static_cast<size_t>(index) + 1].get();
            break;
        }
    }
    return found;
}

void TKQElement::ResetImagesLoaded() {
    ImagesLoaded = false;
    for (auto& child : children_) {
        child->ResetImagesLoaded();
    }
}

void TKQElement::SetAbsX(int32_t v) {
    SetX(parent_ ? v - parent_->GetAbsX() : v);
}
void TKQElement::SetAbsY(int32_t v) {
    SetY(parent_ ? v - parent_->GetAbsY() : v);
}

void TKQElement::SetOrder(int32_t v) {
    Order = v;
    MaxOrder = std::max(MaxOrder, v);
    MinOrder = std::min(MinOrder, v);
    for (TKQElement* child = this; child->parent_; child = child->parent_) {
        if (!child->parent_->WidenOrderRange(child->MinOrder, child->MaxOrder)) {
            break;
        }
    }
}

bool TKQElement::WidenOrderRange(int32_t lo, int32_t hi) {
    const int32_t oldMin = MinOrder;
    const int32_t oldMax = MaxOrder;
    MinOrder = std::min(MinOrder, lo);
    MaxOrder = std::max(MaxOrder, hi);
    return MinOrder != oldMin || MaxOrder != oldMax;
}

// ---- Scripts ----

void TKQElement::SetScript(ScriptSlot slot, std::string text) {
    PrepareScript(scripts_[static_cast<size_t>(slot)], std::move(text));
}

void TKQElement::PrepareScript(ScriptText& target, std::string text) {
    target.text = std::move(text);
    ScriptHost* host = db_ ? db_->runtime_.scripts : nullptr;
    target.prepared =
        host && !target.text.empty() ? host->Prepare(target.text) : script::PreparedScript{};
}

void TKQElement::RunScript(const ScriptText& script, std::string_view event,
                           script::TVarList* vars) {
    ScriptHost* host = db_ ? db_->runtime_.scripts : nullptr;
    if (!host || script.Empty()) {
        return;
    }
    host->RunScript(*this, script, event, vars);
}

} // namespace kq::scene
