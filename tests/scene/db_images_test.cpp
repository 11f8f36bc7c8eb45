// The root's part in image memory: the particle sheet as the first entry and the memory limit
// that reaches the image service.
#include "db_test_util.h"

#include "render/image_service.h"
#include "render/recording_canvas.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

// An 8-bit run-length BMP of width x height that ends at once: every pixel index 0. Large
// pictures in a few bytes.
std::string BlankBmp(int width, int height) {
    Bytes b;
    b.Raw("BM").I32(0).I32(0).I32(14 + 40 + 4);
    b.I32(40).I32(width).I32(height).U16(1).U16(8).I32(1).I32(2).I32(0).I32(0).I32(1).I32(0);
    b.U8(0x40).U8(0x30).U8(0x20).U8(0);
    b.U8(0).U8(1);
    return b.Data();
}

void SetMaxMem(scene::TKQDB& db, int32_t bytes) {
    const scene::TKQProp* prop = db.ClassEntry().FindProp("MaxMem");
    ASSERT_NE(prop, nullptr);
    prop->set(db, scene::PropValue{bytes});
}

struct ImagesFixture : DbFixture {
    render::RecordingCanvas canvas;
    uint32_t tick = 1;
    std::unique_ptr<render::ImageService> images;

    ImagesFixture() {
        images = std::make_unique<render::ImageService>(*files, canvas, [this] { return tick; });
        rt.images = images.get();
        // As the player does: requests made while the game is read only register.
        images->SetLoadImagesNow(false);
    }
    ~ImagesFixture() { db.reset(); } // the root goes before the image service it used
};

TEST(DbImages, ParticleSheetIsTheFirstEntryKeptAndLoaded) {
    ImagesFixture f;
    f.GameFile("particles.bmp", BlankBmp(8, 8));
    ASSERT_TRUE(f.LoadScene());
    const auto& entries = f.images->Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0]->name, "PARTICLES.BMP");
    EXPECT_TRUE(entries[0]->kept);
    EXPECT_TRUE(entries[0]->image); // kept requests load even while the game is read
    EXPECT_EQ(f.db->ParticleImage(), entries[0].get());

    // Reading another scene does not add a second entry.
    ASSERT_TRUE(f.LoadScene());
    EXPECT_EQ(f.images->Entries().size(), 1u);
}

TEST(DbImages, MaxMemReachesTheImageServiceAndEvictsScenePictures) {
    ImagesFixture f;
    f.GameFile("particles.bmp", BlankBmp(8, 8));
    // 1900 x 1900 pixels count 14440000 bytes each: two are more than 10 % over 26000000.
    f.GameFile("first.bmp", BlankBmp(1900, 1900));
    f.GameFile("second.bmp", BlankBmp(1900, 1900));
    ASSERT_TRUE(f.LoadScene());
    SetMaxMem(*f.db, 26000000);
    EXPECT_EQ(f.db->MaxMem, 26000000);
    EXPECT_EQ(f.images->MaxMemory(), 26000000);

    f.images->SetLoadImagesNow(true);
    render::TKQIm& first = f.images->LoadImage("first.bmp", false);
    ASSERT_TRUE(first.image);
    f.tick = 2;
    render::TKQIm& second = f.images->LoadImage("second.bmp", false);
    ASSERT_TRUE(second.image);
    // The first scene picture is not the exempt first entry: it was the oldest, so it went.
    EXPECT_FALSE(first.image);
    EXPECT_TRUE(f.db->ParticleImage()->image);
    EXPECT_EQ(f.images->ImageMemory(), 14440000u);

    // A limit at or below 25000000 never evicts.
    SetMaxMem(*f.db, 20000000);
    EXPECT_EQ(f.images->MaxMemory(), 20000000);
    f.tick = 3;
    f.images->LoadImage("first.bmp", false);
    EXPECT_TRUE(first.image);
    EXPECT_TRUE(second.image);
}

} // namespace
} // namespace kq::test
