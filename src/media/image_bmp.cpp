// Our own BMP reader. General decoders turn palette indices into colours; the engine needs the
// raw indices of 8-bit masks, so palette pictures keep them beside the colours.
#include "media/byte_reader.h"
#include "media/image_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>

namespace kq::media {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            max = mask >> shift;
        }
    }
    uint32_t Get(uint32_t value) const {
        if (mask == 0) {
            return 0;
        }
        uint32_t v = (value & mask) >> shift;
        if (max == 255) {
            return v;
        }
        return static_cast<uint32_t>((static_cast<uint64_t>(v) * 255 + max / 2) / max);
    }
};

struct BmpInfo {
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kBiRgb;
    size_t pixelOffset = 0;
    std::array<uint32_t, 256> palette{};
    uint32_t redMask = 0x00FF0000, greenMask = 0x0000FF00, blueMask = 0x000000FF;
    uint32_t alphaMask = 0xFF000000;
};

// Reads the file and info headers, the colour masks and the palette from the start of data.
LoadResult ReadInfo(std::string_view data, BmpInfo& info, std::string_view name) {
    ByteReader in(data);
    const std::string_view magic = in.Bytes(2);
    in.Skip(8); // file size, reserved
    const uint32_t dataOffset = in.U32();
    const uint32_t headerSize = in.U32();
    if (magic.size() == 2 && magic != "BM") {
        return ImageError(LoadError::Problem::Corrupt, "not a BMP file", name, 0);
    }
    if (in.Failed()) {
        return ImageError(LoadError::Problem::Truncated, "BMP file header", name, in.Offset());
    }
    // The whole info header must be there; it is then read in place.
    ByteReader header(data);
    if (headerSize < 12) {
        return ImageError(LoadError::Problem::Corrupt,
                          "BMP header size " + std::to_string(headerSize), name, 14);
    }
    if (!header.Seek(14) || !header.Skip(headerSize) || !header.Seek(18)) {
        return ImageError(LoadError::Problem::Truncated, "BMP header", name, header.Offset());
    }
    info.palette.fill(0xFF000000u);
    size_t paletteEntrySize = 4;
    size_t paletteCount = 0;
    size_t afterHeader = 14 + static_cast<size_t>(headerSize);
    if (headerSize == 12) {
        info.width = header.U16();
        info.height = header.U16();
        header.Skip(2); // planes
        info.bits = header.U16();
        paletteEntrySize = 3;
    } else if (headerSize >= 40) {
        info.width = header.I32();
        const int32_t h = header.I32();
        info.topDown = h < 0;
        info.height = info.topDown ? -static_cast<int64_t>(h) : h;
        header.Skip(2); // planes
        info.bits = header.U16();
        info.compression = header.U32();
        header.Skip(12); // image size, resolution
        paletteCount = header.U32();
        if (info.compression == kBiBitfields || info.compression == kBiAlphaBitfields) {
            // Masks sit inside larger headers, right after a 40-byte one.
            const size_t masks = headerSize >= 52 ? 54 : afterHeader;
            const size_t count = info.compression == kBiAlphaBitfields || headerSize >= 56 ? 4 : 3;
            ByteReader maskReader(data);
            if (!maskReader.Seek(masks)) {
                return ImageError(LoadError::Problem::Truncated, "BMP colour masks", name,
                                  data.size());
            }
            info.redMask = maskReader.U32();
            info.greenMask = maskReader.U32();
            info.blueMask = maskReader.U32();
            info.alphaMask = count == 4 ? maskReader.U32() : 0;
            if (maskReader.Failed()) {
                return ImageError(LoadError::Problem::Truncated, "BMP colour masks", name,
                                  maskReader.Offset());
            }
            if (headerSize == 40) {
                afterHeader += count * 4;
            }
        }
    } else {
        return ImageError(LoadError::Problem::Corrupt,
                          "unknown BMP header size " + std::to_string(headerSize), name, 14);
    }
    if (!DimensionsAcceptable(info.width, info.height)) {
        return ImageError(LoadError::Problem::Corrupt,
                          "BMP size " + std::to_string(info.width) + "x" +
                              std::to_string(info.height) + " refused",
                          name, 18);
    }
    bool supported = false;
    switch (info.bits) {
    case 1:
    case 24:
        supported = info.compression == kBiRgb;
        break;
    case 4:
        supported = info.compression == kBiRgb || info.compression == kBiRle4;
        break;
    case 8:
        supported = info.compression == kBiRgb || info.compression == kBiRle8;
        break;
    case 16:
    case 32:
        supported = info.compression == kBiRgb || info.compression == kBiBitfields ||
                    info.compression == kBiAlphaBitfields;
        break;
    default:
        break;
    }
    if (!supported) {
        // Where the bit depth lies in the core (12-byte) or the larger info header.
        const size_t bitsAt = headerSize == 12 ? 24 : 28;
        return ImageError(LoadError::Problem::Corrupt,
                          "unsupported BMP (" + std::to_string(info.bits) + " bits, compression " +
                              std::to_string(info.compression) + ")",
                          name, bitsAt);
    }
    if (info.bits == 16 && info.compression == kBiRgb) {
        // Plain 16-bit pixels are 5-5-5 with the top bit unused.
        info.redMask = 0x7C00;
        info.greenMask = 0x03E0;
        info.blueMask = 0x001F;
        info.alphaMask = 0;
    }
    if (info.bits <= 8) {
        size_t maxCount = size_t{1} << info.bits;
        if (paletteCount == 0 || paletteCount > maxCount) {
            paletteCount = maxCount;
        }
        ByteReader palette(data);
        palette.Seek(afterHeader);
        for (size_t i = 0; i < paletteCount; ++i) {
            const uint32_t blue = palette.U8();
            const uint32_t green = palette.U8();
            const uint32_t red = palette.U8();
            if (palette.Failed()) {
                break; // a short palette leaves the rest black
            }
            palette.Skip(paletteEntrySize - 3);
            info.palette[i] = 0xFF000000u | (red << 16) | (green << 8) | blue;
        }
        afterHeader += paletteCount * paletteEntrySize;
    }
    info.pixelOffset = dataOffset != 0 ? dataOffset : afterHeader;
    if (info.pixelOffset > data.size()) {
        return ImageError(LoadError::Problem::Corrupt,
                          "BMP pixel data offset " + std::to_string(info.pixelOffset) +
                              " beyond the file",
                          name, 10);
    }
    return {};
}

// Run-length data of 8-bit (one index a byte) or 4-bit (two indices a byte, high nibble first)
// pictures. Runs and deltas past the row or the picture are cut; pixels never written keep
// index 0. False when the data ends before the last row was reached, with stopAt the offset
// where decoding stopped.
bool DecodeRle(std::string_view data, const BmpInfo& info, Picture& picture, size_t& stopAt) {
    const bool fourBit = info.compression == kBiRle4;
    const int w = picture.width;
    const int h = picture.height;
    ByteReader in(data);
    in.Seek(info.pixelOffset);
    int x = 0;
    int row = 0; // in file order
    auto rowStart = [&] {
        const int y = info.topDown ? row : h - 1 - row;
        return picture.indices.data() + static_cast<size_t>(y) * w;
    };
    while (in.Ok() && in.Remaining() >= 2) {
        const uint8_t count = in.U8();
        const uint8_t value = in.U8();
        if (count > 0) {
            // An encoded run repeats one byte: both of its nibbles in turn for 4-bit data.
            const int n = std::min<int>(count, w - x);
            uint8_t* out = rowStart() + x;
            for (int i = 0; i < n; ++i) {
                out[i] = fourBit ? ((i & 1) == 0 ? value >> 4 : value & 0x0F) : value;
            }
            x += n;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++row;
            break;
        case 1: // end of bitmap
            return true;
        case 2: { // delta
            const uint8_t dx = in.U8();
            const uint8_t dy = in.U8();
            if (in.Failed()) {
                stopAt = in.Offset();
                return false;
            }
            x = std::min(w, x + dx);
            row += dy;
            break;
        }
        default: { // absolute run of `value` pixels, its bytes padded to an even count
            const size_t bytes = fourBit ? (value + 1u) / 2 : value;
            const std::string_view run = in.Bytes(bytes);
            if (in.Failed()) {
                stopAt = in.Offset();
                return false;
            }
            const int n = std::min<int>(value, w - x);
            uint8_t* out = rowStart() + x;
            for (int i = 0; i < n; ++i) {
                if (fourBit) {
                    const auto b = static_cast<uint8_t>(run[static_cast<size_t>(i / 2)]);
                    out[i] = (i & 1) == 0 ? b >> 4 : b & 0x0F;
                } else {
                    out[i] = static_cast<uint8_t>(run[static_cast<size_t>(i)]);
                }
            }
            x += n;
            in.Skip(bytes & 1); // past the end only when the data ends here anyway
            break;
        }
        }
        if (row >= h) {
            return true;
        }
    }
    // Data ran out without an end marker: accept only when every row was reached.
    stopAt = in.Offset();
    return row >= h || (row == h - 1 && x >= w);
}

} // namespace

DecodedPicture DecodeBmp(std::string_view data, std::string_view name) {
    BmpInfo info;
    if (LoadResult header = ReadInfo(data, info, name); !header) {
        return std::move(header.Error());
    }

    Picture picture;
    picture.width = static_cast<int>(info.width);
    picture.height = static_cast<int>(info.height);
    picture.bitsPerPixel = info.bits;
    const size_t w = static_cast<size_t>(picture.width);
    const size_t h = static_cast<size_t>(picture.height);

    if (info.compression == kBiRle8 || info.compression == kBiRle4) {
        picture.indices.assign(w * h, 0);
        size_t stopAt = 0;
        if (!DecodeRle(data, info, picture, stopAt)) {
            return ImageError(LoadError::Problem::Truncated, "run-length BMP data", name, stopAt);
        }
    } else {
        const size_t stride = ((w * static_cast<size_t>(info.bits) + 31) / 32) * 4;
        ByteReader in(data);
        in.Seek(info.pixelOffset);
        const size_t wholeRows = in.Remaining() / stride;
        if (wholeRows < h) {
            // Named by the first row (in file order) that does not fit.
            return ImageError(LoadError::Problem::Truncated,
                              "BMP pixel data, row " + std::to_string(wholeRows) + " of " +
                                  std::to_string(h),
                              name, info.pixelOffset + wholeRows * stride);
        }
        if (info.bits <= 8) {
            picture.indices.assign(w * h, 0);
        } else {
            picture.pixels.assign(w * h, 0);
        }
        const Channel red(info.redMask), green(info.greenMask), blue(info.blueMask);
        const bool plain32 = info.bits == 32 && info.compression == kBiRgb;
        const Channel alpha(plain32 ? 0xFF000000u : info.alphaMask);
        bool anyAlpha = false;
        for (size_t row = 0; row < h; ++row) {
            const size_t y = info.topDown ? row : h - 1 - row;
            ByteReader src(in.Bytes(stride));
            uint8_t* indices = info.bits <= 8 ? picture.indices.data() + y * w : nullptr;
            uint32_t* out = info.bits > 8 ? picture.pixels.data() + y * w : nullptr;
            uint8_t packed = 0; // the byte that holds the current 1- or 4-bit pixels
            for (size_t x = 0; x < w; ++x) {
                switch (info.bits) {
                case 1:
                    if (x % 8 == 0) {
                        packed = src.U8();
                    }
                    indices[x] = (packed >> (7 - x % 8)) & 1;
                    break;
                case 4:
                    if (x % 2 == 0) {
                        packed = src.U8();
                    }
                    indices[x] = (packed >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
                    break;
                case 8:
                    indices[x] = src.U8();
                    break;
                case 24: {
                    const uint32_t b = src.U8();
                    const uint32_t g = src.U8();
                    const uint32_t r = src.U8();
                    out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
                    break;
                }
                default: { // 16 or 32, channels given by masks
                    const uint32_t v = info.bits == 16 ? src.U16() : src.U32();
                    const uint32_t a = alpha.Get(v);
                    anyAlpha = anyAlpha || a != 0;
                    out[x] = (a << 24) | (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v);
                    break;
                }
                }
            }
        }
        if (info.bits == 16 || info.bits == 32) {
            // Most writers leave the alpha bits zero: such files are opaque pictures.
            if (!anyAlpha) {
                for (uint32_t& p : picture.pixels) {
                    p |= 0xFF000000u;
                }
            }
            picture.bitsPerPixel = anyAlpha ? 32 : 24;
        }
    }
    if (!picture.indices.empty()) {
        picture.pixels.resize(w * h);
        for (size_t i = 0; i < picture.pixels.size(); ++i) {
            picture.pixels[i] = info.palette[picture.indices[i]];
        }
    }
    return picture;
}

} // namespace kq::media
