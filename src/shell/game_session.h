// GameSession: one running game of the player, from start-up to shutdown.
//
// It owns the services of a run (game files, scene runtime and scripts, canvas and image
// service, window, audio and sound, clock and timer, the scene tree, the player) as members in
// the order they depend on each other, so they are torn down in reverse without explicit
// clean-up. The runtime's callbacks reach the services through the session, never through
// locals. Run is the player's whole loop; RunFrame and Step are its parts, so a test can drive a
// headless session in-process and look at the scene between frames.
#pragma once

#include "render/recording_canvas.h"
#include "scene/runtime.h"
#include "scene/script_runtime.h"
#include "shell/app.h"
#include "shell/clock.h"
#include "shell/input_script.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kq::media {
class AudioBackend;
class GameFiles;
class SoundSystem;
} // namespace kq::media

namespace kq::render {
class GlCanvas;
class FontCollection;
class ImageService;
} // namespace kq::render

namespace kq::scene {
class TKQDB;
}

namespace kq::shell {

class GameTimer;
class ImageLogoSource;
class Player;
class SdlWindow;
class SessionHooks;

class GameSession {
public:
    // Reads the scripted input, finds and reads the game and opens the canvas, window and
    // sound. Null (logged) when the run cannot start: unreadable input script, a record file
    // that cannot be created, or no window for a run that is not headless. programFile
    // locates the game and the demo.
    static std::unique_ptr<GameSession> Open(const PlayerOptions& options,
                                             const std::filesystem::path& programFile);
    // Shuts the game down (the root's exit event) when it was started.
    ~GameSession();

    GameSession(const GameSession&) = delete;
    GameSession& operator=(const GameSession&) = delete;

    // Runs frames until the game exits, the step limit is reached, the window closes or a
    // paused headless run has no more input; then takes the screenshots still due and writes
    // the dump. The exit code of the program.
    int Run();
    // One pass of the loop: window events (or, headless and paused, the next scripted input),
    // then, when a frame is due, the frame and the processing steps the timer has accumulated.
    // False once the run has ended.
    bool RunFrame();
    // One processing step with the scripted input due at it. False, without a step, when that
    // input paused the game.
    bool Step();

    bool Running() const { return running_; }
    uint64_t StepsRun() const { return stepsRun_; }
    uint64_t FramesDrawn() const { return framesDrawn_; }
    scene::Runtime& Runtime() { return rt_; }
    scene::TKQDB& Root() { return *db_; }

private:
    GameSession(const PlayerOptions& options, std::optional<InputQueue> queue);
    // Start-up after the scripted input was read; false when the run cannot start.
    bool Start(const std::filesystem::path& programFile);
    void LogScriptLine(std::string_view line);
    void DrawFrame();
    void TakeScreenshots();

    // Declared in dependency order: each member may use those above it until it is gone.
    const PlayerOptions options_;
    uint64_t stepsRun_ = 0;
    uint64_t framesDrawn_ = 0;
    bool running_ = true;
    std::optional<InputQueue> queue_;
    InputRecorder recorder_;
    std::unique_ptr<media::GameFiles> files_;
    scene::Runtime rt_;
    // Script errors and warnings reach the log once per distinct line.
    std::set<std::string, std::less<>> scriptLinesSeen_;
    scene::ScriptRuntime scripts_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<GameTimer> timer_;
    std::unique_ptr<render::GlCanvas> gl_;
    render::RecordingCanvas textureStore_; // holds textures when nothing is drawn
    std::unique_ptr<render::ImageService> images_;
    std::unique_ptr<render::FontCollection> fonts_; // before the scene: no text outlives it
    std::unique_ptr<SdlWindow> window_;
    std::unique_ptr<media::AudioBackend> audio_;
    std::unique_ptr<media::SoundSystem> sound_;
    std::unique_ptr<scene::TKQDB> db_;
    std::unique_ptr<SessionHooks> hooks_;
    std::unique_ptr<ImageLogoSource> logos_;
    std::unique_ptr<Player> player_;
    std::multimap<uint64_t, std::filesystem::path> shots_;
    RealClock wall_;
    uint64_t lastCheck_ = 0;
    std::vector<InputEvent> live_;
};

} // namespace kq::shell
