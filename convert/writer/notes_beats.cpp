#include "convert/writer/notes_beats.h"

#include <algorithm>
#include <cstddef>

void split_notes_lines(std::string_view text, std::vector<std::string>& lines) {
    const std::size_t first_new = lines.size();
    std::string line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const unsigned char byte = i < text.size() ? static_cast<unsigned char>(text[i]) : '\n';
        if (byte == '\n') {
            // A lone ">" would close the project block it is written into.
            lines.push_back(line == ">" ? " >" : line);
            line.clear();
        } else if (byte >= 32 || byte == '\t') {
            line.push_back(static_cast<char>(byte));
        }
    }
    while (lines.size() > first_new && lines.back().empty()) lines.pop_back();
}

double beats_between_const_tempo(std::span<const TempoPoint> points, std::int64_t first,
                                 std::int64_t last, double start, double tempo, double end) {
    double beats = 0.0;
    double now = start;
    double bpm = tempo;
    const std::int64_t count = static_cast<std::int64_t>(points.size());
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, count - 1);
    for (std::int64_t i = first; i <= last; ++i) {
        if (now >= end) return beats;
        const TempoPoint& point = points[static_cast<std::size_t>(i)];
        if (point.time > end) {
            if (end > now) beats += (end - now) * bpm / 60.0;
            return beats;
        }
        if (point.time > now) beats += (point.time - now) * bpm / 60.0;
        // A point before the start only sets the tempo in force; time never runs backwards.
        now = std::max(now, point.time);
        bpm = point.bpm;
    }
    if (end > now) beats += (end - now) * bpm / 60.0;
    return beats;
}

double beats_at_time_ramped(std::span<const TempoPoint> points, double time) {
    double beats = 0.0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const TempoPoint& a = points[i];
        const TempoPoint& b = points[i + 1];
        if (a.time >= time || a.time >= b.time) return beats;
        const double d = b.time - a.time;
        if (b.time > time) {
            const double s = time - a.time;
            return beats + (s / d * (b.bpm - a.bpm) + 2.0 * a.bpm) * 0.5 * s / 60.0;
        }
        beats += (a.bpm + b.bpm) * 0.5 * d / 60.0;
    }
    return beats;
}
