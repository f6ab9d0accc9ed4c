// MIDI chunks with their event streams and controller data, and the MIDI real-time properties of
// MIDI and instrument tracks.
//
// A MIDI chunk lies inside a 0x2000, 0x2002 or 0x2634 block (the nodes the session walk takes
// notes from) and opens with the text "MdNLB"; offsets from its 'M':
//   +11 u32   note count
//   +15 u40   position of the first note (ticks + 10^12), read when the count is not 0
// What follows the chunk, up to the next "MdNLB", belongs to it:
//   "MdES" at m: an event stream. "MdTEL" at m + 10, u32 length L (4 or more) at m + 17 covering
//     the u32 entry count n at m + 21 and the entries from m + 25, each
//       +0 u40 position, +8 the byte 1, +10 u32 D + 5, +15 u32 D, +19 D data bytes;
//     the last entry ends exactly at m + 21 + L.
//   "MdCDS" at m: controller data. "Mdss" at m + 11, u32 length L (above 1) at m + 17, u16 kind at
//     m + 21 (low byte 1, 2 or 4); at m + 11 + L + 10 "MdCD" again, with u32 12n + 4 at
//     m + 11 + L + 16 and the count n at m + 11 + L + 20; n entries of 12 bytes follow from
//     m + 11 + L + 24: +0 u40 position, +8 u32 value.
//
// The real-time properties stand in 0x2502 blocks (size above 152), the k-th MIDI or instrument
// track taking the k-th block. Offsets from the block's marker b; "shifted" offsets count from
// b + s - 59 when a 0x103d block of size s (59 or more) stands at +13, else from b:
//   +11 quantize on (1)        +54 swing percent
//   shifted +89 duration on    +133 delay on    +134 delay negative    +136 u32 delay (1/1000 tick)
//   shifted +148 velocity on   +149 scale %     +151 i8 offset
//   shifted +156 transpose on  +157 carried     +158 i8 octaves        +159 i8 semitones
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/session_records.h"

// Named-block content types of the tracks that carry MIDI.
inline constexpr std::uint32_t kMidiTrackBlock = 0x2620;
inline constexpr std::uint32_t kInstrumentTrackBlock = 0x2621;

// The kinds of controller events, by the low byte of their stored kind; a controller event
// carries its controller number in the high byte.
inline constexpr std::uint8_t kPitchBendEventKind = 1;
inline constexpr std::uint8_t kControllerEventKind = 2;
inline constexpr std::uint8_t kPressureEventKind = 4;

inline std::uint8_t controller_event_kind(const ControllerEvent& e) {
    return static_cast<std::uint8_t>(e.kind & 0xFF);
}
inline std::uint32_t controller_number(const ControllerEvent& e) {
    return static_cast<std::uint32_t>(e.kind >> 8) & 0x7F;
}

// Clears `out` and fills it with the session's MIDI chunks in the order stored.
void read_midi_chunks(const std::uint8_t* data, std::size_t length, std::vector<MidiChunk>& out);

// One row per named block (given by its content type), every row at its default; then the rows
// of MIDI and instrument tracks from their 0x2502 blocks. The last 0x2502 block is never read,
// and the first track without a block of its own ends the reading.
void read_midi_track_properties(const std::uint8_t* data, std::size_t length,
                                std::span<const std::uint32_t> named_block_types,
                                std::vector<MidiTrackProperties>& out);

// Any of the five switches is on.
bool any_property_on(const MidiTrackProperties& row);
