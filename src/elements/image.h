// Pictures on screen: TKQImage, one picture with anchor, scale, angle and tint, and
// TKQImList, a scrolling grid of images.
//
// A TKQImage draws one frame (Anim) of its picture, centred on its anchored position, scaled by
// Scale x ScaleX/ScaleY, rotated by Angle (degrees, clockwise on screen), with its colour word
// on every corner and its own blend; its children are placed relative to the drawn top-left
// corner. Its hit test reads the picture's alpha (scaled by Scale only, rotated by Angle).
//
// A TKQImList shows references to existing TKQImage elements (its items) fitted into equal
// cells, draws the hovered item last and zoomed, and routes mouse-down to the hovered item.
// Items are held by element handle, so an image that is freed simply stops being shown.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <string_view>
#include <vector>

namespace kq::render {
struct TKQIm;
class TextureImage;
} // namespace kq::render

namespace kq::elements {

class TKQImage : public scene::TKQElement {
public:
    explicit TKQImage(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Image; }

    // Writing requests the image entry (not kept) when the runtime has an image service;
    // without one (or for an empty name) only the name is stored. Reading gives the entry's
    // name (upper case), the stored name without a service, or empty.
    const std::string& GetImImage() const;
    void SetImImage(std::string name);
    render::TKQIm* Entry() const { return entry_; }
    // The drawable picture of the entry, or null (no entry, not loaded, failed). Stamps the
    // entry's last use.
    const render::TextureImage* Picture() const;

    // Scale and Angle are kept as signed thousandths: writing stores round(value * 1000).
    double GetScale() const { return scale_ / 1000.0; }
    void SetScale(double v) { scale_ = ToThousandths(v); }
    double GetAngle() const { return angle_ / 1000.0; }
    void SetAngle(double v) { angle_ = ToThousandths(v); }
    int32_t ScaleThousandths() const { return scale_; }
    int32_t AngleThousandths() const { return angle_; }

    // The colour word: hxColor is its low 24 bits, hxTrans its top byte.
    uint32_t GetHxColor() const { return color_ & 0xFFFFFFu; }
    void SetHxColor(uint32_t v) { color_ = (color_ & 0xFF000000u) | (v & 0xFFFFFFu); }
    uint8_t GetHxTrans() const { return static_cast<uint8_t>(color_ >> 24); }
    void SetHxTrans(uint8_t v) { color_ = (color_ & 0xFFFFFFu) | (uint32_t{v} << 24); }
    uint32_t ColorWord() const { return color_; }

    static int32_t ToThousandths(double v);

    // round(frame size x Scale x ScaleX/ScaleY); 0 without a picture. Not writable.
    int32_t GetSizeX() const override;
    int32_t GetSizeY() const override;
    // The anchored top-left corner in screen pixels.
    int32_t GetAbsX() const override;
    int32_t GetAbsY() const override;
    // Children first (with the point moved to the image's top-left), then the pixel test.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    // Draws frame Anim on the image's own layer (when hxTrans > 5), then the children.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;

    uint32_t hxDrawFx = 1284;
    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t Anim = 0;
    double ScaleX = 1;
    double ScaleY = 1;
    bool Interpol = true;
    bool InterpolSc = true;
    std::string TextId;

private:
    void DrawPicture(const render::TextureImage& picture, double offsetX, double offsetY, double w,
                     double h);

    std::string imImage_;
    render::TKQIm* entry_ = nullptr;
    int32_t scale_ = 1000;
    int32_t angle_ = 0;
    uint32_t color_ = 0xFFFFFFFFu;
};

// The guard band of drawn pictures (and glyphs): whole source pixels to cut from each end so
// that the drawn span [lo, hi] keeps inside -1024..2048 along one axis, one source pixel being
// scale x axisScale screen pixels. A huge or far off-screen draw never hands the back end
// extreme coordinates.
void GuardCut(double lo, double hi, double scale, double axisScale, int64_t& cutLow,
              int64_t& cutHigh);

// The pixel hit test of pictures. (x, y) is the point and (left, top) the element's X and Y,
// both in the parent's coordinates; scale and angle are in thousandths. The box is the frame
// scaled by scale and widened by margin on every side, rotated by angle about its middle;
// inside it, a picture without a pixel copy is hit, otherwise the alpha of the pixel of
// frame 0 under the point must exceed threshold (a point in the margin band reads the
// nearest edge pixel).
bool PicturePixelHit(const render::TextureImage& picture, int32_t x, int32_t y, int32_t left,
                     int32_t top, TKQPosHor posHor, TKQPosVert posVert, int32_t scale,
                     int32_t angle, int32_t margin, uint8_t threshold);

// Drawn pictures are trimmed to this window on each axis, in whole source pixels, so that a
// huge or far off-screen picture never hands the back end extreme coordinates.
inline constexpr double kGuardLow = -1024.0;
inline constexpr double kGuardHigh = 2048.0;

// Whole source pixels to cut from each end so that the drawn span [lo, hi] keeps inside the
// guard window along one axis; one source pixel is scale x axisScale screen pixels.
void GuardCut(double lo, double hi, double scale, double axisScale, int64_t& cutLow,
              int64_t& cutHigh);

class TKQImList : public scene::TKQElement {
public:
    struct Item {
        uint32_t handle = 0; // the image's element handle
        double zoom = 1.0;
    };

    explicit TKQImList(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ImList; }

    void SetSizeX(int32_t v) override;
    void SetSizeY(int32_t v) override;
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }
    void SetRowCount(int32_t v);
    void SetColCount(int32_t v);
    void SetSpace(int32_t v);

    // Cell sizes are computed from the grid; writes are ignored.
    int32_t GetElWidth() const { return ElWidth; }
    void SetElWidth(int32_t) {}
    int32_t GetElHeight() const { return ElHeight; }
    void SetElHeight(int32_t) {}

    // The index of the first shown item: kept as the first visible row, clamped so that the
    // last row of items stays at the bottom of the grid. Reads give row x ColCount.
    int32_t GetScrollPos() const;
    void SetScrollPos(int32_t v);
    int32_t FirstRow() const { return firstRow_; }

    // ---- Items (used by the script library) ----
    // Appends the image with zoom 1 and scrolls toward it.
    void AddItem(TKQImage& image);
    // Removes the first item showing this element; false when none does.
    bool RemoveItem(const scene::TKQElement& element);
    // Removes the first item whose image's Id equals id exactly (letter case counts).
    bool RemoveItemById(std::string_view id);
    void ClearItems() { items_.clear(); }
    size_t ItemCount() const { return items_.size(); }
    const Item& ItemAt(size_t i) const { return items_[i]; }
    // The live image of item i, or null when it was freed (or i is out of range).
    TKQImage* ItemImage(size_t i) const;
    // Index of the item under the mouse, -1 when none.
    int32_t HoveredIndex() const { return hovered_; }

    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void Process() override;
    void MouseIn() override;
    void MouseOut() override;
    void MouseDown() override;
    void LoadImages() override;
    void FreeImages() override;
    // Adds "ELEMENTS" (item keys, each followed by ";") and "SELEL" (hovered item's handle,
    // read only) after the base names.
    bool GetProp(std::string_view name, script::Value& out) override;
    bool SetProp(std::string_view name, const script::Value& value) override;

    int32_t RowCount = 0;
    int32_t ColCount = 0;
    int32_t Space = 0;
    int32_t SizeX = 0;
    int32_t SizeY = 0;
    int32_t ElWidth = 0;
    int32_t ElHeight = 0;
    double Scale = 0;

private:
    void RecomputeCells();
    void SetHovered(int32_t index);
    void DrawItem(const Item& item, int col, int row, double offsetX, double offsetY);

    std::vector<Item> items_;
    int32_t firstRow_ = 0;
    int32_t hovered_ = -1;
};

std::vector<scene::TKQProp> ImageProps();
std::vector<scene::TKQProp> ImListProps();

} // namespace kq::elements
