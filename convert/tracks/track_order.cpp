#include "convert/tracks/track_order.h"

#include <algorithm>
#include <list>

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

bool click_name(const std::string& d) {
    return d == "Click" || d.starts_with("Click ") || d.starts_with("Click.");
}

// Tracks in a list, in list order, by a name: the first unused one of a name is found without
// walking the tracks before it.
class TracksByName {
  public:
    void add(const std::string& name, std::size_t index) { lists_[name].indices.push_back(index); }
    // The first track of `name` that `used` does not mark, or `none`.
    std::size_t first_unused(const std::string& name, const std::vector<std::uint8_t>& used,
                             std::size_t none) {
        const auto found = lists_.find(name);
        if (found == lists_.end()) return none;
        List& list = found->second;
        while (list.next < list.indices.size() && used[list.indices[list.next]]) ++list.next;
        return list.next < list.indices.size() ? list.indices[list.next] : none;
    }

  private:
    struct List {
        std::vector<std::size_t> indices;  // ascending
        std::size_t next = 0;              // the entries before it are used
    };
    std::unordered_map<std::string, List> lists_;
};

// The unused source tracks from a position on, past the used ones in one step: `next[i]` leads
// towards the first unused track at or after i (n when none is left).
class UnusedTracks {
  public:
    explicit UnusedTracks(std::size_t n) : next_(n + 1) {
        for (std::size_t i = 0; i <= n; ++i) next_[i] = i;
    }
    std::size_t from(std::size_t i) {
        while (next_[i] != i) {
            next_[i] = next_[next_[i]];
            i = next_[i];
        }
        return i;
    }
    void use(std::size_t i) { next_[i] = i + 1; }

  private:
    std::vector<std::size_t> next_;
};

}  // namespace

ClickContext click_context(const TrackOrderInput& in) {
    ClickContext out;
    for (const NamedBlockEntry& b : in.named) {
        ++out.blocks_named[b.second_name];
        if (b.name != b.second_name) ++out.blocks_named[b.name];
    }
    for (const LaneGroup& g : in.lane_groups)
        if (!g.sends.empty()) out.with_sends.insert(g.name);
    for (const auto& [insert, track] : in.hardware_inserts) out.with_inserts.insert(track);
    return out;
}

ClickTest click_test(const NamedBlockEntry& block, const ClickContext& context,
                     const TrackOrderInput& in) {
    ClickTest out;
    const std::string& d = display_name(block);
    const std::vector<SessionPluginInstance>* plugins = nullptr;
    if (in.plugins_by_track) {
        const auto found = in.plugins_by_track->find(d);
        if (found != in.plugins_by_track->end()) plugins = &found->second;
    }
    // The block goes by `d` itself, so another block of that name makes two.
    const auto named_d = context.blocks_named.find(d);
    const auto elsewhere_as = [&](const std::string& name) {
        return context.with_sends.contains(name) || context.with_inserts.contains(name);
    };
    const bool elsewhere = (named_d != context.blocks_named.end() && named_d->second > 1) ||
                           elsewhere_as(d) || (!block.name.empty() && elsewhere_as(block.name));
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
    // Every source and MIDI track and at most one track per named block: no track is moved again
    // as the list grows.
    out.reserve(in.source.size() + in.midi.size() + in.named.size());
    const std::size_t none = in.source.size();
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

    const ClickContext click_in = click_context(in);
    std::unordered_map<std::string, int> second_names;  // blocks by their second name
    for (const NamedBlockEntry& b : in.named) ++second_names[b.second_name];
    TracksByName source_by_name;
    for (std::size_t i = 0; i < in.source.size(); ++i)
        source_by_name.add(in.source[i].track.session_name, i);
    TracksByName midi_by_name;
    for (std::size_t i = 0; i < in.midi.size(); ++i) midi_by_name.add(in.midi[i].track.name, i);
    UnusedTracks unused(in.source.size());

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
        const ClickTest click = click_test(b, click_in, in);
        if (in.no_click && click.holds_more) state.click_with_more.push_back(d);

        if (b.content_type == kMidiTrack || b.content_type == kInstrumentTrack) {
            // The first unused MIDI track of either name.
            const std::size_t midi_none = in.midi.size();
            const std::size_t i =
                std::min(midi_by_name.first_unused(b.second_name, midi_used, midi_none),
                         midi_by_name.first_unused(b.name, midi_used, midi_none));
            if (i != midi_none) {
                midi_used[i] = 1;
                if (in.no_click && click.click && click.click_two)
                    state.click_with_more.push_back(d);
                out.push_back(std::move(in.midi[i]));
                continue;
            }
        } else {
            std::size_t match = b.second_name.empty()
                                    ? none
                                    : source_by_name.first_unused(b.second_name, used, none);
            if (match == none && b.name != b.second_name) {
                // Unless another block goes by this block's name.
                const auto claimed = second_names.find(b.name);
                if (claimed == second_names.end())
                    match = source_by_name.first_unused(b.name, used, none);
            }
            if (match != none) {
                // The track, and the unused tracks right behind it of its name or its companions.
                const std::string s = in.source[match].track.session_name;
                const std::string companion_prefix = s + " [";
                for (std::size_t i = unused.from(match); i < in.source.size(); i = unused.from(i)) {
                    const OutputTrack& t = in.source[i].track;
                    const bool same = t.session_name == s;
                    const bool companion =
                        t.session_name.empty() && t.name.starts_with(companion_prefix);
                    if (!same && !companion) break;
                    used[i] = 1;
                    unused.use(i);
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
    const auto folder_row = [](const StripRow& row) {
        return row.kind == 11 && row.flag != 0 && !row.name.empty();
    };
    if (std::none_of(rows.begin(), rows.end(), folder_row)) return;
    // The order as a list of places: i < n is tracks[i], n + k the k-th folder. A folder is added
    // only for a name no track has yet, and no track of that name comes after it: the first track
    // of a name, once there, stays the first.
    const std::size_t n = tracks.size();
    std::vector<StagedTrack> folders;
    std::list<std::size_t> order;
    std::unordered_map<std::string, std::list<std::size_t>::iterator> first_named;
    for (std::size_t i = 0; i < n; ++i)
        first_named.emplace(tracks[i].track.session_name, order.insert(order.end(), i));
    // The rows whose name a track has, and every row of each name.
    std::set<std::size_t> rows_named;
    std::unordered_map<std::string, std::vector<std::size_t>> rows_by_name;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows_by_name[rows[r].name].push_back(r);
        if (first_named.contains(rows[r].name)) rows_named.insert(r);
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const StripRow& row = rows[r];
        if (!folder_row(row) || first_named.contains(row.name)) continue;
        // Before the first track a later row names.
        const auto later = rows_named.upper_bound(r);
        const auto at = later == rows_named.end() ? order.end() : first_named.at(rows[*later].name);
        first_named.emplace(row.name, order.insert(at, n + folders.size()));
        StagedTrack folder = empty_track(row.name);
        folder.input.channel_count = 2;
        folders.push_back(std::move(folder));
        for (std::size_t same : rows_by_name[row.name]) rows_named.insert(same);
    }
    if (folders.empty()) return;
    std::vector<StagedTrack> out;
    out.reserve(order.size());
    for (std::size_t place : order)
        out.push_back(std::move(place < n ? tracks[place] : folders[place - n]));
    tracks = std::move(out);
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
