// Per-track facts the track stages use besides the lanes: further outputs of multi-output
// sources, the instrument a MIDI track plays, a VCA master's value, tracks whose voice is off
// and the hardware inserts' items.
//   0x1021 kind 6: a further output pair of a track (channel entries)
//   0x2036, the first inside a named block: +21 i32 item number (MIDI tracks); +43 u32 1 and
//          +64 u32 42 ('*' 0 0 0) before the 8-byte routing id at +68
//   0x2514 inside a 0x261f (VCA) block: +9 u32 its value
//   0x261c holding a 0x200b block preceded by two zero bytes: the track's voice is off
//   0x2612 and the first 0x260e after it: +38 u32 length, +42 the item's name
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/mix_records.h"
#include "session/session_items.h"
#include "session/track_names.h"

// One item per kind-6 channel entry whose first channel is 1 or more, with the lane groups that
// send into it and take it.
void read_master_items(const std::uint8_t* data, std::size_t length,
                       std::span<const LaneGroup> groups, std::vector<MasterItem>& out);

struct InstrumentRoute {
    std::string track;   // the MIDI track
    std::string target;  // the item or instrument track it plays
};

// The instrument each MIDI track plays; `out` is cleared first.
void read_instrument_routing(const std::uint8_t* data, std::size_t length,
                             const std::vector<NamedBlockEntry>& named,
                             std::span<const SessionItemEntry> items,
                             std::vector<InstrumentRoute>& out);

// Named-block index -> the value of the 0x2514 block inside that VCA block.
void map_2514_values(const std::uint8_t* data, std::size_t length,
                     const std::vector<NamedBlockEntry>& named,
                     std::map<std::size_t, std::uint32_t>& out);

// The second name, then the name, of the named block around each 0x261c block whose voice is off.
void collect_names_with_200b(const std::uint8_t* data, std::size_t length,
                             const std::vector<NamedBlockEntry>& named,
                             std::vector<std::string>& out);

// {item name ("<unnamed>" when unreadable), track name (empty when none)} per 0x2612 block.
void read_track_item_names(const std::uint8_t* data, std::size_t length,
                           const std::vector<NamedBlockEntry>& named,
                           std::vector<std::pair<std::string, std::string>>& out);
