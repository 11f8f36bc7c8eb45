// Particle effects: where EffectFN finds its parameters, the emitter following the element,
// the effect switching itself off, and drawing on its layer from the root's particle sheet.
#include "elements/effect.h"
#include "elements_test_util.h"
#include "media/particle_params.h"
#include "media/store.h"

#include <algorithm>
#include <set>

namespace kq::elements {
namespace {

using media::ParticleParams;

// No randomness left in the motion: equal bounds, no spread, no speed.
ParticleParams Still() {
    ParticleParams p;
    p.blend = 0x504;
    p.rate = 30; // one particle per step at DAnim 1
    p.duration = 1000;
    p.lifeMin = p.lifeMax = 100;
    p.sizeStart = p.sizeMiddle = p.sizeEnd = 1;
    p.colorStart = p.colorMiddle = p.colorEnd = 0x80FFFFFFu;
    p.middleFraction = 0.5f;
    p.lastPattern = -1;
    return p;
}

std::string BlockBytes(const ParticleParams& p) {
    const media::ParticleBlock block = media::EncodeParticleParams(p);
    return std::string(block.begin(), block.end());
}

class EffectTest : public test::ElementsTest {
protected:
    EffectTest() {
        rt.files = &files;
        const std::vector<uint32_t> white(16 * 16, 0xFFFFFFFFu);
        dir.Write("particles.bmp", test::MakeBmp(16, 16, 32, {}, white));
        db.RequestParticleSheet();
        room = &Screen("room");
    }
    TKQEffect& Effect(const ParticleParams& p, std::string id = "fx") {
        dir.Write(id + ".bin", BlockBytes(p));
        TKQEffect& e = Add<TKQEffect>(*room, "TKQEffect", id);
        e.DAnim = 1;
        Set(e, "EffectFN", std::string(id + ".bin"));
        return e;
    }
    TKQScreen* room = nullptr;
    std::vector<render::DrawCall> Quads() const {
        std::vector<render::DrawCall> out;
        for (const render::DrawCall& c : Calls()) {
            if (c.kind == render::DrawCall::Kind::kQuad) {
                out.push_back(c);
            }
        }
        return out;
    }
};

TEST_F(EffectTest, EffectFnReadsTheLooseFileFirstThenThePackEntryElseGivesAnEmptySystem) {
    ParticleParams loose = Still();
    loose.rate = 60;
    ParticleParams packed = Still();
    packed.rate = 90;
    media::StoreWriter pack;
    pack.Add("fx\\one.bin", BlockBytes(Still()));
    pack.Add("two.bin", BlockBytes(packed));
    ASSERT_TRUE(pack.Write(dir.Path() / "game.kst"));
    ASSERT_TRUE(files.OpenPack("game.kst"));
    dir.Write("two.bin", BlockBytes(loose));

    TKQEffect& e = Add<TKQEffect>(*room, "TKQEffect", "fx");
    Set(e, "EffectFN", std::string("two.bin"));
    ASSERT_NE(e.System(), nullptr);
    EXPECT_EQ(e.System()->Params().rate, 60); // the loose file wins
    EXPECT_EQ(e.System()->Capacity(), TKQEffect::kCapacity);

    Set(e, "EffectFN", std::string("FX\\One.bin"));
    ASSERT_NE(e.System(), nullptr);
    EXPECT_EQ(e.System()->Params().rate, 30); // from the pack

    // Neither a file nor an entry: an empty system that emits and draws nothing.
    Set(e, "EffectFN", std::string("missing.bin"));
    ASSERT_NE(e.System(), nullptr);
    EXPECT_EQ(e.System()->Block(), media::ParticleBlock{});
    e.DAnim = 1;
    e.SetActive(true);
    e.Process();
    EXPECT_EQ(e.System()->LiveCount(), 0);
    EXPECT_FALSE(e.Active); // nothing to emit and nothing alive: it switched off
    e.Render(e.Order, 0xFFFFFFFFu, 0, 0, false);
    EXPECT_TRUE(Quads().empty());
    EXPECT_EQ(std::get<std::string>(Get(e, "EffectFN")), "missing.bin");
}

TEST_F(EffectTest, WithoutTheRootsParticleSheetEffectFnIsOnlyStored) {
    scene::Runtime bare{ElementClasses()};
    scene::TKQDB root{bare};
    scene::TKQElement* screen = bare.classes.CreateChild(root, "TKQScreen");
    ASSERT_NE(screen, nullptr);
    auto* e = static_cast<TKQEffect*>(bare.classes.CreateChild(*screen, "TKQEffect"));
    ASSERT_NE(e, nullptr);
    Set(*e, "EffectFN", std::string("fx.bin"));
    Set(*e, "Active", true);
    EXPECT_EQ(e->EffectFN, "fx.bin");
    EXPECT_EQ(e->System(), nullptr);
    e->Process();
    e->Render(0, 0xFFFFFFFFu, 0, 0, false); // nothing to draw, nothing breaks
    EXPECT_TRUE(e->Active);
}

TEST_F(EffectTest, ActiveStartsAndStopsTheEmitterAndAWriteOfEffectFnKeepsItRunning) {
    TKQEffect& e = Effect(Still());
    e.Process();
    EXPECT_EQ(e.System()->LiveCount(), 0);
    Set(e, "Active", true);
    EXPECT_TRUE(e.System()->Emitting());
    e.Process();
    EXPECT_EQ(e.System()->LiveCount(), 1);
    Set(e, "Active", false);
    EXPECT_FALSE(e.System()->Emitting());
    e.Process();
    EXPECT_EQ(e.System()->LiveCount(), 1); // live particles run out, no new ones

    // A new EffectFN on an active effect starts the new system at the element's position.
    e.SetX(40);
    e.SetY(30);
    Set(e, "Active", true);
    Set(e, "EffectFN", std::string("fx.bin"));
    EXPECT_TRUE(e.System()->Emitting());
    EXPECT_EQ(e.System()->X(), 40);
    EXPECT_EQ(e.System()->Y(), 30);
    EXPECT_EQ(e.System()->LiveCount(), 0);
}

TEST_F(EffectTest, AnEffectSwitchesItselfOffOnlyAfterItsLastParticleDied) {
    ParticleParams p = Still();
    p.duration = 0.09f; // the third step reaches it
    p.lifeMin = p.lifeMax = 0.2f;
    TKQEffect& e = Effect(p);
    e.SetScript(scene::ScriptSlot::Process, "log");
    Set(e, "Active", true);
    int steps = 0;
    int emittingSteps = 0;
    while (e.Active && steps < 100) {
        e.Process();
        ++steps;
        if (e.System()->Emitting()) {
            ++emittingSteps;
        } else if (e.Active) {
            EXPECT_GT(e.System()->LiveCount(), 0) << "step " << steps;
        }
    }
    EXPECT_FALSE(e.Active);
    EXPECT_EQ(e.System()->LiveCount(), 0);
    EXPECT_EQ(emittingSteps, 2);         // the third step reaches the duration and ends emission
    EXPECT_GT(steps, emittingSteps + 4); // particles outlived the emission by several steps
    // exProcess ran after the system advanced, on every step, the last one included.
    EXPECT_EQ(host.runs.size(), static_cast<size_t>(steps));
}

TEST_F(EffectTest, DAnimZeroFreezesTheEffectWhileItIsStillDrawnOnItsLayer) {
    ParticleParams p = Still();
    p.speedMin = p.speedMax = 30;
    TKQEffect& e = Effect(p);
    e.Order = 3;
    e.hxColor = 0x12FF0000u; // the alpha byte is forced to 255
    e.SetX(100);
    e.SetY(50);
    Set(e, "Active", true);
    for (int i = 0; i < 3; ++i) {
        e.Process();
    }
    ASSERT_EQ(e.System()->LiveCount(), 3);
    const std::vector<media::Particle> before(e.System()->Particles().begin(),
                                              e.System()->Particles().end());
    e.DAnim = 0;
    for (int i = 0; i < 10; ++i) {
        e.Process();
    }
    ASSERT_EQ(e.System()->LiveCount(), 3);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(e.System()->Particles()[i].x, before[i].x);
        EXPECT_EQ(e.System()->Particles()[i].y, before[i].y);
        EXPECT_EQ(e.System()->Particles()[i].age, before[i].age);
    }
    EXPECT_TRUE(e.Active);

    canvas.SetFiltering(false);
    e.Render(2, 0xFFFFFFFFu, 0, 0, false);
    EXPECT_TRUE(Quads().empty()); // another layer
    e.Render(3, 0x00000000u, 10.5, 20.4, false);
    const std::vector<render::DrawCall> quads = Quads();
    ASSERT_EQ(quads.size(), 3u);
    const media::Particle& first = e.System()->Particles()[0];
    for (const render::DrawCall& q : quads) {
        EXPECT_TRUE(q.filtering);
        EXPECT_EQ(q.colors[0], 0x80FF0000u); // particle colour AND (hxColor OR $FF000000)
    }
    // Centred on the particle plus the parent's offset rounded half to even: (10, 20).
    const float cx = (quads[0].points[0].x + quads[0].points[2].x) / 2;
    const float cy = (quads[0].points[0].y + quads[0].points[2].y) / 2;
    EXPECT_FLOAT_EQ(cx, first.x + 10);
    EXPECT_FLOAT_EQ(cy, first.y + 20);
}

TEST_F(EffectTest, SetRealPosLeavesATrailWhileXAndYOnlyPlaceTheEmitter) {
    ParticleParams p = Still();
    p.rate = 300; // ten particles per step
    TKQEffect& moved = Effect(p, "moved");
    TKQEffect& placed = Effect(p, "placed");
    for (TKQEffect* e : {&moved, &placed}) {
        Set(*e, "Active", true);
        e->Process();
        ASSERT_EQ(e->System()->LiveCount(), 10);
    }
    moved.SetRealPos(100, 0);
    placed.SetX(100);
    std::set<float> trail;
    std::set<float> jump;
    moved.Process();
    placed.Process();
    for (size_t i = 10; i < 20; ++i) {
        trail.insert(moved.System()->Particles()[i].x);
        jump.insert(placed.System()->Particles()[i].x);
    }
    EXPECT_GT(trail.size(), 5u) << "spawns spread along the path";
    EXPECT_GE(*trail.begin(), 0.0f);
    EXPECT_LE(*trail.rbegin(), 100.0f);
    EXPECT_LT(*trail.begin(), 50.0f);
    EXPECT_GT(*trail.rbegin(), 50.0f);
    EXPECT_EQ(jump, std::set<float>{100.0f});
    EXPECT_TRUE(placed.System()->Emitting()); // placing did not restart or stop emission

    // An inactive effect moved with SetRealPos is placed: no trail when it starts again.
    Set(moved, "Active", false);
    moved.SetRealPos(300, 0);
    Set(moved, "Active", true);
    moved.Process();
    EXPECT_EQ(moved.System()->Particles()[moved.System()->LiveCount() - 1].x, 300.0f);
}

TEST_F(EffectTest, BreakDropsEveryParticleAndImagesRelinkToTheSheet) {
    TKQEffect& e = Effect(Still());
    Set(e, "Active", true);
    e.Process();
    e.Process();
    e.Break();
    EXPECT_FALSE(e.Active);
    EXPECT_EQ(e.System()->LiveCount(), 0);
    EXPECT_FALSE(e.System()->Emitting());

    Set(e, "Active", true);
    e.Process();
    e.FreeImages();
    e.LoadImages();
    e.Render(e.Order, 0xFFFFFFFFu, 0, 0, false);
    ASSERT_EQ(Quads().size(), 1u);
    EXPECT_EQ(Quads()[0].texture, images.GetImage(*db.ParticleImage())->Texture());
}

} // namespace
} // namespace kq::elements
