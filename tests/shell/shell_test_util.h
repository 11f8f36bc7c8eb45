// Pieces shared by the shell tests: a scene built in code from boxes that log what happens to
// them, a script host and player hooks that write into the same log, and fake logos.
#pragma once

#include "elements/classes.h"
#include "render/recording_canvas.h"
#include "scene/db.h"
#include "scene/runtime.h"
#include "scene/script_host.h"
#include "shell/clock.h"
#include "shell/game_timer.h"
#include "shell/player.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kq::test {

using Log = std::vector<std::string>;

// Records every script run as "Id:event".
struct LogHost : scene::ScriptHost {
    explicit LogHost(Log& log) : log(log) {}
    Log& log;
    script::PreparedScript Prepare(const std::string& text) override {
        return {"prepared:" + text, nullptr};
    }
    void RunScript(scene::TKQElement& self, const scene::ScriptText&, std::string_view event,
                   script::TVarList*) override {
        log.push_back(self.Id + ":" + std::string(event));
    }
};

// An element with a rectangle of its own on its layer; draws by logging "render:Id@layer".
class Box : public scene::TKQElement {
public:
    Box(scene::TKQElement* parent, Log& log, int x, int y, int w, int h)
        : TKQElement(parent), log_(log), w_(w), h_(h) {
        rX = x;
        rY = y;
    }
    // A class without picture properties: the tree code may reassign those by class.
    scene::ClassId Class() const override { return scene::ClassId::Effect; }
    scene::TKQElement* ElementAt(int32_t layer, int32_t x, int32_t y, int32_t margin,
                                 uint8_t threshold) override {
        if (layer == Order && Vis && x >= X() && y >= Y() && x < X() + w_ && y < Y() + h_) {
            return this;
        }
        return TKQElement::ElementAt(layer, x, y, margin, threshold);
    }
    void Render(int32_t layer, uint32_t tint, double ox, double oy, bool flag) override {
        if (w_ == 0 || layer == Order) {
            log_.push_back("render:" + Id + "@" + std::to_string(layer) + "+" +
                           std::to_string(static_cast<int>(ox)) + "," +
                           std::to_string(static_cast<int>(oy)));
        }
        TKQElement::Render(layer, tint, ox, oy, flag);
    }

private:
    Log& log_;
    int w_;
    int h_;
};

struct LogHooks : shell::PlayerHooks {
    explicit LogHooks(Log& log) : log(log) {}
    Log& log;
    bool windowed = true;
    int desktopWidth = 0;
    bool unicode = false;
    int repaints = 0;

    void ProcessStarsHook() override { log.push_back("stars"); }
    void RenderStarsHook(int32_t layer) override {
        log.push_back("stars@" + std::to_string(layer));
    }
    void FinishScreenChange() override { log.push_back("finish"); }
    void RootKeyDown(int32_t code) override { log.push_back("key:" + std::to_string(code)); }
    void RootCharInput(uint16_t code) override { log.push_back("char:" + std::to_string(code)); }
    bool UnicodeMode() const override { return unicode; }
    void StoreFullScreen(bool on) override { log.push_back(on ? "fs:1" : "fs:0"); }
    void PlaySoundHook(std::string_view name, int) override {
        log.push_back("sound:" + std::string(name));
    }
    void MusicFadeStepHook() override { log.push_back("fade"); }
    void PauseAudio(bool paused) override { log.push_back(paused ? "audio:pause" : "audio:on"); }
    bool DisplayWindowed() const override { return windowed; }
    void SetDisplayWindowed(bool w) override {
        windowed = w;
        log.push_back(w ? "display:window" : "display:full");
    }
    int DesktopWidth() const override { return desktopWidth; }
    void RepaintWhilePaused() override { ++repaints; }
};

struct FakeLogos : shell::LogoSource {
    std::set<int> present;
    std::vector<int> tried;
    bool current = false;
    render::TextureId texture = 7;
    bool Load(int number) override {
        tried.push_back(number);
        current = present.count(number) > 0;
        return current;
    }
    std::optional<shell::LogoPicture> Picture() override {
        if (!current) {
            return std::nullopt;
        }
        return shell::LogoPicture{texture, 100, 50, 0x80112233u};
    }
};

// A runtime with a root "KQDB" and a screen "Screen" (layer 0) made current by Start().
struct PlayerFixture {
    Log log;
    LogHost host{log};
    scene::Runtime rt{elements::ElementClasses()};
    std::unique_ptr<scene::TKQDB> db;
    shell::SteppedClock clock;
    shell::GameTimer timer{clock};
    LogHooks hooks{log};
    FakeLogos logos;
    render::RecordingCanvas canvas;
    std::unique_ptr<shell::Player> player;
    Box* screen = nullptr;

    PlayerFixture() {
        rt.scripts = &host;
        db = std::make_unique<scene::TKQDB>(rt);
        db->Id = "KQDB";
        screen = new Box(db.get(), log, 0, 0, 0, 0);
        screen->Id = "Screen";
        screen->Key = 5;
        db->InitScreen = 5;
        player = std::make_unique<shell::Player>(rt, *db, timer, hooks, &logos, &canvas);
    }
    ~PlayerFixture() {
        db.reset();
        rt.scripts = nullptr;
    }

    Box* AddBox(scene::TKQElement& parent, const std::string& id, int x, int y, int w, int h,
                int order) {
        auto* box = new Box(&parent, log, x, y, w, h);
        box->Id = id;
        box->SetOrder(order);
        return box;
    }
    // Starts and ends the logo phase at once, then forgets what that logged.
    void StartGame() {
        player->Start();
        player->SkipLogos();
        log.clear();
    }
    size_t Count(const std::string& entry) const {
        size_t n = 0;
        for (const auto& e : log) {
            n += e == entry;
        }
        return n;
    }
};

} // namespace kq::test
