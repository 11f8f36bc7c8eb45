// A small game on disk for the tests of how a game is found and read from different current
// folders: a language file and a sound table in the pack, and a loose picture whose name on
// disk has another letter case than the scene gives.
#pragma once

#include "elements/classes.h"
#include "media/image_decode.h"
#include "media/store.h"
#include "scene/blob.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kq::test {

// The alpha of the picture's only pixel, so a script can tell that the picture was found.
inline constexpr int kPathsHeroAlpha = 0x80;

inline void SetPathsProp(scene::TKQElement& e, std::string_view name, scene::PropValue v) {
    const scene::TKQProp* p = e.ClassEntry().FindProp(name);
    ASSERT_NE(p, nullptr) << name;
    ASSERT_TRUE(p->set(e, v)) << name;
}

// The root "Paths" with the screen MAIN (Key 3, first screen) holding the image HERO (Key 4,
// picture "IMAGES\HERO.PNG"). Each step MAIN's Tag becomes the title, ":" and the alpha of
// HERO's picture, "Paths:128" when the language file, the included script that reads the title
// and the picture were all found.
inline std::string PathsScene() {
    scene::Runtime rt(elements::ElementClasses());
    scene::TKQDB db(rt);
    db.Id = "Paths";
    scene::TKQElement* screen = rt.classes.CreateChild(db, "TKQScreen");
    EXPECT_NE(screen, nullptr);
    if (!screen) {
        return {};
    }
    SetPathsProp(*screen, "Key", int32_t{3});
    SetPathsProp(*screen, "Id", std::string("Main"));
    SetPathsProp(*screen, "exProcess",
                 std::string("INCLUDE 'SCRIPTS\\TITLE.PAS';"
                             "Tag := T + ':' + IntToStr(GetAlpha(HERO, 0, 0));"));
    scene::TKQElement* hero = rt.classes.CreateChild(*screen, "TKQImage");
    EXPECT_NE(hero, nullptr);
    if (!hero) {
        return {};
    }
    SetPathsProp(*hero, "Key", int32_t{4});
    SetPathsProp(*hero, "Id", std::string("Hero"));
    SetPathsProp(*hero, "imImage", std::string("IMAGES\\HERO.PNG"));
    SetPathsProp(db, "Lang", std::string("eng.lng"));
    SetPathsProp(db, "SoundFile", std::string("sounds.ini"));
    SetPathsProp(db, "InitScreen", int32_t{3});
    SetPathsProp(db, "CurKey", int32_t{4});
    return scene::SaveElementBlob(db);
}

// Writes the game below dir: folder/gameName (the scene), the pack named packName beside it,
// the picture as "Images/Hero.png" and the included script as "Scripts/Title.pas". Returns
// the game file.
inline std::filesystem::path WritePathsGame(const TempDir& dir, const std::string& folder,
                                            const std::string& gameName,
                                            const std::string& packName) {
    const std::filesystem::path game = dir.Write(folder + "/" + gameName, PathsScene());
    media::StoreWriter pack;
    pack.Add("ENG.LNG", "[Default]\r\nTitle=Paths\r\n[Menu]\r\nStart=Go\r\n");
    pack.Add("SOUNDS.INI", "[Door]\r\nOpen=70:door.wav\r\n");
    EXPECT_TRUE(pack.Write(game.parent_path() / packName));
    media::Picture picture;
    picture.width = 1;
    picture.height = 1;
    picture.bitsPerPixel = 32;
    picture.pixels = {static_cast<uint32_t>(kPathsHeroAlpha) << 24 | 0x336699u};
    dir.Write(folder + "/Images/Hero.png", media::EncodePng(picture));
    dir.Write(folder + "/Scripts/Title.pas", "T := GetText('Title');");
    return game;
}

} // namespace kq::test
