// Small pieces of arithmetic the clip stages share: the clip order, piecewise-linear lookups,
// cutting a point list at a time, and finding a placement near a stored position.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "model/curves.h"
#include "model/output_model.h"

// The clip order: a's start is below b's. A NaN start sorts after every number, so the order is
// well defined for every input.
bool cmp_by_double_asc(const ClipRecord& a, const ClipRecord& b);

// Sorts by start with cmp_by_double_asc (unstable: equal starts keep no particular order).
void sort_clips_by_start(std::vector<ClipRecord>& clips);

struct ValueAtPosition {
    double value = 0.0;
    double position = 0.0;
};

// The value at x of the line through the pairs, in position order: 0 for none, the only value
// for one, the line through the first (last) two before (after) the ends, else the segment that
// encloses x. Where two positions are equal the earlier value of the segment stands.
double interp_piecewise_linear(const std::vector<ValueAtPosition>& points, double x);

// Ends the list at t: with two points or more, t above 0 and t + 1e-9 before the last time, every
// point from the first at or after t is removed and {t, v} appended, v interpolated between the
// point before and the first removed (the earlier value where their times are equal). Else the
// list is left as it is.
void curve_insert_point(std::vector<CurvePoint>& points, double t);
// The same over stretch markers (item time, source position).
void curve_insert_point(std::vector<StretchMarker>& markers, double t);

// The fade shape Pro Tools' S-curve fades are written with: REAPER's S shape, an integer.
inline constexpr std::uint8_t kSCurveFadeShape = 5;

// Placements keyed by (id, stored position).
using PlacementKey = std::pair<std::uint32_t, std::uint64_t>;
inline constexpr std::uint64_t kNearbyPosition = 64;

// The entry of `map` at (id, position); else the nearest of the same id within 64 (the first in
// key order where two are as near); else map.end().
template <typename Map>
auto nearest_by_position(Map& map, std::uint32_t id, std::uint64_t position)
    -> decltype(map.begin()) {
    auto exact = map.find(PlacementKey{id, position});
    if (exact != map.end()) return exact;
    const std::uint64_t low = position > kNearbyPosition ? position - kNearbyPosition : 0;
    auto best = map.end();
    std::uint64_t best_distance = 0;
    for (auto it = map.lower_bound(PlacementKey{id, low}); it != map.end(); ++it) {
        if (it->first.first != id || it->first.second > position + kNearbyPosition) break;
        const std::uint64_t distance =
            it->first.second > position ? it->first.second - position : position - it->first.second;
        if (best == map.end() || distance < best_distance) {
            best = it;
            best_distance = distance;
        }
    }
    return best;
}
