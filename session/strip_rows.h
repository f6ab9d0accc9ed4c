// The strip rows of the mix window: one 0x251a child of the first 0x2519 block per mixer strip,
// in the order the mix window shows them (real sessions keep the list twice).
//   +9 u16 kind (0 audio, 1 MIDI, 11 folder)   +11 u32 length L (1..200)   +15 L name bytes
//   +L + 15 u8 (0 mono, 1 stereo)   +L + 21 '*' 0 0 0 and the strip's u64 id
//   +L + 68 u8 flag, in rows of size L + 72 only
// Rows of Pro Tools 12 sessions have a size of L + 61 or L + 62; the flag would lie past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct StripRow {
    std::string name;
    std::uint32_t kind = 0;
    std::uint32_t byte_after_name = 0;
    std::uint32_t flag = 0;
    std::uint64_t id = 0;
};

// Fills `out` (cleared first). A child that does not fit ends the reading, keeping the rows so
// far; a row of any other size empties the list; a row repeating the first row's name and kind
// ends the reading.
void read_strip_rows(const std::uint8_t* data, std::size_t length, std::vector<StripRow>& out);

// The names of the rows laid out with the length at +9 and the name at +13 (size L + 72), a
// layout that ordinary rows never match. Appends in position order.
void read_251a_names(const std::uint8_t* data, std::size_t length, std::vector<std::string>& out);
