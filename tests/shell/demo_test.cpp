// Runs the real kqplayer on the bundled demo game: headless frames compared with reference
// pictures, and one run in a real X window (under Xvfb) clicked with xdotool.
//
// The references live in tests/fixtures/demo. After an intended change of the demo or of the
// drawing, run this test once with KQ_UPDATE_FIXTURES=1 to rewrite them, then look at them.
#include "media/image_decode.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kq::test {
namespace {

namespace fs = std::filesystem;

// The door sits at X 200 and moves 60 to the right per click; the lamp is at (620, 300).
constexpr int kDoorX = 200;
constexpr int kDoorY = 420;
constexpr int kDoorStep = 60;
constexpr int kLampX = 620;
constexpr int kLampY = 300;

fs::path PlayerBinary() {
    return fs::path(KQ_BINARY_DIR) / "kqplayer";
}

fs::path DemoGame() {
    return fs::path(KQ_BINARY_DIR) / "games" / "demo" / "demo.kqf";
}

fs::path FixtureDir() {
    return fs::path(KQ_FIXTURES_DIR) / "demo";
}

std::string Quote(const fs::path& p) {
    return "\"" + p.string() + "\"";
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ToolExists(const std::string& tool) {
    return std::system(("command -v " + tool + " > /dev/null 2>&1").c_str()) == 0;
}

// The props of the element with this Id anywhere in a dump; null when there is none.
const nlohmann::json* FindById(const nlohmann::json& node, std::string_view id) {
    if (!node.is_object()) {
        return nullptr;
    }
    const auto props = node.find("props");
    if (props != node.end() && props->is_object()) {
        const auto found = props->find("Id");
        if (found != props->end() && found->is_string() && found->get<std::string>() == id) {
            return &*props;
        }
    }
    const auto children = node.find("children");
    if (children == node.end() || !children->is_array()) {
        return nullptr;
    }
    for (const nlohmann::json& child : *children) {
        if (const nlohmann::json* hit = FindById(child, id)) {
            return hit;
        }
    }
    return nullptr;
}

nlohmann::json ReadDump(const fs::path& file) {
    if (!fs::exists(file)) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return nlohmann::json::parse(ReadAll(file), nullptr, false);
}

class DemoGameRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(DemoGame()) || !fs::exists(DemoGame().replace_extension(".kst"))) {
            KQ_SKIP_MISSING() << "the demo game is not built (target demo_game)";
        }
        if (!fs::exists(PlayerBinary())) {
            KQ_SKIP_MISSING() << "kqplayer is not built";
        }
    }
};

struct PixelDifference {
    size_t differing = 0; // pixels with some channel off by more than the tolerance
    size_t total = 0;
};

PixelDifference ComparePictures(const media::Picture& a, const media::Picture& b, int tolerance) {
    PixelDifference diff;
    diff.total = a.pixels.size();
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int ca = static_cast<int>((a.pixels[i] >> shift) & 0xff);
            const int cb = static_cast<int>((b.pixels[i] >> shift) & 0xff);
            if (std::abs(ca - cb) > tolerance) {
                ++diff.differing;
                break;
            }
        }
    }
    return diff;
}

// Compares a screenshot with its reference, or makes it the reference in update mode.
void ExpectMatchesReference(const fs::path& shot, const std::string& referenceName) {
    const fs::path reference = FixtureDir() / referenceName;
    const char* update = std::getenv("KQ_UPDATE_FIXTURES");
    if (update != nullptr && std::string_view(update) == "1") {
        fs::create_directories(FixtureDir());
        fs::copy_file(shot, reference, fs::copy_options::overwrite_existing);
        std::printf("reference written: %s\n", reference.string().c_str());
        return;
    }
    ASSERT_TRUE(fs::exists(reference))
        << reference << " is missing; run once with KQ_UPDATE_FIXTURES=1 and check it";
    const auto actual = media::DecodePng(ReadAll(shot), shot.string());
    const auto expected = media::DecodePng(ReadAll(reference), reference.string());
    ASSERT_TRUE(actual.Ok()) << shot;
    ASSERT_TRUE(expected.Ok()) << reference;
    ASSERT_EQ(actual->width, expected->width);
    ASSERT_EQ(actual->height, expected->height);
    const PixelDifference diff = ComparePictures(*actual, *expected, 3);
    // The temporary folder goes away with the test; keep a failing frame where it can be seen.
    const fs::path kept = fs::path(KQ_BINARY_DIR) / ("demo_test_actual_" + referenceName);
    if (diff.differing * 1000 > diff.total) {
        fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    }
    // Rasterisers may round a few edge pixels differently; anything more is a real change.
    EXPECT_LE(diff.differing * 1000, diff.total)
        << diff.differing << " of " << diff.total << " pixels differ from " << reference
        << "; the frame is kept at " << kept;
}

TEST_F(DemoGameRun, HoverAndClicksDrawTheReferenceFrames) {
    TempDir dir;
    // Hover the door, click it, then hover and click the lamp.
    auto line = [](int step, const char* verb, int x, int y) {
        return std::to_string(step) + " " + verb + " " + std::to_string(x) + " " +
               std::to_string(y) + "\n";
    };
    const std::string script = line(5, "move", kDoorX, kDoorY) + line(10, "down", kDoorX, kDoorY) +
                               line(11, "up", kDoorX, kDoorY) + line(15, "move", kLampX, kLampY) +
                               line(20, "down", kLampX, kLampY) + line(21, "up", kLampX, kLampY);
    const fs::path input = dir.Write("input.txt", script);
    const fs::path hovered = dir.Path() / "hovered.png";
    const fs::path clicked = dir.Path() / "clicked.png";
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    const std::string command =
        Quote(PlayerBinary()) + " --headless --skip-logos --steps 30 --data-dir " +
        Quote(dir.Path()) + " --input " + Quote(input) + " --screenshot " +
        Quote("8:" + hovered.string()) + " --screenshot " + Quote("30:" + clicked.string()) +
        " --dump " + Quote(dump) + " " + Quote(DemoGame()) + " > " + Quote(log) + " 2>&1";
    ASSERT_EQ(ExitCode(std::system(command.c_str())), 0) << ReadAll(log);
    ASSERT_TRUE(fs::exists(hovered)) << ReadAll(log);
    ASSERT_TRUE(fs::exists(clicked)) << ReadAll(log);

    // The state first: a picture mismatch is easier to read once the clicks are known to work.
    const nlohmann::json state = ReadDump(dump);
    ASSERT_FALSE(state.is_discarded()) << ReadAll(log);
    const nlohmann::json* door = FindById(state, "Door");
    const nlohmann::json* lamp = FindById(state, "Lamp");
    ASSERT_NE(door, nullptr);
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ((*door)["X"], kDoorX + kDoorStep);
    EXPECT_EQ((*door)["Angle"], 15.0);
    EXPECT_EQ((*lamp)["Scale"], 1.6);
    // The lamp's mask was found: nothing warned about an unusable partner or mask.
    EXPECT_EQ(ReadAll(log).find("unusable"), std::string::npos) << ReadAll(log);

    ExpectMatchesReference(hovered, "menu_door_hovered.png");
    ExpectMatchesReference(clicked, "menu_after_clicks.png");
}

// The whole node (props, state, children) of the element with this Id; null when none.
const nlohmann::json* FindNodeById(const nlohmann::json& node, std::string_view id) {
    if (!node.is_object()) {
        return nullptr;
    }
    const auto props = node.find("props");
    if (props != node.end() && props->is_object()) {
        const auto found = props->find("Id");
        if (found != props->end() && found->is_string() && found->get<std::string>() == id) {
            return &node;
        }
    }
    const auto children = node.find("children");
    if (children == node.end() || !children->is_array()) {
        return nullptr;
    }
    for (const nlohmann::json& child : *children) {
        if (const nlohmann::json* hit = FindNodeById(child, id)) {
            return hit;
        }
    }
    return nullptr;
}

TEST_F(DemoGameRun, DumpGivesEveryAnimationItsFrameCount) {
    TempDir dir;
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    const std::string command = Quote(PlayerBinary()) +
                                " --headless --skip-logos --steps 3 --data-dir " +
                                Quote(dir.Path()) + " --dump " + Quote(dump) + " " +
                                Quote(DemoGame()) + " > " + Quote(log) + " 2>&1";
    ASSERT_EQ(ExitCode(std::system(command.c_str())), 0) << ReadAll(log);
    const nlohmann::json state = ReadDump(dump);
    ASSERT_FALSE(state.is_discarded()) << ReadAll(log);
    // The walk: three keys of 25 frames and a last key of one.
    const nlohmann::json* walk = FindNodeById(state, "Walk");
    ASSERT_NE(walk, nullptr);
    ASSERT_TRUE(walk->contains("state"));
    EXPECT_EQ(walk->at("state"), nlohmann::json({{"frames", 76}}));
    const nlohmann::json* twirl = FindNodeById(state, "Twirl");
    ASSERT_NE(twirl, nullptr);
    ASSERT_TRUE(twirl->contains("state"));
    EXPECT_EQ(twirl->at("state").at("frames"), 30);
    // Other classes carry no such state.
    const nlohmann::json* door = FindNodeById(state, "Door");
    ASSERT_NE(door, nullptr);
    EXPECT_FALSE(door->contains("state"));
}

// A real window on a virtual X server, clicked by xdotool as a user would.
TEST_F(DemoGameRun, ClickInARealWindowMovesTheDoor) {
    for (const char* tool : {"xvfb-run", "xdotool", "import", "timeout"}) {
        if (!ToolExists(tool)) {
            KQ_SKIP_MISSING() << tool << " is not installed";
        }
    }
    TempDir dir;
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path playerLog = dir.Path() / "player.log";
    const fs::path driverLog = dir.Path() / "driver.log";
    const fs::path screen = dir.Path() / "screen.png";
    // Runs inside the virtual display: the player in the background, then the click as soon
    // as its window (titled by the game's Id) exists; 150 steps leave five seconds for that.
    const std::string driver =
        "SDL_VIDEODRIVER=x11 \"$1\" --windowed --skip-logos --steps 150 --data-dir \"$6\" "
        "--dump \"$2\" \"$3\" "
        "> \"$4\" 2>&1 &\n"
        "pid=$!\n"
        "sleep 2\n"
        "win=$(timeout 15 xdotool search --sync --name 'KQDemo' | head -n 1)\n"
        "if [ -z \"$win\" ]; then echo \"no window named KQDemo\"; kill $pid; wait $pid; "
        "exit 3; fi\n"
        "xdotool mousemove --window \"$win\" " +
        std::to_string(kDoorX) + " " + std::to_string(kDoorY) +
        "\n"
        "sleep 0.3\n"
        "xdotool click 1\n"
        "sleep 0.5\n"
        "import -window root -depth 8 \"PNG24:$5\"\n"
        "wait $pid\n";
    const fs::path script = dir.Write("drive.sh", driver);
    const std::string command = "xvfb-run -a -s \"-screen 0 1024x768x24\" sh " + Quote(script) +
                                " " + Quote(PlayerBinary()) + " " + Quote(dump) + " " +
                                Quote(DemoGame()) + " " + Quote(playerLog) + " " + Quote(screen) +
                                " " + Quote(dir.Path()) + " > " + Quote(driverLog) + " 2>&1";
    const int code = ExitCode(std::system(command.c_str()));
    const std::string logs = "driver:\n" + ReadAll(driverLog) + "\nplayer:\n" + ReadAll(playerLog);
    ASSERT_EQ(code, 0) << logs;

    const nlohmann::json state = ReadDump(dump);
    ASSERT_FALSE(state.is_discarded()) << logs;
    EXPECT_EQ(state["runtime"]["tick_count"], 150) << logs;
    EXPECT_EQ(state["runtime"]["mouse"], nlohmann::json::array({kDoorX, kDoorY})) << logs;
    const nlohmann::json* door = FindById(state, "Door");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ((*door)["X"], kDoorX + kDoorStep) << logs;

    // What the X server shows is the game, not an empty window: the lamp's bulb is lit.
    const auto shown = media::DecodePng(ReadAll(screen), screen.string());
    ASSERT_TRUE(shown.Ok()) << logs;
    ASSERT_EQ(shown->width, 1024);
    ASSERT_EQ(shown->height, 768);
    const uint32_t bulb = shown->At(kLampX, kLampY - 8);
    EXPECT_GT((bulb >> 16) & 0xff, 200u) << std::hex << bulb;
    EXPECT_GT((bulb >> 8) & 0xff, 200u) << std::hex << bulb;
    const uint32_t sky = shown->At(kLampX, 40);
    EXPECT_LT((sky >> 16) & 0xff, 100u) << std::hex << sky;
}

// The game played through its screens: a save, changes, a language switch, a cheat, a screen
// change through the loading screen, a volume slider, and a load that brings the save back.
TEST_F(DemoGameRun, PlaysThroughScreensSavesAndLoads) {
    TempDir dir;
    auto at = [](int step, int x, int y) {
        return std::to_string(step) + " down " + std::to_string(x) + " " + std::to_string(y) +
               "\n" + std::to_string(step + 1) + " up " + std::to_string(x) + " " +
               std::to_string(y) + "\n";
    };
    auto chars = [](int step, std::string_view text) {
        std::string out;
        for (char c : text) {
            out += std::to_string(step++) + " char " + std::to_string(int(c)) + "\n";
        }
        return out;
    };
    const int buttonY = 720;
    const std::string script =
        at(5, kDoorX, kDoorY) +       // the door moves 60 to the right
        "10 key 39\n" +               // the right arrow moves it 20 more (key_Down)
        at(15, 550, buttonY) +        // Save
        at(20, 950, buttonY) +        // the flag: Russian
        at(25, kDoorX + 80, kDoorY) + // the door again
        chars(30, "xruby") +          // a cheat code inside other typing
        at(40, 120, buttonY) +        // Play: through the loading screen to the room
        at(60, 120, buttonY) +        // Back to the menu
        at(70, 340, buttonY) +        // Settings
        at(80, 312 + 30 * 4, 248) +   // music slider to 30
        at(90, 120, buttonY) +        // Back
        at(100, 770, buttonY);        // Load: the saved state returns
    const fs::path input = dir.Write("input.txt", script);
    const fs::path dump = dir.Path() / "dump.json";
    const fs::path log = dir.Path() / "log.txt";
    const fs::path data = dir.Path() / "data";
    const std::string command = Quote(PlayerBinary()) +
                                " --headless --skip-logos --steps 120 --data-dir " + Quote(data) +
                                " --input " + Quote(input) + " --dump " + Quote(dump) + " " +
                                Quote(DemoGame()) + " > " + Quote(log) + " 2>&1";
    ASSERT_EQ(ExitCode(std::system(command.c_str())), 0) << ReadAll(log);
    const nlohmann::json state = ReadDump(dump);
    ASSERT_FALSE(state.is_discarded()) << ReadAll(log);

    // Back on the menu, with the saved door position, language and click count.
    const nlohmann::json* menu = FindById(state, "Menu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(state["runtime"]["current_screen"], (*menu)["Key"]) << ReadAll(log);
    EXPECT_EQ(state["runtime"]["loading_active"], false);
    const nlohmann::json* door = FindById(state, "Door");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ((*door)["X"], kDoorX + kDoorStep + 20) << ReadAll(log);
    EXPECT_EQ(state["props"]["Lang"], "eng.lng");
    const nlohmann::json* play = FindById(state, "Play");
    ASSERT_NE(play, nullptr);
    // Picture names are kept in upper case once a script or a saved state has set them.
    EXPECT_EQ((*play)["imImage"], "IMAGES\\BTN_PLAY_ENG.PNG");
    EXPECT_EQ(state["vars"]["CLICKS"], nlohmann::json::array({"Integer", 1})) << state["vars"];
    // The cheat was typed after the save: loading took its prize away again.
    const nlohmann::json* prize = FindById(state, "Prize");
    ASSERT_NE(prize, nullptr);
    EXPECT_EQ((*prize)["Vis"], false);
    // The loading screen's progress marker moved along its bar while the room's pictures
    // loaded (the last step of a change is the change itself, so it stops short of the end).
    const nlohmann::json* bar = FindById(state, "Bar");
    ASSERT_NE(bar, nullptr);
    EXPECT_GT((*bar)["X"].get<int>(), 214);
    EXPECT_LT((*bar)["X"].get<int>(), 214 + 548);

    // The settings survive in the per-user folder; the save file is there.
    const fs::path userFolder = data / "Kestwin" / "KQDemo";
    const std::string settings = ReadAll(userFolder / "settings.ini");
    EXPECT_NE(settings.find("Muz=30"), std::string::npos) << settings;
    EXPECT_TRUE(fs::exists(userFolder / "demo.sav"));
}

// The demo's audio as the headless trace shows it: the menu music fades in over 60 steps to
// the music volume (50), a click plays at the sound table's 80 %, Play fades the menu out
// over 30 steps and fades in the room's music, which exists only as OGG, to 70 % of 50.
TEST_F(DemoGameRun, AudioTraceFollowsTheFadeAndVolumeRules) {
    TempDir dir;
    const int clickStep = 70;
    const fs::path input =
        dir.Write("input.txt", std::to_string(clickStep) + " down 120 720\n" +
                                   std::to_string(clickStep + 1) + " up 120 720\n");
    const fs::path trace = dir.Path() / "audio.txt";
    const fs::path log = dir.Path() / "log.txt";
    const std::string command =
        Quote(PlayerBinary()) + " --headless --skip-logos --steps 140 --data-dir " +
        Quote(dir.Path()) + " --input " + Quote(input) + " --trace-audio " + Quote(trace) + " " +
        Quote(DemoGame()) + " > " + Quote(log) + " 2>&1";
    ASSERT_EQ(ExitCode(std::system(command.c_str())), 0) << ReadAll(log);

    struct Line {
        int step = 0;
        std::string call, name, fields;
    };
    std::vector<Line> lines;
    std::istringstream in(ReadAll(trace));
    for (std::string text; std::getline(in, text);) {
        std::istringstream words(text);
        Line line;
        words >> line.step >> line.call >> line.name;
        std::getline(words, line.fields);
        lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty()) << ReadAll(log);
    // The first step at which `name` was set to `volume`; -1 when never.
    auto firstAt = [&](std::string_view name, int volume) {
        for (const Line& l : lines) {
            if (l.call == "SetVolume" && l.name == name &&
                l.fields.ends_with(" vol=" + std::to_string(volume))) {
                return l.step;
            }
        }
        return -1;
    };
    auto loudest = [&](std::string_view name) {
        int most = -1;
        for (const Line& l : lines) {
            if (l.call == "SetVolume" && l.name == name) {
                most = std::max(most, std::stoi(l.fields.substr(l.fields.rfind('=') + 1)));
            }
        }
        return most;
    };
    auto stepOf = [&](std::string_view call, std::string_view name) {
        for (const Line& l : lines) {
            if (l.call == call && l.name == name) {
                return l.step;
            }
        }
        return -1;
    };

    EXPECT_EQ(stepOf("Play", "MENU.MP3"), 1);
    EXPECT_EQ(firstAt("MENU.MP3", 50), 60);
    EXPECT_EQ(loudest("MENU.MP3"), 50);
    EXPECT_EQ(firstAt("CLICK.WAV", 80), clickStep);
    EXPECT_EQ(stepOf("Stop", "MENU.MP3"), clickStep + 29);
    EXPECT_EQ(stepOf("CreateStreamFromMemory", "ROOM.OGG"), clickStep);
    EXPECT_EQ(firstAt("ROOM.OGG", 35), clickStep + 59);
    EXPECT_EQ(loudest("ROOM.OGG"), 35);
    EXPECT_EQ(stepOf("Stop", "ROOM.OGG"), -1);
}

} // namespace
} // namespace kq::test
