// Particle effects: TKQEffect, an emitter placed in the scene.
//
// This module holds its properties and constructor defaults; the particle system joins with
// the particle work.
#pragma once

#include "scene/element.h"

#include <string>
#include <vector>

namespace kq::elements {

class TKQEffect : public scene::TKQElement {
public:
    explicit TKQEffect(scene::TKQElement* parent);
    scene::ClassId Class() const override { return scene::ClassId::Effect; }

    std::string EffectFN;
    double DAnim = 0;
    bool Active = false;
    uint32_t hxColor = 0xFFFFFF;
    scene::ScriptText exStart;
};

std::vector<scene::TKQProp> EffectProps();

} // namespace kq::elements
