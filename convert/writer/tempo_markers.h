// The project's tempo envelope (<TEMPOENVEX>) and its MARKER lines for memory locations, written
// between the project settings and the master track, with the counts the console summary reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "convert/writer/notes_beats.h"
#include "session/memory_locations.h"
#include "session/tempo_map.h"

// Everything the writer reads; nothing process-wide.
struct TempoMarkersInput {
    const TempoMap& tempo_map;  // as installed; one entry or none means a constant tempo
    std::span<const MeterChange> meters;
    double project_tempo = 120.0;  // quarter notes per minute, used where the map is empty
    std::span<const MemoryLocation> locations;
    double sample_rate = 48000.0;  // for locations stored in samples
    bool tempo_ramps = false;      // --tempo-ramps
};

// A location named in the console summary, with the value that put it there.
struct NamedLocation {
    std::string name;
    std::int32_t value = 0;  // the colour number, or the stored kind byte
};

// What the writer leaves for the console summary; reset at the start of every conversion.
struct TempoMarkerCounts {
    int tempo_changes = 0;        // the map's entries when it has more than one, else 0
    int signature_changes = 0;    // written as time signature points
    int meter_repeats = 0;        // meter entries after the first that change no bar line
    int ramps_written = 0;        // --tempo-ramps: runs of steps written as a ramp
    int ramps_kept_as_steps = 0;  // --tempo-ramps: runs whose ramp would not fit
    int locations_written = 0;    // MARKER numbers given: markers and regions
    int regions = 0;
    int kind_none_skipped = 0;  // time property None: nothing to place
    int colored = 0;
    std::vector<NamedLocation> unknown_colors;   // colour numbers without a known colour
    std::vector<NamedLocation> unknown_kinds;    // written, though their kind byte is unknown
    std::vector<std::string> without_positions;  // not written: no place on the timeline
    std::vector<std::string> unreadable;         // not written: the record could not be read

    void reset() { *this = TempoMarkerCounts{}; }
};
extern TempoMarkerCounts tempo_marker_counts;

// Writes the tempo envelope (when the map has more than one entry or the meter changes) and one
// MARKER line per memory location (two for a region), and counts them in tempo_marker_counts.
void write_tempo_and_markers(std::FILE* file, const TempoMarkersInput& input);

// The envelope's points in time order, ramps and signatures placed; empty when no envelope is
// written. Counts tempo and signature changes and ramps.
std::vector<TempoPoint> build_tempo_points(const TempoMarkersInput& input,
                                           TempoMarkerCounts& counts);

// --tempo-ramps: runs of evenly spaced steps moving one way, as drawn ramps are stored, become
// linear ramps that play the same beats; a run whose ramp would not fit stays as steps.
std::vector<TempoPoint> fit_tempo_ramps(std::span<const TempoPoint> steps,
                                        TempoMarkerCounts& counts);

// The REAPER colour of a location's marker, 0 for none. Sets `unknown_number` when the location
// names a colour number whose colour this build does not know.
std::uint32_t location_color(const MemoryLocation& location, bool& unknown_number);

// The console summary's tempo-map paragraph (with its --tempo-ramps lines) for these counts.
std::string tempo_map_summary(const TempoMarkerCounts& counts, bool tempo_ramps);

// The note on the meter changes written as time signature points: `written` of them (none: no
// note), each named with the bar it starts, as far as `meters` gives them.
std::string meter_change_summary(std::span<const MeterChange> meters, int written);

// The console summary's marker paragraphs for these counts.
std::string marker_summary(const TempoMarkerCounts& counts);

// The meter entries that repeat the meter in force on its bar lines, `repeats` of them: the
// first 8 named with their bars.
std::string meter_repeat_summary(std::span<const MeterChange> meters, int repeats);
