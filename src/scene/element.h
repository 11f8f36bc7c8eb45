// TKQElement: the base of every object of a scene (screens, images, animations, shapes,
// texts, effects and the root database).
//
// An element has a position relative to its parent, visibility, a layer (Order), identity
// (Id, Key), twelve script texts run on events and an ordered list of children, which it owns.
// The 28 virtual operations below, in slot order, are how the main loop, the mouse code, the
// loader and the interpreter drive the tree. Traversals that descend (Process, Show, Init,
// InitPr, Load, LoadImages, FreeImages, Render, ElementAt) visit children in child order; mouse
// events and Update concern one element only.
#pragma once

#include "media/load_error.h"
#include "scene/prop.h"
#include "scene/script_host.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kq::media {
class ByteReader;
}

namespace kq::script {
class Value;
}

namespace kq::scene {

class TKQDB;
struct TKQClass;
struct Runtime;

// Registry order of the element classes; also the index of each class's registry entry.
enum class ClassId : uint8_t {
    DB,
    Screen,
    Image,
    ExScreen,
    Anim,
    AnKey,
    ExAnim,
    Effect,
    ImList,
    Shape,
    Text,
    ShapeEff,
};
inline constexpr int kClassCount = 12;

// The twelve script texts every element declares, in declaration order.
enum class ScriptSlot : uint8_t {
    MouseMove,
    Init,
    MouseUp,
    VarRS,
    MouseOut,
    MouseIn,
    AfterLoad,
    MouseDown,
    Update,
    Process,
    Show,
    Render,
};
inline constexpr int kScriptSlotCount = 12;

// Rounds to the nearest integer, halves to even (how X reads rX).
int32_t RoundHalfEven(double v);

class TKQElement {
public:
    // Create: appended to the end of parent's children (which own it), SetVis(true) through
    // the slot and MousedVis := true. Without a parent only AutoInit is set.
    explicit TKQElement(TKQElement* parent);
    virtual ~TKQElement();
    TKQElement(const TKQElement&) = delete;
    TKQElement& operator=(const TKQElement&) = delete;

    virtual ClassId Class() const = 0;
    const TKQClass& ClassEntry() const;
    std::string_view ClassName() const;

    // ---- The 28 slots, in slot order ----
    virtual void SetVis(bool b);      // 0
    virtual void SetX(int32_t v);     // 1
    virtual void SetY(int32_t v);     // 2
    virtual void SetSizeX(int32_t v); // 3
    virtual void SetSizeY(int32_t v); // 4
    virtual int32_t GetSizeX() const; // 5
    virtual int32_t GetSizeY() const; // 6
    virtual int32_t GetAbsX() const;  // 7
    virtual int32_t GetAbsY() const;  // 8
    virtual TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                  uint8_t threshold); // 9
    virtual void SetRealPos(int32_t x, int32_t y);    // 10
    // Fills the element and its subtree from a serialized element. Fails (with where and why)
    // when reading this element stopped early; what was read stays. A child whose own record
    // is damaged is logged and loading goes on.
    virtual media::LoadResult LoadProps(std::string_view blob, bool keepKeys); // 11
    virtual void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY,
                        bool flag); // 12
    virtual void Process();         // 13
    virtual void Show();            // 14
    virtual void MouseIn();         // 15
    virtual void MouseOut();        // 16
    virtual void MouseDown();       // 17
    virtual void MouseUp();         // 18
    virtual void MouseMove();       // 19
    virtual void Update();          // 20
    virtual void Init();            // 21
    virtual void InitPr();          // 22
    virtual void Load();            // 23
    virtual void LoadImages();      // 24
    virtual void FreeImages();      // 25
    // Reads a script-visible value by name (names arrive in upper case): the element's Vars,
    // a published property, a child by Id, then the computed names. False when not understood.
    virtual bool GetProp(std::string_view name, script::Value& out); // 26
    // Writes a script-visible value by name; false when the name is not understood.
    virtual bool SetProp(std::string_view name, const script::Value& value); // 27
    // True when SetProp refuses the value for a name it knows: a published float property given
    // something that does not read as a number. The script reports that as an error.
    bool RefusesValue(std::string_view name, const script::Value& value);

    // ---- Tree ----
    TKQElement* Parent() const { return parent_; }
    TKQDB* DB() const { return db_; }
    Runtime& Rt() const;
    const std::vector<std::unique_ptr<TKQElement>>& Children() const { return children_; }
    size_t ChildCount() const { return children_.size(); }
    TKQElement* Child(size_t i) const { return children_[i].get(); }
    int IndexOfChild(const TKQElement* child) const;
    // Moves a child to the end of the children (drawn last on its layer, hit first);
    // nothing when it is not a child of this element.
    void MoveChildToEnd(const TKQElement* child);

    // Destroy: removes the element from its parent's children (later children move down one
    // place) and frees it with its subtree. Never call on the root.
    void Destroy();
    // Frees every child (and their subtrees).
    void DestroyChildren();

    void AssignNewKey();
    // Depth-first search of the subtree in child order, the element itself first.
    TKQElement* FindByKey(int32_t key);
    // The same, also giving the element that most likely holds the next saved-state record:
    // the following sibling of the found element, else that of its parent, and so on upwards.
    TKQElement* FindByKey(int32_t key, TKQElement*& nextGuess);
    void ResetImagesLoaded();
    // The screen this element shows in its place (a placeholder's), or null: a walk over the
    // layers of a screen must reach the layers used only inside the screens shown in it.
    virtual TKQElement* ShownInPlace() { return nullptr; }

    void SetAbsX(int32_t v);
    void SetAbsY(int32_t v);
    // X and Y: rX and rY rounded half to even.
    int32_t X() const { return RoundHalfEven(rX); }
    int32_t Y() const { return RoundHalfEven(rY); }

    // Setter of Order: widens MinOrder/MaxOrder here and up the parent chain, stopping at the
    // first ancestor that did not change. Bounds never narrow.
    void SetOrder(int32_t v);

    // Setter of an ex* text: stores the text and its prepared form.
    void SetScript(ScriptSlot slot, std::string text);
    const ScriptText& Script(ScriptSlot slot) const { return scripts_[static_cast<size_t>(slot)]; }
    // Stores a text and its prepared form (the ex* setters of subclasses use it too).
    void PrepareScript(ScriptText& target, std::string text);
    // Runs a stored text with this element as SELF; nothing without a script host.
    void RunScript(const ScriptText& script, std::string_view event,
                   script::TVarList* vars = nullptr);

    script::TVarList* Vars() const { return vars_.get(); }

    // The element's script handle (never 0 while the element lives; dead once it is freed).
    uint32_t Handle();

    // Every registered property whose name begins with "IM" or is "FONT" is assigned its own
    // value, so that its setter acquires (or releases) the image or font.
    void ReassignImageProps();

    // ---- Fields (names as the game format has them) ----
    bool ImagesLoaded = false;
    bool MousedNotVis = false;
    bool MousedVis = false;
    bool NoMsKQDB = false;
    int32_t Order = 0;
    bool MsKeep = false;
    bool NotSave = false;
    bool AutoInit = true;
    bool Initialized = false;
    int32_t MaxOrder = 0;
    int32_t MinOrder = 0;
    bool KeepLoaded = false;
    std::string Id;
    std::string Tag;
    int32_t Key = 0;
    double rX = 0;
    double rY = 0;
    bool Vis = false;

protected:
    // For the root only: an element without parent whose DB is itself.
    struct RootTag {};
    explicit TKQElement(RootTag);
    // Makes a fresh Vars list, runs exInit into it under the event name.
    void RunInitScript(std::string_view event);

    // LoadProps for a blob that starts at byte base of the file, so that errors name offsets
    // in the file. Children are read through it, so a class that must know it is being read
    // from a scene (and not assigned later) overrides this.
    virtual media::LoadResult LoadTree(std::string_view blob, uint64_t base, bool keepKeys);
    // Reads the class's property values from a blob (after the class name) and assigns them;
    // fails on a short blob or a failing setter.
    media::LoadResult LoadOwnProps(media::ByteReader& in, uint64_t base);
    // Reads the children that follow; each child's failure ends only that child. Fails when a
    // child's record itself is cut short.
    media::LoadResult LoadChildren(media::ByteReader& in, uint64_t base, bool keepKeys);

private:
    friend class TKQDB;
    // Widens MinOrder/MaxOrder to include [lo, hi]; true when either bound changed.
    bool WidenOrderRange(int32_t lo, int32_t hi);
    void ResetVars();

    TKQElement* parent_ = nullptr;
    TKQDB* db_ = nullptr;
    std::vector<std::unique_ptr<TKQElement>> children_;
    ScriptText scripts_[kScriptSlotCount];
    std::unique_ptr<script::TVarList> vars_;
    int32_t handleSlot_ = -1;
};

} // namespace kq::scene
