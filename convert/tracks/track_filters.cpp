#include "convert/tracks/track_filters.h"

#include "convert/tracks/name_matching.h"

namespace {

void add_channels(const NameIndex* index, const std::string& key, std::set<std::uint32_t>& out) {
    if (index == nullptr) return;
    const auto ids = index->ids_by_key.find(key);
    if (ids != index->ids_by_key.end()) out.insert(ids->second.begin(), ids->second.end());
}

// The clips of a track left out are named with it: they join the clip balance as left out, and
// the muted alternates of an " [alt takes]" track no longer count as recovered.
void leave_out_clips(const OutputTrack& track, ClipStageCounts& counts) {
    int clips = static_cast<int>(track.clips.size());
    for (const ClipLane& lane : track.lanes) clips += static_cast<int>(lane.clips.size());
    counts.filtered_clips += clips;
    if (track.alternate == AlternateKind::takes) {
        const int recovered = static_cast<int>(track.clips.size());
        counts.alternate_clips -= recovered;
        counts.recovered_alternates -= recovered;
    }
}

}  // namespace

TrackNeeds track_needs(const TrackNeedsInput& in) {
    TrackNeeds needs;
    std::map<std::string, std::set<std::uint32_t>> channels;
    static const NameIndex empty_index;
    const NameIndex& index = in.name_index ? *in.name_index : empty_index;
    for (std::size_t i = 0; i < in.lane_groups.size() && i < in.owner_names.size(); ++i) {
        const LaneGroup& g = in.lane_groups[i];
        const std::string& owner = in.owner_names[i];
        // A send reaches its bus by the bus's input, else by its own name, as the send writer
        // takes it; an output only by the input it names.
        std::vector<std::pair<std::string, bool>> keys;
        for (const TrackSend& send : g.sends) keys.emplace_back(send.destination_name, true);
        if (!g.output_name.empty()) keys.emplace_back(g.output_name, false);
        for (const auto& [key, own_name_too] : keys) {
            std::string r = resolve_name_via_index(index, key);
            if (r.empty() && own_name_too) r = key;
            if (r.empty() || r == owner) continue;
            needs[owner].insert(r);
            add_channels(in.name_index, key, channels[owner]);
        }
    }
    if (in.plugins_by_track && in.key_names) {
        for (const auto& [track, plugins] : *in.plugins_by_track) {
            for (const SessionPluginInstance& p : plugins) {
                if (p.channel_word < 0 || p.channel_word > 0xFFFF) continue;
                const auto key = in.key_names->find(static_cast<std::uint16_t>(p.channel_word));
                if (key == in.key_names->end()) continue;
                std::set<std::uint32_t> keyed;
                add_channels(in.name_index, key->second, keyed);
                for (const auto& [owner, set] : channels) {
                    if (owner == track) continue;
                    for (std::uint32_t c : keyed)
                        if (set.contains(c)) {
                            needs[track].insert(owner);
                            break;
                        }
                }
            }
        }
    }
    if (in.id_links) {
        std::map<std::uint64_t, std::string> strip_names;
        for (const StripRow& row : in.strip_rows) strip_names.emplace(row.id, row.name);
        for (const auto& [a, linked] : *in.id_links) {
            const auto from = strip_names.find(a);
            if (from == strip_names.end()) continue;
            for (std::uint64_t id : linked) {
                const auto to = strip_names.find(id);
                if (to != strip_names.end() && to->second != from->second)
                    needs[to->second].insert(from->second);
            }
        }
    }
    return needs;
}

bool named_in_hide_list(const std::string& hide_list, const std::string& name) {
    if (name.empty() || hide_list.empty()) return false;
    return ("," + hide_list + ",").find("," + name + ",") != std::string::npos;
}

void filter_tracks(std::vector<StagedTrack>& tracks, const TrackFilterInput& in,
                   TrackStageState& state, ClipStageCounts& counts) {
    if (!in.skip_hidden && !in.skip_inactive) return;
    std::vector<std::uint32_t> skip(tracks.size(), 0);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const OutputTrack& t = tracks[i].track;
        if (t.session_name.empty()) continue;
        if (in.skip_hidden) {
            const TrackViewState* view =
                in.views ? find_track_view(t.name, t.session_name, *in.views) : nullptr;
            if ((view && !view->shown_in_mixer) ||
                (in.hide_list && named_in_hide_list(in.hide_list, t.session_name)))
                skip[i] |= kSkipHidden;
        }
        if (in.skip_inactive && t.inactive) skip[i] |= kSkipInactive;
        if (!in.id_links_read && in.unlinked_flagged_rows.contains(t.session_name)) skip[i] = 0;
    }
    // Needs, to a fixed point: each pass only clears bits, so it ends. A needed name keeps every
    // track of that session name (both legs of a stereo pair).
    for (bool cleared = true; cleared;) {
        cleared = false;
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const std::string& needer = tracks[i].track.session_name;
            if (needer.empty() || skip[i] != 0) continue;
            const auto needs = in.needs.find(needer);
            if (needs == in.needs.end()) continue;
            for (const std::string& needed : needs->second) {
                bool kept_now = false;
                for (std::size_t j = 0; j < tracks.size(); ++j) {
                    if (tracks[j].track.session_name != needed || skip[j] == 0) continue;
                    skip[j] = 0;
                    kept_now = true;
                }
                if (!kept_now) continue;
                cleared = true;
                state.kept_for_needs.push_back(needed + " (" + needer + " needs it)");
            }
        }
    }
    std::vector<StagedTrack> kept;
    // The last track left out: its " [alt takes]" companion, which the track stages place right
    // behind it, goes with it unlisted, whether the companion has no session name or shares its
    // parent's.
    bool after_left_out = false;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        OutputTrack& t = tracks[i].track;
        const bool companion = after_left_out && t.alternate == AlternateKind::takes &&
                               (t.session_name.empty() || skip[i] != 0);
        if (companion || skip[i] != 0) {
            leave_out_clips(t, counts);
            if (companion) continue;
            (skip[i] & kSkipInactive ? state.inactive_left_out : state.hidden_left_out)
                .push_back(t.session_name);
            after_left_out = true;
            continue;
        }
        after_left_out = false;
        kept.push_back(std::move(tracks[i]));
    }
    tracks = std::move(kept);
}
