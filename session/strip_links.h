// Ids that tie strips together.
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

// The link table: record id -> the ids linked from it (`out` emptied first). 1 when the table was
// read whole; a malformed table leaves `out` empty and gives 0.
int read_id_links_210c(const std::uint8_t* data, std::size_t length,
                       std::map<std::uint64_t, std::vector<std::uint64_t>>& out);
