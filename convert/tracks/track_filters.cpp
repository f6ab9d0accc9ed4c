#include "convert/tracks/track_filters.h"

#include "convert/tracks/name_matching.h"

namespace {

void add_channels(const NameIndex* index, const std::string& key, std::set<std::uint32_t>& out) {
    if (index == nullptr) return;
    const auto ids = index->ids_by_key.find(key);
    if (ids != index->ids_by_key.end()) out.insert(ids->second.begin(), ids->second.end());
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
        std::vector<std::string> keys;
        for (const TrackSend& send : g.sends) keys.push_back(send.destination_name);
        if (!g.output_name.empty()) keys.push_back(g.output_name);
        for (const std::string& key : keys) {
            const std::string r = resolve_name_via_index(index, key);
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
                   TrackStageState& state) {
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
    // Needs, to a fixed point: each pass only clears bits, so it ends.
    for (bool cleared = true; cleared;) {
        cleared = false;
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const std::string& needer = tracks[i].track.session_name;
            if (needer.empty() || skip[i] != 0) continue;
            const auto needs = in.needs.find(needer);
            if (needs == in.needs.end()) continue;
            for (const std::string& needed : needs->second) {
                for (std::size_t j = 0; j < tracks.size(); ++j) {
                    if (tracks[j].track.session_name != needed) continue;
                    if (skip[j] != 0) {
                        skip[j] = 0;
                        cleared = true;
                        state.kept_for_needs.push_back(needed + " (" + needer + " needs it)");
                    }
                    break;
                }
            }
        }
    }
    std::vector<StagedTrack> kept;
    std::string left_out;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        OutputTrack& t = tracks[i].track;
        if (skip[i] != 0) {
            (skip[i] & kSkipInactive ? state.inactive_left_out : state.hidden_left_out)
                .push_back(t.session_name);
            left_out = t.session_name;
            continue;
        }
        if (t.session_name.empty() && !left_out.empty() && t.name == left_out + " [alt takes]")
            continue;
        left_out.clear();
        kept.push_back(std::move(tracks[i]));
    }
    tracks = std::move(kept);
}
