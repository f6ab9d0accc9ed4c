// The converter's output model: one OutputTrack per written track with its clips, lanes and MIDI
// items. Built by the clip and track stages, written by the project writer. Times are seconds
// unless a field says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/curves.h"
#include "util/rare_list.h"
#include "util/rare_record.h"
#include "util/shared_text.h"

struct StretchMarker {
    double item_time = 0.0;
    double source_position = 0.0;
};

// One changed Clip Effects parameter.
struct ClipEffectValue {
    std::string name;
    double value = 0.0;
};

// What few clips set: a play rate, gain, pitch, pan, a sync point, a clip group, warp markers, a
// gain line, Clip Effects, Melodyne. Held out of line by the clips that set any of it.
struct ClipRareFields {
    double playrate = 1.0;
    double gain_db = 0.0;
    double pitch = 0.0;        // semitones
    double pan = 0.0;          // -1.0 / +1.0 inside a merged split stereo track
    double snap_offset = 0.0;  // the sync point inside the clip
    SharedText group_name;     // the clip group it came out of, else empty
    RareList<StretchMarker> stretch_markers;
    RareList<CurvePoint> gain_points;
    RareList<ClipEffectValue> clip_effects;
    std::int32_t ara_index = -1;  // the clip's Melodyne record; -1: none
    std::uint8_t stretched = 0;
    std::uint8_t has_gain = 0;
    std::uint8_t phase_invert = 0;
};

// One clip. Lists of clips are ordered by ascending start with an unstable sort. A session holds
// hundreds of thousands: the fields most clips leave at their defaults are read through `rare`
// (`rare.get()` gives the defaults when the clip holds none, `rare.edit()` makes them), and the
// small fields stand together at the end, where they pad least.
struct ClipRecord {
    // The track region's stored start: samples, or ticks + 10^12 of which the clip stages use
    // the low 32 bits; all bits set for a clip taken out of a clip group.
    std::uint64_t raw_start = 0;
    std::uint64_t source_offset_samples = 0;
    double start = 0.0;  // the sort key
    double length = 0.0;
    double source_offset = 0.0;
    double fade_in_length = 0.0;
    double fade_out_length = 0.0;
    // Held once per region and file, whatever the number of clips.
    SharedText name;
    SharedText file_name;  // the audio file's name without folders
    RareRecord<ClipRareFields> rare;
    std::uint32_t region_index = 0;  // the SessionRegion the clip plays
    std::int32_t colour_index = -2;  // -2: none
    std::uint8_t fade_in_shape = 0;  // 0, 1 or 5 (S-curve): REAPER's shapes
    std::uint8_t fade_out_shape = 0;
    std::uint8_t muted = 0;
    std::uint8_t whole_file = 0;
    std::uint8_t crossfaded = 0;
    std::uint8_t over_next = 0;
    std::uint8_t over_previous = 0;
    std::uint8_t locked = 0;
};
// A clip-dense session holds half a million clips at the clip stage's peak: each byte here is half
// a megabyte there. A clip that sets rare fields adds their record and its heap header (16 bytes
// at most), and still costs less than the 208 bytes a clip took with every field inline.
static_assert(sizeof(ClipRecord) <= 96, "ClipRecord grew: the clip-dense peak grows with it");
static_assert(sizeof(ClipRecord) + sizeof(ClipRareFields) + 16 <= 208,
              "a clip with rare fields would cost more than one with every field inline");

// An alternate playlist or a lane of a track.
struct ClipLane {
    std::string name;
    std::vector<ClipRecord> clips;
};

struct MidiItemEvent {
    std::uint64_t position = 0;  // ticks at 960 per quarter note from the item start
    std::uint32_t status = 0;
    std::uint32_t data1 = 0;
    std::uint32_t data2 = 0;
    std::int32_t order_key = 0;         // 0 note-off, 1 controllers and system exclusive, 2 note-on
    std::uint8_t outside = 0;           // the note lies outside its region
    std::vector<std::uint8_t> payload;  // system-exclusive data
};

// Events are ordered by (position, order_key) with a stable sort before the item is stored.
struct MidiItem {
    double position = 0.0;
    double length = 0.0;
    double start_offset = 0.0;
    std::string name;
    std::uint8_t muted = 0;
    std::vector<MidiItemEvent> events;
    std::int32_t colour_index = -2;  // -2: none
    std::uint8_t marked = 0;
    double content_length = 0.0;
};

// What a track the program writes beside the session's own tracks holds. Such a track is told by
// this, never by its name: a session's track may be named "Gtr [alt playlist]" itself.
enum class AlternateKind : std::uint8_t {
    none,           // a track of the session
    playlist,       // a playlist no track of the session names, written as a track of its own
    lane_playlist,  // ... named after its parent's lane set
    takes,          // the stacked clips under a track's playing ones ("[alt takes]")
};

// One written track; the driver keeps them by u16 track index.
struct OutputTrack {
    std::string name;          // the name written
    std::string session_name;  // the track's name in the session, empty when unknown
    // Further names the track stages fill.
    std::string playlist_name;
    std::string lane_name;
    std::string extra_name;
    std::vector<ClipLane> lanes;
    double pan = 0.0;  // -1.0 / +1.0 for the halves of a split stereo pair written as one track
    std::uint8_t u8_1 = 0;
    std::vector<ClipRecord> clips;
    std::vector<MidiItem> midi_items;
    std::uint8_t playlist_flag = 0;
    std::string parent_playlist_name;  // set for an unnamed playlist
    std::uint8_t inactive = 0;         // written as a mute
    std::uint8_t voice_off = 0;        // written as a mute
    std::uint8_t flag_3 = 0;
    AlternateKind alternate = AlternateKind::none;
};
