#include "shell/input_script.h"

#include "media/game_files.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <charconv>

namespace kq::shell {

namespace {

constexpr uintmax_t kMaxInputFileSize = uintmax_t{64} << 20;

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

template <typename T> bool ParseNumber(std::string_view word, T& out) {
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, out);
    return ec == std::errc() && ptr == end;
}

std::optional<InputKind> KindFromName(std::string_view name) {
    if (name == "move") {
        return InputKind::Move;
    }
    if (name == "down") {
        return InputKind::Down;
    }
    if (name == "up") {
        return InputKind::Up;
    }
    if (name == "key") {
        return InputKind::Key;
    }
    if (name == "char") {
        return InputKind::Char;
    }
    if (name == "activate") {
        return InputKind::Activate;
    }
    return std::nullopt;
}

// Parses one line; a reason for the log when it is malformed.
std::optional<InputEvent> ParseLine(const std::vector<std::string_view>& w, std::string& why) {
    InputEvent e;
    if (w.size() < 2) {
        why = "expected STEP KIND ...";
        return std::nullopt;
    }
    if (!ParseNumber(w[0], e.step) || e.step == 0) {
        why = "STEP must be a whole number from 1";
        return std::nullopt;
    }
    std::optional<InputKind> kind = KindFromName(w[1]);
    if (!kind) {
        why = "unknown event kind";
        return std::nullopt;
    }
    e.kind = *kind;
    switch (e.kind) {
    case InputKind::Move:
    case InputKind::Down:
    case InputKind::Up:
        if (w.size() != 4 || !ParseNumber(w[2], e.x) || !ParseNumber(w[3], e.y)) {
            why = "expected X Y";
            return std::nullopt;
        }
        return e;
    case InputKind::Key:
        if (w.size() < 3 || w.size() > 4 || !ParseNumber(w[2], e.code) || e.code > 0xFFFF ||
            (w.size() == 4 && w[3] != "alt")) {
            why = "expected CODE [alt]";
            return std::nullopt;
        }
        e.alt = w.size() == 4;
        return e;
    case InputKind::Char:
        if (w.size() != 3 || !ParseNumber(w[2], e.code)) {
            why = "expected CODE";
            return std::nullopt;
        }
        return e;
    case InputKind::Activate:
        if (w.size() != 3 || !ParseNumber(w[2], e.code) || e.code > 1) {
            why = "expected 0 or 1";
            return std::nullopt;
        }
        return e;
    }
    why = "unknown event kind";
    return std::nullopt;
}

} // namespace

ParsedInput ParseInputScript(std::string_view text) {
    ParsedInput result;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::vector<std::string_view> words = SplitWords(line);
        if (words.empty() || words[0].front() == '#') {
            continue;
        }
        std::string why;
        if (std::optional<InputEvent> e = ParseLine(words, why)) {
            result.events.push_back(*e);
        } else {
            ++result.skippedLines;
            spdlog::warn("input: line {} skipped ({}): '{}'", lineNo, why,
                         line.substr(0, std::min<size_t>(line.size(), 80)));
        }
    }
    std::stable_sort(result.events.begin(), result.events.end(),
                     [](const InputEvent& a, const InputEvent& b) { return a.step < b.step; });
    return result;
}

std::optional<ParsedInput> ReadInputScript(const std::filesystem::path& file) {
    std::optional<std::string> text = media::ReadWholeFile(file, kMaxInputFileSize);
    if (!text) {
        spdlog::error("input: cannot read input file {}", file.string());
        return std::nullopt;
    }
    return ParseInputScript(*text);
}

std::string FormatInputEvent(const InputEvent& e) {
    const std::string step = std::to_string(e.step);
    switch (e.kind) {
    case InputKind::Move:
        return step + " move " + std::to_string(e.x) + " " + std::to_string(e.y);
    case InputKind::Down:
        return step + " down " + std::to_string(e.x) + " " + std::to_string(e.y);
    case InputKind::Up:
        return step + " up " + std::to_string(e.x) + " " + std::to_string(e.y);
    case InputKind::Key:
        return step + " key " + std::to_string(e.code) + (e.alt ? " alt" : "");
    case InputKind::Char:
        return step + " char " + std::to_string(e.code);
    case InputKind::Activate:
        return step + " activate " + (e.code ? "1" : "0");
    }
    return step;
}

std::vector<InputEvent> InputQueue::TakeDue(uint64_t step) {
    std::vector<InputEvent> due;
    while (next_ < events_.size() && events_[next_].step <= step) {
        due.push_back(events_[next_++]);
    }
    return due;
}

std::optional<uint64_t> InputQueue::NextStep() const {
    if (next_ >= events_.size()) {
        return std::nullopt;
    }
    return events_[next_].step;
}

bool InputRecorder::Open(const std::filesystem::path& file) {
    out_.open(file, std::ios::binary | std::ios::trunc);
    if (!out_) {
        spdlog::error("input: cannot create record file {}", file.string());
        return false;
    }
    out_ << "# kqplayer input record: STEP move|down|up X Y, STEP key CODE [alt], "
            "STEP char CODE, STEP activate 0|1\n";
    out_.flush();
    return true;
}

void InputRecorder::Write(const InputEvent& event) {
    if (!out_.is_open()) {
        return;
    }
    out_ << FormatInputEvent(event) << '\n';
    out_.flush();
}

} // namespace kq::shell
