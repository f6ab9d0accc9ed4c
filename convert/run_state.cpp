#include "convert/run_state.h"

#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_extras.h"
#include "convert/summary/media_check.h"
#include "convert/tracks/midi_items.h"
#include "convert/tracks/track_stage_state.h"
#include "convert/tracks/track_view.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/midi_item_writer.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/video_tracks.h"
#include "convert/writer/writer_summary.h"
#include "effects/clip_effects.h"
#include "effects/fx_blocks.h"
#include "effects/fx_chain.h"
#include "effects/reasurroundpan.h"
#include "effects/stock_standins.h"
#include "plugins/plugin_state.h"
#include "plugins/state_conversion.h"
#include "session/tempo_map.h"
#include "util/utf8_text.h"
#include "util/version.h"

ProcessSettings process_settings;
RunOutcome run_outcome;
ConversionSettings settings;

void record_problem(const std::string& kind, const std::string& detail) {
    if (!run_outcome.problem_kind.empty()) return;
    run_outcome.problem_kind = kind;
    run_outcome.problem_detail = detail.substr(0, 159);
}

void reset_conversion_state(const ConvertOptions& o) {
    settings = ConversionSettings{};
    session_tempo_map.reset();
    session_text.reset();
    track_views.reset();
    track_stage.reset();
    track_wiring.reset();
    clip_counts.reset();
    clip_extras.reset();
    midi_counts.reset();
    settings.session_path_text = o.input_path;
    settings.fx_bypass_mode = o.bypassed_fx_mode;
    settings.placeholders_enabled = o.placeholders;
    settings.aax_slots_enabled = o.aax_slots;
    settings.skip_missing_fx = o.skip_missing_fx;
    settings.overwrite_output = o.overwrite;
    settings.comments_mode = o.comments_mode;
    settings.prefer_vst3 = o.prefer_vst3;
    settings.prefer_clap = o.prefer_clap;
    settings.usage_shared = o.usage_shared;
    settings.tempo_ramps = o.tempo_ramps;
    settings.keep_frozen = o.keep_frozen;
    settings.keep_inaudible_midi = o.keep_inaudible_midi;
    settings.truncate_midi_to_clip = o.truncate_midi_to_clip;
    settings.no_track_colors = o.no_track_colors;
    settings.no_clip_colors = o.no_clip_colors;
    settings.no_stand_ins = o.no_stand_ins;
    settings.no_ara = o.no_ara;
    settings.keep_plugin_midi = o.keep_plugin_midi;
    settings.kontakt_state_enabled = o.kontakt_state;
    settings.check_only = o.check;
    run_outcome.usage_body.clear();
    reset_color_counters();
    reset_writer_state();
    tempo_marker_counts.reset();
    reset_item_writer();
    reset_ara_transfer();
    reset_special_tracks();
    reset_video_tracks();
    reset_midi_writer();
    reset_audio_paths();
    reset_media_check();
    reset_utf8_repairs();
    reset_plugin_knowledge();
    reset_plugin_state_counts();
    reset_fx_chain_state();
    reset_fx_block_state();
    reset_clip_effects_state();
    reset_reasurroundpan_state();
    reset_stock_standin_state();
}
