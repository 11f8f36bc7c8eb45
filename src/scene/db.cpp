#include "scene/db.h"

#include "media/game_files.h"
#include "render/font.h"
#include "render/image_service.h"
#include "scene/prop_builder.h"
#include "scene/registry.h"
#include "scene/render_targets.h"

#include <spdlog/spdlog.h>

#include <system_error>

namespace kq::scene {

TKQDB::TKQDB(Runtime& runtime)
    : TKQElement(RootTag{}), runtime_(runtime),
      renderTargets_(std::make_unique<RenderTargetList>()) {
    db_ = this;
}

TKQDB::~TKQDB() {
    // The children must go while the root's runtime reference is still valid.
    DestroyChildren();
    runtime_.Forget(this, handleSlot_);
}

media::LoadResult TKQDB::LoadScene(const std::filesystem::path& sceneFile) {
    DestroyChildren();
    unicode_.reset();
    media::LoadError unreadable;
    unreadable.problem = media::LoadError::Problem::Unreadable;
    unreadable.file = sceneFile.string();
    std::error_code ec;
    if (!std::filesystem::exists(sceneFile, ec)) {
        unreadable.what = "there is no such file";
        return unreadable;
    }
    // The pack lies in the game folder, which the game files already know: only its name comes
    // from the scene file, so a relative scene path is not joined to the folder a second time.
    if (runtime_.files) {
        runtime_.files->OpenPack(media::GameFiles::PackNameFor(sceneFile));
    }
    std::optional<std::string> bytes = media::ReadWholeFile(sceneFile);
    if (!bytes) {
        unreadable.what = "reading it failed";
        return unreadable;
    }
    media::LoadResult result = LoadSceneBlob(*bytes);
    if (!result) {
        result.Error().file = sceneFile.string();
    }
    PrepareUnicode();
    return result;
}

media::LoadResult TKQDB::LoadSceneBlob(std::string_view blob) {
    DestroyChildren();
    // The particle sheet is requested before any picture of the scene: as the first entry it is
    // never considered for eviction, and every scene picture is.
    RequestParticleSheet();
    runtime_.loading = true;
    media::LoadResult result = LoadProps(blob, true);
    runtime_.loading = false;
    return result;
}

void TKQDB::RequestParticleSheet() {
    if (runtime_.images) {
        particleImage_ = &runtime_.images->LoadImage(kParticleSheet, true);
    }
}

TKQElement* TKQDB::FindChildById(std::string_view name) const {
    for (const auto& child : Children()) {
        const std::string& id = child->Id;
        if (id.size() != name.size()) {
            continue;
        }
        bool same = true;
        for (size_t i = 0; i < id.size() && same; ++i) {
            auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
            same = up(id[i]) == up(name[i]);
        }
        if (same) {
            return child.get();
        }
    }
    return nullptr;
}

void TKQDB::SetMaxMem(int32_t bytes) {
    MaxMem = bytes;
    if (runtime_.images) {
        runtime_.images->SetMaxMemory(bytes);
    }
}

void TKQDB::Process() {
    RunScript(Script(ScriptSlot::Process), "Process");
}

namespace {

void ClearInitialized(TKQElement& e) {
    e.Initialized = false;
    for (const auto& child : e.Children()) {
        ClearInitialized(*child);
    }
}

} // namespace

void TKQDB::SetFileFonts(const std::string& value) {
    const bool same = value == FileFonts;
    FileFonts = value;
    render::FontCollection* fonts = runtime_.fonts;
    if (!fonts || (same && fonts->Count() > 0)) {
        return;
    }
    fonts->Clear();
    if (value.empty() || !runtime_.files) {
        return;
    }
    const std::optional<std::filesystem::path> archive = runtime_.files->FindLoose(value);
    if (!archive) {
        spdlog::warn("scene: the fonts archive {} is not in the game folder", value);
        return;
    }
    const int loaded = fonts->LoadArchive(*archive);
    spdlog::info("scene: {} fonts loaded from {}", loaded, value);
}

void TKQDB::InitPr() {
    ClearInitialized(*this);
    Init();
}

std::vector<TKQProp> DbProps() {
    using namespace props;
    using D = TKQDB;
    std::vector<TKQProp> list = BaseProps();
    std::vector<TKQProp> own = {
        Int("CurKey", PropType::SLong, &GetField<&D::CurKey>, &SetField<&D::CurKey>),
        Int("InitScreen", PropType::SLong, &GetField<&D::InitScreen>, &SetField<&D::InitScreen>),
        BaseScript<ScriptSlot::VarRS>("exVarRS"),
        BaseScript<ScriptSlot::Init>("exInit"),
        BaseScript<ScriptSlot::AfterLoad>("exAfterLoad"),
        BaseScript<ScriptSlot::MouseDown>("exMouseDown"),
        BaseScript<ScriptSlot::MouseUp>("exMouseUp"),
        BaseScript<ScriptSlot::Update>("exUpdate"),
        BaseScript<ScriptSlot::Process>("exProcess"),
        Str("FileRS", &GetField<&D::FileRS>, &SetVia<&D::SetFileRS>),
        Str("FileFonts", &GetField<&D::FileFonts>, &SetVia<&D::SetFileFonts>),
        Int("hxTransLev", PropType::UByte, &GetField<&D::hxTransLev>, &SetField<&D::hxTransLev>),
        Str("DefLang", &GetField<&D::DefLang>, &SetField<&D::DefLang>),
        Str("Lang", &GetField<&D::Lang>, &SetVia<&D::SetLang>),
        Int("LoadingScreen", PropType::SLong, &GetField<&D::LoadingScreen>,
            &SetField<&D::LoadingScreen>),
        NotSaveProp(),
        Script<&D::exLoadImProcess>("exLoadImProcess"),
        Str("IniFile", &GetField<&D::IniFile>, &SetVia<&D::SetIniFile>),
        Str("SoundFile", &GetField<&D::SoundFile>, &SetVia<&D::SetSoundFile>),
        Script<&D::exKeyDown>("exKeyDown"),
        Script<&D::exExit>("exExit"),
        BaseScript<ScriptSlot::MouseMove>("exMouseMove"),
        Int("MaxMem", PropType::SLong, &GetField<&D::MaxMem>, &SetVia<&D::SetMaxMem>),
        Script<&D::exCheat>("exCheat"),
        Str("Cheats", &GetField<&D::Cheats>, &SetField<&D::Cheats>),
        Bool("SaveErr", &GetField<&D::SaveErr>, &SetField<&D::SaveErr>),
        Script<&D::exSetScreen>("exSetScreen"),
        Bool("AlwaysLoadIm", &GetField<&D::AlwaysLoadIm>, &SetField<&D::AlwaysLoadIm>),
        Int("Version", PropType::SLong, &GetField<&D::Version>, &SetField<&D::Version>),
        BaseScript<ScriptSlot::MouseIn>("exMouseIn"),
        BaseScript<ScriptSlot::MouseOut>("exMouseOut"),
        TagProp(),
    };
    list.insert(list.end(), std::make_move_iterator(own.begin()),
                std::make_move_iterator(own.end()));
    return list;
}

} // namespace kq::scene
