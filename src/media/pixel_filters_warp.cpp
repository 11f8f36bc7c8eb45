// The warps: wave, square wave and the elliptical lens, each from a source into a destination
// buffer of the same size.
#include "media/pixel_filters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kq::media {

namespace {

constexpr uint32_t kAlphaMask = 0xFF000000u;
constexpr uint32_t kColourMask = 0x00FFFFFFu;
// Offsets are rounded amplitudes; beyond this the integer offsets of the filter do not exist.
constexpr double kMaxAmplitude = 2147483647.0;

bool Pair(const TFastDIB& src, const TFastDIB& dst) {
    return &src != &dst && !src.Empty() && src.BitsPerPixel() == 32 && dst.BitsPerPixel() == 32 &&
           src.Width() == dst.Width() && src.Height() == dst.Height();
}

bool WaveParameters(double amplitude, double divisorA, double divisorB) {
    return std::isfinite(amplitude) && std::isfinite(divisorA) && std::isfinite(divisorB) &&
           std::fabs(amplitude) <= kMaxAmplitude && divisorA != 0 && divisorB != 0;
}

// round(amplitude * sin(i / divisor)) for i = 0..count - 1.
void Offsets(std::vector<int64_t>& out, int count, double amplitude, double divisor) {
    out.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        out[i] = static_cast<int64_t>(std::nearbyint(amplitude * std::sin(i / divisor)));
    }
}

void CopyColour(uint32_t& dst, uint32_t src) {
    dst = (dst & kAlphaMask) | (src & kColourMask);
}

} // namespace

bool Wave(const TFastDIB& src, TFastDIB& dst, double amplitude, double rowDivisor,
          double columnDivisor) {
    if (!Pair(src, dst) || !WaveParameters(amplitude, rowDivisor, columnDivisor)) {
        return false;
    }
    const int64_t w = src.Width();
    const int64_t h = src.Height();
    std::vector<int64_t> rowShift;    // dx(y): columns by which row y reads aside
    std::vector<int64_t> columnShift; // dy(x): rows by which column x reads aside
    Offsets(rowShift, src.Height(), amplitude, rowDivisor);
    Offsets(columnShift, src.Width(), amplitude, columnDivisor);
    const uint32_t* in = src.Words();
    uint32_t* out = dst.Words();
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < w; ++x) {
            const int64_t sx = x + rowShift[y];
            const int64_t sy = y + columnShift[x];
            if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                CopyColour(out[y * w + x], in[sy * w + sx]);
            }
        }
    }
    return true;
}

bool SquareWave(const TFastDIB& src, TFastDIB& dst, double amplitude, double columnDivisor,
                double rowDivisor) {
    if (!Pair(src, dst) || !WaveParameters(amplitude, columnDivisor, rowDivisor)) {
        return false;
    }
    const int64_t w = src.Width();
    const int64_t h = src.Height();
    std::vector<int64_t> columnShift; // sx(x)
    std::vector<int64_t> rowShift;    // sy(y)
    Offsets(columnShift, src.Width(), amplitude, columnDivisor);
    Offsets(rowShift, src.Height(), amplitude, rowDivisor);
    const uint32_t* in = src.Words();
    uint32_t* out = dst.Words();
    for (int64_t y = 0; y < h; ++y) {
        const int64_t sy = y + rowShift[y];
        if (sy < 0 || sy >= h) {
            continue;
        }
        const uint32_t* srcRow = in + sy * w;
        uint32_t* dstRow = out + y * w;
        for (int64_t x = 0; x < w; ++x) {
            const int64_t sx = x + columnShift[x];
            if (sx >= 0 && sx < w) {
                CopyColour(dstRow[x], srcRow[sx]);
            }
        }
    }
    return true;
}

namespace {

// The refracted offset of one axis: u' = u - z * tan(theta - asin(sin(theta) / n)) with
// theta = pi/2 - acos(u / sqrt(u^2 + z^2)).
double Refract(double u, double z, double index) {
    const double theta = std::numbers::pi / 2 - std::acos(u / std::sqrt(u * u + z * z));
    return u - z * std::tan(theta - std::asin(std::sin(theta) / index));
}

int64_t SourceIndex(double v, int64_t last) {
    const double t = std::trunc(v);
    if (!(t >= 0)) { // also a NaN
        return 0;
    }
    return t >= static_cast<double>(last) ? last : static_cast<int64_t>(t);
}

} // namespace

bool Lens(const TFastDIB& src, TFastDIB& dst, double refractionIndex) {
    if (!Pair(src, dst) || !std::isfinite(refractionIndex)) {
        return false;
    }
    const double n = std::max(refractionIndex, 1.0);
    const int64_t w = src.Width();
    const int64_t h = src.Height();
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const double r = std::min(cx, cy);
    const uint32_t* in = src.Words();
    uint32_t* out = dst.Words();
    for (int64_t y = 0; y < h; ++y) {
        const double v = -(y - cy) - 0.5;
        const double vv = v * v / (cy * cy);
        for (int64_t x = 0; x < w; ++x) {
            const double u = x - cx + 0.5;
            const double e = u * u / (cx * cx) + vv;
            uint32_t& target = out[y * w + x];
            if (e >= 1) {
                CopyColour(target, in[y * w + x]);
                continue;
            }
            const double z = std::sqrt((1 - e) * r * r);
            const double u2 = Refract(u, z, n);
            const double v2 = Refract(v, z, n);
            const int64_t sx = SourceIndex(u2 + cx, w - 1);
            const int64_t sy = SourceIndex(-v2 + cy, h - 1);
            CopyColour(target, in[sy * w + sx]);
        }
    }
    return true;
}

} // namespace kq::media
