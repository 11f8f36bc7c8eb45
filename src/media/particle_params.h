// Particle parameter blocks: the 136-byte emitter description written by the authoring tool,
// read from a file or from pack bytes, and decoded into the values a particle system runs on.
//
// The block is 34 little-endian words, one field each, in the order of ParticleFields(). A short
// input fills only the bytes it has; the rest of the block keeps what it held. Decoding never
// lets a non-finite float through: NaN and infinities read as 0, so a damaged file cannot put
// NaN into the particles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kq::media {

inline constexpr size_t kParticleBlockSize = 136;
inline constexpr size_t kParticleFieldCount = kParticleBlockSize / 4;

using ParticleBlock = std::array<uint8_t, kParticleBlockSize>;

// The decoded block. A/B pairs (min/max) give a uniform random value between the two bounds
// in either order. Angles are radians; times are the time units Update is called with.
struct ParticleParams {
    int32_t firstPattern = 0; // first pattern (frame) of a particle
    int32_t lastPattern = 0;  // negative or equal to firstPattern: no frame animation
    uint32_t unused = 0;      // bytes 8-11, not used by the player
    uint32_t blend = 0;       // blend value for drawing
    float rate = 0;           // particles per time unit
    float duration = 0;       // emission time after a start; <= 0: a start emits nothing
    float lifeMin = 0, lifeMax = 0;
    float direction = 0;  // the direction vector is (sin a, cos a): 0 points down the screen
    float spread = 0;     // centred on the direction
    int32_t relative = 0; // nonzero: add the angle from the emitter back to where it was
    float speedMin = 0, speedMax = 0;
    float weightMin = 0, weightMax = 0;               // downward acceleration: weight x 10
    float radialMin = 0, radialMax = 0;               // x 10
    float tangentialMin = 0, tangentialMax = 0;       // x 10
    float sizeStart = 0, sizeMiddle = 0, sizeEnd = 0; // scale factors of the pattern
    float sizeVariation = 0;
    float spinStart = 0, spinMiddle = 0, spinEnd = 0; // rotation angles
    float spinVariation = 0;
    uint32_t colorStart = 0, colorMiddle = 0, colorEnd = 0; // ARGB
    float colorVariation = 0;
    float alphaVariation = 0;
    float middleFraction = 0; // middle time as a fraction of a particle's life
    int32_t newestFirst = 0;  // nonzero: draw the newest particle first (oldest on top)
};

// How a field's word is read: a signed or unsigned integer, or a 32-bit IEEE float.
enum class ParticleFieldKind : uint8_t { kInt32, kUInt32, kFloat };

struct ParticleField {
    std::string_view name; // the name kqpack uses ("first_pattern", "color_start", ...)
    ParticleFieldKind kind;
};

// The 34 fields in block order; field i is the word at byte offset 4 * i.
const std::array<ParticleField, kParticleFieldCount>& ParticleFields();
// The index of a field by its name (exact, lower case), or -1.
int ParticleFieldIndex(std::string_view name);

// Copies the first min(bytes.size(), 136) bytes of the input over the start of the block and
// answers how many were copied. The rest of the block is left as it was.
size_t ReadParticleBlock(std::string_view bytes, ParticleBlock& block);

// Word i (0..33) of the block, little-endian; SetParticleWord writes one.
uint32_t ParticleWord(const ParticleBlock& block, size_t index);
void SetParticleWord(ParticleBlock& block, size_t index, uint32_t word);

// The block's values; non-finite floats become 0.
ParticleParams DecodeParticleParams(const ParticleBlock& block);
// The block holding the values (floats as they are).
ParticleBlock EncodeParticleParams(const ParticleParams& params);

} // namespace kq::media
