#include "convert/tracks/playlist_tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <span>
#include <utility>

#include "app/output.h"
#include "convert/clips/clip_math.h"
#include "convert/run_state.h"

namespace {

// One track of the track order with what its playlist says about it.
struct PlaylistTrack {
    std::uint16_t index = 0;
    OutputTrack track;
    std::vector<ClipRecord> alternates;
    std::uint8_t tick = 0;
    bool alt = false;
    bool unnamed = false;
};

// Pro Tools names a track's further playlists after it: "Vox.01", "Vox.02". The lane set of the
// track the name was made from, when there is one.
std::string lane_set_for(const std::string& playlist, const std::vector<TrackLaneSet>& sets) {
    const std::size_t dot = playlist.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= playlist.size()) return {};
    for (std::size_t i = dot + 1; i < playlist.size(); ++i)
        if (playlist[i] < '0' || playlist[i] > '9') return {};
    const std::string base = playlist.substr(0, dot);
    for (const TrackLaneSet& set : sets)
        if (set.name == base) return set.name;
    return {};
}

// The two legs' clips as one list, moved rather than copied: the legs' tracks are merged away.
std::vector<ClipRecord> panned_legs(std::vector<ClipRecord>&& left,
                                    std::vector<ClipRecord>&& right) {
    std::vector<ClipRecord> clips = std::move(left);
    for (ClipRecord& clip : clips) clip.rare.edit().pan = -1.0;
    clips.reserve(clips.size() + right.size());
    for (ClipRecord& clip : right) {
        clip.rare.edit().pan = 1.0;
        clips.push_back(std::move(clip));
    }
    // Stable: at equal starts the left leg stays first.
    std::stable_sort(clips.begin(), clips.end(), cmp_by_double_asc);
    return clips;
}

bool same_clips(const std::vector<ClipRecord>& a, const std::vector<ClipRecord>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || !(std::fabs(a[i].start - b[i].start) <= 1e-9) ||
            !(std::fabs(a[i].length - b[i].length) <= 1e-9))
            return false;
    return true;
}

struct Writer {
    PlaylistTracks& out;
    void write(OutputTrack track, std::uint8_t tick) {
        out.tracks.push_back(std::move(track));
        out.tick_based.push_back(tick);
    }
    // The stacked clips under a track's playing ones, written muted on a track of their own,
    // under the playing track's name and session name.
    void alt_takes(const std::string& name, const std::string& session_name,
                   std::vector<ClipRecord> clips, std::uint8_t tick) {
        if (clips.empty()) return;
        OutputTrack extra;
        extra.name = name + " [alt takes]";
        extra.session_name = session_name;
        extra.alternate = AlternateKind::takes;
        for (ClipRecord& clip : clips) clip.muted = 1;
        clip_counts.recovered_alternates += static_cast<int>(clips.size());
        extra.clips = std::move(clips);
        write(std::move(extra), tick);
        ++out.alt_take_tracks;
    }
};

}  // namespace

int merged_track_channels(int legs) {
    return legs + (legs % 2);
}

PlaylistTracks build_playlist_tracks(ClipModel& clips, const PlaylistTrackInput& in) {
    PlaylistTracks out;
    const std::set<std::string> session_names(in.session_track_names.begin(),
                                              in.session_track_names.end());

    // Step 1: playlist names.
    std::vector<PlaylistTrack> order;
    std::string parent;
    for (std::uint16_t index : clips.track_order) {
        const auto found = clips.output_tracks.find(index);
        if (found == clips.output_tracks.end()) continue;
        PlaylistTrack t;
        t.index = index;
        t.track = std::move(found->second);
        if (t.track.session_name.empty()) t.track.session_name = t.track.name;
        if (const auto alt = clips.alternates.find(index); alt != clips.alternates.end())
            t.alternates = std::move(alt->second);
        if (const auto tick = clips.tick_based.find(index); tick != clips.tick_based.end())
            t.tick = tick->second;
        const auto list = clips.list_index.find(index);
        const std::string playlist =
            list != clips.list_index.end() && list->second >= 0 &&
                    static_cast<std::size_t>(list->second) < clips.lists.size()
                ? clips.lists[static_cast<std::size_t>(list->second)].name
                : std::string();
        if (!playlist.empty()) {
            t.track.name = playlist;
            t.track.playlist_name = playlist;
            t.alt = !session_names.contains(playlist);
            t.unnamed = playlist == "?";
            if (t.unnamed) {
                t.track.parent_playlist_name = parent;
            } else {
                parent = playlist;
                if (t.alt) t.track.lane_name = lane_set_for(playlist, in.lane_sets);
            }
        }
        order.push_back(std::move(t));
    }
    clips.output_tracks.clear();
    clips.alternates.clear();

    // Step 2: runs of equal names.
    Writer writer{out};
    for (std::size_t first = 0; first < order.size();) {
        std::size_t n = 1;
        while (first + n < order.size() && order[first + n].track.name == order[first].track.name)
            ++n;
        const auto run = std::span(order).subspan(first, n);
        const bool any_alt =
            std::any_of(run.begin(), run.end(), [](const PlaylistTrack& t) { return t.alt; });
        bool alike = n >= 3 && n <= 8 && !any_alt;
        for (std::size_t k = 1; alike && k < n; ++k)
            alike = same_clips(run[0].track.clips, run[k].track.clips);
        if (n == 2 && !any_alt) {
            OutputTrack merged = std::move(run[0].track);
            merged.clips = panned_legs(std::move(merged.clips), std::move(run[1].track.clips));
            out.channel_counts[merged.name] = 2;
            ++out.merged_stereo;
            const std::string name = merged.name;
            const std::string session_name = merged.session_name;
            writer.write(std::move(merged), run[0].tick);
            if (in.recover_deleted)
                writer.alt_takes(
                    name, session_name,
                    panned_legs(std::move(run[0].alternates), std::move(run[1].alternates)),
                    run[0].tick);
        } else if (alike) {
            OutputTrack merged = std::move(run[0].track);
            for (ClipRecord& clip : merged.clips)
                if (clip.rare.held()) clip.rare.edit().pan = 0.0;
            out.channel_counts[merged.name] = static_cast<int>(n);
            out.merged_multichannel_tracks.push_back(merged.name);
            writer.write(std::move(merged), run[0].tick);
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                PlaylistTrack& t = run[k];
                if (t.alt && !in.keep_alt_takes) {
                    // Their clips are named in the summary's count of playlists set aside.
                    clip_counts.set_aside_playlist_clips += static_cast<int>(t.track.clips.size());
                    if (!t.unnamed) out.set_aside.push_back(std::move(t.track));
                    continue;
                }
                if (t.alt) {
                    ++out.alt_written;
                    if (!t.track.lane_name.empty()) {
                        t.track.name += " [lane: " + t.track.lane_name + "]";
                        t.track.alternate = AlternateKind::lane_playlist;
                        ++out.alt_with_lane;
                    } else {
                        t.track.name += " [alt playlist]";
                        t.track.alternate = AlternateKind::playlist;
                    }
                }
                if (n == 2) {
                    t.track.name += k == 0 ? " [L]" : " [R]";
                    t.track.pan = k == 0 ? -1.0 : 1.0;
                }
                if (t.unnamed) t.track.playlist_flag = 1;
                const std::string name = t.track.name;
                const std::string session_name = t.track.session_name;
                writer.write(std::move(t.track), t.tick);
                if (in.recover_deleted)
                    writer.alt_takes(name, session_name, std::move(t.alternates), t.tick);
            }
        }
        first += n;
    }

    // Step 3: the time base each written track's items keep.
    for (std::size_t i = 0; i < out.tracks.size(); ++i)
        out.timebase_values[out.tracks[i].name] = 2 * out.tick_based[i];

    return out;
}

void fold_playlist_tracks(std::vector<StagedTrack>& tracks, const PlaylistTrackInput& in,
                          PlaylistTracks& out) {
    // Step 4: alternate playlists folded into a parent that has no clips of its own.
    for (std::size_t i = 0; i < tracks.size();) {
        const std::string& wanted = tracks[i].track.parent_playlist_name;
        std::size_t host = tracks.size();
        if (!wanted.empty())
            for (std::size_t j = 0; j < tracks.size(); ++j) {
                const OutputTrack& t = tracks[j].track;
                if (j != i && t.session_name == wanted && t.clips.empty() &&
                    t.parent_playlist_name.empty()) {
                    host = j;
                    break;
                }
            }
        if (host == tracks.size()) {
            ++i;
            continue;
        }
        OutputTrack folded = std::move(tracks[i].track);
        ClipLane lane;
        lane.name = folded.lane_name.empty() ? folded.playlist_name : folded.lane_name;
        lane.clips = std::move(folded.clips);
        tracks[host].track.lanes.push_back(std::move(lane));
        tracks.erase(tracks.begin() + static_cast<std::ptrdiff_t>(i));
        ++out.folded;  // the next track moved up to i
    }
    // Pro Tools plays one playlist per track: an alternate written on its own never sounded there,
    // so its clips arrive muted. Every one of them is written under a name of its own.
    for (StagedTrack& staged : tracks) {
        OutputTrack& track = staged.track;
        if (!staged.from_clips || track.playlist_name.empty() || track.name == track.playlist_name)
            continue;
        // Named after the parent's lane set: matched to it, written beside it.
        (track.lane_name.empty() ? out.renamed : out.renamed_beside_parent)
            .push_back(track.playlist_name + " -> " + track.name);
        if (track.alternate == AlternateKind::playlist ||
            track.alternate == AlternateKind::lane_playlist)
            for (ClipRecord& clip : track.clips) clip.muted = 1;
    }
    out.alt_own_tracks = out.alt_written - out.alt_with_lane - out.folded;
    if (out.alt_own_tracks < 0) out.alt_own_tracks = 0;

    // Step 5: the clips of unnamed playlists written on their own, under the playlist their region
    // names.
    for (const StagedTrack& staged : tracks) {
        const OutputTrack& track = staged.track;
        if (!track.playlist_flag) continue;
        for (const ClipRecord& clip : track.clips)
            if (clip.region_index < in.playlist_names.size())
                out.playlist_clips.push_back(
                    {track.playlist_name, in.playlist_names[clip.region_index].name, clip.start});
    }

    // Step 6: the clips' tracks that no strip row names, and those no named block took (appended at
    // the end). Nothing is counted when the session gave no strip row.
    std::set<std::string> row_names;
    for (const StripRow& row : in.strip_rows) row_names.insert(row.name);
    if (!row_names.empty())
        for (const StagedTrack& staged : tracks)
            if (staged.from_clips && staged.track.alternate != AlternateKind::playlist &&
                staged.track.alternate != AlternateKind::takes &&
                (staged.left_over || !row_names.contains(staged.track.session_name)))
                ++out.unmatched;
    if (out.unmatched > 0)
        record_problem(
            "unmatched-tracks",
            format_text("%d track(s) matched no strip row", out.unmatched).substr(0, 120));

    // Step 7: the fold dump for whoever chases a misplaced playlist.
    if (in.debug_fold) {
        for (std::size_t i = 0; i < in.strip_rows.size(); ++i) {
            const StripRow& row = in.strip_rows[i];
            std::fprintf(stderr, "FOLD row %d type %02x w%d '%s'\n", static_cast<int>(i), row.kind,
                         row.byte_after_name + 1, row.name.c_str());
        }
        for (std::size_t i = 0; i < tracks.size(); ++i)
            std::fprintf(stderr, "FOLD outt %d name '%s' pt '%s'\n", static_cast<int>(i),
                         tracks[i].track.name.c_str(), tracks[i].track.session_name.c_str());
    }
}

PlaylistSummaryLines playlist_summary_lines(const PlaylistTracks& r, bool keep_alt_takes) {
    PlaylistSummaryLines lines;
    if (r.alt_own_tracks != 0)
        lines.own_tracks = format_text(
            "  %d alternate playlist(s) could not be matched to a parent track by\n"
            "      name and arrive as their own tracks, MUTED -- Pro Tools plays one\n"
            "      playlist per track, so these never sounded there either. Unmute\n"
            "      one in REAPER to audition it.\n",
            r.alt_own_tracks);
    if (r.alt_with_lane != 0)
        lines.matched += format_text("  %d alternate playlists matched to their parent track\n",
                                     r.alt_with_lane);
    if (r.merged_stereo != 0)
        lines.matched +=
            format_text("  %d Pro Tools stereo track(s) merged from split mono\n", r.merged_stereo);
    if (r.folded != 0)
        lines.matched += format_text(
            "  %d alternate playlist(s) folded into a parent that has no clips of its own\n",
            r.folded);
    // Each playlist is counted once, where it went: a lane of its parent, a track of its own
    // beside the parent it was matched to, or (row 127, above) a track matched to no parent. The
    // renamed ones follow the count they belong to.
    const auto renamed_rows = [](const std::vector<std::string>& renamed) {
        std::string rows;
        for (const std::string& name : renamed)
            rows += format_text("      renamed %s\n", name.c_str());
        return rows;
    };
    if (!lines.own_tracks.empty()) lines.own_tracks += renamed_rows(r.renamed);
    if (keep_alt_takes && r.folded > 0)
        lines.lanes += format_text(
            "  %d alternate playlists kept as lanes (--drop-alt-takes to leave them out)\n",
            r.folded);
    if (keep_alt_takes && r.alt_with_lane > 0)
        lines.lanes +=
            format_text(
                "  %d alternate playlist(s) matched to a parent are kept as tracks of\n"
                "      their own, MUTED -- Pro Tools plays one playlist per track. Unmute\n"
                "      one to audition it (--drop-alt-takes to leave them out):\n",
                r.alt_with_lane) +
            renamed_rows(r.renamed_beside_parent);
    if (!keep_alt_takes && !r.set_aside.empty())
        lines.lanes +=
            format_text("  %d alternate playlists set aside (--drop-alt-takes was given)\n",
                        static_cast<int>(r.set_aside.size()));
    if (r.unmatched != 0)
        lines.unmatched = format_text(
            "  %d track(s) matched no strip row and were appended at the end --\n"
            "      please send this session file, that should not happen\n",
            r.unmatched);
    return lines;
}
