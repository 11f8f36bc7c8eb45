// Screens: TKQScreen, a full scene page with a background, and TKQExScreen, a placeholder that
// shows another top-level screen inside the current one.
//
// A screen draws its background (frame 0 of ImBack, unscaled, at the offsets it is given) and
// runs exRender on its own layer, then draws its children; every hit test inside it uses its
// Agro margin, and a Modal screen takes every point of its layer that no element takes.
// A placeholder finds the top-level TKQScreen whose Key is obScreen on first use, widens its
// own layer range to that screen's, and forwards drawing, hit tests, processing, scripts and
// image loading to it at its anchored position.
#pragma once

#include "elements/anchors.h"
#include "elements/background.h"
#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::render {
struct TKQIm;
}

namespace kq::elements {

class TKQScreen : public scene::TKQElement {
public:
    explicit TKQScreen(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Screen; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // Background picture. Writing requests the image entry (not kept); a picture that is
    // there at once sets SizeX/SizeY to its frame size. Without an image service the name is
    // only stored. Reading gives the entry's name (upper case), the stored name without a
    // service, or empty.
    const std::string& GetImBack() const;
    void SetImBack(std::string name);
    render::TKQIm* BackEntry() const { return back_.Entry(); }

    // Background and exRender on the screen's own layer, then the children.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    // Children hit-tested with Agro as margin; a Modal screen answers itself on its layer.
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;

    int32_t SizeX = 0;
    int32_t SizeY = 0;
    uint32_t hxDrawFx = 1;
    int32_t Agro = 0;
    bool Modal = false;
    bool AllwaysLoad = false;

private:
    BackgroundPicture back_;
};

class TKQExScreen : public scene::TKQElement {
public:
    explicit TKQExScreen(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ExScreen; }

    int32_t GetObScreen() const { return obScreen; }
    // Writing the key forgets the resolved screen; it is found again on first use.
    void SetObScreen(int32_t key) {
        obScreen = key;
        shownHandle_ = 0;
    }

    // The shown screen: the first direct child of the root whose Key is obScreen and whose
    // class is exactly TKQScreen, or null. Found lazily and kept (by handle, so a freed screen
    // is never reached); finding it widens this element's layer range to the screen's.
    TKQScreen* Shown();
    scene::TKQElement* ShownInPlace() override { return Shown(); }
    // Where the shown screen's top-left lies in the parent's coordinates (X/Y when none).
    int32_t AnchorLeft();
    int32_t AnchorTop();

    void SetVis(bool b) override;
    int32_t GetSizeX() const override;
    int32_t GetSizeY() const override;
    int32_t GetAbsX() const override;
    int32_t GetAbsY() const override;
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override;
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void Process() override;
    void Show() override;
    void Update() override;
    void Init() override;
    void InitPr() override;
    void LoadImages() override;
    void FreeImages() override;

    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t obScreen = 0;
    bool Modal = false;
    bool Processing = true;

private:
    // Marks a forwarding call in progress: a placeholder that (directly or through others)
    // shows the screen it sits in must not forward into itself again.
    class Forwarding;

    uint32_t shownHandle_ = 0;
    bool forwarding_ = false;
};

std::vector<scene::TKQProp> ScreenProps();
std::vector<scene::TKQProp> ExScreenProps();

} // namespace kq::elements
