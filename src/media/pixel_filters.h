// Pixel filters over plain 32-bit pixel buffers: the operations a shape effect can run over the
// picture it composed (kernels, blurs, shifts, mosaic, noise, colour tables, grey, waves, lens).
//
// Every operation changes the colour channels (blue, green, red) only; the alpha byte of every
// pixel is left as it was, so a caller that hands in a picture keeps its alpha. Arithmetic is
// integer and exact: divisions truncate toward zero, and a channel result is clamped to 0..255.
// The in-place operations walk rows from the top, pixels from the left, and read neighbours that
// already hold their new values. Nothing here allocates per pixel, and no operation reads or
// writes outside its buffers, whatever the parameters.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace kq::media {

// A pixel buffer: width x height pixels, row 0 the top row. 32 bits per pixel: blue, green, red,
// alpha bytes in that order, rows without gaps (a pixel read as a little-endian word is the
// engine's ARGB colour word). 8 bits per pixel: one byte per pixel, rows rounded up to a multiple
// of 4 bytes. Storage is kept in words so that either depth can be read as bytes or words.
class TFastDIB {
public:
    TFastDIB() = default;
    TFastDIB(int width, int height, int bitsPerPixel) { Resize(width, height, bitsPerPixel); }

    // Sets the size and depth (32 or 8; anything else counts as 32). Sizes below 1 make an
    // empty buffer. The contents are zero after a change of size or depth; unchanged otherwise.
    // Answers whether the size or depth changed.
    bool Resize(int width, int height, int bitsPerPixel = 32);
    void Fill(uint32_t word);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    // Bytes from one row start to the next.
    int Stride() const { return stride_; }

    uint8_t* Row(int y) { return Bytes() + static_cast<size_t>(y) * stride_; }
    const uint8_t* Row(int y) const { return Bytes() + static_cast<size_t>(y) * stride_; }
    // 32-bit buffers: the pixels as words, row after row.
    uint32_t* Words() { return words_.data(); }
    const uint32_t* Words() const { return words_.data(); }
    size_t PixelCount() const { return static_cast<size_t>(width_) * height_; }

private:
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(words_.data()); }

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 32;
    int stride_ = 0;
    std::vector<uint32_t> words_;
};

// The byte offsets of the channels inside a 32-bit pixel.
inline constexpr int kBlue = 0;
inline constexpr int kGreen = 1;
inline constexpr int kRed = 2;
inline constexpr int kAlpha = 3;

using ChannelTable = std::array<uint8_t, 256>;

// All operations below take 32-bit buffers; an empty buffer or one of another depth is left
// alone.

// Corner kernel with distance a, corner weight k and centre weight m: each channel becomes
// (m * centre + k * (sum of the four corner pixels a rows and a columns away)) / (4k + m),
// clamped. Corner rows and columns are limited to the picture on both sides (a negative
// distance swaps the corners). A divisor of 0 counts as 1.
void CornerKernel(TFastDIB& dib, int32_t distance, int32_t corner, int32_t centre);
void Sharpen(TFastDIB& dib, int32_t distance);     // corners 1, centre -10
void SharpenMore(TFastDIB& dib, int32_t distance); // corners 5, centre -35
void BlurEdges(TFastDIB& dib, int32_t distance);   // corners 2, centre -3
void BleedEdges(TFastDIB& dib, int32_t distance);  // corners 2, centre -4
// Each channel becomes the mean of the four corner pixels (same corners as above).
void SplitBlur(TFastDIB& dib, int32_t distance);
// Each pixel becomes the mean of its left (already new) and right neighbour; the first and the
// last pixel of a row take the mean with their only neighbour. A picture one pixel wide is left
// unchanged.
void SoftenRows(TFastDIB& dib);

// Rotates the colours: the first `rows` rows move to the bottom, then in every row the first
// `columns` pixels move to the end; negative counts rotate the other way. scratch is working
// memory the caller may keep between calls.
void Rotate(TFastDIB& dib, int32_t columns, int32_t rows, std::vector<uint32_t>& scratch);
// Blocks of |width| x |height| from the top-left corner (cut at the right and bottom edges) are
// filled with the colour of one pixel of the picture as it was before: the one at block offset
// (w / 2 + w % 2, h / 2 + h % 2), limited to the last column and row. Nothing when a size is 0.
void Mosaic(TFastDIB& dib, int32_t width, int32_t height);

// Adds to every channel a random integer from [0, amount) minus amount / 2, clamped; mono: one
// number per pixel for all three channels. Numbers are drawn as random() % amount, the way the
// runtime draws its uniform integers, so the same generator state gives the same picture. An
// amount outside 0..255 leaves the picture unchanged and answers false.
bool AddNoise(TFastDIB& dib, int32_t amount, bool mono, std::mt19937& random);

// Table i from `from` at entry `first` rising to `to` at entry `last`, in 16.16 fixed point:
// step = ((to - from + 1) * 65536) / (last - first), entry first + i = (from * 65536 + i * step)
// / 65536, clamped. Nothing is written when last <= first.
void LinearRise(ChannelTable& table, int first, int last, int from, int to);
// Contrast table of a value limited to -255..255: below 0 the whole range shrinks towards the
// middle; from 0 up the entries below n become 0, those from 256 - n up 255, and the rest rise
// from 0 to 255. 0 is the identity.
ChannelTable ContrastTable(int32_t value);
// Gamma table: entry i = nearest integer (halves to even) to (i / 255)^(1 / g) * 255, clamped;
// g of 0 or less (or not a number) gives the identity.
ChannelTable GammaTable(double gamma);
// Passes red, green and blue through their own tables.
void ApplyTables(TFastDIB& dib, const ChannelTable& red, const ChannelTable& green,
                 const ChannelTable& blue);
// The grey value of every pixel (T[blue] + T[green] + T[red] with T rising from 0 to 85 in
// 16.16 fixed point) into an 8-bit buffer of the same size (resized when needed).
void ToGrey(const TFastDIB& dib, TFastDIB& grey);

// The warps read src and write dst; dst must have src's size (else nothing happens). Pixels
// they do not write keep what dst held. Only the colour channels of dst are written.
//
// Wave: row y is offset by dx(y) = round(amplitude * sin(y / rowDivisor)) columns and column x by
// dy(x) = round(amplitude * sin(x / columnDivisor)) rows: dst(x, y) = src(x + dx(y), y + dy(x))
// when that lies inside. Divisors of 0, parameters that are not finite or an amplitude beyond
// the integer range answer false and write nothing.
bool Wave(const TFastDIB& src, TFastDIB& dst, double amplitude, double rowDivisor,
          double columnDivisor);
// Square wave: dst(x, y) = src(x + sx(x), y + sy(y)) with sx(x) = round(amplitude *
// sin(x / columnDivisor)), sy(y) = round(amplitude * sin(y / rowDivisor)); a source row outside
// skips the destination row, a source column outside skips the pixel. Same failures as Wave.
bool SquareWave(const TFastDIB& src, TFastDIB& dst, double amplitude, double columnDivisor,
                double rowDivisor);
// Elliptical lens over the whole picture with the refraction index max(index, 1): the pixels
// outside the ellipse inscribed in the picture are copied, those inside are refracted through
// a half ellipsoid. A non-finite index answers false and writes nothing.
bool Lens(const TFastDIB& src, TFastDIB& dst, double refractionIndex);

} // namespace kq::media
