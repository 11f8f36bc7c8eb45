#include "media/audio_backend.h"

#include "media/audio_openal.h"
#include "media/audio_recording.h"

#include <spdlog/spdlog.h>

namespace kq::media {

std::unique_ptr<AudioBackend> MakeAudioBackend(bool mute, const std::string& deviceName) {
    if (!mute) {
        if (auto openal = OpenAlBackend::Open(deviceName)) {
            return openal;
        }
        // Open has logged the one warning; the game keeps running without sound.
    }
    return std::make_unique<RecordingAudioBackend>();
}

} // namespace kq::media
