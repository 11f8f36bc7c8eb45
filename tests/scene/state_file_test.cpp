// Saving and restoring the game state of a whole scene through the root database.
#include "media/game_files.h"
#include "scene/db.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "scene/script_host.h"
#include "scene/state_file_format.h"
#include "scene/state_lookup.h"
#include "script/value.h"
#include "script/var_list.h"
#include "support/test_support.h"
#include "test_elements.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace kq::test {
namespace {

namespace fs = std::filesystem;
using scene::ClassId;
using scene::ScriptSlot;
using scene::TKQElement;
using script::Value;
using script::VarKind;

// Gives elements their variables when Init runs, and notes each Load run with the runtime's
// flags at that moment.
struct StateHost : scene::ScriptHost {
    scene::Runtime* rt = nullptr;
    std::map<std::string, std::vector<script::TVar>> varsOf; // by element Id
    struct LoadRun {
        std::string element;
        bool loading;
        bool loadImagesNow;
    };
    std::vector<LoadRun> loads;

    script::PreparedScript Prepare(const std::string& text) override { return {text, nullptr}; }
    void RunScript(TKQElement& self, const scene::ScriptText&, std::string_view event,
                   script::TVarList* vars) override {
        if (vars) {
            for (const script::TVar& v : varsOf[self.Id]) {
                vars->Put(v.name, v.value);
            }
        }
        if (event == "Load") {
            loads.push_back({self.Id, rt->loading, rt->loadImagesNow});
        }
    }
};

struct SavedRecord {
    int32_t key;
    std::string name;
    char tag;
    int32_t intValue;
    double floatValue;
    uint16_t wordValue;
    std::string text;
};

class StateFileTest : public ::testing::Test {
protected:
    StateFileTest() {
        // The user folder may be relative to the current folder: keep everything in ours.
        previousFolder_ = fs::current_path();
        fs::current_path(dir.Path());
        host.rt = &rt;
        rt.scripts = &host;
        rt.files = &files;
        rt.dataDir = (dir.Path() / "data").string();
        rt.resetTimer = [this] { ++timerResets; };
        db.Id = "Game";
        game.Write("eng.lng", "[Menu]\nStart=Begin\n");
        game.Write("rus.lng", "[Menu]\nStart=Nachalo\n");
    }
    ~StateFileTest() override { fs::current_path(previousFolder_); }

    TKQElement& Add(TKQElement& parent, std::string_view cls, std::string id) {
        TKQElement* e = rt.classes.CreateChild(parent, cls);
        EXPECT_NE(e, nullptr) << cls;
        e->Id = std::move(id);
        e->AssignNewKey();
        return *e;
    }
    // The element gets these variables when the tree is initialised (InitAll).
    void GiveVars(TKQElement& e, std::vector<script::TVar> vars) {
        host.varsOf[e.Id] = std::move(vars);
        e.SetScript(ScriptSlot::Init, "init");
    }
    void InitAll() { db.InitPr(); }

    Value Get(TKQElement& e, std::string_view name) {
        Value v;
        EXPECT_TRUE(e.GetProp(name, v)) << name;
        return v;
    }
    void Put(TKQElement& e, std::string_view name, Value v) {
        EXPECT_TRUE(e.SetProp(name, v)) << name;
    }

    std::string FileBytes() { return ReadAll(db.StateFilePath()); }
    void WriteStateFile(std::string_view bytes) {
        std::ofstream out(db.StateFilePath(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<SavedRecord> Records() {
        const std::string bytes = FileBytes();
        scene::state::RecordReader reader(bytes);
        scene::state::Record r;
        std::vector<SavedRecord> out;
        scene::state::RecordReader::Status status;
        while ((status = reader.Next(r)) == scene::state::RecordReader::Status::Ok) {
            out.push_back({r.key, std::string(r.name), r.tag, r.intValue, r.floatValue, r.wordValue,
                           std::string(r.text)});
        }
        EXPECT_EQ(status, scene::state::RecordReader::Status::End) << "trailing bytes";
        return out;
    }
    const SavedRecord* Find(const std::vector<SavedRecord>& records, int32_t key,
                            std::string_view name) {
        for (const SavedRecord& r : records) {
            if (r.key == key && r.name == name) {
                return &r;
            }
        }
        return nullptr;
    }
    std::vector<SavedRecord> RecordsOf(const std::vector<SavedRecord>& records, int32_t key) {
        std::vector<SavedRecord> out;
        for (const SavedRecord& r : records) {
            if (r.key == key) {
                out.push_back(r);
            }
        }
        return out;
    }

    TempDir dir;
    TempDir game;
    media::GameFiles files{game.Path()};
    StateHost host;
    scene::Runtime rt{TestClasses()};
    scene::TKQDB db{rt};
    int timerResets = 0;

private:
    fs::path previousFolder_;
};

TEST_F(StateFileTest, FileRSChoosesTheFileBelowTheUserFolder) {
    EXPECT_FALSE(db.SaveState()); // no state file yet
    EXPECT_FALSE(db.LoadState());

    db.SetFileRS("Saves\\Slot1.sav");
    EXPECT_EQ(db.FileRS, "Saves\\Slot1.sav");
    EXPECT_EQ(db.StateFilePath(), db.UserFolder() / "Saves" / "Slot1.sav");
    EXPECT_TRUE(fs::is_directory(db.StateFilePath().parent_path()));
    EXPECT_FALSE(fs::exists(db.StateFilePath())); // made by the first save

    // The same name in other letters changes nothing.
    db.SetFileRS("SAVES\\SLOT1.SAV");
    EXPECT_EQ(db.FileRS, "SAVES\\SLOT1.SAV");
    EXPECT_EQ(db.StateFilePath(), db.UserFolder() / "Saves" / "Slot1.sav");

    ASSERT_TRUE(db.SaveState());
    EXPECT_TRUE(fs::exists(db.UserFolder() / "Saves" / "Slot1.sav"));

    db.SetFileRS("other.sav");
    EXPECT_EQ(db.StateFilePath(), db.UserFolder() / "other.sav");

    db.SetFileRS("");
    EXPECT_TRUE(db.StateFilePath().empty());
    EXPECT_FALSE(db.SaveState());

    for (const char* outside : {"..\\escape.sav", "/tmp/escape.sav", "a/../../b.sav"}) {
        db.SetFileRS(outside);
        EXPECT_TRUE(db.StateFilePath().empty()) << outside;
    }
}

TEST_F(StateFileTest, VariablesOfEveryKindRoundTrip) {
    TKQElement& screen = Add(db, "TKQScreen", "Room");
    TKQElement& image = Add(screen, "TKQImage", "Lamp");
    TKQElement& doomed = Add(screen, "TKQImage", "Doomed");
    const uint32_t deadHandle = doomed.Handle();
    doomed.Destroy();
    GiveVars(screen, {
                         {"B", Value::Bool(true)},
                         {"F", Value::Bool(false)},
                         {"I", Value::Int(-7)},
                         {"BY", Value::Byte(200)},
                         {"SI", Value::ShortInt(-5)},
                         {"W", Value::Word(65535)},
                         {"H", Value::LongWord(image.Handle())},
                         {"H0", Value::LongWord(0)},
                         {"HDEAD", Value::LongWord(deadHandle)},
                         {"L64", Value::Int64(-5)},
                         {"BIG", Value::Int64(int64_t{1} << 40)},
                         {"D", Value::Double(-0.0001)},
                         {"STR", Value::Str("text")},
                         {"ES", Value::Str("")},
                         {"NONE", Value()},
                     });
    InitAll();
    db.SetFileRS("save.dat");
    ASSERT_TRUE(db.SaveState());

    const auto records = Records();
    struct Expect {
        const char* name;
        char tag;
    };
    for (Expect e : {Expect{"B", 'I'},
                     {"F", 'I'},
                     {"I", 'I'},
                     {"BY", 'I'},
                     {"SI", 'I'},
                     {"W", 'W'},
                     {"H", 'O'},
                     {"H0", 'O'},
                     {"HDEAD", 'O'},
                     {"L64", 'I'},
                     {"BIG", 'E'},
                     {"D", 'E'},
                     {"STR", 'S'},
                     {"ES", 'S'}}) {
        const SavedRecord* r = Find(records, screen.Key, e.name);
        ASSERT_NE(r, nullptr) << e.name;
        EXPECT_EQ(r->tag, e.tag) << e.name;
    }
    EXPECT_EQ(Find(records, screen.Key, "NONE"), nullptr);
    EXPECT_EQ(Find(records, screen.Key, "B")->intValue, -1);
    EXPECT_EQ(Find(records, screen.Key, "F")->intValue, 0);
    EXPECT_EQ(Find(records, screen.Key, "H")->intValue, image.Key);
    EXPECT_EQ(Find(records, screen.Key, "HDEAD")->intValue, 0);
    EXPECT_EQ(Find(records, screen.Key, "W")->wordValue, 65535);
    // Variables follow the published properties, in list order.
    std::vector<std::string> names;
    for (const SavedRecord& r : RecordsOf(records, screen.Key)) {
        names.push_back(r.name);
    }
    const std::vector<std::string> tail(names.end() - 14, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"B", "F", "I", "BY", "SI", "W", "H", "H0", "HDEAD",
                                              "L64", "BIG", "D", "STR", "ES"}));

    for (const char* name : {"B", "F", "I", "BY", "SI", "W", "L64", "BIG", "D"}) {
        Put(screen, name, Value::Int(99));
    }
    Put(screen, "H", Value::LongWord(screen.Handle()));
    Put(screen, "STR", Value::Str("changed"));
    Put(screen, "ES", Value::Str("changed"));
    ASSERT_TRUE(db.LoadState());

    EXPECT_TRUE(Get(screen, "B").SameAs(Value::Int(-1)));
    EXPECT_TRUE(Get(screen, "F").SameAs(Value::Int(0)));
    EXPECT_TRUE(Get(screen, "I").SameAs(Value::Int(-7)));
    EXPECT_TRUE(Get(screen, "BY").SameAs(Value::Int(200)));
    EXPECT_TRUE(Get(screen, "SI").SameAs(Value::Int(-5)));
    EXPECT_TRUE(Get(screen, "W").SameAs(Value::Word(65535)));
    EXPECT_TRUE(Get(screen, "H").SameAs(Value::LongWord(image.Handle())));
    EXPECT_TRUE(Get(screen, "HDEAD").SameAs(Value::LongWord(0)));
    EXPECT_TRUE(Get(screen, "L64").SameAs(Value::Int(-5)));
    EXPECT_TRUE(Get(screen, "BIG").SameAs(Value::Double(1099511627776.0)));
    EXPECT_TRUE(Get(screen, "D").SameAs(Value::Double(-0.0001)));
    EXPECT_TRUE(Get(screen, "STR").SameAs(Value::Str("text")));
    EXPECT_TRUE(Get(screen, "ES").SameAs(Value::Str("")));
    EXPECT_TRUE(Get(screen, "NONE").IsEmpty());
}

// A screen with a picture, a text, a shape, an animation with its keys, an image list and an
// element that is not saved.
class StateSceneTest : public StateFileTest {
protected:
    StateSceneTest()
        : screen(Add(db, "TKQScreen", "Room")), image(Add(screen, "TKQImage", "Lamp")),
          text(Add(screen, "TKQText", "Label")), shape(Add(screen, "TKQShape", "Box")),
          anim(Add(screen, "TKQAnim", "Fire")), key(Add(anim, "TKQAnKey", "Key1")),
          keyImage(Add(key, "TKQImage", "Flame")), list(Add(screen, "TKQImList", "Bag")),
          secret(Add(screen, "TKQImage", "Secret")), inner(Add(secret, "TKQImage", "Inner")),
          item(Add(screen, "TKQImage", "Coin")) {
        screen.SetX(10);
        screen.SetY(-20);
        image.rX = -12.375;
        image.rY = 0.1;
        image.Tag = "lit";
        image.SetOrder(3);
        inner.Tag = "inner";
        secret.NotSave = true;
        secret.Tag = "hidden";
        auto& bag = static_cast<TestImList&>(list);
        bag.AddItem(item);
        bag.AddItem(image);
        GiveVars(screen, {{"SCORE", Value::Int(12)}});
        GiveVars(inner, {{"SEEN", Value::Bool(true)}});
        db.SetLang("eng.lng");
        InitAll();
        db.SetFileRS("save.dat");
    }

    TKQElement& screen;
    TKQElement& image;
    TKQElement& text;
    TKQElement& shape;
    TKQElement& anim;
    TKQElement& key;
    TKQElement& keyImage;
    TKQElement& list;
    TKQElement& secret;
    TKQElement& inner;
    TKQElement& item;
};

TEST_F(StateSceneTest, WritesTheTreeDepthFirstWithoutExcludedNames) {
    ASSERT_TRUE(db.SaveState());
    const auto records = Records();

    // Element order: depth first, the animation's keys and the unsaved element left out.
    std::vector<int32_t> order;
    for (const SavedRecord& r : records) {
        if (order.empty() || order.back() != r.key) {
            order.push_back(r.key);
        }
    }
    EXPECT_EQ(order, (std::vector<int32_t>{db.Key, screen.Key, image.Key, text.Key, shape.Key,
                                           anim.Key, list.Key, inner.Key, item.Key}));

    for (const SavedRecord& r : records) {
        EXPECT_FALSE(r.name.starts_with("EX")) << r.name;
        for (const char* never :
             {"ID", "KEY", "NOTSAVE", "CURKEY", "FILERS", "INTERPOL", "INTERPOLSC", "MSKEEP"}) {
            EXPECT_NE(r.name, never);
        }
    }
    // Pictures, texts and shapes keep fractional positions; a screen saves whole X and Y.
    for (TKQElement* e : {&image, &text, &shape}) {
        EXPECT_EQ(Find(records, e->Key, "X"), nullptr) << e->Id;
        EXPECT_EQ(Find(records, e->Key, "Y"), nullptr) << e->Id;
    }
    ASSERT_NE(Find(records, image.Key, "RX"), nullptr);
    EXPECT_EQ(Find(records, image.Key, "RX")->tag, 'E');
    EXPECT_EQ(Find(records, image.Key, "RX")->floatValue, -12.375);
    EXPECT_EQ(Find(records, image.Key, "RY")->floatValue, 0.1);
    ASSERT_NE(Find(records, screen.Key, "X"), nullptr);
    EXPECT_EQ(Find(records, screen.Key, "X")->tag, 'I');
    EXPECT_EQ(Find(records, screen.Key, "X")->intValue, 10);
    EXPECT_EQ(Find(records, screen.Key, "Y")->intValue, -20);
    // Published booleans are integers 0/1 (only variables use -1 for true).
    EXPECT_EQ(Find(records, image.Key, "VIS")->intValue, 1);
    EXPECT_EQ(Find(records, inner.Key, "SEEN")->intValue, -1);
    ASSERT_NE(Find(records, db.Key, "LANG"), nullptr);
    EXPECT_EQ(Find(records, db.Key, "LANG")->text, "eng.lng");
    // The image list's items by key, after its properties.
    const auto listRecords = RecordsOf(records, list.Key);
    ASSERT_FALSE(listRecords.empty());
    EXPECT_EQ(listRecords.back().name, "ELEMENTS");
    EXPECT_EQ(listRecords.back().text,
              std::to_string(item.Key) + ";" + std::to_string(image.Key) + ";");
    EXPECT_TRUE(RecordsOf(records, secret.Key).empty());
    EXPECT_TRUE(RecordsOf(records, key.Key).empty());
    EXPECT_TRUE(RecordsOf(records, keyImage.Key).empty());
    EXPECT_EQ(timerResets, 1);
}

// A shape effect is a shape: it keeps its fractional position, so an "X" record written after
// "RX" could never round it away on loading.
TEST_F(StateFileTest, AShapeEffectSavesOnlyItsFractionalPosition) {
    TKQElement& room = Add(db, "TKQScreen", "Room");
    TKQElement& effect = Add(room, "TKQShapeEff", "Glow");
    effect.rX = 10.625;
    effect.rY = -3.25;
    db.SetFileRS("save.dat");
    ASSERT_TRUE(db.SaveState());
    const auto records = Records();
    ASSERT_FALSE(RecordsOf(records, effect.Key).empty());
    EXPECT_EQ(Find(records, effect.Key, "X"), nullptr);
    EXPECT_EQ(Find(records, effect.Key, "Y"), nullptr);
    ASSERT_NE(Find(records, effect.Key, "RX"), nullptr);
    EXPECT_EQ(Find(records, effect.Key, "RX")->floatValue, 10.625);
    EXPECT_EQ(Find(records, effect.Key, "RY")->floatValue, -3.25);

    effect.rX = 0;
    effect.rY = 0;
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(effect.rX, 10.625);
    EXPECT_EQ(effect.rY, -3.25);
}

TEST_F(StateSceneTest, LoadAssignsTheSavedValuesBackThroughSetters) {
    ASSERT_TRUE(db.SaveState());
    const std::string saved = FileBytes();

    screen.SetX(500);
    image.rX = 7;
    image.rY = 8;
    image.Tag = "dark";
    inner.Tag = "changed";
    Put(screen, "SCORE", Value::Int(0));
    Put(inner, "SEEN", Value::Bool(false));
    db.SetLang("rus.lng");
    EXPECT_EQ(db.Translate("Menu.Start"), "Nachalo");
    static_cast<TestImList&>(list).ClearItems();
    // An unsaved element keeps what it has now.
    secret.Tag = "now";

    host.loads.clear();
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(FileBytes(), saved); // loading does not touch the file

    EXPECT_EQ(screen.X(), 10);
    EXPECT_EQ(image.rX, -12.375);
    EXPECT_EQ(image.rY, 0.1);
    EXPECT_EQ(image.Tag, "lit");
    EXPECT_EQ(inner.Tag, "inner");
    EXPECT_EQ(secret.Tag, "now");
    EXPECT_TRUE(Get(screen, "SCORE").SameAs(Value::Int(12)));
    EXPECT_TRUE(Get(inner, "SEEN").SameAs(Value::Int(-1)));
    // The language came back through its setter: its texts are those of the saved language.
    EXPECT_EQ(db.Lang, "eng.lng");
    EXPECT_EQ(db.Translate("Menu.Start"), "Begin");
    auto& bag = static_cast<TestImList&>(list);
    ASSERT_EQ(bag.ItemCount(), 2u);
    EXPECT_EQ(bag.ItemImage(0), &item);
    EXPECT_EQ(bag.ItemImage(1), &image);
    EXPECT_FALSE(rt.loading);
    EXPECT_TRUE(rt.loadImagesNow);
    EXPECT_EQ(timerResets, 2); // the save and the load
}

TEST_F(StateSceneTest, LoadEndsWithTheLoadEventOnTheWholeTree) {
    db.SetScript(ScriptSlot::AfterLoad, "root");
    inner.SetScript(ScriptSlot::AfterLoad, "inner");
    ASSERT_TRUE(db.SaveState());
    host.loads.clear();
    ASSERT_TRUE(db.LoadState());
    ASSERT_EQ(host.loads.size(), 2u);
    EXPECT_EQ(host.loads[0].element, "Game");
    EXPECT_EQ(host.loads[1].element, "Inner");
    for (const auto& run : host.loads) {
        EXPECT_TRUE(run.loading);       // still applying the state
        EXPECT_TRUE(run.loadImagesNow); // pictures load at once again
    }
    // A state file that is not there yet reads as an empty one.
    fs::remove(db.StateFilePath());
    host.loads.clear();
    image.Tag = "kept";
    EXPECT_TRUE(db.LoadState());
    EXPECT_EQ(image.Tag, "kept");
    EXPECT_EQ(host.loads.size(), 2u);
}

TEST_F(StateSceneTest, SavingTwiceGivesTheSameFileAndFewerRecordsLeaveNoTail) {
    ASSERT_TRUE(db.SaveState());
    const std::string first = FileBytes();
    ASSERT_TRUE(db.SaveState());
    EXPECT_EQ(FileBytes(), first);

    const int32_t goneKey = shape.Key;
    shape.Destroy();
    ASSERT_TRUE(db.SaveState());
    const std::string second = FileBytes();
    EXPECT_LT(second.size(), first.size());
    const auto records = Records(); // reads to the exact end
    EXPECT_TRUE(RecordsOf(records, goneKey).empty());
    EXPECT_FALSE(fs::exists(scene::state::TemporaryPathFor(db.StateFilePath())));
}

TEST_F(StateSceneTest, RecordsOfVanishedAndUnsavedElementsAreIgnored) {
    Put(screen, "SCORE", Value::Int(1));
    scene::state::RecordWriter w;
    w.String(secret.Key, "TAG", "must not land");
    w.String(999, "TAG", "nobody");
    w.Int(screen.Key, "SCORE", 5);
    w.String(inner.Key, "TAG", "applied");
    w.Int(screen.Key, "NOSUCHNAME", 1);
    w.Object(screen.Key, "SCORE", 4242); // a key no element has: handle 0
    // Names a save never writes: script texts and the state file's name are not replaced.
    w.String(image.Key, "EXINIT", "injected");
    w.String(image.Key, "exInit", "injected");
    w.String(db.Key, "FILERS", "elsewhere.sav");
    std::string bytes = w.Data();
    scene::state::RecordWriter tail;
    tail.String(image.Key, "TAG", "after unknown tag");
    bytes += Bytes().I32(image.Key).Str("ODD").U8('Q').Data() + tail.Data();
    WriteStateFile(bytes);

    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(secret.Tag, "hidden");
    EXPECT_EQ(inner.Tag, "applied");
    EXPECT_EQ(image.Tag, "after unknown tag");
    EXPECT_TRUE(Get(screen, "SCORE").SameAs(Value::LongWord(0)));
    EXPECT_TRUE(image.Script(ScriptSlot::Init).Empty());
    EXPECT_EQ(db.FileRS, "save.dat");
}

TEST_F(StateSceneTest, ElementsAreFoundWhateverTheRecordOrder) {
    // Keys jump back and forth, so the next-record guess misses often.
    scene::state::RecordWriter w;
    TKQElement* root = &db;
    for (TKQElement* e : {&item, &image, root, &inner, &text, &image, &screen, &item}) {
        w.String(e->Key, "TAG", e->Id + "-tag");
    }
    WriteStateFile(w.Data());
    ASSERT_TRUE(db.LoadState());
    for (TKQElement* e : {&item, &image, root, &inner, &text, &screen}) {
        EXPECT_EQ(e->Tag, e->Id + "-tag");
    }
}

TEST_F(StateSceneTest, ARepeatedKeyBelongsToTheFirstElementInTreeOrder) {
    text.Key = item.Key; // text comes first in depth-first order
    scene::state::RecordWriter w;
    w.String(item.Key, "TAG", "first");
    w.Object(screen.Key, "SCORE", item.Key);
    WriteStateFile(w.Data());
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(text.Tag, "first");
    EXPECT_NE(item.Tag, "first");
    EXPECT_TRUE(Get(screen, "SCORE").SameAs(Value::LongWord(text.Handle())));
}

// Elements that share a Key (scenes pasted together, hand-edited files) each get their own
// values back when the element after a searched one is the duplicate: the search's guess
// reaches it, while a fresh search would find the first one again.
TEST_F(StateFileTest, DuplicateKeysSeparatedByOtherKeysAreRestored) {
    TKQElement& room = Add(db, "TKQScreen", "Room");
    TKQElement& a = Add(room, "TKQImage", "A");
    TKQElement& b = Add(room, "TKQImage", "B");
    TKQElement& c = Add(room, "TKQImage", "C");
    TKQElement& d = Add(room, "TKQImage", "D");
    TKQElement& e = Add(room, "TKQImage", "E");
    d.Key = a.Key;
    for (TKQElement* x : {&a, &b, &c, &d, &e}) {
        x->Tag = x->Id + "-saved";
    }
    a.rX = 1.5;
    d.rX = 4.5;
    db.SetFileRS("save.dat");
    ASSERT_TRUE(db.SaveState());

    for (TKQElement* x : {&a, &b, &c, &d, &e}) {
        x->Tag = "changed";
        x->rX = 0;
    }
    ASSERT_TRUE(db.LoadState());
    for (TKQElement* x : {&a, &b, &c, &d, &e}) {
        EXPECT_EQ(x->Tag, x->Id + "-saved");
    }
    EXPECT_EQ(a.rX, 1.5);
    EXPECT_EQ(d.rX, 4.5);

    // Adjacent duplicates are one run of records: both runs land on the first element.
    c.Key = b.Key;
    b.Tag = c.Tag = "changed";
    scene::state::RecordWriter w;
    w.String(b.Key, "TAG", "b");
    w.String(c.Key, "TAG", "c");
    WriteStateFile(w.Data());
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(b.Tag, "c");
    EXPECT_EQ(c.Tag, "changed");
}

// A file of unknown and shuffled keys must cost one pass over the tree plus a constant per
// record, not a search of the tree per record.
TEST_F(StateFileTest, HostileKeyOrderCostsOnePassOverTheTree) {
    constexpr int kElements = 3000;
    constexpr int kRecords = 30000;
    TKQElement& room = Add(db, "TKQScreen", "Room");
    std::vector<TKQElement*> elements;
    for (int i = 0; i < kElements; ++i) {
        elements.push_back(
            &Add(i % 2 ? *elements.back() : room, "TKQImage", "I" + std::to_string(i)));
    }
    std::mt19937 rng(11);
    scene::state::RecordWriter w;
    for (int i = 0; i < kRecords; ++i) {
        // Unknown keys, real keys from anywhere in the tree and references, interleaved.
        const int32_t unknown = 1'000'000 + static_cast<int32_t>(rng() % 1'000'000);
        const int32_t known = elements[rng() % kElements]->Key;
        if (i % 3 == 0) {
            w.Int(unknown, "TAG", 1);
        } else if (i % 3 == 1) {
            w.String(known, "TAG", "t");
        } else {
            w.Object(known, "SELFREF", unknown);
        }
    }
    db.SetFileRS("save.dat");
    WriteStateFile(w.Data());
    ASSERT_TRUE(db.LoadState());

    // The same records through the lookup the load uses, counting its work.
    scene::StateRecordLookup lookup(db, rt.handles);
    const uint64_t indexWork = lookup.Work();
    EXPECT_EQ(indexWork, uint64_t{kElements} + 2); // the root, the screen and the pictures
    const std::string bytes = FileBytes();
    scene::state::RecordReader reader(bytes);
    scene::state::Record r;
    int records = 0;
    int found = 0;
    while (reader.Next(r) == scene::state::RecordReader::Status::Ok) {
        ++records;
        if (r.tag == scene::state::kTagObject) {
            lookup.Search(r.intValue);
        }
        if (lookup.ElementOf(r.key)) {
            ++found;
        }
    }
    ASSERT_EQ(records, kRecords);
    EXPECT_EQ(found, kRecords * 2 / 3);
    EXPECT_LE(lookup.Work(), indexWork + 2 * uint64_t{kRecords});
}

TEST_F(StateSceneTest, DestroyedElementsBetweenSaveAndLoad) {
    Put(screen, "SCORE", Value::LongWord(item.Handle()));
    ASSERT_TRUE(db.SaveState());
    image.Tag = "changed";
    item.Destroy(); // also referenced by the list and by SCORE
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(image.Tag, "lit");
    EXPECT_TRUE(Get(screen, "SCORE").SameAs(Value::LongWord(0)));
    auto& bag = static_cast<TestImList&>(list);
    ASSERT_EQ(bag.ItemCount(), 1u);
    EXPECT_EQ(bag.ItemImage(0), &image);
}

TEST_F(StateSceneTest, AFailedSaveKeepsThePreviousSave) {
    ASSERT_TRUE(db.SaveState());
    const std::string previous = FileBytes();
    image.Tag = std::string(4096, 'x'); // the new save is larger than the old one

    // The file system refuses to let the file grow past half the old save, mid-write.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = previous.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = db.SaveState();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(FileBytes(), previous);
    EXPECT_FALSE(fs::exists(scene::state::TemporaryPathFor(db.StateFilePath())));
    EXPECT_EQ(timerResets, 2);

    // A folder in the way of the temporary file: nothing can be written at all.
    fs::create_directories(scene::state::TemporaryPathFor(db.StateFilePath()) / "blocker");
    EXPECT_FALSE(db.SaveState());
    EXPECT_EQ(FileBytes(), previous);
    fs::remove_all(scene::state::TemporaryPathFor(db.StateFilePath()));

    ASSERT_TRUE(db.SaveState());
    image.Tag = "";
    ASSERT_TRUE(db.LoadState());
    EXPECT_EQ(image.Tag, std::string(4096, 'x'));
}

TEST_F(StateSceneTest, CutShortFilesApplyTheWholeRecordsBeforeTheCut) {
    ASSERT_TRUE(db.SaveState());
    const std::string full = FileBytes();
    // Where each record ends, to know which cuts fall between records.
    std::vector<size_t> ends = {0};
    {
        scene::state::RecordReader reader(full);
        scene::state::Record r;
        while (reader.Next(r) == scene::state::RecordReader::Status::Ok) {
            ends.push_back(reader.Offset());
        }
    }
    // Thousands of expected warnings: keep the test output readable.
    spdlog::set_level(spdlog::level::err);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        WriteStateFile(std::string_view(full).substr(0, cut));
        const bool between = std::find(ends.begin(), ends.end(), cut) != ends.end();
        const media::LoadResult loaded = db.LoadState();
        EXPECT_EQ(loaded.Ok(), between) << cut;
        if (!loaded) {
            // The error names the start of the record the cut fell into.
            const size_t recordAt = *std::prev(std::upper_bound(ends.begin(), ends.end(), cut));
            EXPECT_EQ(loaded.Error().offset, recordAt) << cut;
            EXPECT_EQ(loaded.Error().problem, media::LoadError::Problem::Truncated) << cut;
        }
        EXPECT_FALSE(rt.loading);
        EXPECT_TRUE(rt.loadImagesNow);
    }
    spdlog::set_level(spdlog::level::info);

    // A bad record in the middle: what came before stays applied, nothing after it is read.
    scene::state::RecordWriter before, after;
    before.String(image.Key, "TAG", "before");
    after.String(inner.Key, "TAG", "after");
    image.Tag = inner.Tag = "unchanged";
    WriteStateFile(before.Data() + Bytes().I32(image.Key).I32(-3).Data() + after.Data());
    const media::LoadResult bad = db.LoadState();
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.Error().problem, media::LoadError::Problem::Corrupt);
    EXPECT_EQ(bad.Error().offset, before.Data().size());
    EXPECT_EQ(bad.Error().file, db.StateFilePath().string());
    EXPECT_EQ(image.Tag, "before");
    EXPECT_EQ(inner.Tag, "unchanged");
}

TEST_F(StateSceneTest, HostileFilesNeitherCrashNorAllocate) {
    const std::vector<std::string> hostile = {
        Bytes().I32(image.Key).I32(0x7FFFFFFF).Raw("TAG").Data(),
        Bytes().I32(image.Key).I32(INT32_MIN).Data(),
        Bytes().I32(image.Key).Str("TAG").U8('S').I32(0x7FFFFFF0).Raw("abc").Data(),
        Bytes().I32(image.Key).Str("TAG").U8('S').I32(-1).Data(),
        Bytes()
            .I32(image.Key)
            .Str("RX")
            .U8('E')
            .Raw("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F")
            .Data(), // a NaN for a float property
    };
    for (const std::string& bytes : hostile) {
        WriteStateFile(bytes);
        const media::LoadResult loaded = db.LoadState();
        if (!loaded) {
            EXPECT_LT(loaded.Error().offset, bytes.size()); // the start of a bad record
        }
        EXPECT_FALSE(rt.loading);
    }
    std::mt19937 rng(5);
    spdlog::set_level(spdlog::level::err);
    for (int i = 0; i < 300; ++i) {
        // Random bytes, sometimes after a valid key so that records reach real elements.
        std::string bytes = RandomBytes(rng, rng() % 200);
        if (i % 2) {
            bytes = Bytes().I32(image.Key).Data() + bytes;
        }
        WriteStateFile(bytes);
        const media::LoadResult loaded = db.LoadState();
        if (!loaded) {
            EXPECT_LT(loaded.Error().offset, bytes.size()); // the start of a bad record
        }
        EXPECT_FALSE(rt.loading);
    }
    spdlog::set_level(spdlog::level::info);
}

TEST_F(StateSceneTest, OversizedFilesAreNotRead) {
    db.SetScript(ScriptSlot::AfterLoad, "root");
    ASSERT_TRUE(db.SaveState());
    // A sparse file: large on paper, no disk space used.
    fs::resize_file(db.StateFilePath(), uintmax_t{300} << 20);
    image.Tag = "kept";
    host.loads.clear();
    EXPECT_FALSE(db.LoadState());
    EXPECT_EQ(image.Tag, "kept");
    EXPECT_TRUE(host.loads.empty());
    EXPECT_FALSE(rt.loading);
}

} // namespace
} // namespace kq::test
