// SoundSystem: the game's one-shot samples and looping music streams.
//
// Names are file names as the game wrote them ("door.wav"); they are looked up as
// "sounds\" + name in the game folder, then in the resource pack. A name that is missing
// (and whose ".OGG" sibling is missing too) is remembered as failed and never loaded again.
// Music fades are counted in processing steps: FadeStep is called once per step. Volumes
// are integer percentages: samples play at SoundVolume x percent div 100, music channels at
// MusicVolume x the stream's own level (0..1), rounded.
//
// Everything goes through an AudioBackend, so the same rules drive real output (OpenAL) and
// the silent recording back end used headless and by tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::media {

class AudioBackend;
class GameFiles;

class SoundSystem {
public:
    // A music stream of the game (one entry per name, only appended).
    struct TSound {
        std::string name;     // upper case
        uint32_t channel = 0; // the back end's stream; 0 when loading failed
        double volume = 0.0;  // current level 0..1
        double step = 0.0;    // change per processing step; 0 when not fading
        double target = 0.0;  // level the fade ends at
    };
    // A loaded sample (handle 0 records a failed load).
    struct Sample {
        std::string name; // upper case
        uint32_t handle = 0;
    };

    // The back end must outlive the system; files may be null (then nothing is found).
    // Destruction frees every sample and stream this system loaded in the back end.
    SoundSystem(AudioBackend& backend, GameFiles* files);
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // Called after every sample load, so that loading time does not produce catch-up steps.
    void SetTimerReset(std::function<void()> reset) { timerReset_ = std::move(reset); }

    int32_t SoundVolume() const { return soundVolume_; }
    void SetSoundVolume(int32_t percent) { soundVolume_ = percent; }
    int32_t MusicVolume() const { return musicVolume_; }
    // Also sets the first playing music channel to the new volume at once.
    void SetMusicVolume(int32_t percent);

    // A one-shot sample at SoundVolume x percent div 100 (at most 3 playbacks per sample; a
    // fourth takes over the one furthest along).
    void PlaySound(std::string_view name, int32_t percent);
    // Starts (fade in from 0 over 60 steps, from the beginning) or re-targets (glide over 60
    // steps) a looping stream.
    void PlayMusic(std::string_view name, int32_t percent);
    // Every stream fades to silence over 30 steps and stops at 0.
    void StopMusic();
    // A screen change completes: every stream's step becomes -level/30 (the target is kept).
    void FadeOutForScreenChange();
    // Advances every playing stream's fade by one processing step.
    void FadeStep();
    // Pauses or resumes the whole output (window deactivation); fades stay where they are.
    void Pause(bool paused);

    const std::vector<Sample>& SoundSamples() const { return samples_; }
    const std::vector<TSound>& MusicStreams() const { return streams_; }

private:
    uint32_t LoadSample(const std::string& upperName);
    uint32_t LoadStream(const std::string& upperName);
    // Index of the first stream entry with this name and a live channel, or -1.
    int FindLiveStream(const std::string& upperName) const;
    void SetChannelVolume(uint32_t channel, int32_t volume);

    AudioBackend& backend_;
    GameFiles* files_;
    std::function<void()> timerReset_;
    int32_t soundVolume_ = 100;
    int32_t musicVolume_ = 50;
    std::vector<Sample> samples_;
    std::vector<TSound> streams_;
    // Pack members streamed from memory stay for the run (a deque never moves its elements).
    std::deque<std::string> streamData_;
};

} // namespace kq::media
