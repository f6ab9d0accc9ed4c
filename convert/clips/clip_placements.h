// Stage "clips", first half: the audio regions the session walk placed on tracks become the
// clip model, one list of ClipRecords per track with every time in seconds, fades, crossfades,
// mute state and the clips of clip groups laid in. Nothing here prints: every clip dropped or
// changed is counted in ClipStageCounts.
//
// The driver calls build_clip_placements at the end of stage "reading", runs the rest of the
// stage (clip gain, elastic audio, loops) on `main_clips`, then resolve_clip_overlaps
// (clip_overlaps.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "app/convert_options.h"
#include "convert/clips/clip_counts.h"
#include "model/output_model.h"
#include "model/session_layout.h"
#include "model/session_records.h"
#include "session/clip_lists.h"
#include "session/fade_ranges.h"
#include "session/tempo_map.h"

// The raw start of a clip taken out of a clip group.
inline constexpr std::uint64_t kClipGroupRawStart = ~std::uint64_t{0};

struct ClipModel {
    // Track index to the clips that play, ordered by start.
    std::map<std::uint16_t, std::vector<ClipRecord>> main_clips;
    // Track index to the clips stacked under a playing one in the same millisecond.
    std::map<std::uint16_t, std::vector<ClipRecord>> alternates;
    // Every track with a track region, ascending.
    std::vector<std::uint16_t> track_order;
    // One per track of the order, named after it; `clips` is filled from `main_clips` once the
    // clip stage ends (refresh_output_clips).
    std::map<std::uint16_t, OutputTrack> output_tracks;
    // 1 where the track's stored positions count ticks, 0 samples.
    std::map<std::uint16_t, std::uint8_t> tick_based;
    // The clip list given to each track (an index into `lists`), -1 for none.
    std::map<std::uint16_t, std::int32_t> list_index;
    // The session's clip lists: names and tick flags, and their placements.
    std::vector<ClipListName> lists;
    std::vector<R10BlockRecord> list_records;
    // The session's fade ranges; empty with --no-fades.
    std::vector<SessionRange> fade_ranges;
    double sample_rate = 48000.0;
};

// Builds the clip model from the walk's audio track regions and the session's clip lists, fade
// ranges and clip groups, up to and including fades and crossfades. `out` is replaced.
void build_clip_placements(const std::uint8_t* data, std::size_t length,
                           const SessionLayout& layout, double sample_rate,
                           const TempoMap& tempo_map, double session_tempo,
                           const ConvertOptions& options, ClipModel& out,
                           ClipStageCounts& counts = clip_counts);

// The driver's form: the same model, and the layout's audio and fade track regions are let go as
// soon as the clips are made from them, so that they are not held beside the clips through the
// rest of the stage. Their number stays in `released_audio_track_regions`. The model's
// `list_records` and the layout's audio regions, which no later stage reads, are let go at the
// end.
void build_clip_placements_and_release(const std::uint8_t* data, std::size_t length,
                                       SessionLayout& layout, double sample_rate,
                                       const TempoMap& tempo_map, double session_tempo,
                                       const ConvertOptions& options, ClipModel& out,
                                       ClipStageCounts& counts = clip_counts);

// Moves each track's main clips into its output track, ordered by start; `main_clips` keeps
// its tracks with no clips.
void refresh_output_clips(ClipModel& model);
