#include "scene/state_file_format.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kq::scene::state {

namespace {

constexpr int kExtendedBias = 16383;
constexpr uint16_t kExtendedMaxExponent = 0x7FFF;
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;

Extended Pack(bool negative, uint16_t exponent, uint64_t significand) {
    Extended out{};
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<uint8_t>(significand >> (8 * i));
    }
    const uint16_t top = static_cast<uint16_t>((negative ? 0x8000 : 0) | (exponent & 0x7FFF));
    out[8] = static_cast<uint8_t>(top);
    out[9] = static_cast<uint8_t>(top >> 8);
    return out;
}

// M x 2^-1074 rounded to the nearest multiple of 2^-1074 (ties to even), for results below
// the smallest normal double, where converting M first would round twice.
double SubnormalFromSignificand(uint64_t significand, int scale) {
    // value = significand x 2^scale; k is the shift that brings it to units of 2^-1074.
    const int k = scale + 1074;
    if (k >= 0) {
        return std::ldexp(static_cast<double>(significand << k), -1074);
    }
    const int shift = -k;
    if (shift > 64) {
        return 0.0;
    }
    const uint64_t quotient = shift == 64 ? 0 : significand >> shift;
    const uint64_t remainder =
        shift == 64 ? significand : significand & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    uint64_t rounded = quotient;
    if (remainder > half || (remainder == half && (quotient & 1) != 0)) {
        ++rounded;
    }
    return std::ldexp(static_cast<double>(rounded), -1074);
}

} // namespace

Extended DoubleToExtended(double v) {
    const bool negative = std::signbit(v);
    if (std::isnan(v)) {
        const uint64_t fraction = std::bit_cast<uint64_t>(v) & ((uint64_t{1} << 52) - 1);
        return Pack(negative, kExtendedMaxExponent,
                    kIntegerBit | (uint64_t{1} << 62) | (fraction << 11));
    }
    if (std::isinf(v)) {
        return Pack(negative, kExtendedMaxExponent, kIntegerBit);
    }
    if (v == 0.0) {
        return Pack(negative, 0, 0);
    }
    // |v| = m x 2^e with m in [0.5, 1): the significand is m x 2^64 (exact, 53 bits used) and
    // its top bit weighs 2^(e - 1).
    int e = 0;
    const double m = std::frexp(std::fabs(v), &e);
    const uint64_t significand = static_cast<uint64_t>(std::ldexp(m, 64));
    return Pack(negative, static_cast<uint16_t>(e - 1 + kExtendedBias), significand);
}

double ExtendedToDouble(const uint8_t* bytes) {
    uint64_t significand = 0;
    for (int i = 7; i >= 0; --i) {
        significand = (significand << 8) | bytes[i];
    }
    const uint16_t top = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
    const bool negative = (top & 0x8000) != 0;
    const int exponent = top & 0x7FFF;
    double magnitude = 0.0;
    if (exponent == kExtendedMaxExponent) {
        magnitude =
            (significand & ~kIntegerBit) == 0 ? HUGE_VAL : std::numeric_limits<double>::quiet_NaN();
    } else if (significand != 0) {
        // value = significand x 2^scale; an exponent field of 0 weighs like 1 (denormals).
        const int scale = std::max(exponent, 1) - kExtendedBias - 63;
        const int topBit = 63 - std::countl_zero(significand);
        if (topBit + scale >= -1022) {
            magnitude = std::ldexp(static_cast<double>(significand), scale);
        } else {
            magnitude = SubnormalFromSignificand(significand, scale);
        }
    }
    return negative ? -magnitude : magnitude;
}

// ---- RecordWriter ----

void RecordWriter::Header(int32_t key, std::string_view name, char tag) {
    out_.I32(key);
    out_.I32(static_cast<int32_t>(name.size()));
    out_.Bytes(name);
    out_.U8(static_cast<uint8_t>(tag));
}

void RecordWriter::Int(int32_t key, std::string_view name, int32_t v) {
    Header(key, name, kTagInt);
    out_.I32(v);
}

void RecordWriter::Float(int32_t key, std::string_view name, double v) {
    Header(key, name, kTagFloat);
    const Extended bytes = DoubleToExtended(v);
    out_.Bytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void RecordWriter::Word(int32_t key, std::string_view name, uint16_t v) {
    Header(key, name, kTagWord);
    out_.U16(v);
}

void RecordWriter::Object(int32_t key, std::string_view name, int32_t referencedKey) {
    Header(key, name, kTagObject);
    out_.I32(referencedKey);
}

void RecordWriter::String(int32_t key, std::string_view name, std::string_view v) {
    Header(key, name, kTagString);
    out_.I32(static_cast<int32_t>(v.size()));
    out_.Bytes(v);
}

// ---- RecordReader ----

RecordReader::Status RecordReader::Next(Record& out) {
    if (in_.Remaining() == 0) {
        return Status::End;
    }
    media::ByteReader in = in_;
    out.key = in.I32();
    const int32_t nameLength = in.I32();
    if (nameLength < 0) {
        in.Fail();
    }
    out.name = in.Bytes(in.Ok() ? static_cast<size_t>(nameLength) : 0);
    out.tag = static_cast<char>(in.U8());
    switch (out.tag) {
    case kTagInt:
    case kTagObject:
        out.intValue = in.I32();
        break;
    case kTagFloat: {
        const std::string_view bytes = in.Bytes(sizeof(Extended));
        if (in.Ok()) {
            out.floatValue = ExtendedToDouble(reinterpret_cast<const uint8_t*>(bytes.data()));
        }
        break;
    }
    case kTagWord:
        out.wordValue = in.U16();
        break;
    case kTagString: {
        const int32_t length = in.I32();
        if (length < 0) {
            in.Fail();
        }
        out.text = in.Bytes(in.Ok() ? static_cast<size_t>(length) : 0);
        break;
    }
    default:
        break; // an unknown tag carries no value bytes
    }
    if (in.Failed()) {
        cutShort_ = in.Truncated();
        return Status::Corrupt;
    }
    in_ = in;
    return Status::Ok;
}

// ---- Replacing a file ----

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
    std::filesystem::path temp = target;
    temp += ".tmp";
    return temp;
}

namespace {

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view bytes, size_t limit, std::string& error) {
    const size_t total = std::min(bytes.size(), limit);
    size_t done = 0;
    while (done < total) {
        const ssize_t n = ::write(fd, bytes.data() + done, total - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = ErrnoText("write");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (total < bytes.size()) {
        error = "write: stopped after " + std::to_string(total) + " bytes";
        return false;
    }
    return true;
}

// Makes the rename itself durable; a failure here does not undo the save.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes,
                        std::string& error, const ReplaceOptions& options) {
    const std::filesystem::path temp = TemporaryPathFor(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = ErrnoText("open");
        return false;
    }
    bool ok = WriteAll(fd, bytes, options.failAfterBytes, error);
    if (ok && ::fsync(fd) != 0) {
        error = ErrnoText("fsync");
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = ErrnoText("close");
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = ErrnoText("rename");
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(target.parent_path());
    return true;
}

} // namespace kq::scene::state
