// The star table: launching, moving and drawing star sprites.
#include "scene/stars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace kq::scene {

namespace {

constexpr uint32_t kRandomColorBound = 0xFFFFFF; // exclusive: colours 0 .. 0xFFFFFE
constexpr uint32_t kWhite24 = 0xFFFFFF;

} // namespace

StarTable::StarTable() : records_(kCapacity) {}

std::optional<int> StarTable::Add(const Star& star) {
    if (liveCount_ >= kCapacity) {
        return std::nullopt;
    }
    for (int i = 0; i < kCapacity; ++i) {
        Star& record = records_[static_cast<size_t>(i)];
        if (!record.live) {
            record = star;
            record.live = true;
            ++liveCount_;
            return i;
        }
    }
    return std::nullopt;
}

void StarTable::Process() {
    if (liveCount_ == 0) {
        return;
    }
    for (Star& star : records_) {
        if (!star.live) {
            continue;
        }
        star.angle += star.angleSpeed;
        star.x += star.xSpeed;
        star.y += star.ySpeed;
        star.size += star.sizeSpeed;
        // "Not above 0" also ends a star whose size stopped being a number.
        if (!(star.size > 0)) {
            star.live = false;
            --liveCount_;
        }
    }
}

void StarTable::Render(int32_t layer, render::Canvas& canvas, render::TextureId sheet) const {
    if (liveCount_ == 0 || sheet == render::kNoTexture) {
        return;
    }
    for (const Star& star : records_) {
        if (!star.live || star.layer != layer) {
            continue;
        }
        const float angle = static_cast<float>(star.angle * std::numbers::pi / 180.0);
        canvas.DrawRotated(sheet, star.pattern, static_cast<float>(star.x),
                           static_cast<float>(star.y), angle, static_cast<float>(star.size),
                           0xFF000000u | (star.color & 0xFFFFFFu),
                           static_cast<uint32_t>(star.mode));
    }
}

void StarTable::Clear() {
    if (liveCount_ == 0) {
        return;
    }
    for (Star& star : records_) {
        star.live = false;
    }
    liveCount_ = 0;
}

void StarTable::AppendLiveLayers(std::vector<int32_t>& layers) const {
    if (liveCount_ == 0) {
        return;
    }
    const size_t start = layers.size();
    for (const Star& star : records_) {
        if (star.live) {
            layers.push_back(star.layer);
        }
    }
    std::sort(layers.begin() + static_cast<std::ptrdiff_t>(start), layers.end());
    layers.erase(std::unique(layers.begin() + static_cast<std::ptrdiff_t>(start), layers.end()),
                 layers.end());
}

uint32_t StarColor(std::string_view text, std::mt19937& random) {
    if (text.empty()) {
        return static_cast<uint32_t>(random() % kRandomColorBound);
    }
    std::string_view digits = text;
    int base = 10;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (!digits.empty() && digits.front() == '$') {
        base = 16;
        digits.remove_prefix(1);
    }
    uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return kWhite24;
    }
    return negative ? 0u - value : value;
}

} // namespace kq::scene
