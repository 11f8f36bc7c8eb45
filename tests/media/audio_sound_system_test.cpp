// The sound rules, checked exactly against the recording back end: volumes, fades, lookups,
// the OGG fallback, failed names, the playback limit, pause, and the audio trace.
#include "media/audio_recording.h"
#include "media/audio_trace.h"
#include "media/game_files.h"
#include "media/sound_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kq::media {
namespace {

using Op = RecordingAudioBackend::Op;

class SoundSystemTest : public ::testing::Test {
protected:
    SoundSystemTest() : files_(dir_.Path()) {
        dir_.Write("Sounds/Door.WAV", "loose door");
        dir_.Write("Sounds/theme.mp3", "loose theme");
        dir_.Write("Sounds/other.mp3", "loose other");
        StoreWriter pack;
        pack.Add("sounds\\THEME2.OGG", "pack theme2");
        pack.Add("sounds\\BOOM.OGG", "pack boom");
        pack.Add("sounds\\CLICK.WAV", "pack click");
        EXPECT_TRUE(pack.Write(dir_.Path() / "game.kst"));
        EXPECT_TRUE(files_.OpenPack("game.kst"));
        sound_.SetTimerReset([this] { ++timerResets_; });
    }

    std::vector<RecordingAudioBackend::Call> CallsOf(Op op) const {
        std::vector<RecordingAudioBackend::Call> result;
        for (const auto& call : backend_.Calls()) {
            if (call.op == op) {
                result.push_back(call);
            }
        }
        return result;
    }
    // The volume set by the last SetVolume call on a channel.
    int LastVolume(uint32_t channel) const {
        int volume = -1;
        for (const auto& call : backend_.Calls()) {
            if (call.op == Op::SetVolume && call.handle == channel) {
                volume = call.value;
            }
        }
        return volume;
    }
    void Steps(int count) {
        for (int i = 0; i < count; ++i) {
            sound_.FadeStep();
        }
    }
    const SoundSystem::TSound& Stream(size_t index) const {
        return sound_.MusicStreams().at(index);
    }

    test::TempDir dir_;
    GameFiles files_;
    RecordingAudioBackend backend_;
    SoundSystem sound_{backend_, &files_};
    int timerResets_ = 0;
};

TEST_F(SoundSystemTest, SampleVolumeIsSoundVolumeTimesPercentDiv100) {
    sound_.PlaySound("door.wav", 75);
    const auto channels = CallsOf(Op::SampleChannel);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(backend_.Volume(channels[0].handle), 75);
    EXPECT_EQ(backend_.PlayingChannels(), std::vector<uint32_t>{channels[0].handle});

    sound_.SetSoundVolume(30);
    sound_.PlaySound("DOOR.wav", 50); // 1500 div 100
    const auto second = CallsOf(Op::SampleChannel).back().handle;
    EXPECT_EQ(backend_.Volume(second), 15);
    sound_.PlaySound("door.wav", 33); // 990 div 100 = 9, not rounded to 10
    EXPECT_EQ(backend_.Volume(CallsOf(Op::SampleChannel).back().handle), 9);

    // One load from the loose file, under the upper-case name.
    ASSERT_EQ(sound_.SoundSamples().size(), 1u);
    EXPECT_EQ(sound_.SoundSamples()[0].name, "DOOR.WAV");
    EXPECT_EQ(CallsOf(Op::LoadSample).size(), 1u);
    EXPECT_EQ(timerResets_, 1);
}

TEST_F(SoundSystemTest, SamplesComeFromThePackWhenNoLooseFileAndOggSiblingStands) {
    sound_.PlaySound("click.wav", 100);
    auto loads = CallsOf(Op::LoadSampleFromMemory);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].name, "CLICK.WAV");
    EXPECT_EQ(loads[0].value, static_cast<int>(std::string("pack click").size()));

    // boom.wav exists only as BOOM.OGG: both names are recorded, the OGG plays, every time.
    sound_.PlaySound("boom.wav", 100);
    sound_.PlaySound("Boom.Wav", 100);
    loads = CallsOf(Op::LoadSampleFromMemory);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[1].name, "BOOM.OGG");
    ASSERT_EQ(sound_.SoundSamples().size(), 3u);
    EXPECT_EQ(sound_.SoundSamples()[1].name, "BOOM.WAV");
    EXPECT_EQ(sound_.SoundSamples()[1].handle, 0u);
    EXPECT_EQ(sound_.SoundSamples()[2].name, "BOOM.OGG");
    EXPECT_NE(sound_.SoundSamples()[2].handle, 0u);
    EXPECT_EQ(CallsOf(Op::Play).size(), 3u);
    // click, boom.wav (failed), boom.ogg: one reset per load attempt, none for list hits.
    EXPECT_EQ(timerResets_, 3);
}

TEST_F(SoundSystemTest, FailedNamesAreRememberedAndNeverLoadedAgain) {
    backend_.SetFailNames({"DOOR.WAV"});
    sound_.PlaySound("door.wav", 100);   // the loose file exists but does not decode
    sound_.PlaySound("nosuch.wav", 100); // found nowhere
    const size_t callsAfterFirst = backend_.Calls().size();
    const int resetsAfterFirst = timerResets_;
    sound_.PlaySound("door.wav", 100);
    sound_.PlaySound("NOSUCH.WAV", 100);
    EXPECT_EQ(backend_.Calls().size(), callsAfterFirst);
    EXPECT_EQ(timerResets_, resetsAfterFirst);
    EXPECT_EQ(CallsOf(Op::LoadSample).size(), 1u); // only DOOR.WAV reached the back end
    ASSERT_EQ(sound_.SoundSamples().size(), 4u);
    for (const auto& sample : sound_.SoundSamples()) {
        EXPECT_EQ(sample.handle, 0u) << sample.name;
    }
    EXPECT_TRUE(CallsOf(Op::Play).empty());

    sound_.PlayMusic("nosuch.mp3", 100);
    sound_.PlayMusic("nosuch.mp3", 100);
    EXPECT_EQ(sound_.MusicStreams().size(), 2u); // NOSUCH.MP3 and NOSUCH.OGG, both 0
    EXPECT_EQ(timerResets_, resetsAfterFirst);   // stream loads do not reset the timer
    EXPECT_TRUE(CallsOf(Op::Play).empty());

    sound_.PlaySound("", 100); // an unknown sound identifier
    sound_.PlayMusic("", 100);
    EXPECT_EQ(sound_.SoundSamples().size(), 4u);
    EXPECT_EQ(sound_.MusicStreams().size(), 2u);
}

TEST_F(SoundSystemTest, AFourthPlaybackTakesOverTheOneFurthestAlong) {
    for (int i = 0; i < 3; ++i) {
        sound_.PlaySound("door.wav", 100);
    }
    const auto first = CallsOf(Op::SampleChannel);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_NE(first[0].handle, first[1].handle);
    EXPECT_NE(first[1].handle, first[2].handle);
    EXPECT_EQ(backend_.PlayingChannels().size(), 3u);

    sound_.PlaySound("door.wav", 40);
    EXPECT_EQ(CallsOf(Op::SampleChannel).back().handle, first[0].handle);
    EXPECT_EQ(backend_.PlayCount(first[0].handle), 2);
    EXPECT_EQ(backend_.Volume(first[0].handle), 40);
    EXPECT_EQ(backend_.PlayingChannels().size(), 3u);

    // A playback that ended frees its slot, which is used before any takeover.
    backend_.Finish(first[2].handle);
    sound_.PlaySound("door.wav", 100);
    EXPECT_EQ(CallsOf(Op::SampleChannel).back().handle, first[2].handle);
}

TEST_F(SoundSystemTest, MusicFadesInFromZeroOverSixtySteps) {
    sound_.PlayMusic("theme.mp3", 100);
    ASSERT_EQ(sound_.MusicStreams().size(), 1u);
    const uint32_t channel = Stream(0).channel;
    ASSERT_NE(channel, 0u);
    EXPECT_EQ(Stream(0).name, "THEME.MP3");
    EXPECT_EQ(backend_.PlayCount(channel), 1);
    EXPECT_EQ(LastVolume(channel), 0);
    EXPECT_DOUBLE_EQ(Stream(0).target, 1.0);
    EXPECT_DOUBLE_EQ(Stream(0).step, 1.0 / 60);

    Steps(30);
    EXPECT_NEAR(Stream(0).volume, 0.5, 1e-9);
    EXPECT_EQ(backend_.Volume(channel), 25); // MusicVolume 50 x 0.5
    Steps(29);
    EXPECT_LT(Stream(0).volume, 1.0);
    EXPECT_EQ(backend_.Volume(channel), 49);
    Steps(1);
    EXPECT_EQ(Stream(0).volume, 1.0);
    EXPECT_EQ(Stream(0).step, 0.0);
    EXPECT_EQ(backend_.Volume(channel), 50);
    Steps(100);
    EXPECT_EQ(backend_.Volume(channel), 50);
    EXPECT_EQ(backend_.PlayCount(channel), 1);
    EXPECT_EQ(CallsOf(Op::CreateStream).size(), 1u); // loose file: streamed from the file
}

TEST_F(SoundSystemTest, MusicVolumeTimesLevelIsRoundedToNearest) {
    sound_.PlayMusic("theme.mp3", 33);
    Steps(60);
    EXPECT_DOUBLE_EQ(Stream(0).volume, 0.33);
    EXPECT_EQ(backend_.Volume(Stream(0).channel), 16); // 16.5 rounds to even

    sound_.SetMusicVolume(100); // applied at once, before the next step
    EXPECT_EQ(backend_.Volume(Stream(0).channel), 33);
    sound_.SetMusicVolume(47); // 15.51 rounds up
    EXPECT_EQ(backend_.Volume(Stream(0).channel), 16);
    sound_.SetMusicVolume(45); // 14.85
    EXPECT_EQ(backend_.Volume(Stream(0).channel), 15);
}

TEST_F(SoundSystemTest, PlayingMusicGlidesToANewLevelWithoutRestarting) {
    sound_.PlayMusic("theme.mp3", 100);
    Steps(60);
    const uint32_t channel = Stream(0).channel;
    sound_.PlayMusic("THEME.MP3", 40);
    EXPECT_EQ(backend_.PlayCount(channel), 1);
    EXPECT_DOUBLE_EQ(Stream(0).step, -0.6 / 60);
    Steps(30);
    EXPECT_NEAR(Stream(0).volume, 0.7, 1e-9);
    Steps(30);
    EXPECT_DOUBLE_EQ(Stream(0).volume, 0.4);
    EXPECT_EQ(backend_.Volume(channel), 20);
    EXPECT_TRUE(backend_.IsPlaying(channel));
    EXPECT_EQ(backend_.PlayCount(channel), 1);
}

TEST_F(SoundSystemTest, StopDuringFadeInReversesAndStopsAtZero) {
    sound_.PlayMusic("theme.mp3", 100);
    Steps(30);
    const uint32_t channel = Stream(0).channel;
    ASSERT_NEAR(Stream(0).volume, 0.5, 1e-9);
    sound_.StopMusic();
    EXPECT_NEAR(Stream(0).step, -0.5 / 30, 1e-12);
    Steps(29);
    EXPECT_TRUE(backend_.IsPlaying(channel));
    EXPECT_GT(Stream(0).volume, 0.0);
    Steps(1);
    EXPECT_FALSE(backend_.IsPlaying(channel));
    EXPECT_EQ(Stream(0).volume, 0.0);
    EXPECT_EQ(CallsOf(Op::Stop).size(), 1u);
    EXPECT_EQ(backend_.Volume(channel), 0);

    // A stopped stream is left alone by the fades...
    const size_t calls = backend_.Calls().size();
    Steps(10);
    EXPECT_EQ(backend_.Calls().size(), calls);
    // ...and starts from the beginning when asked again.
    sound_.PlayMusic("theme.mp3", 60);
    EXPECT_EQ(backend_.PlayCount(channel), 2);
    EXPECT_DOUBLE_EQ(Stream(0).step, 0.6 / 60);
}

TEST_F(SoundSystemTest, StopMusicFadesEveryStreamOverThirtySteps) {
    sound_.PlayMusic("theme.mp3", 100);
    sound_.PlayMusic("other.mp3", 50);
    Steps(60);
    sound_.StopMusic();
    Steps(29);
    EXPECT_EQ(backend_.PlayingChannels().size(), 2u);
    Steps(1);
    EXPECT_TRUE(backend_.PlayingChannels().empty());
}

TEST_F(SoundSystemTest, OggSiblingServesMusicOnFirstAndLaterRequests) {
    sound_.PlayMusic("theme2.mp3", 100); // the pack holds only sounds\THEME2.OGG
    ASSERT_EQ(sound_.MusicStreams().size(), 2u);
    EXPECT_EQ(Stream(0).name, "THEME2.MP3");
    EXPECT_EQ(Stream(0).channel, 0u);
    EXPECT_EQ(Stream(1).name, "THEME2.OGG");
    const uint32_t channel = Stream(1).channel;
    ASSERT_NE(channel, 0u);
    EXPECT_TRUE(backend_.IsPlaying(channel));
    const auto loads = CallsOf(Op::CreateStreamFromMemory);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].name, "THEME2.OGG");

    Steps(60);
    sound_.PlayMusic("Theme2.mp3", 50);
    EXPECT_EQ(sound_.MusicStreams().size(), 2u);
    EXPECT_EQ(CallsOf(Op::CreateStreamFromMemory).size(), 1u);
    EXPECT_EQ(backend_.PlayCount(channel), 1); // the same stream glides on
    EXPECT_DOUBLE_EQ(Stream(1).target, 0.5);
}

TEST_F(SoundSystemTest, MusicVolumeChangeReachesOnlyTheFirstPlayingStreamAtOnce) {
    sound_.PlayMusic("theme.mp3", 100);
    sound_.PlayMusic("other.mp3", 100);
    Steps(60);
    const uint32_t first = Stream(0).channel;
    const uint32_t second = Stream(1).channel;
    sound_.SetMusicVolume(80);
    EXPECT_EQ(backend_.Volume(first), 80);
    EXPECT_EQ(backend_.Volume(second), 50);
    sound_.FadeStep();
    EXPECT_EQ(backend_.Volume(second), 80);

    backend_.Stop(first);
    sound_.SetMusicVolume(20);
    EXPECT_EQ(backend_.Volume(second), 20);
}

TEST_F(SoundSystemTest, ScreenChangeFadeKeepsTheTarget) {
    sound_.PlayMusic("theme.mp3", 100);
    Steps(60);
    sound_.FadeOutForScreenChange();
    EXPECT_NEAR(Stream(0).step, -1.0 / 30, 1e-12);
    EXPECT_EQ(Stream(0).target, 1.0);
    sound_.FadeStep(); // below the kept target: back at it, fade over
    EXPECT_EQ(Stream(0).volume, 1.0);
    EXPECT_EQ(Stream(0).step, 0.0);

    // A stream already gliding down keeps going, at the screen change's pace.
    sound_.PlayMusic("theme.mp3", 40);
    Steps(30); // 0.7
    sound_.FadeOutForScreenChange();
    EXPECT_NEAR(Stream(0).step, -0.7 / 30, 1e-12);
    Steps(12); // 0.7 - 12 x 0.0233 = 0.42
    EXPECT_NEAR(Stream(0).volume, 0.42, 1e-9);
    Steps(1);
    EXPECT_DOUBLE_EQ(Stream(0).volume, 0.4);
    EXPECT_TRUE(backend_.IsPlaying(Stream(0).channel));
}

TEST_F(SoundSystemTest, PauseKeepsChannelsAndFadesWhereTheyWere) {
    sound_.PlayMusic("theme.mp3", 100);
    Steps(20);
    const double level = Stream(0).volume;
    sound_.Pause(true);
    EXPECT_TRUE(backend_.Paused());
    // While paused the loop runs no steps; the stream still counts as playing.
    EXPECT_TRUE(backend_.IsPlaying(Stream(0).channel));
    sound_.Pause(false);
    EXPECT_FALSE(backend_.Paused());
    EXPECT_EQ(Stream(0).volume, level);
    Steps(40);
    EXPECT_EQ(Stream(0).volume, 1.0);
    EXPECT_EQ(backend_.PlayCount(Stream(0).channel), 1);
    const auto pauses = CallsOf(Op::SetPaused);
    ASSERT_EQ(pauses.size(), 2u);
    EXPECT_EQ(pauses[0].value, 1);
    EXPECT_EQ(pauses[1].value, 0);
}

TEST_F(SoundSystemTest, DestructionFreesEverythingLoaded) {
    {
        SoundSystem sound(backend_, &files_);
        sound.PlaySound("door.wav", 100);
        sound.PlayMusic("theme2.mp3", 100);
    }
    const auto frees = CallsOf(Op::Free);
    ASSERT_EQ(frees.size(), 2u); // the OGG stream and the sample (failed entries have no handle)
    EXPECT_EQ(frees[0].name, "THEME2.OGG");
    EXPECT_EQ(frees[1].name, "DOOR.WAV");
    EXPECT_TRUE(backend_.PlayingChannels().empty());
}

TEST(AudioTraceTest, WritesOneLinePerCommandWithStepNamesAndVolumes) {
    test::TempDir dir;
    dir.Write("sounds/door.wav", "door");
    dir.Write("sounds/theme.ogg", "theme");
    GameFiles files(dir.Path());
    auto out = std::make_unique<std::ostringstream>();
    std::ostringstream& text = *out;
    TracingAudioBackend trace(std::make_unique<RecordingAudioBackend>(), std::move(out));
    uint64_t step = 7;
    trace.SetStepSource([&step] { return step; });
    {
        SoundSystem sound(trace, &files);
        sound.PlaySound("door.wav", 75);
        step = 8;
        sound.SetMusicVolume(60); // nothing plays yet: no command
        sound.PlayMusic("theme.mp3", 100);
        for (int i = 0; i < 3; ++i) {
            ++step;
            sound.FadeStep();
        }
        sound.SetMusicVolume(60); // the same channel volume again: not traced
        sound.Pause(true);
    }
    const std::string expected = "7 LoadSample DOOR.WAV h=1\n"
                                 "7 SampleChannel DOOR.WAV ch=2\n"
                                 "7 SetVolume DOOR.WAV ch=2 vol=75\n"
                                 "7 Play DOOR.WAV ch=2\n"
                                 "8 CreateStream THEME.OGG h=5\n"
                                 "8 SetVolume THEME.OGG ch=5 vol=0\n"
                                 "8 Play THEME.OGG ch=5\n"
                                 "9 SetVolume THEME.OGG ch=5 vol=1\n"
                                 "10 SetVolume THEME.OGG ch=5 vol=2\n"
                                 "11 SetVolume THEME.OGG ch=5 vol=3\n"
                                 "11 Pause\n"
                                 "11 Free THEME.OGG h=5\n"
                                 "11 Free DOOR.WAV h=1\n";
    EXPECT_EQ(text.str(), expected);
}

TEST(AudioTraceTest, TracesIntoAFileOrFallsBackToTheUntracedBackEnd) {
    test::TempDir dir;
    uint64_t step = 3;
    auto traced = TraceAudioToFile(std::make_unique<RecordingAudioBackend>(),
                                   dir.Path() / "audio.txt", [&step] { return step; });
    ASSERT_NE(dynamic_cast<TracingAudioBackend*>(traced.get()), nullptr);
    traced->SetPaused(true);
    step = 4;
    traced->Play(99); // unknown channel: passed on, named "?"
    EXPECT_TRUE(traced->Paused());
    EXPECT_EQ(test::ReadAll(dir.Path() / "audio.txt"), "3 Pause\n4 Play ? ch=99\n");

    auto untraced = TraceAudioToFile(std::make_unique<RecordingAudioBackend>(),
                                     dir.Path() / "no" / "such" / "folder" / "audio.txt", {});
    ASSERT_NE(untraced, nullptr);
    EXPECT_NE(dynamic_cast<RecordingAudioBackend*>(untraced.get()), nullptr);
}

} // namespace
} // namespace kq::media
