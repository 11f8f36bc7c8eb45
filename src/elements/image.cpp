#include "elements/image.h"

#include "render/canvas.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"
#include "script/value.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kq::elements {

using namespace scene;
using namespace scene::props;

namespace {

// How far the anchor point lies from the box's left (top) edge: 0, size div 2 or size.
int64_t AnchorShift(int64_t size, int anchor) {
    switch (anchor) {
    case 1:
        return size / 2; // truncates toward zero, as the game's integer division does
    case 2:
        return size;
    default:
        return 0;
    }
}

// Centre of a drawn box relative to the anchor point, for a box of the given size.
double CentreShift(double size, int anchor) {
    switch (anchor) {
    case 1:
        return 0;
    case 2:
        return -size / 2;
    default:
        return size / 2;
    }
}

render::ImageService* ImagesOf(const TKQElement& e) {
    return e.DB() ? e.Rt().images : nullptr;
}
render::Canvas* CanvasOf(const TKQElement& e) {
    return e.DB() ? e.Rt().canvas : nullptr;
}

// The integer reading of an "ELEMENTS" piece: optional sign, then decimal digits or "$" and
// hexadecimal digits; false for anything else or a value beyond 32 bits.
bool ParseKey(std::string_view text, int32_t& out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i++] == '-';
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        value = value * base + digit;
        if (value > int64_t{0xFFFFFFFF}) {
            return false;
        }
    }
    if (negative) {
        value = -value;
    }
    if (base == 10 && (value < INT32_MIN || value > INT32_MAX)) {
        return false;
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(value)); // "$FFFFFFFF" reads as -1
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

void GuardCut(double lo, double hi, double scale, double axisScale, int64_t& cutLow,
              int64_t& cutHigh) {
    cutLow = 0;
    cutHigh = 0;
    if (lo < kGuardLow) {
        cutLow = std::max<int64_t>(0, RoundHalfEven((-lo + kGuardLow) / axisScale / scale) - 1);
    }
    if (hi > kGuardHigh) {
        cutHigh = std::max<int64_t>(0, RoundHalfEven((hi - kGuardHigh) / axisScale / scale) + 1);
    }
}

// ---- TKQImage ----

TKQImage::TKQImage(TKQElement* parent) : TKQElement(parent) {
    SetVis(true);
}

int32_t TKQImage::ToThousandths(double v) {
    return RoundHalfEven(v * 1000.0);
}

const std::string& TKQImage::GetImImage() const {
    return entry_ ? entry_->name : imImage_;
}

void TKQImage::SetImImage(std::string name) {
    render::ImageService* images = ImagesOf(*this);
    imImage_ = std::move(name);
    entry_ = images && !imImage_.empty() ? &images->LoadImage(imImage_, false) : nullptr;
}

const render::TextureImage* TKQImage::Picture() const {
    render::ImageService* images = ImagesOf(*this);
    return entry_ && images ? images->GetImage(*entry_) : nullptr;
}

int32_t TKQImage::GetSizeX() const {
    const render::TextureImage* picture = Picture();
    return picture ? RoundHalfEven(picture->PatternWidth() * GetScale() * ScaleX) : 0;
}

int32_t TKQImage::GetSizeY() const {
    const render::TextureImage* picture = Picture();
    return picture ? RoundHalfEven(picture->PatternHeight() * GetScale() * ScaleY) : 0;
}

int32_t TKQImage::GetAbsX() const {
    int64_t left = X() - AnchorShift(GetSizeX(), static_cast<int>(PosHor));
    if (Parent()) {
        left += Parent()->GetAbsX();
    }
    return Clamp32(left);
}

int32_t TKQImage::GetAbsY() const {
    int64_t top = Y() - AnchorShift(GetSizeY(), static_cast<int>(PosVert));
    if (Parent()) {
        top += Parent()->GetAbsY();
    }
    return Clamp32(top);
}

TKQElement* TKQImage::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                uint8_t threshold) {
    const render::TextureImage* picture = Picture();
    // Children sit relative to the drawn top-left corner; the base subtracts X and Y.
    int64_t childX = x;
    int64_t childY = y;
    if (picture) {
        const int64_t sw = RoundHalfEven(picture->PatternWidth() * GetScale() * ScaleX);
        const int64_t sh = RoundHalfEven(picture->PatternHeight() * GetScale() * ScaleY);
        childX += AnchorShift(sw, static_cast<int>(PosHor));
        childY += AnchorShift(sh, static_cast<int>(PosVert));
    }
    if (TKQElement* hit =
            TKQElement::ElementAt(layer, Clamp32(childX), Clamp32(childY), margin, threshold)) {
        return hit;
    }
    const bool mouseVisible = Vis ? MousedVis : MousedNotVis;
    if (layer == Order && mouseVisible && picture &&
        PicturePixelHit(*picture, x, y, X(), Y(), PosHor, PosVert, scale_, angle_, margin,
                        threshold)) {
        return this;
    }
    return nullptr;
}

void TKQImage::Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) {
    if (!ImagesLoaded) {
        LoadImages();
    }
    double w = 0;
    double h = 0;
    render::ImageService* images = ImagesOf(*this);
    if (entry_ && images) {
        const render::TextureImage* picture = images->GetImage(*entry_);
        if (!picture && !entry_->failed) {
            // Registered while the scene was read but not loaded yet: load it now.
            const bool serviceWas = images->LoadImagesNow();
            const bool runtimeWas = Rt().loadImagesNow;
            images->SetLoadImagesNow(true);
            Rt().loadImagesNow = true;
            std::string name = GetImImage();
            SetImImage(std::move(name));
            images->SetLoadImagesNow(serviceWas);
            Rt().loadImagesNow = runtimeWas;
            picture = entry_ ? images->GetImage(*entry_) : nullptr;
        }
        if (picture) {
            w = GetScale() * picture->PatternWidth() * ScaleX;
            h = GetScale() * picture->PatternHeight() * ScaleY;
            if (GetHxTrans() > 5 && layer == Order && CanvasOf(*this)) {
                DrawPicture(*picture, offsetX, offsetY, w, h);
            }
        }
    }
    // Children are placed relative to the image's top-left corner.
    double childX = offsetX;
    double childY = offsetY;
    if (PosHor == TKQPosHor::phCenter) {
        childX -= w / 2;
    } else if (PosHor == TKQPosHor::phRight) {
        childX -= w;
    }
    if (PosVert == TKQPosVert::pvCenter) {
        childY -= h / 2;
    } else if (PosVert == TKQPosVert::pvBottom) {
        childY -= h;
    }
    TKQElement::Render(layer, tint, childX, childY, flag);
}

void TKQImage::DrawPicture(const render::TextureImage& picture, double offsetX, double offsetY,
                           double w, double h) {
    render::Canvas& canvas = *CanvasOf(*this);
    const double scale = GetScale();
    double px = offsetX + rX + CentreShift(w, static_cast<int>(PosHor));
    double py = offsetY + rY + CentreShift(h, static_cast<int>(PosVert));
    const double halfW = w / 2; // stays untrimmed: the trimmed quad keeps its place
    const double halfH = h / 2;

    int64_t cutL = 0, cutR = 0, cutT = 0, cutB = 0;
    GuardCut(px - halfW, px + halfW, scale, ScaleX, cutL, cutR);
    GuardCut(py - halfH, py + halfH, scale, ScaleY, cutT, cutB);
    px += scale * static_cast<double>(cutL) * ScaleX;
    w -= scale * static_cast<double>(cutL + cutR) * ScaleX;
    py += scale * static_cast<double>(cutT) * ScaleY;
    h -= scale * static_cast<double>(cutT + cutB) * ScaleY;
    const int64_t frameW = picture.PatternWidth();
    const int64_t frameH = picture.PatternHeight();
    const int64_t srcW = frameW - cutL - cutR;
    const int64_t srcH = frameH - cutT - cutB;
    if (srcW <= 0 || srcH <= 0) {
        return; // trimmed away entirely (an empty source would mean "whole pattern")
    }

    render::QuadDraw quad;
    quad.texture = picture.Texture();
    quad.pattern = Anim;
    quad.colors = {color_, color_, color_, color_};
    quad.blend = hxDrawFx;
    quad.source = {static_cast<float>(cutL), static_cast<float>(cutT), static_cast<float>(srcW),
                   static_cast<float>(srcH)};
    canvas.SetFiltering(true);

    const bool plainCopy = hxDrawFx == 1284 && scale_ == 1000 && angle_ == 0 &&
                           RoundHalfEven(ScaleX * 1000) == 1000 &&
                           RoundHalfEven(ScaleY * 1000) == 1000 && picture.TextureCount() == 1;
    if (plainCopy) {
        // Only the opaque part of the picture needs drawing; kept inside the trimmed source.
        const render::TKQIm& e = *entry_;
        const int64_t left = std::max<int64_t>(cutL, e.left);
        const int64_t top = std::max<int64_t>(cutT, e.top);
        const int64_t right = std::min<int64_t>(frameW - 1 - cutR, e.right);
        const int64_t bottom = std::min<int64_t>(frameH - 1 - cutB, e.bottom);
        if (right < left || bottom < top) {
            return;
        }
        const auto bw = static_cast<float>(right - left + 1);
        const auto bh = static_cast<float>(bottom - top + 1);
        quad.points = render::Canvas::Box(static_cast<float>(px - halfW + (left - cutL)),
                                          static_cast<float>(py - halfH + (top - cutT)), bw, bh);
        quad.source = {static_cast<float>(left), static_cast<float>(top), bw, bh};
    } else if (angle_ != 0) {
        const double r = angle_ / 1000.0 * std::numbers::pi / 180.0;
        const double c = std::cos(r);
        const double s = std::sin(r);
        const double corners[4][2] = {
            {-halfW, -halfH}, {w - halfW, -halfH}, {w - halfW, h - halfH}, {-halfW, h - halfH}};
        for (int i = 0; i < 4; ++i) {
            const double cx = corners[i][0];
            const double cy = corners[i][1];
            quad.points[static_cast<size_t>(i)] = {static_cast<float>(px + cx * c - cy * s),
                                                   static_cast<float>(py + cx * s + cy * c)};
        }
    } else {
        quad.points =
            render::Canvas::Box(static_cast<float>(px - halfW), static_cast<float>(py - halfH),
                                static_cast<float>(w), static_cast<float>(h));
    }
    canvas.DrawQuad(quad);
}

bool PicturePixelHit(const render::TextureImage& picture, int32_t x, int32_t y, int32_t left,
                     int32_t top, TKQPosHor posHor, TKQPosVert posVert, int32_t scale,
                     int32_t angle, int32_t margin, uint8_t threshold) {
    const int64_t frameW = picture.PatternWidth();
    const int64_t frameH = picture.PatternHeight();
    const int64_t m = scale;
    const int64_t sw = RoundHalfEven(static_cast<double>(frameW) * m / 1000.0);
    const int64_t sh = RoundHalfEven(static_cast<double>(frameH) * m / 1000.0);
    if (sw == 0 || sh == 0 || m == 0) {
        return false;
    }
    const int64_t k = sw + 2 * int64_t{margin};
    const int64_t l = sh + 2 * int64_t{margin};
    const int64_t reach = std::max(k, l) / 2;
    // The box is centred on the frame's middle and widened by the margin on every side, so
    // that the margin catches points all round the picture.
    int64_t cx = left;
    if (posHor == TKQPosHor::phLeft) {
        cx += sw / 2;
    } else if (posHor == TKQPosHor::phRight) {
        cx -= sw / 2;
    }
    int64_t cy = top;
    if (posVert == TKQPosVert::pvTop) {
        cy += sh / 2;
    } else if (posVert == TKQPosVert::pvBottom) {
        cy -= sh / 2;
    }
    const int64_t dx = x - cx;
    const int64_t dy = y - cy;
    if (dx > reach || dx < -reach || dy > reach || dy < -reach) {
        return false;
    }

    const auto fdx = static_cast<double>(dx);
    const auto fdy = static_cast<double>(dy);
    const double d = std::sqrt(fdx * fdx + fdy * fdy); // in doubles: huge scales overflow int64
    double a;
    if (dx == 0) {
        a = dy < 0 ? -std::numbers::pi / 2 : std::numbers::pi / 2;
    } else {
        a = std::atan(fdy / fdx) + (dx < 0 ? std::numbers::pi : 0.0);
    }
    const double r = angle / 1000.0 * std::numbers::pi / 180.0;
    const double u = static_cast<double>(k / 2) + std::cos(a - r) * d;
    const double v = static_cast<double>(l / 2) + std::sin(a - r) * d;
    if (u < 0 || u >= static_cast<double>(k) || v < 0 || v >= static_cast<double>(l)) {
        return false;
    }
    if (!picture.HasPixelCopy()) {
        return true; // pixels cannot be read back: the rotated rectangle counts
    }
    // Back over the frame itself; a point in the margin band reads the nearest edge pixel.
    int64_t sx = RoundHalfEven((u - margin) * 1000.0 / static_cast<double>(m));
    int64_t sy = RoundHalfEven((v - margin) * 1000.0 / static_cast<double>(m));
    if (margin > 0) {
        sx = std::clamp<int64_t>(sx, 0, frameW - 1);
        sy = std::clamp<int64_t>(sy, 0, frameH - 1);
    }
    if (sx < 0 || sx >= frameW || sy < 0 || sy >= frameH) {
        return false;
    }
    const auto pixel = picture.Pixel(0, static_cast<int>(sx), static_cast<int>(sy));
    return pixel && (*pixel >> 24) > threshold;
}

// ---- TKQImList ----

TKQImList::TKQImList(TKQElement* parent) : TKQElement(parent) {
    NoMsKQDB = true;
}

void TKQImList::SetSizeX(int32_t v) {
    SizeX = v;
    RecomputeCells();
}

void TKQImList::SetSizeY(int32_t v) {
    SizeY = v;
    RecomputeCells();
}

void TKQImList::SetRowCount(int32_t v) {
    RowCount = v;
    RecomputeCells();
}

void TKQImList::SetColCount(int32_t v) {
    ColCount = v;
    RecomputeCells();
}

void TKQImList::SetSpace(int32_t v) {
    Space = v;
    RecomputeCells();
}

void TKQImList::RecomputeCells() {
    ElWidth = 0;
    ElHeight = 0;
    if (ColCount == 0 || RowCount == 0) {
        return;
    }
    const int64_t width = (int64_t{SizeX} - (int64_t{ColCount} - 1) * Space) / ColCount;
    const int64_t height = (int64_t{SizeY} - (int64_t{RowCount} - 1) * Space) / RowCount;
    ElWidth = Clamp32(std::max<int64_t>(0, width));
    ElHeight = Clamp32(std::max<int64_t>(0, height));
    SetScrollPos(GetScrollPos());
}

int32_t TKQImList::GetScrollPos() const {
    return Clamp32(int64_t{firstRow_} * ColCount);
}

void TKQImList::SetScrollPos(int32_t v) {
    if (ColCount <= 0) {
        firstRow_ = 0; // no columns, no rows to scroll
        return;
    }
    const auto n = static_cast<int64_t>(items_.size());
    const int64_t rows = n / ColCount + (n % ColCount > 0 ? 1 : 0);
    int64_t row = v / ColCount;
    if (rows - row < RowCount) {
        row = rows - RowCount;
    }
    if (row < 0) {
        row = 0;
    }
    firstRow_ = Clamp32(row);
}

void TKQImList::AddItem(TKQImage& image) {
    items_.push_back({image.Handle(), 1.0});
    SetScrollPos(Clamp32(static_cast<int64_t>(items_.size()) - 1));
}

bool TKQImList::RemoveItem(const TKQElement& element) {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (ItemImage(i) == &element) {
            items_.erase(items_.begin() + static_cast<ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool TKQImList::RemoveItemById(std::string_view id) {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TKQImage* image = ItemImage(i);
        if (image && image->Id == id) {
            items_.erase(items_.begin() + static_cast<ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

TKQImage* TKQImList::ItemImage(size_t i) const {
    if (i >= items_.size() || !DB()) {
        return nullptr;
    }
    // Only TKQImage elements are ever added, and a handle never outlives its element.
    return static_cast<TKQImage*>(Rt().handles.Resolve(items_[i].handle));
}

void TKQImList::SetHovered(int32_t index) {
    if (index == hovered_) {
        return;
    }
    MouseOut(); // still with the old index
    hovered_ = index;
    MouseIn();
}

TKQElement* TKQImList::ElementAt(int32_t layer, int32_t x, int32_t y, int32_t, uint8_t) {
    if (layer != Order) {
        return nullptr;
    }
    const int64_t left = X();
    const int64_t top = Y();
    if (x < left || x >= left + SizeX || y < top || y >= top + SizeY) {
        SetHovered(-1);
        return nullptr;
    }
    int32_t index = -1;
    const int64_t cellW = int64_t{ElWidth} + Space;
    const int64_t cellH = int64_t{ElHeight} + Space;
    if (cellW > 0 && cellH > 0) {
        const int64_t col = (x - left) / cellW;
        const int64_t row = (y - top) / cellH;
        const int64_t i = col + GetScrollPos() + row * ColCount;
        if (i >= 0 && i < static_cast<int64_t>(items_.size())) {
            index = static_cast<int32_t>(i);
        }
    }
    SetHovered(index);
    return this;
}

void TKQImList::Process() {
    for (size_t i = 0; i < items_.size(); ++i) {
        Item& item = items_[i];
        if (static_cast<int32_t>(i) == hovered_) {
            if (item.zoom < Scale) {
                item.zoom += 0.05;
            }
        } else if (item.zoom > 1) {
            item.zoom -= 0.1;
            if (item.zoom < 1) {
                item.zoom = 1;
            }
        }
    }
}

void TKQImList::Render(int32_t layer, uint32_t, double offsetX, double offsetY, bool) {
    if (layer != Order) {
        return;
    }
    if (!ImagesLoaded) {
        LoadImages();
    }
    render::Canvas* canvas = CanvasOf(*this);
    if (ElWidth <= 0 || ElHeight <= 0 || ColCount <= 0 || RowCount <= 0 || !canvas) {
        return;
    }
    canvas->SetFiltering(true);
    const auto n = static_cast<int64_t>(items_.size());
    // The hovered item is drawn in a second pass so that its zoom lies on top.
    for (int pass = 0; pass < 2; ++pass) {
        for (int64_t row = 0; row < RowCount; ++row) {
            const int64_t rowStart = (row + firstRow_) * ColCount;
            if (rowStart >= n) {
                break; // every later row starts further on
            }
            for (int64_t col = 0; col < ColCount; ++col) {
                const int64_t index = rowStart + col;
                if (index >= n) {
                    break;
                }
                const bool hovered = index == hovered_;
                if (hovered == (pass == 1)) {
                    DrawItem(items_[static_cast<size_t>(index)], static_cast<int>(col),
                             static_cast<int>(row), offsetX, offsetY);
                }
            }
        }
    }
}

void TKQImList::DrawItem(const Item& item, int col, int row, double offsetX, double offsetY) {
    const TKQImage* image = static_cast<const TKQImage*>(Rt().handles.Resolve(item.handle));
    const render::TextureImage* picture = image ? image->Picture() : nullptr;
    if (!picture || picture->PatternWidth() <= 0 || picture->PatternHeight() <= 0) {
        return;
    }
    double fit = static_cast<double>(ElWidth) / picture->PatternWidth();
    if (picture->PatternHeight() * fit > ElHeight) {
        fit = static_cast<double>(ElHeight) / picture->PatternHeight();
    }
    const double scale = fit * item.zoom;
    const double cx = offsetX + rX + (static_cast<double>(ElWidth) + Space) * col + ElWidth / 2.0;
    const double cy = offsetY + rY + (static_cast<double>(ElHeight) + Space) * row + ElHeight / 2.0;
    const double angle = image->GetAngle() * std::numbers::pi / 180.0;
    CanvasOf(*this)->DrawRotated(picture->Texture(), image->Anim, static_cast<float>(cx),
                                 static_cast<float>(cy), static_cast<float>(angle),
                                 static_cast<float>(scale), image->ColorWord(), image->hxDrawFx);
}

void TKQImList::MouseIn() {
    if (hovered_ != -1) {
        TKQElement::MouseIn();
    }
}

void TKQImList::MouseOut() {
    if (hovered_ != -1) {
        TKQElement::MouseOut();
    }
}

void TKQImList::MouseDown() {
    if (hovered_ >= 0) {
        if (TKQImage* image = ItemImage(static_cast<size_t>(hovered_))) {
            image->MouseDown();
        }
    }
    TKQElement::MouseDown();
}

void TKQImList::LoadImages() {
    if (ImagesLoaded) {
        return;
    }
    TKQElement::LoadImages();
    for (size_t i = 0; i < items_.size(); ++i) {
        if (TKQImage* image = ItemImage(i)) {
            image->LoadImages();
        }
    }
}

void TKQImList::FreeImages() {
    TKQElement::FreeImages();
    for (size_t i = 0; i < items_.size(); ++i) {
        if (TKQImage* image = ItemImage(i)) {
            image->FreeImages();
        }
    }
}

bool TKQImList::GetProp(std::string_view name, script::Value& out) {
    if (TKQElement::GetProp(name, out)) {
        return true;
    }
    if (name == "ELEMENTS") {
        std::string text;
        for (size_t i = 0; i < items_.size(); ++i) {
            if (const TKQImage* image = ItemImage(i)) {
                text += std::to_string(image->Key);
                text += ';';
            }
        }
        out = script::Value::Str(std::move(text));
        return true;
    }
    if (name == "SELEL") {
        TKQImage* image = hovered_ >= 0 ? ItemImage(static_cast<size_t>(hovered_)) : nullptr;
        out = image ? script::Value::LongWord(image->Handle()) : script::Value::Byte(0);
        return true;
    }
    return false;
}

bool TKQImList::SetProp(std::string_view name, const script::Value& value) {
    if (TKQElement::SetProp(name, value)) {
        return true;
    }
    if (name != "ELEMENTS") {
        return false;
    }
    std::string text;
    script::ToText(value, text);
    items_.clear();
    std::string_view rest = text;
    while (true) {
        const size_t cut = rest.find(';');
        const std::string_view piece = Trim(rest.substr(0, cut));
        int32_t key = 0;
        if (!piece.empty() && ParseKey(piece, key) && DB()) {
            TKQElement* element = DB()->FindByKey(key);
            if (element && element->Class() == ClassId::Image) {
                AddItem(*static_cast<TKQImage*>(element));
            }
        }
        if (cut == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(cut + 1);
    }
    return true;
}

// clang-format off
std::vector<TKQProp> ImageProps() {
    using I = TKQImage;
    std::vector<TKQProp> list = BaseProps();
    const std::vector<TKQProp> beforeMouse = {
        Str("imImage", &GetVia<&I::GetImImage>, &SetVia<&I::SetImImage>),
        Int("hxDrawFx", PropType::ULong, &GetField<&I::hxDrawFx>, &SetField<&I::hxDrawFx>),
        Enum("PosHor", kPosHorNames, &GetField<&I::PosHor>, &SetField<&I::PosHor>),
        Enum("PosVert", kPosVertNames, &GetField<&I::PosVert>, &SetField<&I::PosVert>),
        Float("Scale", PropType::Extended, &GetVia<&I::GetScale>, &SetVia<&I::SetScale>),
        Float("Angle", PropType::Extended, &GetVia<&I::GetAngle>, &SetVia<&I::SetAngle>),
        Int("hxColor", PropType::ULong, &GetVia<&I::GetHxColor>, &SetVia<&I::SetHxColor>),
        Int("hxTrans", PropType::UByte, &GetVia<&I::GetHxTrans>, &SetVia<&I::SetHxTrans>),
    };
    Append(list, beforeMouse);
    Append(list, MouseScriptProps());
    const std::vector<TKQProp> afterMouse = {
        Int("Anim", PropType::SLong, &GetField<&I::Anim>, &SetField<&I::Anim>),
        NoMsKQDBProp(),
        OrderProp(),
        RXProp(),
        RYProp(),
        Float("ScaleX", PropType::Extended, &GetField<&I::ScaleX>, &SetField<&I::ScaleX>),
        Float("ScaleY", PropType::Extended, &GetField<&I::ScaleY>, &SetField<&I::ScaleY>),
        Bool("Interpol", &GetField<&I::Interpol>, &SetField<&I::Interpol>),
        Bool("InterpolSc", &GetField<&I::InterpolSc>, &SetField<&I::InterpolSc>),
        MsKeepProp(),
        TagProp(),
        Str("TextId", &GetField<&I::TextId>, &SetField<&I::TextId>),
        NotSaveProp(),
    };
    Append(list, afterMouse);
    return list;
}
// clang-format on

std::vector<TKQProp> ImListProps() {
    using L = TKQImList;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Int("RowCount", PropType::SLong, &GetField<&L::RowCount>, &SetVia<&L::SetRowCount>),
        Int("ColCount", PropType::SLong, &GetField<&L::ColCount>, &SetVia<&L::SetColCount>),
        Int("Space", PropType::SLong, &GetField<&L::Space>, &SetVia<&L::SetSpace>),
        Int("ScrollPos", PropType::SLong, &GetVia<&L::GetScrollPos>, &SetVia<&L::SetScrollPos>),
        Int("SizeX", PropType::SLong, &GetVia<&L::GetSizeX>, &SetVia<&L::SetSizeX>),
        Int("SizeY", PropType::SLong, &GetVia<&L::GetSizeY>, &SetVia<&L::SetSizeY>),
        Int("ElWidth", PropType::SLong, &GetVia<&L::GetElWidth>, &SetVia<&L::SetElWidth>),
        Int("ElHeight", PropType::SLong, &GetVia<&L::GetElHeight>, &SetVia<&L::SetElHeight>),
        Float("Scale", PropType::Double, &GetField<&L::Scale>, &SetField<&L::Scale>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
        BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
        BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
        BaseScript<ScriptSlot::MouseDown>("exMouseDown"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
