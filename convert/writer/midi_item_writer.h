// One REAPER MIDI item per MIDI item of a track, written after the track's audio items, and the
// item that carries a track's Pro Tools comment under --comments item.
//
// A MIDI item's source counts 960 ticks to the quarter note. Its events open with the track's
// MIDI fader, pan and program as Pro Tools sends them when playback starts, carry the track's
// real-time delay, velocity and transpose, and close with an all-notes-off.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/writer/item_writer.h"
#include "model/output_model.h"
#include "model/session_records.h"

// What the MIDI items read of their track besides the items.
struct MidiTrackValues {
    std::int32_t fader = -1;  // controller 7 value; -1 not stored
    std::int32_t pan = -1;    // controller 10 value; -1 not stored
    std::int32_t program = -1;
    MidiTrackProperties properties;
};

// What the MIDI item writer counts for the console summary. Reset with `reset_midi_writer`.
struct MidiWriterState {
    int notes_written = 0;           // note-ons, muted ones included
    int controller_events = 0;       // controllers, pressure and pitch bend from the sessions' data
    int sysex_written = 0;           // inside their clip
    int sysex_outside = 0;           // outside their clip, written muted
    int muted_notes = 0;             // note-ons written muted
    int muted_other_events = 0;      // other events written muted
    int fader_pan_tracks = 0;        // tracks that opened their items with controller 7 and 10
    int property_items = 0;          // items of tracks with delay or velocity on
    int property_tracks = 0;         // tracks with delay, velocity or transpose applied
    int unapplied_switch_items = 0;  // items of tracks with quantize or duration on
    int unapplied_switch_tracks = 0;
    int transposed_out_of_range = 0;  // keys clamped to 0..127, written muted
    int clamped_data = 0;             // data bytes of 128 or more written as 127
    int locked_items = 0;
    int empty_items = 0;  // MIDI items of no length, not written
    int comment_items = 0;
};
extern MidiWriterState midi_writer;
void reset_midi_writer();

// The base64 text of a system-exclusive message: F0, the payload, F7. A payload that already
// begins with F0 and ends with F7 is taken as it is.
std::string sysex_base64(const std::vector<std::uint8_t>& payload);

// The track's MIDI items of positive length.
void write_midi_items(std::FILE* file, const OutputTrack& track, const MidiTrackValues& values,
                      const ItemTrackInput& track_in, const ItemWriteContext& context);

// The item that carries the comment, under --comments item, for a track whose comment is not
// empty (repaired, and recorded by `track`, when it is not UTF-8). `index` is the track's place in
// the written list, from 0.
void write_comment_item(std::FILE* file, const std::string& comment, const std::string& track,
                        std::int32_t index, CommentsMode mode);
