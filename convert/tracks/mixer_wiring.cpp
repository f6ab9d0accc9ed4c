#include "convert/tracks/mixer_wiring.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "convert/tracks/name_matching.h"
#include "convert/writer/track_writer.h"
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
    // The assigned faders by position; each group's faders are one run of them, and the group
    // takes the lowest lane-set index of its run (a sparse table of minima answers each run).
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

    std::vector<std::string> out;
    for (const LaneGroup& g : groups) {
        const auto from =
            std::upper_bound(faders.begin(), faders.end(), std::make_pair(g.block_start, SIZE_MAX));
        const auto to = std::lower_bound(faders.begin(), faders.end(),
                                         std::make_pair(g.block_end, std::size_t{0}));
        if (from >= to) {
            out.push_back(g.name);
            continue;
        }
        const std::size_t a = static_cast<std::size_t>(from - faders.begin());
        const std::size_t n = static_cast<std::size_t>(to - from);
        std::size_t level = 0;
        while ((std::size_t{2} << level) <= n) ++level;
        const std::size_t width = std::size_t{1} << level;
        out.push_back(lane_sets[std::min(minima[level][a], minima[level][a + n - width])].name);
    }
    return out;
}

int assigned_lane_sets(std::span<const TrackLaneSet> lane_sets) {
    int count = 0;
    for (const TrackLaneSet& l : lane_sets) count += l.assigned ? 1 : 0;
    return count;
}

std::map<std::string, std::vector<SessionSend>> session_receives(
    const std::uint8_t* data, std::size_t length, std::span<const LaneGroup> groups,
    std::span<const TrackLaneSet> lane_sets, std::span<const OutputTrack> tracks) {
    bool any_send = false;
    for (const LaneGroup& g : groups) any_send = any_send || !g.sends.empty();
    if (!any_send) return {};
    const std::vector<std::string> names = lane_group_names(groups, lane_sets);
    NameIndex index;
    build_name_index(data, length, groups, names, index);
    return prepare_sends(groups, lane_sets, tracks, [&](const std::string& key) {
        return resolve_name_via_index(index, key);
    });
}

std::vector<std::string> sends_to_no_track(
    const std::map<std::string, std::vector<SessionSend>>& receives,
    std::span<const OutputTrack> tracks) {
    std::set<std::string> written;
    for (const OutputTrack& t : tracks) written.insert(t.name);
    std::vector<std::string> out;
    for (const auto& [destination, sends] : receives) {
        if (written.count(destination)) continue;
        for (const SessionSend& send : sends) {
            const std::size_t i = static_cast<std::size_t>(send.source_index);
            out.push_back((i < tracks.size() ? tracks[i].name : std::string()) + " -> " +
                          destination);
        }
    }
    return out;
}
