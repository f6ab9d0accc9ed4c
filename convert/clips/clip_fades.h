// Fades and crossfades of the clip lists laid onto the main clips (clip groups bring their own).
#pragma once

#include <cstdint>
#include <span>

#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_placements.h"
#include "convert/clips/clip_time.h"

// Fades bind to clip edges nearer than this.
inline constexpr double kFadeEdgeSeconds = 0.005;

// For every fade placement of the tracks' lists: a fade-in on the clip that starts at it, a
// fade-out on the clip that ends at it, a crossfade across the two. A placement without a
// readable range counts as a bad fade; one without the clip edges it needs as unmatched.
void apply_list_fades(ClipModel& model, std::span<const std::uint16_t> tracks,
                      const TimeContext& time, ClipStageCounts& counts);
