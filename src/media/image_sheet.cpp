#include "media/image_sheet.h"

#include <charconv>

namespace kq::media {

namespace {

constexpr int kMaxCount = 1 << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// One line as a count; nothing when the line is not a number.
std::optional<int> ParseCount(std::string_view line) {
    while (!line.empty() && IsBlank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && IsBlank(line.back())) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return 0;
    }
    if (line.front() == '+') {
        line.remove_prefix(1);
    }
    int value = 0;
    auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc() || end != line.data() + line.size() || value < 0 || value > kMaxCount) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<SheetCounts> ParseSheet(std::string_view text) {
    int values[2] = {0, 0};
    for (int i = 0; i < 2 && !text.empty(); ++i) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        auto value = ParseCount(line);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    return SheetCounts{values[0] > 0 ? values[0] : 1, values[1] > 0 ? values[1] : 1};
}

PatternLayout MakePatternLayout(int width, int height, SheetCounts counts) {
    PatternLayout layout;
    layout.columns = counts.columns > 0 ? counts.columns : 1;
    layout.rows = counts.rows > 0 ? counts.rows : 1;
    layout.patternWidth = width / layout.columns;
    layout.patternHeight = height / layout.rows;
    layout.textureWidth = TextureSideFor(layout.patternWidth);
    layout.textureHeight = TextureSideFor(layout.patternHeight);
    return layout;
}

} // namespace kq::media
