// Real decoding and mixing: libsndfile decoding of generated WAV / OGG / MP3 files, and the
// OpenAL back end rendered exactly through a loopback device (1470 frames per processing step
// at 44.1 kHz), measured tone by tone.
#include "media/audio_decoder.h"
#include "media/audio_openal.h"
#include "media/audio_recording.h"
#include "media/game_files.h"
#include "media/sound_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// From the AddressSanitizer runtime (GCC ships no header for it): bytes now allocated.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define KQ_HAVE_ALLOCATED_BYTES 1
#endif

#if defined(__SANITIZE_ADDRESS__)
// libvorbis (through libsndfile) leaks its header state when an Ogg file fails to open
// (xiph/vorbis issue 125); the corrupt-input tests below trigger it on purpose.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:vorbis_info_init\n";
}
#endif

namespace kq::media {
namespace {

constexpr int kRate = 44100;
constexpr int kStepFrames = 1470; // one processing step
constexpr double kPi = 3.14159265358979323846;

// Tones at whole multiples of 30 Hz fit a whole number of periods into one step, so their
// amplitude can be measured exactly from one step of output.
struct Tone {
    double hz = 0;
    double amplitude = 0;
};

// Writes a tone per channel with libsndfile; false when the format cannot be written here.
bool WriteTones(const std::filesystem::path& file, int format, const std::vector<Tone>& tones,
                int frames) {
    std::filesystem::create_directories(file.parent_path());
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = static_cast<int>(tones.size());
    info.format = format;
    SNDFILE* sf = sf_open(file.c_str(), SFM_WRITE, &info);
    if (sf == nullptr) {
        return false;
    }
    std::vector<float> pcm(static_cast<size_t>(frames) * tones.size());
    for (int i = 0; i < frames; ++i) {
        for (size_t c = 0; c < tones.size(); ++c) {
            pcm[static_cast<size_t>(i) * tones.size() + c] = static_cast<float>(
                tones[c].amplitude * std::sin(2 * kPi * tones[c].hz * i / kRate));
        }
    }
    const sf_count_t written = sf_writef_float(sf, pcm.data(), frames);
    sf_close(sf);
    return written == frames;
}

constexpr int kWav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kOgg = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

// Amplitude of the tone `hz` in one channel of interleaved stereo output.
double Amplitude(const std::vector<float>& stereo, int channel, double hz) {
    const size_t frames = stereo.size() / 2;
    std::complex<double> sum = 0;
    for (size_t i = 0; i < frames; ++i) {
        sum += static_cast<double>(stereo[2 * i + static_cast<size_t>(channel)]) *
               std::polar(1.0, -2 * kPi * hz * static_cast<double>(i) / kRate);
    }
    return 2.0 * std::abs(sum) / static_cast<double>(frames);
}

double Peak(const std::vector<float>& samples) {
    double peak = 0;
    for (float s : samples) {
        peak = std::max(peak, static_cast<double>(std::fabs(s)));
    }
    return peak;
}

std::vector<float> RenderStep(OpenAlBackend& backend) {
    std::vector<float> out(2 * kStepFrames);
    EXPECT_TRUE(backend.Render(out.data(), kStepFrames));
    return out;
}

// Collects what the code logs while it lives.
class LogCapture {
public:
    LogCapture()
        : previous_(spdlog::default_logger()),
          logger_(std::make_shared<spdlog::logger>(
              "capture", std::make_shared<spdlog::sinks::ostream_sink_mt>(text_))) {
        spdlog::set_default_logger(logger_);
    }
    ~LogCapture() { spdlog::set_default_logger(previous_); }
    std::string Text() const { return text_.str(); }
    int Lines() const {
        const std::string text = Text();
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

private:
    std::ostringstream text_;
    std::shared_ptr<spdlog::logger> previous_;
    std::shared_ptr<spdlog::logger> logger_;
};

// ---- decoding ----

TEST(AudioDecoderTest, DecodesWavOggAndMp3FromFilesAndMemory) {
    test::TempDir dir;
    const int frames = kRate / 2;
    ASSERT_TRUE(WriteTones(dir.Path() / "a.wav", kWav, {{450, 0.5}}, frames));
    ASSERT_TRUE(WriteTones(dir.Path() / "b.ogg", kOgg, {{990, 0.4}, {450, 0.2}}, frames));
    const bool haveMp3 = WriteTones(dir.Path() / "c.mp3", kMp3, {{990, 0.4}}, frames);

    for (const char* name : {"a.wav", "b.ogg", "c.mp3"}) {
        if (std::string(name) == "c.mp3" && !haveMp3) {
            continue;
        }
        SCOPED_TRACE(name);
        auto fromFile = AudioDecoder::OpenFile(name, dir.Path() / name);
        ASSERT_NE(fromFile, nullptr);
        const auto pcm = fromFile->ReadAll(OpenAlBackend::kMaxSampleBytes);
        ASSERT_TRUE(pcm.has_value());
        const size_t decodedFrames = pcm->size() / static_cast<size_t>(fromFile->Channels());
        if (fromFile->ExactLength()) {
            EXPECT_EQ(decodedFrames, static_cast<size_t>(frames));
        } else { // MP3: encoder delay and padding add up to a few frames of 1152 samples
            EXPECT_NEAR(static_cast<double>(decodedFrames), frames, 3 * 1152);
        }

        const std::string bytes = test::ReadAll(dir.Path() / name);
        auto fromMemory = AudioDecoder::OpenMemory(name, bytes);
        ASSERT_NE(fromMemory, nullptr);
        EXPECT_EQ(fromMemory->ReadAll(OpenAlBackend::kMaxSampleBytes), pcm);
    }
    if (!haveMp3) {
        KQ_SKIP_MISSING() << "this libsndfile cannot write MP3: MP3 decoding was not checked";
    }
}

TEST(AudioDecoderTest, RefusesCorruptTruncatedOversizedAndSurroundInput) {
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "tone.wav", kWav, {{450, 0.5}}, kRate));
    ASSERT_TRUE(WriteTones(dir.Path() / "tone.ogg", kOgg, {{450, 0.5}}, kRate));
    ASSERT_TRUE(
        WriteTones(dir.Path() / "three.wav", kWav, {{450, 0.5}, {450, 0.5}, {450, 0.5}}, 1000));
    const std::string wav = test::ReadAll(dir.Path() / "tone.wav");
    const std::string ogg = test::ReadAll(dir.Path() / "tone.ogg");
    LogCapture log;

    std::mt19937 rng(7);
    EXPECT_EQ(AudioDecoder::OpenMemory("NOISE", test::RandomBytes(rng, 5000)), nullptr);
    EXPECT_EQ(AudioDecoder::OpenMemory("EMPTY", ""), nullptr);
    EXPECT_EQ(AudioDecoder::OpenFile("MISSING", dir.Path() / "missing.wav"), nullptr);
    EXPECT_EQ(AudioDecoder::OpenFile("FOLDER", dir.Path()), nullptr);
    EXPECT_EQ(AudioDecoder::OpenFile("THREE", dir.Path() / "three.wav"), nullptr);

    // Cut in the middle of the data: libsndfile trims the WAV's frame count to what is there,
    // so the first half plays.
    auto cut = AudioDecoder::OpenMemory("CUT.WAV", std::string_view(wav).substr(0, wav.size() / 2));
    ASSERT_NE(cut, nullptr);
    const auto cutPcm = cut->ReadAll(OpenAlBackend::kMaxSampleBytes);
    ASSERT_TRUE(cutPcm.has_value());
    EXPECT_NEAR(static_cast<double>(cutPcm->size()), kRate / 2, 100);
    // A damaged header or body never crashes; whatever decodes stays within the data.
    for (size_t keep : {size_t{12}, size_t{44}, size_t{200}, ogg.size() / 3, ogg.size() - 10}) {
        for (const std::string* bytes : {&wav, &ogg}) {
            const std::string part = bytes->substr(0, std::min(keep, bytes->size()));
            auto decoder = AudioDecoder::OpenMemory("PART", part);
            if (!decoder) {
                continue;
            }
            if (auto pcm = decoder->ReadAll(OpenAlBackend::kMaxSampleBytes)) {
                EXPECT_LE(pcm->size(), static_cast<size_t>(kRate));
            }
        }
    }
    for (int round = 0; round < 20; ++round) {
        std::string damaged = ogg;
        for (int i = 0; i < 30; ++i) {
            damaged[rng() % damaged.size()] = static_cast<char>(rng());
        }
        if (auto decoder = AudioDecoder::OpenMemory("DAMAGED", damaged)) {
            (void)decoder->ReadAll(OpenAlBackend::kMaxSampleBytes);
        }
    }
    // More PCM than allowed: refused instead of allocated.
    auto big = AudioDecoder::OpenMemory("BIG.WAV", wav);
    ASSERT_NE(big, nullptr);
    EXPECT_FALSE(big->ReadAll(10000).has_value());

    const std::string text = log.Text();
    for (const char* name : {"NOISE", "EMPTY", "MISSING", "THREE", "BIG.WAV"}) {
        EXPECT_NE(text.find(name), std::string::npos) << name << " not logged";
    }
}

// ---- mixing on a loopback device ----

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend_ = OpenAlBackend::OpenLoopback();
        if (!backend_) {
            KQ_SKIP_MISSING() << "OpenAL has no loopback device here";
        }
        MeasureMonoGain();
    }

    // A mono source is panned to the middle by the library with a gain of its own choosing
    // per output channel; measure it once so mono levels can be predicted.
    void MeasureMonoGain() {
        test::TempDir dir;
        ASSERT_TRUE(WriteTones(dir.Path() / "ref.wav", kWav, {{450, 0.5}}, kStepFrames * 2));
        const uint32_t ref = backend_->CreateStream("REF.WAV", dir.Path() / "ref.wav");
        ASSERT_NE(ref, 0u);
        backend_->Play(ref);
        const auto out = RenderStep(*backend_);
        backend_->Free(ref);
        RenderStep(*backend_);
        monoGain_ = Amplitude(out, 0, 450) / 0.5;
        EXPECT_NEAR(Amplitude(out, 1, 450) / 0.5, monoGain_, 1e-3);
        EXPECT_GT(monoGain_, 0.5); // between plain halving and equal power
        EXPECT_LT(monoGain_, 0.75);
    }

    std::unique_ptr<OpenAlBackend> backend_;
    double monoGain_ = 0;
};

TEST_F(LoopbackTest, SampleAndTwoStreamsFromFilesAndPackPlayAtTheirLevels) {
    test::TempDir dir;
    // Loose: a mono sample and a stereo OGG stream; in the pack: a WAV stream (from memory).
    ASSERT_TRUE(WriteTones(dir.Path() / "sounds" / "beep.wav", kWav, {{450, 0.5}}, kRate));
    ASSERT_TRUE(
        WriteTones(dir.Path() / "sounds" / "theme.ogg", kOgg, {{990, 0.4}, {990, 0.4}}, 3 * kRate));
    // The pack's stream is an MP3 when this libsndfile can write one (decoded from memory
    // through the virtual IO either way).
    const bool mp3 =
        WriteTones(dir.Path() / "wind.bin", kMp3, {{2490, 0.3}, {1500, 0.3}}, 3 * kRate);
    if (!mp3) {
        ASSERT_TRUE(
            WriteTones(dir.Path() / "wind.bin", kWav, {{2490, 0.3}, {1500, 0.3}}, 3 * kRate));
    }
    StoreWriter pack;
    pack.Add("sounds\\WIND.WAV", test::ReadAll(dir.Path() / "wind.bin"));
    ASSERT_TRUE(pack.Write(dir.Path() / "game.kst"));
    GameFiles files(dir.Path());
    ASSERT_TRUE(files.OpenPack("game.kst"));

    SoundSystem sound(*backend_, &files);
    sound.SetMusicVolume(100);
    sound.PlayMusic("theme.mp3", 100); // found as THEME.OGG
    sound.PlayMusic("wind.wav", 60);
    sound.PlaySound("beep.wav", 80);
    ASSERT_NE(sound.MusicStreams().back().channel, 0u);

    // The music fades in over 60 steps: each step louder than the one before.
    double previousTheme = 0;
    for (int step = 1; step <= 60; ++step) {
        sound.FadeStep();
        const auto out = RenderStep(*backend_);
        const double theme = Amplitude(out, 0, 990);
        const double wind = Amplitude(out, 1, 1500);
        const double themeGain = std::nearbyint(100.0 * step / 60) / 100;
        const double windGain = std::nearbyint(100.0 * 0.6 * step / 60) / 100;
        // The gain of a step reaches its value within the step (OpenAL smooths changes).
        EXPECT_NEAR(theme, 0.4 * themeGain, 0.4 * 0.02 + 0.01) << "step " << step;
        EXPECT_NEAR(wind, 0.3 * windGain, 0.3 * 0.02 + 0.01) << "step " << step;
        EXPECT_GT(theme, previousTheme) << "step " << step;
        previousTheme = theme;
        if (step == 10) {
            // The sample plays at 0.8 in the middle of the stereo image; the wind stream's
            // channels stay apart.
            const double beepLeft = Amplitude(out, 0, 450);
            const double beepRight = Amplitude(out, 1, 450);
            EXPECT_NEAR(beepLeft, beepRight, 0.005);
            EXPECT_NEAR(beepLeft, 0.5 * 0.8 * monoGain_, 0.02);
            EXPECT_LT(Amplitude(out, 0, 1500), 0.01);
            EXPECT_LT(Amplitude(out, 1, 2490), 0.01);
        }
    }
    const auto steady = RenderStep(*backend_);
    EXPECT_NEAR(Amplitude(steady, 0, 990), 0.4, 0.015);
    EXPECT_NEAR(Amplitude(steady, 0, 2490), 0.3 * 0.6, 0.01);
    EXPECT_LT(Amplitude(steady, 0, 450), 0.005); // the one-second sample has ended
    EXPECT_LT(Peak(steady), 1.0);

    sound.StopMusic();
    for (int step = 0; step < 30; ++step) {
        sound.FadeStep();
        RenderStep(*backend_);
    }
    for (const auto& stream : sound.MusicStreams()) {
        if (stream.channel != 0) {
            EXPECT_FALSE(backend_->IsPlaying(stream.channel));
        }
    }
    EXPECT_LT(Peak(RenderStep(*backend_)), 1e-4);
}

TEST_F(LoopbackTest, SampleFromPackMemoryPlaysOnceAtItsVolume) {
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "click.wav", kWav, {{450, 0.5}}, kStepFrames * 4));
    StoreWriter pack;
    pack.Add("sounds\\CLICK.WAV", test::ReadAll(dir.Path() / "click.wav"));
    ASSERT_TRUE(pack.Write(dir.Path() / "game.kst"));
    GameFiles files(dir.Path());
    ASSERT_TRUE(files.OpenPack("game.kst"));
    SoundSystem sound(*backend_, &files);
    sound.SetSoundVolume(50);
    sound.PlaySound("click.wav", 100);
    ASSERT_NE(sound.SoundSamples().at(0).handle, 0u);
    const double full = 0.5 * 0.5 * monoGain_;
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 0, 450), full, 0.01);
    RenderStep(*backend_);
    RenderStep(*backend_);
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 1, 450), full, 0.01);
    EXPECT_LT(Peak(RenderStep(*backend_)), 1e-4); // ended: a sample does not loop
}

TEST_F(LoopbackTest, AShortStreamLoopsWithoutGaps) {
    test::TempDir dir;
    // 0.1 s of tone: far shorter than the stream's buffer queue.
    ASSERT_TRUE(WriteTones(dir.Path() / "loop.wav", kWav, {{450, 0.5}}, kRate / 10));
    const uint32_t stream = backend_->CreateStream("LOOP.WAV", dir.Path() / "loop.wav");
    ASSERT_NE(stream, 0u);
    backend_->Play(stream);
    for (int step = 0; step < 90; ++step) {
        const auto out = RenderStep(*backend_);
        EXPECT_NEAR(Amplitude(out, 0, 450), 0.5 * monoGain_, 0.01) << "step " << step;
    }
    EXPECT_TRUE(backend_->IsPlaying(stream));
    // Playing again restarts from the first frame: the output matches a fresh start.
    backend_->Play(stream);
    const auto restarted = RenderStep(*backend_);
    const uint32_t fresh = backend_->CreateStream("LOOP.WAV", dir.Path() / "loop.wav");
    backend_->Stop(stream);
    backend_->Play(fresh);
    const auto first = RenderStep(*backend_);
    for (size_t i = 0; i < first.size(); i += 97) {
        EXPECT_NEAR(restarted[i], first[i], 1e-4) << i;
    }
}

TEST_F(LoopbackTest, PauseSilencesOutputAndResumeContinues) {
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "sounds/theme.wav", kWav, {{990, 0.4}}, 2 * kRate));
    GameFiles files(dir.Path());
    SoundSystem sound(*backend_, &files);
    sound.PlayMusic("theme.wav", 100);
    for (int step = 0; step < 20; ++step) {
        sound.FadeStep();
        RenderStep(*backend_);
    }
    const uint32_t channel = sound.MusicStreams().at(0).channel;
    const double before = Amplitude(RenderStep(*backend_), 0, 990);
    EXPECT_NEAR(before, 0.4 * monoGain_ * 0.17, 0.005); // MusicVolume 50 x 20/60 -> 17

    sound.Pause(true);
    EXPECT_TRUE(backend_->IsPlaying(channel));
    for (int step = 0; step < 10; ++step) {
        EXPECT_LT(Peak(RenderStep(*backend_)), 1e-4) << "step " << step;
    }
    backend_->Play(channel); // started while paused: sounds only after the resume
    EXPECT_LT(Peak(RenderStep(*backend_)), 1e-4);

    sound.Pause(false);
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 0, 990), before, 0.01);
    sound.FadeStep(); // the fade goes on from where it was
    EXPECT_NEAR(sound.MusicStreams().at(0).volume, 21.0 / 60, 1e-9);
}

TEST_F(LoopbackTest, AFourthPlaybackTakesOverTheOneFurthestAlong) {
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "bell.wav", kWav, {{450, 0.2}}, kRate));
    const uint32_t sample = backend_->LoadSample("BELL.WAV", dir.Path() / "bell.wav");
    ASSERT_NE(sample, 0u);
    std::vector<uint32_t> channels;
    for (int i = 0; i < 3; ++i) {
        channels.push_back(backend_->SampleChannel(sample));
        backend_->Play(channels.back());
        RenderStep(*backend_);
    }
    EXPECT_NE(channels[0], channels[1]);
    EXPECT_NE(channels[1], channels[2]);
    for (uint32_t channel : channels) {
        EXPECT_TRUE(backend_->IsPlaying(channel));
    }
    // Three overlapping playbacks in phase: three times the level.
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 0, 450), 3 * 0.2 * monoGain_, 0.02);

    const uint32_t fourth = backend_->SampleChannel(sample);
    EXPECT_EQ(fourth, channels[0]);
    backend_->SetVolume(fourth, 0);
    backend_->Play(fourth);
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 0, 450), 2 * 0.2 * monoGain_, 0.02);
    backend_->Play(channels[1]); // already playing: not restarted, still in phase
    EXPECT_NEAR(Amplitude(RenderStep(*backend_), 0, 450), 2 * 0.2 * monoGain_, 0.02);
}

TEST_F(LoopbackTest, CorruptFilesGiveSilenceAndOneLogLineEach) {
    test::TempDir dir;
    std::mt19937 rng(3);
    dir.Write("sounds/broken.wav", test::RandomBytes(rng, 4000));
    dir.Write("sounds/broken.mp3", std::string("RIFF\x10\0\0\0WAVEfmt ", 16));
    dir.Write("sounds/empty.ogg", "");
    GameFiles files(dir.Path());
    SoundSystem sound(*backend_, &files);
    LogCapture log;
    sound.PlaySound("broken.wav", 100);
    sound.PlayMusic("broken.mp3", 100);
    sound.PlayMusic("empty.ogg", 100);
    for (const auto& sample : sound.SoundSamples()) {
        EXPECT_EQ(sample.handle, 0u);
    }
    for (const auto& stream : sound.MusicStreams()) {
        EXPECT_EQ(stream.channel, 0u);
    }
    for (int step = 0; step < 5; ++step) {
        sound.FadeStep();
        EXPECT_EQ(Peak(RenderStep(*backend_)), 0.0);
    }
    const std::string text = log.Text();
    EXPECT_NE(text.find("BROKEN.WAV"), std::string::npos);
    EXPECT_NE(text.find("BROKEN.MP3"), std::string::npos);
    EXPECT_NE(text.find("EMPTY.OGG"), std::string::npos);
    // BROKEN.OGG, the sibling, is found nowhere: that is not worth a line.
    EXPECT_EQ(log.Lines(), 3) << text;
}

TEST_F(LoopbackTest, TwoFileStreamsHoldOnlySmallBuffers) {
    test::TempDir dir;
    // 20 s of stereo each: 3.5 MB of PCM apiece if they were decoded whole.
    ASSERT_TRUE(WriteTones(dir.Path() / "a.ogg", kOgg, {{990, 0.3}, {450, 0.3}}, 20 * kRate));
    ASSERT_TRUE(WriteTones(dir.Path() / "b.wav", kWav, {{990, 0.3}, {450, 0.3}}, 20 * kRate));
#if KQ_HAVE_ALLOCATED_BYTES
    const size_t heapBefore = __sanitizer_get_current_allocated_bytes();
#endif
    const uint32_t a = backend_->CreateStream("A.OGG", dir.Path() / "a.ogg");
    const uint32_t b = backend_->CreateStream("B.WAV", dir.Path() / "b.wav");
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    backend_->Play(a);
    backend_->Play(b);
    for (int step = 0; step < 60; ++step) {
        RenderStep(*backend_);
    }
    const size_t buffers = backend_->StreamBufferBytes();
    // Four queued chunks plus the decode chunk, 4096 stereo 16-bit frames each, per stream.
    EXPECT_EQ(buffers, 2u * 5 * 4096 * 2 * 2);
    RecordProperty("stream_buffer_bytes", static_cast<int>(buffers));
#if KQ_HAVE_ALLOCATED_BYTES
    const size_t heapAfter = __sanitizer_get_current_allocated_bytes();
    const size_t heap = heapAfter > heapBefore ? heapAfter - heapBefore : 0;
    RecordProperty("two_stream_heap_bytes", static_cast<int>(heap));
    std::printf("two playing file streams: %zu bytes of stream buffers, %zu bytes of heap\n",
                buffers, heap);
    EXPECT_LT(heap, size_t{1} << 20); // decoder state and buffers, nowhere near the PCM
#else
    std::printf("two playing file streams: %zu bytes of stream buffers\n", buffers);
#endif
}

TEST_F(LoopbackTest, RendersSixteenBitOutputToo) {
    backend_.reset();
    auto backend = OpenAlBackend::OpenLoopback(OpenAlBackend::LoopbackType::Int16);
    ASSERT_NE(backend, nullptr);
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "t.wav", kWav, {{450, 0.5}}, kRate));
    const uint32_t stream = backend->CreateStream("T.WAV", dir.Path() / "t.wav");
    backend->Play(stream);
    std::vector<int16_t> out(2 * kStepFrames);
    float wrongType[2];
    EXPECT_FALSE(backend->Render(wrongType, 1));
    ASSERT_TRUE(backend->Render(out.data(), kStepFrames));
    std::vector<float> scaled(out.begin(), out.end());
    for (float& s : scaled) {
        s /= 32768.0f;
    }
    EXPECT_NEAR(Amplitude(scaled, 0, 450), 0.5 * monoGain_, 0.01);
}

// ---- choosing a back end ----

TEST(AudioFactoryTest, NoUsableDeviceGivesTheSilentBackEnd) {
    LogCapture log;
    auto backend = MakeAudioBackend(false, "no such audio device");
    ASSERT_NE(backend, nullptr);
    EXPECT_NE(dynamic_cast<RecordingAudioBackend*>(backend.get()), nullptr);
    EXPECT_EQ(log.Lines(), 1) << log.Text();
    EXPECT_NE(log.Text().find("no such audio device"), std::string::npos);

    auto muted = MakeAudioBackend(true);
    EXPECT_NE(dynamic_cast<RecordingAudioBackend*>(muted.get()), nullptr);
    EXPECT_EQ(log.Lines(), 1); // muting is a choice, not a warning
}

TEST(AudioFactoryTest, NullDriverPlaysThroughTheWorkerThread) {
    const char* drivers = std::getenv("ALSOFT_DRIVERS");
    if (drivers == nullptr || std::string(drivers) != "null") {
        KQ_SKIP_MISSING() << "needs ALSOFT_DRIVERS=null (set by scripts/test)";
    }
    auto backend = MakeAudioBackend(false);
    auto* openal = dynamic_cast<OpenAlBackend*>(backend.get());
    ASSERT_NE(openal, nullptr);
    EXPECT_FALSE(openal->IsLoopback());
    EXPECT_TRUE(openal->HasDevicePause());
    test::TempDir dir;
    ASSERT_TRUE(WriteTones(dir.Path() / "t.ogg", kOgg, {{450, 0.5}}, kRate / 20));
    const uint32_t stream = backend->CreateStream("T.OGG", dir.Path() / "t.ogg");
    ASSERT_NE(stream, 0u);
    backend->Play(stream);
    backend->SetPaused(true);
    EXPECT_TRUE(backend->IsPlaying(stream));
    backend->SetPaused(false);
    // The mixer consumes in real time (the queue holds 0.37 s); nobody but the worker thread
    // refills it here.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_TRUE(backend->IsPlaying(stream));
    EXPECT_GE(openal->RefilledBuffers(), 4u);
    backend->Free(stream);
    EXPECT_FALSE(backend->IsPlaying(stream));
}

} // namespace
} // namespace kq::media
