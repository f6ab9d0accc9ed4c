#include "convert/tracks/track_order.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kMasterFader = 0x261d;
constexpr std::uint32_t kVcaMaster = 0x261f;
constexpr std::uint32_t kMidiTrack = 0x2620;
constexpr std::uint32_t kInstrumentTrack = 0x2621;
constexpr std::uint32_t kVideoTrack = 0x2623;

StagedTrack empty_track(const std::string& name) {
    StagedTrack t;
    t.track.name = name;
    t.track.session_name = name;
    return t;
}

bool other_block_named(const NamedBlockEntry& block, std::span<const NamedBlockEntry> named,
                       const std::string& d) {
    for (const NamedBlockEntry& other : named)
        if (&other != &block && (other.second_name == d || other.name == d)) return true;
    return false;
}

bool has_sends(std::span<const LaneGroup> groups, const std::string& d, const std::string& name) {
    for (const LaneGroup& g : groups)
        if ((g.name == d || (!name.empty() && g.name == name)) && !g.sends.empty()) return true;
    return false;
}

bool has_hardware_insert(std::span<const std::pair<std::string, std::string>> inserts,
                         const std::string& d, const std::string& name) {
    for (const auto& [insert, track] : inserts)
        if (track == d || (!name.empty() && track == name)) return true;
    return false;
}

bool click_name(const std::string& d) {
    return d == "Click" || d.starts_with("Click ") || d.starts_with("Click.");
}

}  // namespace

ClickTest click_test(const NamedBlockEntry& block, std::span<const NamedBlockEntry> named,
                     const TrackOrderInput& in) {
    ClickTest out;
    const std::string& d = display_name(block);
    const std::vector<SessionPluginInstance>* plugins = nullptr;
    if (in.plugins_by_track) {
        const auto found = in.plugins_by_track->find(d);
        if (found != in.plugins_by_track->end()) plugins = &found->second;
    }
    const bool elsewhere = other_block_named(block, named, d) ||
                           has_sends(in.lane_groups, d, block.name) ||
                           has_hardware_insert(in.hardware_inserts, d, block.name);
    if (plugins) {
        for (const SessionPluginInstance& p : *plugins)
            if (p.aax_id.starts_with("Digiclik")) out.click_two = true;
    }
    if (out.click_two) {
        const bool more = plugins->size() > 1 || elsewhere;
        out.click = !more;
        out.holds_more = more;
    } else if (click_name(d)) {
        out.click = plugins == nullptr && !elsewhere;
    }
    return out;
}

std::vector<StagedTrack> rebuild_track_order(TrackOrderInput& in, const TrackGroups& groups,
                                             TrackStageState& state) {
    std::vector<StagedTrack> out;
    std::vector<std::uint8_t> used(in.source.size(), 0);
    std::vector<std::uint8_t> midi_used(in.midi.size(), 0);
    // A clip track named after a session track goes by that name in the session.
    std::set<std::string> block_names;
    for (const NamedBlockEntry& b : in.named) {
        if (!b.name.empty()) block_names.insert(b.name);
        if (!b.second_name.empty()) block_names.insert(b.second_name);
    }
    for (StagedTrack& s : in.source)
        if (s.track.session_name.empty() && block_names.contains(s.track.name))
            s.track.session_name = s.track.name;

    for (const NamedBlockEntry& b : in.named) {
        const std::string& d = display_name(b);
        if (b.flag == 0) {
            if (!b.second_name.empty()) in.inactive_names.insert(b.second_name);
            if (!b.name.empty()) in.inactive_names.insert(b.name);
        }
        if (b.content_type == kMasterFader) continue;
        if (b.content_type == kVideoTrack) {
            state.video_tracks.push_back(d);
            continue;
        }
        if (b.content_type == kVcaMaster) {
            if (d.empty()) continue;
            const auto masks = groups.masks.find(d);
            if (masks != groups.masks.end() && masks->second[1] != 0) {
                StagedTrack vca = empty_track(d);
                const auto level = groups.vca_levels.find(d);
                if (level != groups.vca_levels.end()) vca.input.kept_fader_db = level->second;
                out.push_back(std::move(vca));
            } else {
                state.vca_masters_unlinked.push_back(d);
            }
            continue;
        }
        if (d.empty()) continue;
        const ClickTest click = click_test(b, in.named, in);
        if (in.no_click && click.holds_more) state.click_with_more.push_back(d);

        if (b.content_type == kMidiTrack || b.content_type == kInstrumentTrack) {
            bool taken = false;
            for (std::size_t i = 0; i < in.midi.size() && !taken; ++i) {
                if (midi_used[i]) continue;
                const std::string& n = in.midi[i].track.name;
                if (n != b.second_name && n != b.name) continue;
                midi_used[i] = 1;
                if (in.no_click && click.click && click.click_two)
                    state.click_with_more.push_back(d);
                out.push_back(std::move(in.midi[i]));
                taken = true;
            }
            if (taken) continue;
        } else {
            std::size_t match = in.source.size();
            for (std::size_t i = 0; i < in.source.size(); ++i)
                if (!used[i] && !in.source[i].track.session_name.empty() &&
                    in.source[i].track.session_name == b.second_name) {
                    match = i;
                    break;
                }
            if (match == in.source.size() && b.name != b.second_name) {
                bool claimed = false;
                for (const NamedBlockEntry& other : in.named)
                    claimed = claimed || (&other != &b && other.second_name == b.name);
                for (std::size_t i = 0; i < in.source.size() && !claimed; ++i)
                    if (!used[i] && in.source[i].track.session_name == b.name) {
                        match = i;
                        break;
                    }
            }
            if (match != in.source.size()) {
                const std::string s = in.source[match].track.session_name;
                for (std::size_t i = match; i < in.source.size(); ++i) {
                    if (used[i]) continue;
                    const OutputTrack& t = in.source[i].track;
                    const bool same = t.session_name == s;
                    const bool companion = t.session_name.empty() && t.name.starts_with(s + " [");
                    if (!same && !companion) break;
                    used[i] = 1;
                    out.push_back(std::move(in.source[i]));
                }
                if (in.no_click && click.click && click.click_two)
                    state.click_with_more.push_back(d);
                continue;
            }
        }
        if (in.no_click && click.click) {
            state.clicks_left_out.push_back(d);
            continue;
        }
        // An empty track goes by the name the session shows for it.
        out.push_back(empty_track(d));
        ++state.written_empty;
    }
    for (std::size_t i = 0; i < in.source.size(); ++i)
        if (!used[i]) {
            in.source[i].left_over = 1;
            out.push_back(std::move(in.source[i]));
        }
    for (std::size_t i = 0; i < in.midi.size(); ++i)
        if (!midi_used[i]) out.push_back(std::move(in.midi[i]));
    return out;
}

void add_folder_tracks(std::vector<StagedTrack>& tracks, std::span<const StripRow> rows) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const StripRow& row = rows[r];
        if (row.kind != 11 || row.flag == 0 || row.name.empty()) continue;
        const auto named_here = [&](const std::string& name) {
            return std::find_if(tracks.begin(), tracks.end(),
                                [&](const StagedTrack& t) { return t.track.session_name == name; });
        };
        if (named_here(row.name) != tracks.end()) continue;
        auto at = tracks.end();
        for (std::size_t later = r + 1; later < rows.size() && at == tracks.end(); ++later)
            at = named_here(rows[later].name);
        StagedTrack folder = empty_track(row.name);
        folder.input.channel_count = 2;
        tracks.insert(at, std::move(folder));
    }
}

void mark_silent_tracks(std::vector<StagedTrack>& tracks, const std::set<std::string>& inactive,
                        const std::set<std::string>& voice_off, TrackStageState& state) {
    for (StagedTrack& t : tracks) {
        if (inactive.contains(t.track.session_name)) {
            t.track.inactive = 1;
            ++state.inactive_marked;
        }
        if (voice_off.contains(t.track.session_name)) {
            t.track.voice_off = 1;
            ++state.voice_off_marked;
        }
    }
}
