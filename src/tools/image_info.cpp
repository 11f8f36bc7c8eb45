#include "tools/image_info.h"

#include "media/game_files.h"
#include "media/image_decode.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <vector>

namespace kq::tools {

namespace fs = std::filesystem;

namespace {

bool HasExtension(const fs::path& p, std::string_view ext) {
    return media::UpperAscii(p.extension().string()) == media::UpperAscii(ext);
}

// Regular files of a folder with the given extension, sorted by name.
std::vector<fs::path> FilesWithExtension(const fs::path& folder, std::string_view ext) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && HasExtension(it->path(), ext)) {
            found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

GameLocation LocateGame(const fs::path& game) {
    GameLocation location;
    std::error_code ec;
    fs::path gameFile;
    if (fs::is_directory(game, ec)) {
        location.folder = fs::absolute(game, ec);
        const auto games = FilesWithExtension(location.folder, ".kqf");
        if (!games.empty()) {
            gameFile = games.front();
        }
    } else {
        gameFile = media::ResolveGameFile(game);
        location.folder = gameFile.parent_path();
    }
    if (!gameFile.empty()) {
        // Found without regard to case when the game files open it.
        location.pack = location.folder / media::GameFiles::PackNameFor(gameFile);
    } else {
        const auto packs = FilesWithExtension(location.folder, ".kst");
        if (!packs.empty()) {
            location.pack = packs.front();
        }
    }
    return location;
}

ImageInfoResult DescribeImage(const fs::path& game, std::string_view nameUtf8,
                              const std::optional<fs::path>& pngOut, const std::string& codePage) {
    ImageInfoResult result;
    const GameLocation location = LocateGame(game);
    media::GameFiles files(location.folder, codePage);
    if (location.pack) {
        files.OpenPack(*location.pack);
    }
    render::RecordingCanvas canvas;
    render::ImageService service(files, canvas, [] { return 0u; });
    service.SetLoadImagesNow(true);

    const std::string name = files.Codec().FromUtf8(nameUtf8);
    render::TKQIm& entry = service.LoadImage(name, false);
    const render::TextureImage* image = service.GetImage(entry);
    if (image == nullptr) {
        result.error = "image '" + std::string(nameUtf8) + "' is missing or cannot be loaded";
        return result;
    }

    nlohmann::ordered_json json;
    json["name"] = std::string(nameUtf8);
    json["source"] = image->Source() == media::FileSource::Pack ? "pack" : "file";
    json["width"] = image->Width();
    json["height"] = image->Height();
    json["columns"] = image->Layout().columns;
    json["rows"] = image->Layout().rows;
    json["pattern_width"] = image->PatternWidth();
    json["pattern_height"] = image->PatternHeight();
    json["texture_width"] = image->TextureWidth();
    json["texture_height"] = image->TextureHeight();
    json["bounds"] = {entry.left, entry.top, entry.right, entry.bottom};
    if (image->MaskName().empty()) {
        json["mask"] = nullptr;
    } else {
        json["mask"] = files.Codec().ToUtf8(image->MaskName());
    }
    result.json = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);

    if (pngOut) {
        const std::string png = media::EncodePng(image->Pixels());
        std::ofstream out(*pngOut, std::ios::binary | std::ios::trunc);
        out.write(png.data(), static_cast<std::streamsize>(png.size()));
        if (png.empty() || !out) {
            result.error = "cannot write '" + pngOut->string() + "'";
            return result;
        }
    }
    result.ok = true;
    return result;
}

int ImageCommand(const fs::path& game, std::string_view nameUtf8,
                 const std::optional<fs::path>& pngOut, const std::string& codePage,
                 std::ostream& out, std::ostream& err) {
    const ImageInfoResult result = DescribeImage(game, nameUtf8, pngOut, codePage);
    if (!result.json.empty()) {
        out << result.json << '\n';
    }
    if (!result.ok) {
        err << "kqpack: " << result.error << '\n';
        return 1;
    }
    return 0;
}

} // namespace kq::tools
