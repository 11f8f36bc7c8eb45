// Star sprites: a fixed table of small moving sprites that scripts launch by the hundreds for
// sparkles. They are not elements: each lives in one record, moves by constant speeds every
// processing step, dies when its size is no longer above 0, and is drawn from the particle
// sheet after its layer of the current screen.
//
// The table is allocated once with the root; launching, moving and drawing stars allocate
// nothing.
#pragma once

#include "render/canvas.h"

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

namespace kq::scene {

// The layer drawn above the whole scene, after the last layer of the screen.
inline constexpr int32_t kTopStarLayer = 1000;
// Drawing mode of stars unless a script gives one: additive.
inline constexpr int32_t kStarBlend = 260;

struct Star {
    int32_t pattern = 0; // pattern of the particle sheet
    int32_t layer = kTopStarLayer;
    int32_t mode = kStarBlend; // blend value
    bool live = false;
    uint32_t color = 0; // 24-bit colour; drawn fully opaque
    double angle = 0;   // degrees
    double x = 0;
    double y = 0;
    double size = 0; // scale of the pattern
    double angleSpeed = 0;
    double sizeSpeed = 0;
    double xSpeed = 0;
    double ySpeed = 0;
};

class StarTable {
public:
    static constexpr int kCapacity = 5001;

    StarTable();

    // Puts the star into the first free record (from index 0); its live flag is set. The
    // record's index, or nothing when all records are live (the star is dropped).
    std::optional<int> Add(const Star& star);
    // One processing step: every live star turns, moves and grows by its speeds; a star whose
    // size is no longer above 0 dies.
    void Process();
    // Draws the live stars of `layer`, in index order, centred on their positions, rotated and
    // scaled, in their colour with alpha 255 and their blend value.
    void Render(int32_t layer, render::Canvas& canvas, render::TextureId sheet) const;
    // Every record becomes free.
    void Clear();

    int LiveCount() const { return liveCount_; }
    // The layers holding live stars, ascending, each once (appended to `layers`).
    void AppendLiveLayers(std::vector<int32_t>& layers) const;
    std::span<const Star> Records() const { return records_; }

private:
    std::vector<Star> records_;
    int liveCount_ = 0;
};

// The colour of a star's colour text: decimal, or hexadecimal after "$"; an empty text draws a
// random colour below 0xFFFFFF. A text that is not a number gives white.
uint32_t StarColor(std::string_view text, std::mt19937& random);

} // namespace kq::scene
