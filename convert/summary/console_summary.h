// The console summary a conversion prints once the project file is closed: what was read, what
// was written, and every loss the earlier stages counted; then, after the media check and the
// report, the closing block.
//
// The paragraphs read the run's counters (writer, colours, items, tempo and markers); the
// values that are not counters come in the input records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/tracks/playlist_tracks.h"
#include "convert/tracks/plugin_tracks.h"
#include "model/session_layout.h"
#include "session/scan.h"
#include "session/tempo_map.h"

struct ConsoleSummaryInput {
    SessionHeaderInfo header;
    std::int64_t sample_rate = 48000;
    double tempo = 120.0;
    std::string written_path;
    bool check = false;

    int tracks_written = 0;
    int midi_notes_written = 0;
    int return_tracks = 0;  // tracks that took at least one send as a receive
    // Counted by stages this build does not have yet: 0 until they land.
    int mixer_strips = 0;      // strips read with their faders, pans and mutes
    int name_scan_found = -1;  // the strip rows gave the track list: the scan's count
    int track_list_size = 0;
    std::string session_folder;  // for the Melodyne row: "ARA Data" lies there
    std::vector<std::string>
        clip_group_lines_not_applied;  // clip groups whose gain line is left out
    int clip_group_line_clips = 0;     // the clips of those groups
    int clip_group_gain_clips = 0;     // clips given their group's fixed gain as well
    int clips_stretched_read = 0;      // stretched clips whose stretch the session stores
    int clips_stretched_computed = 0;  // ... whose stretch was worked out

    std::span<const MeterChange> meters;  // empty: 4/4
    std::string track_color_coding;       // the session's track colour coding; empty: none
    ClipColorTheme theme = ClipColorTheme::follow_session;
    bool dark_theme = true;  // the clip-colour theme in force
    bool no_track_colors = false;
    bool tempo_ramps = false;
    bool recover_deleted = false;
    // Placements the session walk could not place: their region (or track) is not in the session.
    std::span<const UnplacedPlacement> unplaced;
    // Placements the walk refused with their damaged playlist record.
    std::span<const UnplacedPlacement> refused;
    // Clips on playlists that no placement container read holds (its container is damaged).
    int lost_audio_clips = 0;
    int lost_midi_clips = 0;
    // Clips read that are neither written nor named (`ClipBalance::unaccounted`): 0 but for a
    // fault.
    int clips_unaccounted = 0;
    std::vector<std::string> odd_strips;  // strips neither mono nor stereo, "%s (%d control slots)"
    int plugin_instances = 0;             // the session's plug-in instances
    std::vector<std::string> multi_mono;  // unlinked multi-mono instances, "%s on %s (%d channels)"
    TrimCounts trims;                     // the session's Avid Trims, as tied to tracks
    std::vector<std::string> one_channel_tracks;  // one leg of a stereo output, "%s (left)"
    // Clip Effects, Melodyne, warps, pitch, loops and rate, at their places.
    std::string clip_stretch_lines;
    std::string clip_loop_lines;
    std::string clip_take_lines;
    std::string clip_rate_rows;
    PlaylistSummaryLines playlist_lines;  // split stereo, alternate playlists, unmatched tracks
    int surround_folded = 0;     // wide tracks folded from their mono legs into one track
    bool keep_inaudible_midi = false;
    bool truncate_midi_to_clip = false;
    bool no_sidechain = false;
    bool keep_frozen = false;
};

// Rule 3 of the summary: ` "a", "b"` (a blank before the first name, ", " between); past
// `shown` names, ", ..." instead of the rest.
std::string quoted_name_list(std::span<const std::string> names, std::size_t shown = SIZE_MAX);

// One "      %s\n" row per text, at most 8, then "      ... and %d more\n".
std::string name_rows(std::span<const std::string> rows);

// The summary from the "Read:" line to its last paragraph.
std::string console_summary_text(const ConsoleSummaryInput& in);
void print_console_summary(const ConsoleSummaryInput& in);

// A clip over ten minutes at the library's rate (48000 when not > 0): the closing block notes
// it, with the longest of them.
bool long_clip(std::int64_t length, std::int64_t library_rate);

struct ClosingBlockInput {
    std::int64_t library_rate = 0;  // as the session-file library reports it; 48000 when not > 0
    // The audio track regions, in samples: only those long_clip holds to are read.
    std::vector<std::int64_t> placement_lengths;
    std::uint64_t longest_file = 0;               // samples, over the library's audio-file list
    int bit_depth = -1;                           // the session's own; -1 when it states none
    int bit_float = 0;
    std::string audio_folder;  // as the FILE lines carry it
    bool clips_in_sibling_folders = false;
    bool usage_shared = false;
};

// Long clips, bit depth, the media folder and the privacy paragraph.
std::string closing_block_text(const ClosingBlockInput& in);
void print_closing_block(const ClosingBlockInput& in);

// The last words of a --check run; `report_written`: --report after --check wrote the report.
void print_check_end(bool report_written);
