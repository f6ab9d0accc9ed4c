#include "session/lane_records.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>
#include <unordered_map>

#include "session/breakpoint_list.h"
#include "session/mixer_blocks.h"
#include "session/track_names.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kFaderType = 0x1029;
constexpr std::uint16_t kLaneType = 0x260d;
constexpr std::uint16_t kOutputNameType = 0x260e;
constexpr std::uint16_t kListType = 0x260a;
constexpr std::uint16_t kListGroupType = 0x260c;
constexpr std::uint16_t kMasterType = 0x261d;
constexpr std::array<std::uint16_t, 4> kTrackTypes = {0x261b, 0x261d, 0x2620, 0x2621};
constexpr std::uint32_t kMinFaderSize = 157;
constexpr std::int32_t kMinLevel = -1450;  // tenths of a dB
constexpr std::int32_t kMaxLevel = 125;
// A send lane's fader follows its track's own within this many bytes.
constexpr std::uint64_t kRunGap = 2700;
constexpr std::size_t kSurroundLanes = 7;

struct FaderRecord {
    std::uint64_t position = 0;  // of the level field
    std::size_t track = 0;
    std::int32_t level = 0;
    std::uint32_t mute = 0;
    std::int32_t pan_left = 0;
    std::int32_t pan_right = 0;
};

std::vector<BlockHeader> markers_of(SessionBytes bytes, std::uint16_t type) {
    std::vector<BlockHeader> out;
    scan_blocks(bytes, type, bytes.size(), [&](const BlockHeader& block) {
        out.push_back(block);
        return false;
    });
    return out;
}

std::int32_t read_i32(SessionBytes bytes, std::size_t pos) {
    return static_cast<std::int32_t>(read_u32le_checked(bytes, pos));
}

// The track index of each fader record position, or -1.
std::vector<std::ptrdiff_t> fader_tracks(SessionBytes bytes, std::span<const std::string> names,
                                         const std::vector<NamedBlockEntry>& named, bool matching,
                                         const std::vector<std::uint64_t>& positions) {
    if (matching) {
        std::vector<BlockRange> ranges;
        for (const NamedBlockEntry& e : named) ranges.push_back({e.block_start, e.block_end});
        return enclosing_ranges(ranges, positions, EnclosingPick::first);
    }
    // Every place a track name stands as a u32-length text, with the name's highest index (the
    // last of the records at one position): one pass over the bytes, each length field that
    // names a track's length looked up by its text.
    std::unordered_map<std::string_view, std::size_t> highest;
    std::vector<std::uint8_t> known_length;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) continue;
        highest[names[i]] = i;
        if (known_length.size() <= names[i].size()) known_length.resize(names[i].size() + 1, 0);
        known_length[names[i].size()] = 1;
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> occurrences;
    for (std::size_t q = 0; !highest.empty() && q + 4 < bytes.size(); ++q) {
        const std::uint32_t l = read_u32le_checked(bytes, q);
        if (l >= known_length.size() || !known_length[l] || l > bytes.size() - q - 4) continue;
        const auto hit =
            highest.find(std::string_view(reinterpret_cast<const char*>(bytes.data() + q + 4), l));
        if (hit != highest.end()) occurrences.emplace_back(q, hit->second);
    }
    std::vector<std::ptrdiff_t> out;
    for (std::uint64_t p : positions) {
        const auto it = std::lower_bound(occurrences.begin(), occurrences.end(),
                                         std::make_pair(p, std::size_t{0}));
        out.push_back(
            it == occurrences.begin() ? -1 : static_cast<std::ptrdiff_t>(std::prev(it)->second));
    }
    return out;
}

// A fader block at +9 of a lane with no output name block after it is a track's own fader.
bool is_own_fader(SessionBytes bytes, std::size_t fader, const std::vector<BlockHeader>& names) {
    if (fader < 9) return false;
    const std::size_t lane = fader - 9;
    BlockHeader header;
    if (!match_block(bytes, lane, kLaneType, header) || bytes[lane + 2] != 0) return false;
    const std::uint64_t lane_end = std::min<std::uint64_t>(header.end(), bytes.size());
    if (lane_end < 9) return true;
    return first_block_between(names, fader, lane_end - 9) == nullptr;
}

void assign_run(const FaderRecord& first, TrackLaneSet& set) {
    set.assigned = 1;
    set.fader_position = first.position;
    set.fader_db = first.level / 10.0;
    set.muted = first.mute == 1 ? 1 : 0;
    set.pan_left = first.pan_left;
    set.pan_right = first.pan_right;
}

AutomationCurve read_list(const std::uint8_t* data, std::size_t length, std::uint64_t at) {
    AutomationCurve curve;
    read_breakpoint_list(data, length, at, curve);
    return curve;
}

bool all_points_at(const AutomationCurve& curve, double value) {
    return std::all_of(curve.points.begin(), curve.points.end(),
                       [&](const CurvePoint& p) { return p.value == value; });
}

// A stereo panner at its defaults (left -100, right 100) loses its points; a moving left side
// becomes the dual-pan lane.
void settle_stereo_pan(TrackLaneSet& set) {
    if (all_points_at(set.pan, -100.0) && all_points_at(set.pan_right_curve, 100.0)) {
        const bool none = set.pan.points.empty() && set.pan_right_curve.points.empty();
        set.pan.points.clear();
        set.pan_right_curve.points.clear();
        if (none &&
            !(set.pan.initial_value == -100.0 && set.pan_right_curve.initial_value == 100.0))
            set.dual_pan_points = 2;
        return;
    }
    set.dual_pan_points =
        static_cast<std::uint32_t>(set.pan.points.size() + set.pan_right_curve.points.size());
    set.pan_left_lane = set.pan;
    set.pan.points.clear();
}

// The lists of one track lane as read into the lane set's curves.
void read_lane_lists(const std::uint8_t* data, std::size_t length, const BlockHeader& track,
                     const BlockHeader& region, const std::vector<BlockHeader>& lists,
                     TrackLayouts& layouts, TrackLaneSet& set) {
    std::vector<std::uint64_t> taken;
    const std::uint64_t region_end = region.end();
    for (auto it =
             std::lower_bound(lists.begin(), lists.end(), region.position,
                              [](const BlockHeader&b, std::uint64_t p) { return b.position < p; });
         it != lists.end() && it->position + 18 < region_end; ++it)
        taken.push_back(it->position);

    BreakpointGroups groups;
    read_breakpoints(data, length, region.position, region_end, groups);
    if (groups.multi) {
        const std::vector<std::uint64_t>& loose = groups.loose;
        if (loose.size() >= 3) {
            set.lfe_level = read_list(data, length, loose[2]);
            set.has_lfe_level = 1;
        }
        for (std::size_t g = 0; g < 2 && g < groups.groups.size(); ++g) {
            if (groups.groups[g].size() < kSurroundLanes) continue;
            std::vector<AutomationCurve>& lanes =
                g == 0 ? set.surround_lanes_1 : set.surround_lanes_2;
            for (std::size_t k = 0; k < kSurroundLanes; ++k)
                lanes.push_back(read_list(data, length, groups.groups[g][k]));
        }
        if (loose.size() >= 2) {
            const bool master = track.content_type == kMasterType;
            std::size_t k = 0;
            if (!master) {
                const int layout = layouts.of(track);
                k = layout == 1 ? 2 : layout == 0 ? 1 : 0;
            }
            taken = {loose[0], loose[1]};
            for (const std::vector<std::uint64_t>& group : groups.groups) {
                if (k == 0) break;
                if (group.empty()) continue;
                taken.push_back(group.front());
                --k;
            }
            if (loose.size() >= 3 && !master) taken.push_back(loose.back());
        }
    }

    set.list_count = static_cast<std::uint32_t>(taken.size());
    AutomationCurve* targets[] = {&set.volume, &set.mute, &set.pan};
    for (std::size_t i = 0; i < 3 && i < taken.size(); ++i)
        *targets[i] = read_list(data, length, taken[i]);
    if (taken.size() == 4) {
        // Each pan side alone in its group block: the second block's list is the right pan.
        const bool right_pan = !groups.multi && groups.groups.size() >= 2 &&
                               !groups.groups[1].empty() && groups.groups[1].front() == taken[3];
        if (right_pan) {
            set.pan_right_curve = read_list(data, length, taken[3]);
            set.stereo_pan = 1;
        } else {
            set.trim = read_list(data, length, taken[3]);
        }
    } else if (taken.size() == 5) {
        set.pan_right_curve = read_list(data, length, taken[3]);
        set.trim = read_list(data, length, taken[4]);
        set.stereo_pan = 1;
    }
    if (set.stereo_pan) settle_stereo_pan(set);
    if (!taken.empty() && set.volume.points.empty()) set.fader_db = set.volume.initial_value / 10.0;
}

}  // namespace

bool is_fader_block(SessionBytes bytes, std::size_t position) {
    BlockHeader block;
    if (!match_block(bytes, position, kFaderType, block)) return false;
    if (bytes[position + 2] != 0 || block.size < kMinFaderSize || !block_fits(bytes, block))
        return false;
    if (bytes[position + 9] > 1) return false;
    const std::int32_t level = read_i32(bytes, position + 10);
    return level >= kMinLevel && level <= kMaxLevel;
}

void merge_lane_records(const std::uint8_t* data, std::size_t length,
                        std::span<const std::string> track_list, std::vector<TrackLaneSet>& out) {
    out.assign(track_list.size(), TrackLaneSet{});
    for (std::size_t i = 0; i < track_list.size(); ++i) out[i].name = track_list[i];
    if (length <= 27) return;
    const SessionBytes bytes = session_bytes(data, length);

    std::vector<NamedBlockEntry> named;
    read_track_names(data, length, named);
    bool matching = named.size() == track_list.size();
    for (std::size_t i = 0; matching && i < named.size(); ++i)
        matching = named[i].second_name == track_list[i];

    std::vector<std::size_t> faders;
    scan_blocks(bytes, kFaderType, length - 28, [&](const BlockHeader& block) {
        if (is_fader_block(bytes, static_cast<std::size_t>(block.position)))
            faders.push_back(static_cast<std::size_t>(block.position));
        return false;
    });
    std::vector<std::uint64_t> positions;
    for (std::size_t p : faders) positions.push_back(p + 10);
    const std::vector<std::ptrdiff_t> tracks =
        fader_tracks(bytes, track_list, named, matching, positions);
    const std::vector<BlockHeader> output_names = markers_of(bytes, kOutputNameType);

    std::vector<FaderRecord> records;
    std::vector<std::uint8_t> seen(track_list.size(), 0);
    for (std::size_t k = 0; k < faders.size(); ++k) {
        if (tracks[k] < 0) continue;
        const std::size_t track = static_cast<std::size_t>(tracks[k]);
        const std::size_t p = faders[k];
        if (seen[track] && is_own_fader(bytes, p, output_names)) continue;
        seen[track] = 1;
        records.push_back({p + 10, track, read_i32(bytes, p + 10),
                           read_u32le_checked(bytes, p + 14), read_i32(bytes, p + 22),
                           bytes_fit(bytes, p + 50, 4) ? read_i32(bytes, p + 50) : 0});
    }

    std::set<std::size_t> unassigned;
    for (std::size_t i = 0; i < out.size(); ++i) unassigned.insert(i);
    for (std::size_t r = 0; r < records.size();) {
        const FaderRecord& first = records[r];
        std::size_t next = r + 1;
        while (next < records.size() &&
               records[next].position <= records[next - 1].position + kRunGap &&
               records[next].track == first.track)
            ++next;
        // The run's further records are the track's send lanes: they leave the lane set as is.
        const auto slot =
            matching ? unassigned.find(first.track) : unassigned.lower_bound(first.track);
        if (slot != unassigned.end()) {
            assign_run(first, out[*slot]);
            unassigned.erase(slot);
        }
        r = next;
    }
}

void read_automation_lanes_2(const std::uint8_t* data, std::size_t length,
                             std::vector<TrackLaneSet>& lane_sets) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> tracks;
    for (std::uint16_t type : kTrackTypes) {
        scan_blocks(bytes, type, length, [&](const BlockHeader& block) {
            if (block.size != 0 && block_fits(bytes, block)) tracks.push_back(block);
            return false;
        });
    }
    std::sort(tracks.begin(), tracks.end(),
              [](const BlockHeader& a, const BlockHeader& b) { return a.position < b.position; });
    std::vector<BlockRange> ranges;
    for (const BlockHeader& t : tracks) ranges.push_back({t.position, t.end()});
    std::vector<std::size_t> which;
    std::vector<std::uint64_t> positions;
    for (std::size_t i = 0; i < lane_sets.size(); ++i) {
        if (!lane_sets[i].assigned || lane_sets[i].fader_position == 0) continue;
        which.push_back(i);
        positions.push_back(lane_sets[i].fader_position);
    }
    const std::vector<std::ptrdiff_t> enclosing =
        enclosing_ranges(ranges, positions, EnclosingPick::smallest);
    const std::vector<BlockHeader> lanes = markers_of(bytes, kLaneType);
    const std::vector<BlockHeader> lists = markers_of(bytes, kListType);
    TrackLayouts layouts(data, length, tracks);

    for (std::size_t k = 0; k < which.size(); ++k) {
        if (enclosing[k] < 0) continue;
        const BlockHeader& track = tracks[static_cast<std::size_t>(enclosing[k])];
        BlockHeader region = track;
        const auto lane =
            std::lower_bound(lanes.begin(), lanes.end(), track.position,
                             [](const BlockHeader& b, std::uint64_t p) { return b.position < p; });
        if (lane != lanes.end() && lane->size != 0 && lane->end() <= track.end()) region = *lane;
        read_lane_lists(data, length, track, region, lists, layouts, lane_sets[which[k]]);
    }
}

void read_breakpoints(const std::uint8_t* data, std::size_t length, std::uint64_t start,
                      std::uint64_t end, BreakpointGroups& out) {
    out = BreakpointGroups{};
    const SessionBytes bytes = session_bytes(data, length);
    const std::uint64_t limit = std::min<std::uint64_t>(length, end);
    const auto usable = [&](const BlockHeader& b) {
        return bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size != 0 &&
               block_fits(bytes, b);
    };
    std::vector<BlockRange> ranges;
    if (limit >= 12) {
        scan_blocks(bytes, kListGroupType, static_cast<std::size_t>(start),
                    static_cast<std::size_t>(limit - 12), [&](const BlockHeader& b) {
                        if (usable(b) && b.end() <= end) ranges.push_back({b.position, b.end()});
                        return false;
                    });
    }
    out.groups.resize(ranges.size());
    std::vector<std::uint64_t> lists;
    if (limit >= 19) {
        scan_blocks(bytes, kListType, static_cast<std::size_t>(start),
                    static_cast<std::size_t>(limit - 19), [&](const BlockHeader& b) {
                        if (usable(b)) lists.push_back(b.position);
                        return false;
                    });
    }
    const std::vector<std::ptrdiff_t> group = enclosing_ranges(ranges, lists, EnclosingPick::first);
    for (std::size_t i = 0; i < lists.size(); ++i) {
        if (group[i] < 0)
            out.loose.push_back(lists[i]);
        else
            out.groups[static_cast<std::size_t>(group[i])].push_back(lists[i]);
    }
    for (const std::vector<std::uint64_t>& g : out.groups)
        if (g.size() > 1) out.multi = 1;
}

BreakpointIndex::BreakpointIndex(const std::uint8_t* data, std::size_t length) : length_(length) {
    const SessionBytes bytes = session_bytes(data, length);
    const auto usable = [&](const BlockHeader& b) {
        return bytes[static_cast<std::size_t>(b.position) + 2] == 0 && b.size != 0 &&
               block_fits(bytes, b);
    };
    scan_blocks(bytes, kListGroupType, length, [&](const BlockHeader& b) {
        if (usable(b)) groups_.push_back({b.position, b.end()});
        return false;
    });
    scan_blocks(bytes, kListType, length, [&](const BlockHeader& b) {
        if (usable(b)) lists_.push_back(b.position);
        return false;
    });
    overlaps_.assign(groups_.size() + 1, 0);
    many_.assign(groups_.size() + 1, 0);
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        const bool inside_last = i > 0 && groups_[i].position < groups_[i - 1].end;
        overlaps_[i + 1] = overlaps_[i] + (inside_last ? 1 : 0);
        const bool holds_two = lists_between(groups_[i].position + 1, groups_[i].end - 1) >= 2;
        many_[i + 1] = many_[i] + (holds_two ? 1 : 0);
    }
    std::size_t g = 0;
    for (std::uint64_t x : lists_) {
        while (g < groups_.size() && groups_[g].position < x) ++g;
        if (g == 0 || groups_[g - 1].end <= x) outside_.push_back(x);
    }
}

std::size_t BreakpointIndex::lists_between(std::uint64_t from, std::uint64_t to) const {
    if (from > to) return 0;
    return static_cast<std::size_t>(std::upper_bound(lists_.begin(), lists_.end(), to) -
                                    std::lower_bound(lists_.begin(), lists_.end(), from));
}

void BreakpointIndex::take(std::uint64_t from, std::uint64_t to, std::size_t count,
                           std::vector<std::uint64_t>& out) const {
    for (auto it = std::lower_bound(lists_.begin(), lists_.end(), from);
         it != lists_.end() && *it <= to && count > 0; ++it, --count)
        out.push_back(*it);
}

bool BreakpointIndex::send_lists(std::uint64_t start, std::uint64_t end,
                                 BreakpointGroups& out) const {
    out = BreakpointGroups{};
    // read_breakpoints' bounds: groups start at most 12 bytes before the end (or the bytes' end)
    // and end by it, lists start at most 19 bytes before it.
    const std::uint64_t limit = std::min<std::uint64_t>(length_, end);
    if (limit < 12) return true;
    const std::uint64_t last_group = limit - 12;
    const auto by_position = [](const Group& g, std::uint64_t p) { return g.position < p; };
    const std::size_t a = static_cast<std::size_t>(
        std::lower_bound(groups_.begin(), groups_.end(), start, by_position) - groups_.begin());
    const std::size_t c = static_cast<std::size_t>(
        std::lower_bound(groups_.begin(), groups_.end(), last_group + 1, by_position) -
        groups_.begin());
    if (c > a + 1 && overlaps_[c] != overlaps_[a + 1]) return false;
    // The groups a .. c - 1 follow one another, so their ends rise: those ending by `end` are
    // the first of them.
    const auto ends_after = [](const Group& g, std::uint64_t e) { return g.end <= e; };
    const std::size_t b = static_cast<std::size_t>(
        std::partition_point(groups_.begin() + static_cast<std::ptrdiff_t>(a),
                             groups_.begin() + static_cast<std::ptrdiff_t>(c),
                             [&](const Group& g) { return ends_after(g, end); }) -
        groups_.begin());
    if (limit < 19) {
        out.groups.resize(std::min<std::size_t>(b - a, 2));
        return true;
    }
    const std::uint64_t last_list = limit - 19;
    // Each group holds the lists inside it, up to the last list position; only the last few
    // groups reach past that position.
    const std::size_t whole = static_cast<std::size_t>(
        std::partition_point(groups_.begin() + static_cast<std::ptrdiff_t>(a),
                             groups_.begin() + static_cast<std::ptrdiff_t>(b),
                             [&](const Group& g) { return g.end <= last_list + 1; }) -
        groups_.begin());
    const auto held_to = [&](const Group& g) { return std::min(g.end - 1, last_list); };
    bool multi = many_[whole] != many_[a];
    for (std::size_t k = whole; k < b && !multi; ++k)
        multi = lists_between(groups_[k].position + 1, held_to(groups_[k])) >= 2;
    if (!multi) {
        take(start, last_list, 4, out.loose);
        return true;
    }
    out.multi = 1;
    for (std::size_t k = a; k < b && k < a + 2; ++k) {
        out.groups.emplace_back();
        take(groups_[k].position + 1, held_to(groups_[k]), 2, out.groups.back());
    }
    // The loose lists: those before the first group, those in a's .. b - 1's stretch that lie
    // outside the last group starting before them, and those after group b starts.
    const std::uint64_t first_start = groups_[a].position;
    take(start, std::min(first_start, last_list), 3, out.loose);
    const std::uint64_t middle_end = b < c ? std::min(groups_[b].position, last_list) : last_list;
    for (auto it = std::upper_bound(outside_.begin(), outside_.end(), first_start);
         it != outside_.end() && *it <= middle_end && out.loose.size() < 3; ++it)
        out.loose.push_back(*it);
    if (b < c && out.loose.size() < 3)
        take(groups_[b].position + 1, last_list, 3 - out.loose.size(), out.loose);
    return true;
}

namespace {

// Whether find_child_end looks inside [start, end), and the range it searches for the first child.
bool has_child_range(std::size_t length, std::uint64_t start, std::uint64_t end) {
    return end <= length && start + 18 < end;
}

BlockRange child_range(std::uint64_t start, std::uint64_t end) {
    return {start + 9, end - 1};
}

std::vector<BlockRange> child_ranges(std::size_t length, const std::vector<BlockHeader>& tracks) {
    std::vector<BlockRange> ranges;
    for (const BlockHeader& t : tracks)
        if (has_child_range(length, t.position, t.end()))
            ranges.push_back(child_range(t.position, t.end()));
    return ranges;
}

// find_child_end, its first child found in `children`, which holds the headers of its range.
int layout_of(const std::uint8_t* data, std::size_t length, const BlockStarts& children,
              std::uint64_t start, std::uint64_t end) {
    if (!has_child_range(length, start, end)) return 1;
    const SessionBytes bytes = session_bytes(data, length);
    const BlockRange range = child_range(start, end);
    BlockHeader child;
    if (!children.first_from(static_cast<std::size_t>(range.start),
                             static_cast<std::size_t>(range.end), child))
        return 1;
    const std::uint8_t after = data[child.end()];
    if (after > 1) return 2;
    if (after == 1) return 1;
    BlockHeader lane;
    const bool found = scan_blocks(bytes, kLaneType, static_cast<std::size_t>(start),
                                   static_cast<std::size_t>(end), [&](const BlockHeader& b) {
                                       lane = b;
                                       return true;
                                   });
    if (!found || lane.size == 0 || lane.end() > end) return 0;
    BreakpointGroups groups;
    read_breakpoints(data, length, lane.position, lane.end(), groups);
    if (groups.groups.size() < 2 || groups.groups[1].empty()) return 0;
    return read_list(data, length, groups.groups[1].front()).initial_value != 0.0 ? 1 : 0;
}

}  // namespace

int find_child_end(const std::uint8_t* data, std::size_t length, std::uint64_t start,
                   std::uint64_t end) {
    if (!has_child_range(length, start, end)) return 1;
    const BlockStarts children(session_bytes(data, length), {child_range(start, end)});
    return layout_of(data, length, children, start, end);
}

TrackLayouts::TrackLayouts(const std::uint8_t* data, std::size_t length,
                           const std::vector<BlockHeader>& tracks)
    : data_(data),
      length_(length),
      children_(session_bytes(data, length), child_ranges(length, tracks)) {}

int TrackLayouts::of(const BlockHeader& track) {
    const auto [at, added] = known_.try_emplace(track.position, 0);
    if (added) at->second = layout_of(data_, length_, children_, track.position, track.end());
    return at->second;
}

std::vector<std::ptrdiff_t> first_lane_set_inside(std::span<const TrackLaneSet> lane_sets,
                                                  const std::vector<BlockRange>& ranges) {
    // The assigned faders by position; a range's faders are one run of them, and a sparse table
    // of minima gives the lowest lane-set index of each run.
    std::vector<std::pair<std::uint64_t, std::size_t>> faders;
    for (std::size_t i = 0; i < lane_sets.size(); ++i)
        if (lane_sets[i].assigned) faders.emplace_back(lane_sets[i].fader_position, i);
    std::sort(faders.begin(), faders.end());
    std::vector<std::vector<std::size_t>> minima(1);
    for (const auto& f : faders) minima[0].push_back(f.second);
    for (std::size_t width = 1; 2 * width <= faders.size(); width *= 2) {
        const std::vector<std::size_t>& last = minima.back();
        std::vector<std::size_t> next;
        for (std::size_t i = 0; i + 2 * width <= faders.size(); ++i)
            next.push_back(std::min(last[i], last[i + width]));
        minima.push_back(std::move(next));
    }
    std::vector<std::ptrdiff_t> out;
    for (const BlockRange& r : ranges) {
        const auto from =
            std::upper_bound(faders.begin(), faders.end(), std::make_pair(r.start, SIZE_MAX));
        const auto to =
            std::lower_bound(faders.begin(), faders.end(), std::make_pair(r.end, std::size_t{0}));
        if (from >= to) {
            out.push_back(-1);
            continue;
        }
        const std::size_t a = static_cast<std::size_t>(from - faders.begin());
        const std::size_t n = static_cast<std::size_t>(to - from);
        std::size_t level = 0;
        while ((std::size_t{2} << level) <= n) ++level;
        const std::size_t width = std::size_t{1} << level;
        out.push_back(
            static_cast<std::ptrdiff_t>(std::min(minima[level][a], minima[level][a + n - width])));
    }
    return out;
}
