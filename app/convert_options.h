// Everything one conversion is told; filled by the command line, read by the driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class BypassedFxMode : std::uint32_t { keep = 0, offline = 1, leave_out = 2 };
enum class CommentsMode : std::uint32_t { item = 0, project = 1, none = 2 };
enum class ClipColorTheme : std::uint32_t { follow_session = 0, classic = 1, dark = 2 };

struct ConvertOptions {
    std::string input_path;
    std::string output_path;  // empty: the input path with ".rpp" for its extension
    std::string audio_folder = "Audio Files";
    std::uint8_t audio_folder_given = 0;
    std::string program_path;
    std::string reaper_vst_cache_file;
    std::vector<std::string> param_name_files;
    std::string wanted_params_file;
    double tempo = 0.0;  // 0: the session's own (see tempo_override_valid)

    std::uint8_t keep_alt_takes = 1;
    std::uint8_t list = 0;
    std::uint8_t no_stretch = 0;
    std::uint8_t recover_deleted = 0;
    std::uint8_t check = 0;
    std::uint8_t keep_fade_clips = 0;
    std::uint8_t no_fades = 0;
    std::uint8_t no_click = 0;
    std::uint8_t report = 0;
    std::uint8_t dump_cache = 0;
    std::uint8_t dump_controllers = 0;
    std::uint8_t no_sidechain = 0;
    std::uint8_t skip_bypassed = 0;
    std::uint8_t placeholders = 1;
    std::uint8_t overwrite = 0;
    std::uint8_t prefer_vst3 = 1;
    std::uint8_t keep_plugin_midi = 0;
    std::uint8_t aax_slots = 1;
    std::uint8_t skip_missing_fx = 0;
    std::uint8_t predict = 0;
    std::uint8_t kontakt_state = 1;
    std::uint8_t prefer_clap = 0;
    std::uint8_t tempo_ramps = 0;
    std::uint8_t keep_frozen = 0;
    std::uint8_t keep_inaudible_midi = 0;
    std::uint8_t truncate_midi_to_clip = 0;
    std::uint8_t no_track_colors = 0;
    std::uint8_t no_clip_colors = 0;
    std::uint8_t no_stand_ins = 0;
    std::uint8_t no_ara = 0;
    std::uint8_t skip_hidden_tracks = 0;
    std::uint8_t skip_inactive_tracks = 0;

    std::string usage_json_file;  // empty: no usage summary
    std::uint8_t usage_shared = 0;
    BypassedFxMode bypassed_fx_mode = BypassedFxMode::keep;
    CommentsMode comments_mode = CommentsMode::project;
    ClipColorTheme clip_color_theme = ClipColorTheme::follow_session;
};

// The folder before the last "/" or "\" of a path ("." when it has none).
std::string folder_of(const std::string& path);

// The audio folder a session path implies when none is given: its folder + "/Audio Files".
std::string default_audio_folder(const std::string& input_path);

// Whether the run writes the usage summary: a file is named and it is neither a --check nor a
// --list run.
bool writes_usage_summary(const ConvertOptions& options);

// Whether the run writes a usage summary marked to be shared: only then does the privacy text say
// that one was written.
bool shares_usage_summary(const ConvertOptions& options);

// A tempo override is 0 (the session's own tempo) or a finite tempo from 20 to 999 BPM, the range
// a session's own tempo is held to.
inline constexpr double kLowestTempoOverride = 20.0;
inline constexpr double kHighestTempoOverride = 999.0;
bool tempo_override_valid(double tempo);

// The console text that refuses a --tempo value, quoted as given.
std::string tempo_refusal_text(const std::string& given);
