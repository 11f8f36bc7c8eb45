// The saved-state file: its record format, the 10-byte extended float, and writing a file so
// that a failed save never damages the previous one.
//
// A state file is a sequence of records, all integers little-endian:
//   key        int32   Key of the element the record belongs to
//   nameLength int32   byte count of the name
//   name       bytes   property or variable name
//   tag        1 byte  'I', 'E', 'W', 'O' or 'S'
//   value      by tag: 'I' int32; 'E' 10-byte x87 extended float; 'W' uint16; 'O' int32 Key of
//                      the referenced element (0: none); 'S' int32 length, then the bytes.
// A record with any other tag has no value bytes: the reader hands it over and goes on.
#pragma once

#include "media/byte_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

namespace kq::scene::state {

inline constexpr char kTagInt = 'I';
inline constexpr char kTagFloat = 'E';
inline constexpr char kTagWord = 'W';
inline constexpr char kTagObject = 'O';
inline constexpr char kTagString = 'S';

using Extended = std::array<uint8_t, 10>;

// The x87 80-bit extended form of a double (exact: every double has one), little-endian:
// 64-bit significand with explicit integer bit, then sign and 15-bit exponent (bias 16383).
// Infinities and NaNs keep their class (a NaN comes out quiet).
Extended DoubleToExtended(double v);
// The double nearest to an extended value (round to nearest, ties to even): values beyond the
// double range give an infinity, values below it 0. Pseudo-denormals and unnormals are read by
// their significand and exponent as they stand; an exponent of all ones gives an infinity when
// the fraction bits are 0, else a NaN.
double ExtendedToDouble(const uint8_t* bytes);

// Appends records to a byte buffer.
class RecordWriter {
public:
    void Int(int32_t key, std::string_view name, int32_t v);
    void Float(int32_t key, std::string_view name, double v);
    void Word(int32_t key, std::string_view name, uint16_t v);
    void Object(int32_t key, std::string_view name, int32_t referencedKey);
    void String(int32_t key, std::string_view name, std::string_view v);

    const std::string& Data() const { return out_.Data(); }
    void Reserve(size_t bytes) { out_.Reserve(bytes); }

private:
    void Header(int32_t key, std::string_view name, char tag);

    media::ByteWriter out_;
};

// One record as read; name and text are views into the reader's buffer.
struct Record {
    int32_t key = 0;
    std::string_view name;
    char tag = 0;
    int32_t intValue = 0;   // 'I', and the referenced Key of 'O'
    double floatValue = 0;  // 'E'
    uint16_t wordValue = 0; // 'W'
    std::string_view text;  // 'S'
};

// Reads records from a buffer it does not own. Every length is checked against what is left;
// nothing is allocated.
class RecordReader {
public:
    enum class Status {
        Ok,      // a record was read
        End,     // the buffer ended between records
        Corrupt, // a negative length, or a record cut short by the end of the buffer
    };

    explicit RecordReader(std::string_view data) : in_(data) {}

    Status Next(Record& out);
    // Where the next record starts (after Corrupt: where the bad record starts).
    size_t Offset() const { return in_.Offset(); }
    // After Corrupt: true when the record was cut short by the end of the buffer, false when
    // it holds a negative length.
    bool CutShort() const { return cutShort_; }

private:
    media::ByteReader in_; // always at a record boundary: Next reads through a copy
    bool cutShort_ = false;
};

// Options of WriteFileReplacing. failAfterBytes lets tests make the write fail once that many
// bytes have gone to the temporary file, as a full disk would.
struct ReplaceOptions {
    size_t failAfterBytes = std::numeric_limits<size_t>::max();
};

// Writes bytes to a temporary file beside target, flushes it to the disk and renames it over
// target, so that target holds either its old contents or all the new bytes, never a mix.
// On failure the temporary file is removed, target is left as it was and the reason is put
// in error.
bool WriteFileReplacing(const std::filesystem::path& target, std::string_view bytes,
                        std::string& error, const ReplaceOptions& options = {});

// The temporary file WriteFileReplacing uses for target.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

} // namespace kq::scene::state
