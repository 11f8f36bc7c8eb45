// The registry is the file format: class order, property order and kinds must match the
// published lists exactly, or every scene file and saved state is read wrongly.
#include "registry_fixture.h"

#include <gtest/gtest.h>
#include <sstream>

namespace kq::test {
namespace {

using scene::PropKind;

// The published lists, written as "Name K" with K one of I, F, S (I covers every ordinal).
const char* const kBase = "Key I, Id S, X I, Y I, Vis I";
const std::vector<std::pair<std::string, std::string>> kTable = {
    {"TKQDB",
     "CurKey I, InitScreen I, exVarRS S, exInit S, exAfterLoad S, exMouseDown S, exMouseUp S, "
     "exUpdate S, exProcess S, FileRS S, FileFonts S, hxTransLev I, DefLang S, Lang S, "
     "LoadingScreen I, NotSave I, exLoadImProcess S, IniFile S, SoundFile S, exKeyDown S, "
     "exExit S, exMouseMove S, MaxMem I, exCheat S, Cheats S, SaveErr I, exSetScreen S, "
     "AlwaysLoadIm I, Version I, exMouseIn S, exMouseOut S, Tag S"},
    {"TKQScreen",
     "ImBack S, SizeX I, SizeY I, hxDrawFx I, Agro I, Modal I, exInit S, exAfterLoad S, "
     "exUpdate S, exProcess S, Order I, exVarRS S, exShow S, Tag S, AllwaysLoad I, NotSave I, "
     "exRender S, AutoInit I"},
    {"TKQImage",
     "imImage S, hxDrawFx I, PosHor I, PosVert I, Scale F, Angle F, hxColor I, hxTrans I, "
     "MousedNotVis I, exVarRS S, exInit S, exAfterLoad S, exMouseIn S, exMouseOut S, "
     "exMouseMove S, exMouseDown S, exMouseUp S, exUpdate S, exProcess S, MousedVis I, Anim I, "
     "NoMsKQDB I, Order I, rX F, rY F, ScaleX F, ScaleY F, Interpol I, InterpolSc I, MsKeep I, "
     "Tag S, TextId S, NotSave I"},
    {"TKQExScreen",
     "PosHor I, PosVert I, obScreen I, exVarRS S, exInit S, exAfterLoad S, exMouseIn S, "
     "exMouseOut S, exMouseMove S, exMouseDown S, exMouseUp S, exUpdate S, exProcess S, "
     "Modal I, exShow S, Tag S, NotSave I, Processing I"},
    {"TKQAnim", "ImBack S, SizeX I, SizeY I, hxDrawFx I, Agro I, Modal I, Pos I, Morph I, Rep I, "
                "ShowAn I, Active I, exStop S, exStart S, exAnim S, exInit S, exUpdate S, Order I, "
                "Angle F, exVarRS S, Interpol I, Tag S, NotSave I, exProcess S"},
    {"TKQAnKey", "Count I, Morph I, NotSave I, Tag S"},
    {"TKQExAnim",
     "PosHor I, PosVert I, obAnim I, Pos I, Rep I, Active I, exVarRS S, Tag S, NotSave I"},
    {"TKQEffect",
     "EffectFN S, DAnim F, Active I, exInit S, exAfterLoad S, exUpdate S, exProcess S, "
     "hxColor I, Order I, exVarRS S, Tag S, NotSave I, exStart S"},
    {"TKQImList",
     "RowCount I, ColCount I, Space I, ScrollPos I, SizeX I, SizeY I, ElWidth I, ElHeight I, "
     "Scale F, exInit S, exAfterLoad S, exUpdate S, exProcess S, Order I, exVarRS S, Tag S, "
     "NotSave I, exMouseIn S, exMouseOut S, exMouseDown S"},
    {"TKQShape",
     "hxDrawFx I, hxColor I, hxTrans I, MousedNotVis I, exVarRS S, exInit S, exAfterLoad S, "
     "exMouseIn S, exMouseOut S, exMouseMove S, exMouseDown S, exMouseUp S, exUpdate S, "
     "exProcess S, MousedVis I, NoMsKQDB I, Order I, rX F, rY F, SizeX I, SizeY I, Tag S, "
     "NotSave I, Crop I, ShapeType I, Par1 F, Par2 F, Par3 F, Masked I, obMask I"},
    {"TKQText",
     "hxDrawFx I, hxColor1 I, hxTrans1 I, hxColor2 I, hxTrans2 I, MousedNotVis I, exVarRS S, "
     "exInit S, exAfterLoad S, exMouseIn S, exMouseOut S, exMouseMove S, exMouseDown S, "
     "exMouseUp S, exUpdate S, exProcess S, MousedVis I, NoMsKQDB I, Order I, rX F, rY F, "
     "SizeX I, SizeY I, Font S, PosHor I, PosVert I, TextId S, AutoEnter I, EnEnter I, "
     "AutoScale I, Interval F, Text S, Scale F, Tag S, NotSave I, hxShadColor I, Emboss I, "
     "Shadow I, Uni I"},
    {"TKQShapeEff", ""}, // the 30 of TKQShape, then its own: checked below
};

std::string Describe(const scene::TKQClass& entry, size_t from) {
    std::string out;
    for (size_t i = from; i < entry.props.size(); ++i) {
        const auto& p = entry.props[i];
        char k = p.kind == PropKind::Float ? 'F' : p.kind == PropKind::String ? 'S' : 'I';
        out += (out.empty() ? "" : ", ") + p.name + " " + k;
    }
    return out;
}

TEST(Registry, ClassesAndPropertiesInFileOrder) {
    const auto& reg = elements::ElementClasses();
    ASSERT_EQ(reg.Classes().size(), kTable.size());
    for (size_t i = 0; i < kTable.size(); ++i) {
        const auto& entry = reg.Classes()[i];
        EXPECT_EQ(entry.className, kTable[i].first);
        EXPECT_EQ(Describe(entry, 0).substr(0, std::string(kBase).size()), kBase);
        if (!kTable[i].second.empty()) {
            EXPECT_EQ(Describe(entry, 5), kTable[i].second) << entry.className;
        }
    }
    const auto& shape = reg.Of(scene::ClassId::Shape);
    const auto& eff = reg.Of(scene::ClassId::ShapeEff);
    ASSERT_EQ(shape.props.size(), 35u);
    EXPECT_EQ(Describe(eff, 0).substr(0, Describe(shape, 0).size()), Describe(shape, 0));
    EXPECT_EQ(Describe(eff, 35), "Angle F, Scale F, obPicture I, PictX I, PictY I, "
                                 "AutoRender I, Filter I");
}

TEST(Registry, EnumerationsAndShortNames) {
    const auto& reg = elements::ElementClasses();
    const auto& image = reg.Of(scene::ClassId::Image);
    EXPECT_EQ(image.shortName, "Image");
    EXPECT_EQ(reg.Of(scene::ClassId::DB).shortName, "DB");
    const auto* posHor = image.FindProp("poshor");
    ASSERT_NE(posHor, nullptr);
    EXPECT_EQ(posHor->kind, PropKind::Enumeration);
    EXPECT_EQ(posHor->enumNames, (std::vector<std::string>{"phLeft", "phCenter", "phRight"}));
    EXPECT_EQ(image.FindProp("Vis")->enumNames, (std::vector<std::string>{"False", "True"}));
    const auto* filter = reg.Of(scene::ClassId::ShapeEff).FindProp("Filter");
    ASSERT_EQ(filter->enumNames.size(), 16u);
    EXPECT_EQ(filter->enumNames[15], "flLens");
    EXPECT_EQ(reg.Of(scene::ClassId::Shape).FindProp("ShapeType")->enumNames[1], "stCircle");
    EXPECT_EQ(reg.Of(scene::ClassId::AnKey).FindProp("Count")->type, scene::PropType::UWord);
    EXPECT_EQ(image.FindProp("Scale")->type, scene::PropType::Extended);
    EXPECT_EQ(image.FindProp("hxDrawFx")->type, scene::PropType::ULong);
    EXPECT_EQ(reg.FindLoose("image"), &image);
    EXPECT_EQ(reg.Find("TKQIMAGE"), nullptr); // exact names only
}

TEST(Registry, ContainmentRules) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(f.Add(f.db, "TKQImage", "I"), nullptr);
    EXPECT_EQ(f.Add(f.db, "TKQDB", "D"), nullptr);
    EXPECT_NE(f.Add(f.db, "TKQAnim", "A"), nullptr);
    auto* image = f.Add(*screen, "TKQImage", "I");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(f.Add(*image, "TKQScreen", "S2"), nullptr);
    EXPECT_EQ(f.Add(*image, "TKQShapeEff", "E"), nullptr);
    EXPECT_EQ(f.Add(*screen, "TKQAnKey", "K"), nullptr);
    auto* text = f.Add(*screen, "TKQText", "T");
    ASSERT_NE(text, nullptr);
    EXPECT_NE(f.Add(*text, "TKQText", "T2"), nullptr);
    EXPECT_EQ(f.Add(*text, "TKQImage", "I2"), nullptr);
    auto* eff = f.Add(*screen, "TKQShapeEff", "SE");
    ASSERT_NE(eff, nullptr);
    EXPECT_NE(f.Add(*eff, "TKQShape", "Sh"), nullptr);
    auto* anim = f.Add(*screen, "TKQAnim", "A2");
    auto* key = f.Add(*anim, "TKQAnKey", "K");
    ASSERT_NE(key, nullptr);
    EXPECT_NE(f.Add(*key, "TKQImage", "KI"), nullptr);
    EXPECT_EQ(f.Add(*key, "TKQText", "KT"), nullptr);
    EXPECT_EQ(f.Add(*screen, "tkqimage", "lower"), nullptr);
    EXPECT_EQ(screen->ChildCount(), 4u); // I, T, SE, A2
}

TEST(Registry, ConstructorDefaults) {
    SceneFixture f;
    auto* screen = f.Add(f.db, "TKQScreen", "S");
    EXPECT_TRUE(screen->Vis);
    EXPECT_TRUE(screen->MousedVis);
    EXPECT_TRUE(screen->MousedNotVis);
    EXPECT_TRUE(screen->AutoInit);
    EXPECT_EQ(scene::PropInt(f.Get(*screen, "hxDrawFx")), 1);
    auto* image = f.Add(*screen, "TKQImage", "I");
    EXPECT_EQ(scene::PropInt(f.Get(*image, "hxDrawFx")), 1284);
    EXPECT_EQ(scene::PropInt(f.Get(*image, "hxColor")), 0xFFFFFF);
    EXPECT_EQ(scene::PropInt(f.Get(*image, "hxTrans")), 255);
    EXPECT_DOUBLE_EQ(scene::PropFloat(f.Get(*image, "Scale")), 1.0);
    EXPECT_DOUBLE_EQ(scene::PropFloat(f.Get(*image, "ScaleY")), 1.0);
    EXPECT_EQ(scene::PropInt(f.Get(*image, "Interpol")), 1);
    auto* text = f.Add(*screen, "TKQText", "T");
    EXPECT_EQ(scene::PropInt(f.Get(*text, "SizeX")), 100);
    EXPECT_EQ(scene::PropInt(f.Get(*text, "hxTrans2")), 0);
    EXPECT_EQ(scene::PropInt(f.Get(*text, "hxTrans1")), 255);
    auto* shapeEff = f.Add(*screen, "TKQShapeEff", "SE");
    EXPECT_EQ(scene::PropInt(f.Get(*shapeEff, "AutoRender")), 1);
    EXPECT_DOUBLE_EQ(scene::PropFloat(f.Get(*shapeEff, "Scale")), 1.0);
    EXPECT_EQ(scene::PropInt(f.Get(*shapeEff, "SizeY")), 100);
    auto* ex = f.Add(*screen, "TKQExScreen", "X");
    EXPECT_EQ(scene::PropInt(f.Get(*ex, "Processing")), 1);
    auto* list = f.Add(*screen, "TKQImList", "L");
    EXPECT_TRUE(list->NoMsKQDB);
    auto* effect = f.Add(*screen, "TKQEffect", "E");
    EXPECT_EQ(scene::PropInt(f.Get(*effect, "hxColor")), 0xFFFFFF);
    auto* anim = f.Add(f.db, "TKQAnim", "A");
    EXPECT_EQ(scene::PropInt(f.Get(*anim, "hxDrawFx")), 1);
    EXPECT_TRUE(anim->MousedNotVis);
}

TEST(Registry, ColourWordsAndThousandths) {
    SceneFixture f;
    auto* image = f.Add(*f.Add(f.db, "TKQScreen", "S"), "TKQImage", "I");
    f.Set(*image, "hxColor", static_cast<int32_t>(0x7F123456)); // only the low 24 bits count
    f.Set(*image, "hxTrans", 0x180);                            // only the low byte counts
    EXPECT_EQ(scene::PropInt(f.Get(*image, "hxColor")), 0x123456);
    EXPECT_EQ(scene::PropInt(f.Get(*image, "hxTrans")), 0x80);
    f.Set(*image, "Scale", 1.23456);
    EXPECT_DOUBLE_EQ(scene::PropFloat(f.Get(*image, "Scale")), 1.235);
    f.Set(*image, "Angle", -0.0005); // ties go to even thousandths
    EXPECT_DOUBLE_EQ(scene::PropFloat(f.Get(*image, "Angle")), 0.0);
    f.Set(*image, "hxDrawFx", static_cast<int32_t>(0x90000504u));
    EXPECT_EQ(static_cast<uint32_t>(scene::PropInt(f.Get(*image, "hxDrawFx"))), 0x90000504u);
}

} // namespace
} // namespace kq::test
