#include "shell/app.h"

#include "elements/classes.h"
#include "media/game_files.h"
#include "render/gl_canvas.h"
#include "render/image_service.h"
#include "render/png_writer.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/script_runtime.h"
#include "script/stdlib.h"
#include "shell/clock.h"
#include "shell/game_locator.h"
#include "shell/game_timer.h"
#include "shell/input_script.h"
#include "shell/player.h"
#include "shell/scene_dump.h"
#include "shell/sdl_window.h"

#include <CLI/CLI.hpp>
#include <SDL.h>
#include <spdlog/spdlog.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace kq::shell {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kRealTimerCheckNs = 1'000'000'000ull;

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::optional<std::pair<uint64_t, fs::path>> ParseScreenshot(const std::string& argument) {
    const size_t colon = argument.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= argument.size())
        return std::nullopt;
    uint64_t step = 0;
    const char* begin = argument.data();
    auto [ptr, ec] = std::from_chars(begin, begin + colon, step);
    if (ec != std::errc() || ptr != begin + colon)
        return std::nullopt;
    return std::make_pair(step, fs::path(argument.substr(colon + 1)));
}

// The services of a running player that the front end provides.
class AppHooks final : public PlayerHooks {
public:
    AppHooks(const media::TextCodec& codec, SdlWindow* window, render::GlCanvas* canvas)
        : codec_(codec), window_(window), canvas_(canvas) {}

    void SetPlayer(Player* player) { player_ = player; }

    std::optional<uint8_t> CharToCodePage(uint16_t code) const override {
        if (code < 128)
            return static_cast<uint8_t>(code);
        if (code >= 0xD800 && code <= 0xDFFF)
            return std::nullopt; // half of a pair: the code page has no such character
        std::string utf8;
        if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
        const std::string bytes = codec_.FromUtf8(utf8);
        if (bytes.empty())
            return std::nullopt;
        return static_cast<uint8_t>(bytes[0]);
    }

    bool DisplayWindowed() const override { return window_ ? window_->Windowed() : windowed_; }
    void SetDisplayWindowed(bool windowed) override {
        if (window_)
            window_->SetWindowed(windowed);
        else
            windowed_ = windowed; // headless: the mode is only remembered
    }
    int DesktopWidth() const override { return window_ ? window_->DesktopWidth() : 0; }

    void RepaintWhilePaused() override {
        if (!canvas_ || !player_)
            return;
        canvas_->BeginFrame();
        player_->DeviceRender();
        canvas_->EndFrame();
        canvas_->Present();
    }

private:
    const media::TextCodec& codec_;
    SdlWindow* window_;
    render::GlCanvas* canvas_;
    Player* player_ = nullptr;
    bool windowed_ = true;
};

} // namespace

std::variant<PlayerOptions, int> ParseCommandLine(int argc, const char* const* argv) {
    PlayerOptions o;
    std::vector<const char*> args(argv, argv + argc);
    if (args.size() > 1 && UpperAscii(args[1]) == "/TESTMODE") {
        o.testMode = true;
        args.erase(args.begin() + 1);
    }

    CLI::App app{"kqplayer: runs a KQMaker game"};
    std::string game;
    std::vector<std::string> screenshots;
    std::string input, record, dump, dataDir;
    uint64_t steps = 0;
    app.add_option("GAME", game, "a .kqf game file or a folder holding one");
    app.add_flag("--windowed", o.windowed, "always run in a window");
    app.add_option("--scale", o.scale, "windowed size factor")->check(CLI::Range(1, 8));
    app.add_flag("--headless", o.headless, "no window: offscreen drawing, stepped clock");
    auto* stepsOpt = app.add_option("--steps", steps, "run N processing steps, then exit");
    app.add_flag("--skip-logos", o.skipLogos, "end the logo phase at once");
    app.add_option("--input", input, "replay input events from FILE");
    app.add_option("--record", record, "record the session's input events to FILE");
    app.add_option("--screenshot", screenshots, "STEP:FILE.png, the frame after step STEP")
        ->allow_extra_args(false);
    app.add_option("--dump", dump, "write the scene state as JSON at exit");
    app.add_option("--seed", o.seed, "seed of the game's random numbers");
    app.add_option("--codepage", o.codePage, "the game's 8-bit code page")
        ->default_str(media::kDefaultCodePage);
    app.add_option("--data-dir", dataDir, "folder for settings and saved games");
    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (!game.empty())
        o.game = game;
    if (stepsOpt->count() > 0)
        o.steps = steps;
    if (!input.empty())
        o.input = input;
    if (!record.empty())
        o.record = record;
    if (!dump.empty())
        o.dump = dump;
    if (!dataDir.empty())
        o.dataDir = dataDir;
    if (o.codePage.empty())
        o.codePage = media::kDefaultCodePage;
    for (const std::string& s : screenshots) {
        auto shot = ParseScreenshot(s);
        if (!shot) {
            std::fprintf(stderr, "kqplayer: --screenshot expects STEP:FILE.png, got '%s'\n",
                         s.c_str());
            return 2;
        }
        o.screenshots.push_back(*shot);
    }
    return o;
}

int RunPlayer(const PlayerOptions& options, const fs::path& programFile) {
    std::optional<InputQueue> queue;
    if (options.input) {
        std::optional<ParsedInput> parsed = ReadInputScript(*options.input);
        if (!parsed)
            return 1;
        queue.emplace(std::move(parsed->events));
    }
    InputRecorder recorder;
    if (options.record && !recorder.Open(*options.record))
        return 1;

    if (options.headless) {
        // Chosen explicitly: otherwise SDL tries Wayland and X first.
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }

    GameSearch search;
    search.programFile = programFile;
    search.configFolder = UserConfigFolder();
    search.argument = options.game;
    const GameLocation location = LocateGame(search);
    if (!location.file.empty())
        spdlog::info("kqplayer: game {} ({})", location.file.string(), location.how);

    media::GameFiles files(location.file.empty() ? fs::current_path() : location.file.parent_path(),
                           options.codePage);

    scene::Runtime rt(elements::ElementClasses());
    rt.testMode = options.testMode;
    rt.random.seed(options.seed);
    if (options.dataDir)
        rt.dataDir = options.dataDir->string();
    scene::ScriptRuntime scripts(rt, [](script::TPasCalc& calc) { script::RegisterLibrary(calc); });
    rt.scripts = &scripts;
    auto db = std::make_unique<scene::TKQDB>(rt);
    scripts.SetRoot(db.get());

    // The canvas: a window, or offscreen when headless; a failed headless canvas still runs
    // the game's logic, without pictures.
    render::GlCanvasOptions canvasOptions;
    canvasOptions.headless = options.headless;
    canvasOptions.windowScale = options.scale;
    canvasOptions.vsync = !options.headless;
    std::unique_ptr<render::GlCanvas> gl = render::GlCanvas::Create(canvasOptions);
    if (!gl && !options.headless) {
        spdlog::critical("kqplayer: cannot open the window (see above)");
        return 1;
    }
    if (!gl)
        spdlog::warn("kqplayer: no offscreen drawing; running the game logic only");
    render::RecordingCanvas textureStore; // holds textures when nothing is drawn
    render::Canvas& imageCanvas = gl ? static_cast<render::Canvas&>(*gl) : textureStore;
    render::ImageService images(files, imageCanvas, [&rt] { return rt.tickCount; });
    rt.canvas = gl.get();
    rt.images = &images;

    std::unique_ptr<SdlWindow> window;
    if (gl && !options.headless)
        window = std::make_unique<SdlWindow>(gl->Window(), options.scale);

    // Reading the game: while the scene is read, picture requests only register names.
    rt.loadImagesNow = false;
    images.SetLoadImagesNow(false);
    if (!location.file.empty()) {
        if (std::optional<std::string> bytes = media::ReadWholeFile(location.file)) {
            std::string packName = location.file.filename().string();
            if (packName.size() >= 4)
                packName.resize(packName.size() - 4);
            packName += ".kst";
            files.OpenPack(location.file.parent_path() / packName);
            if (!db->LoadSceneBlob(*bytes))
                spdlog::error("kqplayer: game file {} is damaged; running what could be read",
                              location.file.string());
        } else {
            spdlog::error("kqplayer: cannot read game file {}; running with a black screen",
                          location.file.string());
        }
    } else {
        spdlog::error("kqplayer: no game; running with a black screen");
    }
    rt.loadImagesNow = true;
    images.SetLoadImagesNow(true);
    images.SetAlwaysLoad(db->AlwaysLoadIm);

    std::string title = db->Translate("Title");
    if (title.empty())
        title = db->Id;
    if (window)
        window->SetTitle(files.Codec().ToUtf8(title.empty() ? "kqplayer" : title));

    std::unique_ptr<Clock> clock;
    if (options.headless)
        clock = std::make_unique<SteppedClock>();
    else
        clock = std::make_unique<RealClock>();
    GameTimer timer(*clock);
    AppHooks hooks(files.Codec(), window.get(), gl.get());
    ImageLogoSource logos(images);
    Player player(rt, *db, timer, hooks, &logos, gl.get());
    hooks.SetPlayer(&player);
    player.SetForceWindowed(options.windowed || options.headless);
    player.Start();
    if (options.skipLogos)
        player.SkipLogos();

    std::multimap<uint64_t, fs::path> shots(options.screenshots.begin(), options.screenshots.end());
    if (!shots.empty() && !gl)
        spdlog::error("kqplayer: screenshots need drawing, which is not available");
    if (options.headless && !options.steps && !queue)
        spdlog::warn("kqplayer: headless without --steps runs until the game exits");

    uint64_t stepsRun = 0;
    auto takeShots = [&] {
        while (!shots.empty() && shots.begin()->first <= stepsRun) {
            const fs::path file = shots.begin()->second;
            shots.erase(shots.begin());
            if (!gl)
                continue;
            const std::vector<uint32_t> pixels = gl->ReadScreen();
            if (render::WritePngFile(file, render::kSceneWidth, render::kSceneHeight, pixels))
                spdlog::info("kqplayer: screenshot after step {} written to {}", stepsRun,
                             file.string());
        }
    };
    auto drawFrame = [&] {
        player.ComposeMasks();
        if (!gl)
            return;
        gl->BeginFrame();
        gl->Clear(0xFF000000u);
        player.DeviceRender();
        gl->EndFrame();
    };

    RealClock wall;
    uint64_t lastCheck = wall.NowNs();
    bool running = true;
    std::vector<InputEvent> live;
    while (running) {
        if (window) {
            live.clear();
            if (!window->PumpEvents(live))
                running = false;
            for (InputEvent& e : live) {
                e.step = stepsRun + 1;
                recorder.Write(e);
                player.Deliver(e);
            }
            const uint64_t now = wall.NowNs();
            if (now - lastCheck >= kRealTimerCheckNs) {
                lastCheck = now;
                player.OneSecondCheck(window->Active(), window->Minimised());
            }
            if (!running)
                break;
        } else if (player.Paused()) {
            // Headless and paused: only scripted input can resume the game.
            std::optional<uint64_t> next = queue ? queue->NextStep() : std::nullopt;
            if (!next) {
                spdlog::warn("kqplayer: paused with no further input; stopping");
                break;
            }
            for (const InputEvent& e : queue->TakeDue(*next))
                player.Deliver(e);
            continue;
        }
        if (!timer.Idle())
            continue;
        drawFrame();
        takeShots();
        while (running && timer.TakeStep()) {
            if (queue) {
                for (const InputEvent& e : queue->TakeDue(stepsRun + 1))
                    player.Deliver(e);
                if (player.Paused())
                    break;
            }
            player.TimerProcess();
            ++stepsRun;
            if (rt.exitRequested) {
                spdlog::info("kqplayer: the game asked to exit after step {}", stepsRun);
                running = false;
            } else if (options.steps && stepsRun >= *options.steps) {
                running = false;
            }
        }
        if (gl)
            gl->Present();
    }
    // The frame after the last step, when a screenshot asks for it.
    if (!shots.empty() && shots.begin()->first <= stepsRun) {
        drawFrame();
        takeShots();
    }
    for (const auto& [step, file] : shots)
        spdlog::warn("kqplayer: screenshot {} not taken: step {} was not reached", file.string(),
                     step);

    // The dump shows the game as it ran, before shutdown clears the current screen.
    bool dumped = true;
    if (options.dump)
        dumped = WriteTextFile(*options.dump, JsonText(GameStateJson(*db, rt, files.Codec())));
    player.Shutdown();
    // The scripts' pool goes with `scripts`, after the tree: nothing runs any more.
    db.reset();
    rt.scripts = nullptr;
    rt.canvas = nullptr;
    rt.images = nullptr;
    return dumped ? 0 : 1;
}

} // namespace kq::shell
