// Loop records: the 0x242b child of a placement that Clip > Loop leaves on a looped clip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LoopRecord {
    // Low half: the u32 at the placement's +11 (its region number); high half: the u32 at its
    // +16 (the low 32 bits of its stored position).
    std::uint64_t placement_key = 0;
    std::uint32_t loop_byte = 0;
    std::uint32_t loop_count = 0;
    std::uint64_t first_value = 0;
    std::uint64_t second_value = 0;
    std::uint16_t parent_type = 0;  // content type of the block 9 bytes before; 0 when none
    std::uint8_t known_shape = 0;   // the child's size is 59; else the four values stay 0
    friend bool operator==(const LoopRecord&, const LoopRecord&) = default;
};

// Every placement (high byte 0, size above 15, fits) at positions 9 to length - 14 that holds a
// 0x242b child (high byte 0, size 2 or more, inside it) gives one record for its first such
// child. Cleared first.
void read_loop_records(const std::uint8_t* data, std::size_t length, std::vector<LoopRecord>& out);
