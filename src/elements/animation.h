// Keyframe animation: TKQAnim (a top-level animation made of keys), TKQAnKey (one key holding
// the images of that key) and TKQExAnim (a placeholder that plays a top-level animation).
//
// This module holds their properties and constructor defaults; frame building and playing
// join with the animation work.
#pragma once

#include "elements/anchors.h"
#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

class TKQAnim : public scene::TKQElement {
public:
    explicit TKQAnim(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Anim; }

    void SetSizeX(int32_t v) override { SizeX = v; }
    void SetSizeY(int32_t v) override { SizeY = v; }
    int32_t GetSizeX() const override { return SizeX; }
    int32_t GetSizeY() const override { return SizeY; }

    std::string ImBack;
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
};

class TKQAnKey : public scene::TKQElement {
public:
    explicit TKQAnKey(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::AnKey; }

    // A key has the size of its animation.
    int32_t GetSizeX() const override { return Parent() ? Parent()->GetSizeX() : 0; }
    int32_t GetSizeY() const override { return Parent() ? Parent()->GetSizeY() : 0; }

    uint16_t Count = 0; // the key lasts Count + 1 frames
    bool Morph = false;
};

class TKQExAnim : public scene::TKQElement {
public:
    explicit TKQExAnim(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::ExAnim; }

    int32_t GetObAnim() const { return obAnim; }
    // Writing the key forgets the resolved animation.
    void SetObAnim(int32_t key) {
        obAnim = key;
        resolvedAnim_ = nullptr;
    }

    TKQPosHor PosHor = TKQPosHor::phLeft;
    TKQPosVert PosVert = TKQPosVert::pvTop;
    int32_t obAnim = 0;
    int32_t Pos = 0;
    bool Rep = false;
    bool Active = false;

private:
    scene::TKQElement* resolvedAnim_ = nullptr;
};

std::vector<scene::TKQProp> AnimProps();
std::vector<scene::TKQProp> AnKeyProps();
std::vector<scene::TKQProp> ExAnimProps();

} // namespace kq::elements
