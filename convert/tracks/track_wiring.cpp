#include "convert/tracks/track_wiring.h"

#include <algorithm>
#include <utility>

#include "app/output.h"
#include "convert/summary/console_summary.h"
#include "convert/tracks/mixer_wiring.h"
#include "convert/tracks/name_matching.h"
#include "convert/tracks/sidechain_keys.h"
#include "convert/tracks/surround_panners.h"
#include "convert/tracks/track_folders.h"
#include "convert/tracks/track_wiring_state.h"
#include "session/channel_entries.h"
#include "session/mixer_names.h"
#include "session/strip_links.h"
#include "session/strip_rows.h"
#include "session/track_routing.h"

namespace {

bool alt_takes(const OutputTrack& track) {
    return track.alternate == AlternateKind::takes;
}

// The first track (never an "[alt takes]" one) by its session name, and by its session name or,
// when it has none, its name.
struct TrackLookup {
    std::map<std::string, std::int32_t> by_session_name;
    std::map<std::string, std::int32_t> by_name_when_unnamed;

    explicit TrackLookup(std::span<const OutputTrack> tracks) {
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const OutputTrack& t = tracks[i];
            if (alt_takes(t)) continue;
            const std::int32_t index = static_cast<std::int32_t>(i);
            by_session_name.emplace(t.session_name, index);
            by_name_when_unnamed.emplace(t.session_name.empty() ? t.name : t.session_name, index);
        }
    }
    static std::int32_t find(const std::map<std::string, std::int32_t>& map,
                             const std::string& name) {
        const auto it = map.find(name);
        return it == map.end() ? -1 : it->second;
    }
    std::int32_t session(const std::string& name) const { return find(by_session_name, name); }
    std::int32_t output(const std::string& name) const { return find(by_name_when_unnamed, name); }
};

bool is_index_key(const NameIndex& index, const std::string& key) {
    return index.ids_by_key.count(key) != 0 || index.override_by_key.count(key) != 0;
}

void wire_multi_outputs(const TrackWiringInput& in, const TrackLookup& lookup, TrackWiring& w) {
    std::vector<MasterItem> items;
    read_master_items(in.data, in.length, in.groups, items);
    if (items.empty()) return;
    std::map<std::uint64_t, std::size_t> last_group_at;
    for (std::size_t k = 0; k < in.groups.size(); ++k) last_group_at[in.groups[k].block_start] = k;
    auto group_name = [&](std::uint64_t start) -> const std::string* {
        if (start == 0) return nullptr;
        const auto it = last_group_at.find(start);
        return it == last_group_at.end() ? nullptr : &w.lane_group_names[it->second];
    };
    for (const MasterItem& m : items) {
        const std::string* b = group_name(m.source_block_start);
        const std::string* a = group_name(m.output_block_start);
        if (!a || !b) continue;
        const std::int32_t s = lookup.session(*b);
        if (s < 0) continue;
        const std::int64_t need = 2 * static_cast<std::int64_t>(m.output_pair) + 2;
        if (need > kMaxTrackChannels) {
            ++track_wiring.counts.too_wide;
            track_wiring.counts.too_wide_names.push_back(*b + " (output " + m.name + ")");
            continue;
        }
        std::int32_t& kept = w.aux_channel_need[*b];
        kept = std::max(kept, static_cast<std::int32_t>(need));
        w.routed_sources[*a].push_back({s, static_cast<std::int32_t>(2 * m.output_pair)});
    }
}

void wire_outputs(const TrackWiringInput& in, const TrackLookup& lookup, const NameIndex& index,
                  TrackWiring& w) {
    for (std::size_t k = 0; k < in.groups.size(); ++k) {
        const LaneGroup& g = in.groups[k];
        const std::string& n = w.lane_group_names[k];
        if (!g.output_name.empty() && is_index_key(index, g.output_name)) {
            const std::string r = resolve_name_via_index(index, g.output_name);
            if (!r.empty() && r != n) {
                const std::int32_t s = lookup.session(n);
                if (s >= 0 && lookup.output(r) >= 0) {
                    w.main_send_off.insert(n);
                    w.routed_into[r].push_back(s);
                    ++track_wiring.counts.outputs_routed;
                }
            }
        }
    }
    for (std::size_t k = 0; k < in.groups.size(); ++k) {
        const std::string& n = w.lane_group_names[k];
        if (in.groups[k].no_output_name && lookup.session(n) >= 0 &&
            w.main_send_off.insert(n).second)
            track_wiring.no_output_tracks.push_back(n);
    }
}

template <class Map>
const typename Map::mapped_type* find_for_track(const Map& map, const OutputTrack& track) {
    if (const auto it = map.find(track.name); it != map.end()) return &it->second;
    if (const auto it = map.find(track.session_name); it != map.end()) return &it->second;
    return nullptr;
}

}  // namespace

std::map<std::string, std::int32_t> send_return_bus_numbers(
    const std::map<std::string, std::vector<SessionSend>>& receives,
    std::span<const OutputTrack> tracks, std::int32_t video_tracks) {
    std::set<std::string> track_names;
    for (const OutputTrack& t : tracks) track_names.insert(t.name);
    std::map<std::string, std::int32_t> out;
    std::int32_t bus = static_cast<std::int32_t>(tracks.size()) + video_tracks;
    for (const auto& [destination, sends] : receives)
        if (!track_names.count(destination)) out[destination] = bus++;
    return out;
}

TrackWiring prepare_track_wiring(const TrackWiringInput& in) {
    TrackWiring w;
    w.lane_group_names = lane_group_names(in.groups, in.lane_sets);
    const TrackLookup lookup(in.tracks);
    wire_multi_outputs(in, lookup, w);

    NameIndex index;
    build_name_index(in.data, in.length, in.groups, w.lane_group_names, index);
    w.receives = prepare_sends(in.groups, in.lane_sets, in.tracks, &index);

    std::vector<ChannelEntry> entries;
    read_channel_entries(in.data, in.length, entries);
    std::map<std::uint16_t, std::string> key_names;
    read_name_map_260e(in.data, in.length, key_names);
    const bool instances = in.plugins_by_track && !in.plugins_by_track->empty();
    if (instances)
        w.multi_mono_pairs = find_multi_mono_pairs(*in.plugins_by_track, entries, key_names);

    wire_outputs(in, lookup, index, w);
    wire_surround_panners(in.data, in.length, in.groups, w.lane_group_names, in.lane_sets, entries,
                          in.merged_multichannel_tracks);

    w.bus_track_numbers = send_return_bus_numbers(w.receives, in.tracks, in.video_tracks_written);

    SidechainKeyInput keys;
    keys.plugins = in.plugins_by_track;
    keys.index = &index;
    keys.key_names = &key_names;
    keys.tracks = in.tracks;
    keys.resolve_keys = instances && !in.no_sidechain;
    wire_sidechain_keys(keys, w);

    std::vector<StripRow> rows;
    read_strip_rows(in.data, in.length, rows);
    std::map<std::uint64_t, std::vector<std::uint64_t>> links;
    FolderInput folders;
    folders.links_read = read_id_links_210c(in.data, in.length, links) != 0;
    folders.rows = rows;
    folders.tracks = in.tracks;
    folders.links = &links;
    folders.main_send_off = &w.main_send_off;
    w.strip_row_of_track = wire_folders(folders);

    const TrackWiringCounts& counts = track_wiring.counts;
    if (counts.too_wide > 0)
        say("  %d output route(s) or sidechain key(s) left out: the track would pass\n"
            "      REAPER's %d channels\n%s",
            counts.too_wide, kMaxTrackChannels, name_rows(counts.too_wide_names).c_str());
    return w;
}

void apply_track_wiring(const TrackWiring& w, std::span<const OutputTrack> tracks,
                        std::vector<TrackWriteInput>& inputs) {
    if (inputs.size() < tracks.size()) inputs.resize(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const OutputTrack& track = tracks[i];
        TrackWriteInput& in = inputs[i];
        const std::int32_t index = static_cast<std::int32_t>(i);
        if (const auto* routed = find_for_track(w.routed_sources, track))
            in.routed_sources = *routed;
        if (const auto* need = find_for_track(w.aux_channel_need, track)) in.aux_channels = *need;
        if (w.main_send_off.count(track.name) || w.main_send_off.count(track.session_name))
            in.output_into_aux = 1;
        if (const auto* width = find_for_track(track_wiring.surround_bus_width, track))
            in.surround_bus_width = *width;
        if (const auto* state = find_for_track(track_wiring.surround_pan_states, track)) {
            in.surround_panned = 1;
            in.surround_panner_width = state->output_channels;
            in.surround_panner_stereo = state->stereo_input;
        }
        if (const auto* first = find_for_track(w.first_key_source, track)) {
            in.receives_keys = 1;
            in.first_key_source = *first;
            if (const auto* more = find_for_track(w.more_key_sources, track))
                in.key_sources = *more;
        }
        if (const auto text = track_wiring.folder_text.find(index);
            text != track_wiring.folder_text.end())
            in.folder_text = text->second;
        in.folder = track_wiring.folder_track_indices.count(index) ? 1 : 0;
    }
    // Feeding sources last: their width is the source's panner or folded width.
    const TrackLookup lookup(tracks);
    for (const auto& [target, sources] : w.routed_into) {
        const std::int32_t d = lookup.output(target);
        if (d < 0) continue;
        const std::size_t i = static_cast<std::size_t>(d);
        for (std::int32_t s : sources) {
            const TrackWriteInput& source = inputs[static_cast<std::size_t>(s)];
            const std::int32_t width =
                source.surround_panned ? source.surround_panner_width : source.folded_channels;
            inputs[i].feeding_sources.push_back({s, width});
        }
    }
}
