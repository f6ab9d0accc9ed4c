// What stage "clips" drops, changes or could not read, counted for the console summary and the
// report. One set per conversion, emptied by the run reset.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/skipped_clip.h"

struct ClipStageCounts {
    // Time base of the tracks with clips.
    int tick_tracks = 0;
    int sample_tracks = 0;

    // Placements that give no clip. (Track regions of no length or without an audio file are
    // named by the item writer, `note_placements_without_clips`.)
    int unreadable_lists = 0;  // clip lists whose count, children or kind byte run wrong
    std::vector<std::string> tracks_without_list;  // tracks that no clip list could be given to
    int group_references_dropped = 0;  // clip-group placements the walk had read as clips
    int gain_count_mismatches = 0;  // clip gain lists whose stored count disagrees with their size
    int fade_clips = 0;             // fade placements the walk had read as clips
    int fade_clips_taken_in = 0;    // fade placements taken in as clips (--keep-fade-clips)
    int fade_clips_kept = 0;        // fade references kept as clips (--keep-fade-clips)
    std::vector<SkippedClip> outside_playlist;  // placements their track's list does not hold

    // Sync points.
    int sync_point_clips = 0;       // clips placed by their sync point
    int unmatched_sync_points = 0;  // 1 when the session's sync points could not be tied to regions

    // Clip groups, laid out flat.
    int clip_groups = 0;
    int clip_group_clips = 0;
    int clip_group_skipped = 0;  // entries and items that could not be read
    int clip_group_fades = 0;
    int clip_group_fade_ins = 0;
    int clip_group_fade_outs = 0;
    int clip_group_unmatched_fades = 0;
    std::map<std::string, int> clip_group_problem_tracks;  // track -> pieces not read

    // Stacked clips: the ones that do not play go to the alternates.
    int alternate_clips = 0;
    int recovered_alternates = 0;  // ... written, muted, on "[alt takes]" tracks

    // Clips the later steps add or leave out: loop repeats, and the clips of alternate
    // playlists set aside.
    int loop_repeats = 0;
    int set_aside_playlist_clips = 0;
    int filtered_clips = 0;  // on the tracks --skip-hidden-tracks / --skip-inactive-tracks left out

    // Fades on the main clips (S-curves counted wherever they are applied, groups included).
    int fade_ins = 0;
    int fade_outs = 0;
    int crossfades = 0;
    int bad_fades = 0;        // no range, or a range of unknown kind
    int unmatched_fades = 0;  // no clip edge near the fade
    int s_curve_fades = 0;

    // Overlaps.
    int trimmed_heads = 0;   // clip heads that start later, under the clip drawn over them
    int muted_covered = 0;   // clips covered end to end, muted
    int silenced_tails = 0;  // tails cut under a muted covering clip

    void reset() { *this = ClipStageCounts{}; }
};
extern ClipStageCounts clip_counts;
