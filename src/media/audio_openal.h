// OpenAlBackend: real audio output through OpenAL Soft, decoding WAV, OGG Vorbis and MP3 with
// libsndfile.
//
// Samples are decoded whole into one 16-bit AL buffer (at most kMaxSampleBytes) and get up to
// kSamplePlaybacks sources. Streams are never decoded whole: each keeps kStreamBuffers AL
// buffers of kStreamChunkFrames frames queued on its source, refilled as they are played, and
// loops by seeking its decoder back to the start. A stream from memory reads the caller's
// bytes in place through libsndfile's virtual IO.
//
// Refilling: on a real device a worker thread refills every kPumpIntervalMs. The window
// thread cannot be relied on for that: it blocks for seconds while a screen loads its images
// or a sample is decoded, and music must keep playing meanwhile (the queue holds only about
// 0.37 s). On a loopback device there is no thread: Render refills before mixing each piece,
// so rendered output is exactly reproducible. One mutex guards all state; the window thread's
// calls never wait longer than one refill.
//
// Global pause uses ALC_SOFT_pause_device when the device supports it (the mixer stops, every
// source keeps its state); otherwise (loopback devices, older libraries) every playing source
// is paused and resumed.
#pragma once

#include "media/audio_backend.h"

#include <AL/alc.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kq::media {

class AudioDecoder;

class OpenAlBackend final : public AudioBackend {
public:
    static constexpr int kStreamBuffers = 4;
    static constexpr int kStreamChunkFrames = 4096;
    static constexpr int kPumpIntervalMs = 10;
    static constexpr size_t kMaxSampleBytes = size_t{64} << 20; // decoded 16-bit PCM
    static constexpr int kLoopbackRate = 44100;

    enum class LoopbackType { Float32, Int16 };

    // Opens the default output device, or the named one; nullptr (with one warning) when no
    // device or context can be created.
    static std::unique_ptr<OpenAlBackend> Open(const std::string& deviceName = {});
    // A loopback device, 44100 Hz stereo, producing output only through Render. nullptr (with
    // one warning) when the library has no loopback support.
    static std::unique_ptr<OpenAlBackend> OpenLoopback(LoopbackType type = LoopbackType::Float32);

    ~OpenAlBackend() override;
    OpenAlBackend(const OpenAlBackend&) = delete;
    OpenAlBackend& operator=(const OpenAlBackend&) = delete;

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

    // Loopback only: mixes `frames` interleaved stereo frames into `out` (2 x frames values of
    // the type chosen at OpenLoopback), refilling streams before every piece. False (nothing
    // written) on a real device or a type mismatch.
    bool Render(float* out, int frames);
    bool Render(int16_t* out, int frames);

    // Refills the queues of playing streams. The worker thread calls it on a real device and
    // Render on a loopback device; calling it more often is harmless.
    void Pump();

    bool IsLoopback() const { return loopback_; }
    bool HasDevicePause() const { return hasDevicePause_; }
    // Bytes of PCM this back end holds for streams: AL buffer storage plus decode chunks.
    size_t StreamBufferBytes() const;
    // Stream buffers refilled after playing out, since creation (shows the refill runs).
    uint64_t RefilledBuffers() const;

private:
    struct AlcEntryPoints;
    struct SampleEntry;
    struct StreamEntry;
    struct ChannelRef {
        uint32_t owner = 0; // sample or stream handle
        int slot = -1;      // sample playback slot; -1 for a stream
    };

    OpenAlBackend(ALCdevice* device, ALCcontext* context, bool loopback, LoopbackType type);
    void MakeCurrent() const;
    void PumpLocked();
    void WorkerLoop();
    uint32_t AddSample(std::string_view name, AudioDecoder& decoder);
    uint32_t AddStream(std::string_view name, std::unique_ptr<AudioDecoder> decoder);
    bool FillAndQueue(StreamEntry& stream, unsigned buffer);
    void RestartStream(StreamEntry& stream);
    unsigned SlotSource(SampleEntry& sample, int slot);
    unsigned ChannelSource(uint32_t channel, bool* isStream);
    bool RenderPieces(void* out, int frames, size_t bytesPerFrame);

    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    std::unique_ptr<AlcEntryPoints> alc_;
    bool loopback_ = false;
    LoopbackType loopbackType_ = LoopbackType::Float32;
    bool threadLocalContext_ = false;
    bool hasDevicePause_ = false;
    bool hasDirectChannels_ = false;
    bool paused_ = false;

    mutable std::mutex mutex_;
    std::map<uint32_t, std::unique_ptr<SampleEntry>> samples_;
    std::map<uint32_t, std::unique_ptr<StreamEntry>> streams_;
    std::map<uint32_t, ChannelRef> channels_;
    uint32_t nextHandle_ = 1;
    uint64_t refilled_ = 0;

    std::condition_variable wake_;
    bool stopWorker_ = false;
    std::thread worker_;
};

} // namespace kq::media
