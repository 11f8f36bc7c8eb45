// Why a file could not be loaded (or was loaded only in part), as a value.
//
// Loaders answer a LoadResult instead of logging: the caller decides how to report it and
// logs it once, and tests check the reason and the byte offset instead of reading the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kq::media {

struct LoadError {
    enum class Problem {
        Unreadable, // the file is missing or cannot be read
        Truncated,  // the data ends before what it declares
        Corrupt,    // a value makes no sense (a negative length, an offset outside the file)
    };

    Problem problem = Problem::Corrupt;
    std::string what;    // what was being read, e.g. "the record of child 2 of 'Hall' (TKQScreen)"
    std::string file;    // the file's name as the user knows it; may be empty for a buffer
    uint64_t offset = 0; // where in the file the problem lies (not for Unreadable)

    // One line for the log: "<kind> file F is truncated at byte N: what", "... is corrupt at
    // byte N: what" or "... cannot be read: what". kind names the format ("scene", "pack").
    std::string Message(std::string_view kind) const;
    // The part after the file name: "is truncated at byte N: what".
    std::string Where() const;
};

// Success, or the reason of a failure.
class [[nodiscard]] LoadResult {
public:
    LoadResult() = default;
    LoadResult(LoadError error) : error_(std::move(error)) {}

    bool Ok() const { return !error_.has_value(); }
    explicit operator bool() const { return Ok(); }
    // Only on failure.
    const LoadError& Error() const { return *error_; }
    LoadError& Error() { return *error_; }

private:
    std::optional<LoadError> error_;
};

// A loaded value, or the reason there is none. Reads like std::optional<T> for the value.
template <class T> class [[nodiscard]] Loaded {
public:
    Loaded(T value) : value_(std::move(value)) {}
    Loaded(LoadError error) : error_(std::move(error)) {}

    bool Ok() const { return value_.has_value(); }
    explicit operator bool() const { return Ok(); }
    // Only on success.
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }
    // Only on failure.
    const LoadError& Error() const { return *error_; }

private:
    std::optional<T> value_;
    std::optional<LoadError> error_;
};

} // namespace kq::media
