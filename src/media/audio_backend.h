// AudioBackend: the few audio-output operations the sound system needs, so that the same game
// rules drive real output (OpenAL, audio_openal.h) and the silent recording back end used
// headless, muted and by tests (audio_recording.h).
//
// Handles are 32-bit, never 0 for a live object; 0 means "failed" and every operation accepts
// 0 (or any unknown handle) and does nothing. Volumes are integer percent 0..100 (clamped),
// applied linearly. All calls come from one thread (the window thread); a back end may mix and
// decode on threads of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kq::media {

class AudioBackend {
public:
    // Playbacks one sample may have at once. A new playback beyond the limit takes over the
    // one that has played longest.
    static constexpr int kSamplePlaybacks = 3;

    virtual ~AudioBackend() = default;

    // `name` labels the object in log lines and traces only (the game's upper-case name).

    // A one-shot sample decoded whole from a file, or from bytes that are copied during the
    // call (the caller may free them afterwards). 0 (with one log line) when the data cannot
    // be decoded or is too large.
    virtual uint32_t LoadSample(std::string_view name, const std::filesystem::path& file) = 0;
    virtual uint32_t LoadSampleFromMemory(std::string_view name, std::string_view data) = 0;

    // A looping stream decoded piece by piece while it plays. From memory, the bytes are NOT
    // copied: the caller keeps `data` alive and unchanged for the back end's whole life.
    // The stream handle is also its channel handle. 0 (with one log line) on failure.
    // (The bytes may be released once the stream has been freed.)
    virtual uint32_t CreateStream(std::string_view name, const std::filesystem::path& file) = 0;
    virtual uint32_t CreateStreamFromMemory(std::string_view name, std::string_view data) = 0;

    // A playback channel of a sample, at volume 100 and not yet playing. When all playbacks
    // of the sample are busy, the one that has played longest is stopped and handed out.
    // 0 for an unknown sample.
    virtual uint32_t SampleChannel(uint32_t sample) = 0;

    // Channel volume 0..100 (values outside are clamped); takes effect at once.
    virtual void SetVolume(uint32_t channel, int32_t volume) = 0;
    // Sample channels play once from the start (no restart of a running playback); streams
    // always restart from the beginning and then loop until stopped.
    virtual void Play(uint32_t channel) = 0;
    // True while the channel plays, including while the whole output is paused.
    virtual bool IsPlaying(uint32_t channel) = 0;
    virtual void Stop(uint32_t channel) = 0;

    // Stops and releases a sample (with its channels) or a stream; its handles become
    // unknown. Everything still loaded is released when the back end is destroyed.
    virtual void Free(uint32_t handle) = 0;

    // Pauses or resumes the whole output; channel states are kept (a paused output keeps its
    // playing channels "playing", and channels started while paused sound on resume).
    virtual void SetPaused(bool paused) = 0;
    virtual bool Paused() const = 0;
};

// The player's back end: OpenAL on the default device (or `deviceName` when not empty), or
// the silent recording back end when `mute` is set or no device can be opened (then one
// warning is logged).
std::unique_ptr<AudioBackend> MakeAudioBackend(bool mute, const std::string& deviceName = {});

} // namespace kq::media
