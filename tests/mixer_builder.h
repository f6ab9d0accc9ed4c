// Builds the mixer's blocks for tests: names, strip rows and track blocks, and reads the real
// sessions' decrypted bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "block_builder.h"
#include "platform/ptformat.h"

namespace mixer_blocks {

using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

// A u32 length and the text.
inline std::string text(const std::string& value) {
    return u32le(static_cast<std::uint32_t>(value.size())) + value;
}

// 0x2619: the length at +9, the name at +13.
inline std::string name_block(const std::string& name) {
    return z_block(0x2619, text(name) + zeros(4));
}

// A strip row (0x251a): kind at +9, length at +11, name at +15, the stereo byte after it, then
// '*' 0 0 0 and the id at +L + 21; `size_extra` is the row's size less the name's length.
inline std::string strip_row(std::uint16_t kind, const std::string& name, std::uint8_t stereo = 0,
                             std::size_t size_extra = 62, std::uint64_t id = 0) {
    std::string content;
    test_blocks::append_u16le(content, kind);
    content += text(name);
    content.push_back(static_cast<char>(stereo));
    content += zeros(5) + "*" + zeros(3) + test_blocks::u64le(id);
    const std::size_t size = name.size() + size_extra;  // payload, content type included
    content.resize(size - 2, '\0');
    return z_block(0x251a, content);
}

// A track block of `type` whose first child is its name block, then `rest`.
inline std::string track_block(std::uint16_t type, const std::string& name,
                               const std::string& rest = {}) {
    return z_block(type, name_block(name) + rest);
}

inline std::string i32le(std::int32_t value) {
    return u32le(static_cast<std::uint32_t>(value));
}

// A fader block (0x1029, size 157): post-fader flag +9, level +10, mute +14, pans +22 and +50.
inline std::string fader_block(std::int32_t level, std::uint32_t muted = 0,
                               std::int32_t pan_left = 0, std::int32_t pan_right = 0,
                               std::uint8_t post_fader = 1) {
    std::string content = zeros(155);
    content[0] = static_cast<char>(post_fader);
    content.replace(1, 4, i32le(level));
    content.replace(5, 4, u32le(muted));
    content.replace(13, 4, i32le(pan_left));
    content.replace(41, 4, i32le(pan_right));
    return z_block(0x1029, content);
}

// An output name block (0x260e): key +9, the name as a u32-length text from +11.
inline std::string output_block(std::uint16_t key, const std::string& name) {
    std::string content;
    test_blocks::append_u16le(content, key);
    return z_block(0x260e, content + text(name) + zeros(8));
}

struct Point {
    std::uint32_t position;
    std::int16_t value;
};

// A breakpoint list (0x260a): count +25, data mark +27, initial value +35, entries from +37.
inline std::string list_block(std::int16_t initial, const std::vector<Point>& points = {}) {
    std::string content = zeros(28);
    content[16] = static_cast<char>(points.size() & 0xFF);
    content[17] = static_cast<char>(points.size() >> 8);
    content[18] = points.empty() ? 0 : 1;
    content[26] = static_cast<char>(initial & 0xFF);
    content[27] = static_cast<char>((initial >> 8) & 0xFF);
    for (const Point& p : points) {
        content += u32le(p.position);
        content.push_back(static_cast<char>(p.value & 0xFF));
        content.push_back(static_cast<char>((p.value >> 8) & 0xFF));
    }
    return z_block(0x260a, content + zeros(2));
}

// A group block (0x260c) around lists.
inline std::string group_block(const std::string& lists) {
    return z_block(0x260c, zeros(2) + lists);
}

// A lane (0x260d): its fader block at +9, then the rest.
inline std::string lane_block(const std::string& fader, const std::string& rest) {
    return z_block(0x260d, fader + rest);
}

// A mix or VCA group record (0x202a) as real sessions hold it: name, type, slot, active flag,
// the member strips, the closing bytes, the VCA master's strip and the attributes block.
struct StoredGroup {
    std::string name = "Drums";
    int type = 1;
    int slot = 3;
    int active = 1;
    std::vector<std::uint16_t> members = {0, 2};
    std::uint16_t extra = 0xFFFF;
    std::string attributes;  // the 0x258e block's bytes from its +9; none when empty
    std::string closing = "\xFE\xFF";
    std::int64_t count = -1;  // the stored member count, when not the list's
    int block_type = 0x05;
};

inline std::string mix_group_block(const StoredGroup& g) {
    using test_blocks::le;
    const auto byte = [](int value) { return std::string(1, static_cast<char>(value)); };
    std::string content =
        le(g.name.size(), 4) + g.name + byte(g.type) + byte(g.slot) + zeros(3) + byte(g.active) +
        zeros(1) + le(g.count >= 0 ? static_cast<std::uint64_t>(g.count) : g.members.size(), 4);
    for (std::uint16_t m : g.members) content += le(m, 2);
    content += g.closing + zeros(8) + le(g.extra, 2);
    if (!g.attributes.empty()) content += z_block(0x258e, g.attributes, 0x03);
    return z_block(0x202a, content + zeros(4), static_cast<std::uint16_t>(g.block_type));
}

// The lists of a mono lane as Pro Tools 12 lays them out: volume and mute loose, the pan in a
// group block, an empty group block, then the trim when given.
inline std::string mono_lists(const std::string& volume, const std::string& mute,
                              const std::string& pan, const std::string& trim = {}) {
    return volume + mute + group_block(pan) + group_block({}) + trim;
}

// A stereo lane's lists: each pan side alone in its group block.
inline std::string stereo_lists(const std::string& volume, const std::string& mute,
                                const std::string& left, const std::string& right) {
    return volume + mute + group_block(left) + group_block(right);
}

// The clip-gain lists (0x2637): count +9, lists from +14, each one byte after the last.
inline std::string gain_lists_block(
    const std::vector<std::vector<std::pair<std::uint32_t, float>>>& lists,
    std::uint32_t stored_count_delta = 0) {
    std::string content = u32le(static_cast<std::uint32_t>(lists.size())) + zeros(1);
    for (const auto& list : lists) {
        std::string entries =
            u32le(static_cast<std::uint32_t>(list.size()) + stored_count_delta) + zeros(8);
        for (const auto& [position, db] : list) {
            entries += u32le(position);
            std::uint32_t raw;
            std::memcpy(&raw, &db, sizeof raw);
            entries += u32le(raw);
        }
        content += z_block(0x2638, entries) + zeros(1);
    }
    return z_block(0x2637, content);
}

// A clip's gain reference (0x2628): its name at +9, the list index in its last four bytes.
inline std::string clip_gain_ref(const std::string& clip, std::uint32_t list) {
    return z_block(0x2628, text(clip) + u32le(list));
}

// A decrypted real session, empty when the sessions folder is absent.
inline std::vector<std::uint8_t> real_session(const std::string& name) {
    std::vector<std::uint8_t> bytes = test_blocks::read_file(test_blocks::sessions_dir() / name);
    if (!bytes.empty()) ptf_xor_crypt(bytes);
    return bytes;
}

// A channel entry (0x1021): kind +9, name +11, channel count and numbers, '*' 0 0 0 and the ids.
inline std::string channel_entry_block(std::uint8_t kind, const std::string& name,
                                       const std::vector<std::uint16_t>& channels,
                                       std::uint32_t id_a, std::uint32_t id_b) {
    std::string content(1, static_cast<char>(kind));
    content += zeros(1) + text(name) + u32le(static_cast<std::uint32_t>(channels.size()));
    for (std::uint16_t c : channels) test_blocks::append_u16le(content, c);
    content += zeros(3) + std::string("*") + zeros(3) + u32le(id_a) + u32le(id_b) + zeros(16);
    return z_block(0x1021, content);
}

// The channel a track block names outside its lanes: the name, '*' 0 0 0, the ids and the kind.
inline std::string channel_tag_text(const std::string& name, std::uint32_t id_a, std::uint32_t id_b,
                                    std::uint8_t kind) {
    return text(name) + zeros(4) + "*" + zeros(3) + u32le(id_a) + u32le(id_b) + zeros(1) +
           std::string(1, static_cast<char>(kind)) + zeros(2);
}

}  // namespace mixer_blocks
