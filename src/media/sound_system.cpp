// (Work in progress: replaced by the full implementation.)
#include "media/sound_system.h"

namespace kq::media {

SoundSystem::SoundSystem(AudioBackend& backend, GameFiles* files)
    : backend_(backend), files_(files) {}
SoundSystem::~SoundSystem() = default;
void SoundSystem::SetMusicVolume(int32_t percent) {
    musicVolume_ = percent;
}
void SoundSystem::PlaySound(std::string_view, int32_t) {}
void SoundSystem::PlayMusic(std::string_view, int32_t) {}
void SoundSystem::StopMusic() {}
void SoundSystem::FadeOutForScreenChange() {}
void SoundSystem::FadeStep() {}
void SoundSystem::Pause(bool) {}

} // namespace kq::media
