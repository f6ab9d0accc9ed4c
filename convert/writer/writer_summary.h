// What the project writer leaves for the console summary, and the working tables it keeps while
// one project is written. Both are reset at the start of every conversion.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "session/scan.h"

// A stereo track with a send whose two pans are moved off hard left and right, and the buses
// those sends feed.
struct StereoSendTrack {
    std::string track;
    std::vector<std::string> buses;
};

// Values and counts of the project, master and track lines. The frame-rate label, the integer
// frame rate and the record bit depth are kept in `settings` (timecode_rate_text, timecode_fps,
// bit_depth), where the rest of the run reads them.
struct WriterSummary {
    // Edit grid and nudge.
    int grid_set = 0;
    double grid_quarter_notes = 0.0;
    int nudge_found = 0;
    BarsBeatsTicks nudge;

    // Pan depth and the pan law written.
    int pan_depth = -1;
    int pan_law_known = 0;  // the depth was 1 to 4
    double pan_law_db = -3.0;

    // Timecode.
    std::string frame_rate_long_label;  // empty when no row of the timecode table matched
    std::string frame_rate_twin_label;  // the non-drop twin; empty when none
    int frame_rate_flag = 0;            // 0 whole, 1 drop, 2 fractional
    std::uint32_t start_frames = 0;
    double offset_seconds = 0.0;
    int drop_frame = 0;
    int thirty_drop = 0;  // 30 drop, which the project cannot express
    int timecode_written = 0;
    // The rate REAPER's ruler runs at ("50", "59.94") when REAPER has no setting of the session's;
    // empty when the ruler runs at the session's rate.
    std::string ruler_rate;
    // The TIMEMODE line's rate fields are a form seen in projects REAPER saved.
    int timemode_seen = 0;

    // Recording format.
    int record_float = 0;
    int record_file_format = 0;  // 3 or 4 when read, else 0
    int record_format_written = 0;
    int aiff_session = 0;

    // Master.
    std::string master_fader_name;
    int master_volume_automated = 0;  // masters whose fader was parked at unity
    int master_envelope_points = 0;
    int master_fx_slots = 0;
    std::string click_track_name;
    std::uint32_t click_slot = 0;  // its Click II's slot, from 1

    // Track blocks.
    int midi_timebase_time = 0;
    int midi_timebase_beats = 0;
    int timebase_time = 0;            // BEAT 0
    int timebase_beats = 0;           // BEAT 1
    int timebase_beats_position = 0;  // BEAT 2
    int faders_parked = 0;            // tracks whose fader was parked at unity for the envelope
    int automated_tracks_read = 0;    // automated tracks without a stored mode, written as Read
    int soloed_and_muted = 0;         // soloed tracks written unsoloed: muted, no mute automation
    int soloed_written = 0;
    std::vector<std::string> hidden_tracks;
    std::vector<std::string> soloed_tracks;    // soloed in the session and written soloed
    std::vector<std::string> unsoloed_tracks;  // ... written unsoloed, not soloed and muted
    std::vector<std::string> solo_safe_tracks;
    std::vector<std::string> automation_off_tracks;
    int tracks_with_height = 0;
    int mainsend_nch = 0;          // key-receiving tracks that pass only channels 1 and 2 on
    int surround_bus_widths = 0;   // tracks widened to a surround bus
    int mono_panner_widths = 0;    // tracks widened to their mono surround panner's output
    int stereo_panner_widths = 0;  // ... to their stereo surround panner's output
    int alt_playlist_tracks = 0;
    int automated_tracks = 0;  // tracks with at least one envelope point
    int automation_points = 0;
    int surround_pan_lanes_not_carried = 0;
    int midi_mute_tracks = 0;
    int surround_pan_strips = 0;     // surround-panned tracks whose own pan lanes hold points
    int soloed_muted_automated = 0;  // soloed, muted tracks whose mute automation keeps the solo
    int midi_muted_tracks = 0;       // MIDI tracks written muted from their stored mute state
    int midi_lanes_not_carried = 0;  // MIDI track lanes other than mute
    int dual_pan_points = 0;         // points of the two dual-pan envelopes
    int dual_pan_tracks = 0;
    int track_fx_slots = 0;
    // REAPER plug-in types whose automated parameters had no known names, written to the
    // --want-params file so that their parameter lists can be exported.
    std::set<std::string> wanted_param_plugins;

    // Sends.
    int sends_written = 0;
    int return_tracks = 0;  // tracks (buses among them) that took at least one send
    int send_points = 0;
    int sends_muted = 0;
    int sends_panned = 0;                             // mono-panned sends placed off centre
    std::vector<StereoSendTrack> stereo_send_tracks;  // in the order first met

    // Strips a Trim inverts that no written track carries (the master has no phase switch).
    int trim_flips_not_carried = 0;
};
extern WriterSummary writer_summary;

// Tables that live while one project is written.
struct WriterState {
    // Names whose view state `write_track_mixer_flags` has handled (written and counted once).
    std::set<std::string> mixer_flags_handled;
    // Names whose Trim polarity flips a written track carries.
    std::set<std::string> trim_flips_handled;
    // Tracks whose polarity flips one side only: 1 the left channel, 2 the right. The effect
    // chain writer puts a one-sided polarity flip at the head of their chain.
    std::map<std::string, int> one_sided_polarity;
    // The track's NCHAN while its effect chain is written; -1 otherwise.
    int current_track_channels = -1;
};
extern WriterState writer_state;

void reset_writer_state();
