// The project-level lines of the project text: header, notes, project settings (sample rate,
// tempo, timecode, recording format) and the master track. What they read from the session is
// gathered in one record first, so the lines can be written from any values.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/plugin_instance.h"
#include "model/track_comment.h"
#include "session/scan.h"
#include "session/tempo_map.h"

// The session settings the project lines take, as the settings readers give them.
struct ProjectSettingsRead {
    std::vector<MeterChange> meters;  // empty: 4/4
    int pan_depth = -1;
    int grid_found = 0;  // both bars|beats|ticks texts of the grid block were read
    BarsBeatsTicks nudge;
    BarsBeatsTicks grid;
    int timecode_code = -1;  // frame-rate code 1..9; anything else counts as 30 fps
    std::uint32_t timecode_start = 0;
    int time_values_found = 0;
    std::uint32_t session_timecode_code = 0xFFFFFFFF;  // -1 when not read
    std::uint32_t start_frames_full_rate = 0;
    int bit_depth = -1;  // 16, 24, 32; -1 unknown
    int bit_float = 0;
    int file_format = 0;  // 3 WAV, 4 AIFF
    int click_enabled = -1;
};

// Runs the settings readers over the decrypted session bytes.
ProjectSettingsRead read_project_settings(const std::uint8_t* data, std::size_t length);

// The session's opening time signature: the first meter entry, 4/4 without one.
void opening_signature(const ProjectSettingsRead& read, std::uint32_t& numerator,
                       std::uint32_t& denominator);

// The edit grid in quarter notes (bars and beats by the opening signature, 960 ticks to the
// quarter note); none unless the grid was read and 0 < q < 1000.
std::optional<double> grid_quarter_notes(const ProjectSettingsRead& read);

// The pan law of a pan depth: 1 -2.5 dB, 2 -3, 3 -4.5, 4 -6; any other value -3.
double pan_law_db(int pan_depth);

// The timecode lines' values for a session.
struct TimecodeChoice {
    std::string label;       // kept for the console
    std::string long_label;  // of the matched row; empty without one
    std::string twin_label;  // of the matched row's non-drop twin; empty without one
    int fps = 30;            // integer rate written
    int flag = 0;            // 0 whole, 1 drop, 2 fractional
    std::uint32_t start_frames = 0;
    double offset_seconds = 0.0;
    bool write = false;  // PROJOFFS and TIMEMODE are written
    bool drop_frame = false;
    bool thirty_drop = false;
};
TimecodeChoice choose_timecode(const ProjectSettingsRead& read);

// The RECORD_CFG block: the WAV bit depth for 16 and 32 bits, an empty block otherwise (24 bits,
// AIFF, unknown), where REAPER keeps its own default.
std::string record_cfg_block(int bit_depth, int file_format);

// "<REAPER_PROJECT ..." with the project notes and the fixed lines after them.
void write_project_header(std::FILE* file, std::span<const TrackComment> comments,
                          CommentsMode comments_mode);

// The NOTES block of `--comments project`: one paragraph per commented track.
void write_project_notes(std::FILE* file, std::span<const TrackComment> comments,
                         CommentsMode comments_mode);

// SAMPLERATE through RENDER_FILE; keeps the grid, nudge, pan depth, timecode and recording
// format for the console summary.
void write_project_settings(std::FILE* file, std::int64_t sample_rate, double tempo,
                            const ProjectSettingsRead& read);

// The session's click track for the console: the first session track, in name order, holding an
// active Click II plug-in, not muted, and written as an ordinary output track. Empty when the
// click is off or no track qualifies. `slot`, when given, takes the Click II's slot (from 1).
std::string find_click_track(
    int click_enabled,
    const std::map<std::string, std::vector<SessionPluginInstance>>& plugins_by_track,
    std::span<const TrackLaneSet> lane_sets, std::span<const OutputTrack> tracks,
    std::uint32_t* slot = nullptr);

// The master track's lines. The master's effect chain is written by `write_fx_chain`, handed in
// as a callback that returns the number of slots written (none yet: no chain is written).
struct MasterWriteInput {
    std::string fader_name;  // the session's master fader; empty when it has none
    std::span<const TrackLaneSet> lane_sets;
    std::function<int(std::FILE*)> write_fx_chain;
};
void write_master_track(std::FILE* file, const ProjectSettingsRead& read,
                        const MasterWriteInput& master);
