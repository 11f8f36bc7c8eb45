#include "shell/app.h"

#include "elements/classes.h"
#include "media/audio_backend.h"
#include "media/audio_trace.h"
#include "media/game_files.h"
#include "media/sound_system.h"
#include "render/font.h"
#include "render/gl_canvas.h"
#include "render/image_service.h"
#include "render/png_writer.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/script_runtime.h"
#include "script/stdlib.h"
#include "scriptlib/engine_functions.h"
#include "shell/clock.h"
#include "shell/game_loading.h"
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
#include <set>

namespace kq::shell {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kRealTimerCheckNs = 1'000'000'000ull;

std::string UpperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

std::optional<std::pair<uint64_t, fs::path>> ParseScreenshot(const std::string& argument) {
    const size_t colon = argument.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= argument.size()) {
        return std::nullopt;
    }
    uint64_t step = 0;
    const char* begin = argument.data();
    auto [ptr, ec] = std::from_chars(begin, begin + colon, step);
    if (ec != std::errc() || ptr != begin + colon) {
        return std::nullopt;
    }
    return std::make_pair(step, fs::path(argument.substr(colon + 1)));
}

// The services of a running player that the front end provides.
class AppHooks final : public PlayerHooks {
public:
    AppHooks(scene::TKQDB& db, media::SoundSystem& sound, const media::TextCodec& codec,
             SdlWindow* window, render::GlCanvas* canvas)
        : db_(db), sound_(sound), codec_(codec), window_(window), canvas_(canvas) {}

    void SetPlayer(Player* player) { player_ = player; }

    void FinishScreenChange() override { db_.FinishScreenChange(); }
    void RootKeyDown(int32_t code) override { db_.KeyDown(code); }
    void RootCharInput(uint16_t code) override { db_.CharInput(code); }
    bool UnicodeMode() const override { return db_.UnicodeMode(); }
    void StoreFullScreen(bool on) override { db_.SetFullScreenSetting(on); }

    // Logo sounds are file names, not sound-table keys.
    void PlaySoundHook(std::string_view name, int percent) override {
        sound_.PlaySound(name, percent);
    }
    void MusicFadeStepHook() override { sound_.FadeStep(); }
    void PauseAudio(bool paused) override { sound_.Pause(paused); }

    std::optional<uint8_t> CharToCodePage(uint16_t code) const override {
        if (code < 128) {
            return static_cast<uint8_t>(code);
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            return std::nullopt; // half of a pair: the code page has no such character
        }
        std::string utf8;
        media::AppendUtf8(utf8, code);
        const std::string bytes = codec_.FromUtf8(utf8);
        if (bytes.empty()) {
            return std::nullopt;
        }
        return static_cast<uint8_t>(bytes[0]);
    }

    bool DisplayWindowed() const override { return window_ ? window_->Windowed() : windowed_; }
    void SetDisplayWindowed(bool windowed) override {
        if (window_) {
            window_->SetWindowed(windowed);
        } else {
            windowed_ = windowed; // headless: the mode is only remembered
        }
    }
    int DesktopWidth() const override { return window_ ? window_->DesktopWidth() : 0; }

    void RepaintWhilePaused() override {
        if (!canvas_ || !player_) {
            return;
        }
        canvas_->BeginFrame();
        player_->DeviceRender();
        canvas_->EndFrame();
        canvas_->Present();
    }

private:
    scene::TKQDB& db_;
    media::SoundSystem& sound_;
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
    std::string traceAudio;
    app.add_flag("--mute", o.mute, "no sound output (the game runs as usual)");
    app.add_option("--trace-audio", traceAudio, "write one line per audio call to FILE");
    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (!game.empty()) {
        o.game = game;
    }
    if (stepsOpt->count() > 0) {
        o.steps = steps;
    }
    if (!input.empty()) {
        o.input = input;
    }
    if (!record.empty()) {
        o.record = record;
    }
    if (!dump.empty()) {
        o.dump = dump;
    }
    if (!dataDir.empty()) {
        o.dataDir = dataDir;
    }
    if (!traceAudio.empty()) {
        o.traceAudio = traceAudio;
    }
    if (o.codePage.empty()) {
        o.codePage = media::kDefaultCodePage;
    }
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
        if (!parsed) {
            return 1;
        }
        queue.emplace(std::move(parsed->events));
    }
    InputRecorder recorder;
    if (options.record && !recorder.Open(*options.record)) {
        return 1;
    }

    if (options.headless) {
        // Chosen explicitly: otherwise SDL tries Wayland and X first.
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }

    GameSearch search;
    search.programFile = programFile;
    search.configFolder = UserConfigFolder();
    search.argument = options.game;
    const GameLocation location = LocateGame(search);
    const fs::path gameFile = media::ResolveGameFile(location.file);
    if (!gameFile.empty()) {
        spdlog::info("kqplayer: game {} ({})", gameFile.string(), location.how);
    }

    media::GameFiles files(gameFile.empty() ? fs::current_path() : gameFile.parent_path(),
                           options.codePage);

    scene::Runtime rt(elements::ElementClasses());
    rt.testMode = options.testMode;
    rt.random.seed(options.seed);
    if (options.dataDir) {
        rt.dataDir = options.dataDir->string();
    }
    // The engine routines find the root through `scripts` at each call, so the root may come
    // after the library is registered.
    scene::ScriptRuntime scripts(rt, [&scripts, &rt](script::TPasCalc& calc) {
        script::RegisterLibrary(calc, script::library::EngineFunctions(scripts, rt));
    });
    rt.scripts = &scripts;
    // Script errors and warnings reach the log once per distinct line: a broken script that
    // runs every step must not flood it.
    std::set<std::string, std::less<>> scriptLinesSeen;
    scripts.Env().onLogLine = [&scriptLinesSeen, &files](std::string_view line) {
        constexpr size_t kMaxDistinctLines = 1000;
        if (scriptLinesSeen.size() >= kMaxDistinctLines || scriptLinesSeen.contains(line)) {
            return;
        }
        scriptLinesSeen.emplace(line);
        spdlog::warn("script: {}", files.Codec().ToUtf8(line));
    };
    ReadScriptsFromGame(scripts, files);
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
    if (!gl) {
        spdlog::warn("kqplayer: no offscreen drawing; running the game logic only");
    }
    render::RecordingCanvas textureStore; // holds textures when nothing is drawn
    render::Canvas& imageCanvas = gl ? static_cast<render::Canvas&>(*gl) : textureStore;
    render::ImageService images(files, imageCanvas, [&rt] { return rt.tickCount; });
    rt.canvas = gl.get();
    rt.images = &images;
    // The game's fonts, loaded by the root's FileFonts; texts find them by name at each use.
    render::FontCollection fonts(imageCanvas, files.Codec());
    rt.fonts = &fonts;

    const bool headless = options.headless;
    std::unique_ptr<SdlWindow> window;
    if (gl && !options.headless) {
        window = std::make_unique<SdlWindow>(gl->Window(), options.scale);
    }

    // Sound: the device, or silence (muted, headless, or no device: the game runs anyway).
    uint64_t stepsRun = 0;
    std::unique_ptr<media::AudioBackend> audio = media::MakeAudioBackend(options.mute || headless);
    if (options.traceAudio) {
        audio = media::TraceAudioToFile(std::move(audio), *options.traceAudio, [&stepsRun] {
            return stepsRun + 1;
        }); // the step in progress
    }
    media::SoundSystem sound(*audio, &files);
    rt.sound = &sound;

    // Front-end services the scene reaches through the runtime.
    rt.files = &files;
    rt.desktopWidth = window ? window->DesktopWidth() : 0;
    rt.showSystemCursor = [&window](bool visible) {
        if (window) {
            window->ShowSystemCursor(visible);
        }
    };
    rt.openUrl = [headless](std::string_view url) {
        const std::string text(url);
        if (headless) {
            spdlog::info("kqplayer: headless run: not opening {}", text);
            return;
        }
        if (SDL_OpenURL(text.c_str()) != 0) {
            spdlog::warn("kqplayer: cannot open {}: {}", text, SDL_GetError());
        }
    };
    // Loading progress: while a screen change is pending, each loaded picture runs the root's
    // "LIProcess" event, which draws a frame of the loading screen.
    images.SetLoadProgressHandler([&rt, &db] {
        if (rt.loadingActive) {
            db->LIProcess();
        }
    });

    if (gameFile.empty()) {
        spdlog::error("kqplayer: no game; running with a black screen");
    }
    if (!LoadGameScene(*db, rt, gameFile) && !gameFile.empty()) {
        spdlog::error("kqplayer: game file {} is missing or damaged; running what could be read",
                      gameFile.string());
    }

    std::string title = db->Translate("Title");
    if (title.empty()) {
        title = db->Id;
    }
    if (window) {
        window->SetTitle(files.Codec().ToUtf8(title.empty() ? "kqplayer" : title));
    }

    std::unique_ptr<Clock> clock;
    if (options.headless) {
        clock = std::make_unique<SteppedClock>();
    } else {
        clock = std::make_unique<RealClock>();
    }
    GameTimer timer(*clock);
    rt.resetTimer = [&timer] { timer.Reset(); };
    sound.SetTimerReset(rt.resetTimer);
    AppHooks hooks(*db, sound, files.Codec(), window.get(), gl.get());
    ImageLogoSource logos(images);
    Player player(rt, *db, timer, hooks, &logos, gl.get());
    hooks.SetPlayer(&player);
    player.SetForceWindowed(options.windowed || options.headless);
    player.Start();
    if (options.skipLogos) {
        player.SkipLogos();
    }

    std::multimap<uint64_t, fs::path> shots(options.screenshots.begin(), options.screenshots.end());
    if (!shots.empty() && !gl) {
        spdlog::error("kqplayer: screenshots need drawing, which is not available");
    }
    if (options.headless && !options.steps && !queue) {
        spdlog::warn("kqplayer: headless without --steps runs until the game exits");
    }

    auto takeShots = [&] {
        while (!shots.empty() && shots.begin()->first <= stepsRun) {
            const fs::path file = shots.begin()->second;
            shots.erase(shots.begin());
            if (!gl) {
                continue;
            }
            const std::vector<uint32_t> pixels = gl->ReadScreen();
            if (render::WritePngFile(file, render::kSceneWidth, render::kSceneHeight, pixels)) {
                spdlog::info("kqplayer: screenshot after step {} written to {}", stepsRun,
                             file.string());
            }
        }
    };
    auto drawFrame = [&] {
        player.ComposeMasks();
        if (!gl) {
            return;
        }
        gl->BeginFrame();
        gl->Clear(0xFF000000u);
        player.DeviceRender();
        gl->EndFrame();
    };
    // Screen changes draw one frame (unseen) and loading progress shows frames as images load.
    rt.renderFrame = [&](bool present) {
        drawFrame();
        if (present && gl) {
            gl->Present();
        }
    };

    RealClock wall;
    uint64_t lastCheck = wall.NowNs();
    bool running = true;
    std::vector<InputEvent> live;
    while (running) {
        if (window) {
            live.clear();
            if (!window->PumpEvents(live)) {
                running = false;
            }
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
            if (!running) {
                break;
            }
        } else if (player.Paused()) {
            // Headless and paused: only scripted input can resume the game.
            std::optional<uint64_t> next = queue ? queue->NextStep() : std::nullopt;
            if (!next) {
                spdlog::warn("kqplayer: paused with no further input; stopping");
                break;
            }
            for (const InputEvent& e : queue->TakeDue(*next)) {
                player.Deliver(e);
            }
            continue;
        }
        if (!timer.Idle()) {
            continue;
        }
        drawFrame();
        takeShots();
        while (running && timer.TakeStep()) {
            if (queue) {
                for (const InputEvent& e : queue->TakeDue(stepsRun + 1)) {
                    player.Deliver(e);
                }
                if (player.Paused()) {
                    break;
                }
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
        if (gl) {
            gl->Present();
        }
    }
    // The frame after the last step, when a screenshot asks for it.
    if (!shots.empty() && shots.begin()->first <= stepsRun) {
        drawFrame();
        takeShots();
    }
    for (const auto& [step, file] : shots) {
        spdlog::warn("kqplayer: screenshot {} not taken: step {} was not reached", file.string(),
                     step);
    }

    // The dump shows the game as it ran, before shutdown clears the current screen.
    bool dumped = true;
    if (options.dump) {
        dumped = WriteTextFile(*options.dump, JsonText(GameStateJson(*db, rt, files.Codec())));
    }
    player.Shutdown();
    // The scripts' pool goes with `scripts`, after the tree: nothing runs any more.
    images.SetLoadProgressHandler({});
    db.reset();
    sound.SetTimerReset({});
    rt.sound = nullptr;
    rt.renderFrame = {};
    rt.resetTimer = {};
    rt.scripts = nullptr;
    rt.canvas = nullptr;
    rt.images = nullptr;
    rt.fonts = nullptr;
    return dumped ? 0 : 1;
}

} // namespace kq::shell
