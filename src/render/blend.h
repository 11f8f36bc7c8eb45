// Blend values: the 32-bit drawing-mode codes stored in scene data (hxDrawFx, star modes) and
// passed with every draw, decoded into the state a back end sets up.
//
// Layout: bits 0-7 source factor, bits 8-15 destination factor, bits 16-23 operation,
// bit 28 modulate. The value 1 decodes to (one, zero, add) and means "opaque copy": blending
// and alpha testing off. Every other value switches blending on together with an alpha test
// that discards fully transparent pixels (alpha 0).
//
// Pixel convention: the original device put pixel centres on integer coordinates and shifted
// every destination point by kHalfPixelShift so that texels meet pixel centres. OpenGL puts
// pixel centres at +0.5, so the shifted original and unshifted GL coordinates rasterise to the
// same pixels; back ends therefore draw the points as given (see canvas.h) and tests compare
// against unshifted points.
#pragma once

#include <array>
#include <cstdint>

namespace kq::render {

inline constexpr float kHalfPixelShift = -0.5f;

inline constexpr uint32_t kBlendOpaque = 1;       // (one, zero, add): blending off
inline constexpr uint32_t kBlendAlpha = 0x504;    // (source alpha, inverse source alpha, add)
inline constexpr uint32_t kBlendAdditive = 0x104; // (source alpha, one, add)
inline constexpr uint32_t kBlendModulateBit = 1u << 28;

enum class BlendFactor : uint8_t {
    kZero = 0,
    kOne = 1,
    kSrcColor = 2,
    kInvSrcColor = 3,
    kSrcAlpha = 4,
    kInvSrcAlpha = 5,
    kDestAlpha = 6,
    kInvDestAlpha = 7,
    kDestColor = 8,
    kInvDestColor = 9,
    kSrcAlphaSat = 10,
};

enum class BlendOp : uint8_t {
    kAdd = 0,         // src*sf + dst*df
    kRevSubtract = 1, // dst*df - src*sf
    kSubtract = 2,    // src*sf - dst*df
    kMin = 3,         // min(src, dst), factors ignored
    kMax = 4,         // max(src, dst), factors ignored
};

struct BlendState {
    bool blending = false;  // false only for the opaque copy (value 1)
    bool alphaTest = false; // discard alpha == 0 pixels; on exactly when blending is on
    BlendFactor source = BlendFactor::kOne;
    BlendFactor dest = BlendFactor::kZero;
    BlendOp op = BlendOp::kAdd;
    bool modulate = false; // bit 28 as given; textured draws also modulate for tinted corners
    friend bool operator==(const BlendState&, const BlendState&) = default;
};

// Decodes a blend value. A factor byte above 10 or an operation byte above 4 is not a valid
// code: the factor falls back to one (source) / zero (destination) and the operation to add,
// so a corrupt scene value still draws something sensible instead of failing.
BlendState DecodeBlend(uint32_t value);

// True when a textured draw must multiply the texture by the vertex colours: the modulate
// bit is set or any corner colour is not opaque white.
bool NeedsModulate(uint32_t blend, const std::array<uint32_t, 4>& colors);

} // namespace kq::render
