// The pie of a circle shape: a filled sector of the ellipse that fills a width x height box,
// rasterised the way the window system's Pie call draws it.
//
// Angles are degrees measured clockwise from 12 o'clock. Each angle a gives a radial end point
// on the box, (round(width/2 * (sin a + 1)), round(height/2 * (1 - cos a))); the sector runs
// from the first radial counter-clockwise (as seen on screen) to the second. Radials that point
// the same way make the whole ellipse. A pixel belongs to the pie when its centre lies inside
// the ellipse and inside the sector (its edges included), so the result is hard-edged.
#pragma once

#include <cstdint>
#include <vector>

namespace kq::media {

inline constexpr uint32_t kPieInside = 0xFFFFFFFFu;  // opaque white
inline constexpr uint32_t kPieOutside = 0x00000000u; // transparent black

// Fills out with width x height ARGB words (rows top to bottom): kPieInside inside the pie,
// kPieOutside elsewhere. The vector is resized, so a caller that keeps it reuses its storage.
// A width or height below 1 leaves out empty.
void RasterPie(int width, int height, double startDegrees, double endDegrees,
               std::vector<uint32_t>& out);

} // namespace kq::media
