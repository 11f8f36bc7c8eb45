#include "render/image_service.h"

#include "media/image_decode.h"
#include "media/image_test_util.h"
#include "media/store.h"
#include "render/recording_canvas.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kq::render {
namespace {

using test::ImageFixture;
using test::MakeMaskBmp;
using test::MakePng;

std::string SolidPng(int w, int h, uint32_t colour = 0xFF204060u) {
    return MakePng(w, h, [&](int, int) { return colour; });
}

class ImageServiceTest : public ::testing::Test {
protected:
    ImageServiceTest() : files(dir.Path()) { MakeService(); }

    void MakeService() {
        service.reset();
        service = std::make_unique<ImageService>(files, canvas, [this] { return tick; });
        service->SetLoadImagesNow(true);
    }
    void Write(const std::string& name, const std::string& bytes) { dir.Write(name, bytes); }
    void WritePack(media::StoreWriter& writer) {
        ASSERT_TRUE(writer.Write(dir.Path() / "game.kst"));
        ASSERT_TRUE(files.OpenPack("game.kst"));
    }

    test::TempDir dir;
    media::GameFiles files;
    RecordingCanvas canvas;
    uint32_t tick = 1;
    std::unique_ptr<ImageService> service;
};

// 32x16 mask values: column x gives alpha x * 8 (raw indices, whose palette colours differ).
std::vector<uint8_t> RampMask() {
    std::vector<uint8_t> values(32 * 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            values[static_cast<size_t>(y) * 32 + x] = static_cast<uint8_t>(x * 8);
        }
    }
    return values;
}

// photo.jpg is red on its left half, blue on its right; the ramp mask gives alpha x * 8.
void ExpectJpegWithRampAlpha(const TextureImage& image) {
    ASSERT_EQ(image.Width(), 32);
    ASSERT_EQ(image.Height(), 16);
    const auto left = image.Pixel(0, 4, 8);
    const auto right = image.Pixel(0, 27, 8);
    ASSERT_TRUE(left && right);
    EXPECT_EQ(*left >> 24, 32u);
    EXPECT_EQ(*right >> 24, 27u * 8);
    EXPECT_GT((*left >> 16) & 0xFF, 200u); // red from the JPEG
    EXPECT_GT(*right & 0xFF, 200u);        // blue from the JPEG
    EXPECT_EQ(image.Pixels().bitsPerPixel, 32);
}

TEST_F(ImageServiceTest, RegistersWhileLoadingIsDeferredAndCountsFirstRequests) {
    Write("a.png", SolidPng(4, 4));
    Write("b.png", SolidPng(4, 4));
    service->SetLoadImagesNow(false);
    TKQIm& a = service->LoadImage("a.png", false);
    service->LoadImage("A.PNG", false);
    TKQIm& b = service->LoadImage("b.png", true); // kept loads at once
    EXPECT_EQ(&service->LoadImage("a.PNG", false), &a);
    EXPECT_EQ(a.name, "A.PNG");
    EXPECT_EQ(a.requests, 3);
    EXPECT_FALSE(a.image);
    EXPECT_TRUE(b.image);
    EXPECT_EQ(service->ImagesToLoad(), 1);
    EXPECT_EQ(service->ImagesDone(), 1);

    // The kept flag comes from the first request only.
    EXPECT_FALSE(service->LoadImage("a.png", true).kept);
    EXPECT_FALSE(a.image);

    service->ClearImageMarks();
    service->LoadImage("a.png", false);
    EXPECT_EQ(service->ImagesToLoad(), 2); // first request since the marks were cleared

    service->SetLoadImagesNow(true);
    service->LoadImage("a.png", false);
    ASSERT_TRUE(a.image);
    EXPECT_EQ(service->ImagesDone(), 2);
    EXPECT_EQ(service->ImageMemory(), 2u * 4 * 4 * 4);
    EXPECT_EQ(service->Entries().size(), 2u);
}

TEST_F(ImageServiceTest, MissingImageFailsOnceAndIsNeverRetried) {
    TKQIm& e = service->LoadImage("gone.png", false);
    EXPECT_TRUE(e.failed);
    EXPECT_FALSE(service->GetImage(e));
    Write("gone.png", SolidPng(2, 2));
    service->LoadImage("gone.png", false);
    EXPECT_FALSE(e.image);
    EXPECT_EQ(service->ImagesDone(), 1);

    // A file that does not decode is treated the same way.
    Write("bad.png", "not a png at all");
    EXPECT_TRUE(service->LoadImage("bad.png", false).failed);
}

TEST_F(ImageServiceTest, PrefixesMakeSeparateEntriesAndAffectOnlyBmp) {
    Write("pic.png", SolidPng(2, 2, 0x80102030u));
    TKQIm& plain = service->LoadImage("pic.png", false);
    TKQIm& star = service->LoadImage("*pic.png", false);
    TKQIm& hash = service->LoadImage("#pic.png", false);
    TKQIm& both = service->LoadImage("*#pic.png", false);
    EXPECT_EQ(service->Entries().size(), 4u);
    for (TKQIm* e : {&plain, &star, &hash, &both}) {
        ASSERT_TRUE(e->image);
        EXPECT_EQ(e->image->Name(), "PIC.PNG");
        EXPECT_EQ(*e->image->Pixel(0, 0, 0), 0x80102030u);
    }
    EXPECT_EQ(star.name, "*PIC.PNG");
    EXPECT_EQ(service->Find("*pic.png"), &star);
    EXPECT_EQ(service->Find("pic.bmp"), nullptr);

    // On a BMP the prefixes convert.
    Write("c.bmp", test::MakeBmp(2, 1, 24, {}, {0xFF102030u, 0xFF010202u}));
    const TextureImage* grey = service->LoadImage("#c.bmp", false).image.get();
    ASSERT_TRUE(grey);
    EXPECT_EQ(*grey->Pixel(0, 0, 0), 0xFF202020u);
    EXPECT_EQ(*grey->Pixel(0, 1, 0), 0xFF020202u);
    const TextureImage* sil = service->LoadImage("*c.bmp", false).image.get();
    ASSERT_TRUE(sil);
    EXPECT_EQ(*sil->Pixel(0, 0, 0), 0xFFFFFFFFu);
}

TEST_F(ImageServiceTest, BmpMaskBesideJpegGivesColourFromJpegAlphaFromIndices) {
    Write("images/HERO.jpg", ImageFixture("photo.jpg"));
    Write("images/HERO_1.BMP", MakeMaskBmp(32, 16, RampMask()));
    TKQIm& e = service->LoadImage("images\\HERO_1.BMP", false);
    ASSERT_TRUE(e.image);
    ExpectJpegWithRampAlpha(*e.image);
    EXPECT_EQ(e.image->MaskName(), "images\\HERO_1.BMP");
    // Column 0 has alpha 0, so the bounds start at column 1.
    EXPECT_EQ(e.left, 1);
    EXPECT_EQ(e.top, 0);
    EXPECT_EQ(e.right, 31);
    EXPECT_EQ(e.bottom, 15);

    // Silhouette of the paired picture: alpha as grey; grey keeps the mask's alpha.
    TKQIm& s = service->LoadImage("*images\\hero_1.bmp", false);
    ASSERT_TRUE(s.image);
    EXPECT_EQ(*s.image->Pixel(0, 10, 3), 0x50505050u);
    TKQIm& g = service->LoadImage("#images\\hero_1.bmp", false);
    ASSERT_TRUE(g.image);
    const uint32_t p = *g.image->Pixel(0, 4, 8);
    EXPECT_EQ(p >> 24, 32u);
    EXPECT_EQ((p >> 16) & 0xFF, p & 0xFF);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 85, 8); // mean of pure red
}

TEST_F(ImageServiceTest, JpegWithUnderscoreFindsItsBmpMask) {
    Write("HERO_1.JPG", ImageFixture("photo.jpg"));
    Write("HERO.bmp", MakeMaskBmp(32, 16, RampMask()));
    TKQIm& e = service->LoadImage("HERO_1.JPG", false);
    ASSERT_TRUE(e.image);
    ExpectJpegWithRampAlpha(*e.image);
    EXPECT_EQ(e.image->MaskName(), "HERO.bmp");
    // Without a partner the JPEG stays opaque with whole-image bounds.
    Write("LONE_1.JPG", ImageFixture("photo.jpg"));
    TKQIm& lone = service->LoadImage("LONE_1.JPG", false);
    ASSERT_TRUE(lone.image);
    EXPECT_EQ(*lone.image->Pixel(0, 0, 0) >> 24, 255u);
    EXPECT_TRUE(lone.image->MaskName().empty());
    EXPECT_EQ(lone.right, 31);
}

TEST_F(ImageServiceTest, BmpBesideJpegWithTrailingUnderscore) {
    Write("BALL_.jpg", ImageFixture("photo.jpg"));
    Write("BALL.BMP", MakeMaskBmp(32, 16, RampMask()));
    TKQIm& e = service->LoadImage("ball.bmp", false);
    ASSERT_TRUE(e.image);
    ExpectJpegWithRampAlpha(*e.image);
    // A plain BMP without partners keeps its own colours (index 0 is white in this palette).
    Write("PLAIN.BMP", MakeMaskBmp(2, 1, {0, 255}));
    TKQIm& plain = service->LoadImage("plain.bmp", false);
    ASSERT_TRUE(plain.image);
    EXPECT_EQ(*plain.image->Pixel(0, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(*plain.image->Pixel(0, 1, 0), 0xFF000000u);
}

TEST_F(ImageServiceTest, SheetCutsPatternsAndSizesTextures) {
    // 300x200, pattern k filled with colour k.
    Write("sheet.png", MakePng(300, 200, [](int x, int y) {
              return 0xFF000000u | static_cast<uint32_t>(x / 100 + 3 * (y / 100));
          }));
    Write("sheet.an", "3\r\n2\r\n");
    TKQIm& e = service->LoadImage("sheet.png", false);
    ASSERT_TRUE(e.image);
    const TextureImage& im = *e.image;
    EXPECT_EQ(im.PatternWidth(), 100);
    EXPECT_EQ(im.PatternHeight(), 100);
    EXPECT_EQ(im.TextureWidth(), 102);
    EXPECT_EQ(im.TextureHeight(), 102);
    EXPECT_EQ(im.PatternCount(), 6);
    EXPECT_EQ(canvas.PatternCount(im.Texture()), 6);
    EXPECT_EQ(canvas.PatternSize(im.Texture()), (SizeI{100, 100}));
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(*im.Pixel(k, 99, 0), 0xFF000000u | static_cast<uint32_t>(k));
    }
    EXPECT_FALSE(im.Pixel(6, 0, 0));
    EXPECT_FALSE(im.Pixel(0, 100, 0));

    Write("odd.png", SolidPng(303, 202));
    Write("odd.an", "3\n2");
    TKQIm& odd = service->LoadImage("odd.png", false);
    ASSERT_TRUE(odd.image);
    EXPECT_EQ(odd.image->TextureWidth(), 104);
    EXPECT_EQ(odd.image->TextureHeight(), 104);
    // The texture holds the patterns only: the leftover column and row are cut.
    EXPECT_EQ(canvas.TextureSize(odd.image->Texture()), (SizeI{303, 202}));
    EXPECT_EQ(canvas.PatternCount(odd.image->Texture()), 6);

    // An unreadable description means one pattern.
    Write("junk.png", SolidPng(10, 10));
    Write("junk.an", "three\ntwo\n");
    TKQIm& junk = service->LoadImage("junk.png", false);
    ASSERT_TRUE(junk.image);
    EXPECT_EQ(junk.image->PatternCount(), 1);
}

TEST_F(ImageServiceTest, WideSheetIsRearrangedKeepingPatternNumbers) {
    // 9 patterns of 1000x4 side by side: wider than any texture.
    Write("strip.png", MakePng(9000, 4, [](int x, int) {
              return 0xFF000000u | static_cast<uint32_t>(x / 1000);
          }));
    Write("strip.an", "9\n1\n");
    TKQIm& e = service->LoadImage("strip.png", false);
    ASSERT_TRUE(e.image);
    const TextureId t = e.image->Texture();
    const SizeI size = canvas.TextureSize(t);
    EXPECT_LE(size.width, kMaxTextureSide);
    const int columns = size.width / 1000;
    for (int k = 0; k < 9; ++k) {
        auto texel = canvas.ReadPixel(t, (k % columns) * 1000 + 500, (k / columns) * 4 + 2);
        ASSERT_TRUE(texel);
        EXPECT_EQ(*texel, 0xFF000000u | static_cast<uint32_t>(k));
    }
    // A single pattern larger than a texture cannot be uploaded.
    Write("huge.png", SolidPng(kMaxTextureSide + 1, 1));
    EXPECT_TRUE(service->LoadImage("huge.png", false).failed);
}

TEST_F(ImageServiceTest, OpaqueBoundsFollowAlphaOrCoverTheImage) {
    Write("spot.png", MakePng(10, 8, [](int x, int y) {
              return (x >= 2 && x <= 6 && y >= 3 && y <= 4) ? 0x01000000u : 0u;
          }));
    TKQIm& spot = service->LoadImage("spot.png", false);
    EXPECT_EQ(std::tie(spot.left, spot.top, spot.right, spot.bottom), std::make_tuple(2, 3, 6, 4));
    Write("clear.png", SolidPng(10, 8, 0x00FFFFFFu));
    TKQIm& clear = service->LoadImage("clear.png", false);
    EXPECT_EQ(std::tie(clear.left, clear.top, clear.right, clear.bottom),
              std::make_tuple(0, 0, 9, 7));
}

TEST_F(ImageServiceTest, PackFallbackWithSheetAndPairingInsideThePack) {
    media::StoreWriter writer;
    writer.Add("IMAGES\\HERO.JPG", ImageFixture("photo.jpg"));
    writer.Add("IMAGES\\HERO_1.BMP", MakeMaskBmp(32, 16, RampMask()));
    writer.Add("IMAGES\\ROW.PNG", SolidPng(40, 10));
    writer.Add("IMAGES\\ROW.AN", "4\n1\n");
    writer.Add("IMAGES\\BOTH.PNG", SolidPng(5, 5, 0xFF0000FFu));
    WritePack(writer);
    // A loose file wins over the member of the same name.
    Write("images/both.png", SolidPng(6, 6, 0xFF00FF00u));
    // A loose ".an" beside a pack image is not consulted: probes follow the main file.
    Write("images/row.an", "2\n1\n");

    TKQIm& hero = service->LoadImage("images\\hero_1.bmp", false);
    ASSERT_TRUE(hero.image);
    EXPECT_EQ(hero.image->Source(), media::FileSource::Pack);
    ExpectJpegWithRampAlpha(*hero.image);

    TKQIm& row = service->LoadImage("Images\\Row.png", false);
    ASSERT_TRUE(row.image);
    EXPECT_EQ(row.image->PatternCount(), 4);
    EXPECT_EQ(row.image->PatternWidth(), 10);

    TKQIm& both = service->LoadImage("images\\both.png", false);
    ASSERT_TRUE(both.image);
    EXPECT_EQ(both.image->Source(), media::FileSource::Loose);
    EXPECT_EQ(both.image->Width(), 6);
}

TEST_F(ImageServiceTest, FreeUnusedReleasesUnrequestedButKeepsMemoryCount) {
    for (const char* n : {"a.png", "b.png", "k.png"}) {
        Write(n, SolidPng(2, 2));
    }
    TKQIm& a = service->LoadImage("a.png", false);
    TKQIm& b = service->LoadImage("b.png", false);
    TKQIm& k = service->LoadImage("k.png", true);
    EXPECT_EQ(canvas.TextureCount(), 3u);
    service->ClearImageMarks();
    service->LoadImage("b.png", false);
    service->FreeUnusedImages();
    EXPECT_FALSE(a.image);
    EXPECT_TRUE(b.image);
    EXPECT_TRUE(k.image);
    EXPECT_EQ(canvas.TextureCount(), 2u);
    EXPECT_EQ(service->ImageMemory(), 3u * 16);
    // A released entry loads again on request.
    service->LoadImage("a.png", false);
    EXPECT_TRUE(a.image);
    EXPECT_EQ(service->ImageMemory(), 4u * 16);
}

TEST_F(ImageServiceTest, GetImageStampsAndAlwaysLoadRequestsAgain) {
    Write("a.png", SolidPng(2, 2));
    TKQIm& a = service->LoadImage("a.png", false);
    EXPECT_EQ(a.lastUse, 1u);
    tick = 7;
    EXPECT_EQ(service->GetImage(a), a.image.get());
    EXPECT_EQ(a.lastUse, 7u);
    service->Release(a);
    EXPECT_FALSE(service->GetImage(a));
    service->SetAlwaysLoad(true);
    tick = 9;
    const TextureImage* again = service->GetImage(a);
    ASSERT_TRUE(again);
    EXPECT_EQ(a.lastUse, 9u);
    EXPECT_EQ(service->ImagesDone(), 2);
}

TEST_F(ImageServiceTest, EvictionReleasesOldestFirstSkippingFirstEntryAndKept) {
    // Every picture is 10x10: 400 bytes.
    const char* names[] = {"first.png", "old.png", "kept.png", "old2.png", "mid.png", "new.png"};
    const uint32_t stamps[] = {0, 2, 1, 2, 5, 9};
    for (int i = 0; i < 6; ++i) {
        Write(names[i], SolidPng(10, 10));
        tick = stamps[i];
        service->LoadImage(names[i], std::string(names[i]) == "kept.png");
    }
    EXPECT_EQ(service->ImageMemory(), 6u * 400);
    // Releasable: old, old2, mid, new = 1600 bytes. Limit 900: releasing the two oldest (stamp
    // 2) leaves 800, below the limit.
    service->SetMaxMemory(900);
    service->EvictImages();
    auto loaded = [&](const char* n) { return service->Find(n)->image != nullptr; };
    EXPECT_TRUE(loaded("first.png"));
    EXPECT_TRUE(loaded("kept.png"));
    EXPECT_FALSE(loaded("old.png"));
    EXPECT_FALSE(loaded("old2.png"));
    EXPECT_TRUE(loaded("mid.png"));
    EXPECT_TRUE(loaded("new.png"));
    EXPECT_EQ(service->ImageMemory(), 800u);

    // Limit 500: mid goes (stamp 5), 400 left.
    service->SetMaxMemory(500);
    service->EvictImages();
    EXPECT_FALSE(loaded("mid.png"));
    EXPECT_TRUE(loaded("new.png"));
    EXPECT_EQ(service->ImageMemory(), 400u);

    // Nothing releasable below the limit: the loop ends and the count is what stays releasable.
    service->SetMaxMemory(1);
    service->EvictImages();
    EXPECT_FALSE(loaded("new.png"));
    EXPECT_TRUE(loaded("first.png"));
    EXPECT_TRUE(loaded("kept.png"));
    EXPECT_EQ(service->ImageMemory(), 0u);
}

TEST_F(ImageServiceTest, EvictionRunsAfterLoadOnlyAboveThresholdWithHeadroom) {
    Write("first.png", SolidPng(2, 2));
    Write("a.png", SolidPng(2, 2));
    Write("b.png", SolidPng(2, 2));
    service->LoadImage("first.png", false);
    tick = 2;
    service->LoadImage("a.png", false);

    // 20000000 is at or below the threshold: never evicts, however full.
    service->SetMaxMemory(20000000);
    service->SetImageMemory(90000000);
    tick = 3;
    service->LoadImage("b.png", false);
    EXPECT_TRUE(service->Find("a.png")->image);
    EXPECT_EQ(service->ImageMemory(), 90000016u);

    // 30000000 with 33000001 counted (more than 10 % over): eviction runs after the next load.
    service->SetMaxMemory(30000000);
    service->SetImageMemory(33000001 - 16);
    Write("c.png", SolidPng(2, 2));
    tick = 4;
    service->LoadImage("c.png", false);
    EXPECT_FALSE(service->Find("a.png")->image);
    EXPECT_TRUE(service->Find("first.png")->image);
    // The real pictures are far below the limit once the oldest went.
    EXPECT_EQ(service->ImageMemory(), 2u * 16);
}

TEST_F(ImageServiceTest, ReloadAllKeepsStampsAndRecreatesTextures) {
    Write("a.png", SolidPng(3, 3));
    Write("b.png", SolidPng(3, 3));
    tick = 4;
    TKQIm& a = service->LoadImage("a.png", false);
    tick = 6;
    TKQIm& b = service->LoadImage("b.png", false);
    service->LoadImage("gone.png", false);
    service->SetImageMemory(12345);
    service->SetLoadImagesNow(false);
    const TextureId oldA = a.image->Texture();
    tick = 50;
    service->ReloadAll();
    ASSERT_TRUE(a.image && b.image);
    EXPECT_NE(a.image->Texture(), oldA);
    EXPECT_FALSE(canvas.IsTexture(oldA));
    EXPECT_EQ(a.lastUse, 4u);
    EXPECT_EQ(b.lastUse, 6u);
    EXPECT_EQ(service->ImageMemory(), 2u * 36);
    EXPECT_FALSE(service->LoadImagesNow());
    EXPECT_EQ(canvas.TextureCount(), 2u);
}

TEST_F(ImageServiceTest, ProgressHandlerRunsAfterEachLoad) {
    Write("a.png", SolidPng(2, 2));
    Write("b.png", SolidPng(2, 2));
    int calls = 0;
    service->SetLoadProgressHandler([&] { ++calls; });
    service->LoadImage("a.png", false);
    EXPECT_EQ(calls, 1);
    service->LoadImage("b.png", false);
    service->LoadImage("b.png", false); // already loaded: no load, no call
    service->LoadImage("missing.png", false);
    EXPECT_EQ(calls, 2);
}

TEST_F(ImageServiceTest, DestructionFreesEveryTexture) {
    Write("a.png", SolidPng(2, 2));
    Write("b.png", SolidPng(2, 2));
    service->LoadImage("a.png", false);
    service->LoadImage("b.png", true);
    EXPECT_EQ(canvas.TextureCount(), 2u);
    service.reset();
    EXPECT_EQ(canvas.TextureCount(), 0u);
}

} // namespace
} // namespace kq::render
