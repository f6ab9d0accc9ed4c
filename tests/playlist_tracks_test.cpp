// Which tracks are written: split stereo legs joined, multichannel runs, alternate playlists and
// their folding into a parent.
#include "convert/tracks/playlist_tracks.h"

#include <gtest/gtest.h>

#include "convert/clips/clip_counts.h"
#include "convert/run_state.h"

namespace {

ClipRecord clip(const std::string& name, double start, double length = 1.0) {
    ClipRecord c;
    c.name = name;
    c.start = start;
    c.length = length;
    return c;
}

struct Track {
    std::string name;
    std::string playlist;  // empty: the clip list carries no name
    std::vector<ClipRecord> clips;
};

// A clip model of tracks in order, each with its own clip list.
ClipModel model_of(const std::vector<Track>& tracks) {
    ClipModel m;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto index = static_cast<std::uint16_t>(i);
        m.track_order.push_back(index);
        m.output_tracks[index].name = tracks[i].name;
        m.output_tracks[index].clips = tracks[i].clips;
        m.main_clips[index] = tracks[i].clips;
        m.list_index[index] = static_cast<std::int32_t>(m.lists.size());
        m.lists.push_back({tracks[i].playlist, 0});
    }
    return m;
}

PlaylistTrackInput input_named(std::vector<std::string> names) {
    PlaylistTrackInput in;
    in.session_track_names = std::move(names);
    return in;
}

// Both halves with no reordering between them (the session's track order is the clips' here).
PlaylistTracks build_and_fold(ClipModel& m, const PlaylistTrackInput& in) {
    PlaylistTracks r = build_playlist_tracks(m, in);
    std::vector<StagedTrack> staged;
    for (OutputTrack& t : r.tracks) staged.push_back({std::move(t), {}, 1, 0});
    fold_playlist_tracks(staged, in, r);
    r.tracks.clear();
    for (StagedTrack& t : staged) r.tracks.push_back(std::move(t.track));
    return r;
}

std::vector<std::string> names_of(const PlaylistTracks& r) {
    std::vector<std::string> names;
    for (const OutputTrack& t : r.tracks) names.push_back(t.name);
    return names;
}

}  // namespace

TEST(PlaylistTracks, SplitStereoPairIsOneTrackLeftLegFirst) {
    clip_counts.reset();
    ClipModel m = model_of({{"Gtr", "Gtr", {clip("R0", 5.0), clip("L0", 0.0)}},
                            {"Gtr", "Gtr", {clip("R1", 0.0), clip("R2", 5.0)}},
                            {"Bass", "Bass", {clip("B", 0.0)}}});
    // The clip stage keeps each list by start.
    std::swap(m.output_tracks[0].clips[0], m.output_tracks[0].clips[1]);
    const PlaylistTracks r = build_playlist_tracks(m, input_named({"Gtr", "Bass"}));
    ASSERT_EQ(names_of(r), (std::vector<std::string>{"Gtr", "Bass"}));
    const std::vector<ClipRecord>& c = r.tracks[0].clips;
    ASSERT_EQ(c.size(), 4u);
    // Equal starts keep the left leg first.
    EXPECT_EQ(c[0].name, "L0");
    EXPECT_EQ(c[0].rare.get().pan, -1.0);
    EXPECT_EQ(c[1].name, "R1");
    EXPECT_EQ(c[1].rare.get().pan, 1.0);
    EXPECT_EQ(c[2].rare.get().pan, -1.0);
    EXPECT_EQ(c[3].rare.get().pan, 1.0);
    EXPECT_EQ(r.channel_counts.at("Gtr"), 2);
    EXPECT_FALSE(r.channel_counts.contains("Bass"));
    EXPECT_EQ(r.merged_stereo, 1);
    EXPECT_NE(playlist_summary_lines(r, true).matched.find(
                  "  1 Pro Tools stereo track(s) merged from split mono\n"),
              std::string::npos);
}

// --recover-deleted: the stacked clips under each leg go, panned as their leg and muted, to one
// " [alt takes]" track beside the pair, or beside a track of its own, under its session name.
TEST(PlaylistTracks, AlternatesOfLegsAndTracksGoToAltTakeTracks) {
    clip_counts.reset();
    ClipModel m = model_of({{"Gtr", "Gtr", {clip("L0", 0.0)}},
                            {"Gtr", "Gtr", {clip("R0", 0.0)}},
                            {"Bass", "Bass", {clip("B", 0.0)}}});
    m.alternates[0] = {clip("L alt", 2.0)};
    m.alternates[1] = {clip("R alt", 1.0)};
    m.alternates[2] = {clip("B alt", 0.0)};
    PlaylistTrackInput in = input_named({"Gtr", "Bass"});
    in.recover_deleted = true;
    const PlaylistTracks r = build_playlist_tracks(m, in);
    ASSERT_EQ(names_of(r),
              (std::vector<std::string>{"Gtr", "Gtr [alt takes]", "Bass", "Bass [alt takes]"}));
    const std::vector<ClipRecord>& pair = r.tracks[1].clips;
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0].name, "R alt");
    EXPECT_EQ(pair[0].rare.get().pan, 1.0);
    EXPECT_EQ(pair[1].name, "L alt");
    EXPECT_EQ(pair[1].rare.get().pan, -1.0);
    EXPECT_EQ(pair[0].muted & pair[1].muted, 1);
    EXPECT_EQ(r.tracks[1].session_name, "Gtr");
    EXPECT_EQ(r.tracks[3].session_name, "Bass");
    EXPECT_EQ(r.tracks[3].clips.at(0).name, "B alt");
    EXPECT_EQ(r.tracks[0].clips.size(), 2u);  // the pair keeps its own clips
    EXPECT_EQ(clip_counts.recovered_alternates, 3);
}

TEST(PlaylistTracks, RunsOfLegs) {
    struct Case {
        const char* what;
        int legs;
        bool differ;  // the last leg's clip starts later
        std::vector<std::string> written;
        int channels;  // recorded for the first name; 0 none
    } cases[] = {
        {"three equal legs", 3, false, {"Amb"}, 3},
        {"six equal legs", 6, false, {"Amb"}, 6},
        {"three legs that differ", 3, true, {"Amb", "Amb", "Amb"}, 0},
        {"nine legs", 9, false, std::vector<std::string>(9, "Amb"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Track> tracks;
        for (int i = 0; i < c.legs; ++i)
            tracks.push_back({"Amb", "Amb", {clip("a", c.differ && i == c.legs - 1 ? 1.0 : 0.0)}});
        ClipModel m = model_of(tracks);
        const PlaylistTracks r = build_playlist_tracks(m, input_named({"Amb"}));
        EXPECT_EQ(names_of(r), c.written);
        EXPECT_EQ(r.channel_counts.contains("Amb") ? r.channel_counts.at("Amb") : 0, c.channels);
        if (c.channels == 0) continue;
        EXPECT_EQ(r.tracks[0].clips.size(), 1u);
        EXPECT_EQ(r.tracks[0].clips[0].rare.get().pan, 0.0);
    }
    // REAPER's channel counts are even; the map keeps the legs.
    EXPECT_EQ(merged_track_channels(2), 2);
    EXPECT_EQ(merged_track_channels(3), 4);
    EXPECT_EQ(merged_track_channels(7), 8);
}

TEST(PlaylistTracks, AlternatePlaylistsAreNamedKeptOrSetAside) {
    clip_counts.reset();
    const std::vector<Track> tracks = {
        // The two legs of a stereo track, on an alternate playlist.
        {"Vox", "Vox.01", {clip("v", 0.0)}},
        {"Vox", "Vox.01", {clip("w", 0.0)}},
        {"Keys", "Keys take", {clip("k", 0.0)}},
    };
    PlaylistTrackInput in = input_named({"Vox", "Keys"});
    in.lane_sets.push_back(TrackLaneSet{});
    in.lane_sets.back().name = "Vox";
    {
        ClipModel m = model_of(tracks);
        const PlaylistTracks r = build_and_fold(m, in);
        EXPECT_EQ(names_of(r),
                  (std::vector<std::string>{"Vox.01 [lane: Vox] [L]", "Vox.01 [lane: Vox] [R]",
                                            "Keys take [alt playlist]"}));
        // Alternates never sounded in Pro Tools.
        for (const OutputTrack& t : r.tracks) EXPECT_EQ(t.clips.at(0).muted, 1) << t.name;
        EXPECT_EQ(r.tracks[0].pan, -1.0);
        EXPECT_EQ(r.tracks[1].pan, 1.0);
        EXPECT_TRUE(r.channel_counts.empty());
        EXPECT_EQ(r.alt_written, 3);
        EXPECT_EQ(r.alt_with_lane, 2);
        // The two legs are tracks of their own beside their parent, the other playlist one
        // matched to no parent: each count is followed by its own renamed rows, and none says
        // lanes.
        const PlaylistSummaryLines lines = playlist_summary_lines(r, true);
        EXPECT_TRUE(lines.own_tracks.starts_with(
            "  1 alternate playlist(s) could not be matched to a parent track by\n"));
        EXPECT_TRUE(
            lines.own_tracks.ends_with("      one in REAPER to audition it.\n"
                                       "      renamed Keys take -> Keys take [alt playlist]\n"))
            << lines.own_tracks;
        EXPECT_EQ(lines.lanes,
                  "  2 alternate playlist(s) matched to a parent are kept as tracks of\n"
                  "      their own, MUTED -- Pro Tools plays one playlist per track. Unmute\n"
                  "      one to audition it (--drop-alt-takes to leave them out):\n"
                  "      renamed Vox.01 -> Vox.01 [lane: Vox] [L]\n"
                  "      renamed Vox.01 -> Vox.01 [lane: Vox] [R]\n");
    }
    in.keep_alt_takes = false;
    ClipModel m = model_of(tracks);
    const PlaylistTracks r = build_and_fold(m, in);
    EXPECT_TRUE(r.tracks.empty());
    EXPECT_EQ(r.set_aside.size(), 3u);
    // Their clips are named as left out, so the clip balance holds.
    EXPECT_EQ(clip_counts.set_aside_playlist_clips, 3);
    EXPECT_NE(playlist_summary_lines(r, false).lanes.find(
                  "  3 alternate playlists set aside (--drop-alt-takes was given)\n"),
              std::string::npos);
    EXPECT_EQ(playlist_summary_lines(r, false).lanes.find("renamed"), std::string::npos);
}

TEST(PlaylistTracks, UnnamedPlaylistFoldsIntoAClipLessParent) {
    ClipModel m = model_of({{"Drums", "Drums", {}}, {"Drums", "?", {clip("hit", 2.0)}}});
    const PlaylistTracks r = build_and_fold(m, input_named({"Drums"}));
    ASSERT_EQ(r.tracks.size(), 1u);
    EXPECT_EQ(r.tracks[0].name, "Drums");
    ASSERT_EQ(r.tracks[0].lanes.size(), 1u);
    EXPECT_EQ(r.tracks[0].lanes[0].clips.size(), 1u);
    EXPECT_EQ(r.folded, 1);
    EXPECT_NE(playlist_summary_lines(r, true).matched.find(
                  "  1 alternate playlist(s) folded into a parent that has no clips of its own\n"),
              std::string::npos);
    // A lane, and only a lane: no track of its own is counted.
    const PlaylistSummaryLines lines = playlist_summary_lines(r, true);
    EXPECT_EQ(lines.lanes,
              "  1 alternate playlists kept as lanes (--drop-alt-takes to leave them out)\n");
    EXPECT_EQ(lines.own_tracks, "");
}

TEST(PlaylistTracks, OnlyTracksNoStripRowNamesAreUnmatched) {
    ClipModel m = model_of({{"A", "A", {clip("a", 0.0)}},
                            {"B", "B", {clip("b", 0.0)}},
                            {"A", "A take", {clip("c", 0.0)}}});
    PlaylistTrackInput in = input_named({"A", "B"});
    in.strip_rows.push_back({"A", 0, 0, 0, 1});
    run_outcome.problem_kind.clear();
    const PlaylistTracks r = build_and_fold(m, in);
    // B is unmatched; the alternate playlist is not counted.
    EXPECT_EQ(r.unmatched, 1);
    EXPECT_EQ(run_outcome.problem_kind, "unmatched-tracks");
    EXPECT_EQ(run_outcome.problem_detail, "1 track(s) matched no strip row");
    run_outcome.problem_kind.clear();
    run_outcome.problem_detail.clear();
    in.strip_rows.push_back({"B", 0, 0, 0, 2});
    ClipModel again = model_of({{"A", "A", {clip("a", 0.0)}}, {"B", "B", {clip("b", 0.0)}}});
    EXPECT_EQ(build_and_fold(again, in).unmatched, 0);
}

TEST(PlaylistTracks, ClipsOfAnUnnamedPlaylistAreListedByTheirRegionsPlaylist) {
    ClipRecord hit = clip("hit", 2.0);
    hit.region_index = 1;
    ClipRecord far = clip("far", 3.0);
    far.region_index = 7;  // names no playlist
    ClipModel m = model_of({{"Drums", "Drums", {clip("k", 0.0)}}, {"Drums", "?", {hit, far}}});
    PlaylistTrackInput in = input_named({"Drums"});
    in.playlist_names = {{"Drums", 0}, {"Drums.02", 1}};
    const PlaylistTracks r = build_and_fold(m, in);
    ASSERT_EQ(r.tracks.size(), 2u);
    EXPECT_EQ(r.tracks[1].name, "? [alt playlist]");
    EXPECT_EQ(r.tracks[1].parent_playlist_name, "Drums");
    ASSERT_EQ(r.playlist_clips.size(), 1u);
    EXPECT_EQ(r.playlist_clips[0].playlist, "?");
    EXPECT_EQ(r.playlist_clips[0].name, "Drums.02");
    EXPECT_EQ(r.playlist_clips[0].start, 2.0);
}

// The fold and the unmatched count run on the list in the session's track order, where a parent
// and its unnamed playlist need not stand together and the tracks no named block took come last.
TEST(PlaylistTracks, FoldAndUnmatchedCountRunOnTheRebuiltOrder) {
    ClipModel m = model_of({{"Drums", "Drums", {}},
                            {"Drums", "?", {clip("hit", 2.0)}},
                            {"Bass", "Bass", {clip("b", 0.0)}},
                            {"Pad", "Pad", {clip("p", 0.0)}}});
    PlaylistTrackInput in = input_named({"Bass", "Drums", "Pad"});
    for (const char* name : {"Drums", "Bass", "Pad"}) in.strip_rows.push_back({name, 0, 0, 0, 1});
    PlaylistTracks r = build_playlist_tracks(m, in);
    ASSERT_EQ(r.tracks.size(), 4u);
    // The rebuilt order: Bass, Drums, a MIDI track no row names, Drums' unnamed playlist, and Pad,
    // which no named block took.
    std::vector<StagedTrack> order;
    order.push_back({r.tracks[2], {}, 1, 0});
    order.push_back({r.tracks[0], {}, 1, 0});
    order.push_back({OutputTrack{}, {}, 0, 0});
    order.back().track.name = order.back().track.session_name = "MIDI 1";
    order.push_back({r.tracks[1], {}, 1, 0});
    order.push_back({r.tracks[3], {}, 1, 1});
    run_outcome.problem_kind.clear();
    run_outcome.problem_detail.clear();
    fold_playlist_tracks(order, in, r);
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[1].track.name, "Drums");
    ASSERT_EQ(order[1].track.lanes.size(), 1u);
    EXPECT_EQ(order[1].track.lanes[0].clips.at(0).name, "hit");
    EXPECT_EQ(r.folded, 1);
    EXPECT_TRUE(r.renamed.empty());  // the folded playlist is a lane, not a renamed track
    EXPECT_EQ(r.unmatched, 1);       // Pad, appended at the end; the MIDI track is not the clips'
    EXPECT_EQ(run_outcome.problem_detail, "1 track(s) matched no strip row");
}
