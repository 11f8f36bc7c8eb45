#include "media/particle_system.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace kq::media {

namespace {

// Round to nearest with halves to even (the default floating-point rounding mode).
float RoundHalfEven(float value) {
    return std::nearbyint(value);
}

// Change per time unit that takes `from` to `to` in `time`; 0 for a phase of length 0 (or a
// rate too large for a float), so that no phase divides by zero.
float Rate(float from, float to, float time) {
    if (time == 0) {
        return 0;
    }
    const float rate = (to - from) / time;
    return std::isfinite(rate) ? rate : 0.0f;
}

// Blue, green and red to 0..255; alpha below 0 to 0 and above 255 to 254. NaN becomes 0.
float ClampChannel(float v) {
    return v > 0 ? (v < 255 ? v : 255.0f) : 0.0f;
}
float ClampAlpha(float v) {
    return v > 0 ? (v > 255 ? 254.0f : v) : 0.0f;
}

void ClampColor(Particle& p) {
    p.blue = ClampChannel(p.blue);
    p.green = ClampChannel(p.green);
    p.red = ClampChannel(p.red);
    p.alpha = ClampAlpha(p.alpha);
}

float Channel(uint32_t color, int shift) {
    return static_cast<float>((color >> shift) & 0xFFu);
}

void SetColorRates(Particle& p, uint32_t target, float time) {
    p.blueChange = Rate(p.blue, Channel(target, 0), time);
    p.greenChange = Rate(p.green, Channel(target, 8), time);
    p.redChange = Rate(p.red, Channel(target, 16), time);
    p.alphaChange = Rate(p.alpha, Channel(target, 24), time);
}

// Whether a channel can be packed: 0..255 (NaN is not).
bool ChannelInRange(float value) {
    return value >= 0 && value <= 255;
}

// A channel in 0..255 rounded to the nearest integer, halves to even, at its place. Adding and
// taking away 2^23 leaves no fraction bits, so the float unit rounds exactly as nearbyint does
// (round to nearest even), without the library call on every channel of every quad.
uint32_t PackChannel(float value, int shift) {
    const float rounded = (value + 0x1p23f) - 0x1p23f;
    return static_cast<uint32_t>(rounded) << shift;
}

} // namespace

float UniformFloat(std::mt19937& generator) {
    return static_cast<float>(generator() >> 8) * 0x1p-24f;
}

UniformRandom UniformFrom(std::mt19937& generator) {
    return [&generator] { return UniformFloat(generator); };
}

std::optional<int32_t> FrameIndex(const Particle& particle) {
    // -2^31 and 2^31 are exact floats; every float in between converts, truncating toward zero.
    const float frame = particle.frame;
    if (!(frame >= -2147483648.0f && frame < 2147483648.0f)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(frame);
}

std::optional<uint32_t> PackedColor(const Particle& p) {
    // One test for the four channels (bitwise, so there is a single branch per particle).
    const bool inRange = ChannelInRange(p.alpha) & ChannelInRange(p.red) & ChannelInRange(p.green) &
                         ChannelInRange(p.blue);
    if (!inRange) {
        return std::nullopt;
    }
    return PackChannel(p.alpha, 24) | PackChannel(p.red, 16) | PackChannel(p.green, 8) |
           PackChannel(p.blue, 0);
}

ParticleSystem::ParticleSystem(int32_t capacity) : capacity_(std::max(capacity, 0)) {}

bool ParticleSystem::LoadFromBytes(std::string_view bytes) {
    if (ReadParticleBlock(bytes, block_) == 0) {
        return false;
    }
    params_ = DecodeParticleParams(block_);
    return true;
}

bool ParticleSystem::LoadFromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    char buffer[kParticleBlockSize];
    in.read(buffer, sizeof buffer);
    return LoadFromBytes(std::string_view(buffer, static_cast<size_t>(in.gcount())));
}

void ParticleSystem::SetParams(const ParticleParams& params) {
    block_ = EncodeParticleParams(params);
    params_ = DecodeParticleParams(block_);
}

void ParticleSystem::SetAngleOffset(float radians) {
    angleOffset_ = std::isfinite(radians) ? radians : 0.0f;
}

float ParticleSystem::Random() {
    if (random_) {
        const float r = random_();
        return r >= 0 && r < 1 ? r : 0.0f;
    }
    // minstd_rand yields 1 .. 2^31 - 2.
    return static_cast<float>(static_cast<double>(ownRandom_() - 1) / 2147483646.0);
}

float ParticleSystem::Between(float a, float b) {
    const float lo = std::min(a, b);
    const float hi = std::max(a, b);
    const float r = Random();
    const float value = lo + r * (hi - lo);
    // Bounds far apart overflow hi - lo (and 0 x infinity is NaN, which would make a life that
    // never ends); the weighted form stays between the two finite bounds.
    return std::isfinite(value) ? value : (1 - r) * lo + r * hi;
}

void ParticleSystem::Start() {
    if (spawnPoints_.empty()) {
        return;
    }
    if (params_.duration > 0) {
        timer_ = 0;
        if (!particles_ && capacity_ > 0) {
            particles_ = std::make_unique<Particle[]>(static_cast<size_t>(capacity_));
        }
    } else {
        timer_ = -1;
    }
}

void ParticleSystem::Stop(bool kill) {
    timer_ = -1;
    if (kill) {
        count_ = 0;
    }
}

void ParticleSystem::MoveBy(float dx, float dy, bool carry) {
    if (!std::isfinite(x_ + dx) || !std::isfinite(y_ + dy)) {
        return;
    }
    if (carry) {
        for (int32_t i = 0; i < count_; ++i) {
            particles_[i].x += dx;
            particles_[i].y += dy;
        }
        previousX_ += dx;
        previousY_ += dy;
    } else if (Emitting()) {
        previousX_ = x_;
        previousY_ = y_;
    } else {
        previousX_ = x_ + dx;
        previousY_ = y_ + dy;
    }
    x_ += dx;
    y_ += dy;
}

void ParticleSystem::MoveTo(float x, float y, bool carry) {
    MoveBy(x - x_, y - y_, carry);
}

void ParticleSystem::PlaceAt(float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return;
    }
    x_ = previousX_ = x;
    y_ = previousY_ = y;
}

void ParticleSystem::Restart(float x, float y) {
    Stop(false);
    MoveTo(x, y, false);
    Start();
}

void ParticleSystem::Spawn() {
    const ParticleParams& k = params_;
    Particle& p = particles_[count_];
    p.age = 0;
    p.life = Between(k.lifeMin, k.lifeMax);
    p.middle = p.life * k.middleFraction;

    // Anywhere on the path the emitter took during this step, plus a spawn point.
    const float along = Random();
    const size_t pointCount = spawnPoints_.size();
    const size_t pick =
        std::min(static_cast<size_t>(Random() * static_cast<float>(pointCount)), pointCount - 1);
    const SpawnPoint point = spawnPoints_[pick];
    p.x = previousX_ + (x_ - previousX_) * along + static_cast<float>(point.x);
    p.y = previousY_ + (y_ - previousY_) * along + static_cast<float>(point.y);
    p.spawnOffsetX = x_ - p.x;
    p.spawnOffsetY = y_ - p.y;

    float angle = Random() * k.spread + k.direction + angleOffset_ - k.spread / 2;
    if (k.relative != 0) {
        angle += std::atan2(previousX_ - x_, previousY_ - y_);
    }
    const float speed = Between(k.speedMin, k.speedMax);
    p.velocityX = std::sin(angle) * speed;
    p.velocityY = std::cos(angle) * speed;

    p.weight = Between(k.weightMin, k.weightMax);
    p.radial = Between(k.radialMin, k.radialMax);
    p.tangential = Between(k.tangentialMin, k.tangentialMax);

    p.size = Between(k.sizeStart, k.sizeStart + (k.sizeMiddle - k.sizeStart) * k.sizeVariation);
    p.sizeChange = Rate(p.size, k.sizeMiddle, p.middle);
    p.spin = Between(k.spinStart, k.spinStart + (k.spinMiddle - k.spinStart) * k.spinVariation);
    p.spinChange = Rate(p.spin, k.spinMiddle, p.middle);

    p.frame = static_cast<float>(k.firstPattern);
    const bool animated = k.lastPattern >= 0 && k.lastPattern != k.firstPattern;
    const int64_t frames = int64_t{k.lastPattern} - int64_t{k.firstPattern};
    p.frameChange = animated ? Rate(0, static_cast<float>(frames), p.life) : 0.0f;

    const float u = Random() * k.colorVariation;
    const float v = Random() * k.alphaVariation;
    p.blue = Channel(k.colorStart, 0) + u * (Channel(k.colorMiddle, 0) - Channel(k.colorStart, 0));
    p.green = Channel(k.colorStart, 8) + u * (Channel(k.colorMiddle, 8) - Channel(k.colorStart, 8));
    p.red =
        Channel(k.colorStart, 16) + u * (Channel(k.colorMiddle, 16) - Channel(k.colorStart, 16));
    p.alpha =
        Channel(k.colorStart, 24) + v * (Channel(k.colorMiddle, 24) - Channel(k.colorStart, 24));
    ClampColor(p);
    SetColorRates(p, k.colorMiddle, p.middle);

    // A spawn from extreme parameters can land off the float range: it never becomes live.
    if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.size) &&
        std::isfinite(p.spin)) {
        ++count_;
    }
}

// Advances one live particle; false when it dies.
bool ParticleSystem::Step(Particle& p, float dt) const {
    p.age += dt;
    if (p.age >= p.life) {
        return false;
    }
    const bool crossing = p.age - dt < p.middle && p.middle <= p.age;

    const float cx = x_ + p.spawnOffsetX;
    const float cy = y_ + p.spawnOffsetY;
    float nx = p.x - cx;
    float ny = p.y - cy;
    const float length = std::sqrt(nx * nx + ny * ny);
    if (length > 0) {
        nx /= length;
        ny /= length;
    } else {
        nx = ny = 0;
    }
    const float ax = (nx * p.radial - ny * p.tangential) * 10;
    const float ay = (ny * p.radial + nx * p.tangential) * 10;
    p.velocityX += ax * dt;
    p.velocityY += ay * dt;
    p.velocityY += dt * p.weight * 10;
    p.x += p.velocityX * dt;
    p.y += p.velocityY * dt;

    p.spin += p.spinChange * dt;
    p.size += p.sizeChange * dt;
    p.frame += p.frameChange * dt;

    if (crossing) {
        const ParticleParams& k = params_;
        const float rest = p.life - p.middle;
        p.spinChange = Rate(p.spin, k.spinEnd, rest);
        p.sizeChange = Rate(p.size, k.sizeEnd, rest);
        SetColorRates(p, k.colorEnd, rest);
    }
    p.blue += p.blueChange * dt;
    p.green += p.greenChange * dt;
    p.red += p.redChange * dt;
    p.alpha += p.alphaChange * dt;
    ClampColor(p);

    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.size) &&
           std::isfinite(p.spin);
}

void ParticleSystem::Update(float dt) {
    if (!std::isfinite(dt)) {
        dt = 0;
    }
    if (Emitting()) {
        timer_ += dt;
        if (timer_ >= params_.duration) {
            timer_ = -1;
        }
    }

    int32_t kept = 0;
    for (int32_t i = 0; i < count_; ++i) {
        Particle& p = particles_[i];
        if (Step(p, dt)) {
            if (kept != i) {
                particles_[kept] = p;
            }
            ++kept;
        }
    }
    count_ = kept;

    if (Emitting()) {
        const float e = dt * params_.rate + remainder_;
        const float n = RoundHalfEven(e);
        int64_t spawns = 0;
        if (std::isfinite(e)) {
            remainder_ = e - n;
            const float room = static_cast<float>(capacity_ - count_);
            spawns = n > 0 ? static_cast<int64_t>(std::min(n, room)) : 0;
        } else {
            remainder_ = 0;
        }
        if (!spawnPoints_.empty()) {
            for (int64_t i = 0; i < spawns && count_ < capacity_; ++i) {
                Spawn();
            }
        }
    }

    previousX_ = x_;
    previousY_ = y_;
}

void ParticleSystem::Draw(const ParticleArea& area, ParticleQuadSink& sink) const {
    const bool newestFirst = params_.newestFirst != 0;
    for (int32_t i = 0; i < count_; ++i) {
        const Particle& p = particles_[newestFirst ? count_ - 1 - i : i];
        const float x = p.x + area.offsetX;
        const float y = p.y + area.offsetY;
        // Deliberately generous: the whole scaled pattern size on each side of the centre, so
        // a rotated quad is never skipped while a corner of it could show.
        const float extentW = area.patternWidth * p.size;
        const float extentH = area.patternHeight * p.size;
        if (x + extentW < 0 || y + extentH < 0 || x - extentW > area.width ||
            y - extentH > area.height) {
            continue;
        }
        const std::optional<int32_t> frame = FrameIndex(p);
        const std::optional<uint32_t> color = PackedColor(p);
        if (!frame || !color || !std::isfinite(extentW) || !std::isfinite(extentH)) {
            continue;
        }
        sink.Add(ParticleQuad{x, y, p.size, p.spin, *frame, *color & area.colorMask});
    }
}

} // namespace kq::media
