#include "convert/tracks/mixer_wiring.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "convert/tracks/name_matching.h"
#include "convert/writer/track_writer.h"
#include "session/lane_records.h"
#include "session/mixer_names.h"

const std::string& lane_group_name(const LaneGroup& group,
                                   std::span<const TrackLaneSet> lane_sets) {
    for (const TrackLaneSet& l : lane_sets)
        if (l.assigned && l.fader_position > group.block_start &&
            l.fader_position < group.block_end)
            return l.name;
    return group.name;
}

std::vector<std::string> lane_group_names(std::span<const LaneGroup> groups,
                                          std::span<const TrackLaneSet> lane_sets) {
    std::vector<BlockRange> ranges;
    for (const LaneGroup& g : groups) ranges.push_back({g.block_start, g.block_end});
    const std::vector<std::ptrdiff_t> first = first_lane_set_inside(lane_sets, ranges);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < groups.size(); ++i)
        out.push_back(first[i] < 0 ? groups[i].name
                                   : lane_sets[static_cast<std::size_t>(first[i])].name);
    return out;
}

int assigned_lane_sets(std::span<const TrackLaneSet> lane_sets) {
    int count = 0;
    for (const TrackLaneSet& l : lane_sets) count += l.assigned ? 1 : 0;
    return count;
}
