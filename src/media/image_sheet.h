// Sprite sheets: the ".an" description beside an image and the pattern layout derived from it.
//
// A ".an" file is text with two lines, each one decimal integer: the number of pattern columns,
// then the number of rows. An image is cut into columns x rows equal patterns numbered row by
// row from 0; each pattern's texture size is the pattern size plus a two-texel margin, rounded
// up to an even number.
#pragma once

#include <optional>
#include <string_view>

namespace kq::media {

struct SheetCounts {
    int columns = 1;
    int rows = 1;
    friend bool operator==(const SheetCounts&, const SheetCounts&) = default;
};

// Parses ".an" text. Missing lines and values of 0 mean 1. Nothing when a present line is not
// a non-negative decimal integer (surrounding blanks and a trailing "\r" are allowed).
std::optional<SheetCounts> ParseSheet(std::string_view text);

struct PatternLayout {
    int columns = 1;
    int rows = 1;
    int patternWidth = 0; // width div columns
    int patternHeight = 0;
    int textureWidth = 0; // pattern width + 2, rounded up to even
    int textureHeight = 0;
    int PatternCount() const { return columns * rows; }
};

// Layout of a width x height image cut into the given counts (counts below 1 count as 1).
PatternLayout MakePatternLayout(int width, int height, SheetCounts counts);

// Pattern size plus two, rounded up to the next even number.
constexpr int TextureSideFor(int patternSide) {
    int side = patternSide + 2;
    return side + (side & 1);
}

} // namespace kq::media
