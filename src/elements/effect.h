// Particle effects: TKQEffect, an emitter placed in the scene.
//
// An effect owns one particle system built from the parameter file its EffectFN names (a loose
// file of the game folder first, else the pack's entry, else an empty system). The emitter
// stands at the effect's (X, Y) in the parent's coordinates; the system advances once per
// processing step by DAnim / the main timer's step rate and is drawn on the effect's layer from
// the root's particle sheet. An active effect whose emission has ended switches itself off
// once its last particle has died.
//
// The system exists only while the root database has its particle sheet (a running game):
// without it, writing EffectFN only stores the name. The scene's own EffectFN values get their
// systems because the root requests the sheet before it reads the scene.
#pragma once

#include "media/particle_system.h"
#include "scene/element.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kq::render {
struct TKQIm;
}

namespace kq::elements {

class TKQEffect : public scene::TKQElement {
public:
    // Processing steps per second of the main timer: one step advances an effect by
    // DAnim / kStepsPerSecond time units, and "ProcEf" converts its time the same way.
    static constexpr double kStepsPerSecond = 30.0;
    // Room for live particles of every effect's system.
    static constexpr int32_t kCapacity = 5000;

    explicit TKQEffect(scene::TKQElement* parent);
    ~TKQEffect() override;
    scene::ClassId Class() const override { return scene::ClassId::Effect; }

    const std::string& GetEffectFN() const { return EffectFN; }
    // Stores the name; with the root's particle sheet, replaces the system by a new one loaded
    // from the name (loose file, else pack entry, else empty), places its emitter at (X, Y)
    // and starts it when Active.
    void SetEffectFN(std::string name);
    bool GetActive() const { return Active; }
    // Stores v; with a system, starts emitting (true) or stops (false: live particles run out).
    void SetActive(bool v);

    // "AnimStart": Active := true, then exStart under the caller's event name.
    void StartByScript(std::string_view event);
    // "AnimBreak": every live particle is dropped at once, then Active := false.
    void Break();

    // Base, then the emitter is placed at (X, Y): no trail, the emission time runs on.
    void SetX(int32_t v) override;
    void SetY(int32_t v) override;
    // Base, then an active effect's emitter moves to (X, Y), spawning along the way; an
    // inactive one is placed there.
    void SetRealPos(int32_t x, int32_t y) override;
    // Advances the system by DAnim / kStepsPerSecond, switches off when finished, then base.
    void Process() override;
    // Draws the system on the effect's layer; children are not drawn.
    void Render(int32_t layer, uint32_t tint, double offsetX, double offsetY, bool flag) override;
    void LoadImages() override;
    void FreeImages() override;

    // The particle system; null until EffectFN is written while the root has its sheet.
    media::ParticleSystem* System() { return system_.get(); }
    const media::ParticleSystem* System() const { return system_.get(); }

    std::string EffectFN;
    double DAnim = 0;
    bool Active = false;
    uint32_t hxColor = 0xFFFFFF;
    scene::ScriptText exStart;

private:
    // The root's particle sheet, or null (no root, or the root has none).
    render::TKQIm* RootSheet() const;
    void LoadParameters(media::ParticleSystem& system) const;
    void PlaceEmitter();

    std::unique_ptr<media::ParticleSystem> system_;
    render::TKQIm* sheet_ = nullptr; // the sheet the system draws from, once linked
};

std::vector<scene::TKQProp> EffectProps();

} // namespace kq::elements
