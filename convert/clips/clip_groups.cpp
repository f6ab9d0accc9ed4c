#include "convert/clips/clip_groups.h"

#include <algorithm>
#include <cstdlib>

#include "convert/clips/clip_math.h"
#include "session/clip_lists.h"
#include "session/scan.h"

namespace {

// Fade shapes as the item writer takes them.
constexpr std::uint8_t kShapeOne = 1;
// A fade binds to a placement edge this many samples away or nearer.
constexpr std::int64_t kFadeEdgeSamples = 2;

struct Walk {
    std::vector<std::int64_t> path;  // the groups being laid out, outermost first
    int items_left = kClipGroupItemBudget;
    bool exhausted = false;
};

// A placement of this level with its edges in the group's content (samples).
struct LevelPlacement {
    std::size_t index = 0;  // into the output
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t source_samples = 0;
};

struct LevelFade {
    std::int64_t position = 0;
    const SessionRange* range = nullptr;
};

// An item's position in the group's content: plain samples for a sample placement, else
// stored - 10^12; false for a stored value below 10^12.
bool item_offset(const RegionPlacementItem& item, std::int64_t& out) {
    if (item.time_base == kSampleTimeBase) {
        out = static_cast<std::int64_t>(item.position);
        return true;
    }
    if (item.position < kStoredTickOffset) return false;
    out = static_cast<std::int64_t>(item.position - kStoredTickOffset);
    return true;
}

std::uint8_t fade_shape(const SessionRange& range, FlattenCounts& counts) {
    if (range.special_shape) {
        counts.special_shapes += 1;
        return kSCurveFadeShape;
    }
    return range.shape == 1 ? kShapeOne : 0;
}

void apply_level_fades(const std::vector<LevelFade>& fades, std::vector<LevelPlacement>& level,
                       std::vector<FlatPlacement>& out, std::int64_t window_start,
                       std::int64_t window_end, double rate, FlattenCounts& counts) {
    for (const LevelFade& fade : fades) {
        LevelPlacement* outgoing = nullptr;
        LevelPlacement* incoming = nullptr;
        for (LevelPlacement& p : level) {
            if (!outgoing && std::llabs(p.end - fade.position) <= kFadeEdgeSamples) outgoing = &p;
            if (!incoming && std::llabs(p.start - fade.position) <= kFadeEdgeSamples) {
                incoming = &p;
            }
        }
        const SessionRange& range = *fade.range;
        const double whole = range.end / rate;
        if (range.kind == 3 && incoming) {
            FlatPlacement& in = out[incoming->index];
            in.fade_in_length = std::min(in.length, whole);
            in.fade_in_shape = fade_shape(range, counts);
        } else if (range.kind == 2 && outgoing) {
            FlatPlacement& o = out[outgoing->index];
            o.fade_out_length = std::min(o.length, whole);
            o.fade_out_shape = fade_shape(range, counts);
        } else if (range.kind == 1 && incoming && outgoing && incoming != outgoing) {
            const double post =
                std::min(range.end - range.start, static_cast<double>(window_end - outgoing->end));
            const double pre =
                std::min({range.start, static_cast<double>(incoming->start - window_start),
                          static_cast<double>(incoming->source_samples)});
            if (post < 1.0 || pre < 1.0) {
                counts.unmatched_fades += 1;
                continue;
            }
            const std::uint8_t shape = fade_shape(range, counts);
            FlatPlacement& o = out[outgoing->index];
            FlatPlacement& in = out[incoming->index];
            o.length += post / rate;
            o.crossfaded = 1;
            o.fade_out_length = (pre + post) / rate;
            o.fade_out_shape = shape;
            in.start -= pre / rate;
            in.length += pre / rate;
            in.source_offset -= pre / rate;
            in.fade_in_length = (pre + post) / rate;
            in.fade_in_shape = shape;
            outgoing->end += static_cast<std::int64_t>(post);
            incoming->start -= static_cast<std::int64_t>(pre);
            incoming->source_samples -= static_cast<std::int64_t>(pre);
        } else {
            counts.unmatched_fades += 1;
        }
    }
}

void flatten(const ClipGroupTables& tables, std::int64_t group_index, std::int64_t window_start,
             std::int64_t window_length, double base_time, double rate, bool forced_mute, int depth,
             std::vector<FlatPlacement>& out, FlattenCounts& counts,
             const std::vector<SessionRange>* fade_ranges, Walk& walk) {
    const std::vector<RegionListEntry>& groups = *tables.groups;
    const std::vector<RegionPlacementList>& lists = *tables.item_lists;
    if (depth > kMaxClipGroupDepth || group_index < 0 ||
        static_cast<std::size_t>(group_index) >= groups.size()) {
        counts.skipped += 1;
        return;
    }
    const std::int32_t list_index = groups[static_cast<std::size_t>(group_index)].list_index;
    if (list_index < 0 || static_cast<std::size_t>(list_index) >= lists.size() ||
        lists[static_cast<std::size_t>(list_index)].kind != 1) {
        counts.skipped += 1;
        return;
    }
    walk.path.push_back(group_index);
    const std::int64_t window_end = window_start + window_length;
    std::vector<LevelPlacement> level;
    std::vector<LevelFade> fades;

    for (const RegionPlacementItem& item : lists[static_cast<std::size_t>(list_index)].entries) {
        if (walk.items_left <= 0) {
            if (!walk.exhausted) counts.skipped += 1;
            walk.exhausted = true;
            break;
        }
        walk.items_left -= 1;
        std::int64_t rel = 0;
        const bool placed = item_offset(item, rel);
        if (item.fade) {
            counts.fades += 1;
            if (fade_ranges && item.id < fade_ranges->size() && (*fade_ranges)[item.id].kind != 0 &&
                placed) {
                fades.push_back({rel, &(*fade_ranges)[item.id]});
            }
        }
        // The trailing byte marks fades; any other item is one the group plays.
        if (!item.closed && item.fade) continue;
        if (!placed) {
            counts.skipped += 1;
            continue;
        }
        if (item.group_flag) {
            const bool on_path =
                std::find(walk.path.begin(), walk.path.end(), item.id) != walk.path.end();
            if (item.id >= groups.size() || !groups[item.id].readable || on_path) {
                counts.skipped += 1;
                continue;
            }
            const RegionListEntry& nested = groups[item.id];
            const std::int64_t visible_start = std::max(rel, window_start);
            const std::int64_t visible_end =
                std::min(window_end, rel + static_cast<std::int64_t>(nested.length));
            if (visible_start >= visible_end) continue;
            flatten(tables, item.id,
                    visible_start - rel + static_cast<std::int64_t>(nested.source_offset),
                    visible_end - visible_start,
                    static_cast<double>(visible_start - window_start) / rate + base_time, rate,
                    forced_mute || item.muted, depth + 1, out, counts, nullptr, walk);
            continue;
        }
        const SessionRegion* region =
            tables.regions != nullptr ? find_region(*tables.regions, item.id) : nullptr;
        if (region == nullptr) {
            counts.skipped += 1;
            continue;
        }
        std::int64_t rel2 = rel;
        if (tables.sync_offsets) {
            const auto sync = tables.sync_offsets->find(item.id);
            if (sync != tables.sync_offsets->end()) rel2 -= sync->second;
        }
        const SessionRegion& r = *region;
        // Damaged lengths and offsets (up to 2^63) would overflow the sums below.
        constexpr std::int64_t kMaxSamples = std::int64_t{1} << 48;
        if (r.length > kMaxSamples || r.source_offset > kMaxSamples ||
            r.source_offset < -kMaxSamples || rel2 > kMaxSamples || rel2 < -kMaxSamples) {
            counts.skipped += 1;
            continue;
        }
        const std::int64_t visible_start = std::max(window_start, rel2);
        const std::int64_t visible_end = std::min(window_end, rel2 + r.length);
        if (visible_start >= visible_end) continue;
        FlatPlacement p;
        p.region_index = item.id;
        p.start = static_cast<double>(visible_start - window_start) / rate + base_time;
        p.length = static_cast<double>(visible_end - visible_start) / rate;
        const std::int64_t source = visible_start - rel2 + r.source_offset;
        p.source_offset = static_cast<double>(source) / rate;
        p.muted = forced_mute || item.muted ? 1 : 0;
        p.lead = rel > visible_start ? static_cast<double>(rel - visible_start) / rate : 0.0;
        level.push_back({out.size(), visible_start, visible_end, source});
        out.push_back(p);
    }
    apply_level_fades(fades, level, out, window_start, window_end, rate, counts);
    walk.path.pop_back();
}

}  // namespace

void flatten_clip_group(const ClipGroupTables& tables, std::int64_t group_index,
                        std::int64_t window_start, std::int64_t window_length, double base_time,
                        double sample_rate, bool forced_mute, int depth,
                        std::vector<FlatPlacement>& out, FlattenCounts& counts,
                        const std::vector<SessionRange>* fade_ranges) {
    if (!tables.groups || !tables.item_lists) {
        counts.skipped += 1;
        return;
    }
    Walk walk;
    flatten(tables, group_index, window_start, window_length, base_time, sample_rate, forced_mute,
            depth, out, counts, fade_ranges, walk);
}
