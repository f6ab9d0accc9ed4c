// The region list (0x262c holding 0x262b entries) with the placement lists of its clip groups
// (0x2428 holding 0x1052 lists), and the list each group plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RegionListEntry {
    std::string name;
    std::uint8_t derived = 0;  // the byte after the name is not 0: an edited copy of a group
    std::uint8_t tail_flag = 0;
    std::uint32_t tail_value = 0;
    std::uint64_t start = 0;  // the first value less 10^12, when has_start
    std::uint64_t length = 0;
    std::uint64_t source_offset = 0;
    std::uint8_t has_start = 0;
    std::int32_t list_index = -1;  // into the placement lists; -1 until assigned
    std::uint8_t readable = 0;     // the name and the three values were read
};

// One placement of a clip group's list.
struct RegionPlacementItem {
    std::uint32_t id = 0;          // a region, or with group_flag a region-list entry
    std::uint32_t group_flag = 0;  // byte +27 is 1: a nested clip group
    std::uint32_t muted = 0;       // byte +9 is not 0
    std::uint32_t fade = 0;        // the trailing byte marks a fade placement
    std::uint32_t closed = 0;      // the trailing byte is 0
    std::uint64_t position = 0;    // 48 bits as stored
    std::uint8_t time_base = 0;    // byte +23 (see clip_lists.h)
};

struct RegionPlacementList {
    std::vector<RegionPlacementItem> entries;
    std::uint8_t kind = 0;  // the list's kind byte, kept whatever it is
};

// Reads the first fitting 0x262c block (one entry per 0x262b child, readable or not) and the
// 0x1052 lists inside the first fitting 0x2428 block, then gives each entry its list index:
// base entries (not derived, tail flag 0) in order when their count equals the list count,
// refined by extents when `lengths` (region id -> length) is given; derived entries take the
// index of the one base entry they were cut from. Both outputs are cleared first.
void read_region_list(const std::uint8_t* data, std::size_t length,
                      std::vector<RegionListEntry>& regions,
                      std::vector<RegionPlacementList>& lists,
                      const std::map<std::uint32_t, std::int64_t>* lengths = nullptr);
