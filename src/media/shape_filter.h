// The filter step of a shape effect: one filter value (0..15, `flNone` .. `flLens`) with its three
// real parameters Par1..Par3, run over the effect's composed picture.
//
// The filter table: 1 wave (amplitude Par3, row divisor Par1, column divisor Par2), 2 sharpen,
// 3 soften, 4 shift (Par1 columns, Par2 rows), 5 mosaic (Par1 x Par2), 6 sharpen more, 7 split
// blur, 8 blur edges, 9 bleed edges (distance Par1), 10 grey, 11 noise (amount Par1, mono when
// Par2 is not 0), 12 contrast and 13 gamma (red Par1, green Par2, blue Par3), 14 square wave
// (amplitude Par3, column divisor Par1, row divisor Par2), 15 lens (refraction index Par1).
// Integer parameters are rounded to the nearest integer, halves to even. No filtering happens
// for 0, for values from 16 up (and below 0), and when a parameter does not fit its operation
// (not an integer in range, a wave divisor of 0, a noise amount outside 0..255). Gamma channels
// whose value rounds to 0 or less are left unchanged.
#pragma once

#include "media/pixel_filters.h"

#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace kq::media {

inline constexpr int32_t kFilterCount = 16; // values 0..15 have an operation (0: none)

// The value name ("flWave"), or empty for values outside 0..15.
std::string_view FilterName(int32_t value);
// The value of a name, compared without regard to case.
std::optional<int32_t> FilterValueFromName(std::string_view name);

// round(p) (halves to even) when it is a finite value that fits a 32-bit integer.
std::optional<int32_t> RoundParameter(double p);

// The buffers the filters of every shape effect share for the whole run: the work buffer holding
// the picture being filtered and the second buffer the warps write into. The warps leave pixels
// of the second buffer unwritten, and those show what it held before, i.e. the previous result
// of any shape effect of the same size; so the second buffer is only resized (and then cleared)
// when the picture size changes, never cleared between applications.
class ShapeFilterBuffers {
public:
    // The work buffer at width x height (32 bits), for the caller to fill with the picture
    // (the engine's ARGB words, alpha included). Its contents are kept when the size is the same
    // as before, zero after a change.
    TFastDIB& Work(int width, int height);
    const TFastDIB& Work() const { return work_; }
    const TFastDIB& Second() const { return second_; }

    // Runs the filter over the work buffer. Only colour channels change: every pixel keeps its
    // alpha. random feeds the noise filter (the runtime's generator, so a seeded run repeats).
    // Answers whether a filter ran; false leaves the work buffer as it was.
    bool Apply(int32_t filter, double par1, double par2, double par3, std::mt19937& random);

private:
    // Gives the second buffer the work buffer's size.
    void PrepareSecond();
    // Takes the colours of the second buffer into the work buffer, keeping the work's alpha.
    void TakeSecondColours();

    TFastDIB work_;
    TFastDIB second_;
    TFastDIB grey_;                 // the 8-bit grey picture of the grey filter
    std::vector<uint32_t> scratch_; // working memory of the shift
};

} // namespace kq::media
