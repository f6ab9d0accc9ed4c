#include "convert/clips/clip_math.h"

#include <algorithm>

namespace {

double& time_of(CurvePoint& p) {
    return p.time;
}
double& value_of(CurvePoint& p) {
    return p.value;
}
double& time_of(StretchMarker& m) {
    return m.item_time;
}
double& value_of(StretchMarker& m) {
    return m.source_position;
}

template <typename Point>
void insert_point(std::vector<Point>& points, double t) {
    if (points.size() < 2 || !(t > 0.0) || !(t + 1e-9 < time_of(points.back()))) return;
    std::size_t first = 0;
    while (first < points.size() && time_of(points[first]) < t) ++first;
    // first < size: the last point lies after t.
    double value = value_of(points[first]);
    if (first > 0) {
        Point& before = points[first - 1];
        Point& after = points[first];
        const double span = time_of(after) - time_of(before);
        value = span > 0.0 ? value_of(before) +
                                 (value_of(after) - value_of(before)) * (t - time_of(before)) / span
                           : value_of(before);
    }
    points.resize(first);
    Point point{};
    time_of(point) = t;
    value_of(point) = value;
    points.push_back(point);
}

double line_at(const ValueAtPosition& a, const ValueAtPosition& b, double x) {
    if (b.position == a.position) return a.value;
    return a.value + (b.value - a.value) * (x - a.position) / (b.position - a.position);
}

}  // namespace

bool cmp_by_double_asc(const ClipRecord& a, const ClipRecord& b) {
    if (std::isnan(a.start)) return false;
    if (std::isnan(b.start)) return true;
    return a.start < b.start;
}

void sort_clips_by_start(std::vector<ClipRecord>& clips) {
    // Starts already strictly in order have one sorted order, the one they are in: the sort,
    // which may move records of equal starts, is left out only then.
    const auto out_of_order = std::adjacent_find(
        clips.begin(), clips.end(),
        [](const ClipRecord& a, const ClipRecord& b) { return !cmp_by_double_asc(a, b); });
    if (out_of_order == clips.end()) return;
    std::sort(clips.begin(), clips.end(), cmp_by_double_asc);
}

double interp_piecewise_linear(const std::vector<ValueAtPosition>& points, double x) {
    if (points.empty()) return 0.0;
    if (points.size() == 1) return points[0].value;
    if (x < points.front().position) return line_at(points[0], points[1], x);
    const std::size_t last = points.size() - 1;
    if (x > points.back().position) {
        const ValueAtPosition& a = points[last - 1];
        const ValueAtPosition& b = points[last];
        return b.position == a.position ? b.value : line_at(a, b, x);
    }
    for (std::size_t i = 0; i < last; ++i) {
        if (points[i].position <= x && x <= points[i + 1].position) {
            return line_at(points[i], points[i + 1], x);
        }
    }
    return points.back().value;
}

void curve_insert_point(std::vector<CurvePoint>& points, double t) {
    insert_point(points, t);
}

void curve_insert_point(std::vector<StretchMarker>& markers, double t) {
    insert_point(markers, t);
}
