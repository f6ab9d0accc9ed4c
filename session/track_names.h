// Named track blocks: every track, folder, VCA and aux block of the mixer with its name, and the
// strip-row name that the mix window shows for it.
//
// A named block is a 0x261b, 0x261d, 0x261f, 0x2620, 0x2621 or 0x2623 block (a 0x261b block
// strictly inside a 0x261d block belongs to that block and is not one of its own). Its name is
// that of the first 0x2619 block strictly inside it:
//   0x2619  +9 u32 length L (1..80)   +13 L name bytes
// The strip rows (0x251a blocks) carry the names the mix window shows:
//   0x251a  +11 u32 length L (1..80)  +15 L name bytes
// Real sessions keep the strip-row list twice, so its count is once or twice the number of named
// blocks when the rows belong to them in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct NamedBlockEntry {
    std::uint64_t block_start = 0;
    std::uint64_t block_end = 0;  // start + 7 + size
    std::uint32_t content_type = 0;
    std::string name;         // empty when the block's first 0x2619 name is empty or unreadable
    std::string second_name;  // the strip-row name, when the rows could be assigned
    // 0 when the first 0x2627 block from the block's start has a zero byte right before it.
    std::uint8_t flag = 1;
};

// Fills `out` (cleared first) with the named blocks in position order. `names_assigned`, when
// given, is set to 1 when the strip-row names became the second names, else 0.
void read_track_names(const std::uint8_t* data, std::size_t length,
                      std::vector<NamedBlockEntry>& out, std::uint8_t* names_assigned = nullptr);

// The name a named block goes by: its second name, or its name when that is empty.
const std::string& display_name(const NamedBlockEntry& entry);
