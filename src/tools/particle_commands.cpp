#include "tools/particle_commands.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <ostream>
#include <system_error>

namespace kq::tools {

namespace fs = std::filesystem;

namespace {

using media::ParticleFieldKind;

std::string FieldValue(uint32_t word, ParticleFieldKind kind) {
    switch (kind) {
    case ParticleFieldKind::kInt32:
        return std::to_string(static_cast<int32_t>(word));
    case ParticleFieldKind::kUInt32:
        return std::to_string(word);
    case ParticleFieldKind::kFloat:
        break;
    }
    const float value = std::bit_cast<float>(word);
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename T> std::optional<T> ParseWhole(std::string_view text, int base = 10) {
    T value{};
    const char* end = text.data() + text.size();
    std::from_chars_result result{};
    if constexpr (std::is_floating_point_v<T>) {
        result = std::from_chars(text.data(), end, value);
    } else {
        result = std::from_chars(text.data(), end, value, base);
    }
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint32_t> ParseWord(std::string_view text, ParticleFieldKind kind) {
    switch (kind) {
    case ParticleFieldKind::kInt32: {
        const auto value = ParseWhole<int32_t>(text);
        return value ? std::optional<uint32_t>(static_cast<uint32_t>(*value)) : std::nullopt;
    }
    case ParticleFieldKind::kUInt32:
        if (text.starts_with("0x") || text.starts_with("0X")) {
            return ParseWhole<uint32_t>(text.substr(2), 16);
        }
        return ParseWhole<uint32_t>(text);
    case ParticleFieldKind::kFloat:
        break;
    }
    const auto value = ParseWhole<float>(text);
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return std::bit_cast<uint32_t>(*value);
}

// Reads at most one block from the file; nothing when it cannot be opened.
std::optional<size_t> ReadBlock(const fs::path& file, media::ParticleBlock& block) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    char buffer[media::kParticleBlockSize];
    in.read(buffer, sizeof buffer);
    if (in.bad()) {
        return std::nullopt;
    }
    return media::ReadParticleBlock(std::string_view(buffer, static_cast<size_t>(in.gcount())),
                                    block);
}

} // namespace

std::string ParticleBlockJson(const media::ParticleBlock& block, size_t bytesRead) {
    const auto& fields = media::ParticleFields();
    std::string json = "{\n";
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool present = bytesRead >= (i + 1) * 4;
        json += "  \"";
        json += fields[i].name;
        json += "\": ";
        json += present ? FieldValue(media::ParticleWord(block, i), fields[i].kind) : "null";
        json += i + 1 < fields.size() ? ",\n" : "\n";
    }
    json += "}\n";
    return json;
}

std::optional<std::string> SetParticleField(media::ParticleBlock& block,
                                            std::string_view assignment) {
    const size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        return "expected NAME=VALUE, got '" + std::string(assignment) + "'";
    }
    const std::string_view name = assignment.substr(0, equals);
    const std::string_view text = assignment.substr(equals + 1);
    const int index = media::ParticleFieldIndex(name);
    if (index < 0) {
        return "unknown field '" + std::string(name) + "'";
    }
    const ParticleFieldKind kind = media::ParticleFields()[static_cast<size_t>(index)].kind;
    const std::optional<uint32_t> word = ParseWord(text, kind);
    if (!word) {
        const char* expected = kind == ParticleFieldKind::kFloat   ? "a finite number"
                               : kind == ParticleFieldKind::kInt32 ? "a 32-bit integer"
                                                                   : "an unsigned 32-bit integer";
        return "bad value '" + std::string(text) + "' for " + std::string(name) + ": expected " +
               expected;
    }
    media::SetParticleWord(block, static_cast<size_t>(index), *word);
    return std::nullopt;
}

int ParticlesPrintCommand(const fs::path& file, std::ostream& out, std::ostream& err) {
    media::ParticleBlock block{};
    const std::optional<size_t> read = ReadBlock(file, block);
    if (!read) {
        err << "kqpack: cannot read '" << file.string() << "'\n";
        return 1;
    }
    out << ParticleBlockJson(block, *read);
    return 0;
}

int ParticlesWriteCommand(const std::optional<fs::path>& input,
                          const std::vector<std::string>& assignments, const fs::path& output,
                          std::ostream& err) {
    media::ParticleBlock block{};
    if (input && !ReadBlock(*input, block)) {
        err << "kqpack: cannot read '" << input->string() << "'\n";
        return 1;
    }
    for (const std::string& assignment : assignments) {
        if (const auto error = SetParticleField(block, assignment)) {
            err << "kqpack: " << *error << "\n";
            return 1;
        }
    }
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    if (!file ||
        !file.write(reinterpret_cast<const char*>(block.data()),
                    static_cast<std::streamsize>(block.size())) ||
        !file.flush()) {
        err << "kqpack: cannot write '" << output.string() << "'\n";
        return 1;
    }
    return 0;
}

} // namespace kq::tools
