// Masked layers drawn through the OpenGL canvas: a layer lit through a soft round mask that is
// smaller than the layer (only the first mask-area pixels, in row order, take the mask), a
// waving shape effect, and an effect whose filter has no valid mask to run with. Checked
// against reference PNGs and by pixels.
#include "elements/image.h"
#include "elements/shape.h"
#include "elements_test_util.h"
#include "render/gl_fixture.h"
#include "scene/render_targets.h"

#include <cmath>

namespace kq::elements {
namespace {

constexpr uint32_t kBackground = 0xFF404040u;

// A checker of two colours with a white top row: shows shifts, waves and rows.
uint32_t Checker(int x, int y) {
    if (y == 0) {
        return 0xFFFFFFFFu;
    }
    return ((x / 8 + y / 8) % 2) ? 0xFFE02020u : 0xFF2060E0u;
}

struct GlLayers {
    explicit GlLayers(render::GlCanvas& gl) : gl(gl) {
        dir.Write("checker.png", test::MakePng(64, 48, Checker));
        // Opaque in the middle, fading to transparent at the rim.
        dir.Write("spot.png", test::MakePng(32, 32, [](int x, int y) {
                      const double d = std::hypot(x - 15.5, y - 15.5) / 16.0;
                      const double a = std::clamp(1.0 - d, 0.0, 1.0);
                      return (static_cast<uint32_t>(std::lround(a * 255)) << 24) | 0xFFFFFFu;
                  }));
        dir.Write("solid.png", test::MakePng(64, 48, [](int, int) { return 0xFFFFFFFFu; }));
        images.SetLoadImagesNow(true);
        rt.canvas = &gl;
        rt.images = &images;
        rt.loadImagesNow = true;
        screen = rt.classes.CreateChild(db, "TKQScreen");
    }
    template <class T = TKQShape>
    T& Layer(int32_t key, int w, int h, const std::string& picture, int x, int y) {
        auto* s = static_cast<T*>(rt.classes.CreateChild(
            *screen, std::is_same_v<T, TKQShapeEff> ? "TKQShapeEff" : "TKQShape"));
        s->Key = key;
        s->SizeX = w;
        s->SizeY = h;
        s->Masked = true;
        s->SetX(x);
        s->SetY(y);
        auto* im = static_cast<TKQImage*>(rt.classes.CreateChild(*s, "TKQImage"));
        im->SetImImage(picture);
        return *s;
    }
    // One frame: the layers composed in order, then drawn over the background.
    std::vector<uint32_t> Frame(std::initializer_list<TKQShape*> layers) {
        for (TKQShape* s : layers) {
            s->Compose();
        }
        gl.BeginFrame();
        gl.Clear(kBackground);
        for (TKQShape* s : layers) {
            if (s->Vis) {
                s->Render(s->Order, 0xFFFFFFFFu, 0, 0, false);
            }
        }
        gl.EndFrame();
        return gl.ReadScreen();
    }
    static std::vector<uint32_t> Crop(const std::vector<uint32_t>& px, int w, int h) {
        std::vector<uint32_t> out;
        for (int y = 0; y < h; ++y) {
            const auto row = px.begin() + static_cast<ptrdiff_t>(y) * render::kSceneWidth;
            out.insert(out.end(), row, row + w);
        }
        return out;
    }
    static uint32_t At(const std::vector<uint32_t>& px, int x, int y) {
        return px[static_cast<size_t>(y) * render::kSceneWidth + static_cast<size_t>(x)];
    }

    render::GlCanvas& gl;
    test::TempDir dir;
    media::GameFiles files{dir.Path()};
    uint32_t tick = 1;
    render::ImageService images{files, gl, [this] { return tick; }};
    scene::Runtime rt{ElementClasses()};
    scene::TKQDB db{rt};
    scene::TKQElement* screen = nullptr;
};

TEST(ShapeLayerPicture, ASmallSoftMaskLightsTheFirstRowsOfTheLayer) {
    KQ_REQUIRE_GL(gl);
    GlLayers f(*gl);
    TKQShape& mask = f.Layer(1, 32, 32, "spot.png", 0, 0);
    mask.Vis = false;
    TKQShape& lit = f.Layer(2, 64, 48, "checker.png", 10, 20);
    lit.SetObMask(1);
    const std::vector<uint32_t> px = f.Frame({&mask, &lit});
    // The 32 x 32 mask's 1024 pixels cover the first 16 rows of the 64-wide layer, taken in
    // row order: layer pixel (48, 7) is pixel 496, the mask's (16, 15), next to its opaque
    // middle; layer pixel (0, 0) gets the mask's transparent corner.
    const uint32_t lit48 = GlLayers::At(px, 10 + 48, 20 + 7);
    for (int shift : {0, 8, 16}) {
        const int got = static_cast<int>((lit48 >> shift) & 0xFF);
        const int want = static_cast<int>((Checker(48, 7) >> shift) & 0xFF);
        EXPECT_NEAR(got, want, 40) << shift;
    }
    EXPECT_EQ(GlLayers::At(px, 10, 20), kBackground);
    // Rows 16 and below keep the composite's first contents: transparent, the background.
    EXPECT_EQ(GlLayers::At(px, 10 + 20, 20 + 30), kBackground);
    EXPECT_EQ(GlLayers::At(px, 10 + 63, 20 + 47), kBackground);
    EXPECT_TRUE(test::MatchesReference("shape_small_mask", 128, 96, GlLayers::Crop(px, 128, 96)));
}

TEST(ShapeLayerPicture, AWavingEffectMatchesTheReference) {
    KQ_REQUIRE_GL(gl);
    GlLayers f(*gl);
    TKQShape& mask = f.Layer(1, 64, 48, "solid.png", 0, 0);
    mask.Vis = false;
    auto& wave = f.Layer<TKQShapeEff>(2, 64, 48, "checker.png", 16, 16);
    wave.SetObMask(1);
    wave.Filter = TKQFilterType::flWave;
    wave.Par1 = 6;
    wave.Par2 = 6;
    wave.Par3 = 4;
    wave.Scale = 1.5;
    wave.Angle = 10;
    const std::vector<uint32_t> px = f.Frame({&mask, &wave});
    EXPECT_TRUE(test::MatchesReference("shape_wave", 128, 112, GlLayers::Crop(px, 128, 112)));
}

TEST(ShapeLayerPicture, AFilterWithoutAValidMaskDrawsTheUnfilteredTarget) {
    KQ_REQUIRE_GL(gl);
    GlLayers f(*gl);
    auto& eff = f.Layer<TKQShapeEff>(1, 64, 48, "checker.png", 0, 0);
    eff.Filter = TKQFilterType::flWave;
    eff.Par1 = 6;
    eff.Par2 = 6;
    eff.Par3 = 4;
    eff.SetObMask(77); // no such shape
    const std::vector<uint32_t> px = f.Frame({&eff});
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(GlLayers::At(px, x, y), Checker(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(f.db.RenderTargets().ReadBacks(), 0u);
}

} // namespace
} // namespace kq::elements
