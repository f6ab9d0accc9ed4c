#include "convert/writer/notes_beats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(SplitNotesLines, CasesFromText) {
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {std::string("a\r\nb\n\n\n"), {"a", "b"}},
        {">", {" >"}},
        {"x\n>\n >", {"x", " >", " >"}},
        {"a\tb", {"a\tb"}},
        {std::string("a\x07z"), {"az"}},
        {std::string("a\0b", 3), {"ab"}},
        {"caf\xc3\xa9", {"caf\xc3\xa9"}},  // bytes above 127 are kept
        {"\n\nmiddle\n\nend", {"", "", "middle", "", "end"}},
        {"", {}},
        {"\r\n\n", {}},
    };
    for (const auto& c : cases) {
        Lines lines;
        split_notes_lines(c.text, lines);
        EXPECT_EQ(lines, c.lines) << c.text;
    }
}

TEST(SplitNotesLines, AppendsAndKeepsTheCallersLines) {
    Lines lines = {"first", ""};
    split_notes_lines("second\n\n", lines);
    EXPECT_EQ(lines, (Lines{"first", "", "second"}));
    split_notes_lines("\n", lines);
    EXPECT_EQ(lines, (Lines{"first", "", "second"}));
}

TEST(BeatsBetweenConstTempo, HoldsEachTempoUntilTheNextPoint) {
    const std::vector<TempoPoint> points = {{0.0, 120.0}, {1.0, 60.0}, {3.0, 240.0}};
    // No points in range: the given tempo all the way.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 0, -1, 0.0, 120.0, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(beats_between_const_tempo({}, 0, -1, 5.0, 120.0, 6.0), 2.0);
    // 1 s at 120, 2 s at 60, 1 s at 240.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 1, 2, 0.0, 120.0, 4.0), 2.0 + 2.0 + 4.0);
    // A point past the end stops the count at the end.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 1, 2, 0.0, 120.0, 2.0), 2.0 + 1.0);
    // An end at or before the start counts nothing.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 1, 2, 2.0, 60.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 0, 2, 2.0, 60.0, 1.0), 0.0);
    // Indices past the list are ignored rather than read.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 1, 99, 0.0, 120.0, 4.0), 8.0);
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, -3, -1, 0.0, 120.0, 1.0), 2.0);
}

TEST(BeatsBetweenConstTempo, PointsBeforeTheStartOnlySetTheTempo) {
    const std::vector<TempoPoint> points = {{0.0, 60.0}, {1.0, 120.0}, {3.0, 240.0}};
    // From 2 s to 4 s: 1 s at 120, then 1 s at 240; nothing before 2 s is counted.
    EXPECT_DOUBLE_EQ(beats_between_const_tempo(points, 0, 2, 2.0, 120.0, 4.0), 2.0 + 4.0);
}

TEST(BeatsAtTimeRamped, IntegratesTheLinearTempo) {
    const std::vector<TempoPoint> points = {{0.0, 60.0}, {2.0, 180.0}};
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(points, 2.0), 4.0);
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(points, 1.0), 1.5);
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(points, 3.0), 4.0);  // nothing past the last point
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(points, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(points, -1.0), 0.0);

    const std::vector<TempoPoint> three = {{0.0, 60.0}, {2.0, 180.0}, {3.0, 180.0}};
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(three, 2.5), 4.0 + 1.5);
    // Points out of order end the count.
    const std::vector<TempoPoint> stuck = {{0.0, 60.0}, {2.0, 180.0}, {2.0, 90.0}, {4.0, 90.0}};
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(stuck, 4.0), 4.0);
    EXPECT_DOUBLE_EQ(beats_at_time_ramped({}, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(beats_at_time_ramped(std::vector<TempoPoint>{{0.0, 120.0}}, 1.0), 0.0);
}

}  // namespace
