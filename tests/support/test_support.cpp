#include "support/test_support.h"

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kq::test {

bool MissingPreconditionFails() {
    for (const char* name : {"KQ_NO_SKIP", "CI"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && (std::strcmp(value, "1") == 0 || std::strcmp(value, "true") == 0)) {
            return true;
        }
    }
    return false;
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kqtest-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(const std::string& relative, std::string_view bytes) const {
    std::filesystem::path full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

CurrentFolder::CurrentFolder(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

Bytes& Bytes::I32(int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        data_.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
    return *this;
}

Bytes& Bytes::U16(uint16_t v) {
    data_.push_back(static_cast<char>(v & 0xFF));
    data_.push_back(static_cast<char>(v >> 8));
    return *this;
}

Bytes& Bytes::U8(uint8_t v) {
    data_.push_back(static_cast<char>(v));
    return *this;
}

Bytes& Bytes::F64(double v) {
    char raw[8];
    std::memcpy(raw, &v, 8);
    data_.append(raw, 8);
    return *this;
}

Bytes& Bytes::Raw(std::string_view bytes) {
    data_.append(bytes);
    return *this;
}

Bytes& Bytes::Str(std::string_view s) {
    I32(static_cast<int32_t>(s.size()));
    return Raw(s);
}

LogCapture::LogCapture()
    : text_(std::make_shared<std::ostringstream>()), previous_(spdlog::default_logger()) {
    spdlog::set_default_logger(std::make_shared<spdlog::logger>(
        "capture", std::make_shared<spdlog::sinks::ostream_sink_mt>(*text_)));
}

LogCapture::~LogCapture() {
    spdlog::set_default_logger(previous_);
}

size_t LogCapture::Lines() const {
    const std::string text = Text();
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string RandomBytes(std::mt19937& rng, size_t count) {
    std::string out(count, '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& c : out) {
        c = static_cast<char>(byte(rng));
    }
    return out;
}

} // namespace kq::test
