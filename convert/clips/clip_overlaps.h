// Overlapping neighbours resolved the way the session plays them, after the loops of stage
// "clips" have added their copies.
#pragma once

#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_placements.h"

// Starts closer than this are left overlapping.
inline constexpr double kOverlapGap = 0.05;
inline constexpr double kOverlapSlack = 0.001;

// For each pair of neighbours whose starts lie more than 0.05 s apart and overlap: the earlier
// clip is cut where the later one starts, or, where the earlier one lies over the later one, the
// later one's head is cut or, covered end to end, it is muted. Then moves the clips into
// the output tracks (refresh_output_clips).
void resolve_clip_overlaps(ClipModel& model, ClipStageCounts& counts = clip_counts);

// Cuts a clip's head by `cut` seconds of its timeline. The source moves on by the source time of
// the cut: the stretch markers' source position at the cut (markers run item time -> source
// position in seconds), else the cut at the clip's play rate. The markers are re-based on the new
// head; fade-in and sync offset shrink with it.
void cut_clip_head(ClipRecord& clip, double cut, double sample_rate);

// Ends a clip `length` seconds after its start, its stretch markers with it.
void cut_clip_tail(ClipRecord& clip, double length);
