#include "media/sound_system.h"

#include "media/audio_backend.h"
#include "media/game_files.h"
#include "media/text_encoding.h"

#include <cmath>

namespace kq::media {

namespace {

constexpr double kMusicFadeSteps = 60.0; // PlayMusic: fade in / glide over 2 s
constexpr double kStopFadeSteps = 30.0;  // StopMusic and screen changes: 1 s
// A fade of n equal steps must end at step n although the summed steps carry binary rounding
// (30 x (0.5 / -30) added to 0.5 leaves about 5e-17): levels this close count as reached.
constexpr double kFadeTolerance = 1e-9;

// The name with its last three characters replaced by "OGG" (a shorter name becomes "OGG").
std::string OggSibling(const std::string& upperName) {
    const size_t keep = upperName.size() >= 3 ? upperName.size() - 3 : 0;
    return upperName.substr(0, keep) + "OGG";
}

// Channel volume of a stream: MusicVolume x level, rounded to nearest, halves to even.
int32_t MusicChannelVolume(int32_t musicVolume, double level) {
    return static_cast<int32_t>(std::nearbyint(musicVolume * level));
}

} // namespace

SoundSystem::SoundSystem(AudioBackend& backend, GameFiles* files)
    : backend_(backend), files_(files) {}

SoundSystem::~SoundSystem() {
    // Streams may be decoding from streamData_, which dies with us; the back end lives on.
    for (const TSound& stream : streams_) {
        if (stream.channel != 0) {
            backend_.Free(stream.channel);
        }
    }
    for (const Sample& sample : samples_) {
        if (sample.handle != 0) {
            backend_.Free(sample.handle);
        }
    }
}

void SoundSystem::SetMusicVolume(int32_t percent) {
    musicVolume_ = percent;
    for (const TSound& stream : streams_) {
        if (stream.channel != 0 && backend_.IsPlaying(stream.channel)) {
            SetChannelVolume(stream.channel, MusicChannelVolume(musicVolume_, stream.volume));
            break;
        }
    }
}

uint32_t SoundSystem::LoadSample(const std::string& upperName) {
    for (const Sample& sample : samples_) {
        if (sample.name == upperName) {
            return sample.handle;
        }
    }

    uint32_t handle = 0;
    const std::string gameName = "sounds\\" + upperName;
    if (files_ != nullptr) {
        if (const auto loose = files_->FindLoose(gameName)) {
            handle = backend_.LoadSample(upperName, *loose);
        } else {
            // The member's bytes are freed as soon as the sample is decoded.
            const GameFile member = files_->Read(gameName);
            if (member.source == FileSource::Pack) {
                handle = backend_.LoadSampleFromMemory(upperName, member.bytes);
            }
        }
    }
    samples_.push_back(Sample{upperName, handle});
    if (timerReset_) {
        timerReset_();
    }
    return handle;
}

uint32_t SoundSystem::LoadStream(const std::string& upperName) {
    for (const TSound& stream : streams_) {
        if (stream.name == upperName) {
            return stream.channel;
        }
    }

    uint32_t handle = 0;
    const std::string gameName = "sounds\\" + upperName;
    if (files_ != nullptr) {
        if (const auto loose = files_->FindLoose(gameName)) {
            handle = backend_.CreateStream(upperName, *loose);
        } else {
            GameFile member = files_->Read(gameName);
            if (member.source == FileSource::Pack) {
                // The stream decodes from these bytes while it plays: they stay for the run.
                streamData_.push_back(std::move(member.bytes));
                handle = backend_.CreateStreamFromMemory(upperName, streamData_.back());
                if (handle == 0) {
                    streamData_.pop_back();
                }
            }
        }
    }
    TSound entry;
    entry.name = upperName;
    entry.channel = handle;
    streams_.push_back(std::move(entry));
    return handle;
}

int SoundSystem::FindLiveStream(const std::string& upperName) const {
    for (size_t i = 0; i < streams_.size(); ++i) {
        if (streams_[i].name == upperName && streams_[i].channel != 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SoundSystem::SetChannelVolume(uint32_t channel, int32_t volume) {
    backend_.SetVolume(channel, volume);
}

void SoundSystem::PlaySound(std::string_view name, int32_t percent) {
    if (name.empty()) {
        return; // an unknown sound identifier resolves to no name: nothing to play
    }
    const std::string upper = UpperAscii(name);
    const std::string ogg = OggSibling(upper);

    uint32_t handle = 0;
    for (const Sample& sample : samples_) {
        if (sample.name == upper || sample.name == ogg) {
            handle = sample.handle;
            break;
        }
    }
    if (handle == 0) {
        handle = LoadSample(upper);
    }
    if (handle == 0) {
        handle = LoadSample(ogg);
    }
    if (handle == 0) {
        return;
    }

    const uint32_t channel = backend_.SampleChannel(handle);
    if (channel == 0) {
        return;
    }
    SetChannelVolume(channel, soundVolume_ * percent / 100);
    backend_.Play(channel);
}

void SoundSystem::PlayMusic(std::string_view name, int32_t percent) {
    if (name.empty()) {
        return;
    }
    const std::string upper = UpperAscii(name);
    const std::string ogg = OggSibling(upper);

    int index = FindLiveStream(upper);
    if (index < 0) {
        index = FindLiveStream(ogg);
    }
    if (index < 0) {
        if (LoadStream(upper) != 0) {
            index = FindLiveStream(upper);
        } else if (LoadStream(ogg) != 0) {
            index = FindLiveStream(ogg);
        }
    }
    if (index < 0) {
        return;
    }

    TSound& stream = streams_[static_cast<size_t>(index)];
    stream.target = percent / 100.0;
    stream.step = (stream.target - stream.volume) / kMusicFadeSteps;
    if (!backend_.IsPlaying(stream.channel)) {
        stream.volume = 0.0;
        stream.step = stream.target / kMusicFadeSteps;
        SetChannelVolume(stream.channel, 0);
        backend_.Play(stream.channel);
    }
}

void SoundSystem::StopMusic() {
    for (TSound& stream : streams_) {
        stream.target = 0.0;
        stream.step = stream.volume / -kStopFadeSteps;
    }
}

void SoundSystem::FadeOutForScreenChange() {
    // Only the step changes, the target is kept: FadeStep then finds a stream at or below its
    // target and sets it to the target at the next step. Only a stream that was already
    // gliding down keeps fading (at the new pace). Games were tuned against this behaviour.
    for (TSound& stream : streams_) {
        stream.step = -stream.volume / kStopFadeSteps;
    }
}

void SoundSystem::FadeStep() {
    for (TSound& stream : streams_) {
        if (stream.channel == 0 || !backend_.IsPlaying(stream.channel)) {
            continue;
        }
        stream.volume += stream.step;
        if (stream.step > 0 && stream.volume >= stream.target - kFadeTolerance) {
            stream.volume = stream.target;
            stream.step = 0;
        } else if (stream.step < 0 && stream.volume <= stream.target + kFadeTolerance) {
            stream.volume = stream.target;
            stream.step = 0;
            if (stream.volume == 0.0) {
                backend_.Stop(stream.channel);
            }
        }
        SetChannelVolume(stream.channel, MusicChannelVolume(musicVolume_, stream.volume));
    }
}

void SoundSystem::Pause(bool paused) {
    backend_.SetPaused(paused);
}

} // namespace kq::media
