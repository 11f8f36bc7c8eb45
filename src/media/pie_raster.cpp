#include "media/pie_raster.h"

#include <cmath>
#include <numbers>

namespace kq::media {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Angle of the direction (dx, dy) counter-clockwise on screen from 3 o'clock, in [0, 2 pi):
// y grows downwards, so it is negated.
double ScreenAngle(double dx, double dy) {
    const double a = std::atan2(-dy, dx);
    return a < 0 ? a + kTwoPi : a;
}

// How far counter-clockwise angle a lies from angle from, in [0, 2 pi).
double SweepFrom(double from, double a) {
    double d = a - from;
    if (d < 0) {
        d += kTwoPi;
    }
    return d;
}

} // namespace

void RasterPie(int width, int height, double startDegrees, double endDegrees,
               std::vector<uint32_t>& out) {
    if (width < 1 || height < 1) {
        out.clear();
        return;
    }
    out.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kPieOutside);
    const double rx = width / 2.0;
    const double ry = height / 2.0;
    // The radial end points on the box, rounded as the window system takes integer points.
    const double a1 = startDegrees * std::numbers::pi / 180;
    const double a2 = endDegrees * std::numbers::pi / 180;
    const double x1 = std::nearbyint(rx * (std::sin(a1) + 1));
    const double y1 = std::nearbyint(ry * (1 - std::cos(a1)));
    const double x2 = std::nearbyint(rx * (std::sin(a2) + 1));
    const double y2 = std::nearbyint(ry * (1 - std::cos(a2)));
    const double from = ScreenAngle(x1 - rx, y1 - ry);
    const double sweep = SweepFrom(from, ScreenAngle(x2 - rx, y2 - ry));
    const bool whole = sweep == 0;
    for (int y = 0; y < height; ++y) {
        const double dy = y + 0.5 - ry;
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - rx;
            if ((dx * dx) / (rx * rx) + (dy * dy) / (ry * ry) > 1) {
                continue;
            }
            if (whole || SweepFrom(from, ScreenAngle(dx, dy)) <= sweep) {
                out[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    kPieInside;
            }
        }
    }
}

} // namespace kq::media
