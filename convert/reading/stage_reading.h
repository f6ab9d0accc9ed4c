// Stage "reading": the session's content read in a fixed order once the file has loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "model/mix_records.h"
#include "model/plugin_instance.h"
#include "model/session_layout.h"
#include "model/session_records.h"
#include "session/groups.h"
#include "session/media_lists.h"
#include "session/memory_locations.h"
#include "session/scan.h"
#include "session/tempo_map.h"

class PTFFormat;

// What stage "reading" leaves for the later stages of one conversion.
struct SessionReading {
    SessionLayout layout;
    SessionHeaderInfo header;
    bool dark_theme = true;
    double tempo = 120.0;  // the project tempo in quarter notes per minute
    TempoMap tempo_map;    // empty when the session keeps a constant tempo
    AudioFolderHints audio_folder_hints;
    std::vector<SessionGroup> groups;
    std::vector<MemoryLocation> memory_locations;
    std::vector<std::string> track_names;
    // The names the name scan found when the strip rows gave the track list instead; -1 when
    // they did not.
    int name_scan_found = -1;
    std::vector<std::string> session_strings;
    std::vector<SessionPluginInstance> plugin_instances;     // in block order
    std::map<std::string, std::string> stored_plugin_names;  // AAX id to the name Pro Tools shows
    std::vector<TrackLaneSet> lane_sets;                     // one per name of `track_names`
    std::vector<LaneGroup> lane_groups;
    std::map<std::string, MidiMuteLane> midi_mute_lanes;
    // The MIDI chunks when --dump-cc listed them here; else the MIDI stage reads them itself.
    std::optional<std::vector<MidiChunk>> midi_chunks;
};

// The tempo of the session's first tempo event in quarter notes per minute, 0 when it has none.
double find_tempo_event(const std::uint8_t* data, std::size_t length);

// The track list from the named blocks' names (second names first) when there are any, every
// one is non-empty, none repeats and the list differs from `scanned`; else `scanned` stays.
bool take_strip_row_track_list(std::span<const std::string> named,
                               std::vector<std::string>& scanned);

// The lanes dump: one line per lane set and one per volume point, to standard error.
std::string lane_dump_text(std::span<const TrackLaneSet> lane_sets);

// Reads the loaded session in the driver's fixed order and installs the process-wide values
// (tempo, tempo map, sample rate, version text).
void read_session(const PTFFormat& session, const ConvertOptions& options, SessionReading& out);
