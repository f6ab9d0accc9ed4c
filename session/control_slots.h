// Control slots: the per-region values stored in the gap of a region entry's three-integer
// header (0x262a or 0x100b lists of 0x2629 or 0x1008 entries), read as the regions' sync points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// One value per region entry of every fitting 0x262a or 0x100b block, in order (with `names`,
// the entry's name too, viewing the bytes, which outlive every reader of the list). An entry
// whose name or value cannot be read gives 0 (and an empty name). Both outputs are cleared first.
void read_control_slots(const std::uint8_t* data, std::size_t length,
                        std::vector<std::uint64_t>& values, std::vector<std::string_view>* names);
