// Clip gain onto the clip model: each clip's stored gain, its gain line, and the gain of the clip
// group it came out of.
#pragma once

#include <map>
#include <set>
#include <string>

#include "convert/clips/clip_placements.h"
#include "model/mix_records.h"

struct ClipGainCounts {
    int clips_with_gain = 0;
    int group_gains_added = 0;
    // Clip groups whose own gain line is not carried onto their clips.
    std::set<std::string> group_lines_not_applied;
    int group_line_clips = 0;  // clips of those groups
};

// Sets has_gain, gain_db and gain_points of every main clip from the gains and gain lines by clip
// name. A clip whose line is written as its envelope keeps only its group's gain as its static
// gain, so that REAPER does not apply the line twice.
ClipGainCounts apply_clip_gain(const std::map<std::string, double>& gains,
                               const std::map<std::string, GainCurve>& lines, ClipModel& model);
