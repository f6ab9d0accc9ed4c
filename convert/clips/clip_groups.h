// Clip groups laid out flat: every region a clip group plays, through its nested groups, as a
// placement on the timeline, cut to the windows that show it, with the group's own fades.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "model/session_layout.h"
#include "session/fade_ranges.h"
#include "session/region_index.h"
#include "session/region_list.h"

// One region as a clip group plays it; times in seconds.
struct FlatPlacement {
    std::uint32_t region_index = 0;
    double start = 0.0;
    double length = 0.0;
    double source_offset = 0.0;
    std::uint8_t muted = 0;
    double lead = 0.0;  // the visible part of the region's sync offset
    double fade_in_length = 0.0;
    double fade_out_length = 0.0;
    std::uint8_t fade_in_shape = 0;
    std::uint8_t fade_out_shape = 0;
    std::uint8_t crossfaded = 0;
};

// What the layout reads: the region-list entries (clip groups by id) with their item lists, the
// session's audio regions by index (null: none known), and the regions' sync offsets in samples
// (null: none).
struct ClipGroupTables {
    const std::vector<RegionListEntry>* groups = nullptr;
    const std::vector<RegionPlacementList>* item_lists = nullptr;
    const RegionsByIndex* regions = nullptr;
    const std::map<std::uint32_t, std::int64_t>* sync_offsets = nullptr;
};

struct FlattenCounts {
    int skipped = 0;  // groups and items that could not be read
    int fades = 0;
    int unmatched_fades = 0;
    int special_shapes = 0;
};

// Groups nested deeper than this are not read.
inline constexpr int kMaxClipGroupDepth = 8;
// Items one top-level call may visit; a group that holds itself through others, or fans out
// without end, stops here.
inline constexpr int kClipGroupItemBudget = 100000;

// Appends to `out` the placements of group `group_index` seen through the window
// [window_start, window_start + window_length) of its content (samples), the window's start
// placed at `base_time` seconds. `forced_mute` mutes every placement. Fades of this level are
// read from `fade_ranges` (null: none; nested groups never get them). A group nested past depth
// 8, a cycle, an unknown group, region or list, and an item stored before 10^12 each count one
// skipped.
void flatten_clip_group(const ClipGroupTables& tables, std::int64_t group_index,
                        std::int64_t window_start, std::int64_t window_length, double base_time,
                        double sample_rate, bool forced_mute, int depth,
                        std::vector<FlatPlacement>& out, FlattenCounts& counts,
                        const std::vector<SessionRange>* fade_ranges);
