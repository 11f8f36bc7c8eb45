#include "elements/animation.h"
#include "elements_test_util.h"
#include "scene/blob.h"
#include "script/value.h"

#include <cmath>
#include <limits>

namespace kq::elements {
namespace {

using render::PointF;

class AnimationTest : public test::ElementsTest {
protected:
    AnimationTest() {
        SolidPng("p.png", 10, 10);
        SolidPng("q.png", 20, 20);
    }
    TKQAnim& Anim(std::string id = "anim") {
        TKQAnim& a = Add<TKQAnim>(db, "TKQAnim", std::move(id));
        return a;
    }
    TKQAnKey& Key(TKQAnim& anim, uint16_t count, bool morph = false) {
        TKQAnKey& k = Add<TKQAnKey>(anim, "TKQAnKey", "key");
        k.Morph = morph;
        k.SetCount(count);
        return k;
    }
    TKQImage& Pic(TKQAnKey& key, std::string id, int32_t x, int32_t y,
                  const std::string& picture = "p.png") {
        TKQImage& im = Image(key, std::move(id), picture);
        im.SetX(x);
        im.SetY(y);
        return im;
    }
    // The records of frame f.
    std::vector<TKQAnKeyIm> Frame(const TKQAnim& a, int32_t f) {
        size_t n = 0;
        const TKQAnKeyIm* r = a.FrameRecords(f, n);
        return std::vector<TKQAnKeyIm>(r, r + n);
    }
    script::Value Prop(TKQAnim& a, std::string_view name) {
        script::Value v;
        EXPECT_TRUE(a.GetProp(name, v)) << name;
        return v;
    }
};

TEST_F(AnimationTest, KeysGiveCountPlusOneFramesWithMarksOnFirstFrames) {
    TKQAnim& a = Anim();
    TKQAnKey& k0 = Key(a, 9);
    TKQAnKey& k1 = Key(a, 4);
    Pic(k0, "a", 0, 0);
    Pic(k1, "a", 0, 0);
    a.Rebuild();
    ASSERT_EQ(a.FrameCount(), 15);
    EXPECT_EQ(Frame(a, 0).at(0).keyMark, -1);
    EXPECT_EQ(Frame(a, 1).at(0).keyMark, 0);
    EXPECT_EQ(Frame(a, 9).at(0).step, 9);
    EXPECT_EQ(Frame(a, 10).at(0).keyMark, -2);
    EXPECT_EQ(Frame(a, 10).at(0).step, 0);
    EXPECT_EQ(Frame(a, 11).at(0).keyMark, 1);
    EXPECT_EQ(a.RecordId(Frame(a, 10).at(0)), "a");
    EXPECT_EQ(a.RecordPicture(Frame(a, 10).at(0)), "P.PNG");
    EXPECT_TRUE(Frame(a, 15).empty());
    EXPECT_TRUE(Frame(a, -1).empty());
}

TEST_F(AnimationTest, SameIdMovesInEqualStepsAndTheLastKeyStaysStill) {
    TKQAnim& a = Anim();
    TKQAnKey& k0 = Key(a, 9);
    TKQAnKey& k1 = Key(a, 4);
    TKQImage& from = Pic(k0, "a", 0, 0);
    from.SetAngle(0);
    from.SetHxTrans(0);
    TKQImage& to = Pic(k1, "A", 100, 50); // Ids match without regard to case
    to.SetAngle(90);
    to.SetScale(2);
    to.SetHxTrans(200);
    a.Rebuild();
    ASSERT_EQ(a.FrameCount(), 15);
    for (int s = 0; s <= 9; ++s) {
        const TKQAnKeyIm r = Frame(a, s).at(0);
        const double scale = 1 + 0.1 * s;
        EXPECT_DOUBLE_EQ(r.x, 10.0 * s + 5 * scale) << s;
        EXPECT_DOUBLE_EQ(r.y, 5.0 * s + 5 * scale) << s;
        EXPECT_DOUBLE_EQ(r.angle, 9.0 * s) << s;
        EXPECT_EQ(r.color >> 24, static_cast<uint32_t>(scene::RoundHalfEven(20.0 * s))) << s;
    }
    // Frame 10 is the second key's place; without Rep its images stand still.
    for (int f = 10; f < 15; ++f) {
        const TKQAnKeyIm r = Frame(a, f).at(0);
        EXPECT_DOUBLE_EQ(r.x, 100 + 10) << f;
        EXPECT_DOUBLE_EQ(r.y, 50 + 10) << f;
        EXPECT_DOUBLE_EQ(r.scale, 2) << f;
        EXPECT_EQ(r.color, 0xC8FFFFFFu) << f;
    }
}

TEST_F(AnimationTest, RepMovesTheLastKeyBackTowardTheFirst) {
    TKQAnim& a = Anim();
    a.Rep = true;
    TKQAnKey& k0 = Key(a, 9);
    TKQAnKey& k1 = Key(a, 4);
    Pic(k0, "a", 0, 0);
    Pic(k1, "a", 100, 0);
    a.Rebuild();
    EXPECT_DOUBLE_EQ(Frame(a, 10).at(0).x, 105);
    EXPECT_DOUBLE_EQ(Frame(a, 14).at(0).x, 100 - 20 * 4 + 5);
}

TEST_F(AnimationTest, ImagesTheNextKeyLacksAreLeftOut) {
    TKQAnim& a = Anim();
    TKQAnKey& k0 = Key(a, 1);
    TKQAnKey& k1 = Key(a, 1);
    Pic(k0, "gone", 0, 0);           // the next key lacks it: not in key 0's frames
    Pic(k0, "", 7, 0);               // no Id: its own match, still
    Pic(k0, "nopic", 0, 0, "x.png"); // no picture: left out
    Pic(k1, "last", 30, 0);          // last key, no Rep: stays
    a.Rebuild();
    ASSERT_EQ(Frame(a, 0).size(), 1u);
    EXPECT_DOUBLE_EQ(Frame(a, 1).at(0).x, 12);
    ASSERT_EQ(Frame(a, 2).size(), 1u);
    EXPECT_EQ(a.RecordId(Frame(a, 3).at(0)), "last");
    EXPECT_DOUBLE_EQ(Frame(a, 3).at(0).x, 35);

    a.Rep = true; // now "last" needs a partner in key 0, which has none
    a.Rebuild();
    EXPECT_TRUE(Frame(a, 2).empty());
}

// Three keys on a bent path: the spline passes through each key place at the key's first
// frame and bends between them, unlike the straight segments.
class AnimationSplineTest : public AnimationTest {
protected:
    TKQAnim& Path(bool animInterpol, bool imageInterpol) {
        TKQAnim& a = Anim();
        a.Interpol = animInterpol;
        int i = 0;
        for (auto [x, y] : {std::pair{0, 0}, {100, 0}, {100, 100}, {0, 100}}) {
            TKQImage& im = Pic(Key(a, 9), "walker", x, y);
            im.Interpol = imageInterpol;
            im.InterpolSc = false;
            im.SetScale(1 + i);
            im.SetAngle(30 * i);
            ++i;
        }
        a.Rebuild();
        return a;
    }
};

TEST_F(AnimationSplineTest, CentreFollowsTheSplineThroughTheKeyPlaces) {
    TKQAnim& a = Path(true, true);
    ASSERT_EQ(a.FrameCount(), 40);
    const double places[4][2] = {{5, 5}, {110, 10}, {115, 115}, {20, 120}};
    for (int k = 0; k < 4; ++k) {
        const TKQAnKeyIm r = Frame(a, 10 * k).at(0);
        EXPECT_NEAR(r.x, places[k][0], 1e-9) << k;
        EXPECT_NEAR(r.y, places[k][1], 1e-9) << k;
        EXPECT_NEAR(r.angle, 30 * k, 1e-9) << k;
    }
    // Between keys 1 and 2 the straight move keeps x at 100 + 5 x scale; the curve bulges out.
    const TKQAnKeyIm mid = Frame(a, 15).at(0);
    EXPECT_GT(mid.x, 100 + 5 * 2.5 + 1);
    // InterpolSc off: the scale stays linear.
    EXPECT_DOUBLE_EQ(mid.scale, 2.5);
}

TEST_F(AnimationSplineTest, SplinesNeedBothInterpolFlags) {
    for (auto [animFlag, imageFlag] : {std::pair{false, true}, {true, false}}) {
        db.DestroyChildren();
        TKQAnim& a = Path(animFlag, imageFlag);
        EXPECT_DOUBLE_EQ(Frame(a, 15).at(0).x, 100 + 5 * 2.5);
        EXPECT_DOUBLE_EQ(Frame(a, 15).at(0).angle, 45);
    }
}

TEST_F(AnimationSplineTest, InterpolScTakesScalesFromTheirSplines) {
    TKQAnim& a = Anim();
    a.Interpol = true;
    const double scales[3] = {1, 3, 1};
    for (double s : scales) {
        TKQImage& im = Pic(Key(a, 9), "w", 0, 0);
        im.SetScale(s);
        im.ScaleX = s;
    }
    a.Rebuild();
    const TKQAnKeyIm r = Frame(a, 5).at(0);
    EXPECT_GT(r.scale, 2.0 + 0.1); // above the straight line toward the peak
    EXPECT_GT(r.scaleX, 2.0 + 0.1);
    EXPECT_NEAR(Frame(a, 10).at(0).scale, 3, 1e-9);
}

TEST_F(AnimationSplineTest, TwoKeysGiveTheStraightLine) {
    TKQAnim& a = Anim();
    a.Interpol = true;
    Pic(Key(a, 9), "w", 0, 0);
    Pic(Key(a, 9), "w", 100, 40);
    a.Rebuild();
    EXPECT_NEAR(Frame(a, 5).at(0).x, 55, 1e-9);
    EXPECT_NEAR(Frame(a, 5).at(0).y, 25, 1e-9);
    // Past the last key the last segment goes on.
    EXPECT_NEAR(Frame(a, 15).at(0).x, 155, 1e-9);
}

TEST_F(AnimationSplineTest, UnfittablePointsFallBackToLinearValues) {
    // An Id twice in one key puts two points at one time; a value that is not finite cannot
    // be fitted either. Both images then move in straight lines.
    TKQAnim& a = Anim();
    a.Interpol = true;
    Pic(Key(a, 9), "twice", 0, 0);
    TKQAnKey& mid = Key(a, 9);
    Pic(mid, "twice", 100, 0);
    Pic(mid, "twice", 100, 0);
    Pic(Key(a, 9), "twice", 100, 100);
    TKQImage& bad = Pic(*static_cast<TKQAnKey*>(a.Child(0)), "nan", 0, 0);
    bad.ScaleX = std::numeric_limits<double>::quiet_NaN();
    Pic(mid, "nan", 100, 0);
    Pic(*static_cast<TKQAnKey*>(a.Child(2)), "nan", 100, 100);
    a.Rebuild();
    ASSERT_EQ(a.FrameCount(), 30);
    const auto f15 = Frame(a, 15);
    ASSERT_EQ(f15.size(), 3u);
    EXPECT_DOUBLE_EQ(f15[0].x, 105);
    EXPECT_DOUBLE_EQ(f15[0].y, 55);
    EXPECT_DOUBLE_EQ(f15[2].x, 105);
    EXPECT_DOUBLE_EQ(f15[2].y, 55);
}

TEST_F(AnimationTest, MorphCrossFadesAChangedPicture) {
    TKQAnim& a = Anim();
    TKQAnKey& k0 = Key(a, 8, true);
    TKQAnKey& k1 = Key(a, 0);
    TKQImage& out = Pic(k0, "door", 10, 0, "p.png");
    out.SetHxTrans(200);
    out.SetHxColor(0x112233);
    TKQImage& in = Pic(k1, "door", 40, 0, "q.png");
    in.SetHxTrans(100);
    in.hxDrawFx = 0x104;
    a.Rebuild();
    ASSERT_EQ(Frame(a, 4).size(), 2u);
    const auto step4 = Frame(a, 4);
    EXPECT_EQ(step4[0].color, 0x112233u + (175u << 24)); // round(200 x 223 / 255)
    EXPECT_EQ(step4[1].color, 0xFFFFFFu + (87u << 24));  // round(100 x 223 / 255)
    EXPECT_DOUBLE_EQ(step4[0].x, 15);                    // the outgoing picture stays put
    EXPECT_DOUBLE_EQ(step4[1].x, 50);                    // the incoming at its own place
    EXPECT_EQ(step4[1].blend, 0x104u);
    EXPECT_EQ(a.RecordPicture(step4[1]), "Q.PNG");
    EXPECT_EQ(step4[1].keyMark, 0);
    const auto step8 = Frame(a, 8);
    EXPECT_EQ(step8[0].color >> 24, 0u);
    EXPECT_EQ(step8[1].color >> 24, 100u);
    const auto step0 = Frame(a, 0);
    EXPECT_EQ(step0[0].color >> 24, 200u);
    EXPECT_EQ(step0[1].color >> 24, 0u);
    EXPECT_EQ(step0[1].keyMark, -1);

    // Without Morph the changed picture simply stays, with its own colour word.
    k0.Morph = false;
    a.Rebuild();
    ASSERT_EQ(Frame(a, 4).size(), 1u);
    EXPECT_EQ(Frame(a, 4).at(0).color, out.ColorWord());
}

TEST_F(AnimationTest, MorphOnASingleFrameKeyShowsTheOutgoingPictureAlone) {
    TKQAnim& a = Anim();
    TKQAnKey& k0 = Key(a, 0, true);
    Pic(k0, "door", 0, 0, "p.png").SetHxTrans(90);
    Pic(Key(a, 0), "door", 0, 0, "q.png");
    a.Rebuild();
    ASSERT_EQ(Frame(a, 0).size(), 1u);
    EXPECT_EQ(Frame(a, 0).at(0).color >> 24, 90u);
}

TEST_F(AnimationTest, KeyNamesReadTheCurrentFrame) {
    TKQAnim& a = Anim();
    a.SetX(1000);
    a.SetY(2000);
    Key(a, 0); // an empty key: frame 0 has no records, but counts
    TKQAnKey& k1 = Key(a, 1);
    TKQImage& im = Pic(k1, "a", 10, 20);
    im.SetAngle(45);
    im.SetScale(2);
    im.Anim = 3;
    a.Rebuild();
    a.SetPos(1);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYX").RawDouble(), 1000 + 10 + 10);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYY").RawDouble(), 2000 + 20 + 10);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYX[1]").RawDouble(), 1020);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYY[1]").RawDouble(), 2030);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYANG").RawDouble(), 45);
    EXPECT_DOUBLE_EQ(Prop(a, "KEYSCALE").RawDouble(), 2);
    EXPECT_EQ(Prop(a, "KEYAN").Kind(), script::VarKind::Integer);
    EXPECT_EQ(Prop(a, "KEYAN").RawInt(), 3);
    EXPECT_EQ(Prop(a, "COUNT").Kind(), script::VarKind::Integer);
    EXPECT_EQ(Prop(a, "COUNT").RawInt(), 3);
    // Too few records, an empty frame and a Pos outside the frames all read Byte 0.
    for (std::string_view name : {"KEYX[2]", "KEYY[0]"}) {
        EXPECT_EQ(Prop(a, name).Kind(), script::VarKind::Byte) << name;
        EXPECT_EQ(Prop(a, name).RawInt(), 0) << name;
    }
    a.SetPos(0);
    for (std::string_view name : {"KEYX", "KEYY", "KEYANG", "KEYSCALE", "KEYAN", "COUNT"}) {
        EXPECT_EQ(Prop(a, name).Kind(), script::VarKind::Byte) << name;
    }
    a.SetPos(-1);
    EXPECT_EQ(Prop(a, "KEYX").Kind(), script::VarKind::Byte);
    script::Value v;
    EXPECT_FALSE(a.GetProp("KEYX[X]", v));
    EXPECT_FALSE(a.GetProp("KEYZ", v));
}

TEST_F(AnimationTest, PosWrapsWithRepAndClampsWithout) {
    TKQAnim& a = Anim();
    Pic(Key(a, 4), "a", 0, 0);
    a.Rebuild();
    Set(a, "Pos", 7);
    EXPECT_EQ(a.Pos, 4);
    Set(a, "Pos", -3); // a negative value stays as written
    EXPECT_EQ(a.Pos, -3);
    a.Rep = true;
    Set(a, "Pos", 5);
    EXPECT_EQ(a.Pos, 0);
    Set(a, "Pos", 4);
    EXPECT_EQ(a.Pos, 4);
}

TEST_F(AnimationTest, ProcessStepsRunsScriptsAndStopsAtTheEnd) {
    TKQAnim& a = Anim();
    Pic(Key(a, 2), "a", 0, 0);
    a.Rebuild();
    a.SetScript(scene::ScriptSlot::Process, "p");
    a.PrepareScript(a.exAnim, "a");
    a.PrepareScript(a.exStop, "s");
    a.Active = true;
    a.Process();
    a.Process();
    EXPECT_EQ(a.Pos, 2);
    EXPECT_TRUE(a.Active);
    a.Process();
    EXPECT_EQ(a.Pos, 2);
    EXPECT_FALSE(a.Active);
    EXPECT_EQ(host.Lines(),
              (std::vector<std::string>{"anim:anAnim", "anim:Process", "anim:anAnim",
                                        "anim:Process", "anim:anStop", "anim:Process"}));
    host.runs.clear();
    a.Process(); // stopped: only the base
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"anim:Process"}));

    a.Rep = true;
    a.Active = true;
    a.Process();
    EXPECT_EQ(a.Pos, 0);
    EXPECT_TRUE(a.Active);

    // An invisible animation neither steps nor runs anything.
    host.runs.clear();
    a.SetVis(false);
    a.Process();
    EXPECT_EQ(a.Pos, 0);
    EXPECT_TRUE(host.runs.empty());
}

TEST_F(AnimationTest, RebuildFollowsCountAndMorphButNotWhileLoading) {
    TKQAnim& a = Anim();
    TKQAnKey& k = Key(a, 1);
    Pic(k, "a", 0, 0);
    EXPECT_EQ(a.FrameCount(), 2);
    Set(k, "Count", 5);
    EXPECT_EQ(a.FrameCount(), 6);
    k.Count = 2;
    Set(a, "Morph", true);
    EXPECT_EQ(a.FrameCount(), 3);
    rt.loading = true;
    Set(k, "Count", 9);
    Set(a, "Morph", false);
    EXPECT_EQ(a.FrameCount(), 3);
    rt.loading = false;
    a.Update();
    EXPECT_EQ(a.FrameCount(), 10);
}

TEST_F(AnimationTest, AuthoredPosSurvivesReadingTheSceneButNotLoadState) {
    TKQAnim& a = Anim();
    Pic(Key(a, 9), "a", 0, 0);
    TKQScreen& room = Screen("room");
    TKQExAnim& ex = Add<TKQExAnim>(room, "TKQExAnim", "ex");
    ex.obAnim = a.Key;
    a.Pos = 6;
    ex.Pos = 4;
    const std::string blob = scene::SaveElementBlob(db);

    scene::Runtime rt2{elements::ElementClasses()};
    rt2.images = &images;
    scene::TKQDB db2{rt2};
    ASSERT_TRUE(db2.LoadSceneBlob(blob));
    auto& a2 = static_cast<TKQAnim&>(*db2.Child(0));
    auto& ex2 = static_cast<TKQExAnim&>(*db2.Child(1)->Child(0));
    EXPECT_EQ(a2.Pos, 6);
    EXPECT_EQ(ex2.Pos, 4);
    EXPECT_EQ(a2.FrameCount(), 0); // built later, at Init
    db2.Init();
    EXPECT_EQ(a2.FrameCount(), 10);
    EXPECT_EQ(a2.Pos, 6);

    // Outside the scene file the setter clamps as always.
    rt2.loading = true;
    const scene::TKQProp* pos = a2.ClassEntry().FindProp("Pos");
    pos->set(a2, 40);
    EXPECT_EQ(a2.Pos, 9);
}

TEST_F(AnimationTest, RenderDrawsTheFrameOrTheKeys) {
    SolidPng("bg.png", 30, 20);
    TKQAnim& a = Anim();
    a.SetImBack("bg.png");
    EXPECT_EQ(a.SizeX, 30);
    a.rX = 100;
    a.rY = 50;
    TKQAnKey& k0 = Key(a, 3);
    TKQImage& im = Pic(k0, "", 10, 0); // no Id: drawn still through key 0
    im.SetAngle(90);
    im.ScaleX = 2;
    TKQAnKey& k1 = Key(a, 3);
    Pic(k1, "b", 0, 0, "q.png");
    a.Rebuild();
    a.ShowAn = true;
    a.Pos = 0;
    a.Render(0, 0xFFFFFFFFu, 1, 2, false);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0].points[0], (PointF{101, 52})); // background at the frame's top-left
    EXPECT_EQ(Calls()[0].blend, 1u);
    // A 20 x 10 box rotated a quarter turn about (101 + 15, 52 + 5).
    const PointF p0 = Calls()[1].points[0];
    EXPECT_NEAR(p0.x, 116 + 5, 1e-4);
    EXPECT_NEAR(p0.y, 57 - 10, 1e-4);
    EXPECT_EQ(Calls()[1].blend, 1284u);

    canvas.ClearCalls();
    a.Render(1, 0xFFFFFFFFu, 0, 0, false); // another layer: nothing
    EXPECT_TRUE(Calls().empty());

    // The editing view draws the keys, last key first.
    a.ShowAn = false;
    a.Render(0, 0xFFFFFFFFu, 0, 0, false);
    ASSERT_EQ(Calls().size(), 3u);
    EXPECT_EQ(Calls()[0].points[0], (PointF{0, 0}));
    EXPECT_EQ(Calls()[1].texture, TextureOf(static_cast<TKQImage&>(*k1.Child(0))));
    EXPECT_EQ(Calls()[2].texture, TextureOf(im));
}

TEST_F(AnimationTest, DrawFrameTrimsToTheGuardBand) {
    SolidPng("wide.png", 2000, 4);
    TKQAnim& a = Anim();
    TKQImage& im = Pic(Key(a, 0), "w", 0, 0, "wide.png");
    (void)im;
    a.Rebuild();
    a.DrawFrame(0, 0xFFFFFFFFu, 2000, 0); // centre at x = 3000
    ASSERT_EQ(Calls().size(), 1u);
    const render::DrawCall& c = Calls()[0];
    // 3000 + 1000 - 2048 = 1952 screen pixels beyond the band: 1953 source columns cut.
    EXPECT_FLOAT_EQ(c.source.width, 2000 - 1953);
    EXPECT_FLOAT_EQ(c.points[0].x, 2000);
    EXPECT_FLOAT_EQ(c.points[1].x, 2000 + 47);
}

TEST_F(AnimationTest, PlaceholderPlaysATopLevelAnimationByKeyAndExactClass) {
    TKQAnim& a = Anim();
    a.SizeX = 40;
    a.SizeY = 30;
    Pic(Key(a, 4), "a", 0, 0);
    a.Rebuild();
    TKQScreen& s = Screen("room");
    TKQAnim& nested = Add<TKQAnim>(s, "TKQAnim", "nested");
    TKQExAnim& ex = Add<TKQExAnim>(s, "TKQExAnim", "ex");
    ex.SetObAnim(nested.Key); // not a direct child of the root
    EXPECT_EQ(ex.Shown(), nullptr);
    EXPECT_EQ(ex.GetSizeX(), 0);
    ex.SetObAnim(s.Key); // a screen, not an animation
    EXPECT_EQ(ex.Shown(), nullptr);
    ex.SetObAnim(a.Key);
    EXPECT_EQ(ex.Shown(), &a);
    EXPECT_EQ(ex.GetSizeX(), 40);

    ex.PosHor = TKQPosHor::phCenter;
    ex.PosVert = TKQPosVert::pvBottom;
    ex.SetX(100);
    ex.SetY(100);
    s.SetX(5);
    EXPECT_EQ(ex.GetAbsX(), 5 + 80);
    EXPECT_EQ(ex.GetAbsY(), 70);

    ex.Active = true;
    ex.Rep = true;
    for (int i = 0; i < 6; ++i) {
        ex.Process();
    }
    EXPECT_EQ(ex.Pos, 1);           // 6 steps over 5 frames, wrapped
    EXPECT_EQ(a.Pos, 0);            // the shown animation keeps its own frame
    EXPECT_TRUE(host.runs.empty()); // silent

    ex.Render(0, 0xFFFFFFFFu, 1, 1, false);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].points[0], (PointF{81, 71}));

    ex.SetPos(-1); // a placeholder at -1 does not step
    ex.Process();
    EXPECT_EQ(ex.Pos, -1);
}

TEST_F(AnimationTest, ASavedGameRestoresPosAndActiveAndPlaysOn) {
    rt.files = &files;
    rt.dataDir = (dir.Path() / "data").string();
    db.Id = "Game";
    db.SetFileRS("slot.sav");
    TKQAnim& a = Anim();
    Pic(Key(a, 9), "a", 0, 0);
    a.Rebuild();
    a.SetPos(4);
    a.Active = true;
    ASSERT_TRUE(db.SaveState());

    a.SetPos(0);
    a.Active = false;
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(a.Pos, 4);
    EXPECT_TRUE(a.Active);
    EXPECT_EQ(a.FrameCount(), 10);
    a.Process();
    EXPECT_EQ(a.Pos, 5);
}

} // namespace
} // namespace kq::elements
