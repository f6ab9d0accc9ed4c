#include "convert/tracks/surround_panners.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "convert/tracks/track_wiring_state.h"
#include "model/surround_speakers.h"
#include "util/bytes.h"

namespace {

std::int32_t i32_at(const std::uint8_t* data, std::size_t at) {
    return static_cast<std::int32_t>(read_u32le(data, at));
}

}  // namespace

bool read_surround_panner_values(const std::uint8_t* data, std::size_t length,
                                 const TrackLaneSet& lane_set, SurroundPanState& state) {
    state.stereo_input = lane_set.stereo_pan ? 1 : 0;
    const std::uint64_t p = lane_set.fader_position;
    // Every read below lies between p - 10 and p + 80; test the header's place before reading.
    if (p < 10 || p > length || !data) return false;
    if (data[p - 10] != 'Z' || data[p - 8] != 0 || data[p - 3] != 0x29 || data[p - 2] != 0x10)
        return false;
    const std::uint64_t end = (p - 3) + read_u32le(data, p - 7);
    if (p + 40 > end || end > length) return false;
    for (std::size_t v = 0; v < 7; ++v) state.input_1[v] = i32_at(data, p + 12 + 4 * v);
    if (state.stereo_input && p + 68 <= end)
        for (std::size_t v = 0; v < 7; ++v) state.input_2[v] = i32_at(data, p + 40 + 4 * v);
    if (p + 80 <= end)
        state.second_input_gain = std::clamp(i32_at(data, p + 76) / 6553600.0, 0.0, 1.0);
    if (lane_set.has_lfe_level) {
        state.lfe_on = 1;
        state.lfe_level_db = lane_set.lfe_level.initial_value / 10.0;
        state.lfe_curve = lane_set.lfe_level;
    }
    state.lanes = lane_set.surround_lanes_1;
    state.lanes_2 = lane_set.surround_lanes_2;
    return true;
}

void wire_surround_panners(const std::uint8_t* data, std::size_t length,
                           std::span<const LaneGroup> groups, std::span<const std::string> names,
                           std::span<const TrackLaneSet> lane_sets,
                           std::span<const ChannelEntry> entries,
                           const std::set<std::string>& merged_multichannel_tracks) {
    std::map<std::string, std::size_t> entry_by_name;  // kind 2; the last of a name wins
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].kind == 2) entry_by_name[entries[i].name] = i;
    std::map<std::string, const TrackLaneSet*> first_assigned;
    for (const TrackLaneSet& l : lane_sets)
        if (l.assigned) first_assigned.emplace(l.name, &l);
    const bool debug = std::getenv("PTX_DEBUG_SURR") != nullptr;

    // The legs of each output, found once: entries sorted by name put "O.x" right after "O".
    std::vector<std::pair<std::string, std::int32_t>> singles;  // name, channel
    for (const ChannelEntry& e : entries)
        if (e.kind == 2 && e.channels.size() == 1) singles.emplace_back(e.name, e.channels[0]);
    std::sort(singles.begin(), singles.end());

    for (std::size_t k = 0; k < groups.size() && k < names.size(); ++k) {
        const LaneGroup& g = groups[k];
        const std::string& n = names[k];
        if (g.kind == 2) {
            const auto bus = entry_by_name.find(g.channel_name);
            if (bus != entry_by_name.end() && entries[bus->second].channels.size() > 2)
                track_wiring.surround_bus_width[n] =
                    static_cast<std::int32_t>(entries[bus->second].channels.size());
        }
        const auto out = entry_by_name.find(g.output_name);
        if (g.output_name.empty() || out == entry_by_name.end()) continue;
        const std::int32_t width = static_cast<std::int32_t>(entries[out->second].channels.size());
        if (width <= 2 || merged_multichannel_tracks.count(n)) continue;

        SurroundPanState state;
        state.output_channels = width;
        const std::string prefix = g.output_name + ".";
        std::vector<std::pair<std::int32_t, std::string>> legs;
        for (auto it = std::lower_bound(singles.begin(), singles.end(),
                                        std::make_pair(prefix, std::int32_t{-2147483647 - 1}));
             it != singles.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
            legs.emplace_back(it->second, it->first.substr(prefix.size()));
        std::sort(legs.begin(), legs.end());
        int ok = legs.size() == static_cast<std::size_t>(width) ? 1 : 0;
        for (std::size_t i = 0; ok && i < legs.size(); ++i) {
            state.speakers.push_back(legs[i].second);
            if (!find_surround_speaker(legs[i].second)) ok = 0;
        }
        int have = 0;
        if (const auto lane = first_assigned.find(n); lane != first_assigned.end())
            have = read_surround_panner_values(data, length, *lane->second, state) ? 1 : 0;
        if (debug)
            std::fprintf(
                stderr, "SURR route %s -> %s W %d legs %d ok %d have %d stereo %d v %d %d %d\n",
                n.c_str(), g.output_name.c_str(), width, static_cast<int>(state.speakers.size()),
                ok, have, state.stereo_input, state.input_1[0], state.input_1[1], state.input_1[2]);
        if (ok && have) {
            state.stored = 1;
            track_wiring.surround_pan_states[n] = std::move(state);
        } else {
            ++track_wiring.counts.unplaceable_surround;
        }
    }
}
