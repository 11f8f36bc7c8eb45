#include "shell/game_loading.h"

#include "media/game_files.h"
#include "render/image_service.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/script_runtime.h"

#include <spdlog/spdlog.h>

namespace kq::shell {

void ReadScriptsFromGame(scene::ScriptRuntime& scripts, media::GameFiles& files) {
    scripts.Env().readFile = [&files](std::string_view name) -> std::optional<std::string> {
        media::GameFile file = files.Read(name);
        if (file.source == media::FileSource::None) {
            return std::nullopt;
        }
        return std::move(file.bytes);
    };
}

bool LoadGameScene(scene::TKQDB& db, scene::Runtime& rt, const std::filesystem::path& gameFile) {
    rt.loadImagesNow = false;
    if (rt.images) {
        rt.images->SetLoadImagesNow(false);
    }
    bool ok = false;
    if (!gameFile.empty()) {
        const media::LoadResult loaded = db.LoadScene(gameFile);
        if (!loaded) {
            spdlog::error("{}; the game file is damaged, running what could be read",
                          loaded.Error().Message("scene"));
        }
        ok = loaded.Ok();
    }
    rt.loadImagesNow = true;
    if (rt.images) {
        rt.images->SetLoadImagesNow(true);
        rt.images->SetAlwaysLoad(db.AlwaysLoadIm);
    }
    return ok;
}

} // namespace kq::shell
