#include "tools/pack_commands.h"

#include "media/game_files.h"
#include "media/image_test_util.h"
#include "media/store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <sstream>

namespace kq::tools {
namespace {

namespace fs = std::filesystem;

class PackCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { spdlog::set_level(spdlog::level::off); }
    void TearDown() override { spdlog::set_level(spdlog::level::info); }

    test::TempDir dir_;
    media::TextCodec codec_;
    std::ostringstream out_, err_;
};

TEST_F(PackCommandsTest, PackListExtractRoundTrip) {
    const fs::path src = dir_.Path() / "src";
    dir_.Write("src/readme.txt", "hello");
    dir_.Write("src/empty.bin", "");
    dir_.Write("src/images/rooms/hall.png", std::string("\x89PNG\0\x01", 6));
    dir_.Write("src/sounds/тема.ogg", "music");
    const fs::path pack = dir_.Path() / "game.kst";
    ASSERT_EQ(PackCommand(src, pack, codec_, out_, err_), 0) << err_.str();

    // Members: upper case in the code page, "\" separators, sorted.
    media::TKQStore store;
    ASSERT_TRUE(store.OpenPack(pack));
    ASSERT_EQ(store.Directory().size(), 4u);
    EXPECT_EQ(store.Directory()[0].name, "EMPTY.BIN");
    EXPECT_EQ(store.Directory()[1].name, "IMAGES\\ROOMS\\HALL.PNG");
    EXPECT_EQ(store.Directory()[2].name, "README.TXT");
    EXPECT_EQ(store.Directory()[3].name, "SOUNDS\\\xD2\xC5\xCC\xC0.OGG"); // "ТЕМА", cp1251
    // The player finds the Cyrillic member by the name the game uses.
    media::GameFiles files(dir_.Path() / "nowhere");
    ASSERT_TRUE(files.OpenPack(pack));
    media::GameFile music = files.Read("sounds\\\xF2\xE5\xEC\xE0.ogg"); // "тема"
    EXPECT_EQ(music.source, media::FileSource::Pack);
    EXPECT_EQ(music.bytes, "music");

    out_.str("");
    ASSERT_EQ(ListCommand(pack, codec_, out_, err_), 0);
    EXPECT_EQ(out_.str(), "         0  EMPTY.BIN\n"
                          "         6  IMAGES\\ROOMS\\HALL.PNG\n"
                          "         5  README.TXT\n"
                          "         5  SOUNDS\\ТЕМА.OGG\n");

    const fs::path target = dir_.Path() / "out";
    ASSERT_EQ(ExtractCommand(pack, target, {}, codec_, out_, err_), 0) << err_.str();
    EXPECT_EQ(test::ReadAll(target / "README.TXT"), "hello");
    EXPECT_TRUE(fs::is_regular_file(target / "EMPTY.BIN"));
    EXPECT_EQ(fs::file_size(target / "EMPTY.BIN"), 0u);
    EXPECT_EQ(test::ReadAll(target / "IMAGES" / "ROOMS" / "HALL.PNG"),
              std::string("\x89PNG\0\x01", 6));
    EXPECT_EQ(test::ReadAll(target / "SOUNDS" / "ТЕМА.OGG"), "music");

    // Packing the extracted folder gives the same pack again.
    const fs::path again = dir_.Path() / "again.kst";
    ASSERT_EQ(PackCommand(target, again, codec_, out_, err_), 0);
    EXPECT_EQ(test::ReadAll(again), test::ReadAll(pack));
}

TEST_F(PackCommandsTest, ExtractsOnlyTheNamedMembers) {
    dir_.Write("src/a/one.txt", "1");
    dir_.Write("src/b/two.txt", "2");
    dir_.Write("src/звук.wav", "3");
    const fs::path pack = dir_.Path() / "p.kst";
    ASSERT_EQ(PackCommand(dir_.Path() / "src", pack, codec_, out_, err_), 0);
    const fs::path target = dir_.Path() / "out";
    // Any case, either separator, Cyrillic in UTF-8.
    ASSERT_EQ(ExtractCommand(pack, target, {"a/One.txt", "ЗВУК.wav"}, codec_, out_, err_), 0)
        << err_.str();
    EXPECT_TRUE(fs::exists(target / "A" / "ONE.TXT"));
    EXPECT_TRUE(fs::exists(target / "ЗВУК.WAV"));
    EXPECT_FALSE(fs::exists(target / "B"));
    // A name that is not in the pack is an error.
    EXPECT_EQ(ExtractCommand(pack, target, {"missing.txt"}, codec_, out_, err_), 1);
    EXPECT_NE(err_.str().find("no member 'missing.txt'"), std::string::npos);
}

TEST_F(PackCommandsTest, ExtractionRefusesNamesThatLeaveTheFolder) {
    media::StoreWriter writer;
    writer.Add("..\\evil", "x");
    writer.Add("\\ROOT.TXT", "x");
    writer.Add("C:\\WIN.INI", "x");
    writer.Add("SAFE\\..\\..\\UP.TXT", "x");
    writer.Add("SAFE\\OK.TXT", "fine");
    const fs::path pack = dir_.Path() / "evil.kst";
    ASSERT_TRUE(writer.Write(pack));
    const fs::path target = dir_.Path() / "deep" / "out";
    EXPECT_EQ(ExtractCommand(pack, target, {}, codec_, out_, err_), 1);
    EXPECT_NE(err_.str().find("refusing member '..\\EVIL'"), std::string::npos) << err_.str();
    EXPECT_EQ(test::ReadAll(target / "SAFE" / "OK.TXT"), "fine");
    EXPECT_FALSE(fs::exists(dir_.Path() / "deep" / "EVIL"));
    EXPECT_FALSE(fs::exists(dir_.Path() / "UP.TXT"));
    EXPECT_FALSE(fs::exists(dir_.Path() / "deep" / "UP.TXT"));
    // Only the safe member was written below the target.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path() / "deep")) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(PackCommandsTest, SafeExtractPathRules) {
    EXPECT_EQ(SafeExtractPath("A\\B\\C.TXT", codec_), fs::path("A/B/C.TXT"));
    EXPECT_EQ(SafeExtractPath("A\\.\\B", codec_), fs::path("A/B"));
    EXPECT_EQ(SafeExtractPath("\xC4\xC2\xC5\xD0\xDC.PNG", codec_), fs::path("ДВЕРЬ.PNG"));
    for (std::string_view bad :
         std::initializer_list<std::string_view>{"", "\\A", "/A", "..", "A\\..\\B", "D:X",
                                                 "A\\C:\\B", ".\\.", std::string_view("A\0B", 3)}) {
        EXPECT_FALSE(SafeExtractPath(bad, codec_).has_value()) << bad;
    }
}

TEST_F(PackCommandsTest, BadInputsAreErrors) {
    EXPECT_EQ(PackCommand(dir_.Path() / "missing", dir_.Path() / "x.kst", codec_, out_, err_), 1);
    EXPECT_EQ(ListCommand(dir_.Path() / "missing.kst", codec_, out_, err_), 1);
    const fs::path junk = dir_.Write("junk.kst", "\xFF\xFF\xFF\x7F");
    EXPECT_EQ(ListCommand(junk, codec_, out_, err_), 1);
    EXPECT_EQ(ExtractCommand(junk, dir_.Path() / "o", {}, codec_, out_, err_), 1);
    EXPECT_NE(err_.str().find("is not a valid pack"), std::string::npos);

    // A file name the code page cannot hold would never be found by the player.
    dir_.Write("src/日本.txt", "x");
    EXPECT_EQ(PackCommand(dir_.Path() / "src", dir_.Path() / "y.kst", codec_, out_, err_), 1);
    EXPECT_FALSE(fs::exists(dir_.Path() / "y.kst"));
}

TEST_F(PackCommandsTest, PackInsideItsOwnFolderIsNotPackedIntoItself) {
    dir_.Write("a.txt", "a");
    const fs::path pack = dir_.Path() / "self.kst";
    ASSERT_EQ(PackCommand(dir_.Path(), pack, codec_, out_, err_), 0);
    ASSERT_EQ(PackCommand(dir_.Path(), pack, codec_, out_, err_), 0); // now it exists
    media::TKQStore store;
    ASSERT_TRUE(store.OpenPack(pack));
    ASSERT_EQ(store.Directory().size(), 1u);
    EXPECT_EQ(store.Directory()[0].name, "A.TXT");
}

// A picture with alpha, including fully transparent pixels that still carry a colour.
uint32_t FilterInputPixel(int x, int y) {
    const uint32_t alpha = (x + y) % 3 == 0 ? 0u : static_cast<uint32_t>(40 * (x + y)) & 0xFF;
    return (alpha << 24) | static_cast<uint32_t>((x * 50) << 16 | (y * 60) << 8 | (x * y * 9));
}

TEST_F(PackCommandsTest, FilterKeepsAlphaAndTransparentColours) {
    const fs::path in = dir_.Write("in.png", test::MakePng(6, 4, FilterInputPixel));
    const fs::path out = dir_.Path() / "out.png";
    // Contrast 128 on every channel: below 128 becomes 0, the rest 255.
    FilterOptions options{.filter = "12", .par1 = 128, .par2 = 128, .par3 = 128};
    ASSERT_EQ(FilterCommand(in, out, options, err_), 0) << err_.str();
    media::DecodedPicture result = media::DecodePng(test::ReadAll(out));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width, 6);
    ASSERT_EQ(result->height, 4);
    auto contrast = [](uint32_t v) { return v < 128 ? 0u : 255u; };
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const uint32_t p = FilterInputPixel(x, y);
            const uint32_t expected = (p & 0xFF000000u) | contrast((p >> 16) & 0xFF) << 16 |
                                      contrast((p >> 8) & 0xFF) << 8 | contrast(p & 0xFF);
            EXPECT_EQ(result->At(x, y), expected) << x << "," << y;
        }
    }
    // Names in any case; a shift by one column.
    options = {.filter = "FLSHIFT", .par1 = 1};
    ASSERT_EQ(FilterCommand(in, out, options, err_), 0) << err_.str();
    result = media::DecodePng(test::ReadAll(out));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->At(0, 1),
              (FilterInputPixel(0, 1) & 0xFF000000u) | (FilterInputPixel(1, 1) & 0xFFFFFFu));
    // From 16 up: a valid value that changes nothing.
    options = {.filter = "16"};
    ASSERT_EQ(FilterCommand(in, out, options, err_), 0) << err_.str();
    result = media::DecodePng(test::ReadAll(out));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->At(5, 3), FilterInputPixel(5, 3));
    EXPECT_EQ(result->At(0, 0), FilterInputPixel(0, 0));
}

TEST_F(PackCommandsTest, FilterSeedRepeatsNoise) {
    const fs::path in = dir_.Write("in.png", test::MakePng(16, 16, FilterInputPixel));
    auto run = [&](uint32_t seed, const std::string& name) {
        FilterOptions options{.filter = "flAddNoise", .par1 = 60, .seed = seed};
        EXPECT_EQ(FilterCommand(in, dir_.Path() / name, options, err_), 0) << err_.str();
        return test::ReadAll(dir_.Path() / name);
    };
    const std::string a = run(0, "a.png");
    EXPECT_EQ(run(0, "b.png"), a);
    EXPECT_NE(run(1, "c.png"), a);
    EXPECT_NE(test::ReadAll(in), a);
}

TEST_F(PackCommandsTest, FilterFailuresAreOneLine) {
    const fs::path in = dir_.Write("in.png", test::MakePng(2, 2, FilterInputPixel));
    const fs::path out = dir_.Path() / "out.png";
    auto fails = [&](const fs::path& input, const fs::path& output, const std::string& filter,
                     const std::string& message) {
        std::ostringstream err;
        EXPECT_EQ(FilterCommand(input, output, FilterOptions{.filter = filter}, err), 1) << filter;
        const std::string text = err.str();
        EXPECT_NE(text.find(message), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    };
    fails(in, out, "-1", "unknown filter '-1'");
    fails(in, out, "flWavy", "unknown filter 'flWavy'");
    fails(in, out, "", "unknown filter");
    fails(in, out, "3x", "unknown filter");
    fails(in, out, "99999999999", "unknown filter");
    fails(dir_.Path() / "missing.png", out, "1", "cannot read");
    const fs::path corrupt =
        dir_.Write("bad.png", test::MakePng(2, 2, FilterInputPixel).substr(0, 30));
    fails(corrupt, out, "1", "cannot decode");
    // The decoder's reason comes along: the file ends inside the header chunk.
    fails(corrupt, out, "1", "image file bad.png is truncated at byte");
    fails(in, dir_.Path() / "no" / "such" / "out.png", "2", "cannot write");
    EXPECT_FALSE(fs::exists(out));
}

} // namespace
} // namespace kq::tools
