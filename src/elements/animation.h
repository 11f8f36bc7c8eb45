// Keyframe animation: TKQAnim (a top-level animation made of keys), TKQAnKey (one key holding
// the images of that key) and TKQExAnim (a placeholder that plays a top-level animation).
//
// An animation turns its keys into a table of frames once (the rebuild) and then only steps
// through that table: each frame is a list of records, one per picture to draw, with centre,
// scale, angle, colour and blend already worked out. Images with the same Id in consecutive
// keys move between the keys, linearly or along a cubic spline through every key; an image
// that changes picture under a key's Morph cross-fades into the new one.
//
// The table is flat: every key's frames hold the same number of records, so a key's records
// lie in one block of the record array, frame after frame. Record names point into a pool of
// strings built once per rebuild, so a rebuild allocates nothing per record.
#pragma once

#include "elements/anchors.h"
#include "elements/background.h"
#include "scene/element.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kq::render {
struct TKQIm;
}

namespace kq::elements {

class TKQImage;
class TKQAnKey;

// One picture in one frame.
struct TKQAnKeyIm {
    int32_t keyMark = 0;  // index i of the key; -(i + 1) on the key's first frame
    int32_t step = 0;     // step within the key, 0..Count
    uint32_t idName = 0;  // Id of the image (index into the animation's name pool)
    uint32_t picName = 0; // imImage of the image (index into the name pool)
    render::TKQIm* entry = nullptr;
    int32_t pattern = 0;
    double x = 0; // centre, relative to the animation's top-left
    double y = 0;
    double scale = 1;
    double angle = 0; // degrees
    double scaleX = 1;
    double scaleY = 1;
    uint32_t color = 0xFFFFFFFFu;
    uint32_t blend = 0x504;
};

class TKQAnim : public scene::TKQElement {
public:
    explicit TKQAnim(scene::TKQElement* parent);
    ~TKQAnim() override;
    scene::ClassId Class() const override { return scene::ClassId::Anim; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // Background picture, as a screen's: writing requests the entry (not kept) and a picture
    // that is there at once sets SizeX/SizeY to its frame size.
    const std::string& GetImBack() const;
    void SetImBack(std::string name);

    int32_t GetPos() const { return Pos; }
    // Pos := v; at or past the frame count it wraps to 0 with Rep, else stops on the last
    // frame. While the element's own properties are read from a blob the value is kept as
    // written: the frames are not built yet.
    void SetPos(int32_t v);
    // Pos as a scene file holds it, before the frames exist (scene builders).
    void SetAuthoredPos(int32_t v) { Pos = v; }
    bool GetMorph() const { return Morph; }
    void SetMorph(bool v);

    // ---- Frames ----
    // Builds the frame table from the keys (nothing while the database loads properties).
    void Rebuild();
    int32_t FrameCount() const { return static_cast<int32_t>(frames_.size()); }
    // The records of frame f; empty outside [0, FrameCount()).
    const TKQAnKeyIm* FrameRecords(int32_t f, size_t& count) const;
    std::string_view RecordId(const TKQAnKeyIm& r) const { return names_[r.idName]; }
    std::string_view RecordPicture(const TKQAnKeyIm& r) const { return names_[r.picName]; }
    // Draws frame f with the animation's top-left at (ox, oy): background, then every record.
    void DrawFrame(int32_t f, uint32_t tint, double ox, double oy);

    scene::TKQElement* ElementAt(int32_t, int32_t, int32_t, int32_t, uint8_t) override {
        return nullptr; // an animation never takes the mouse
    }
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void Process() override;
    void Update() override;
    void Init() override;
    void InitPr() override;
    void LoadImages() override;
    void FreeImages() override;
    media::LoadResult LoadTree(std::string_view blob, uint64_t base, bool keepKeys) override;
    // Adds "KEYX", "KEYY", "KEYANG", "KEYSCALE", "KEYAN", "KEYX[n]", "KEYY[n]" and "COUNT"
    // after the base names.
    bool GetProp(std::string_view name, script::Value& out) override;

    int32_t SizeX = 0;
    int32_t SizeY = 0;
    uint32_t hxDrawFx = 1;
    int32_t Agro = 0;
    bool Modal = false;
    int32_t Pos = 0;
    bool Morph = false;
    bool Rep = false;
    bool ShowAn = false;
    bool Active = false;
    scene::ScriptText exStop;
    scene::ScriptText exStart;
    scene::ScriptText exAnim;
    double Angle = 0;
    bool Interpol = false;

private:
    struct FrameSpan {
        uint32_t first = 0; // index of the frame's first record
        uint32_t count = 0;
    };
    struct SplineSet;
    // One image of the key being built, with its partner in the next key.
    struct KeyImage {
        const TKQImage* image = nullptr;
        const TKQImage* match = nullptr;
        const SplineSet* splines = nullptr;
        uint32_t idName = 0;
        uint32_t picName = 0;
        uint32_t matchIdName = 0;
        uint32_t matchPicName = 0;
        bool crossFade = false; // a second record for the match follows the image's own
    };

    void BuildSplines();
    const SplineSet* SplinesFor(std::string_view id) const;
    void BuildKey(const TKQAnKey& key, int32_t keyIndex, const TKQAnKey* next, bool keyMorph);
    void FillRecords(const KeyImage& ki, const TKQAnKey& key, int32_t keyIndex, uint32_t base,
                     uint32_t stride, uint32_t slot);
    uint32_t PoolName(std::string_view name);

    BackgroundPicture back_;
    std::vector<FrameSpan> frames_;
    std::vector<TKQAnKeyIm> records_;
    std::vector<std::string> names_;
    std::vector<SplineSet> splines_;
    std::vector<KeyImage> keyImages_; // scratch of BuildKey, kept for its capacity
    bool readingProps_ = false;
    bool warnedTooLarge_ = false;
};

class TKQAnKey : public scene::TKQElement {
public:
    explicit TKQAnKey(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::AnKey; }

    // A key has the size of its animation.
    int32_t GetSizeX() const override { return Parent() ? Parent()->GetSizeX() : 0; }
    int32_t GetSizeY() const override { return Parent() ? Parent()->GetSizeY() : 0; }
    // Reading the key's properties, and writing Count, rebuild the animation.
    media::LoadResult LoadTree(std::string_view blob, uint64_t base, bool keepKeys) override;

    uint16_t GetCount() const { return Count; }
    void SetCount(uint16_t v);

    uint16_t Count = 0; // the key lasts Count + 1 frames
    bool Morph = false;

private:
    void RebuildParent();
};

class TKQExAnim : public scene::TKQElement {
public:
    explicit TKQExAnim(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ExAnim; }

    int32_t GetObAnim() const { return obAnim; }
    // Writing the key forgets the resolved animation.
    void SetObAnim(int32_t key) {
        obAnim = key;
        shownHandle_ = 0;
    }
    // The shown animation: the first direct child of the root whose Key is obAnim and whose
    // class is exactly TKQAnim, or null. Found on first need and kept by handle.
    TKQAnim* Shown() const;

    int32_t GetPos() const { return Pos; }
    // As the animation's Pos setter, against the shown animation's frame count.
    void SetPos(int32_t v);
    // Pos as a scene file holds it, before the frames exist (scene builders).
    void SetAuthoredPos(int32_t v) { Pos = v; }

    int32_t GetSizeX() const override;
    int32_t GetSizeY() const override;
    int32_t GetAbsX() const override;
    int32_t GetAbsY() const override;
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void Process() override;
    media::LoadResult LoadTree(std::string_view blob, uint64_t base, bool keepKeys) override;

    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t obAnim = 0;
    int32_t Pos = 0;
    bool Rep = false;
    bool Active = false;

private:
    int32_t AnchorLeft() const;
    int32_t AnchorTop() const;

    mutable uint32_t shownHandle_ = 0;
    bool readingProps_ = false;
};

std::vector<scene::TKQProp> AnimProps();
std::vector<scene::TKQProp> AnKeyProps();
std::vector<scene::TKQProp> ExAnimProps();

} // namespace kq::elements
