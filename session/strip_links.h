// Ids that tie names and strips together.
//   0x1014  +9 u32 length L (1..80), +13 the name; after it, '*' 0 0 0 marks each 8-byte id (the
//           last one counts)
//   0x210c  the link table: +9 u32 record count (at most 4096), records from +13:
//           r + 5 '*' 0 0 0, r + 9 u32 id low, r + 13 u32 id high, r + 17 u32 entry count n (at
//           most 4096), then n entries of 17 bytes: +5 '*' 0 0 0, +9 id low, +13 id high
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "model/mix_records.h"

// Name -> index of the lane set whose track block (0x261c) holds the name's id, for names other
// than that lane set's own.
void read_1014_named_ids(const std::uint8_t* data, std::size_t length,
                         std::span<const TrackLaneSet> lane_sets,
                         std::map<std::string, std::int32_t>& out);

// The link table: record id -> the ids linked from it (`out` emptied first). 1 when the table was
// read whole; a malformed table leaves `out` empty and gives 0.
int read_id_links_210c(const std::uint8_t* data, std::size_t length,
                       std::map<std::uint64_t, std::vector<std::uint64_t>>& out);
