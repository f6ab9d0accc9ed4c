// Channel entries (0x1021 blocks): a name tied to its output or input channel numbers and to the
// ids that the track and lane blocks use for it.
//   +9 u8 kind (0 inputs, 2 tracks and buses, 6 further outputs of a track)
//   +11 u32 length L (1..80)   +15 L name bytes
//   +L + 15 u32 channel count c (at most 16)   +L + 19 c u16 channel numbers
//   then, before 13 bytes from the end, '*' 0 0 0 followed by id A (u32) and id B (u32)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ChannelEntry {
    std::uint32_t id_a = 0;
    std::uint32_t id_b = 0;
    std::uint32_t kind = 0;
    std::string name;
    std::vector<std::int32_t> channels;  // at most 16
};

// Appends every entry in position order; an entry equal to an earlier one in ids, kind, name and
// channels is left out.
void read_channel_entries(const std::uint8_t* data, std::size_t length,
                          std::vector<ChannelEntry>& out);
