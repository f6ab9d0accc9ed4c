// What the session walk yields: the session's regions and the regions placed on tracks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/rare_record.h"
#include "util/shared_text.h"

// One note of a MIDI region; the position is relative to its chunk's zero position.
struct MidiEvent {
    std::uint64_t position = 0;
    std::uint64_t length = 0;
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
};

// What only a MIDI region holds: its notes and the chunk they come from.
struct MidiRegionNotes {
    std::vector<MidiEvent> events;
    std::int32_t extra = -1;           // -1 unset; the chunk's number
    std::uint64_t chunk_position = 0;  // the chunk's first note as stored; 0 none
};

// A clip-dense session holds half a million of these at once: the two small integers stand
// together, and the MIDI part takes one pointer on the audio regions, which have none.
struct SessionRegion {
    std::uint32_t region_index = 0;  // from 0 in the order met
    std::uint16_t audio_file_index = 0;
    SharedText name;  // shared by the clips that play the region
    // Samples; MIDI regions carry tick positions with 10^12 added.
    std::int64_t start = 0;
    std::int64_t source_offset = 0;
    std::int64_t length = 0;
    SharedText audio_file_name;
    RareRecord<MidiRegionNotes> midi;  // unset on every audio region
};

// A region placed on a track: the region by its place in the layout's list (audio_regions for
// audio track regions, midi_regions for MIDI ones) and what the placement stores of its own. A
// session places the same region many times: the region's names and notes are held once. Lists
// of them are ordered by track index.
struct TrackRegion {
    SharedText track_name;  // held once per track
    // The placement's own start: samples, or ticks with 10^12 added; a MIDI placement's ticks
    // come without the 10^12.
    std::int64_t start = 0;
    std::uint32_t region = 0;
    std::uint16_t track_index = 0;
    std::uint8_t flag = 0;  // the placing playlist is marked
    // On a MIDI track region: the placement is in sample time, so start counts samples, not
    // ticks.
    bool start_in_samples = false;
};

// A placement the walk read but could not place: its region number names no region of the
// session (or a track number no track), as in a damaged session.
struct UnplacedPlacement {
    std::string track_name;  // empty when the track is unknown too
    std::uint32_t track_number = 0;
    std::uint32_t region_number = 0;
    bool midi = false;
};

struct SessionLayout {
    std::vector<SessionRegion> audio_regions;
    std::vector<SessionRegion> midi_regions;
    std::vector<TrackRegion> audio_track_regions;
    // Audio track regions the clip stage let go once it had made its clips from them (the
    // driver's run): counted with audio_track_regions among the placements read.
    std::size_t released_audio_track_regions = 0;
    std::vector<TrackRegion> midi_track_regions;
    // The fade placements of the audio tracks' playlists, placed like clips on the tracks that
    // hold clips: no clips, taken in as clips only under --keep-fade-clips.
    std::vector<TrackRegion> fade_track_regions;
    std::vector<UnplacedPlacement> unplaced;
    // Clip placements read but refused with the record that holds them: a playlist record that
    // fails its closing byte or whose header is damaged, or a placement the bytes end inside.
    std::vector<UnplacedPlacement> refused;
    // Clips on the session's playlists (audio and MIDI) that stand in no placement container the
    // walk read: the container is damaged or cut short, so nothing places them.
    std::size_t lost_audio_clips = 0;
    std::size_t lost_midi_clips = 0;
};
