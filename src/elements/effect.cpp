#include "elements/effect.h"

#include "media/game_files.h"
#include "render/image_service.h"
#include "render/particle_drawing.h"
#include "scene/db.h"
#include "scene/prop_builder.h"
#include "scene/runtime.h"

namespace kq::elements {

using namespace scene;
using namespace scene::props;

TKQEffect::TKQEffect(TKQElement* parent) : TKQElement(parent) {
    hxColor = 0xFFFFFF;
    SetVis(true);
}

TKQEffect::~TKQEffect() = default;

render::TKQIm* TKQEffect::RootSheet() const {
    return DB() ? DB()->ParticleImage() : nullptr;
}

void TKQEffect::LoadParameters(media::ParticleSystem& system) const {
    media::GameFiles* files = Rt().files;
    if (!files || EffectFN.empty()) {
        return; // an empty name is neither a file nor an entry
    }
    // Only the parameter block is read from a loose file, however large the file is.
    if (const auto loose = files->FindLoose(EffectFN)) {
        system.LoadFromFile(*loose);
        return;
    }
    const media::GameFile entry = files->Read(EffectFN);
    if (entry.source == media::FileSource::Pack) {
        system.LoadFromBytes(entry.bytes);
    }
}

void TKQEffect::SetEffectFN(std::string name) {
    EffectFN = std::move(name);
    render::TKQIm* sheet = RootSheet();
    if (!sheet) {
        return;
    }
    system_.reset();
    auto system = std::make_unique<media::ParticleSystem>(kCapacity);
    system->SetRandom(media::UniformFrom(Rt().random));
    sheet_ = sheet;
    LoadParameters(*system);
    system_ = std::move(system);
    PlaceEmitter();
    if (Active) {
        system_->Start();
    }
}

void TKQEffect::SetActive(bool v) {
    Active = v;
    if (!system_) {
        return;
    }
    if (v) {
        system_->Start();
    } else {
        system_->Stop(false);
    }
}

void TKQEffect::StartByScript(std::string_view event) {
    SetActive(true);
    RunScript(exStart, event);
}

void TKQEffect::Break() {
    if (system_) {
        system_->Stop(true);
    }
    SetActive(false);
}

void TKQEffect::PlaceEmitter() {
    if (system_) {
        system_->PlaceAt(static_cast<float>(X()), static_cast<float>(Y()));
    }
}

void TKQEffect::SetX(int32_t v) {
    TKQElement::SetX(v);
    PlaceEmitter();
}

void TKQEffect::SetY(int32_t v) {
    TKQElement::SetY(v);
    PlaceEmitter();
}

void TKQEffect::SetRealPos(int32_t x, int32_t y) {
    TKQElement::SetRealPos(x, y);
    if (!system_) {
        return;
    }
    if (Active) {
        // Without carry an emitting system spreads this step's spawns along the path.
        system_->MoveTo(static_cast<float>(X()), static_cast<float>(Y()), false);
    } else {
        PlaceEmitter();
    }
}

void TKQEffect::Process() {
    if (system_) {
        system_->Update(static_cast<float>(DAnim / kStepsPerSecond));
        if (Active && !system_->Emitting() && system_->LiveCount() == 0) {
            SetActive(false);
        }
    }
    TKQElement::Process();
}

void TKQEffect::Render(int32_t layer, uint32_t, double offsetX, double offsetY, bool) {
    if (!sheet_) {
        sheet_ = RootSheet();
    }
    if (layer != Order || !system_ || !sheet_ || !DB()) {
        return;
    }
    render::Canvas* canvas = Rt().canvas;
    render::ImageService* images = Rt().images;
    if (!canvas || !images) {
        return;
    }
    const render::TextureImage* picture = images->GetImage(*sheet_);
    if (!picture) {
        return;
    }
    canvas->SetFiltering(true);
    // The emitter already stands at (X, Y) in the parent's coordinates: only the parent's
    // offset is added, in whole pixels.
    render::DrawParticles(*canvas, picture->Texture(), *system_,
                          static_cast<float>(RoundHalfEven(offsetX)),
                          static_cast<float>(RoundHalfEven(offsetY)), hxColor | 0xFF000000u);
}

void TKQEffect::LoadImages() {
    sheet_ = RootSheet();
    TKQElement::LoadImages();
}

void TKQEffect::FreeImages() {
    TKQElement::FreeImages();
    sheet_ = RootSheet();
}

std::vector<TKQProp> EffectProps() {
    using E = TKQEffect;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Str("EffectFN", &GetVia<&E::GetEffectFN>, &SetVia<&E::SetEffectFN>),
        Float("DAnim", PropType::Double, &GetField<&E::DAnim>, &SetField<&E::DAnim>),
        Bool("Active", &GetVia<&E::GetActive>, &SetVia<&E::SetActive>),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        Int("hxColor", PropType::ULong, &GetField<&E::hxColor>, &SetField<&E::hxColor>),
        OrderProp(),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        TagProp(),
        NotSaveProp(),
        Script<&E::exStart>("exStart"),
    };
    list.insert(list.end(), own.begin(), own.end());
    return list;
}

} // namespace kq::elements
