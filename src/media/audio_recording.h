// RecordingAudioBackend: a silent AudioBackend that keeps the list of calls it received and
// simulates what a real output would do with them (which channels play, at what volume, the
// per-sample playback limit with takeover, the global pause), so the sound rules can be
// checked exactly. Used by tests, headless runs, "--mute" and when no audio device exists.
//
// Loading succeeds for any existing file or non-empty data unless the name is in the fail set.
// Sample playbacks never end by themselves (there is no time here): tests end one with
// Finish(). Handles are numbered from 1 in order of creation; each sample owns
// kSamplePlaybacks channel handles allocated with it.
#pragma once

#include "media/audio_backend.h"

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kq::media {

class RecordingAudioBackend final : public AudioBackend {
public:
    enum class Op {
        LoadSample,
        LoadSampleFromMemory,
        CreateStream,
        CreateStreamFromMemory,
        SampleChannel,
        SetVolume,
        Play,
        Stop,
        Free,
        SetPaused,
    };
    struct Call {
        Op op;
        std::string name;    // the object's name ("" for unknown handles)
        uint32_t handle = 0; // result of loads/SampleChannel, else the channel acted on
        int32_t value = 0;   // SetVolume: the clamped volume; SetPaused: 1 paused, 0 resumed;
                             // loads from memory: the data size
    };

    // Loads of these names (as passed to the load calls) fail.
    void SetFailNames(std::set<std::string> names) { failNames_ = std::move(names); }

    uint32_t LoadSample(std::string_view name, const std::filesystem::path& file) override;
    uint32_t LoadSampleFromMemory(std::string_view name, std::string_view data) override;
    uint32_t CreateStream(std::string_view name, const std::filesystem::path& file) override;
    uint32_t CreateStreamFromMemory(std::string_view name, std::string_view data) override;
    uint32_t SampleChannel(uint32_t sample) override;
    void SetVolume(uint32_t channel, int32_t volume) override;
    void Play(uint32_t channel) override;
    bool IsPlaying(uint32_t channel) override;
    void Stop(uint32_t channel) override;
    void Free(uint32_t handle) override;
    void SetPaused(bool paused) override;
    bool Paused() const override { return paused_; }

    // --- inspection (tests) ---
    const std::vector<Call>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Current volume of a channel (-1 for unknown channels).
    int32_t Volume(uint32_t channel) const;
    // Times the channel was started (restarts included).
    int32_t PlayCount(uint32_t channel) const;
    // Name the channel belongs to ("" when unknown).
    std::string NameOf(uint32_t channel) const;
    // Channels currently playing, in handle order.
    std::vector<uint32_t> PlayingChannels() const;
    // A sample playback reaches its end.
    void Finish(uint32_t channel);

private:
    struct Channel {
        std::string name;
        bool isStream = false;
        bool playing = false;
        int32_t volume = 100;
        int32_t playCount = 0;
        uint64_t startedAt = 0; // order of the last start: the smallest has played longest
    };
    struct Sample {
        std::string name;
        uint32_t firstChannel = 0; // kSamplePlaybacks consecutive channel handles
    };

    uint32_t AddSample(std::string_view name);
    uint32_t AddStream(std::string_view name);
    bool Fails(std::string_view name) const;
    Channel* Find(uint32_t channel);
    const Channel* Find(uint32_t channel) const;
    void Record(Op op, std::string name, uint32_t handle, int32_t value = 0);

    std::set<std::string> failNames_;
    std::vector<Call> calls_;
    std::unordered_map<uint32_t, Sample> samples_;
    std::unordered_map<uint32_t, Channel> channels_;
    uint32_t nextHandle_ = 1;
    uint64_t startCounter_ = 0;
    bool paused_ = false;
};

} // namespace kq::media
