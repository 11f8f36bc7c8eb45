// Engine functions on keyframe animations and particle effects: "AnimStart", "AnimPlay",
// "AnimStop", "AnimBreak" and "ProcEf".
#include "elements/animation.h"
#include "elements/effect.h"
#include "engine_test_util.h"
#include "media/particle_params.h"

namespace kq::test {
namespace {

using script::Value;

class EngineAnimations : public EngineTest {
protected:
    EngineAnimations() {
        SolidPng("p.png", 8, 8);
        anim = &Add<elements::TKQAnim>(db, "TKQAnim", "Walk");
        for (int i = 0; i < 2; ++i) {
            auto& key = Add<elements::TKQAnKey>(*anim, "TKQAnKey", "k");
            Image(key, "a", "p.png");
            key.SetCount(4);
        }
        anim->Rebuild();
        LogOn(*anim, scene::ScriptSlot::Process, "process");
    }
    elements::TKQAnim* anim = nullptr;
};

TEST_F(EngineAnimations, AnimStartRestartsAndRunsExStartUnderTheCallersEvent) {
    anim->PrepareScript(anim->exStart, "KQDB.TAG := KQDB.TAG + 'start:' + SELF.ID + ';';");
    anim->SetPos(6);
    anim->SetVis(false);
    Run("ANIMSTART(KQDB.WALK);");
    EXPECT_EQ(anim->Pos, 0);
    EXPECT_TRUE(anim->Active);
    EXPECT_TRUE(anim->Vis);
    EXPECT_EQ(db.Tag, "start:Walk;");

    // AnimPlay resumes from Pos, without a script.
    db.Tag.clear();
    anim->SetPos(5);
    anim->Active = false;
    Run("ANIMPLAY(KQDB.WALK);");
    EXPECT_EQ(anim->Pos, 5);
    EXPECT_TRUE(anim->Active);
    EXPECT_EQ(db.Tag, "");
}

TEST_F(EngineAnimations, AnimPlayOnTheLastFrameStartsOver) {
    anim->SetPos(9);
    Run("ANIMPLAY(KQDB.WALK);");
    EXPECT_EQ(anim->Pos, 0);
    EXPECT_TRUE(anim->Active);
}

TEST_F(EngineAnimations, AnimStopOnAnAnimationDoesNothing) {
    anim->SetPos(3);
    anim->Active = true;
    Run("ANIMSTOP(KQDB.WALK);");
    EXPECT_TRUE(anim->Active);
    EXPECT_EQ(anim->Pos, 3);
    CallResult r = Call("AnimStop", {H(*anim)});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.value.IsEmpty());
    EXPECT_TRUE(anim->Active);
}

TEST_F(EngineAnimations, WrongHandlesAndClassesDoNothingAndSucceed) {
    elements::TKQScreen& room = Screen("Room");
    auto& ex = Add<elements::TKQExAnim>(room, "TKQExAnim", "Ex");
    scene::TKQElement& gone = Image(room, "Gone");
    const Value dead = H(gone);
    gone.Destroy();
    for (std::string_view name : {"AnimStart", "AnimPlay", "AnimStop"}) {
        for (const Value& arg :
             {Value::Int(5), dead, Value::Str("Walk"), Value::LongWord(0), H(room), H(ex)}) {
            CallResult r = Call(name, {arg});
            EXPECT_TRUE(r.ok) << name;
            EXPECT_TRUE(r.value.IsEmpty()) << name;
        }
    }
    EXPECT_FALSE(ex.Active);
    EXPECT_FALSE(anim->Active);
}

TEST_F(EngineAnimations, KeyNamesWithAnIndexReachTheAnimationFromScripts) {
    anim->SetX(100);
    anim->SetPos(0);
    // The image at (0, 0) of an 8 x 8 picture: its centre is 4 pixels in.
    Run("KQDB.TAG := INTTOSTR(ROUND(KQDB.WALK.KEYX[1])) + ';' + "
        "INTTOSTR(ROUND(GETVAR('KQDB.WALK.KEYX[1]'))) + ';' + INTTOSTR(KQDB.WALK.KEYX[2]) + ';' + "
        "INTTOSTR(KQDB.WALK.COUNT);");
    EXPECT_EQ(db.Tag, "104;104;0;10");
}

class EngineEffects : public EngineTest {
protected:
    EngineEffects() {
        const std::vector<uint32_t> white(8 * 8, 0xFFFFFFFFu);
        dir.Write("particles.bmp", MakeBmp(8, 8, 32, {}, white));
        db.RequestParticleSheet();
        media::ParticleParams p;
        p.rate = 30; // one particle per step at DAnim 1
        p.duration = 1000;
        p.lifeMin = p.lifeMax = 100;
        p.sizeStart = p.sizeMiddle = p.sizeEnd = 1;
        p.colorStart = p.colorMiddle = p.colorEnd = 0xFFFFFFFFu;
        p.lastPattern = -1;
        const media::ParticleBlock block = media::EncodeParticleParams(p);
        dir.Write("glow.bin", std::string(block.begin(), block.end()));
        fx = &Add<elements::TKQEffect>(Screen("Room"), "TKQEffect", "Glow");
        fx->DAnim = 1;
        fx->SetEffectFN("glow.bin");
    }
    const media::ParticleSystem& System() const { return *fx->System(); }
    elements::TKQEffect* fx = nullptr;
};

TEST_F(EngineEffects, AnimStartStartsTheEffectAndRunsExStartUnderTheCallersEvent) {
    fx->PrepareScript(fx->exStart, "KQDB.TAG := KQDB.TAG + 'start:' + SELF.ID + ';';");
    ASSERT_NE(fx->System(), nullptr);
    Run("ANIMSTART(KQDB.ROOM.GLOW);");
    EXPECT_TRUE(fx->Active);
    EXPECT_TRUE(System().Emitting());
    EXPECT_EQ(db.Tag, "start:Glow;");
    fx->Process();
    fx->Process();
    EXPECT_EQ(System().LiveCount(), 2);

    // AnimStop: no more spawns, the live particles stay.
    Run("ANIMSTOP(KQDB.ROOM.GLOW);");
    EXPECT_FALSE(fx->Active);
    EXPECT_FALSE(System().Emitting());
    fx->Process();
    EXPECT_EQ(System().LiveCount(), 2);

    // AnimBreak: every particle goes at once.
    Run("ANIMSTART(KQDB.ROOM.GLOW);");
    fx->Process();
    EXPECT_EQ(System().LiveCount(), 3);
    Run("ANIMBREAK(KQDB.ROOM.GLOW);");
    EXPECT_FALSE(fx->Active);
    EXPECT_FALSE(System().Emitting());
    EXPECT_EQ(System().LiveCount(), 0);
}

TEST_F(EngineEffects, ProcEfAdvancesByTimeOverStepRateTimesDAnim) {
    fx->DAnim = 2;
    fx->SetActive(true);
    Run("X := PROCEF(KQDB.ROOM.GLOW, 1.5); KQDB.TAG := INTTOSTR(X);");
    EXPECT_EQ(db.Tag, "0");
    EXPECT_FLOAT_EQ(System().Timer(), static_cast<float>(1.5 / 30.0 * 2));
    // 0.1 time units at 30 particles per unit: three particles.
    EXPECT_EQ(System().LiveCount(), 3);

    // An integer time goes through the same arithmetic.
    CallResult r = Call("ProcEf", {H(*fx), Value::Int(3)});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.value.Kind(), script::VarKind::Byte);
    EXPECT_FLOAT_EQ(System().Timer(), static_cast<float>(1.5 / 30.0 * 2 + 3 / 30.0 * 2));

    // Other counts do nothing and answer Byte 0; a time that is no number fails the call.
    const float timer = System().Timer();
    for (const std::vector<Value>& args :
         {std::vector<Value>{H(*fx)}, std::vector<Value>{H(*fx), Value::Int(1), Value::Int(1)}}) {
        r = Call("ProcEf", args);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.value.Kind(), script::VarKind::Byte);
    }
    EXPECT_EQ(System().Timer(), timer);
    Run("PROCEF(KQDB.ROOM.GLOW, 'soon');");
    EXPECT_TRUE(LoggedError("Invalid parameters, function PROCEF"))
        << ::testing::PrintToString(log);
    EXPECT_EQ(System().Timer(), timer);

    // A handle of another class, or none: nothing, Byte 0.
    for (const Value& arg : {H(db), Value::Int(7)}) {
        r = Call("ProcEf", {arg, Value::Int(1)});
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.value.Kind(), script::VarKind::Byte);
        EXPECT_EQ(r.value.RawInt(), 0);
    }
    EXPECT_EQ(System().Timer(), timer);
}

TEST_F(EngineEffects, AnimStopAndAnimBreakOnOtherClassesDoNothing) {
    auto& anim = Add<elements::TKQAnim>(db, "TKQAnim", "Walk");
    anim.Active = true;
    for (std::string_view name : {"AnimStop", "AnimBreak"}) {
        CallResult r = Call(name, {H(anim)});
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.value.IsEmpty());
    }
    EXPECT_TRUE(anim.Active);
}

} // namespace
} // namespace kq::test
