// Process-wide state the command line, the driver and the writers share.
#pragma once

#include <cstdint>
#include <string>

#include "app/convert_options.h"

// Set by the command line; lives for the whole process.
struct ProcessSettings {
#ifdef _WIN32
    std::int32_t pause_at_exit = 1;
#else
    std::int32_t pause_at_exit = 0;
#endif
    std::string dump_corpus_dir;
};
extern ProcessSettings process_settings;

// What one conversion leaves for the command line, the report and the usage summary.
struct RunOutcome {
    std::string summary_line;
    std::string problem_kind;
    std::string problem_detail;
    std::string usage_body;
};
extern RunOutcome run_outcome;

// Records the run's problem; the first one recorded wins. The detail is cut to 159 bytes.
void record_problem(const std::string& kind, const std::string& detail);

// The options the other subsystems consult, mirrored at the start of every conversion, and the
// values the session gives the whole run. Reset in one statement per conversion.
struct ConversionSettings {
    std::string session_path_text;
    BypassedFxMode fx_bypass_mode = BypassedFxMode::keep;
    std::uint8_t placeholders_enabled = 1;
    std::uint8_t aax_slots_enabled = 1;
    std::uint8_t skip_missing_fx = 0;
    std::uint8_t overwrite_output = 0;
    CommentsMode comments_mode = CommentsMode::project;
    std::uint8_t prefer_vst3 = 1;
    std::uint8_t prefer_clap = 0;
    std::uint8_t usage_shared = 0;
    std::uint8_t tempo_ramps = 0;
    std::uint8_t keep_frozen = 0;
    std::uint8_t keep_inaudible_midi = 0;
    std::uint8_t truncate_midi_to_clip = 0;
    std::uint8_t no_track_colors = 0;
    std::uint8_t no_clip_colors = 0;
    std::uint8_t no_stand_ins = 0;
    std::uint8_t no_ara = 0;
    std::uint8_t keep_plugin_midi = 0;
    std::uint8_t kontakt_state_enabled = 1;
    std::uint8_t check_only = 0;

    double session_tempo = 120.0;
    double sample_rate = 48000.0;
    std::int64_t session_sample_rate = 48000;
    std::int32_t envelope_active = 1;
    std::int32_t envelope_arm = 0;
    std::string timecode_rate_text = "30";
    std::int32_t timecode_fps = 30;
    std::int32_t bit_depth = 24;
    std::string audio_folder;
    std::string session_folder;
    std::string pt_version_text;

    bool operator==(const ConversionSettings&) const = default;
};
extern ConversionSettings settings;

// Empties every per-run container and sets the run's defaults, then mirrors the options.
void reset_conversion_state(const ConvertOptions& options);
