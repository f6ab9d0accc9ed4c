// Builds placement blocks, clip lists, fade ranges and region-list entries for tests, laid out
// as Pro Tools 12 stores them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"

namespace test_placements {

using test_blocks::kOrigin;
using test_blocks::le;
using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

struct TestPlacement {
    std::uint32_t id = 0;
    std::uint64_t position = 0;  // as stored (ticks + 10^12 for a tick placement)
    std::uint8_t time_base = 0;  // 0x40 ticks, 0x00 samples
    std::uint8_t byte_24 = 3;    // 1 on fade placements, 3 on clips
    std::int16_t value = -2;     // colour number
    std::uint8_t group = 0;      // byte +27
    std::uint8_t first = 0;      // byte +9: muted
    std::uint8_t second = 0;     // byte +10
    std::uint8_t byte_39 = 0;
    std::uint8_t trailing = 0;  // the byte after the placement inside its child
};

inline TestPlacement clip_at(std::uint32_t id, std::uint64_t position) {
    TestPlacement p;
    p.id = id;
    p.position = position;
    return p;
}

inline TestPlacement fade_at(std::uint32_t range, std::uint64_t position) {
    TestPlacement p;
    p.id = range;
    p.position = position;
    p.byte_24 = 1;
    p.trailing = 1;
    return p;
}

inline TestPlacement group_at(std::uint32_t group, std::uint64_t position) {
    TestPlacement p;
    p.id = group;
    p.position = position;
    p.group = 1;
    return p;
}

inline TestPlacement ticks(TestPlacement p) {
    p.time_base = 0x40;
    return p;
}

// A 0x104f block of size 37: the fields from +9 to +43.
inline std::string placement_block(const TestPlacement& p) {
    std::string content;
    content.push_back(static_cast<char>(p.first));
    content.push_back(static_cast<char>(p.second));
    content += u32le(p.id);
    content.push_back('\0');
    content += le(p.position, 6);
    content.push_back('\0');
    content.push_back(static_cast<char>(p.time_base));
    content.push_back(static_cast<char>(p.byte_24));
    content += le(static_cast<std::uint16_t>(p.value), 2);
    content.push_back(static_cast<char>(p.group));
    content += zeros(3) + std::string(8, '\xff');
    content.push_back(static_cast<char>(p.byte_39));
    content += zeros(4);
    return z_block(0x104f, content, 0x0a);
}

// The child that carries a placement at its +9: the placement, the trailing byte and one more.
inline std::string list_child(const TestPlacement& p, std::uint16_t child_type = 0x1050) {
    std::string content = placement_block(p);
    content.push_back(static_cast<char>(p.trailing));
    content.push_back('\x01');
    return z_block(child_type, content, 0x02);
}

// A named list: u32 name length, name, u32 child count, the children, then (kind >= 0) the kind
// byte and a zero.
inline std::string clip_list(const std::string& name, const std::vector<TestPlacement>& entries,
                             int kind = 1, std::uint16_t list_type = 0x1052,
                             std::uint16_t child_type = 0x1050) {
    std::string content = u32le(static_cast<std::uint32_t>(name.size())) + name +
                          u32le(static_cast<std::uint32_t>(entries.size()));
    for (const TestPlacement& entry : entries) content += list_child(entry, child_type);
    if (kind >= 0) {
        content.push_back(static_cast<char>(kind));
        content.push_back('\0');
    }
    return z_block(list_type, content, 0x03);
}

// A 0x262f fade range with 4-byte start and end.
inline std::string fade_range(std::uint8_t kind, std::uint32_t start, std::uint32_t end,
                              std::uint8_t shape = 2, bool s_curve = false) {
    std::string tail = zeros(13);
    if (s_curve) {
        tail[4] = 1;  // kind + 6
        tail[7] = 1;  // kind + 9
    }
    return z_block(0x262f,
                   zeros(5) + "\x44" + zeros(2) + u32le(start) + u32le(end) +
                       static_cast<char>(kind) + static_cast<char>(shape) + tail,
                   0x02);
}

// A 0x262b region-list entry: the 0x2628 name block with the derived byte and three 4-byte
// values (first, length, source offset), then the tail bytes.
inline std::string region_entry(const std::string& name, std::uint64_t first, std::uint64_t length,
                                std::uint64_t source_offset, bool derived = false,
                                std::uint8_t tail_flag = 0, std::uint8_t tail_value = 0) {
    std::string header;
    header.push_back(derived ? '\x01' : '\0');
    header += "\x50\x40\x40";  // widths 5, 4, 4, no gap
    header.push_back('\0');
    const std::string values = le(first, 5) + u32le(static_cast<std::uint32_t>(length)) +
                               u32le(static_cast<std::uint32_t>(source_offset));
    const std::string name_block = z_block(
        0x2628, u32le(static_cast<std::uint32_t>(name.size())) + name + header + values + zeros(8),
        0x02);
    std::string tail = zeros(6);
    tail[0] = static_cast<char>(tail_flag);
    tail[5] = static_cast<char>(tail_value);
    return z_block(0x262b, name_block + tail, 0x05);
}

// The region list holding these 0x262b entries.
inline std::string region_list_block(const std::vector<std::string>& entries) {
    std::string content = zeros(4);
    for (const std::string& entry : entries) content += entry;
    return z_block(0x262c, content);
}

// The clip-group item lists, each a 0x1052 list of kind 1 inside 0x2428 > 0x1054, named L0, L1...
inline std::string group_lists_block(const std::vector<std::vector<TestPlacement>>& lists) {
    std::string content;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        content += clip_list("L" + std::to_string(i), lists[i], 1);
    }
    return z_block(0x2428, z_block(0x1054, zeros(4) + content));
}

// The same with names of their own.
inline std::string named_group_lists(
    const std::vector<std::pair<std::string, std::vector<TestPlacement>>>& lists) {
    std::string content;
    for (const auto& [name, list] : lists) content += clip_list(name, list, 1);
    return z_block(0x2428, z_block(0x1054, zeros(4) + content));
}

// A 0x2629 region entry as the control-slot reader takes it: its name, then a header whose gap
// (of `gap_width` bytes, between a 3-byte first value and a 3-byte length) holds `value`.
inline std::string control_slot(const std::string& name, std::uint8_t gap_width,
                                std::uint32_t value) {
    std::string header("\x00\x30", 2);  // derived byte, first width 3
    header.push_back(static_cast<char>(0x30 | gap_width));
    header += std::string("\x00\x00", 2);
    const std::string values = le(5, 3) + le(value, gap_width) + le(480000, 3);
    return z_block(0x2629,
                   z_block(0x2628, u32le(static_cast<std::uint32_t>(name.size())) + name + header +
                                       values + zeros(8)),
                   5);
}

}  // namespace test_placements
