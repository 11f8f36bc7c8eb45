#include "shell/game_session.h"

#include "elements/classes.h"
#include "elements/shape.h"
#include "media/audio_backend.h"
#include "media/audio_trace.h"
#include "media/game_files.h"
#include "media/sound_system.h"
#include "render/font.h"
#include "render/gl_canvas.h"
#include "render/image_service.h"
#include "render/png_writer.h"
#include "scene/db.h"
#include "script/stdlib.h"
#include "scriptlib/engine_functions.h"
#include "scriptlib/title_packs.h"
#include "shell/game_loading.h"
#include "shell/game_locator.h"
#include "shell/game_timer.h"
#include "shell/player.h"
#include "shell/scene_dump.h"
#include "shell/sdl_window.h"

#include <SDL.h>
#include <spdlog/spdlog.h>

#include <cstdlib>

namespace kq::shell {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kRealTimerCheckNs = 1'000'000'000ull;

} // namespace

// The services of a running player that the front end provides.
class SessionHooks final : public PlayerHooks {
public:
    SessionHooks(scene::TKQDB& db, media::SoundSystem& sound, const media::TextCodec& codec,
                 SdlWindow* window, render::GlCanvas* canvas)
        : db_(db), sound_(sound), codec_(codec), window_(window), canvas_(canvas) {}

    void SetPlayer(Player* player) { player_ = player; }

    void ComposeShapeMask(elements::TKQShape& shape) override { shape.Compose(); }
    void ProcessStarsHook() override { db_.ProcessStars(); }
    void RenderStarsHook(int32_t layer) override { db_.RenderStars(layer); }
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

std::unique_ptr<GameSession> GameSession::Open(const PlayerOptions& options,
                                               const fs::path& programFile) {
    std::optional<InputQueue> queue;
    if (options.input) {
        std::optional<ParsedInput> parsed = ReadInputScript(*options.input);
        if (!parsed) {
            return nullptr;
        }
        queue.emplace(std::move(parsed->events));
    }
    std::unique_ptr<GameSession> session(new GameSession(options, std::move(queue)));
    if (!session->Start(programFile)) {
        return nullptr;
    }
    return session;
}

// The engine routines find the root through `scripts_` at each call, so the root may come
// after the library is registered.
GameSession::GameSession(const PlayerOptions& options, std::optional<InputQueue> queue)
    : options_(options), queue_(std::move(queue)), rt_(elements::ElementClasses()),
      scripts_(rt_, [this](script::TPasCalc& calc) {
          script::library::RegisterGameLibrary(calc, scripts_, rt_);
      }) {}

GameSession::~GameSession() {
    if (player_) {
        player_->Shutdown();
    }
}

bool GameSession::Start(const fs::path& programFile) {
    if (options_.record && !recorder_.Open(*options_.record)) {
        return false;
    }
    if (options_.headless) {
        // Chosen explicitly: otherwise SDL tries Wayland and X first.
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }

    GameSearch search;
    search.programFile = programFile;
    search.configFolder = UserConfigFolder();
    search.argument = options_.game;
    const GameLocation location = LocateGame(search);
    const fs::path gameFile = media::ResolveGameFile(location.file);
    if (!gameFile.empty()) {
        spdlog::info("kqplayer: game {} ({})", gameFile.string(), location.how);
    }
    files_ = std::make_unique<media::GameFiles>(
        gameFile.empty() ? fs::current_path() : gameFile.parent_path(), options_.codePage);

    rt_.testMode = options_.testMode;
    rt_.random.seed(options_.seed);
    if (options_.dataDir) {
        rt_.dataDir = options_.dataDir->string();
    }
    rt_.scripts = &scripts_;
    scripts_.Env().onLogLine = [this](std::string_view line) { LogScriptLine(line); };
    ReadScriptsFromGame(scripts_, *files_);
    db_ = std::make_unique<scene::TKQDB>(rt_);
    scripts_.SetRoot(db_.get());

    // The canvas: a window, or offscreen when headless; a failed headless canvas still runs
    // the game's logic, without pictures.
    render::GlCanvasOptions canvasOptions;
    canvasOptions.headless = options_.headless;
    canvasOptions.windowScale = options_.scale;
    canvasOptions.vsync = !options_.headless;
    gl_ = render::GlCanvas::Create(canvasOptions);
    if (!gl_ && !options_.headless) {
        spdlog::critical("kqplayer: cannot open the window (see above)");
        return false;
    }
    if (!gl_) {
        spdlog::warn("kqplayer: no offscreen drawing; running the game logic only");
    }
    render::Canvas& imageCanvas = gl_ ? static_cast<render::Canvas&>(*gl_) : textureStore_;
    images_ = std::make_unique<render::ImageService>(*files_, imageCanvas,
                                                     [this] { return rt_.tickCount; });
    rt_.canvas = gl_.get();
    rt_.images = images_.get();
    // The game's fonts, loaded by the root's FileFonts; texts find them by name at each use.
    fonts_ = std::make_unique<render::FontCollection>(imageCanvas, files_->Codec());
    rt_.fonts = fonts_.get();

    if (gl_ && !options_.headless) {
        window_ = std::make_unique<SdlWindow>(gl_->Window(), options_.scale);
    }

    // Sound: the device, or silence (muted, headless, or no device: the game runs anyway).
    audio_ = media::MakeAudioBackend(options_.mute || options_.headless);
    if (options_.traceAudio) {
        audio_ = media::TraceAudioToFile(std::move(audio_), *options_.traceAudio,
                                         [this] { return stepsRun_ + 1; }); // the step in progress
    }
    sound_ = std::make_unique<media::SoundSystem>(*audio_, files_.get());
    rt_.sound = sound_.get();

    // Front-end services the scene reaches through the runtime.
    rt_.files = files_.get();
    rt_.desktopWidth = window_ ? window_->DesktopWidth() : 0;
    rt_.showSystemCursor = [this](bool visible) {
        if (window_) {
            window_->ShowSystemCursor(visible);
        }
    };
    rt_.openUrl = [this](std::string_view url) {
        const std::string text(url);
        if (options_.headless) {
            spdlog::info("kqplayer: headless run: not opening {}", text);
            return;
        }
        if (SDL_OpenURL(text.c_str()) != 0) {
            spdlog::warn("kqplayer: cannot open {}: {}", text, SDL_GetError());
        }
    };
    // Loading progress: while a screen change is pending, each loaded picture runs the root's
    // "LIProcess" event, which draws a frame of the loading screen.
    images_->SetLoadProgressHandler([this] {
        if (rt_.loadingActive) {
            db_->LIProcess();
        }
    });

    if (gameFile.empty()) {
        spdlog::error("kqplayer: no game; running with a black screen");
    }
    // A damaged or missing game file is logged once, with its reason, by the loading itself.
    LoadGameScene(*db_, rt_, gameFile);

    std::string title = db_->Translate("Title");
    if (title.empty()) {
        title = db_->Id;
    }
    if (window_) {
        window_->SetTitle(files_->Codec().ToUtf8(title.empty() ? "kqplayer" : title));
    }

    if (options_.headless) {
        clock_ = std::make_unique<SteppedClock>();
    } else {
        clock_ = std::make_unique<RealClock>();
    }
    timer_ = std::make_unique<GameTimer>(*clock_);
    rt_.resetTimer = [this] { timer_->Reset(); };
    sound_->SetTimerReset(rt_.resetTimer);
    hooks_ =
        std::make_unique<SessionHooks>(*db_, *sound_, files_->Codec(), window_.get(), gl_.get());
    logos_ = std::make_unique<ImageLogoSource>(*images_);
    player_ = std::make_unique<Player>(rt_, *db_, *timer_, *hooks_, logos_.get(), gl_.get());
    hooks_->SetPlayer(player_.get());
    player_->SetForceWindowed(options_.windowed || options_.headless);
    player_->Start();
    if (options_.skipLogos) {
        player_->SkipLogos();
    }

    shots_.insert(options_.screenshots.begin(), options_.screenshots.end());
    if (!shots_.empty() && !gl_) {
        spdlog::error("kqplayer: screenshots need drawing, which is not available");
    }
    if (options_.headless && !options_.steps && !queue_) {
        spdlog::warn("kqplayer: headless without --steps runs until the game exits");
    }
    // Screen changes draw one frame (unseen) and loading progress shows frames as images load.
    rt_.renderFrame = [this](bool present) {
        DrawFrame();
        if (present && gl_) {
            gl_->Present();
        }
    };
    lastCheck_ = wall_.NowNs();
    return true;
}

// A broken script that runs every step must not flood the log.
void GameSession::LogScriptLine(std::string_view line) {
    constexpr size_t kMaxDistinctLines = 1000;
    if (scriptLinesSeen_.size() >= kMaxDistinctLines || scriptLinesSeen_.contains(line)) {
        return;
    }
    scriptLinesSeen_.emplace(line);
    spdlog::warn("script: {}", files_->Codec().ToUtf8(line));
}

void GameSession::DrawFrame() {
    ++framesDrawn_;
    player_->ComposeMasks();
    if (!gl_) {
        return;
    }
    gl_->BeginFrame();
    gl_->Clear(0xFF000000u);
    player_->DeviceRender();
    gl_->EndFrame();
}

void GameSession::TakeScreenshots() {
    while (!shots_.empty() && shots_.begin()->first <= stepsRun_) {
        const fs::path file = shots_.begin()->second;
        shots_.erase(shots_.begin());
        if (!gl_) {
            continue;
        }
        const std::vector<uint32_t> pixels = gl_->ReadScreen();
        if (render::WritePngFile(file, render::kSceneWidth, render::kSceneHeight, pixels)) {
            spdlog::info("kqplayer: screenshot after step {} written to {}", stepsRun_,
                         file.string());
        }
    }
}

bool GameSession::Step() {
    if (queue_) {
        for (const InputEvent& e : queue_->TakeDue(stepsRun_ + 1)) {
            player_->Deliver(e);
        }
        if (player_->Paused()) {
            return false;
        }
    }
    player_->TimerProcess();
    ++stepsRun_;
    if (rt_.exitRequested) {
        spdlog::info("kqplayer: the game asked to exit after step {}", stepsRun_);
        running_ = false;
    } else if (options_.steps && stepsRun_ >= *options_.steps) {
        running_ = false;
    }
    return true;
}

bool GameSession::RunFrame() {
    if (!running_) {
        return false;
    }
    if (window_) {
        live_.clear();
        if (!window_->PumpEvents(live_)) {
            running_ = false;
        }
        for (InputEvent& e : live_) {
            e.step = stepsRun_ + 1;
            recorder_.Write(e);
            player_->Deliver(e);
        }
        const uint64_t now = wall_.NowNs();
        if (now - lastCheck_ >= kRealTimerCheckNs) {
            lastCheck_ = now;
            player_->OneSecondCheck(window_->Active(), window_->Minimised());
        }
        if (!running_) {
            return false;
        }
    } else if (player_->Paused()) {
        // Headless and paused: only scripted input can resume the game.
        std::optional<uint64_t> next = queue_ ? queue_->NextStep() : std::nullopt;
        if (!next) {
            spdlog::warn("kqplayer: paused with no further input; stopping");
            running_ = false;
            return false;
        }
        for (const InputEvent& e : queue_->TakeDue(*next)) {
            player_->Deliver(e);
        }
        return true;
    }
    if (!timer_->Idle()) {
        return true;
    }
    DrawFrame();
    TakeScreenshots();
    while (running_ && timer_->TakeStep()) {
        if (!Step()) {
            break;
        }
    }
    if (gl_) {
        gl_->Present();
    }
    return running_;
}

int GameSession::Run() {
    while (RunFrame()) {
    }
    // The frame after the last step, when a screenshot asks for it.
    if (!shots_.empty() && shots_.begin()->first <= stepsRun_) {
        DrawFrame();
        TakeScreenshots();
    }
    for (const auto& [step, file] : shots_) {
        spdlog::warn("kqplayer: screenshot {} not taken: step {} was not reached", file.string(),
                     step);
    }
    // The dump shows the game as it ran, before shutdown clears the current screen.
    if (options_.dump) {
        return WriteTextFile(*options_.dump, JsonText(GameStateJson(*db_, rt_, files_->Codec())))
                   ? 0
                   : 1;
    }
    return 0;
}

} // namespace kq::shell
