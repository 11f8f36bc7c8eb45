// Screens: TKQScreen, a full scene page with a background, and TKQExScreen, a placeholder that
// shows another top-level screen inside the current one.
//
// This module holds their properties and constructor defaults; drawing, hit testing and the
// placeholder forwarding join with the player.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

class TKQScreen : public scene::TKQElement {
public:
    explicit TKQScreen(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Screen; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    // Background picture name; the image request joins with the image service.
    const std::string& GetImBack() const { return ImBack; }
    void SetImBack(std::string name) { ImBack = std::move(name); }

    std::string ImBack;
    int32_t SizeX = 0;
    int32_t SizeY = 0;
    uint32_t hxDrawFx = 1;
    int32_t Agro = 0;
    bool Modal = false;
    bool AllwaysLoad = false;
};

class TKQExScreen : public scene::TKQElement {
public:
    explicit TKQExScreen(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ExScreen; }

    int32_t GetObScreen() const { return obScreen; }
    // Writing the key forgets the resolved screen; it is found again on first use.
    void SetObScreen(int32_t key) {
        obScreen = key;
        resolvedScreen_ = nullptr;
    }

    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t obScreen = 0;
    bool Modal = false;
    bool Processing = true;

private:
    scene::TKQElement* resolvedScreen_ = nullptr;
};

std::vector<scene::TKQProp> ScreenProps();
std::vector<scene::TKQProp> ExScreenProps();

} // namespace kq::elements
