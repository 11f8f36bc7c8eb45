#include "media/audio_trace.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <fstream>

namespace kq::media {

TracingAudioBackend::TracingAudioBackend(std::unique_ptr<AudioBackend> inner,
                                         std::unique_ptr<std::ostream> out)
    : inner_(std::move(inner)), out_(std::move(out)) {}

std::unique_ptr<AudioBackend> TraceAudioToFile(std::unique_ptr<AudioBackend> inner,
                                               const std::filesystem::path& file,
                                               std::function<uint64_t()> step) {
    auto out = std::make_unique<std::ofstream>(file, std::ios::binary | std::ios::trunc);
    if (!*out) {
        spdlog::warn("audio: cannot create the audio trace '{}'; audio is not traced",
                     file.string());
        return inner;
    }
    auto trace = std::make_unique<TracingAudioBackend>(std::move(inner), std::move(out));
    trace->SetStepSource(std::move(step));
    return trace;
}

void TracingAudioBackend::Line(std::string_view call, std::string_view name,
                               std::string_view fields) {
    const uint64_t step = step_ ? step_() : 0;
    std::string line = fmt::format("{} {}", step, call);
    if (!name.empty()) {
        line += fmt::format(" {}", name);
    }
    if (!fields.empty()) {
        line += fmt::format(" {}", fields);
    }
    line += '\n';
    out_->write(line.data(), static_cast<std::streamsize>(line.size()));
    out_->flush();
}

const std::string& TracingAudioBackend::NameOf(uint32_t handle) const {
    static const std::string kUnknown = "?";
    const auto it = names_.find(handle);
    return it == names_.end() ? kUnknown : it->second;
}

uint32_t TracingAudioBackend::Loaded(std::string_view call, std::string_view name,
                                     uint32_t handle) {
    if (handle != 0) {
        names_[handle] = std::string(name);
    }
    Line(call, name, fmt::format("h={}", handle));
    return handle;
}

uint32_t TracingAudioBackend::LoadSample(std::string_view name, const std::filesystem::path& file) {
    return Loaded("LoadSample", name, inner_->LoadSample(name, file));
}

uint32_t TracingAudioBackend::LoadSampleFromMemory(std::string_view name, std::string_view data) {
    return Loaded("LoadSampleFromMemory", name, inner_->LoadSampleFromMemory(name, data));
}

uint32_t TracingAudioBackend::CreateStream(std::string_view name,
                                           const std::filesystem::path& file) {
    return Loaded("CreateStream", name, inner_->CreateStream(name, file));
}

uint32_t TracingAudioBackend::CreateStreamFromMemory(std::string_view name, std::string_view data) {
    return Loaded("CreateStreamFromMemory", name, inner_->CreateStreamFromMemory(name, data));
}

uint32_t TracingAudioBackend::SampleChannel(uint32_t sample) {
    const uint32_t channel = inner_->SampleChannel(sample);
    const std::string name = NameOf(sample);
    if (channel != 0) {
        names_[channel] = name;
        volumes_[channel] = 100; // a channel is handed out at full volume
    }
    Line("SampleChannel", name, fmt::format("ch={}", channel));
    return channel;
}

void TracingAudioBackend::SetVolume(uint32_t channel, int32_t volume) {
    inner_->SetVolume(channel, volume);
    volume = std::clamp(volume, 0, 100);
    const auto it = volumes_.find(channel);
    if (it != volumes_.end() && it->second == volume) {
        return;
    }
    volumes_[channel] = volume;
    Line("SetVolume", NameOf(channel), fmt::format("ch={} vol={}", channel, volume));
}

void TracingAudioBackend::Play(uint32_t channel) {
    inner_->Play(channel);
    Line("Play", NameOf(channel), fmt::format("ch={}", channel));
}

bool TracingAudioBackend::IsPlaying(uint32_t channel) {
    return inner_->IsPlaying(channel);
}

void TracingAudioBackend::Stop(uint32_t channel) {
    inner_->Stop(channel);
    Line("Stop", NameOf(channel), fmt::format("ch={}", channel));
}

void TracingAudioBackend::Free(uint32_t handle) {
    inner_->Free(handle);
    Line("Free", NameOf(handle), fmt::format("h={}", handle));
}

void TracingAudioBackend::SetPaused(bool paused) {
    inner_->SetPaused(paused);
    Line(paused ? "Pause" : "Resume", "", "");
}

bool TracingAudioBackend::Paused() const {
    return inner_->Paused();
}

} // namespace kq::media
