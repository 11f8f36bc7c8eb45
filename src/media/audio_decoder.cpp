#include "media/audio_decoder.h"

#include <sndfile.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace kq::media {

namespace {

constexpr int kMaxChannels = 2;
constexpr int kMaxSampleRate = 384000;
constexpr int64_t kReadAllChunkFrames = 16384;

SNDFILE* Sf(void* file) {
    return static_cast<SNDFILE*>(file);
}

} // namespace

// libsndfile's virtual IO over a caller-owned byte range: reads never go past the end.
struct AudioDecoderIo {
    using Range = AudioDecoder::Memory;
    static sf_count_t Length(void* user) { return static_cast<Range*>(user)->size; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        Range& r = *static_cast<Range*>(user);
        int64_t base = 0;
        if (whence == SEEK_CUR) {
            base = r.pos;
        } else if (whence == SEEK_END) {
            base = r.size;
        }
        const int64_t target = base + offset;
        if (target < 0 || target > r.size) {
            return -1;
        }
        r.pos = target;
        return r.pos;
    }
    static sf_count_t Read(void* ptr, sf_count_t count, void* user) {
        Range& r = *static_cast<Range*>(user);
        if (count <= 0) {
            return 0;
        }
        const int64_t n = std::min<int64_t>(count, r.size - r.pos);
        if (n <= 0) {
            return 0;
        }
        std::memcpy(ptr, r.data + r.pos, static_cast<size_t>(n));
        r.pos += n;
        return n;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* user) { return static_cast<Range*>(user)->pos; }
};

std::unique_ptr<AudioDecoder> AudioDecoder::OpenFile(std::string_view name,
                                                     const std::filesystem::path& file) {
    std::unique_ptr<AudioDecoder> decoder(new AudioDecoder());
    decoder->name_ = std::string(name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        spdlog::warn("audio: '{}' is not a readable file", decoder->name_);
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE* sf = sf_open(file.c_str(), SFM_READ, &info);
    if (sf == nullptr) {
        spdlog::warn("audio: cannot decode '{}': {}", decoder->name_, sf_strerror(nullptr));
        return nullptr;
    }
    if (!decoder->Adopt(sf, info)) {
        return nullptr;
    }
    return decoder;
}

std::unique_ptr<AudioDecoder> AudioDecoder::OpenMemory(std::string_view name,
                                                       std::string_view data) {
    std::unique_ptr<AudioDecoder> decoder(new AudioDecoder());
    decoder->name_ = std::string(name);
    decoder->memory_ = Memory{data.data(), static_cast<int64_t>(data.size()), 0};
    SF_VIRTUAL_IO io{&AudioDecoderIo::Length, &AudioDecoderIo::Seek, &AudioDecoderIo::Read,
                     &AudioDecoderIo::Write, &AudioDecoderIo::Tell};
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &decoder->memory_);
    if (sf == nullptr) {
        spdlog::warn("audio: cannot decode '{}' ({} bytes): {}", decoder->name_, data.size(),
                     sf_strerror(nullptr));
        return nullptr;
    }
    if (!decoder->Adopt(sf, info)) {
        return nullptr;
    }
    return decoder;
}

bool AudioDecoder::Adopt(void* sf, const SF_INFO& info) {
    file_ = sf;
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    declaredFrames_ = info.frames;
#ifdef SF_FORMAT_MPEG
    // MP3 frame counts are estimates: such files are read to their end.
    exactLength_ = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
#endif
    return CheckFormat();
}

bool AudioDecoder::CheckFormat() {
    if (channels_ < 1 || channels_ > kMaxChannels) {
        spdlog::warn("audio: '{}' has {} channels; only mono and stereo are played", name_,
                     channels_);
        return false;
    }
    if (sampleRate_ < 1 || sampleRate_ > kMaxSampleRate) {
        spdlog::warn("audio: '{}' has an unusable sample rate {}", name_, sampleRate_);
        return false;
    }
    return true;
}

AudioDecoder::~AudioDecoder() {
    if (file_ != nullptr) {
        sf_close(Sf(file_));
    }
}

int64_t AudioDecoder::Read(int16_t* out, int64_t frames) {
    if (failed_) {
        return -1;
    }
    if (frames <= 0) {
        return 0;
    }
    const sf_count_t got = sf_readf_short(Sf(file_), out, frames);
    if (got < 0 || got > frames || (got < frames && sf_error(Sf(file_)) != SF_ERR_NO_ERROR)) {
        spdlog::warn("audio: decoding '{}' failed: {}", name_, sf_strerror(Sf(file_)));
        failed_ = true;
        return -1;
    }
    return got;
}

bool AudioDecoder::Rewind() {
    if (failed_) {
        return false;
    }
    if (sf_seek(Sf(file_), 0, SEEK_SET) != 0) {
        spdlog::warn("audio: cannot seek back to the start of '{}'", name_);
        failed_ = true;
        return false;
    }
    return true;
}

std::optional<std::vector<int16_t>> AudioDecoder::ReadAll(size_t maxBytes) {
    const size_t frameBytes = sizeof(int16_t) * static_cast<size_t>(channels_);
    const size_t maxFrames = maxBytes / frameBytes;
    if (declaredFrames_ > 0 && exactLength_ && static_cast<uint64_t>(declaredFrames_) > maxFrames) {
        spdlog::warn("audio: '{}' is too long to load whole ({} frames)", name_, declaredFrames_);
        return std::nullopt;
    }
    std::vector<int16_t> pcm;
    if (exactLength_ && declaredFrames_ > 0) {
        pcm.reserve(static_cast<size_t>(declaredFrames_) * static_cast<size_t>(channels_));
    }
    size_t frames = 0;
    for (;;) {
        const size_t room = maxFrames - frames;
        const int64_t want = static_cast<int64_t>(std::min<size_t>(kReadAllChunkFrames, room + 1));
        pcm.resize((frames + static_cast<size_t>(want)) * static_cast<size_t>(channels_));
        const int64_t got = Read(pcm.data() + frames * static_cast<size_t>(channels_), want);
        if (got < 0) {
            return std::nullopt;
        }
        frames += static_cast<size_t>(got);
        if (frames > maxFrames) {
            spdlog::warn("audio: '{}' is too long to load whole (over {} bytes of PCM)", name_,
                         maxBytes);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
    }
    pcm.resize(frames * static_cast<size_t>(channels_));
    if (frames == 0) {
        spdlog::warn("audio: '{}' holds no sound", name_);
        return std::nullopt;
    }
    if (exactLength_ && declaredFrames_ > 0 && frames < static_cast<size_t>(declaredFrames_)) {
        spdlog::warn("audio: '{}' is truncated ({} of {} frames)", name_, frames, declaredFrames_);
        return std::nullopt;
    }
    return pcm;
}

} // namespace kq::media
