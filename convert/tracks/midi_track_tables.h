// Per track name, the MIDI fader, pan and program a MIDI or instrument track starts with and its
// stored MIDI real-time properties, which the MIDI item writer reads.
//
// Each value is stored under the track's strip-row (second) name, replacing an earlier one, and
// under its own name when no value is stored there yet.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "convert/writer/midi_item_writer.h"
#include "model/session_records.h"
#include "session/track_midi_values.h"
#include "session/track_names.h"

struct MidiTrackTables {
    std::map<std::string, TrackMidiValues> programs;        // volume stored (0 or more)
    std::map<std::string, MidiTrackProperties> properties;  // any switch on
};

// One triple and one properties row per named block, in the order of `named`.
MidiTrackTables midi_track_tables(const std::vector<NamedBlockEntry>& named,
                                  const std::vector<TrackMidiValues>& triples,
                                  const std::vector<MidiTrackProperties>& rows);

// What the writer reads for a track: found by `name`, else `other_name`.
MidiTrackValues midi_track_values(const MidiTrackTables& tables, const std::string& name,
                                  const std::string& other_name);
