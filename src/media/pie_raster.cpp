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

// Positive when (bx, by) lies counter-clockwise on screen from (ax, ay) (less than half a
// turn), zero when they are parallel. Screen y grows downwards, hence the order.
double Turn(double ax, double ay, double bx, double by) {
    return ay * bx - ax * by;
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
    // The radial end points on the box, rounded as the window system takes integer points,
    // as directions from the middle.
    const double a1 = startDegrees * std::numbers::pi / 180;
    const double a2 = endDegrees * std::numbers::pi / 180;
    const double x1 = std::nearbyint(rx * (std::sin(a1) + 1)) - rx;
    const double y1 = std::nearbyint(ry * (1 - std::cos(a1))) - ry;
    const double x2 = std::nearbyint(rx * (std::sin(a2) + 1)) - rx;
    const double y2 = std::nearbyint(ry * (1 - std::cos(a2))) - ry;
    double sweep = ScreenAngle(x2, y2) - ScreenAngle(x1, y1);
    if (sweep < 0) {
        sweep += kTwoPi;
    }
    const bool whole = sweep == 0;
    const bool narrow = sweep <= std::numbers::pi;
    // Per pixel only products: within half a turn a point is inside when it lies on or after
    // the first radial and on or before the second; a wider pie is everything except the
    // points strictly inside the narrow pie from the second radial back to the first.
    auto inSector = [&](double dx, double dy) {
        if (whole) {
            return true;
        }
        if (narrow) {
            return Turn(x1, y1, dx, dy) >= 0 && Turn(dx, dy, x2, y2) >= 0;
        }
        return !(Turn(x2, y2, dx, dy) > 0 && Turn(dx, dy, x1, y1) > 0);
    };
    for (int y = 0; y < height; ++y) {
        const double dy = y + 0.5 - ry;
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - rx;
            if ((dx * dx) / (rx * rx) + (dy * dy) / (ry * ry) <= 1 && inSector(dx, dy)) {
                out[row + static_cast<size_t>(x)] = kPieInside;
            }
        }
    }
}

} // namespace kq::media
