// TracingAudioBackend: wraps any AudioBackend and writes one text line per command it passes
// on, so a run's audio can be compared across runs and back ends ("--trace-audio FILE").
//
// Line format: "<step> <Call> <NAME> <fields>", the step coming from the step source set by
// the player (0 when none is set). Commands traced:
//   LoadSample / LoadSampleFromMemory / CreateStream / CreateStreamFromMemory NAME h=<handle>
//   SampleChannel NAME ch=<channel>     Play NAME ch=<channel>     Stop NAME ch=<channel>
//   SetVolume NAME ch=<channel> vol=<0..100>   (only when the channel's volume changes)
//   Free NAME h=<handle>    Pause    Resume
// Queries (IsPlaying) are not traced. Handles are the wrapped back end's; the OpenAL and the
// recording back ends number them the same way (a sample takes one handle and then one per
// playback, a stream one), so their traces match as long as the same loads succeed.
// Example: "12 SetVolume DOOR.WAV ch=3 vol=75".
#pragma once

#include "media/audio_backend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>

namespace kq::media {

class TracingAudioBackend final : public AudioBackend {
public:
    // Lines go to `out`, flushed after each line.
    TracingAudioBackend(std::unique_ptr<AudioBackend> inner, std::unique_ptr<std::ostream> out);
    // The number printed at the start of each line (the player's processing step count).
    void SetStepSource(std::function<uint64_t()> step) { step_ = std::move(step); }
    AudioBackend& Inner() { return *inner_; }

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
    bool Paused() const override;

private:
    void Line(std::string_view call, std::string_view name, std::string_view fields);
    uint32_t Loaded(std::string_view call, std::string_view name, uint32_t handle);
    const std::string& NameOf(uint32_t handle) const;

    std::unique_ptr<AudioBackend> inner_;
    std::unique_ptr<std::ostream> out_;
    std::function<uint64_t()> step_;
    std::unordered_map<uint32_t, std::string> names_; // sample, stream and channel handles
    std::unordered_map<uint32_t, int32_t> volumes_;   // last traced volume per channel
};

// The player's "--trace-audio FILE": wraps `inner` so that it traces into `file`, numbering
// lines with `step` (may be empty). When the file cannot be created, logs one warning and
// returns `inner` itself, untraced.
std::unique_ptr<AudioBackend> TraceAudioToFile(std::unique_ptr<AudioBackend> inner,
                                               const std::filesystem::path& file,
                                               std::function<uint64_t()> step);

} // namespace kq::media
