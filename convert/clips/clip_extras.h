// Stage "clips", second half: what the session keeps beside the placements. Clip Effects settings,
// Melodyne records and their archives from "ARA Data" beside the session, elastic-audio warps and
// pitch, a playback-rate correction for clips recorded at another rate, and Pro Tools loops.
// Every problem is counted or noted here, for the console summary and the report.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "convert/clips/clip_placements.h"
#include "effects/channel_strip_settings.h"
#include "melodyne/merge_input.h"
#include "model/melodyne_archive.h"
#include "model/session_records.h"
#include "session/clip_pitch.h"
#include "session/loop_records.h"
#include "session/px_records.h"
#include "session/warp_markers.h"

// The 60 parameters of Clip Effects, in the order Pro Tools lists them, with the value an
// untouched clip stores (normalised 0..1): Clip Effects is the Channel Strip's processing, so its
// defaults are the Channel Strip's.
inline const auto& kClipEffectDefaults = CHANNEL_STRIP_DEFAULTS;

// A loop Pro Tools plays shorter than its clip: cut after the overlap step.
struct KeptLoop {
    std::uint16_t track = 0;
    std::uint32_t region_index = 0;
    std::uint64_t raw_start = 0;
    double length = 0.0;  // seconds
};

// The most loop repeats written for one session; repeats past it are counted and named.
inline constexpr int kLoopRepeatBudget = 200000;

// The results and counts of this half of the stage: one set per conversion.
struct ClipExtras {
    // Melodyne.
    std::vector<PluginParamRecord> ara_records;
    std::vector<std::uint8_t> ara_usable;                 // per record
    std::vector<AraRecordArchives> ara_archives;          // per record: the archives' paths
    std::map<std::string, std::uint32_t> ara_clip_index;  // clip name -> record
    std::map<std::string, MelodyneArchive> archives;      // by file path
    std::vector<std::string> ara_notes;
    std::vector<std::string> ara_clips;  // "track: clip" of every clip with a record
    int ara_records_on_no_clip = 0;      // records the session declares that no clip carries

    // Clip Effects.
    int phase_inversions = 0;
    std::vector<std::string> clip_effects_clips;  // "track: clip" whose settings changed

    // Elastic audio, pitch and rate.
    int stretched_clips = 0;
    int stretch_marker_clips = 0;
    int warped_from_slice = 0;  // of them: trims of a take, their offset counted from the slice
    int rejected_warps = 0;
    int pitched_clips = 0;
    int rejected_pitches = 0;
    int rate_corrected_clips = 0;
    std::vector<std::string> rate_rows;  // "%.4f on track"

    // Loops.
    std::string loop_notes;
    int loop_note_count = 0;
    int loops_written = 0;
    int loop_repeats = 0;
    int looped_fade_ins = 0;
    int loops_cut = 0;
    int repeats_over_budget = 0;
    std::vector<KeptLoop> kept_loops;

    void reset() { *this = ClipExtras{}; }
};
extern ClipExtras clip_extras;

struct ClipExtrasInput {
    ClipEffectsLists effects;
    std::vector<PluginParamRecord> ara_records;
    std::map<std::string, std::size_t> ara_clip_records;
    std::map<std::string, std::vector<WarpPoint>> warps;
    ClipPitches pitches;
    std::vector<LoopRecord> loops;
    std::string session_path;
    const TempoMap* tempo_map = nullptr;
    double tempo = 120.0;
    bool no_ara = false;
    bool no_stretch = false;
};

// The ARA plug-in a Melodyne record names: "Melodyne" for Melodyne's own id, else empty (the
// session does not name the plug-in).
std::string ara_plugin_name(const PluginParamRecord& record);

// Clip Effects, Melodyne, warps, pitch, the snapshot, the rate correction and loops, on the main
// clips; runs before the overlap step.
void apply_clip_extras(const ClipExtrasInput& in, ClipModel& model, ClipExtras& out = clip_extras);

// Loops Pro Tools plays shorter than their clip are cut to the loop; runs after the overlap step.
void apply_loop_cuts(ClipModel& model, ClipExtras& out = clip_extras);

// The ratio of a track's clip lengths to their spacing, when it is a rate error: within 0.002 of
// 44.1 against 48 kHz either way. 0 when the track is left alone.
double rate_correction(const std::vector<ClipRecord>& clips);

// The summary lines of this half of the stage, each set at its place in the summary: pitch and
// warp markers (before the stretched clips), loops (after clip gain), Clip Effects polarity and
// Melodyne, and one row per track whose rate was corrected.
std::string clip_extras_stretch_lines(const ClipExtras& extras);
std::string clip_extras_loop_lines(const ClipExtras& extras);
std::string clip_extras_take_lines(const ClipExtras& extras);
std::string clip_extras_rate_rows(const ClipExtras& extras);
