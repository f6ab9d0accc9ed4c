// Builds plug-in blocks, "elck" chains, parameter lanes and the blocks around them for tests and
// benchmarks.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/block_builder.h"
#include "util/bytes.h"

namespace test_plugins {

using namespace test_blocks;

inline std::string byte(int value) {
    return std::string(1, static_cast<char>(value));
}

inline std::string u32be(std::uint32_t value) {
    std::string out;
    append_u32be(out, value);
    return out;
}

inline std::string f64be(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return u32be(static_cast<std::uint32_t>(bits >> 32)) + u32be(static_cast<std::uint32_t>(bits));
}

struct PluginBlock {
    std::string id = "AcmeDemo";  // maker, product
    std::string settings;         // the bytes from +33 to the settings end
    std::string at17 = zeros(8);  // +17..+24 (the first "elck" section's length and more)
    int header_byte = 1;
    std::size_t tail = 8;  // zero bytes between the settings end and the block end
};

// A 0x1038 block: +9 header byte, +13 T (settings end at +33 + settings), +17, +25 id, +33
// settings.
inline std::string plugin_block(const PluginBlock& p) {
    const auto t = static_cast<std::uint32_t>(16 + p.settings.size());
    return z_block(0x1038, byte(p.header_byte) + zeros(3) + u32le(t) + p.at17 + p.id + p.settings +
                               zeros(p.tail));
}

// The first "elck" section's bytes from block +33 on (its length goes at +17): 4 bytes, the
// tag, a 32-byte name, then the payload.
inline std::string elck_first_section(const std::string& payload) {
    std::string name = "Demo";
    name.resize(32, '\0');
    return zeros(4) + "elck" + name + payload;
}

// A further section: length, 4 bytes, the id, 4 bytes, tag, 32-byte name, payload.
inline std::string elck_section(const std::string& id, const std::string& tag,
                                const std::string& payload) {
    std::string name = "chunk";
    name.resize(32, '\0');
    return u32be(static_cast<std::uint32_t>(56 + payload.size())) + zeros(4) + id + zeros(4) + tag +
           name + payload;
}

// A plug-in block whose settings are an "elck" chain: the first section with `first_payload`,
// then `more` (whole sections), then `slack` bytes.
inline PluginBlock elck_plugin(const std::string& first_payload, const std::string& more,
                               std::size_t slack = 0) {
    PluginBlock p;
    p.at17 = u32be(static_cast<std::uint32_t>(56 + first_payload.size())) + zeros(4);
    p.settings = elck_first_section(first_payload) + more + std::string(slack, '\x01');
    return p;
}

// A parameter lane: 0x260F holding a 0x260B point list, then the names.
struct Lane {
    std::string name = "Gain";
    std::uint32_t lane_word = 7;
    std::string second_name = "dB";
    std::uint64_t tick_flag = 0;
    std::int32_t initial = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> points;
};

inline std::string lane_block(const Lane& lane) {
    std::string list = zeros(16) + le(lane.points.size(), 2) + le(lane.tick_flag, 5) + zeros(3) +
                       le(static_cast<std::uint32_t>(lane.initial), 4);
    for (const auto& [position, value] : lane.points) {
        list +=
            le(static_cast<std::uint32_t>(position), 4) + le(static_cast<std::uint32_t>(value), 4);
    }
    list += zeros(2);
    return z_block(0x260F, zeros(4) + z_block(0x260B, list) + u32le(lane.name.size()) + lane.name +
                               u32le(lane.lane_word) + zeros(8) + u32le(lane.second_name.size()) +
                               lane.second_name);
}

// A Trim slot whose "elck" sections each hold one channel: the id ("DigiTrim") at section +8,
// the big-endian gain at +56 and the polarity flag (0x7FFFFFFF: inverted) at +60.
struct TrimChannel {
    std::uint32_t gain = 1093684240;
    bool inverted = false;
};

inline std::string trim_payload(const TrimChannel& c) {
    return u32be(c.gain) + u32be(c.inverted ? 0x7FFFFFFF : 0) + zeros(8);
}

inline std::string trim_block(const std::vector<TrimChannel>& channels, int header_byte = 1) {
    std::string more;
    for (std::size_t i = 1; i < channels.size(); ++i) {
        more += elck_section("DigiTrim", "elck", trim_payload(channels[i]));
    }
    PluginBlock p = elck_plugin(trim_payload(channels.front()), more);
    p.id = "DigiTrim";
    p.header_byte = header_byte;
    return plugin_block(p);
}

// Control values as "d_" fields: an 8-byte name, then a big-endian f64.
inline std::string control_values(const std::vector<double>& values) {
    std::string out = zeros(4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string name = "d_v" + std::to_string(i);
        name.resize(8, '\0');
        out += name + f64be(values[i]);
    }
    return out;
}

// Named document values: "d_" name, zero-terminated and padded to 4, then a big-endian f64.
inline std::string named_values(const std::vector<std::pair<std::string, double>>& values) {
    std::string out = zeros(4);
    for (const auto& [name, value] : values) {
        std::string field = "d_" + name;
        field.resize((field.size() + 1 + 3) / 4 * 4, '\0');
        out += field + f64be(value);
    }
    return out;
}

// A stock plug-in's slot: the plug-in block of AAX id `id` whose settings are `payload`.
inline std::string stock_slot(const std::string& id, const std::string& payload) {
    PluginBlock p = elck_plugin(payload, "");
    p.id = id;
    return plugin_block(p);
}

// A slot followed by its activity byte.
inline std::string active(const std::string& slot) {
    return slot + byte(1) + zeros(3);
}

// Little-endian words of a decoded plug-in state, read back as REAPER stores them.
inline std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}
inline double f64_at(const std::string& bytes, std::size_t at) {
    double v = 0;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
}

}  // namespace test_plugins
