// The mute automation of MIDI tracks: inside a MIDI track's named block (0x2620), its 0x2611
// blocks hold the track's mute state and its lists:
//   0x2036  +13 u32 the mute state (0 or 1)
//   0x260a  a breakpoint list; a 0x2611 block with exactly one is a lane, a mute lane when every
//           value is 0 or 1
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "model/mix_records.h"

// Sets the map entry of every MIDI track that gave a state or a lane, under its second name (its
// name when that is empty); a later track of the same name overwrites.
void read_automation_lanes_3(const std::uint8_t* data, std::size_t length,
                             std::map<std::string, MidiMuteLane>& out);
