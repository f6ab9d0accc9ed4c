// Names of outputs, buses and the master fader.
//   0x260e (an output or send destination)  +9 u16 key (0xFFFF: none), then, from +11 on, the
//          first u32-length printable text of 1..80 bytes inside the block
//   0x261d (a master fader's block) holds a 0x2619 name: +9 u32 length, +13 the name
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "model/mix_records.h"

// key -> name of every 0x260e block with a key and a name; a later block overwrites an earlier.
void read_name_map_260e(const std::uint8_t* data, std::size_t length,
                        std::map<std::uint16_t, std::string>& out);

// The name of the first 0x261d block (fitting, more than 14 bytes) that holds a 0x2619 block
// with a name of 1..64 name bytes; empty when none does.
std::string read_first_261d_name(const std::uint8_t* data, std::size_t length);

// The output and bus names: kind-2 channel entries whose name occurs once map that name to their
// channel numbers; each kind-2 lane group with a channel name maps that name, and the channels
// of the kind-2 entry with its ids, to its display name (`display_names[i]` for group i when
// not empty, else the group's own name).
void build_name_index(const std::uint8_t* data, std::size_t length,
                      std::span<const LaneGroup> groups, std::span<const std::string> display_names,
                      NameIndex& out);
