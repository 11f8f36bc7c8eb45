// AudioDecoder: reads WAV, OGG Vorbis and MP3 (anything libsndfile opens) as interleaved
// 16-bit PCM, from a file or from bytes in memory read in place (libsndfile virtual IO).
//
// Only mono and stereo are accepted, at 1 Hz..384 kHz. Every libsndfile error is checked:
// a file that cannot be opened or fails while decoding gives nothing / a negative count and
// one log line naming it. MP3 frame counts in headers are estimates, so callers read until
// Read returns 0 and never trust DeclaredFrames for sizing beyond a hint.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SF_INFO; // libsndfile's file description

namespace kq::media {

class AudioDecoder {
public:
    // nullptr (logged) when the data is not a supported audio file.
    static std::unique_ptr<AudioDecoder> OpenFile(std::string_view name,
                                                  const std::filesystem::path& file);
    // `data` must stay alive and unchanged as long as the decoder exists.
    static std::unique_ptr<AudioDecoder> OpenMemory(std::string_view name, std::string_view data);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    const std::string& Name() const { return name_; }
    int Channels() const { return channels_; }
    int SampleRate() const { return sampleRate_; }
    int64_t DeclaredFrames() const { return declaredFrames_; }
    // Frame count from the header is exact (false for MP3).
    bool ExactLength() const { return exactLength_; }

    // Reads up to `frames` frames into out (frames x Channels() values). Returns the frames
    // read (0 at the end) or -1 after a decoding error (logged once).
    int64_t Read(int16_t* out, int64_t frames);
    // Back to the first frame; false (logged) when the decoder cannot seek.
    bool Rewind();

    // Decodes everything that is left, refusing (logged) more than maxBytes of PCM, a
    // decoding error and, where the header's frame count is exact, a truncated file.
    std::optional<std::vector<int16_t>> ReadAll(size_t maxBytes);

    // Read position over in-memory bytes (used by the virtual IO callbacks).
    struct Memory {
        const char* data = nullptr;
        int64_t size = 0;
        int64_t pos = 0;
    };

private:
    AudioDecoder() = default;
    // Takes the opened file and its description; false when the format cannot be played.
    bool Adopt(void* file, const SF_INFO& info);
    bool CheckFormat();

    std::string name_;
    void* file_ = nullptr; // SNDFILE*
    Memory memory_;
    int channels_ = 0;
    int sampleRate_ = 0;
    int64_t declaredFrames_ = 0;
    bool exactLength_ = true;
    bool failed_ = false;
};

} // namespace kq::media
