// Input scripts: the text form of a session's mouse, keyboard and window events, used to replay
// input in headless runs and written by --record.
//
// One event per line: "STEP move X Y", "STEP down X Y", "STEP up X Y", "STEP key CODE [alt]",
// "STEP char CODE" or "STEP activate 0|1". STEP (from 1) is the processing step the event is
// delivered before; X, Y are scene pixels; CODE is a virtual-key code or a character message
// word. Blank lines and lines starting with "#" are ignored. A malformed line is logged with its
// line number and skipped; the rest of the file still counts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kq::shell {

enum class InputKind : uint8_t { Move, Down, Up, Key, Char, Activate };

struct InputEvent {
    uint64_t step = 1;
    InputKind kind = InputKind::Move;
    int32_t x = 0;     // move/down/up
    int32_t y = 0;     // move/down/up
    uint32_t code = 0; // key: virtual-key code; char: message word; activate: 0 or 1
    bool alt = false;  // key: Alt was the only modifier held

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

struct ParsedInput {
    std::vector<InputEvent> events; // ordered by step, file order within a step
    int skippedLines = 0;
};

ParsedInput ParseInputScript(std::string_view text);
// Nothing (logged) when the file cannot be read or is larger than 64 MiB.
std::optional<ParsedInput> ReadInputScript(const std::filesystem::path& file);
// The line of one event, without the line end.
std::string FormatInputEvent(const InputEvent& event);

// Delivers scripted events in step order.
class InputQueue {
public:
    explicit InputQueue(std::vector<InputEvent> events) : events_(std::move(events)) {}
    // The events due before `step` (every not yet taken event with event.step <= step).
    std::vector<InputEvent> TakeDue(uint64_t step);
    // The step of the next event not taken, if any.
    std::optional<uint64_t> NextStep() const;
    bool Empty() const { return next_ >= events_.size(); }

private:
    std::vector<InputEvent> events_;
    size_t next_ = 0;
};

// Writes events as they happen, one flushed line each, so a crash still leaves the input
// that led to it.
class InputRecorder {
public:
    // False (logged) when the file cannot be created.
    bool Open(const std::filesystem::path& file);
    bool IsOpen() const { return out_.is_open(); }
    void Write(const InputEvent& event);

private:
    std::ofstream out_;
};

} // namespace kq::shell
