// The conversion report: a plain text for a person who opens the project later or sends it on.
// It states what was read and written, lists every track with its counts and every plug-in slot
// with its outcome, and names what needs a look. Every count it prints is the count the console
// summary prints for the same fact.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "model/plugin_records.h"

// One row of the track list.
struct ReportTrackRow {
    std::string name;
    int clips = 0;  // the track's clips and its lanes' clips that items carry
    int notes = 0;  // note-on events over its MIDI items
    int fx = 0;     // plug-in slots recorded for the track
};

// The plug-in outcome tables of the run, by display name.
struct ReportPlugins {
    std::span<const FxReportRow> rows;  // in chain order
    int instances_found = 0;            // the session's instances, as the console counts them
    std::map<std::string, std::uint32_t> counts;  // every slot by name
    std::map<std::string, std::uint32_t> aax_only;
    std::map<std::string, std::string> aax_only_labels;  // what the built-in table calls it
    std::map<std::string, std::uint8_t> aax_processes_audio;
    std::map<std::string, std::uint32_t> unrecognised;
    std::map<std::string, std::uint32_t> offline;
    std::map<std::string, std::uint32_t> no_state;
    std::map<std::string, std::string> not_installed;           // name -> REAPER build
    std::map<std::string, std::string> not_installed_left_out;  // the same, left out as asked
    bool reaper_list_found = false;  // REAPER's plug-in list was read on this computer
};

struct ReportInput {
    // Head.
    std::string session_path;  // as given
    std::string written_path;  // the project's name (under --check, the name a real run writes)
    bool check = false;
    std::string problem_kind;
    std::string problem_detail;
    int library_major = 0;           // as the session-file library reports it
    std::uint32_t header_major = 0;  // the session header's own major version
    long long sample_rate = 48000;
    int bit_depth = -1;  // the session's own; -1 when it states none
    int bit_float = 0;
    std::string timecode_rate;  // empty when none is known
    std::uint32_t start_frames = 0;
    int timecode_fps = 30;
    bool drop_frame = false;
    std::string drop_rate_missing;  // a drop-frame rate REAPER lacks; empty otherwise
    std::string ruler_rate;         // the rate the ruler runs at when REAPER lacks the session's
    double tempo = 120.0;
    bool tempo_map = false;  // more than one tempo entry
    int file_format = 0;     // 3 WAV, 4 AIFF

    // Counts.
    int tracks = 0;
    int instrument_tracks = 0;
    int clips = 0;
    int notes = 0;
    int bus_tracks = 0;
    int frozen_delivered = 0;
    int soloed_and_muted = 0;
    bool solo_helper = false;  // the empty soloed helper track was added
    int freeze_records_left_out = 0;
    bool no_stand_ins = false;
    int standins_withheld = 0;  // Avid plug-ins left in place under --no-stand-ins
    int polarity_withheld = 0;  // tracks whose one-sided Trim polarity is not carried
    int standins_written = 0;
    int eq3_one_pole_filters = 0;
    std::string eq3_fit_lines;  // what the EQ3 fit did, and the worst miss left
    std::map<std::string, std::uint32_t> eq3_held_controls;  // Eq3Counters::held_controls
    std::map<std::string, std::uint32_t> kept_on_vst3;       // --prefer-vst2: name to instances
    int kontakt_instances = 0;
    std::string kontakt_name;  // the Kontakt installed, as REAPER lists it; empty: none chosen
    bool kontakt_predicted = false;  // written the way Kontakt 7 takes them, untested
    int clip_effects_clips = 0;
    bool keep_inaudible_midi = false;
    int inaudible_events_kept = 0;
    bool truncate_midi_to_clip = false;
    int notes_cut_at_edge = 0;
    bool no_track_colors = false;
    bool no_clip_colors = false;
    int clips_left_uncolored = 0;
    std::string master_fader_name;
    std::vector<ReportTrackRow> track_rows;

    ReportPlugins plugins;

    // Needs a look.
    std::vector<std::string> odd_strips;
    std::vector<std::string> multi_mono;
    int unresolved_keys = 0;
    int bad_fades = 0;
    int unreadable_clip_lists = 0;
    std::vector<std::string> tracks_without_list;
    // Placements refused with their damaged playlist record, one row per track with its count.
    int refused_placements_count = 0;
    std::vector<std::string> refused_placements;
    // Clips on playlists that no placement container read holds (its container is damaged).
    int lost_audio_clips = 0;
    int lost_midi_clips = 0;
    // Clips no item was written for, each with its reason (`left_out_clip_rows`).
    std::vector<std::string> clips_left_out;
    int unmatched_strip_tracks = 0;
    std::vector<std::string> missing_media;

    // Picture and wide tracks.
    int video_tracks = 0;
    int video_items = 0;
    int video_files_missing = 0;
    int video_files_unrecognised = 0;
    int video_items_left_out = 0;   // placements no item was written for
    double video_frame_rate = 0.0;  // 0 when the session states none
    int video_quality = -1;
    int surround_folded = 0;
    int surround_bus_widths = 0;
    int mono_panner_widths = 0;
    int stereo_panner_widths = 0;
    int unplaceable_surround = 0;
    int surround_pan_lanes = 0;

    bool usage_shared = false;
};

// The report and the numbers the summary line takes from it.
struct ReportText {
    std::string text;
    int plugin_instances = 0;  // the session's instances, as the console counts them
    int carried = 0;           // `count_fx_rows_carried`
    int needs_look = 0;        // sections of NEEDS A LOOK printed
};

// Rows carried with their settings (outcome 0).
int count_fx_rows_carried(std::span<const FxReportRow> rows);

// The output path less its extension (a dot after the last separator) plus
// "-vantrel-report.txt".
std::string report_path_for(const std::string& output_path);

// The EVERY PLUG-IN section; empty for no rows.
std::string fx_report_table(const ReportPlugins& plugins);

// The whole report, built through `report_printf` into a buffer of its own.
ReportText build_report(const ReportInput& in);

// "summary tracks=... needs_look=...", " problem=1" when a problem was recorded.
std::string report_summary_line(const ReportInput& in, const ReportText& report);

// Writes the report; prints "  report written: %s" or "  could not write report: %s". A write
// or close that fails is a failure. True when the file was written whole. `keep_existing`
// (a --check run, which replaces nothing) writes only where no file stands yet.
bool write_report_file(const std::string& path, const std::string& text,
                       bool keep_existing = false);
