// The dump's state of particle effects: null without a system, else the emitter's state and
// every live particle in array order with its packed colour.
#include "elements/classes.h"
#include "elements/effect.h"
#include "media/game_files.h"
#include "media/particle_params.h"
#include "media/text_encoding.h"
#include "render/image_service.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "shell/scene_dump.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kq::test {
namespace {

using nlohmann::ordered_json;

TEST(SceneDumpEffects, ParticlesAreNullWithoutASystemAndListedInOrderWithOne) {
    TempDir dir;
    media::GameFiles files{dir.Path()};
    render::RecordingCanvas canvas;
    render::ImageService images{files, canvas, [] { return 1u; }};
    images.SetLoadImagesNow(true);
    scene::Runtime rt{elements::ElementClasses()};
    rt.files = &files;
    scene::TKQDB db{rt};
    media::TextCodec codec;

    scene::TKQElement* screen = rt.classes.CreateChild(db, "TKQScreen");
    ASSERT_NE(screen, nullptr);
    auto* effect = static_cast<elements::TKQEffect*>(rt.classes.CreateChild(*screen, "TKQEffect"));
    ASSERT_NE(effect, nullptr);
    effect->SetEffectFN("fx.bin"); // no particle sheet yet: only the name
    ordered_json json = shell::ElementStateJson(*effect, codec);
    ASSERT_TRUE(json.contains("state"));
    EXPECT_TRUE(json["state"].contains("particles"));
    EXPECT_TRUE(json["state"]["particles"].is_null());

    media::ParticleParams p;
    p.rate = 45; // 1.5 particles per step: two (remainder -0.5), then one (remainder 0)
    p.duration = 1000;
    p.lifeMin = p.lifeMax = 100;
    p.speedMin = p.speedMax = 30; // straight down
    p.sizeStart = p.sizeMiddle = p.sizeEnd = 1.5f;
    p.spinStart = p.spinMiddle = p.spinEnd = 0.25f;
    p.colorStart = p.colorMiddle = p.colorEnd = 0x80FF4020u;
    p.firstPattern = 2;
    p.lastPattern = -1;
    p.middleFraction = 0.5f;
    const media::ParticleBlock block = media::EncodeParticleParams(p);
    dir.Write("fx.bin", std::string(block.begin(), block.end()));
    rt.images = &images;
    db.RequestParticleSheet();
    effect->DAnim = 1;
    effect->SetX(100);
    effect->SetY(50);
    effect->SetEffectFN("fx.bin");
    effect->SetActive(true);
    effect->Process();
    effect->Process();

    json = shell::ElementStateJson(*effect, codec);
    const ordered_json& particles = json["state"]["particles"];
    ASSERT_TRUE(particles.is_object()) << json.dump();
    EXPECT_EQ(particles["live"], 3);
    EXPECT_EQ(particles["emitting"], true);
    EXPECT_FLOAT_EQ(particles["timer"].get<float>(), 2.0f / 30.0f);
    EXPECT_NEAR(particles["remainder"].get<float>(), 0.0f, 1e-5f);
    const ordered_json& items = particles["items"];
    ASSERT_EQ(items.size(), 3u);
    // The oldest first: it has moved one step (30 units per time unit) down from the emitter.
    EXPECT_FLOAT_EQ(items[0]["x"].get<float>(), 100.0f);
    EXPECT_FLOAT_EQ(items[0]["y"].get<float>(), 51.0f);
    EXPECT_FLOAT_EQ(items[2]["y"].get<float>(), 50.0f);
    for (const ordered_json& item : items) {
        EXPECT_EQ(item.size(), 6u);
        EXPECT_FLOAT_EQ(item["size"].get<float>(), 1.5f);
        EXPECT_FLOAT_EQ(item["spin"].get<float>(), 0.25f);
        EXPECT_EQ(item["frame"], 2);
        EXPECT_EQ(item["color"], 0x80FF4020u);
    }
    // Field order as documented.
    std::vector<std::string> keys;
    for (const auto& [key, value] : items[0].items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"x", "y", "size", "spin", "frame", "color"}));
}

} // namespace
} // namespace kq::test
