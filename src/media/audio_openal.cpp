#include "media/audio_openal.h"

#include "media/audio_decoder.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>

namespace kq::media {

namespace {

// Enough sources for many samples (kSamplePlaybacks each, created on first use) and streams.
constexpr ALCint kMonoSources = 1020;
constexpr ALCint kStereoSources = 4;
// Largest piece Render mixes between two refills (well below one stream buffer).
constexpr int kRenderPieceFrames = 1024;

ALenum PcmFormat(int channels) {
    return channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
}

ALuint NewSource(bool directChannels) {
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) {
        return 0;
    }
    // Game sounds are not placed in space: no distance attenuation, no panning of stereo.
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    if (directChannels) {
        alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    }
    return source;
}

ALint SourceState(ALuint source) {
    ALint state = AL_INITIAL;
    if (source != 0) {
        alGetSourcei(source, AL_SOURCE_STATE, &state);
    }
    return state;
}

} // namespace

// Extension entry points, looked up per back end (no process-wide state of our own).
struct OpenAlBackend::AlcEntryPoints {
    PFNALCSETTHREADCONTEXTPROC setThreadContext = nullptr;
    LPALCDEVICEPAUSESOFT devicePause = nullptr;
    LPALCDEVICERESUMESOFT deviceResume = nullptr;
    LPALCLOOPBACKOPENDEVICESOFT loopbackOpen = nullptr;
    LPALCISRENDERFORMATSUPPORTEDSOFT renderFormatSupported = nullptr;
    LPALCRENDERSAMPLESSOFT renderSamples = nullptr;

    explicit AlcEntryPoints(ALCdevice* device) {
        setThreadContext = reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(
            alcGetProcAddress(nullptr, "alcSetThreadContext"));
        loopbackOpen = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
            alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        renderFormatSupported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
            alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
        renderSamples = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
            alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        if (device != nullptr) {
            devicePause = reinterpret_cast<LPALCDEVICEPAUSESOFT>(
                alcGetProcAddress(device, "alcDevicePauseSOFT"));
            deviceResume = reinterpret_cast<LPALCDEVICERESUMESOFT>(
                alcGetProcAddress(device, "alcDeviceResumeSOFT"));
        }
    }
};

struct OpenAlBackend::SampleEntry {
    std::string name;
    ALuint buffer = 0;
    ALuint sources[kSamplePlaybacks] = {};
    uint32_t channels[kSamplePlaybacks] = {};
    // Started while the output was paused without device pause: starts on resume.
    bool pendingPlay[kSamplePlaybacks] = {};
};

struct OpenAlBackend::StreamEntry {
    std::string name;
    std::unique_ptr<AudioDecoder> decoder;
    ALuint source = 0;
    ALuint buffers[kStreamBuffers] = {};
    std::vector<int16_t> chunk; // kStreamChunkFrames x channels, reused for every refill
    bool playing = false;       // the channel's state as the caller sees it
    bool failed = false;        // the decoder broke: the stream stays silent
};

std::unique_ptr<OpenAlBackend> OpenAlBackend::Open(const std::string& deviceName) {
    ALCdevice* device = alcOpenDevice(deviceName.empty() ? nullptr : deviceName.c_str());
    if (device == nullptr) {
        spdlog::warn("audio: no output device could be opened{}{}; playing silently",
                     deviceName.empty() ? "" : " named ", deviceName);
        return nullptr;
    }
    const ALCint attributes[] = {ALC_MONO_SOURCES, kMonoSources, ALC_STEREO_SOURCES, kStereoSources,
                                 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (context == nullptr) {
        // A device that is there but unusable keeps the message games' players know from the
        // original start-up check; the game still runs, silently.
        spdlog::warn("audio: BASS version 2.2 was not loaded! (the output device '{}' is present "
                     "but refused a context); playing silently",
                     alcGetString(device, ALC_DEVICE_SPECIFIER));
        alcCloseDevice(device);
        return nullptr;
    }
    return std::unique_ptr<OpenAlBackend>(
        new OpenAlBackend(device, context, false, LoopbackType::Float32));
}

std::unique_ptr<OpenAlBackend> OpenAlBackend::OpenLoopback(LoopbackType type) {
    const AlcEntryPoints alc(nullptr);
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") || alc.loopbackOpen == nullptr ||
        alc.renderSamples == nullptr || alc.renderFormatSupported == nullptr) {
        spdlog::warn("audio: the OpenAL library has no loopback device");
        return nullptr;
    }
    ALCdevice* device = alc.loopbackOpen(nullptr);
    if (device == nullptr) {
        spdlog::warn("audio: the loopback device could not be opened");
        return nullptr;
    }
    const ALCint sampleType = type == LoopbackType::Float32 ? ALC_FLOAT_SOFT : ALC_SHORT_SOFT;
    if (!alc.renderFormatSupported(device, kLoopbackRate, ALC_STEREO_SOFT, sampleType)) {
        spdlog::warn("audio: the loopback device cannot render 44100 Hz stereo");
        alcCloseDevice(device);
        return nullptr;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 sampleType,
                                 ALC_FREQUENCY,
                                 kLoopbackRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 ALC_MONO_SOURCES,
                                 kMonoSources,
                                 ALC_STEREO_SOURCES,
                                 kStereoSources,
                                 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (context == nullptr) {
        spdlog::warn("audio: the loopback device refused a context");
        alcCloseDevice(device);
        return nullptr;
    }
    return std::unique_ptr<OpenAlBackend>(new OpenAlBackend(device, context, true, type));
}

OpenAlBackend::OpenAlBackend(ALCdevice* device, ALCcontext* context, bool loopback,
                             LoopbackType type)
    : device_(device), context_(context), alc_(std::make_unique<AlcEntryPoints>(device)),
      loopback_(loopback), loopbackType_(type) {
    threadLocalContext_ = alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context") &&
                          alc_->setThreadContext != nullptr;
    // Device pause only acts on real playback devices (a loopback device mixes on demand).
    hasDevicePause_ = !loopback_ && alcIsExtensionPresent(device_, "ALC_SOFT_pause_device") &&
                      alc_->devicePause != nullptr && alc_->deviceResume != nullptr;
    if (!threadLocalContext_) {
        alcMakeContextCurrent(context_);
    }
    MakeCurrent();
    hasDirectChannels_ = alIsExtensionPresent("AL_SOFT_direct_channels");
    if (!loopback_) {
        worker_ = std::thread([this] { WorkerLoop(); });
    }
}

OpenAlBackend::~OpenAlBackend() {
    if (worker_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopWorker_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }
    MakeCurrent();
    for (auto& [handle, stream] : streams_) {
        alSourceStop(stream->source);
        alSourcei(stream->source, AL_BUFFER, 0);
        alDeleteSources(1, &stream->source);
        alDeleteBuffers(kStreamBuffers, stream->buffers);
    }
    for (auto& [handle, sample] : samples_) {
        for (ALuint& source : sample->sources) {
            if (source != 0) {
                alSourceStop(source);
                alSourcei(source, AL_BUFFER, 0);
                alDeleteSources(1, &source);
            }
        }
        alDeleteBuffers(1, &sample->buffer);
    }
    if (threadLocalContext_) {
        alc_->setThreadContext(nullptr);
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    alcCloseDevice(device_);
}

void OpenAlBackend::MakeCurrent() const {
    // Each thread that talks to AL uses this back end's context; with several back ends in
    // one process (tests) the process-wide current context would be shared otherwise.
    if (threadLocalContext_) {
        alc_->setThreadContext(context_);
    } else {
        alcMakeContextCurrent(context_);
    }
}

// ---- loading ----

uint32_t OpenAlBackend::AddSample(std::string_view name, AudioDecoder& decoder) {
    std::optional<std::vector<int16_t>> pcm = decoder.ReadAll(kMaxSampleBytes);
    if (!pcm) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    MakeCurrent();
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, PcmFormat(decoder.Channels()), pcm->data(),
                 static_cast<ALsizei>(pcm->size() * sizeof(int16_t)), decoder.SampleRate());
    if (alGetError() != AL_NO_ERROR) {
        spdlog::warn("audio: OpenAL refused the sound '{}'", name);
        alDeleteBuffers(1, &buffer);
        return 0;
    }
    auto entry = std::make_unique<SampleEntry>();
    entry->name = std::string(name);
    entry->buffer = buffer;
    const uint32_t handle = nextHandle_++;
    for (int slot = 0; slot < kSamplePlaybacks; ++slot) {
        entry->channels[slot] = nextHandle_++;
        channels_[entry->channels[slot]] = ChannelRef{handle, slot};
    }
    samples_[handle] = std::move(entry);
    return handle;
}

uint32_t OpenAlBackend::LoadSample(std::string_view name, const std::filesystem::path& file) {
    const auto decoder = AudioDecoder::OpenFile(name, file);
    return decoder ? AddSample(name, *decoder) : 0;
}

uint32_t OpenAlBackend::LoadSampleFromMemory(std::string_view name, std::string_view data) {
    const auto decoder = AudioDecoder::OpenMemory(name, data);
    return decoder ? AddSample(name, *decoder) : 0;
}

uint32_t OpenAlBackend::AddStream(std::string_view name, std::unique_ptr<AudioDecoder> decoder) {
    if (!decoder) {
        return 0;
    }
    auto entry = std::make_unique<StreamEntry>();
    entry->name = std::string(name);
    entry->chunk.resize(static_cast<size_t>(kStreamChunkFrames) *
                        static_cast<size_t>(decoder->Channels()));
    // The first piece proves the data decodes before the stream is handed out.
    const int64_t first = decoder->Read(entry->chunk.data(), kStreamChunkFrames);
    if (first <= 0) {
        if (first == 0) {
            spdlog::warn("audio: '{}' holds no sound", name);
        }
        return 0;
    }
    if (!decoder->Rewind()) {
        return 0;
    }
    entry->decoder = std::move(decoder);

    std::lock_guard lock(mutex_);
    MakeCurrent();
    alGetError();
    alGenBuffers(kStreamBuffers, entry->buffers);
    if (alGetError() != AL_NO_ERROR) {
        spdlog::warn("audio: OpenAL has no buffers left for '{}'", name);
        return 0;
    }
    entry->source = NewSource(hasDirectChannels_);
    if (entry->source == 0) {
        spdlog::warn("audio: OpenAL has no sources left for '{}'", name);
        alDeleteBuffers(kStreamBuffers, entry->buffers);
        return 0;
    }
    const uint32_t handle = nextHandle_++;
    channels_[handle] = ChannelRef{handle, -1};
    streams_[handle] = std::move(entry);
    return handle;
}

uint32_t OpenAlBackend::CreateStream(std::string_view name, const std::filesystem::path& file) {
    return AddStream(name, AudioDecoder::OpenFile(name, file));
}

uint32_t OpenAlBackend::CreateStreamFromMemory(std::string_view name, std::string_view data) {
    return AddStream(name, AudioDecoder::OpenMemory(name, data));
}

// ---- channels ----

unsigned OpenAlBackend::SlotSource(SampleEntry& sample, int slot) {
    ALuint& source = sample.sources[slot];
    if (source == 0) {
        source = NewSource(hasDirectChannels_);
        if (source != 0) {
            alSourcei(source, AL_BUFFER, static_cast<ALint>(sample.buffer));
        }
    }
    return source;
}

unsigned OpenAlBackend::ChannelSource(uint32_t channel, bool* isStream) {
    *isStream = false;
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        return 0;
    }
    if (it->second.slot < 0) {
        *isStream = true;
        return streams_.at(it->second.owner)->source;
    }
    return samples_.at(it->second.owner)->sources[it->second.slot];
}

uint32_t OpenAlBackend::SampleChannel(uint32_t sample) {
    std::lock_guard lock(mutex_);
    const auto it = samples_.find(sample);
    if (it == samples_.end()) {
        return 0;
    }
    MakeCurrent();
    SampleEntry& entry = *it->second;
    // A free playback if there is one, else the one furthest along.
    int chosen = -1;
    ALint furthest = -1;
    for (int slot = 0; slot < kSamplePlaybacks; ++slot) {
        const ALuint source = entry.sources[slot];
        const ALint state = SourceState(source);
        const bool busy = state == AL_PLAYING || state == AL_PAUSED || entry.pendingPlay[slot];
        if (!busy) {
            chosen = slot;
            break;
        }
        ALint offset = 0;
        alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
        if (offset > furthest) {
            furthest = offset;
            chosen = slot;
        }
    }
    const ALuint source = SlotSource(entry, chosen);
    if (source == 0) {
        spdlog::warn("audio: OpenAL has no sources left for '{}'", entry.name);
        return 0;
    }
    alSourceStop(source);
    alSourceRewind(source);
    alSourcef(source, AL_GAIN, 1.0f);
    entry.pendingPlay[chosen] = false;
    return entry.channels[chosen];
}

void OpenAlBackend::SetVolume(uint32_t channel, int32_t volume) {
    std::lock_guard lock(mutex_);
    MakeCurrent();
    bool isStream = false;
    const ALuint source = ChannelSource(channel, &isStream);
    if (source != 0) {
        alSourcef(source, AL_GAIN, static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f);
    }
}

void OpenAlBackend::Play(uint32_t channel) {
    std::lock_guard lock(mutex_);
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        return;
    }
    MakeCurrent();
    const bool holdForResume = paused_ && !hasDevicePause_;
    if (it->second.slot < 0) {
        StreamEntry& stream = *streams_.at(it->second.owner);
        RestartStream(stream);
        stream.playing = !stream.failed;
        if (stream.playing && !holdForResume) {
            alSourcePlay(stream.source);
        }
        return;
    }
    SampleEntry& sample = *samples_.at(it->second.owner);
    const int slot = it->second.slot;
    const ALuint source = SlotSource(sample, slot);
    const ALint state = SourceState(source);
    if (source == 0 || state == AL_PLAYING || state == AL_PAUSED || sample.pendingPlay[slot]) {
        return; // no restart of a running playback
    }
    if (holdForResume) {
        sample.pendingPlay[slot] = true;
    } else {
        alSourcePlay(source);
    }
}

bool OpenAlBackend::IsPlaying(uint32_t channel) {
    std::lock_guard lock(mutex_);
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        return false;
    }
    if (it->second.slot < 0) {
        return streams_.at(it->second.owner)->playing;
    }
    MakeCurrent();
    const SampleEntry& sample = *samples_.at(it->second.owner);
    const int slot = it->second.slot;
    const ALint state = SourceState(sample.sources[slot]);
    return state == AL_PLAYING || state == AL_PAUSED || sample.pendingPlay[slot];
}

void OpenAlBackend::Stop(uint32_t channel) {
    std::lock_guard lock(mutex_);
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        return;
    }
    MakeCurrent();
    if (it->second.slot < 0) {
        StreamEntry& stream = *streams_.at(it->second.owner);
        stream.playing = false;
        alSourceStop(stream.source);
        return;
    }
    SampleEntry& sample = *samples_.at(it->second.owner);
    sample.pendingPlay[it->second.slot] = false;
    if (sample.sources[it->second.slot] != 0) {
        alSourceStop(sample.sources[it->second.slot]);
    }
}

void OpenAlBackend::Free(uint32_t handle) {
    std::lock_guard lock(mutex_);
    MakeCurrent();
    if (const auto it = streams_.find(handle); it != streams_.end()) {
        StreamEntry& stream = *it->second;
        alSourceStop(stream.source);
        alSourcei(stream.source, AL_BUFFER, 0);
        alDeleteSources(1, &stream.source);
        alDeleteBuffers(kStreamBuffers, stream.buffers);
        channels_.erase(handle);
        streams_.erase(it);
    } else if (const auto it = samples_.find(handle); it != samples_.end()) {
        SampleEntry& sample = *it->second;
        for (int slot = 0; slot < kSamplePlaybacks; ++slot) {
            if (sample.sources[slot] != 0) {
                alSourceStop(sample.sources[slot]);
                alSourcei(sample.sources[slot], AL_BUFFER, 0);
                alDeleteSources(1, &sample.sources[slot]);
            }
            channels_.erase(sample.channels[slot]);
        }
        alDeleteBuffers(1, &sample.buffer);
        samples_.erase(it);
    }
}

// ---- pause ----

void OpenAlBackend::SetPaused(bool paused) {
    std::lock_guard lock(mutex_);
    if (paused == paused_) {
        return;
    }
    paused_ = paused;
    MakeCurrent();
    if (hasDevicePause_) {
        if (paused) {
            alc_->devicePause(device_);
        } else {
            alc_->deviceResume(device_);
        }
        return;
    }
    // Without device pause every source is paused by hand; a source stays AL_PAUSED only
    // while the output is paused, which is how IsPlaying tells it still plays.
    for (auto& [handle, stream] : streams_) {
        if (!stream->playing) {
            continue;
        }
        if (paused) {
            alSourcePause(stream->source);
        } else {
            alSourcePlay(stream->source);
        }
    }
    for (auto& [handle, sample] : samples_) {
        for (int slot = 0; slot < kSamplePlaybacks; ++slot) {
            const ALuint source = sample->sources[slot];
            if (source == 0) {
                continue;
            }
            const ALint state = SourceState(source);
            if (paused && state == AL_PLAYING) {
                alSourcePause(source);
            } else if (!paused && (state == AL_PAUSED || sample->pendingPlay[slot])) {
                alSourcePlay(source);
                sample->pendingPlay[slot] = false;
            }
        }
    }
}

bool OpenAlBackend::Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

// ---- streaming ----

bool OpenAlBackend::FillAndQueue(StreamEntry& stream, unsigned buffer) {
    AudioDecoder& decoder = *stream.decoder;
    const int channels = decoder.Channels();
    int64_t filled = 0;
    bool rewound = false; // a rewind that yields nothing means the data is empty or broken
    while (filled < kStreamChunkFrames) {
        const int64_t got =
            decoder.Read(stream.chunk.data() + filled * channels, kStreamChunkFrames - filled);
        if (got < 0) {
            stream.failed = true;
            break;
        }
        if (got == 0) {
            if (rewound || !decoder.Rewind()) {
                stream.failed = true;
                break;
            }
            rewound = true;
            continue;
        }
        rewound = false;
        filled += got;
    }
    if (filled == 0) {
        return false;
    }
    alBufferData(buffer, PcmFormat(channels), stream.chunk.data(),
                 static_cast<ALsizei>(filled * channels * static_cast<int64_t>(sizeof(int16_t))),
                 decoder.SampleRate());
    alSourceQueueBuffers(stream.source, 1, &buffer);
    return true;
}

void OpenAlBackend::RestartStream(StreamEntry& stream) {
    alSourceStop(stream.source);
    alSourcei(stream.source, AL_BUFFER, 0); // unqueues everything
    if (stream.failed || !stream.decoder->Rewind()) {
        stream.failed = true;
        return;
    }
    for (ALuint buffer : stream.buffers) {
        if (!FillAndQueue(stream, buffer)) {
            break;
        }
    }
}

void OpenAlBackend::PumpLocked() {
    MakeCurrent();
    for (auto& [handle, entry] : streams_) {
        StreamEntry& stream = *entry;
        if (!stream.playing || stream.failed) {
            continue;
        }
        ALint processed = 0;
        alGetSourcei(stream.source, AL_BUFFERS_PROCESSED, &processed);
        for (ALint i = 0; i < processed; ++i) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(stream.source, 1, &buffer);
            if (!FillAndQueue(stream, buffer)) {
                break;
            }
            ++refilled_;
        }
        if (stream.failed) {
            spdlog::warn("audio: the stream '{}' stops: its data cannot be decoded", stream.name);
            stream.playing = false;
            alSourceStop(stream.source);
            continue;
        }
        // Ran dry (the refill came late): start again from what is queued now.
        if (SourceState(stream.source) == AL_STOPPED && !(paused_ && !hasDevicePause_)) {
            alSourcePlay(stream.source);
        }
    }
}

void OpenAlBackend::Pump() {
    std::lock_guard lock(mutex_);
    PumpLocked();
}

void OpenAlBackend::WorkerLoop() {
    std::unique_lock lock(mutex_);
    while (!stopWorker_) {
        wake_.wait_for(lock, std::chrono::milliseconds(kPumpIntervalMs),
                       [this] { return stopWorker_; });
        if (!stopWorker_) {
            PumpLocked();
        }
    }
    if (threadLocalContext_) {
        alc_->setThreadContext(nullptr);
    }
}

size_t OpenAlBackend::StreamBufferBytes() const {
    std::lock_guard lock(mutex_);
    size_t bytes = 0;
    for (const auto& [handle, stream] : streams_) {
        const size_t chunkBytes = stream->chunk.size() * sizeof(int16_t);
        bytes += chunkBytes * (kStreamBuffers + 1); // AL copies of the queue + our chunk
    }
    return bytes;
}

uint64_t OpenAlBackend::RefilledBuffers() const {
    std::lock_guard lock(mutex_);
    return refilled_;
}

// ---- loopback rendering ----

bool OpenAlBackend::RenderPieces(void* out, int frames, size_t bytesPerFrame) {
    if (!loopback_ || frames < 0) {
        return false;
    }
    std::lock_guard lock(mutex_);
    auto* bytes = static_cast<unsigned char*>(out);
    while (frames > 0) {
        const int piece = std::min(frames, kRenderPieceFrames);
        PumpLocked();
        alc_->renderSamples(device_, bytes, piece);
        bytes += static_cast<size_t>(piece) * bytesPerFrame;
        frames -= piece;
    }
    return true;
}

bool OpenAlBackend::Render(float* out, int frames) {
    if (loopbackType_ != LoopbackType::Float32) {
        return false;
    }
    return RenderPieces(out, frames, 2 * sizeof(float));
}

bool OpenAlBackend::Render(int16_t* out, int frames) {
    if (loopbackType_ != LoopbackType::Int16) {
        return false;
    }
    return RenderPieces(out, frames, 2 * sizeof(int16_t));
}

} // namespace kq::media
