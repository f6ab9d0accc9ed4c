#include "convert/reading/stage_reading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "app/output.h"
#include "convert/reading/diagnostic_listings.h"
#include "convert/reading/session_damage.h"
#include "convert/run_state.h"
#include "convert/writer/colors.h"
#include "platform/ptformat.h"
#include "plugins/plugin_loading.h"
#include "plugins/state_conversion.h"
#include "session/lane_groups.h"
#include "session/lane_records.h"
#include "session/midi_chunks.h"
#include "session/midi_mute_lanes.h"
#include "session/mixer_blocks.h"
#include "session/name_harvest.h"
#include "session/plugin_display_names.h"
#include "session/plugin_settings.h"
#include "session/session_header.h"
#include "session/session_walk.h"
#include "session/track_names.h"
#include "util/bytes.h"
#include "util/version.h"

namespace {

// A tempo event at tick 0: its 40-bit position (10^12 stored) at +14, the BPM as an f64 at +24
// and the beat length the BPM counts as a u64 at +32.
constexpr std::uint8_t tempo_event_pattern[24] = {0x14, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
                                                  0xa5, 0xd4, 0xe8, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr std::size_t tempo_event_bpm = 24;
constexpr std::size_t tempo_event_beat_length = 32;
constexpr std::size_t tempo_event_room = 32;

double tempo_after_pattern(const std::uint8_t* data, std::size_t length, std::size_t pattern_size) {
    if (length < tempo_event_room) return 0.0;
    SessionBytes bytes = session_bytes(data, length);
    // Matches may start up to tempo_event_room bytes before the end.
    const SessionBytes searched = bytes.first(length - tempo_event_room + pattern_size);
    const std::string_view pattern(reinterpret_cast<const char*>(tempo_event_pattern),
                                   pattern_size);
    for (std::size_t pos = find_next(searched, pattern, 0); pos < searched.size();
         pos = find_next(searched, pattern, pos + 1)) {
        double bpm;
        std::uint64_t raw = read_u64le_checked(bytes, pos + tempo_event_bpm);
        std::memcpy(&bpm, &raw, sizeof bpm);
        // Pro Tools accepts tempos up to 999 BPM.
        if (!(bpm > 20.0 && bpm <= kMaxStoredBpm)) continue;
        return quarter_note_bpm(bpm, read_u64le_checked(bytes, pos + tempo_event_beat_length));
    }
    return 0.0;
}

void gather_names(const std::vector<TrackRegion>& regions, std::set<std::string>& seen,
                  std::vector<std::string>& out) {
    for (const TrackRegion& r : regions) {
        // A track's regions stand together: its name is looked up once.
        if (!out.empty() && out.back() == r.track_name.str()) continue;
        if (seen.insert(r.track_name).second) out.push_back(r.track_name);
    }
}

}  // namespace

double find_tempo_event(const std::uint8_t* data, std::size_t length) {
    double bpm = tempo_after_pattern(data, length, sizeof tempo_event_pattern);
    if (bpm <= 0.0) bpm = tempo_after_pattern(data, length, 20);
    return bpm;
}

bool take_strip_row_track_list(std::span<const std::string> named,
                               std::vector<std::string>& scanned) {
    // No named blocks would empty the track list.
    if (named.empty()) return false;
    std::set<std::string> seen;
    for (const std::string& name : named)
        if (name.empty() || !seen.insert(name).second) return false;
    if (std::equal(named.begin(), named.end(), scanned.begin(), scanned.end())) return false;
    scanned.assign(named.begin(), named.end());
    return true;
}

std::string lane_dump_text(std::span<const TrackLaneSet> lane_sets) {
    std::string out;
    for (const TrackLaneSet& l : lane_sets) {
        out +=
            format_text("LANES %s | fader %.1f dB | vol %d pt init %.0f | mute %d pt | pan %d pt\n",
                        l.name.c_str(), l.fader_db, static_cast<int>(l.volume.points.size()),
                        l.volume.initial_value, static_cast<int>(l.mute.points.size()),
                        static_cast<int>(l.pan.points.size()));
        for (const CurvePoint& p : l.volume.points)
            out += format_text("LANES   vol %14.0f %8.0f\n", p.time, p.value);
    }
    return out;
}

void read_session(const PTFFormat& session, const ConvertOptions& options, SessionReading& out) {
    const std::uint8_t* data = session.bytes().data();
    const std::size_t length = session.bytes().size();

    load_session_regions(session, out.layout);
    read_audio_files(data, length, out.audio_folder_hints);
    read_session_header(data, length, out.header);
    const SessionDamage damage = test_session_damage(session_bytes(data, length), options.check);
    if (options.check) say("damage %s\n", damage_word(damage.kind));
    say("%s", incomplete_warning(damage).c_str());
    settings.pt_version_text = out.header.version;
    session_text.saved_by = out.header.version;
    out.dark_theme = dark_theme_on(options.clip_color_theme, out.header.version);

    out.tempo = options.tempo > 0.0 ? options.tempo : find_tempo_event(data, length);
    if (out.tempo <= 0.0) out.tempo = 120.0;
    read_tempo_map(data, length, out.tempo_map);
    if (out.tempo_map.entries.size() == 1) out.tempo_map.entries.clear();
    index_tempo_map(out.tempo_map);
    session_tempo_map = out.tempo_map;
    settings.session_tempo = out.tempo;
    settings.sample_rate = static_cast<double>(settings.session_sample_rate);

    std::set<std::string> seen;
    std::vector<std::string> known;
    gather_names(out.layout.audio_track_regions, seen, known);
    gather_names(out.layout.midi_track_regions, seen, known);
    harvest_head_strings(data, length, known, out.track_names);
    std::vector<NamedBlockEntry> named;
    read_track_names(data, length, named);
    std::vector<std::string> named_list;
    for (const NamedBlockEntry& e : named) named_list.push_back(display_name(e));
    const int scanned = static_cast<int>(out.track_names.size());
    if (take_strip_row_track_list(named_list, out.track_names)) out.name_scan_found = scanned;

    // The controller listing comes before --list and the damage warning; the MIDI stage takes
    // the chunks it read.
    if (options.dump_controllers) {
        std::vector<MidiChunk>& chunks = out.midi_chunks.emplace();
        read_midi_chunks(data, length, chunks);
        say("%s", controller_dump_text(chunks).c_str());
    }

    harvest_session_strings(data, length, out.session_strings);
    if (options.list) {
        SessionListInput list;
        list.tempo = out.tempo;
        list.sample_rate = settings.session_sample_rate;
        list.track_table = out.track_names;
        list.buses = out.session_strings;
        list.layout = &out.layout;
        say("%s", session_list_text(list).c_str());
    }
    say("%s", damaged_warning(damage).c_str());

    merge_lane_records(data, length, out.track_names, out.lane_sets);
    read_automation_lanes_2(data, length, out.lane_sets);
    read_automation_lanes_3(data, length, out.midi_mute_lanes);
    if (std::getenv("PTX_DUMP_LANES")) std::fputs(lane_dump_text(out.lane_sets).c_str(), stderr);
    read_automation_lanes(data, length, out.lane_groups);

    read_groups(data, length, out.groups);
    read_memory_locations(data, length, out.memory_locations);

    read_aax_settings_chunk(data, length, out.plugin_instances);
    read_plugin_display_names(data, length, out.stored_plugin_names);

    // The folder the session file lies in, wherever --audio-dir points. A key moves to its CLAP
    // build when its first instance's settings convert there (probing: no counter moves).
    const SessionBytes bytes = session_bytes(data, length);
    load_plugin_knowledge(options, folder_of(options.input_path),
                          SessionPlugins{&out.plugin_instances, &out.stored_plugin_names},
                          [bytes](const SessionPluginInstance& instance, const PluginRuleRow& row) {
                              return convert_plugin_state(instance, row, bytes, false, false).bytes;
                          });
}
