// Project-notes lines from a free text, and quarter-note beats over a list of tempo points.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One point of the tempo envelope the writer builds; lists are ordered by ascending time.
struct TempoPoint {
    double time = 0.0;  // seconds
    double bpm = 120.0;
    std::uint32_t signature = 0;       // denominator * 65536 + numerator; 0 none
    std::uint32_t signature_flag = 0;  // 0 none, 1 the opening signature, 3 a change
    std::uint32_t shape = 1;           // 1 a step, 0 a linear ramp towards the next point
};

// Appends the lines of `text` to `lines`: carriage returns and control bytes other than TAB are
// dropped, a line that is exactly ">" becomes " >", and trailing empty lines are not kept.
void split_notes_lines(std::string_view text, std::vector<std::string>& lines);

// Beats from `start` (where `tempo` is in force) to `end`, holding each tempo until the next
// point, over points[first..last] (inclusive; an empty or out-of-range part is left out).
double beats_between_const_tempo(std::span<const TempoPoint> points, std::int64_t first,
                                 std::int64_t last, double start, double tempo, double end);

// Beats from the first point to `time` with the tempo changing linearly between points; nothing
// is counted past the last point.
double beats_at_time_ramped(std::span<const TempoPoint> points, double time);
