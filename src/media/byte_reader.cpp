#include "media/byte_reader.h"

#include <bit>
#include <cassert>

namespace kq::media {

const unsigned char* ByteReader::Take(size_t count) {
    if (failed_) {
        return nullptr;
    }
    if (count > data_.size() - pos_) {
        failed_ = true;
        truncated_ = true;
        return nullptr;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
    pos_ += count;
    return p;
}

uint64_t ByteReader::Unsigned(size_t count) {
    const unsigned char* p = Take(count);
    if (p == nullptr) {
        return 0;
    }
    uint64_t v = 0;
    for (size_t i = count; i-- > 0;) {
        v = (v << 8) | p[i];
    }
    return v;
}

uint8_t ByteReader::U8() {
    return static_cast<uint8_t>(Unsigned(1));
}

uint16_t ByteReader::U16() {
    return static_cast<uint16_t>(Unsigned(2));
}

uint32_t ByteReader::U32() {
    return static_cast<uint32_t>(Unsigned(4));
}

uint64_t ByteReader::U64() {
    return Unsigned(8);
}

float ByteReader::F32() {
    return std::bit_cast<float>(U32());
}

double ByteReader::F64() {
    return std::bit_cast<double>(U64());
}

std::string_view ByteReader::Bytes(size_t count) {
    const unsigned char* p = Take(count);
    if (p == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(p), count};
}

bool ByteReader::Skip(size_t count) {
    return Take(count) != nullptr;
}

bool ByteReader::Seek(size_t offset) {
    if (failed_) {
        return false;
    }
    if (offset > data_.size()) {
        failed_ = true;
        truncated_ = true;
        return false;
    }
    pos_ = offset;
    return true;
}

void ByteWriter::Unsigned(uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        data_.push_back(static_cast<char>(static_cast<uint8_t>(v >> (8 * i))));
    }
}

void ByteWriter::F32(float v) {
    U32(std::bit_cast<uint32_t>(v));
}

void ByteWriter::F64(double v) {
    U64(std::bit_cast<uint64_t>(v));
}

void ByteWriter::PatchU32(size_t offset, uint32_t v) {
    assert(offset <= data_.size() && data_.size() - offset >= 4);
    if (offset > data_.size() || data_.size() - offset < 4) {
        return;
    }
    for (size_t i = 0; i < 4; ++i) {
        data_[offset + i] = static_cast<char>(static_cast<uint8_t>(v >> (8 * i)));
    }
}

} // namespace kq::media
