// Bounded little-endian reading and writing of binary formats.
//
// ByteReader walks a buffer it does not own. Every read is checked against what is left: a
// read that does not fit fails, returns zero (or an empty view), leaves the offset where it
// was and sets a failure flag that sticks, so every later read, skip or seek fails as well.
// A parser can therefore read a whole record and test Ok() once at the end, and the offset
// of a failed reader says where the first failed read began.
//
// ByteWriter appends the same encodings to a byte buffer it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kq::media {

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::string_view data) : data_(data) {}

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    int8_t I8() { return static_cast<int8_t>(U8()); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t I64() { return static_cast<int64_t>(U64()); }
    float F32();
    double F64();
    // The next count bytes as a view into the buffer; empty on failure.
    std::string_view Bytes(size_t count);

    // Moves forward by count bytes / to an absolute offset (at most Size()).
    bool Skip(size_t count);
    bool Seek(size_t offset);
    // Marks the reader failed: for a value that was read but makes no sense (a negative
    // length), so that the rest of the parse stops the same way as at the end of the data.
    void Fail() { failed_ = true; }

    bool Ok() const { return !failed_; }
    bool Failed() const { return failed_; }
    // Failed because a read did not fit what was left (rather than through Fail()).
    bool Truncated() const { return truncated_; }
    size_t Offset() const { return pos_; }
    size_t Size() const { return data_.size(); }
    size_t Remaining() const { return data_.size() - pos_; }
    std::string_view Data() const { return data_; }

private:
    // The next count bytes, advancing past them; nullptr (and failed) when they do not fit.
    const unsigned char* Take(size_t count);
    uint64_t Unsigned(size_t count);

    std::string_view data_;
    size_t pos_ = 0;
    bool failed_ = false;
    bool truncated_ = false;
};

class ByteWriter {
public:
    void U8(uint8_t v) { data_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) { Unsigned(v, 2); }
    void U32(uint32_t v) { Unsigned(v, 4); }
    void U64(uint64_t v) { Unsigned(v, 8); }
    void I8(int8_t v) { U8(static_cast<uint8_t>(v)); }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void I64(int64_t v) { U64(static_cast<uint64_t>(v)); }
    void F32(float v);
    void F64(double v);
    void Bytes(std::string_view bytes) { data_.append(bytes); }
    // Overwrites four bytes already written at offset (a length known only afterwards).
    void PatchU32(size_t offset, uint32_t v);

    void Reserve(size_t bytes) { data_.reserve(bytes); }
    size_t Size() const { return data_.size(); }
    const std::string& Data() const { return data_; }
    std::string Take() { return std::move(data_); }

private:
    void Unsigned(uint64_t v, size_t count);

    std::string data_;
};

} // namespace kq::media
