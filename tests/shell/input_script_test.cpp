#include "shell/input_script.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

namespace kq::shell {
namespace {

using ::testing::ElementsAre;

TEST(InputScript, ParsesEveryKindOfLine) {
    const ParsedInput p = ParseInputScript("# a comment\r\n"
                                           "1 move 10 20\r\n"
                                           "\n"
                                           "  2   down 5 -3\n"
                                           "2 up 1023 767\n"
                                           "3 key 13 alt\n"
                                           "3 key 65\n"
                                           "4 char 16711935\n"
                                           "5 activate 0\n"
                                           "6 activate 1");
    EXPECT_EQ(p.skippedLines, 0);
    EXPECT_THAT(p.events, ElementsAre(InputEvent{1, InputKind::Move, 10, 20, 0, false},
                                      InputEvent{2, InputKind::Down, 5, -3, 0, false},
                                      InputEvent{2, InputKind::Up, 1023, 767, 0, false},
                                      InputEvent{3, InputKind::Key, 0, 0, 13, true},
                                      InputEvent{3, InputKind::Key, 0, 0, 65, false},
                                      InputEvent{4, InputKind::Char, 0, 0, 16711935u, false},
                                      InputEvent{5, InputKind::Activate, 0, 0, 0, false},
                                      InputEvent{6, InputKind::Activate, 0, 0, 1, false}));
}

TEST(InputScript, MalformedLinesAreSkippedAndTheRestKept) {
    const ParsedInput p = ParseInputScript("0 move 1 1\n"           // steps count from 1
                                           "-4 move 1 1\n"          // negative step
                                           "x move 1 1\n"           // not a number
                                           "7 jump 1 1\n"           // unknown kind
                                           "7 move 1\n"             // missing Y
                                           "7 move 1 2 3\n"         // extra word
                                           "7 move 1.5 2\n"         // not whole
                                           "7 key 13 ctrl\n"        // unknown modifier
                                           "7 key 70000\n"          // no such key code
                                           "7 activate 2\n"         // not 0 or 1
                                           "7 char\n"               // missing code
                                           "7 move 99999999999 0\n" // out of range
                                           "7\n"                    // step only
                                           "8 move 3 4\n");
    EXPECT_EQ(p.skippedLines, 13);
    EXPECT_THAT(p.events, ElementsAre(InputEvent{8, InputKind::Move, 3, 4, 0, false}));
}

TEST(InputScript, EventsAreOrderedByStepKeepingFileOrderWithinAStep) {
    const ParsedInput p = ParseInputScript("5 move 1 1\n3 move 2 2\n5 move 3 3\n3 down 4 4\n");
    ASSERT_EQ(p.events.size(), 4u);
    EXPECT_EQ(p.events[0], (InputEvent{3, InputKind::Move, 2, 2, 0, false}));
    EXPECT_EQ(p.events[1], (InputEvent{3, InputKind::Down, 4, 4, 0, false}));
    EXPECT_EQ(p.events[2], (InputEvent{5, InputKind::Move, 1, 1, 0, false}));
    EXPECT_EQ(p.events[3], (InputEvent{5, InputKind::Move, 3, 3, 0, false}));
}

TEST(InputScript, FormattedEventsParseBackTheSame) {
    const std::vector<InputEvent> events = {
        {1, InputKind::Move, -5, 7, 0, false},    {2, InputKind::Down, 0, 0, 0, false},
        {2, InputKind::Up, 1, 2, 0, false},       {9, InputKind::Key, 0, 0, 13, true},
        {9, InputKind::Key, 0, 0, 27, false},     {10, InputKind::Char, 0, 0, 0x00FF00FFu, false},
        {11, InputKind::Activate, 0, 0, 1, false}};
    std::string text;
    for (const InputEvent& e : events) {
        text += FormatInputEvent(e) + "\n";
    }
    const ParsedInput p = ParseInputScript(text);
    EXPECT_EQ(p.skippedLines, 0);
    EXPECT_EQ(p.events, events);
}

TEST(InputScript, RandomBytesNeverCrashTheParser) {
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const std::string junk = test::RandomBytes(rng, 1 + i * 3);
        const ParsedInput p = ParseInputScript(junk);
        for (const InputEvent& e : p.events) {
            EXPECT_GE(e.step, 1u);
        }
    }
}

TEST(InputScript, QueueHandsOutEventsUpToAStep) {
    InputQueue q(ParseInputScript("1 move 1 1\n3 move 3 3\n3 down 3 3\n7 up 3 3\n").events);
    EXPECT_EQ(q.NextStep(), 1u);
    EXPECT_EQ(q.TakeDue(1).size(), 1u);
    EXPECT_TRUE(q.TakeDue(2).empty());
    EXPECT_EQ(q.TakeDue(5).size(), 2u);
    EXPECT_EQ(q.NextStep(), 7u);
    EXPECT_EQ(q.TakeDue(100).size(), 1u);
    EXPECT_TRUE(q.Empty());
    EXPECT_FALSE(q.NextStep().has_value());
}

TEST(InputScript, RecorderWritesWhatTheParserReads) {
    test::TempDir dir;
    const auto file = dir.Path() / "session.txt";
    {
        InputRecorder rec;
        ASSERT_TRUE(rec.Open(file));
        rec.Write({4, InputKind::Down, 10, 11, 0, false});
        rec.Write({4, InputKind::Key, 0, 0, 13, true});
    }
    std::optional<ParsedInput> p = ReadInputScript(file);
    ASSERT_TRUE(p.has_value());
    EXPECT_THAT(p->events, ElementsAre(InputEvent{4, InputKind::Down, 10, 11, 0, false},
                                       InputEvent{4, InputKind::Key, 0, 0, 13, true}));
    EXPECT_FALSE(ReadInputScript(dir.Path() / "missing.txt").has_value());
}

} // namespace
} // namespace kq::shell
