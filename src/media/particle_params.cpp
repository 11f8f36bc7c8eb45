#include "media/particle_params.h"
#include "media/byte_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kq::media {

namespace {

using K = ParticleFieldKind;

constexpr std::array<ParticleField, kParticleFieldCount> kFields{{
    {"first_pattern", K::kInt32},
    {"last_pattern", K::kInt32},
    {"unused", K::kUInt32},
    {"blend", K::kUInt32},
    {"rate", K::kFloat},
    {"duration", K::kFloat},
    {"life_min", K::kFloat},
    {"life_max", K::kFloat},
    {"direction", K::kFloat},
    {"spread", K::kFloat},
    {"relative", K::kInt32},
    {"speed_min", K::kFloat},
    {"speed_max", K::kFloat},
    {"weight_min", K::kFloat},
    {"weight_max", K::kFloat},
    {"radial_min", K::kFloat},
    {"radial_max", K::kFloat},
    {"tangential_min", K::kFloat},
    {"tangential_max", K::kFloat},
    {"size_start", K::kFloat},
    {"size_middle", K::kFloat},
    {"size_end", K::kFloat},
    {"size_variation", K::kFloat},
    {"spin_start", K::kFloat},
    {"spin_middle", K::kFloat},
    {"spin_end", K::kFloat},
    {"spin_variation", K::kFloat},
    {"color_start", K::kUInt32},
    {"color_middle", K::kUInt32},
    {"color_end", K::kUInt32},
    {"color_variation", K::kFloat},
    {"alpha_variation", K::kFloat},
    {"middle_fraction", K::kFloat},
    {"newest_first", K::kInt32},
}};

std::string_view BlockBytes(const ParticleBlock& block) {
    return {reinterpret_cast<const char*>(block.data()), block.size()};
}

// Cursor over the block's words, in field order. The block has exactly one word per field, so
// the reader never runs short.
struct WordReader {
    ByteReader bytes;

    explicit WordReader(const ParticleBlock& block) : bytes(BlockBytes(block)) {}
    uint32_t Word() { return bytes.U32(); }
    int32_t Int() { return bytes.I32(); }
    float Float() {
        const float value = bytes.F32();
        return std::isfinite(value) ? value : 0.0f;
    }
};

struct WordWriter {
    ParticleBlock& block;
    size_t index = 0;

    void Word(uint32_t word) { SetParticleWord(block, index++, word); }
    void Int(int32_t value) { Word(static_cast<uint32_t>(value)); }
    void Float(float value) { Word(std::bit_cast<uint32_t>(value)); }
};

} // namespace

const std::array<ParticleField, kParticleFieldCount>& ParticleFields() {
    return kFields;
}

int ParticleFieldIndex(std::string_view name) {
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (kFields[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The one place that reads the block from outside bytes.
size_t ReadParticleBlock(std::string_view bytes, ParticleBlock& block) {
    const size_t count = std::min(bytes.size(), block.size());
    if (count > 0) {
        std::memcpy(block.data(), bytes.data(), count);
    }
    return count;
}

uint32_t ParticleWord(const ParticleBlock& block, size_t index) {
    if (index >= kParticleFieldCount) {
        return 0;
    }
    ByteReader bytes(BlockBytes(block));
    bytes.Seek(index * 4);
    return bytes.U32();
}

void SetParticleWord(ParticleBlock& block, size_t index, uint32_t word) {
    if (index >= kParticleFieldCount) {
        return;
    }
    uint8_t* p = block.data() + index * 4;
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(word >> (8 * i));
    }
}

ParticleParams DecodeParticleParams(const ParticleBlock& block) {
    WordReader r(block);
    ParticleParams p;
    p.firstPattern = r.Int();
    p.lastPattern = r.Int();
    p.unused = r.Word();
    p.blend = r.Word();
    p.rate = r.Float();
    p.duration = r.Float();
    p.lifeMin = r.Float();
    p.lifeMax = r.Float();
    p.direction = r.Float();
    p.spread = r.Float();
    p.relative = r.Int();
    p.speedMin = r.Float();
    p.speedMax = r.Float();
    p.weightMin = r.Float();
    p.weightMax = r.Float();
    p.radialMin = r.Float();
    p.radialMax = r.Float();
    p.tangentialMin = r.Float();
    p.tangentialMax = r.Float();
    p.sizeStart = r.Float();
    p.sizeMiddle = r.Float();
    p.sizeEnd = r.Float();
    p.sizeVariation = r.Float();
    p.spinStart = r.Float();
    p.spinMiddle = r.Float();
    p.spinEnd = r.Float();
    p.spinVariation = r.Float();
    p.colorStart = r.Word();
    p.colorMiddle = r.Word();
    p.colorEnd = r.Word();
    p.colorVariation = r.Float();
    p.alphaVariation = r.Float();
    p.middleFraction = r.Float();
    p.newestFirst = r.Int();
    return p;
}

ParticleBlock EncodeParticleParams(const ParticleParams& p) {
    ParticleBlock block{};
    WordWriter w{block};
    w.Int(p.firstPattern);
    w.Int(p.lastPattern);
    w.Word(p.unused);
    w.Word(p.blend);
    for (float value : {p.rate, p.duration, p.lifeMin, p.lifeMax, p.direction, p.spread}) {
        w.Float(value);
    }
    w.Int(p.relative);
    for (float value : {p.speedMin, p.speedMax, p.weightMin, p.weightMax, p.radialMin, p.radialMax,
                        p.tangentialMin, p.tangentialMax, p.sizeStart, p.sizeMiddle, p.sizeEnd,
                        p.sizeVariation, p.spinStart, p.spinMiddle, p.spinEnd, p.spinVariation}) {
        w.Float(value);
    }
    w.Word(p.colorStart);
    w.Word(p.colorMiddle);
    w.Word(p.colorEnd);
    w.Float(p.colorVariation);
    w.Float(p.alphaVariation);
    w.Float(p.middleFraction);
    w.Int(p.newestFirst);
    return block;
}

} // namespace kq::media
