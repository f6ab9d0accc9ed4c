// The one entry of the session fuzz target, shared with the test that replays its corpus: the
// input runs through decryption, the session-file layer, the block tree, the session walk, every
// content reader, the clip stage and the MIDI item stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/convert_options.h"
#include "convert/clips/clip_overlaps.h"
#include "convert/clips/clip_placements.h"
#include "convert/tracks/midi_items.h"
#include "convert/writer/project_header.h"
#include "model/session_layout.h"
#include "platform/ptformat.h"
#include "session/breakpoint_list.h"
#include "session/channel_entries.h"
#include "session/channel_strips.h"
#include "session/clip_gain_lists.h"
#include "session/clip_pitch.h"
#include "session/elck_chunks.h"
#include "session/groups.h"
#include "session/lane_groups.h"
#include "session/lane_records.h"
#include "session/loop_records.h"
#include "session/media_lists.h"
#include "session/memory_locations.h"
#include "session/midi_chunks.h"
#include "session/midi_mute_lanes.h"
#include "session/mixer_names.h"
#include "session/name_harvest.h"
#include "session/named_placements.h"
#include "session/plugin_display_names.h"
#include "session/plugin_params.h"
#include "session/plugin_settings.h"
#include "session/px_records.h"
#include "session/session_header.h"
#include "session/session_walk.h"
#include "session/strip_links.h"
#include "session/strip_rows.h"
#include "session/tempo_map.h"
#include "session/track_midi_values.h"
#include "session/track_names.h"
#include "session/track_routing.h"
#include "session/warp_markers.h"

// The mixer's readers: named blocks, lanes, sends, strips, routing, links and clip gain.
inline void run_mixer_readers(const std::uint8_t* data, std::size_t size) {
    std::vector<NamedBlockEntry> named;
    std::uint8_t assigned = 0;
    read_track_names(data, size, named, &assigned);
    std::vector<TrackMidiValues> midi;
    read_2036_per_track(data, size, named, midi);
    std::vector<std::string> list;
    for (const NamedBlockEntry& e : named) list.push_back(display_name(e));
    list.push_back("Audio 1");
    std::vector<TrackLaneSet> lanes;
    merge_lane_records(data, size, list, lanes);
    read_automation_lanes_2(data, size, lanes);
    std::map<std::string, MidiMuteLane> mute;
    read_automation_lanes_3(data, size, mute);
    std::vector<LaneGroup> groups;
    read_automation_lanes(data, size, groups);
    if (size > 0) {
        AutomationCurve curve;
        read_breakpoint_list(data, size, size / 2, curve);
        BreakpointGroups bp;
        read_breakpoints(data, size, 0, size, bp);
        find_child_end(data, size, 0, size);
    }
    std::vector<ChannelEntry> entries;
    read_channel_entries(data, size, entries);
    std::map<std::uint16_t, std::string> outputs;
    read_name_map_260e(data, size, outputs);
    read_first_261d_name(data, size);
    std::vector<std::string> display(groups.size(), "Bus");
    NameIndex index;
    build_name_index(data, size, groups, display, index);
    std::vector<StripRow> rows;
    read_strip_rows(data, size, rows);
    std::vector<std::string> names;
    read_251a_names(data, size, names);
    std::vector<TrackViewState> views;
    read_channel_strips_2015(data, size, named, views);
    std::vector<std::uint32_t> colours;
    reduce_102d_per_track(data, size, named, colours);
    std::vector<TrackColourIndex> track_colours;
    int off_palette = 0;
    read_2015_2104(data, size, track_colours, &off_palette);
    std::vector<MasterItem> items;
    read_master_items(data, size, groups, items);
    std::vector<SessionItemEntry> session_items(3);
    session_items[0].has_id = 1;
    std::vector<InstrumentRoute> routes;
    read_instrument_routing(data, size, named, session_items, routes);
    std::map<std::size_t, std::uint32_t> vca;
    map_2514_values(data, size, named, vca);
    std::vector<std::string> voices_off;
    collect_names_with_200b(data, size, named, voices_off);
    std::vector<std::pair<std::string, std::string>> hardware;
    read_track_item_names(data, size, named, hardware);
    std::map<std::uint64_t, std::vector<std::uint64_t>> links;
    read_id_links_210c(data, size, links);
    std::map<std::string, double> gains;
    read_gain_envelopes_a(data, size, gains);
    std::map<std::string, GainCurve> gain_lines;
    int mismatches = 0;
    read_gain_envelopes_b(data, size, gain_lines, &mismatches);
}

// Every content reader over decrypted bytes, then the clip stage over the walk's layout.
inline void run_content_readers(const std::uint8_t* data, std::size_t size,
                                const SessionLayout& layout) {
    SessionHeaderInfo header;
    read_session_header(data, size, header);
    read_project_settings(data, size);
    TempoMap tempo_map;
    read_tempo_map(data, size, tempo_map);
    std::vector<MeterChange> meters;
    read_meters(data, size, meters);
    std::vector<std::string> names, strings;
    harvest_head_strings(data, size, {"Audio 1", "a"}, names);
    harvest_session_strings(data, size, strings);
    std::vector<SessionGroup> groups;
    read_groups(data, size, groups);
    std::vector<MemoryLocation> locations;
    read_memory_locations(data, size, locations);
    AudioFolderHints hints;
    read_audio_files(data, size, hints);
    std::vector<std::string> videos;
    read_video_file_names(data, size, videos);
    std::vector<VideoPlacement> video_placements;
    std::vector<std::string> video_lists;
    read_video_placements(data, size, video_placements, video_lists);
    std::vector<NamedPlacement> named_placements;
    read_named_placements_1057(data, size, named_placements);
    std::vector<LoopRecord> loops;
    read_loop_records(data, size, loops);
    std::vector<PxRecord> px;
    read_px_records(data, size, px);
    ClipEffectsLists px_lists;
    read_4400_px_lists(data, size, px_lists);
    ClipPitches pitch;
    read_clip_pitch(data, size, pitch);
    std::map<std::string, std::vector<WarpPoint>> warps;
    read_warp_markers(data, size, warps);
    std::vector<SessionPluginInstance> instances;
    read_aax_settings_chunk(data, size, instances);
    for (const SessionPluginInstance& instance : instances) {
        std::map<std::string, double> named;
        read_elck_chunks(session_bytes(data, size), instance.block_pos, instance.settings_end,
                         named);
    }
    std::map<std::string, std::string> plugin_names;
    read_plugin_display_names(data, size, plugin_names);
    std::vector<PluginParamRecord> melodyne;
    std::map<std::string, std::size_t> melodyne_clips;
    read_plugin_params(data, size, melodyne, melodyne_clips);

    run_mixer_readers(data, size);

    ConvertOptions options;
    ClipModel model;
    ClipStageCounts counts;
    build_clip_placements(data, size, layout, 44100.0, tempo_map, 120.0, options, model, counts);
    resolve_clip_overlaps(model, counts);

    std::vector<MidiChunk> chunks;
    read_midi_chunks(data, size, chunks);
    std::vector<std::uint32_t> types = {0x2620, 0x261b, 0x2621, 0x2620};
    std::vector<MidiTrackProperties> properties;
    read_midi_track_properties(data, size, types, properties);
    MidiStageInput midi;
    midi.regions = &layout.midi_track_regions;
    midi.midi_regions = &layout.midi_regions;
    midi.chunks = &chunks;
    midi.tempo_map = &tempo_map;
    MidiTrackSet tracks;
    MidiStageCounts midi_counts_here;
    build_midi_items(midi, tracks, midi_counts_here);
}

inline void run_session_fuzz_input(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);

    // As a session file: decrypted, read by the layer, walked.
    {
        PTFFormat session;
        session.load_from_memory(input, 48000);
        SessionLayout layout;
        load_session_regions(session, layout);
    }

    // As decrypted bytes: encrypted first, so that the layer decrypts them back to the input and
    // every byte of the blocks is the fuzzer's own.
    std::vector<std::uint8_t> encrypted = input;
    if (ptf_xor_crypt(encrypted)) {
        PTFFormat session;
        session.load_from_memory(std::move(encrypted), 48000);
        SessionLayout layout;
        load_session_regions(session, layout);
    }

    // The walk and the readers straight on the bytes, whatever their cipher byte says.
    SessionLayout layout;
    walk_session_tree(input.data(), input.size(), {{"a.wav", 0}, {"", 1}}, layout);
    run_content_readers(input.data(), input.size(), layout);
}
