#include "convert/convert_session.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/output.h"
#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_extras.h"
#include "convert/clips/clip_gain.h"
#include "convert/clips/clip_overlaps.h"
#include "convert/clips/clip_placements.h"
#include "convert/reading/session_load.h"
#include "convert/reading/stage_reading.h"
#include "convert/run_state.h"
#include "convert/summary/clip_conservation.h"
#include "convert/summary/console_summary.h"
#include "convert/summary/media_check.h"
#include "convert/summary/report.h"
#include "convert/summary/usage_summary.h"
#include "convert/summary/wanted_params.h"
#include "convert/tracks/midi_items.h"
#include "convert/tracks/midi_track_tables.h"
#include "convert/tracks/mixer_wiring.h"
#include "convert/tracks/playlist_tracks.h"
#include "convert/tracks/plugin_tracks.h"
#include "convert/tracks/session_plugins.h"
#include "convert/tracks/track_filters.h"
#include "convert/tracks/track_order.h"
#include "convert/tracks/track_stage_state.h"
#include "convert/tracks/track_view.h"
#include "convert/tracks/track_view_stage.h"
#include "convert/tracks/track_wiring.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/audio_paths.h"
#include "convert/writer/colors.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/midi_item_writer.h"
#include "convert/writer/project_header.h"
#include "convert/writer/project_writer.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/video_tracks.h"
#include "convert/writer/writer_summary.h"
#include "effects/eq3_conversion.h"
#include "effects/fx_chain.h"
#include "effects/fx_chain_hooks.h"
#include "effects/reasurroundpan.h"
#include "effects/stock_standins.h"
#include "model/conversion_result.h"
#include "plugins/plugin_state.h"
#include "session/block_index.h"
#include "session/channel_strips.h"
#include "session/clip_gain_lists.h"
#include "session/clip_lists.h"
#include "session/clip_pitch.h"
#include "session/loop_records.h"
#include "session/midi_chunks.h"
#include "session/mixer_names.h"
#include "session/named_placements.h"
#include "session/playlist_names.h"
#include "session/plugin_params.h"
#include "session/px_records.h"
#include "session/session_settings.h"
#include "session/strip_links.h"
#include "session/strip_rows.h"
#include "session/track_midi_values.h"
#include "session/track_names.h"
#include "session/track_routing.h"
#include "session/warp_markers.h"
#include "util/names.h"
#include "util/version.h"

namespace {

// Clears the capture and progress pointers on every way out of a conversion.
struct CaptureGuard {
    ConversionResult* result;
    std::string captured;
    ~CaptureGuard() { end_output_capture(result, captured); }
};

// The written tracks and what their blocks read, in the order written.
struct WrittenTracks {
    std::vector<OutputTrack> tracks;
    std::vector<TrackWriteInput> inputs;
    // The tracks' own palette indices by name, which the send-return buses read too.
    std::map<std::string, std::int32_t> own_colours;
};

// The MIDI side of stage "tracks": the MIDI items on tracks of their own, with the MIDI values
// and real-time properties the writer reads by track name.
struct MidiTracks {
    MidiTrackSet set;
    MidiTrackTables tables;
    std::vector<NamedBlockEntry> named;
    std::vector<TrackMidiValues> triples;
    std::vector<MidiTrackProperties> rows;
};

MidiTracks stage_midi(const std::uint8_t* data, std::size_t length, const SessionReading& reading,
                      const ConvertOptions& options, const ClipModel& clips) {
    MidiTracks out;
    // Read once: under --dump-cc the reading stage has listed them already.
    std::vector<MidiChunk> read_here;
    if (!reading.midi_chunks) read_midi_chunks(data, length, read_here);
    const std::vector<MidiChunk>& chunks = reading.midi_chunks ? *reading.midi_chunks : read_here;
    std::vector<PlacementList> lists;
    read_placement_lists(data, length, lists);
    std::vector<NamedPlacement> named_placements;
    read_named_placements_1057(data, length, named_placements);
    MidiStageInput in;
    in.regions = &reading.layout.midi_track_regions;
    in.midi_regions = &reading.layout.midi_regions;
    in.chunks = &chunks;
    in.placement_lists = &lists;
    in.named_placements = &named_placements;
    in.sample_rate = settings.sample_rate;
    in.tempo_map = &session_tempo_map;
    in.tempo = settings.session_tempo;
    in.keep_inaudible = options.keep_inaudible_midi != 0;
    in.truncate_to_clip = options.truncate_midi_to_clip != 0;
    build_midi_items(in, out.set);
    pair_midi_timebase(data, length, midi_counts.midi_clip_groups);

    std::vector<NamedBlockEntry>& named = out.named;
    read_track_names(data, length, named);
    std::vector<std::string> session_names;
    std::vector<std::uint32_t> types;
    for (const NamedBlockEntry& entry : named) {
        session_names.push_back(display_name(entry));
        types.push_back(entry.content_type);
    }
    std::set<std::string> taken;
    for (const auto& [index, track] : clips.output_tracks)
        taken.insert(track.session_name.empty() ? track.name : track.session_name);
    settle_midi_tracks(out.set, session_names, taken);

    read_2036_per_track(data, length, named, out.triples);
    read_midi_track_properties(data, length, types, out.rows);
    out.tables = midi_track_tables(named, out.triples, out.rows);
    return out;
}

// What the track blocks read of a track's stored view state: by its name, else its other name.
std::optional<TrackViewValues> track_view_values(const std::string& name,
                                                 const std::string& other_name) {
    const TrackViewState* view = find_track_view(name, other_name);
    if (!view) return std::nullopt;
    TrackViewValues values;
    values.key = track_views.by_name.contains(name) ? name : other_name;
    values.shown_in_mixer = view->shown_in_mixer;
    values.height = view->height;
    values.solo_state = view->solo_state;
    values.solo_safe_state = view->solo_safe_state;
    values.automation_mode = view->automation_mode;
    values.colour_number = view->colour_number;
    return values;
}

// Stage "clips": the clip model from the walk's placements, overlaps resolved. The placements
// are let go once the clips are made: what the later stages read of them is taken first.
void stage_clips(const PTFFormat& session, SessionReading& reading, const ConvertOptions& options,
                 ClipModel& clips, ClipGainCounts& gain) {
    report_progress(1, "clips");
    note_placements_without_clips(reading.layout);
    const std::uint8_t* data = session.bytes().data();
    const std::size_t length = session.bytes().size();
    build_clip_placements_and_release(data, length, reading.layout, settings.sample_rate,
                                      session_tempo_map, settings.session_tempo, options, clips);
    std::map<std::string, double> gains;
    std::map<std::string, GainCurve> lines;
    read_gain_envelopes_a(data, length, gains);
    read_gain_envelopes_b(data, length, lines, &clip_counts.gain_count_mismatches);
    gain = apply_clip_gain(gains, lines, clips);
    ClipExtrasInput extras;
    read_4400_px_lists(data, length, extras.effects);
    read_plugin_params(data, length, extras.ara_records, extras.ara_clip_records);
    read_warp_markers(data, length, extras.warps);
    read_clip_pitch(data, length, extras.pitches);
    read_loop_records(data, length, extras.loops);
    extras.session_path = options.input_path;
    extras.tempo_map = &session_tempo_map;
    extras.tempo = settings.session_tempo;
    extras.no_ara = options.no_ara != 0;
    extras.no_stretch = options.no_stretch != 0;
    apply_clip_extras(extras, clips);
    clip_counts.loop_repeats = clip_extras.loop_repeats;
    resolve_clip_overlaps(clips);
    apply_loop_cuts(clips);
}

// The named block of an audio or aux track.
constexpr std::uint32_t kAudioTrackBlock = 0x261b;

// Whether a track's mixer strip (its first assigned lane set, by session name or name) is a mono
// one: its panner is not a stereo panner, and the strip's lists are those of a mono or stereo
// strip, not of a wider one. Each name's first lane set is looked up, not searched for.
class MonoStrips {
  public:
    explicit MonoStrips(std::span<const TrackLaneSet> lane_sets) {
        for (std::size_t i = 0; i < lane_sets.size(); ++i) {
            const TrackLaneSet& l = lane_sets[i];
            if (!l.assigned || l.name.empty()) continue;
            first_.emplace(l.name, Strip{i, !l.stereo_pan && mono_or_stereo(l.list_count)});
        }
    }
    bool mono(const OutputTrack& track) const {
        const auto by_name = first_.find(track.name);
        const auto by_session_name = first_.find(track.session_name);
        if (by_name == first_.end() && by_session_name == first_.end()) return false;
        if (by_name == first_.end()) return by_session_name->second.mono;
        if (by_session_name == first_.end()) return by_name->second.mono;
        return by_name->second.index < by_session_name->second.index ? by_name->second.mono
                                                                     : by_session_name->second.mono;
    }

  private:
    struct Strip {
        std::size_t index = 0;  // in the lane sets
        bool mono = false;
    };
    std::unordered_map<std::string, Strip> first_;  // each name's first assigned lane set
};

// Stage "tracks": groups, view state and colour coding; the tracks of the playlists (split stereo
// legs joined, alternate playlists named, folded or set aside); then the output tracks in the
// session's track order with empty, VCA-master and folder tracks, the click left out under
// --no-click, and the hidden and inactive filters. The tracks are moved out of the clip model,
// which is released here: its clips are not held twice while the project is written.
WrittenTracks stage_tracks(ClipModel clips, const MidiTracks& midi, const SessionReading& reading,
                           const ConvertOptions& options, const PluginTrackTies& ties,
                           const std::uint8_t* data, std::size_t length,
                           PlaylistTracks& playlists) {
    TrackViewStageInput view_in;
    view_in.data = data;
    view_in.length = length;
    view_in.group_records = &reading.groups;
    view_in.strips = &reading.track_names;
    view_in.named = &midi.named;
    view_in.triples = &midi.triples;
    view_in.rows = &midi.rows;
    run_track_view_stage(view_in, track_stage, track_views);

    PlaylistTrackInput in;
    in.session_track_names = reading.track_names;
    in.lane_sets = reading.lane_sets;
    read_strip_rows(data, length, in.strip_rows);
    read_playlist_names(data, length, in.playlist_names);
    in.keep_alt_takes = options.keep_alt_takes != 0;
    in.recover_deleted = options.recover_deleted != 0;
    in.debug_fold = std::getenv("PTX_DEBUG_FOLD") != nullptr;
    playlists = build_playlist_tracks(clips, in);

    TrackOrderInput order;
    order.named = midi.named;
    const MonoStrips mono_strips(reading.lane_sets);
    for (std::size_t i = 0; i < playlists.tracks.size(); ++i) {
        StagedTrack staged;
        staged.track = std::move(playlists.tracks[i]);
        staged.from_clips = 1;
        staged.input.timebase = reaper_timebase(playlists.tick_based[i] != 0);
        if (const auto legs = playlists.channel_counts.find(staged.track.name);
            legs != playlists.channel_counts.end()) {
            staged.input.channel_count = legs->second;
            staged.input.folded_channels = merged_track_channels(legs->second);
        } else if (mono_strips.mono(staged.track)) {
            staged.input.channel_count = 1;
        }
        order.source.push_back(std::move(staged));
    }
    playlists.tracks.clear();
    for (std::uint16_t index : midi.set.order) {
        StagedTrack staged;
        staged.track = midi.set.tracks.at(index);
        // A MIDI track the session's names did not match keeps an empty session name: it has no
        // strip row of its own, and the folder rule places it with the track before it.
        staged.input.midi = 1;
        staged.input.midi_time_based = midi.set.sample_time.contains(index) ? 1 : 0;
        auto lane = staged.track.session_name.empty()
                        ? reading.midi_mute_lanes.end()
                        : reading.midi_mute_lanes.find(staged.track.session_name);
        if (lane == reading.midi_mute_lanes.end())
            lane = reading.midi_mute_lanes.find(staged.track.name);
        if (lane != reading.midi_mute_lanes.end() && lane->second.has_lane)
            staged.input.midi_mute_lane = lane->second.lane;
        if (lane != reading.midi_mute_lanes.end()) {
            staged.input.midi_muted = lane->second.state;
            staged.input.midi_other_lanes = lane->second.other_lanes;
        }
        order.midi.push_back(std::move(staged));
    }
    std::vector<NamedBlockEntry> named_again;
    read_track_names(data, length, named_again, &track_stage.names_assigned);
    track_stage.named_blocks = static_cast<int>(named_again.size());
    std::vector<std::string> voice_off;
    collect_names_with_200b(data, length, midi.named, voice_off);
    order.voice_off_names.insert(voice_off.begin(), voice_off.end());
    read_track_item_names(data, length, midi.named, track_stage.hardware_inserts);
    std::vector<std::string> inactive;
    read_251a_names(data, length, inactive);
    order.inactive_names.insert(inactive.begin(), inactive.end());
    order.plugins_by_track = &ties.plugins_by_track;
    order.lane_groups = reading.lane_groups;
    order.hardware_inserts = track_stage.hardware_inserts;
    order.no_click = options.no_click != 0;
    std::vector<StagedTrack> tracks = rebuild_track_order(order, track_stage.groups, track_stage);
    // The session's audio and aux tracks written empty take their channel count from their strip
    // as the tracks of clips did.
    std::set<std::string> audio_blocks;
    for (const NamedBlockEntry& b : midi.named)
        if (b.content_type == kAudioTrackBlock) audio_blocks.insert(display_name(b));
    for (StagedTrack& t : tracks)
        if (!t.from_clips && !t.input.midi && audio_blocks.contains(t.track.session_name) &&
            mono_strips.mono(t.track))
            t.input.channel_count = 1;
    fold_playlist_tracks(tracks, in, playlists);

    std::vector<StripRow> strip_rows;
    read_strip_rows(data, length, strip_rows);
    add_folder_tracks(tracks, strip_rows);
    mark_silent_tracks(tracks, order.inactive_names, order.voice_off_names, track_stage);

    if (options.skip_hidden_tracks || options.skip_inactive_tracks) {
        const std::vector<std::string> owners =
            lane_group_names(reading.lane_groups, reading.lane_sets);
        NameIndex name_index;
        build_name_index(data, length, reading.lane_groups, owners, name_index);
        std::map<std::uint16_t, std::string> key_names;
        read_name_map_260e(data, length, key_names);
        std::map<std::uint64_t, std::vector<std::uint64_t>> links;
        TrackFilterInput filter;
        filter.skip_hidden = options.skip_hidden_tracks != 0;
        filter.skip_inactive = options.skip_inactive_tracks != 0;
        filter.hide_list = std::getenv("PTX_DEBUG_HIDE");
        filter.views = &track_views;
        filter.id_links_read = read_id_links_210c(data, length, links) != 0;
        TrackNeedsInput needs;
        needs.lane_groups = reading.lane_groups;
        needs.owner_names = owners;
        needs.name_index = &name_index;
        needs.plugins_by_track = &ties.plugins_by_track;
        needs.key_names = &key_names;
        needs.strip_rows = strip_rows;
        needs.id_links = filter.id_links_read ? &links : nullptr;
        filter.needs = track_needs(needs);
        if (!filter.id_links_read)
            for (const StripRow& row : strip_rows)
                if (row.flag != 0) filter.unlinked_flagged_rows.insert(row.name);
        filter_tracks(tracks, filter, track_stage);
    }

    // The tracks' own colours, by name (the first record of a name holds).
    std::vector<TrackColourIndex> colour_records;
    read_2015_2104(data, length, colour_records, &color_counters.off_palette_track_colours);
    WrittenTracks out;
    for (const TrackColourIndex& c : colour_records) out.own_colours.emplace(c.track, c.index);
    out.tracks.reserve(tracks.size());
    out.inputs.reserve(tracks.size());
    for (StagedTrack& staged : tracks) {
        OutputTrack& track = staged.track;
        // A track without a session name keeps it empty: the folder pass places such a track
        // (an " [alt takes]" companion) in the strip row of the track before it.
        TrackWriteInput& input = staged.input;
        input.view = track_view_values(track.name, track.session_name);
        input.group_masks = group_masks_of(track_stage.groups, track.name, track.session_name);
        input.coding_color_index =
            coding_index_of(track_stage.coding, track.name, track.session_name);
        input.color_index = palette_index_of(out.own_colours, track.name, track.session_name);
        out.tracks.push_back(std::move(track));
        out.inputs.push_back(std::move(input));
    }
    return out;
}

// The lengths of the audio track regions the closing block notes as long clips, in samples: the
// longest of all is among them whenever there is one, and no other length is read.
std::vector<std::int64_t> long_placement_lengths(const SessionLayout& layout,
                                                 std::int64_t library_rate) {
    std::vector<std::int64_t> lengths;
    for (const TrackRegion& placed : layout.audio_track_regions) {
        const std::int64_t length = layout.audio_regions[placed.region].length;
        if (long_clip(length, library_rate)) lengths.push_back(length);
    }
    return lengths;
}

// The closing block's facts: placement lengths, the longest file, the session's bit depth.
ClosingBlockInput closing_input(const PTFFormat& session, std::vector<std::int64_t> lengths,
                                const ProjectSettingsRead& project, const ConvertOptions& options) {
    ClosingBlockInput in;
    in.library_rate = session.sample_rate();
    in.placement_lengths = std::move(lengths);
    for (const PtfAudioFile& file : session.audio_files())
        in.longest_file = std::max(in.longest_file, file.length);
    in.bit_depth = project.bit_depth;
    in.bit_float = project.bit_float;
    in.audio_folder = written_audio_folder();
    in.clips_in_sibling_folders = item_writer.clips_outside_audio_folder != 0;
    in.usage_shared = shares_usage_summary(options);
    return in;
}

// What the report and the usage summary read of the run, each count the one the console
// summary prints for the same fact.
struct RunFacts {
    const WrittenTracks& written;
    const PluginTrackTies& ties;
    const PlaylistTracks& playlists;
    const ProjectWriteInput& project;
    const SessionReading& reading;
    int library_major = 0;
    std::string written_path;
};

ReportPlugins report_plugins(const SessionReading& reading) {
    const FxChainState& fx = fx_chain_state;
    ReportPlugins p;
    p.rows = fx.rows;
    p.instances_found = static_cast<int>(reading.plugin_instances.size());  // as the console
    p.counts = fx.all_counts;
    p.aax_only = fx.aax_only_counts;
    p.aax_only_labels = fx.aax_only_labels;
    p.aax_processes_audio = fx.aax_only_flags;
    p.unrecognised = fx.unrecognised_counts;
    p.offline = fx.offline_counts;
    p.no_state = fx.no_settings_counts;
    p.not_installed = fx.missing_fx;
    p.not_installed_left_out = fx.missing_fx_left_out;
    p.reaper_list_found = !plugin_knowledge.cache.empty();
    return p;
}

ReportInput report_input(const RunFacts& run, const ConvertOptions& options) {
    const WriterSummary& s = writer_summary;
    ReportInput in;
    in.session_path = options.input_path;
    in.written_path = run.written_path;
    in.check = options.check != 0;
    in.problem_kind = run_outcome.problem_kind;
    in.problem_detail = run_outcome.problem_detail;
    in.library_major = run.library_major;
    in.header_major = run.reading.header.major_version;
    in.sample_rate = settings.session_sample_rate;
    in.bit_depth = run.project.session_settings.bit_depth;
    in.bit_float = run.project.session_settings.bit_float;
    in.timecode_rate = settings.timecode_rate_text;
    in.start_frames = s.start_frames;
    in.timecode_fps = settings.timecode_fps;
    in.drop_frame = s.drop_frame != 0;
    in.ruler_rate = s.ruler_rate;
    const std::string& twin = s.frame_rate_twin_label;
    if (s.thirty_drop && (twin.empty() || twin == "30"))
        in.drop_rate_missing = "30";
    else if (s.drop_frame && !twin.empty())
        in.drop_rate_missing = twin;
    in.tempo = settings.session_tempo;
    in.tempo_map = session_tempo_map.entries.size() > 1;
    in.file_format = run.project.session_settings.file_format;

    in.tracks = static_cast<int>(run.written.tracks.size());
    in.clips = static_cast<int>(item_writer.items_written);
    in.notes = midi_writer.notes_written;
    in.bus_tracks = special_tracks.bus_tracks;
    in.frozen_delivered = special_tracks.frozen_delivered;
    in.soloed_and_muted = writer_summary.soloed_and_muted;
    in.solo_helper = !special_tracks.solo_helper.empty();
    in.freeze_records_left_out = special_tracks.freeze_records_left_out;
    in.no_stand_ins = settings.no_stand_ins != 0;
    in.standins_withheld = static_cast<int>(fx_chain_state.standins_withheld);
    in.polarity_withheld = static_cast<int>(fx_chain_state.polarity_withheld);
    in.standins_written = static_cast<int>(stock_standin_state.standin_total);
    in.eq3_one_pole_filters = static_cast<int>(eq3_counters.one_pole_count);
    in.eq3_fit_lines = eq3_fit_lines(eq3_counters, "");
    in.eq3_held_controls = eq3_counters.held_controls;
    in.kept_on_vst3 = plugin_knowledge.kept_on_vst3;
    // The Kontakt line speaks of the settings written: none are under --no-kontakt-state.
    if (settings.kontakt_state_enabled != 0)
        in.kontakt_instances = static_cast<int>(plugin_knowledge.kontakt.instance_count);
    in.kontakt_name = plugin_knowledge.kontakt.chosen_name;
    in.kontakt_predicted = plugin_knowledge.kontakt.predicted != 0;
    in.clip_effects_clips = static_cast<int>(clip_extras.clip_effects_clips.size());
    in.keep_inaudible_midi = options.keep_inaudible_midi != 0;
    in.inaudible_events_kept = midi_counts.outside_events_kept;
    in.truncate_midi_to_clip = options.truncate_midi_to_clip != 0;
    in.notes_cut_at_edge = midi_counts.notes_past_edge;
    in.no_track_colors = options.no_track_colors != 0;
    in.no_clip_colors = options.no_clip_colors != 0;
    in.clips_left_uncolored = color_counters.clips_left_uncolored;
    in.master_fader_name = run.project.master_fader_name;
    for (std::size_t i = 0; i < run.written.tracks.size(); ++i) {
        const OutputTrack& track = run.written.tracks[i];
        if (run.written.inputs[i].midi) ++in.instrument_tracks;
        ReportTrackRow row;
        row.name = written_track_name(track, i);
        row.clips = placeable_clips(track);
        for (const MidiItem& item : track.midi_items)
            for (const MidiItemEvent& event : item.events)
                if ((event.status & 0xF0) == 0x90) ++row.notes;
        const std::string& key = track.session_name.empty() ? track.name : track.session_name;
        if (const auto slots = run.ties.plugins_by_track.find(key);
            slots != run.ties.plugins_by_track.end())
            row.fx = static_cast<int>(slots->second.size());
        in.track_rows.push_back(std::move(row));
    }

    in.plugins = report_plugins(run.reading);
    in.odd_strips = run.ties.odd_strips;
    in.multi_mono = run.ties.multi_mono;
    in.unresolved_keys = track_wiring.counts.unresolved_keys;
    in.bad_fades = clip_counts.bad_fades;
    in.unreadable_clip_lists = clip_counts.unreadable_lists;
    in.tracks_without_list = clip_counts.tracks_without_list;
    in.refused_placements_count = static_cast<int>(run.reading.layout.refused.size());
    in.refused_placements = refused_placement_rows(run.reading.layout.refused, false);
    in.lost_audio_clips = static_cast<int>(run.reading.layout.lost_audio_clips);
    in.lost_midi_clips = static_cast<int>(run.reading.layout.lost_midi_clips);
    in.clips_left_out = left_out_clip_rows(run.reading.layout, clip_counts, item_writer);
    in.unmatched_strip_tracks = run.playlists.unmatched;
    in.missing_media = media_check.missing;
    in.video_tracks = video_tracks.tracks;
    in.video_items = video_tracks.items;
    in.video_files_missing = video_tracks.files_missing;
    in.video_files_unrecognised = video_tracks.files_unrecognised;
    in.video_items_left_out =
        video_tracks.items_without_length + video_tracks.placements_on_no_track;
    in.video_frame_rate = video_tracks.rate_from_session ? video_tracks.frame_rate : 0.0;
    in.video_quality = video_tracks.quality;
    in.surround_bus_widths = s.surround_bus_widths;
    in.mono_panner_widths = s.mono_panner_widths;
    in.stereo_panner_widths = s.stereo_panner_widths;
    in.unplaceable_surround = track_wiring.counts.unplaceable_surround;
    in.surround_pan_lanes = s.surround_pan_lanes_not_carried;
    in.surround_folded = static_cast<int>(run.playlists.merged_multichannel_tracks.size());
    in.usage_shared = shares_usage_summary(options);
    return in;
}

// Step 5 "report": the report text for the result record and the --report file, and the summary
// line the command line prints under --progress.
// True when the --report file was written.
bool stage_report(const ReportInput& in, const ConvertOptions& options, ConversionResult* result) {
    report_progress(5, "report");
    const std::string path = report_path_for(in.written_path);
    const ReportText report = build_report(in);
    run_outcome.summary_line = report_summary_line(in, report);
    if (result) {
        result->report_text = report.text;
        result->report_path.clear();
    }
    const bool written = options.report && write_report_file(path, report.text, options.check);
    if (written && result) result->report_path = path;
    return written;
}

// The usage summary's body, from the same counts as the report.
std::string build_usage_body(const ReportInput& in, const RunFacts& run) {
    UsageSession session;
    session.pt_saved_by = pt_saved_by_token();
    session.sample_rate = static_cast<int>(static_cast<double>(settings.session_sample_rate) + 0.5);
    session.bit_depth = in.bit_depth;
    session.float_audio = in.bit_float != 0;
    session.tracks = in.tracks;
    session.midi_tracks = in.instrument_tracks;
    session.hidden_tracks = static_cast<int>(writer_summary.hidden_tracks.size());
    for (const OutputTrack& track : run.written.tracks) {
        if (track.inactive) ++session.inactive_tracks;
        session.alt_playlists += static_cast<int>(track.lanes.size());
    }
    session.alt_playlists += run.playlists.alt_own_tracks;
    session.master_faders = track_stage.master_faders;
    session.vcas = track_stage.groups.vca_written;
    session.clips = in.clips;
    session.midi_notes = in.notes;
    session.frozen_tracks = special_tracks.frozen_delivered;
    UsageFlags flags;
    flags.reaper_list_empty = !in.plugins.reaper_list_found;
    flags.media_missing = media_check.missing_count != 0;
    flags.problem = !run_outcome.problem_kind.empty();
    flags.surround_pan_lanes = writer_summary.surround_pan_lanes_not_carried > 0;
    flags.loops_not_written = clip_extras.loop_note_count > 0;
    flags.video_not_written = video_tracks.files_missing + video_tracks.files_unrecognised > 0;
    return usage_body(session, in.plugins.rows, flags);
}

// The video tracks' names (named blocks 0x2623), files, placements and times.
VideoTracksInput session_video(const std::uint8_t* data, std::size_t length,
                               const ProjectWriteInput& project) {
    VideoTracksInput in;
    std::vector<NamedBlockEntry> blocks;
    read_track_names(data, length, blocks);
    for (const NamedBlockEntry& b : blocks)
        if (b.content_type == 0x2623) in.track_names.push_back(display_name(b));
    if (in.track_names.empty()) return in;
    read_video_file_names(data, length, in.file_names);
    read_video_placements(data, length, in.placements, in.placement_lists);
    for (const std::string& name : in.file_names)
        read_video_clip_entries(data, length, name, in.entries[name]);
    in.session_frame_rate = read_video_frame_rate(data, length);
    in.timecode_code = project.session_settings.timecode_code;
    in.quality = read_video_quality(data, length);
    in.session_folder =
        project.session_path.substr(0, project.session_path.find_last_of("/\\") + 1);
    return in;
}

}  // namespace

int convert_session(const ConvertOptions& options, ConversionResult* result,
                    ptxgui::Progress* progress) {
    run_outcome.summary_line.clear();
    run_outcome.problem_kind.clear();
    run_outcome.problem_detail.clear();
    output_state.progress_reporter = progress;
    if (result) *result = ConversionResult{};
    CaptureGuard guard{result, {}};
    output_state.console_capture = &guard.captured;

    reset_conversion_state(options);

    if (options.input_path.empty()) {
        say("lanwick: drag a .ptx file onto this program.\n");
        return 1;
    }
    if (!tempo_override_valid(options.tempo)) {
        say("%s", tempo_refusal_text(format_text("%g", options.tempo)).c_str());
        return 1;
    }

    settings.audio_folder = options.audio_folder_given || options.input_path.empty()
                                ? options.audio_folder
                                : default_audio_folder(options.input_path);
    while (settings.audio_folder.size() > 1 &&
           (settings.audio_folder.back() == '/' || settings.audio_folder.back() == '\\'))
        settings.audio_folder.pop_back();
    settings.session_folder = folder_of(settings.audio_folder);

    report_progress(0, "reading");
    PTFFormat session;
    int code = load_session_file(session, options.input_path);
    if (!accept_loaded_session(session, code, options.input_path, progress != nullptr)) return 1;

    settings.session_sample_rate = session.sample_rate() > 0 ? session.sample_rate() : 48000;
    // Every scanner from here on finds its blocks through this one index of the session.
    const BlockIndex block_index(session.bytes());
    const BlockIndexScope block_index_installed(block_index);
    SessionReading reading;
    read_session(session, options, reading);
    const std::uint8_t* data = session.bytes().data();
    const std::size_t length = session.bytes().size();

    const PluginTrackTies plugin_ties = tie_session_plugins(reading, data, length);

    // Taken before the clip stage lets the placements go.
    std::vector<std::int64_t> lengths =
        long_placement_lengths(reading.layout, session.sample_rate());
    ClipModel clips;
    ClipGainCounts gain;
    stage_clips(session, reading, options, clips, gain);
    report_progress(2, "tracks");
    const MidiTracks midi = stage_midi(data, length, reading, options, clips);
    PlaylistTracks playlists;
    const WrittenTracks written = stage_tracks(std::move(clips), midi, reading, options,
                                               plugin_ties, data, length, playlists);

    // Stage "writing".
    std::set<std::string> listed_files;
    for (const PtfAudioFile& file : session.audio_files())
        if (!file.name.empty()) listed_files.insert(path_basename(file.name));
    ItemWriteContext items;
    items.dark_theme = reading.dark_theme;
    items.clip_color_mode = read_clip_color_mode(data, length);
    items.listed_files = &listed_files;
    items.folder_hints = &reading.audio_folder_hints;

    ProjectWriteInput project;
    project.session_path = options.input_path;
    project.output_path = options.output_path;
    project.check = options.check;
    project.overwrite = options.overwrite;
    project.comments_mode = options.comments_mode;
    project.comments = track_stage.comments;
    project.no_sidechain = options.no_sidechain;
    project.sample_rate = settings.session_sample_rate;
    project.tempo = settings.session_tempo;
    project.session_settings = read_project_settings(data, length);
    project.master_fader_name = read_first_261d_name(data, length);
    project.lane_sets = reading.lane_sets;
    project.tracks = written.tracks;
    project.track_inputs = written.inputs;
    apply_plugin_ties(plugin_ties, written.tracks, project);
    // The video tracks are written between the output tracks and the send-return buses, whose
    // numbers (a sidechain key's source) count them.
    VideoTracksInput video_input = session_video(data, length, project);
    TrackWiringInput wiring_in;
    wiring_in.data = data;
    wiring_in.length = length;
    wiring_in.groups = reading.lane_groups;
    wiring_in.lane_sets = reading.lane_sets;
    wiring_in.tracks = written.tracks;
    wiring_in.plugins_by_track = &plugin_ties.plugins_by_track;
    wiring_in.no_sidechain = options.no_sidechain != 0;
    wiring_in.merged_multichannel_tracks.insert(playlists.merged_multichannel_tracks.begin(),
                                                playlists.merged_multichannel_tracks.end());
    wiring_in.video_tracks_written = static_cast<std::int32_t>(video_input.track_names.size());
    TrackWiring wiring = prepare_track_wiring(wiring_in);
    apply_track_wiring(wiring, written.tracks, project.track_inputs);
    project.receives = std::move(wiring.receives);
    FxChainHookInput fx_chains;
    fx_chains.session.plugins_by_track = &plugin_ties.plugins_by_track;
    fx_chains.session.bytes = session_bytes(data, length);
    fx_chains.session.session_name = path_basename(options.input_path);
    fx_chains.session.trim_gain_by_instance = &plugin_ties.trim_gain_by_instance;
    set_fx_trim_counts(plugin_ties.trim_gain_by_instance.size(),
                       plugin_ties.trims.different_gain_per_channel,
                       plugin_ties.trims.below_measured_range);
    fx_chains.session.keyed_standin_instances = &track_wiring.keyed_standin_instances;
    fx_chains.session.key_source_index_by_instance = &track_wiring.key_source_index_by_instance;
    prepare_stock_standins(plugin_ties.plugins_by_track);
    fx_chains.session.write_stock_standins = [](const SessionPluginInstance& instance,
                                                SessionBytes bytes) {
        return write_stock_standins(instance, bytes, false,
                                    StandInKeys{&track_wiring.keyed_standin_instances,
                                                &track_wiring.key_source_index_by_instance});
    };
    fx_chains.session.standin_built = stock_standin_built;
    fx_chains.tracks = written.tracks;
    fx_chains.inputs = project.track_inputs;
    fx_chains.master_name = project.master_fader_name;
    install_fx_chain_hooks(fx_chains, project);
    // A surround-panned track's ReaSurroundPan goes at its chain's end.
    project.hooks.track.build_surround_pan = [&](std::int32_t index, std::uint32_t seed) {
        const OutputTrack& track = written.tracks[static_cast<std::size_t>(index)];
        const auto& states = track_wiring.surround_pan_states;
        auto state = states.find(track.name);
        if (state == states.end()) state = states.find(track.session_name);
        if (state != states.end())
            fx_chains.track_fx_text[index] += write_reasurroundpan(state->second, seed);
    };
    project.hooks.write_tempo_and_markers = [&](std::FILE* file) {
        write_tempo_and_markers(
            file, TempoMarkersInput{session_tempo_map, project.session_settings.meters,
                                    settings.session_tempo, reading.memory_locations,
                                    settings.sample_rate, options.tempo_ramps != 0});
    };
    project.hooks.track.write_track_items = [&](std::FILE* file, std::int32_t index) {
        const OutputTrack& track = written.tracks[static_cast<std::size_t>(index)];
        const std::string name = written_track_name(track, static_cast<std::size_t>(index));
        const TrackWriteInput& track_input = written.inputs[static_cast<std::size_t>(index)];
        ItemTrackInput track_in;
        track_in.has_color_index = track_input.color_index.has_value();
        if (track_input.view) track_in.view_color_number = track_input.view->colour_number;
        write_track_items(file, track, name, track_in, items);
        write_midi_items(file, track, midi_track_values(midi.tables, name, track.session_name),
                         track_in, items);
        const TrackViewState* view = find_track_view(name, track.session_name);
        write_comment_item(file, view ? view->comment : std::string(), name, index,
                           options.comments_mode);
    };
    // After the output tracks: the video tracks, the send-return buses, the solo helper, the
    // Melodyne archive.
    video_input.view_of = [](const std::string& name) {
        return track_view_values(name, std::string());
    };
    video_input.items = &items;
    project.tracks_after =
        video_input.track_names.size() + bus_track_names(project.receives, written.tracks).size();
    for (const PluginParamRecord& record : clip_extras.ara_records)
        ara_transfer.record_plugins.push_back(ara_plugin_name(record));
    ara_transfer.records_on_no_clip = clip_extras.ara_records_on_no_clip;
    if (!options.no_ara) {
        // The clip stage's loaded archives, merged once for the takes and the closing blocks.
        ara_transfer.records = clip_extras.ara_archives;
        ara_transfer.archives = std::move(clip_extras.archives);
        ara_transfer.notes = clip_extras.ara_notes;
        prepare_ara_transfer();
    }
    project.hooks.write_after_tracks = [&](std::FILE* file) {
        const int video = write_video_tracks(file, video_input);
        BusTracksInput buses;
        buses.video_tracks = video;
        buses.tracks = written.tracks;
        buses.lane_sets = reading.lane_sets;
        buses.receives = &project.receives;
        buses.key_source_buses = wiring.key_source_buses;
        buses.look_of = [&](const std::string& bus) {
            BusTrackLook look;
            look.view = track_view_values(bus, std::string());
            look.color_index = palette_index_of(written.own_colours, bus, std::string());
            look.coding_color_index = coding_index_of(track_stage.coding, bus, std::string());
            look.group_masks = group_masks_of(track_stage.groups, bus, std::string());
            return look;
        };
        buses.write_fx_chain = project.hooks.track.write_fx_chain;
        buses.write_comment_item = [&](std::FILE* out, const std::string& bus, std::int32_t index) {
            const TrackViewState* view = find_track_view(bus, std::string());
            write_comment_item(out, view ? view->comment : std::string(), bus, index,
                               options.comments_mode);
        };
        write_bus_tracks(file, buses);
        write_solo_helper(file);
        std::fputs(ara_project_blocks().c_str(), file);
    };
    std::string written_path;
    if (write_project(project, written_path) != 0) return 1;

    ConsoleSummaryInput summary;
    summary.header = reading.header;
    summary.sample_rate = settings.session_sample_rate;
    summary.tempo = settings.session_tempo;
    summary.written_path = written_path;
    summary.session_folder =
        options.input_path.substr(0, options.input_path.find_last_of("/\\") + 1);
    summary.check = options.check != 0;
    summary.tracks_written = static_cast<int>(written.tracks.size());
    summary.return_tracks = writer_summary.return_tracks;
    summary.mixer_strips = assigned_lane_sets(reading.lane_sets);
    summary.name_scan_found = reading.name_scan_found;
    summary.track_list_size = static_cast<int>(reading.track_names.size());
    summary.clip_group_lines_not_applied.assign(gain.group_lines_not_applied.begin(),
                                                gain.group_lines_not_applied.end());
    summary.clip_group_line_clips = gain.group_line_clips;
    summary.clip_group_gain_clips = gain.group_gains_added;
    summary.meters = project.session_settings.meters;
    summary.track_color_coding = track_color_mode_name(read_track_color_mode(data, length));
    summary.theme = options.clip_color_theme;
    summary.dark_theme = reading.dark_theme;
    summary.no_track_colors = options.no_track_colors != 0;
    summary.tempo_ramps = options.tempo_ramps != 0;
    summary.recover_deleted = options.recover_deleted != 0;
    summary.unplaced = reading.layout.unplaced;
    summary.refused = reading.layout.refused;
    summary.lost_audio_clips = static_cast<int>(reading.layout.lost_audio_clips);
    summary.lost_midi_clips = static_cast<int>(reading.layout.lost_midi_clips);
    summary.clips_unaccounted =
        clip_balance(reading.layout, clip_counts, item_writer).unaccounted();
    summary.odd_strips = plugin_ties.odd_strips;
    summary.multi_mono = plugin_ties.multi_mono;
    summary.trims = plugin_ties.trims;
    summary.one_channel_tracks = plugin_ties.one_channel_tracks;
    summary.plugin_instances = static_cast<int>(reading.plugin_instances.size());
    summary.clip_stretch_lines = clip_extras_stretch_lines(clip_extras);
    summary.clip_loop_lines = clip_extras_loop_lines(clip_extras);
    summary.clip_take_lines = clip_extras_take_lines(clip_extras);
    summary.clip_rate_rows = clip_extras_rate_rows(clip_extras);
    summary.clips_stretched_read = clip_extras.stretched_clips;
    summary.clips_stretched_computed = clip_extras.rate_corrected_clips;
    summary.playlist_lines = playlist_summary_lines(playlists, options.keep_alt_takes != 0);
    summary.surround_folded = static_cast<int>(playlists.merged_multichannel_tracks.size());
    summary.midi_notes_written = midi_writer.notes_written;
    summary.keep_inaudible_midi = options.keep_inaudible_midi != 0;
    summary.truncate_midi_to_clip = options.truncate_midi_to_clip != 0;
    summary.no_sidechain = options.no_sidechain != 0;
    summary.keep_frozen = options.keep_frozen != 0;
    print_console_summary(summary);

    run_media_check(session.audio_files(), reading.audio_folder_hints,
                    item_writer.clips_outside_audio_folder);
    const RunFacts facts{written, plugin_ties,       playlists,   project,
                         reading, session.version(), written_path};
    const bool report_stage = result || options.report || progress;
    const bool usage = !options.usage_json_file.empty();
    const ReportInput report_in =
        report_stage || usage ? report_input(facts, options) : ReportInput{};
    const bool report_written = report_stage && stage_report(report_in, options, result);
    print_closing_block(
        closing_input(session, std::move(lengths), project.session_settings, options));
    if (usage) run_outcome.usage_body = build_usage_body(report_in, facts);
    // --check writes nothing, and so does not empty a --want-params file that exists either.
    if (!options.check)
        write_wanted_params_file(options.wanted_params_file, writer_summary.wanted_param_plugins);
    if (options.check) print_check_end(report_written);
    return 0;
}
