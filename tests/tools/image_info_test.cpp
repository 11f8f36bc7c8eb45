// kqpack image: a picture loaded exactly as the player would, described as one JSON line.
#include "media/image_decode.h"
#include "media/store.h"
#include "support/test_support.h"
#include "tools/image_info.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace kq::test {
namespace {

// A w x h picture, transparent but for an opaque block [2, 5] x [1, 3].
std::string PngWithOpaqueBlock(int w, int h) {
    media::Picture picture;
    picture.width = w;
    picture.height = h;
    picture.bitsPerPixel = 32;
    picture.pixels.assign(static_cast<size_t>(w * h), 0x00000000u);
    for (int y = 1; y <= 3; ++y) {
        for (int x = 2; x <= 5; ++x) {
            picture.pixels[static_cast<size_t>(y * w + x)] = 0xFF336699u;
        }
    }
    return media::EncodePng(picture);
}

TEST(ImageInfo, DescribesLooseAndPackedPicturesAndFailsClearly) {
    TempDir game;
    game.Write("game.kqf", "");
    game.Write("Images/Door.png", PngWithOpaqueBlock(10, 6));
    media::StoreWriter pack;
    pack.Add("images\\sign.png", PngWithOpaqueBlock(8, 8));
    ASSERT_TRUE(pack.Write(game.Path() / "game.kst"));

    const auto png = game.Path() / "out.png";
    auto loose = tools::DescribeImage(game.Path() / "game.kqf", "images\\DOOR.PNG", png);
    ASSERT_TRUE(loose.ok) << loose.error;
    auto j = nlohmann::json::parse(loose.json);
    EXPECT_EQ(j["source"], "file");
    EXPECT_EQ(j["width"], 10);
    EXPECT_EQ(j["height"], 6);
    EXPECT_EQ(j["pattern_width"], 10);
    EXPECT_EQ(j["texture_width"], 12); // pattern + 2, rounded up to even
    EXPECT_EQ(j["bounds"], nlohmann::json::array({2, 1, 5, 3}));
    EXPECT_TRUE(j["mask"].is_null());
    auto decoded = media::DecodeImage(ReadAll(png), "out.png");
    ASSERT_TRUE(decoded.Ok());
    EXPECT_EQ(decoded->width, 10);

    auto packed = tools::DescribeImage(game.Path(), "Images/Sign.png", std::nullopt);
    ASSERT_TRUE(packed.ok) << packed.error;
    EXPECT_EQ(nlohmann::json::parse(packed.json)["source"], "pack");

    auto missing = tools::DescribeImage(game.Path(), "images\\none.png", std::nullopt);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.empty());
}

// The pack is found without regard to case (Game.KQF beside GAME.KST or game.kst), and a game
// named relative to the current folder is not joined to its folder twice.
TEST(ImageInfo, FindsThePackInAnyCaseFromRelativePaths) {
    TempDir root;
    for (const std::string packName : {"GAME.KST", "game.kst"}) {
        SCOPED_TRACE(packName);
        const std::filesystem::path folder = root.Path() / ("g-" + packName);
        root.Write("g-" + packName + "/Game.KQF", "");
        media::StoreWriter pack;
        pack.Add("images\\sign.png", PngWithOpaqueBlock(8, 8));
        ASSERT_TRUE(pack.Write(folder / packName));

        auto named = tools::DescribeImage(folder / "Game.KQF", "Images/Sign.png", std::nullopt);
        ASSERT_TRUE(named.ok) << named.error;
        EXPECT_EQ(nlohmann::json::parse(named.json)["source"], "pack");
        const CurrentFolder above(root.Path());
        auto relative = tools::DescribeImage(std::filesystem::path("g-" + packName) / "Game.KQF",
                                             "images\\sign.png", std::nullopt);
        ASSERT_TRUE(relative.ok) << relative.error;
        EXPECT_EQ(nlohmann::json::parse(relative.json)["source"], "pack");
    }
}

} // namespace
} // namespace kq::test
