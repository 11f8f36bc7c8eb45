// Small helpers shared by the test programs: temporary folders, file bytes, byte builders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace spdlog {
class logger;
}

namespace kq::test {

// A fresh folder under the system temp folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes bytes to a file below the folder (creating sub-folders) and returns its full path.
    std::filesystem::path Write(const std::string& relative, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& file);

// Makes a folder the process's current folder until destruction, then restores the previous.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::filesystem::path previous_;
};

// Little-endian byte builder for hand-made binary inputs.
class Bytes {
public:
    Bytes& I32(int32_t v);
    Bytes& U16(uint16_t v);
    Bytes& U8(uint8_t v);
    Bytes& F64(double v);
    Bytes& Raw(std::string_view bytes);
    // A 32-bit length followed by the bytes.
    Bytes& Str(std::string_view s);
    const std::string& Data() const { return data_; }
    size_t Size() const { return data_.size(); }

private:
    std::string data_;
};

// Collects what the code logs (through the default logger) while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const { return text_->str(); }
    size_t Lines() const;

private:
    std::shared_ptr<std::ostringstream> text_;
    std::shared_ptr<spdlog::logger> previous_;
};

// Deterministic random bytes for corruption tests.
std::string RandomBytes(std::mt19937& rng, size_t count);

// Whether a missing tool, device or built program fails a test instead of skipping it: on in
// scripts/test and CI (KQ_NO_SKIP=1 or CI=true), so a green run really ran every test.
bool MissingPreconditionFails();

} // namespace kq::test

// Leaves the running test because WHAT it needs is missing here: a skip on a developer's
// machine, a failure naming WHAT under scripts/test and CI. Stream the description:
//   KQ_SKIP_MISSING() << "kqplayer is not built";
#define KQ_SKIP_MISSING()                                                                          \
    return ::testing::internal::AssertHelper(                                                      \
               ::kq::test::MissingPreconditionFails() ? ::testing::TestPartResult::kFatalFailure   \
                                                      : ::testing::TestPartResult::kSkip,          \
               __FILE__, __LINE__, "missing here:") = ::testing::Message()
