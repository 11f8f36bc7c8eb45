// Particle systems: one emitter (sparks, smoke, glitter) that spawns particles with randomised
// life, motion, size, spin and colour from its parameter block, moves them under gravity and
// radial and tangential acceleration, changes size, spin and colour in two phases (start to
// middle, middle to end) and hands out one quad per visible particle for drawing.
//
// The system knows nothing of canvases or scenes: Draw feeds a ParticleQuadSink, and
// render/particle_drawing.h turns those quads into canvas draws. Random numbers come from an
// injected source (the runtime's seeded generator), so a seeded run repeats.
//
// Memory: the live particles sit in one array of `capacity` records, allocated when emission
// first starts; a system that never emits holds none. Nothing allocates after that, per step
// or per particle. Live particles keep their spawn order (oldest first).
//
// Robustness: every value is kept finite. Non-finite parameters read as 0 (particle_params.h),
// a phase of length 0 changes nothing, the spawns of one step are bounded by the free capacity,
// a particle whose position, size or spin stops being finite is dropped, and the float-to-integer
// conversions of drawing are range-checked.
#pragma once

#include "media/particle_params.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

namespace kq::media {

// Uniform random numbers in [0, 1).
using UniformRandom = std::function<float()>;
// One uniform draw in [0, 1) from a generator (24 random bits, never 1).
float UniformFloat(std::mt19937& generator);
// A source drawing from the generator, which must outlive it.
UniformRandom UniformFrom(std::mt19937& generator);

// One particle, all 32-bit floats. Colour channels are 0..255 (alpha at most 254 after a change
// drove it past 255). Times are absolute ages.
struct Particle {
    float frame = 0, frameChange = 0;
    float x = 0, y = 0;
    float spawnOffsetX = 0, spawnOffsetY = 0; // emitter position at spawn minus spawn position
    float velocityX = 0, velocityY = 0;
    float weight = 0, radial = 0, tangential = 0;
    float spin = 0, spinChange = 0;
    float size = 0, sizeChange = 0;
    float blue = 0, green = 0, red = 0, alpha = 0;
    float blueChange = 0, greenChange = 0, redChange = 0, alphaChange = 0;
    float age = 0, middle = 0, life = 0;
};

// The pattern number of a particle's frame (truncated toward zero); nothing when the frame is
// not a finite value in the int32 range.
std::optional<int32_t> FrameIndex(const Particle& particle);
// The particle's colour as an ARGB word, each channel rounded to the nearest integer (halves to
// even); nothing when a channel is outside 0..255.
std::optional<uint32_t> PackedColor(const Particle& particle);

// An integer offset from the emitter where particles appear.
struct SpawnPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// What Draw needs to know about the target.
struct ParticleArea {
    float patternWidth = 0; // visible size of one pattern of the particle image, in pixels
    float patternHeight = 0;
    float offsetX = 0; // added to every particle position
    float offsetY = 0;
    uint32_t colorMask = 0xFFFFFFFFu; // ANDed with each particle's packed colour
    float width = 1024;               // the device area; quads wholly outside are skipped
    float height = 768;
};

// One particle to draw: the pattern `frame`, scaled by `size`, rotated by `spin` (radians,
// clockwise on screen) about its centre, centred on (x, y) (offsets included), tinted `color`.
struct ParticleQuad {
    float x = 0;
    float y = 0;
    float size = 0;
    float spin = 0;
    int32_t frame = 0;
    uint32_t color = 0;
};

class ParticleQuadSink {
public:
    virtual ~ParticleQuadSink() = default;
    virtual void Add(const ParticleQuad& quad) = 0;
};

class ParticleSystem {
public:
    static constexpr int32_t kDefaultCapacity = 5000;

    // Room for `capacity` live particles (negative counts as 0). The parameter block starts all
    // zero (nothing is emitted) and there is one spawn point, (0, 0).
    explicit ParticleSystem(int32_t capacity = kDefaultCapacity);

    // Copies up to 136 bytes over the start of the parameter block (a short input fills only
    // what it has) and decodes it. Answers whether any byte was read; empty input changes
    // nothing.
    bool LoadFromBytes(std::string_view bytes);
    // The same from the first 136 bytes of a file; a missing or unreadable file changes nothing
    // and answers false.
    bool LoadFromFile(const std::filesystem::path& file);
    // Replaces the parameters (non-finite floats become 0).
    void SetParams(const ParticleParams& params);
    const ParticleParams& Params() const { return params_; }
    // The raw block as loaded (floats as the file had them).
    const ParticleBlock& Block() const { return block_; }

    // The random source; without one the system draws from its own generator seeded with 0.
    void SetRandom(UniformRandom random) { random_ = std::move(random); }

    void AddSpawnPoint(SpawnPoint point) { spawnPoints_.push_back(point); }
    void ClearSpawnPoints() { spawnPoints_.clear(); }
    std::span<const SpawnPoint> SpawnPoints() const { return spawnPoints_; }

    // With at least one spawn point: emission timer := 0 when the duration is positive (the
    // particle array is allocated on the first such start), else -1 (not emitting).
    void Start();
    // Emission timer := -1; kill also drops every live particle at once.
    void Stop(bool kill);
    // Moves the emitter by (dx, dy). carry: the live particles and the previous position move
    // too. Otherwise, while emitting, the previous position stays where the emitter was, so the
    // next spawns spread along the path; when not emitting, it jumps to the new position (no
    // trail). A move that would leave the float range is ignored.
    void MoveBy(float dx, float dy, bool carry);
    // MoveBy with (x, y) minus the current position.
    void MoveTo(float x, float y, bool carry);
    // Places the emitter at (x, y) with no trail: previous position := position := (x, y);
    // particles stay where they are. Non-finite coordinates are ignored.
    void PlaceAt(float x, float y);
    // Stop without kill, MoveTo (x, y) without carry, Start: repositions and restarts the
    // emission duration.
    void Restart(float x, float y);

    // Advances by dt time units: the emission timer, every live particle (the dead are removed,
    // the rest keep their order), then the spawns of this step, then previous := position.
    // A non-finite dt counts as 0.
    void Update(float dt);

    // Hands the sink one quad per live particle that is not wholly outside the area, in
    // drawing order (oldest first, or newest first when the block says so). Particles whose
    // frame or colour does not convert are skipped.
    void Draw(const ParticleArea& area, ParticleQuadSink& sink) const;

    float X() const { return x_; }
    float Y() const { return y_; }
    float PreviousX() const { return previousX_; }
    float PreviousY() const { return previousY_; }
    // Added to the direction of every spawn (radians).
    float AngleOffset() const { return angleOffset_; }
    void SetAngleOffset(float radians);

    int32_t Capacity() const { return capacity_; }
    int32_t LiveCount() const { return count_; }
    std::span<const Particle> Particles() const { return {particles_.get(), size_t(count_)}; }
    // The emission timer: time since the start, -1 when not emitting.
    float Timer() const { return timer_; }
    bool Emitting() const { return !(timer_ < 0); }
    // The fraction of a particle carried from one step's emission to the next.
    float Remainder() const { return remainder_; }
    uint32_t Blend() const { return params_.blend; }

private:
    float Random();
    float Between(float a, float b);
    void Spawn();
    bool Step(Particle& p, float dt) const;

    ParticleBlock block_{};
    ParticleParams params_{};
    int32_t capacity_ = 0;
    int32_t count_ = 0;
    std::unique_ptr<Particle[]> particles_;
    std::vector<SpawnPoint> spawnPoints_{SpawnPoint{}};
    float x_ = 0, y_ = 0;
    float previousX_ = 0, previousY_ = 0;
    float timer_ = -1;
    float remainder_ = 0;
    float angleOffset_ = 0;
    UniformRandom random_;
    std::minstd_rand ownRandom_{0};
};

} // namespace kq::media
