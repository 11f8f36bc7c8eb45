// Engine functions on keyframe animations: "AnimStart", "AnimPlay" and "AnimStop".
#include "elements/animation.h"
#include "engine_test_util.h"

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

} // namespace
} // namespace kq::test
