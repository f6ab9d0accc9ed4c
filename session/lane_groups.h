// The lane groups: one per named audio or instrument track block (0x261b, 0x2621), with the
// track's output name, its sends and the channel its block ties to.
//
// In a track block T, each lane (0x260d) that opens with a fader block at +9 is used; the first
// is the track's own lane, the later ones with a named output block are its sends:
//   0x260d  +9 fader block (0x1029: +9 post-fader flag, +10 i32 level in tenths of a dB)
//           0x260e output name block: from its +11 on, the first u32-length text of 1..80 bytes
//           0x260a lists: volume, mute, pan (left), the right pan
// Outside its lanes T names its channel: u32 length L, the name, four zero bytes, '*' 0 0 0,
// id A (u32), id B (u32), a zero byte, the kind, two zero bytes; a channel entry with the same
// ids and kind confirms it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/mix_records.h"

// Appends one group per track block whose first name block (0x2619) is readable; an empty
// stored name gives an empty name and the group stays.
void read_automation_lanes(const std::uint8_t* data, std::size_t length,
                           std::vector<LaneGroup>& out);
