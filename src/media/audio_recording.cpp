#include "media/audio_recording.h"

#include <algorithm>
#include <system_error>

namespace kq::media {

namespace {

bool FileExists(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec);
}

} // namespace

bool RecordingAudioBackend::Fails(std::string_view name) const {
    return failNames_.count(std::string(name)) != 0;
}

void RecordingAudioBackend::Record(Op op, std::string name, uint32_t handle, int32_t value) {
    calls_.push_back(Call{op, std::move(name), handle, value});
}

uint32_t RecordingAudioBackend::AddSample(std::string_view name) {
    const uint32_t sample = nextHandle_++;
    Sample entry{std::string(name), nextHandle_};
    for (int i = 0; i < kSamplePlaybacks; ++i) {
        Channel channel;
        channel.name = entry.name;
        channels_.emplace(nextHandle_++, std::move(channel));
    }
    samples_.emplace(sample, std::move(entry));
    return sample;
}

uint32_t RecordingAudioBackend::AddStream(std::string_view name) {
    const uint32_t stream = nextHandle_++;
    Channel channel;
    channel.name = std::string(name);
    channel.isStream = true;
    channels_.emplace(stream, std::move(channel));
    return stream;
}

uint32_t RecordingAudioBackend::LoadSample(std::string_view name,
                                           const std::filesystem::path& file) {
    const uint32_t handle = (!Fails(name) && FileExists(file)) ? AddSample(name) : 0;
    Record(Op::LoadSample, std::string(name), handle);
    return handle;
}

uint32_t RecordingAudioBackend::LoadSampleFromMemory(std::string_view name, std::string_view data) {
    const uint32_t handle = (!Fails(name) && !data.empty()) ? AddSample(name) : 0;
    Record(Op::LoadSampleFromMemory, std::string(name), handle, static_cast<int32_t>(data.size()));
    return handle;
}

uint32_t RecordingAudioBackend::CreateStream(std::string_view name,
                                             const std::filesystem::path& file) {
    const uint32_t handle = (!Fails(name) && FileExists(file)) ? AddStream(name) : 0;
    Record(Op::CreateStream, std::string(name), handle);
    return handle;
}

uint32_t RecordingAudioBackend::CreateStreamFromMemory(std::string_view name,
                                                       std::string_view data) {
    const uint32_t handle = (!Fails(name) && !data.empty()) ? AddStream(name) : 0;
    Record(Op::CreateStreamFromMemory, std::string(name), handle,
           static_cast<int32_t>(data.size()));
    return handle;
}

uint32_t RecordingAudioBackend::SampleChannel(uint32_t sample) {
    const auto it = samples_.find(sample);
    if (it == samples_.end()) {
        Record(Op::SampleChannel, "", 0);
        return 0;
    }
    // A free playback if there is one, else the one started earliest (furthest along).
    uint32_t chosen = 0;
    uint64_t oldest = UINT64_MAX;
    for (int i = 0; i < kSamplePlaybacks; ++i) {
        const uint32_t handle = it->second.firstChannel + static_cast<uint32_t>(i);
        const Channel& channel = channels_.at(handle);
        if (!channel.playing) {
            chosen = handle;
            break;
        }
        if (channel.startedAt < oldest) {
            oldest = channel.startedAt;
            chosen = handle;
        }
    }
    Channel& channel = channels_.at(chosen);
    channel.playing = false;
    channel.volume = 100;
    Record(Op::SampleChannel, it->second.name, chosen);
    return chosen;
}

RecordingAudioBackend::Channel* RecordingAudioBackend::Find(uint32_t channel) {
    const auto it = channels_.find(channel);
    return it == channels_.end() ? nullptr : &it->second;
}

const RecordingAudioBackend::Channel* RecordingAudioBackend::Find(uint32_t channel) const {
    const auto it = channels_.find(channel);
    return it == channels_.end() ? nullptr : &it->second;
}

void RecordingAudioBackend::SetVolume(uint32_t channel, int32_t volume) {
    volume = std::clamp(volume, 0, 100);
    Channel* entry = Find(channel);
    if (entry) {
        entry->volume = volume;
    }
    Record(Op::SetVolume, entry ? entry->name : "", channel, volume);
}

void RecordingAudioBackend::Play(uint32_t channel) {
    Channel* entry = Find(channel);
    if (entry && (entry->isStream || !entry->playing)) {
        entry->playing = true;
        entry->playCount += 1;
        entry->startedAt = ++startCounter_;
    }
    Record(Op::Play, entry ? entry->name : "", channel);
}

bool RecordingAudioBackend::IsPlaying(uint32_t channel) {
    const Channel* entry = Find(channel);
    return entry && entry->playing;
}

void RecordingAudioBackend::Stop(uint32_t channel) {
    Channel* entry = Find(channel);
    if (entry) {
        entry->playing = false;
    }
    Record(Op::Stop, entry ? entry->name : "", channel);
}

void RecordingAudioBackend::Free(uint32_t handle) {
    std::string name;
    if (const auto sample = samples_.find(handle); sample != samples_.end()) {
        name = sample->second.name;
        for (int i = 0; i < kSamplePlaybacks; ++i) {
            channels_.erase(sample->second.firstChannel + static_cast<uint32_t>(i));
        }
        samples_.erase(sample);
    } else if (const auto stream = channels_.find(handle);
               stream != channels_.end() && stream->second.isStream) {
        name = stream->second.name;
        channels_.erase(stream);
    }
    Record(Op::Free, std::move(name), handle);
}

void RecordingAudioBackend::SetPaused(bool paused) {
    paused_ = paused;
    Record(Op::SetPaused, "", 0, paused ? 1 : 0);
}

int32_t RecordingAudioBackend::Volume(uint32_t channel) const {
    const Channel* entry = Find(channel);
    return entry ? entry->volume : -1;
}

int32_t RecordingAudioBackend::PlayCount(uint32_t channel) const {
    const Channel* entry = Find(channel);
    return entry ? entry->playCount : 0;
}

std::string RecordingAudioBackend::NameOf(uint32_t channel) const {
    const Channel* entry = Find(channel);
    return entry ? entry->name : std::string();
}

std::vector<uint32_t> RecordingAudioBackend::PlayingChannels() const {
    std::vector<uint32_t> result;
    for (const auto& [handle, channel] : channels_) {
        if (channel.playing) {
            result.push_back(handle);
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

void RecordingAudioBackend::Finish(uint32_t channel) {
    Channel* entry = Find(channel);
    if (entry && !entry->isStream) {
        entry->playing = false;
    }
}

} // namespace kq::media
