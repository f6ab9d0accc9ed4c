// The first step of stage "tracks": which tracks are written, in which order and under which
// names. A track whose clip list carries a name takes it; a playlist whose name is no track of the
// session is an alternate playlist (written as its own track, folded into a parent as a lane, or
// set aside); same-named mono tracks next to each other are the legs of one split stereo or
// multichannel track and become one track again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "convert/clips/clip_placements.h"
#include "convert/tracks/track_order.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "session/playlist_names.h"
#include "session/strip_rows.h"

struct PlaylistTrackInput {
    std::vector<std::string> session_track_names;  // the names of the session head
    std::vector<TrackLaneSet> lane_sets;
    std::vector<StripRow> strip_rows;
    std::vector<PlaylistNameEntry> playlist_names;  // the session's playlists, by number
    bool keep_alt_takes = true;                     // off with --drop-alt-takes / --no-alt-takes
    bool recover_deleted = false;                   // --recover-deleted / --ghost-clips
    bool debug_fold = false;                        // PTX_DEBUG_FOLD is set
};

// A clip of an unnamed playlist written on its own, under the playlist its region names.
struct PlaylistClip {
    std::string playlist;  // the track's playlist name
    std::string name;      // the session's playlist that the clip's region index names
    double start = 0.0;
};

struct PlaylistTracks {
    std::vector<OutputTrack> tracks;             // in the order written
    std::vector<std::uint8_t> tick_based;        // per written track: its positions counted ticks
    std::map<std::string, int> channel_counts;   // merged tracks: name -> legs
    std::map<std::string, int> timebase_values;  // name -> twice the track's tick flag
    std::vector<std::string> merged_multichannel_tracks;  // runs of three to eight legs
    std::vector<OutputTrack> set_aside;                   // alternate playlists left out
    std::vector<PlaylistClip> playlist_clips;             // for the lanes of unnamed playlists
    // "<playlist> -> <written name>": alternates written as tracks of their own under a name that
    // tells what they are, those named after their parent's lanes and those matched to no parent.
    std::vector<std::string> renamed_beside_parent;
    std::vector<std::string> renamed;
    int merged_stereo = 0;    // split stereo pairs made one track
    int alt_written = 0;      // alternate playlists written as their own tracks
    int alt_with_lane = 0;    // ... named after their parent's lane set
    int alt_own_tracks = 0;   // ... matched to no parent by name
    int folded = 0;           // folded into a parent as a lane
    int unmatched = 0;        // tracks no strip row names
    int alt_take_tracks = 0;  // "[alt takes]" tracks written
};

// The written tracks from the clip model (whose output tracks and alternates are moved out), in
// the clips' track order: names, split legs joined, alternates kept or set aside, time bases.
PlaylistTracks build_playlist_tracks(ClipModel& clips, const PlaylistTrackInput& in);

// On the list rebuilt in the session's track order: alternates folded into a clip-less parent as
// lanes, the renamed alternates, the clips of unnamed playlists, the unmatched count and problem,
// and the PTX_DEBUG_FOLD dump.
void fold_playlist_tracks(std::vector<StagedTrack>& tracks, const PlaylistTrackInput& in,
                          PlaylistTracks& out);

// The channels a merged track of n legs is written with: n rounded up to even.
int merged_track_channels(int legs);

// The summary lines of this step, each group printed at its own place in the summary.
struct PlaylistSummaryLines {
    std::string own_tracks;  // alternates matched to no parent, written as tracks of their own
    std::string matched;     // alternates matched to their parent, split stereo merged, folding
    std::string unmatched;   // tracks matched to no strip row
    std::string lanes;       // alternates kept as lanes, beside their parent, or set aside
};
PlaylistSummaryLines playlist_summary_lines(const PlaylistTracks& result, bool keep_alt_takes);
