// The circle shape's pie: which pixels the sector between two radials covers, its direction
// (counter-clockwise from the first radial), the ellipse's edge and odd box sizes.
#include "media/pie_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using kq::media::kPieInside;
using kq::media::kPieOutside;
using kq::media::RasterPie;

struct Pie {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    bool In(int x, int y) const { return At(x, y) == kPieInside; }
};

Pie Raster(int w, int h, double a1, double a2) {
    Pie p{w, h, {}};
    RasterPie(w, h, a1, a2, p.px);
    return p;
}

// Inside flags at points half-way out towards 1:30, 4:30, 7:30 and 10:30 of a w x h box.
std::string Quadrants(const Pie& p) {
    const int qx = p.width / 4;
    const int qy = p.height / 4;
    std::string s;
    s += p.In(p.width - 1 - qx, qy) ? 'R' : '.';                // upper right
    s += p.In(p.width - 1 - qx, p.height - 1 - qy) ? 'r' : '.'; // lower right
    s += p.In(qx, p.height - 1 - qy) ? 'l' : '.';               // lower left
    s += p.In(qx, qy) ? 'L' : '.';                              // upper left
    return s;
}

TEST(PieRaster, SweepsCounterClockwiseFromTheFirstRadial) {
    // From 12 o'clock counter-clockwise round to 3 o'clock: three quarters.
    EXPECT_EQ(Quadrants(Raster(64, 64, 0, 90)), ".rlL");
    // From 3 o'clock counter-clockwise to 12 o'clock: the quarter between them.
    EXPECT_EQ(Quadrants(Raster(64, 64, 90, 0)), "R...");
    // From 6 o'clock to 12 o'clock counter-clockwise: the right half.
    EXPECT_EQ(Quadrants(Raster(64, 64, 180, 0)), "Rr..");
    // Angles beyond a turn and below zero name the same radials.
    EXPECT_EQ(Raster(40, 30, 450, -360).px, Raster(40, 30, 90, 0).px);
}

TEST(PieRaster, SameRadialsMakeTheWholeEllipse) {
    const Pie p = Raster(64, 64, 30, 30);
    EXPECT_EQ(Quadrants(p), "RrlL");
    EXPECT_EQ(p.px, Raster(64, 64, 0, 360).px);
}

TEST(PieRaster, FillsTheEllipseOfTheBoxOnly) {
    const Pie p = Raster(60, 20, 0, 0);
    ASSERT_EQ(p.px.size(), 60u * 20u);
    // Corners lie outside the ellipse, the middle of every edge inside.
    EXPECT_EQ(p.At(0, 0), kPieOutside);
    EXPECT_EQ(p.At(59, 0), kPieOutside);
    EXPECT_EQ(p.At(0, 19), kPieOutside);
    EXPECT_EQ(p.At(59, 19), kPieOutside);
    EXPECT_TRUE(p.In(30, 0));
    EXPECT_TRUE(p.In(30, 19));
    EXPECT_TRUE(p.In(0, 10));
    EXPECT_TRUE(p.In(59, 10));
    // Every word is one of the two values, and the fill is symmetric left to right.
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 60; ++x) {
            ASSERT_TRUE(p.At(x, y) == kPieInside || p.At(x, y) == kPieOutside);
            ASSERT_EQ(p.At(x, y), p.At(59 - x, y)) << x << "," << y;
        }
    }
}

TEST(PieRaster, QuarterEdgesFollowTheRadials) {
    // The quarter from 3 to 12 o'clock: right of the vertical middle and above the horizontal.
    const Pie p = Raster(64, 64, 90, 0);
    EXPECT_TRUE(p.In(32, 31));
    EXPECT_TRUE(p.In(33, 1));
    EXPECT_TRUE(p.In(62, 30));
    EXPECT_FALSE(p.In(31, 31));
    EXPECT_FALSE(p.In(32, 32));
    EXPECT_FALSE(p.In(31, 1));
    // A 45 degree sweep (from 1:30 back to 12) stays above the diagonal.
    const Pie eighth = Raster(64, 64, 45, 0);
    EXPECT_TRUE(eighth.In(36, 10));
    EXPECT_FALSE(eighth.In(54, 28));
}

TEST(PieRaster, OddAndDegenerateSizes) {
    const Pie one = Raster(1, 1, 0, 0);
    ASSERT_EQ(one.px.size(), 1u);
    EXPECT_EQ(one.At(0, 0), kPieInside);
    EXPECT_EQ(Raster(7, 3, 90, 0).px.size(), 21u);
    std::vector<uint32_t> out(5, 1u);
    RasterPie(0, 10, 0, 90, out);
    EXPECT_TRUE(out.empty());
    RasterPie(10, -1, 0, 90, out);
    EXPECT_TRUE(out.empty());
    // Angles that are not numbers do not crash; every word stays one of the two values.
    RasterPie(8, 8, std::nan(""), 90, out);
    ASSERT_EQ(out.size(), 64u);
    for (uint32_t w : out) {
        EXPECT_TRUE(w == kPieInside || w == kPieOutside);
    }
}

} // namespace
