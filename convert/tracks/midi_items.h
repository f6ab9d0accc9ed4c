// Stage "tracks", first step: the MIDI regions the session walk placed on MIDI tracks become
// MIDI items on output tracks of their own, with every note as a note-on and note-off at 960
// ticks to the quarter note, the controller, pressure, pitch-bend and SysEx events of the
// region's chunk, overlaps between neighbouring regions resolved as Pro Tools plays them, and
// notes outside the region carried but muted. Nothing here prints: every change and every loss
// is counted in MidiStageCounts for the console summary.
//
// MIDI tracks are numbered apart from audio tracks (both from 0), so they are kept apart here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/output_model.h"
#include "model/session_layout.h"
#include "model/session_records.h"
#include "session/clip_lists.h"
#include "session/named_placements.h"
#include "session/tempo_map.h"

// A MIDI region left out, with its track.
struct MidiRegionName {
    std::string track;
    std::string clip;
};

struct MidiStageCounts {
    int truncated_clips = 0;       // cut where a later clip on the same track takes over
    int head_cut_clips = 0;        // start later, where the clip drawn over them ends
    int sample_time_clips = 0;     // placed in samples
    int sample_time_overlaps = 0;  // ... of them overlapping another clip, left whole
    int notes_past_edge = 0;       // notes running past their clip's end
    int too_short_notes = 0;       // notes too short for 960 ticks, kept muted one tick long
    int outside_events_kept = 0;   // events outside their clip, --keep-inaudible-midi
    int unmatched_chunks = 0;      // regions whose controller data did not match their notes
    int events_before_chunk = 0;   // controller events stored before their chunk's start
    int events_over_cap = 0;       // chunk events left out past the run's event limit
    int unpaired_clips = 0;        // clips no timebase record (list name, region id) names
    int timebase_records = 0;      // the session's records that store a time base
    std::uint8_t records_time_base = 0xFF;        // the one they all store; 0xFF when they differ
    std::map<std::string, int> midi_clip_groups;  // MIDI list name -> clip groups it places
    std::vector<MidiRegionName> empty_regions;    // no notes and no chunk events
    std::vector<MidiRegionName> capped_regions;   // their chunk events left out at the limit
    void reset() { *this = MidiStageCounts{}; }
};
extern MidiStageCounts midi_counts;

// The MIDI output tracks, by the walk's MIDI track index.
struct MidiTrackSet {
    std::map<std::uint16_t, OutputTrack> tracks;
    std::vector<std::uint16_t> order;        // ascending
    std::set<std::uint16_t> sample_time;     // tracks holding sample-time MIDI
    std::set<std::string> midi_track_names;  // second name when set, else name
};

struct MidiStageInput {
    const std::vector<TrackRegion>* regions = nullptr;         // the walk's MIDI track regions
    const std::vector<SessionRegion>* midi_regions = nullptr;  // the regions they place
    const std::vector<MidiChunk>* chunks = nullptr;
    const std::vector<PlacementList>* placement_lists = nullptr;
    const std::vector<NamedPlacement>* named_placements = nullptr;
    double sample_rate = 48000.0;
    const TempoMap* tempo_map = nullptr;  // null: a constant tempo
    double tempo = 120.0;
    bool keep_inaudible = false;
    bool truncate_to_clip = false;
    // The run's limit on chunk events made into item events; a chunk placed many times is
    // converted once per placement.
    std::size_t event_limit = 4'000'000;
};

// Builds the MIDI items of every MIDI track region. `out` is replaced.
void build_midi_items(const MidiStageInput& in, MidiTrackSet& out,
                      MidiStageCounts& counts = midi_counts);

// Gives each MIDI track the session name it matches (`settle_midi_track_names`, names in `taken`
// being the session names of other written tracks), then fills the set of MIDI track names.
void settle_midi_tracks(MidiTrackSet& set, const std::vector<std::string>& session_names,
                        const std::set<std::string>& taken);

// The session's chunks by their first note's stored position (40 bits) and note count; -1 where
// two chunks agree.
struct ChunkLookup {
    const std::vector<MidiChunk>* chunks = nullptr;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::int32_t> by_first_note;
};
ChunkLookup chunk_lookup(const std::vector<MidiChunk>& chunks);

// The chunk that holds a region's notes: the one its number names when that chunk's first note
// and note count agree with the region's, else the only chunk that agrees; -1 when none does.
// The walk and the chunk reader number chunks over different blocks, so the number alone cannot
// be trusted.
std::int32_t matching_chunk(const SessionRegion& region, const ChunkLookup& lookup);

