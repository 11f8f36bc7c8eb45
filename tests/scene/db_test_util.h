// The root database's test fixture: a game folder and a user folder in a temporary folder, the
// game-files service over the game folder, a recording script host and the root.
#pragma once

#include "media/game_files.h"
#include "scene_test_util.h"

#include <filesystem>
#include <memory>
#include <string>

namespace kq::test {

struct DbFixture {
    TempDir dir;
    std::unique_ptr<media::GameFiles> files;
    RecordingHost host;
    scene::Runtime rt{TestClasses()};
    std::unique_ptr<scene::TKQDB> db;

    DbFixture() {
        std::filesystem::create_directories(GamePath());
        files = std::make_unique<media::GameFiles>(GamePath());
        rt.files = files.get();
        rt.scripts = &host;
        rt.dataDir = (dir.Path() / "user").string();
        db = std::make_unique<scene::TKQDB>(rt);
        db->Id = "Quest";
    }
    std::filesystem::path GamePath() const { return dir.Path() / "game"; }
    std::filesystem::path UserPath() const { return dir.Path() / "user" / "Kestwin" / "Quest"; }
    std::filesystem::path GameFile(const std::string& name, std::string_view bytes) const {
        return dir.Write("game/" + name, bytes);
    }
    // A scene file holding an empty root (and the given children), loaded with LoadScene.
    bool LoadScene(const std::vector<std::string>& children = {}) {
        const std::filesystem::path scene =
            GameFile("quest.kqf", ElementBlob("TKQDB", 0, "", children));
        return db->LoadScene(scene).Ok();
    }
    // Makes the Unicode mode available (a glyph table with one entry) and loads the scene.
    bool LoadUnicodeScene() {
        GameFile("unicode/unicode.fnt", "1\r\n0041 17\r\nFace\r\n");
        return LoadScene();
    }
    size_t RunsOf(std::string_view event) const {
        size_t n = 0;
        for (const auto& run : host.runs) {
            n += run.event == event;
        }
        return n;
    }
};

} // namespace kq::test
